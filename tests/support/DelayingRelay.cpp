#include "tests/support/DelayingRelay.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <deque>
#include <list>
#include <stdexcept>

namespace velkora::test {

namespace {

using Clock = std::chrono::steady_clock;

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::string firstWord(const std::string& line) {
    return upper(line.substr(0, line.find_first_of(" \r\n")));
}

void setNonBlocking(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

// One direction of a connection: what arrived, waiting for its time, and what is due but not
// yet taken by the receiving side.
struct Direction {
    struct Piece {
        Clock::time_point due;
        std::string bytes;
        bool end = false;  // the sender has ended: the receiver's side is shut after this
    };
    int from = -1;
    int to = -1;
    std::deque<Piece> waiting;
    std::string due;
    bool ended = false;     // nothing more comes from `from`
    bool shutDown = false;  // `to` has been told so
    std::string lines;      // an incomplete line, where lines are looked at
};

struct Connection {
    Direction up;    // client to server
    Direction down;  // server to client
    bool filteringCapabilities = false;
    bool inCapabilityList = false;
    bool over() const { return up.shutDown && down.shutDown; }
};

}  // namespace

struct DelayingRelay::State {
    int listener = -1;
    int wakeRead = -1;
    int wakeWrite = -1;
    uint16_t serverPort = 0;
    std::chrono::milliseconds delay{0};
    std::vector<std::string> hidden;
    std::list<Connection> connections;

    mutable std::mutex mutex;
    std::vector<std::string> commands;
    std::size_t largestBurst = 0;

