#include "checker/net/PosixSocketApi.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "checker/net/WinsockErrors.h"

namespace velkora {

namespace {

constexpr int kNotConnected = 10057;
constexpr int kAddressNotAvailable = 10049;
constexpr int kNoAddressOfThatKind = 11004;

// The socket address of an address and a port in host byte order.
socklen_t socketAddress(const IpAddress& address, uint16_t port, sockaddr_storage& out) {
    std::memset(&out, 0, sizeof out);
    if (address.family == IpAddress::Family::V4) {
        auto* in4 = reinterpret_cast<sockaddr_in*>(&out);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(port);
        std::memcpy(&in4->sin_addr, address.bytes.data(), 4);
        return sizeof(sockaddr_in);
    }
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&out);
    in6->sin6_family = AF_INET6;
    in6->sin6_port = htons(port);
    std::memcpy(&in6->sin6_addr, address.bytes.data(), 16);
    in6->sin6_scope_id = address.scope;
    return sizeof(sockaddr_in6);
}

}  // namespace

PosixSocketApi::PosixSocketApi(EventLoop& loop) : loop_(loop), headStart_(loop.createTimer()) {
    headStart_->setInterval(kHeadStartMs);
    headStart_->setHandler([this] { headStartOver(); });
}

PosixSocketApi::~PosixSocketApi() {
    closeSocket();
    alive_.reset();
}

void PosixSocketApi::setNotificationSink(std::function<void()> sink) {
    sink_ = std::move(sink);
}

int PosixSocketApi::fail(int winsockError) {
    lastError_ = winsockError;
    return -1;
}

bool PosixSocketApi::createSocket() {
    closeSocket();
    open_ = true;
    ++generation_;
    return true;
}

void PosixSocketApi::selectNotification(SocketNotification kind) {
    selected_ = kind;
    if (!open_) {
        return;
    }
    setNonBlocking();
    switch (kind) {
        case SocketNotification::Connect:
            break;
        case SocketNotification::Write:
            writeOwed_ = true;
            break;
        case SocketNotification::Read:
            readOwed_ = !streamEnded_;
            break;
    }
    rearm();
}

void PosixSocketApi::rearm() {
    std::optional<FdReadiness> wanted;
    const bool settled = fd_ >= 0 || raceError_ != 0;
    if (open_ && settled && selected_) {
        switch (*selected_) {
            case SocketNotification::Connect:
                if (connectOwed_) {
                    wanted = FdReadiness::Write;  // a finished connect, good or bad, is writable
                }
                break;
            case SocketNotification::Write:
                if (connectStarted_ && writeOwed_) {
                    wanted = FdReadiness::Write;
                }
                break;
            case SocketNotification::Read:
                if (connectStarted_ && readOwed_) {
                    wanted = FdReadiness::Read;
                }
                break;
        }
    }
    if (!wanted) {
        if (watch_) {
            watch_->setEnabled(false);
        }
        return;
    }
    if (fd_ < 0) {
        // Every address failed: there is nothing to watch, and the failure is ready at once.
        if (!notificationPosted_) {
            notificationPosted_ = true;
            loop_.post([this, alive = std::weak_ptr<bool>(alive_), generation = generation_] {
                if (alive.expired() || generation != generation_) {
                    return;
                }
                notificationPosted_ = false;
                // Still owed? The selection may have changed meanwhile.
                const bool owed =
                    selected_ && ((*selected_ == SocketNotification::Connect && connectOwed_) ||
                                  (*selected_ == SocketNotification::Write && writeOwed_) ||
                                  (*selected_ == SocketNotification::Read && readOwed_));
                if (owed) {
                    onReady();
                }
            });
        }
        return;
    }
    if (watch_ && watchReadiness_ == *wanted) {
        watch_->setEnabled(true);
        return;
    }
    watch_.reset();
    watchReadiness_ = *wanted;
    watch_ = loop_.watchFd(fd_, *wanted, [this] { onReady(); });
}

void PosixSocketApi::onReady() {
    if (!selected_) {
        return;
    }
    switch (*selected_) {
        case SocketNotification::Connect:
            connectOwed_ = false;
            break;
        case SocketNotification::Write:
            writeOwed_ = false;
            break;
        case SocketNotification::Read:
            readOwed_ = false;
            break;
    }
    if (watch_) {
        watch_->setEnabled(false);
    }
    // A copy: the sink may replace itself or select anew, which replaces the watch.
    std::function<void()> sink = sink_;
    if (sink) {
        sink();
    }
}

