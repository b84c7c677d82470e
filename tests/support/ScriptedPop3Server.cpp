#include "tests/support/ScriptedPop3Server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sstream>
#include <stdexcept>

namespace velkora::test {

namespace {

using Clock = std::chrono::steady_clock;

int pollTimeout(Clock::time_point deadline) {
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

int listenOnLoopback(uint16_t* port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        throw std::runtime_error("socket failed");
    }
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 4) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    *port = ntohs(addr.sin_port);
    return fd;
}

}  // namespace

// ---- Connection ----

bool ScriptedPop3Server::Connection::waitFor(short events, Clock::time_point deadline) {
    deadline = std::min(deadline, server_.end_);
    for (;;) {
        pollfd fds[2] = {{fd_, events, 0}, {server_.stopFd_, POLLIN, 0}};
        int r = ::poll(fds, 2, pollTimeout(deadline));
        if (r < 0 && errno == EINTR) {
            continue;
        }
        if (r <= 0 || (fds[1].revents & POLLIN)) {
            return false;
        }
        return true;  // ready, or an error/hang-up that the next call will report
    }
}

bool ScriptedPop3Server::Connection::send(std::string_view bytes) {
    if (fd_ < 0) {
        return false;
    }
    auto deadline = server_.end_;
    while (!bytes.empty()) {
        ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            bytesSent_ += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            if (!waitFor(POLLOUT, deadline)) {
                return false;
            }
            continue;
        }
        return false;
    }
    return true;
}

bool ScriptedPop3Server::Connection::sendByteByByte(std::string_view bytes,
                                                    std::chrono::microseconds pause) {
    if (fd_ < 0) {
        return false;
    }
    int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    for (char c : bytes) {
        if (!send(std::string_view(&c, 1))) {
            return false;
        }
        // Sleep on the stop descriptor, so that stop() still ends the script at once.
        pollfd p{server_.stopFd_, POLLIN, 0};
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(pause).count();
        if (ms > 0) {
            if (::poll(&p, 1, static_cast<int>(ms)) != 0) {
                return false;
            }
        } else {
            timespec ts{0, static_cast<long>(pause.count()) * 1000};
            ::ppoll(&p, 1, &ts, nullptr);
            if (p.revents & POLLIN) {
                return false;
            }
        }
        if (Clock::now() >= server_.end_) {
            return false;
        }
    }
    return true;
}

std::optional<std::string> ScriptedPop3Server::Connection::readLine(
    std::chrono::milliseconds timeout) {
    auto deadline = Clock::now() + timeout;
    for (;;) {
        auto eol = pending_.find('\n');
        if (eol != std::string::npos) {
            std::string line = pending_.substr(0, eol);
            pending_.erase(0, eol + 1);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            server_.record(line);
            return line;
        }
        if (fd_ < 0 || peerClosed_ || !waitFor(POLLIN, deadline)) {
            return std::nullopt;
        }
        char buffer[4096];
        ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
            pending_.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            peerClosed_ = true;
        }
    }
}

bool ScriptedPop3Server::Connection::waitForCommand(std::string_view command,
                                                    std::chrono::milliseconds timeout) {
    auto deadline = Clock::now() + timeout;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return false;
        }
        auto line = readLine(left);
        if (!line) {
            return false;
        }
        if (*line == command) {
            return true;
        }
    }
}

bool ScriptedPop3Server::Connection::waitForPeerClose(std::chrono::milliseconds timeout) {
    auto deadline = Clock::now() + timeout;
    while (!peerClosed_) {
        if (fd_ < 0 || !waitFor(POLLIN, deadline)) {
            return false;
        }
        char buffer[4096];
        ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
            pending_.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            peerClosed_ = true;
        }
    }
    // Whatever came before the close still counts as received commands.
    while (pending_.find('\n') != std::string::npos) {
        readLine(std::chrono::milliseconds(0));
    }
    return true;
}

void ScriptedPop3Server::Connection::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

// ---- Server ----

ScriptedPop3Server::ScriptedPop3Server(Script script, std::chrono::milliseconds lifetime)
    : ScriptedPop3Server(std::vector<Script>{std::move(script)}, lifetime) {}

ScriptedPop3Server::ScriptedPop3Server(std::vector<Script> scripts,
                                       std::chrono::milliseconds lifetime)
    : scripts_(std::move(scripts)), end_(Clock::now() + lifetime) {
    listenFd_ = listenOnLoopback(&port_);
    stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stopFd_ < 0) {
        ::close(listenFd_);
        throw std::runtime_error("eventfd failed");
    }
    thread_ = std::thread([this] { run(); });
}