    bool isHidden(const std::string& word) const {
        return std::find(hidden.begin(), hidden.end(), word) != hidden.end();
    }
};

DelayingRelay::DelayingRelay(uint16_t serverPort, int delayMs,
                             std::vector<std::string> hiddenCapabilities)
    : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.serverPort = serverPort;
    s.delay = std::chrono::milliseconds(delayMs);
    for (auto& capability : hiddenCapabilities) {
        s.hidden.push_back(upper(capability));
    }
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw std::runtime_error("relay: no pipe");
    }
    s.wakeRead = pipe[0];
    s.wakeWrite = pipe[1];
    s.listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (s.listener < 0 || ::bind(s.listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(s.listener, 16) != 0 ||
        ::getsockname(s.listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("relay: cannot listen");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { run(); });
}

DelayingRelay::~DelayingRelay() {
    const char stop = 's';
    (void)!::write(state_->wakeWrite, &stop, 1);
    thread_.join();
    for (Connection& c : state_->connections) {
        ::close(c.up.from);
        ::close(c.down.from);
    }
    ::close(state_->listener);
    ::close(state_->wakeRead);
    ::close(state_->wakeWrite);
}

std::vector<std::string> DelayingRelay::commands() const {
    std::lock_guard lock(state_->mutex);
    return state_->commands;
}

std::size_t DelayingRelay::largestBurst() const {
    std::lock_guard lock(state_->mutex);
    return state_->largestBurst;
}

void DelayingRelay::clearLog() {
    std::lock_guard lock(state_->mutex);
    state_->commands.clear();
    state_->largestBurst = 0;
}

namespace {

// The client's commands, logged, renamed when their capability is hidden; complete lines only.
std::string relayCommands(DelayingRelay::State& s, Connection& c, const std::string& bytes) {
    c.up.lines += bytes;
    std::string out;
    std::size_t burst = 0;
    for (std::size_t end; (end = c.up.lines.find('\n')) != std::string::npos;) {
        std::string line = c.up.lines.substr(0, end + 1);
        c.up.lines.erase(0, end + 1);
        const std::string word = firstWord(line);
        {
            std::lock_guard lock(s.mutex);
            s.commands.push_back(line.substr(0, line.find_last_not_of("\r\n") + 1));
        }
        ++burst;
        if (word == "CAPA" && !s.hidden.empty()) {
            c.filteringCapabilities = true;
        }
        out += s.isHidden(word) ? "X" + line : line;
    }
    std::lock_guard lock(s.mutex);
    s.largestBurst = std::max(s.largestBurst, burst);
    return out;
}

// The server's bytes, with hidden capabilities taken out of a CAPA reply.
std::string relayReplies(DelayingRelay::State& s, Connection& c, const std::string& bytes) {
    if (!c.filteringCapabilities) {
        return bytes;
    }
    c.down.lines += bytes;
    std::string out;
    for (std::size_t end;
         c.filteringCapabilities && (end = c.down.lines.find('\n')) != std::string::npos;) {
        const std::string line = c.down.lines.substr(0, end + 1);
        c.down.lines.erase(0, end + 1);
        if (!c.inCapabilityList) {
            c.inCapabilityList = line.rfind("+OK", 0) == 0;
            c.filteringCapabilities = c.inCapabilityList;
            out += line;
        } else if (line == ".\r\n" || line == ".\n") {
            c.inCapabilityList = c.filteringCapabilities = false;
            out += line;
        } else if (!s.isHidden(firstWord(line))) {
            out += line;
        }
    }
    if (!c.filteringCapabilities) {
        out += c.down.lines;
        c.down.lines.clear();
    }
    return out;
}

}  // namespace

void DelayingRelay::run() {
    State& s = *state_;
    char buffer[65536];
    for (;;) {
        const auto now = Clock::now();
        // What has come due goes to its receiver.
        int timeout = -1;
        for (Connection& c : s.connections) {
            for (Direction* d : {&c.up, &c.down}) {
                while (!d->waiting.empty() && d->waiting.front().due <= now) {
                    d->due += d->waiting.front().bytes;
                    const bool end = d->waiting.front().end;
                    d->waiting.pop_front();
                    if (end) {
                        d->ended = true;
                    }
                }
                while (!d->due.empty()) {
                    const ssize_t n = ::send(d->to, d->due.data(), d->due.size(), MSG_NOSIGNAL);
                    if (n <= 0) {
                        if (n < 0 && errno != EAGAIN && errno != EINTR) {
                            d->due.clear();  // the receiver is gone
                        }
                        break;
                    }
                    d->due.erase(0, static_cast<std::size_t>(n));
                }
                if (d->ended && d->due.empty() && d->waiting.empty() && !d->shutDown) {
                    ::shutdown(d->to, SHUT_WR);
                    d->shutDown = true;
                }
                if (!d->waiting.empty()) {
                    const auto wait =
                        std::chrono::ceil<std::chrono::milliseconds>(d->waiting.front().due - now)
                            .count();
                    const int ms = static_cast<int>(std::max<long long>(wait, 0));
                    timeout = timeout < 0 ? ms : std::min(timeout, ms);
                }
            }
        }
        s.connections.remove_if([](const Connection& c) {
            if (c.over()) {
                ::close(c.up.from);
                ::close(c.down.from);
                return true;
            }
            return false;
        });

        std::vector<pollfd> fds{{s.wakeRead, POLLIN, 0}, {s.listener, POLLIN, 0}};
        std::vector<std::pair<Connection*, Direction*>> owners;
        for (Connection& c : s.connections) {
            for (Direction* d : {&c.up, &c.down}) {
                short events = 0;
                if (!d->ended && !d->shutDown &&
                    std::none_of(d->waiting.begin(), d->waiting.end(),
                                 [](const auto& p) { return p.end; })) {
                    events |= POLLIN;
                }
                // A side that has ended is not watched: it would report its end forever.
                if (events != 0) {
                    fds.push_back({d->from, events, 0});
                    owners.emplace_back(&c, d);
                }
                if (!d->due.empty()) {
                    fds.push_back({d->to, POLLOUT, 0});
                    owners.emplace_back(nullptr, nullptr);
                }
            }
        }
        if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) {
            return;
        }
        if (fds[0].revents != 0) {
            return;
        }
        if (fds[1].revents & POLLIN) {
            const int client = ::accept4(s.listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) {
                const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                sockaddr_in address{};
                address.sin_family = AF_INET;
                address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                address.sin_port = htons(s.serverPort);
                if (server < 0 ||
                    ::connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
                    ::close(client);
                    if (server >= 0) {
                        ::close(server);
                    }
                } else {
                    setNonBlocking(client);
                    setNonBlocking(server);
                    Connection& c = s.connections.emplace_back();
                    c.up.from = c.down.to = client;
                    c.up.to = c.down.from = server;
                }
            }
        }
        const auto arrived = Clock::now();
        for (std::size_t i = 2; i < fds.size(); ++i) {
            auto [c, d] = owners[i - 2];
            if (c == nullptr || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
                continue;
            }
            const ssize_t n = ::recv(d->from, buffer, sizeof buffer, 0);
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                continue;
            }
            Direction::Piece piece{arrived + s.delay, {}, n <= 0};
            if (n > 0) {
                const std::string bytes(buffer, static_cast<std::size_t>(n));
                piece.bytes =
                    d == &c->up ? relayCommands(s, *c, bytes) : relayReplies(s, *c, bytes);
            }
            d->waiting.push_back(std::move(piece));
        }
    }
}

}  // namespace velkora::test