int PosixSocketApi::connect(const std::vector<IpAddress>& addresses, uint16_t port) {
    if (!open_) {
        return fail(winsock::kNotSocket);
    }
    endRace();
    addresses_ = addresses;
    port_ = port;
    nextAddress_ = 0;
    failures_.clear();
    raceError_ = 0;
    startAttempts();
    if (fd_ >= 0) {
        return 0;
    }
    if (!attempts_.empty()) {
        connectStarted_ = true;
        return fail(winsock::kWouldBlock);
    }
    // No address could even be tried.
    const int error = failures_.empty()
                          ? kAddressNotAvailable
                          : std::min_element(failures_.begin(), failures_.end())->second;
    return fail(error);
}

void PosixSocketApi::startAttempts() {
    while (fd_ < 0 && attempts_.empty() && nextAddress_ < addresses_.size()) {
        startAttempt();
    }
    if (fd_ < 0 && !attempts_.empty() && nextAddress_ < addresses_.size()) {
        headStart_->setEnabled(false);
        headStart_->setEnabled(true);
    } else {
        headStart_->setEnabled(false);
    }
}

bool PosixSocketApi::startAttempt() {
    const std::size_t index = nextAddress_++;
    const IpAddress& address = addresses_[index];
    const int family = address.family == IpAddress::Family::V4 ? AF_INET : AF_INET6;
    // Non-blocking from the start: a call made before any selection must not stall the one
    // GUI thread either.
    const int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        failures_.emplace_back(index, winsock::fromErrno(errno));
        return false;
    }
    sockaddr_storage storage{};
    const socklen_t length = socketAddress(address, port_, storage);
    const int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&storage), length);
    const int error = rc == 0 ? 0 : errno;
    if (rc == 0) {
        won(fd);
        return true;
    }
    // An interrupted non-blocking connect goes on in the background, like one in progress.
    if (error == EINPROGRESS || error == EINTR) {
        Attempt attempt;
        attempt.fd = fd;
        attempt.index = index;
        attempt.watch = loop_.watchFd(fd, FdReadiness::Write, [this, fd] { attemptReady(fd); });
        attempts_.push_back(std::move(attempt));
        return true;
    }
    ::close(fd);
    failures_.emplace_back(index, winsock::fromErrno(error));
    return false;
}

void PosixSocketApi::attemptReady(int fd) {
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
        error = errno;
    }
    if (error == EINPROGRESS || error == EALREADY) {
        return;  // not settled after all
    }
    auto attempt = std::find_if(attempts_.begin(), attempts_.end(),
                                [fd](const Attempt& a) { return a.fd == fd; });
    if (attempt == attempts_.end()) {
        return;
    }
    if (error == 0) {
        attempt->watch.reset();
        attempts_.erase(attempt);
        won(fd);
        return;
    }
    const std::size_t index = attempt->index;
    attempt->watch.reset();
    ::close(fd);
    attempts_.erase(attempt);
    attemptFailed(index, winsock::fromErrno(error));
}

void PosixSocketApi::attemptFailed(std::size_t index, int winsockError) {
    failures_.emplace_back(index, winsockError);
    if (!attempts_.empty()) {
        return;  // another attempt is still under way
    }
    // A failure gives the next address its turn at once.
    startAttempts();
    if (fd_ < 0 && attempts_.empty()) {
        lost();
    }
}

void PosixSocketApi::headStartOver() {
    // The attempts under way go on beside the next one.
    if (fd_ >= 0 || nextAddress_ >= addresses_.size()) {
        headStart_->setEnabled(false);
        return;
    }
    while (nextAddress_ < addresses_.size() && !startAttempt()) {
    }
    if (fd_ >= 0 || nextAddress_ >= addresses_.size()) {
        headStart_->setEnabled(false);
    }
}

void PosixSocketApi::won(int fd) {
    endRace();
    fd_ = fd;
    raceError_ = 0;
    connectStarted_ = true;
    connectOwed_ = true;
    rearm();
}

void PosixSocketApi::lost() {
    headStart_->setEnabled(false);
    raceError_ = std::min_element(failures_.begin(), failures_.end())->second;
    connectStarted_ = true;
    connectOwed_ = true;
    rearm();
}

