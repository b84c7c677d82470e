#include "checker/net/PosixSocketApi.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "checker/net/WinsockErrors.h"

namespace velkora {

PosixSocketApi::PosixSocketApi(EventLoop& loop) : loop_(loop) {}

PosixSocketApi::~PosixSocketApi() {
    closeSocket();
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
    // Non-blocking from the start: a call made before any selection must not stall the one
    // GUI thread either.
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        lastError_ = winsock::fromErrno(errno);
        return false;
    }
    fd_ = fd;
    return true;
}

void PosixSocketApi::selectNotification(SocketNotification kind) {
    selected_ = kind;
    if (fd_ < 0) {
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
    if (fd_ >= 0 && selected_) {
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

int PosixSocketApi::connect(uint32_t addressNetworkOrder, uint16_t port) {
    if (fd_ < 0) {
        return fail(winsock::kNotSocket);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = addressNetworkOrder;
    int rc = ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    int error = rc == 0 ? 0 : errno;
    // An interrupted non-blocking connect goes on in the background, like one in progress.
    if (rc == 0 || error == EINPROGRESS || error == EINTR) {
        connectStarted_ = true;
        connectOwed_ = true;
        rearm();
    }
    if (rc == 0) {
        return 0;
    }
    return fail(error == EINTR ? winsock::kWouldBlock : winsock::fromErrno(error));
}

int PosixSocketApi::setNonBlocking() {
    if (fd_ < 0) {
        return fail(winsock::kNotSocket);
    }
    int flags = ::fcntl(fd_, F_GETFL);
    if (flags < 0 || ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK) < 0) {
        return fail(winsock::fromErrno(errno));
    }
    return 0;
}

long PosixSocketApi::send(const char* data, std::size_t size) {
    if (fd_ < 0) {
        return fail(winsock::kNotSocket);
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
    if (fd_ < 0) {
        return fail(winsock::kNotSocket);
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
    if (fd_ < 0) {
        return;
    }
    // The watch goes first: a watched descriptor that is closed underneath is an error.
    watch_.reset();
    ::close(fd_);
    fd_ = -1;
    selected_.reset();
    connectStarted_ = false;
    connectOwed_ = false;
    writeOwed_ = false;
    readOwed_ = false;
    streamEnded_ = false;
}

std::optional<uint32_t> PosixSocketApi::lookupHost(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (rc != 0) {
        lastError_ = winsock::fromResolver(rc, errno);
        return std::nullopt;
    }
    std::optional<uint32_t> address;
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET && entry->ai_addr != nullptr) {
            address = reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr;
            break;
        }
    }
    ::freeaddrinfo(found);
    if (!address) {
        lastError_ = 11004;  // found, but without an IPv4 address
    }
    return address;
}

}  // namespace velkora