ScriptedPop3Server::~ScriptedPop3Server() {
    try {
        stop();
    } catch (...) {
        // A failing script has been reported by the test that called stop(), or is moot.
    }
    ::close(listenFd_);
    ::close(stopFd_);
}

void ScriptedPop3Server::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!stopped_) {
            stopped_ = true;
            uint64_t one = 1;
            (void)!::write(stopFd_, &one, sizeof one);
        }
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    std::exception_ptr failure;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::swap(failure, failure_);
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

std::vector<std::string> ScriptedPop3Server::commands() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
}

void ScriptedPop3Server::record(std::string line) {
    std::lock_guard<std::mutex> lock(mutex_);
    commands_.push_back(std::move(line));
}

void ScriptedPop3Server::run() {
    std::size_t next = 0;
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        int r = ::poll(fds, 2, pollTimeout(end_));
        if (r < 0 && errno == EINTR) {
            continue;
        }
        if (r <= 0 || (fds[1].revents & POLLIN)) {
            return;
        }
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        ++accepted_;
        if (next < scripts_.size()) {
            serve(fd, scripts_[next++]);
        } else {
            ::close(fd);
        }
        ++finished_;
    }
}

void ScriptedPop3Server::serve(int fd, const Script& script) {
    Connection connection(*this, fd);
    try {
        script(connection);
    } catch (...) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!failure_) {
            failure_ = std::current_exception();
        }
    }
    connection.close();
}

uint16_t ScriptedPop3Server::unusedPort() {
    uint16_t port = 0;
    int fd = listenOnLoopback(&port);
    ::close(fd);
    return port;
}

// ---- Maildrop ----

std::string ScriptedMaildrop::topReply(std::size_t n, long lines) const {
    const std::string& message = messages.at(n - 1);
    std::string reply = "+OK\r\n";
    auto headerEnd = message.find("\r\n\r\n");
    std::string header =
        headerEnd == std::string::npos ? message : message.substr(0, headerEnd + 2);
    std::string body = headerEnd == std::string::npos ? "" : message.substr(headerEnd + 4);
    auto stuffed = [](std::string_view line) {
        return (!line.empty() && line.front() == '.') ? "." + std::string(line) : std::string(line);
    };
    std::size_t pos = 0;
    while (pos < header.size()) {
        auto eol = header.find("\r\n", pos);
        reply += stuffed(std::string_view(header).substr(pos, eol - pos)) + "\r\n";
        pos = eol + 2;
    }
    reply += "\r\n";
    pos = 0;
    for (long count = 0; count < lines && pos < body.size(); ++count) {
        auto eol = body.find("\r\n", pos);
        if (eol == std::string::npos) {
            eol = body.size();
        }
        reply += stuffed(std::string_view(body).substr(pos, eol - pos)) + "\r\n";
        pos = eol + 2;
    }
    return reply + ".\r\n";
}

ScriptedPop3Server::Script ScriptedMaildrop::script(std::chrono::milliseconds idleTimeout) const {
    ScriptedMaildrop drop = *this;
    return [drop, idleTimeout](ScriptedPop3Server::Connection& c) {
        if (!drop.send(c, drop.greeting + "\r\n")) {
            return;
        }
        while (auto line = c.readLine(idleTimeout)) {
            std::istringstream words(*line);
            std::string verb;
            words >> verb;
            std::transform(verb.begin(), verb.end(), verb.begin(),
                           [](unsigned char ch) { return static_cast<char>(std::toupper(ch)); });
            std::string reply;
            if (verb == "USER" || verb == "PASS") {
                reply = "+OK\r\n";
            } else if (verb == "STAT") {
                std::size_t octets = 0;
                for (const auto& m : drop.messages) {
                    octets += m.size();
                }
                reply = "+OK " + std::to_string(drop.messages.size()) + " " +
                        std::to_string(octets) + "\r\n";
            } else if (verb == "TOP") {
                std::size_t n = 0;
                long lines = -1;
                words >> n >> lines;
                if (n >= 1 && n <= drop.messages.size() && lines >= 0) {
                    reply = drop.topReply(n, lines);
                } else {
                    reply = "-ERR no such message\r\n";
                }
            } else if (verb == "QUIT") {
                drop.send(c, "+OK bye\r\n");
                return;
            } else {
                reply = "-ERR unknown command\r\n";
            }
            if (!drop.send(c, reply)) {
                return;
            }
        }
    };
}

}  // namespace velkora::test