void PosixSocketApi::endRace() {
    headStart_->setEnabled(false);
    for (Attempt& attempt : attempts_) {
        attempt.watch.reset();
        ::close(attempt.fd);
    }
    attempts_.clear();
}

int PosixSocketApi::setNonBlocking() {
    if (!open_) {
        return fail(winsock::kNotSocket);
    }
    if (fd_ < 0) {
        return 0;  // every socket of the race is made non-blocking
    }
    int flags = ::fcntl(fd_, F_GETFL);
    if (flags < 0 || ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK) < 0) {
        return fail(winsock::fromErrno(errno));
    }
    return 0;
}

long PosixSocketApi::send(const char* data, std::size_t size) {
    if (!open_) {
        return fail(winsock::kNotSocket);
    }
    if (raceError_ != 0) {
        return fail(raceError_);
    }
    if (fd_ < 0) {
        return fail(kNotConnected);
    }
    ssize_t n;
    do {
        // MSG_NOSIGNAL: a peer that has gone must give an error, not end the program.
        n = ::send(fd_, data, size, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n >= 0) {
        return static_cast<long>(n);
    }
    int error = errno;
    if (error == EAGAIN || error == EWOULDBLOCK) {
        writeOwed_ = true;  // report when room has come back
        rearm();
    }
    return fail(winsock::fromErrno(error));
}

long PosixSocketApi::receive(char* buffer, std::size_t size) {
    if (!open_) {
        return fail(winsock::kNotSocket);
    }
    if (raceError_ != 0) {
        streamEnded_ = true;
        readOwed_ = false;
        rearm();
        return fail(raceError_);
    }
    if (fd_ < 0) {
        return fail(winsock::kWouldBlock);  // still connecting: nothing to read yet
    }
    ssize_t n;
    do {
        n = ::recv(fd_, buffer, size, 0);
    } while (n < 0 && errno == EINTR);
    int error = n < 0 ? errno : 0;
    if (n > 0 || error == EAGAIN || error == EWOULDBLOCK) {
        readOwed_ = true;
    } else {
        // End of stream or a hard error: it would be reported again at every loop round.
        streamEnded_ = true;
        readOwed_ = false;
    }
    rearm();
    if (n >= 0) {
        return static_cast<long>(n);
    }
    return fail(winsock::fromErrno(error));
}

void PosixSocketApi::closeSocket() {
    if (!open_) {
        return;
    }
    endRace();
    // The watch goes first: a watched descriptor that is closed underneath is an error.
    watch_.reset();
    if (fd_ >= 0) {
        ::close(fd_);
    }
    fd_ = -1;
    open_ = false;
    ++generation_;
    notificationPosted_ = false;
    selected_.reset();
    connectStarted_ = false;
    connectOwed_ = false;
    writeOwed_ = false;
    readOwed_ = false;
    streamEnded_ = false;
    raceError_ = 0;
    addresses_.clear();
    failures_.clear();
}

void PosixSocketApi::resolve(const std::string& host, std::function<void(HostAddresses)> done) {
    auto answer = std::make_shared<HostAddresses>();
    loop_.runInBackground([lookup = lookup, host, answer] { *answer = lookup(host); },
                          [alive = std::weak_ptr<bool>(alive_), answer, done = std::move(done)] {
                              if (!alive.expired() && done) {
                                  done(std::move(*answer));
                              }
                          });
}

HostAddresses PosixSocketApi::lookUpHost(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
    HostAddresses result;
    if (rc != 0) {
        result.error = winsock::fromResolver(rc, errno);
        return result;
    }
    std::vector<IpAddress> preferred;
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_addr == nullptr) {
            continue;
        }
        IpAddress address;
        if (entry->ai_family == AF_INET) {
            const auto* in4 = reinterpret_cast<const sockaddr_in*>(entry->ai_addr);
            address = IpAddress::v4(in4->sin_addr.s_addr);
        } else if (entry->ai_family == AF_INET6) {
            const auto* in6 = reinterpret_cast<const sockaddr_in6*>(entry->ai_addr);
            address.family = IpAddress::Family::V6;
            std::memcpy(address.bytes.data(), &in6->sin6_addr, 16);
            address.scope = in6->sin6_scope_id;
        } else {
            continue;
        }
        preferred.push_back(address);
    }
    ::freeaddrinfo(found);
    if (preferred.empty()) {
        result.error = kNoAddressOfThatKind;
        return result;
    }
    result.addresses = interleaveFamilies(preferred);
    return result;
}

}  // namespace velkora
