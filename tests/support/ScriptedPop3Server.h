#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace velkora::test {

// A TCP server on 127.0.0.1 at a free port, on its own thread, that plays one script per
// accepted connection (one connection at a time, in the order they arrive). Every wait inside
// it sleeps in poll() and ends at the latest when the server's lifetime is over or stop() is
// called, so a script can never hang a test.
class ScriptedPop3Server {
public:
    class Connection {
    public:
        // Writes all bytes; false when the peer has gone, the time is over or the server stops.
        bool send(std::string_view bytes);
        // Writes every byte as its own TCP segment, pausing between them.
        bool sendByteByByte(std::string_view bytes, std::chrono::microseconds pause);
        // The next line without its CR LF (or LF); nothing when the peer closed, the timeout
        // passed or the server stops. Every line read is recorded as a received command.
        std::optional<std::string> readLine(std::chrono::milliseconds timeout);
        // Reads lines until one equals `command` (recording them all); false if it never comes.
        bool waitForCommand(std::string_view command, std::chrono::milliseconds timeout);
        // Sleeps until the peer closes the connection (or the timeout, or stop); true if it did.
        bool waitForPeerClose(std::chrono::milliseconds timeout);
        // Closes at once; further sends fail.
        void close();
        // Bytes written so far on this connection.
        std::size_t bytesSent() const { return bytesSent_; }

    private:
        friend class ScriptedPop3Server;
        Connection(ScriptedPop3Server& server, int fd) : server_(server), fd_(fd) {}
        // Waits for the descriptor to be ready; false on timeout, stop or the end of lifetime.
        bool waitFor(short events, std::chrono::steady_clock::time_point deadline);

        ScriptedPop3Server& server_;
        int fd_;
        std::string pending_;  // received bytes not yet returned as a line
        bool peerClosed_ = false;
        std::size_t bytesSent_ = 0;
    };

    using Script = std::function<void(Connection&)>;

    // Scripts are taken in turn for the connections that arrive; connections beyond the last
    // script are closed at once.
    explicit ScriptedPop3Server(std::vector<Script> scripts,
                                std::chrono::milliseconds lifetime = std::chrono::seconds(20));
    explicit ScriptedPop3Server(Script script,
                                std::chrono::milliseconds lifetime = std::chrono::seconds(20));
    // Stops the thread and closes everything.
    ~ScriptedPop3Server();

    ScriptedPop3Server(const ScriptedPop3Server&) = delete;
    ScriptedPop3Server& operator=(const ScriptedPop3Server&) = delete;

    uint16_t port() const { return port_; }
    // Every line received, over all connections, in order.
    std::vector<std::string> commands() const;
    int connectionsAccepted() const { return accepted_.load(); }
    // Connections whose script has returned.
    int connectionsFinished() const { return finished_.load(); }
    // Ends all waits and joins the thread. A script's exception is rethrown here.
    void stop();

    // A port on 127.0.0.1 that nothing listens on: bound and released again, so that a
    // connection to it is refused.
    static uint16_t unusedPort();

private:
    void run();
    void serve(int fd, const Script& script);
    void record(std::string line);

    std::vector<Script> scripts_;
    std::chrono::steady_clock::time_point end_;
    int listenFd_ = -1;
    int stopFd_ = -1;  // eventfd that wakes every poll when the server stops
    uint16_t port_ = 0;
    std::thread thread_;
    std::atomic<int> accepted_{0};
    std::atomic<int> finished_{0};
    mutable std::mutex mutex_;
    std::vector<std::string> commands_;
    std::exception_ptr failure_;
    bool stopped_ = false;
};

// A well-behaved POP3 maildrop for the scripted server: greets, accepts USER/PASS, answers
// STAT, TOP n L (with dot-stuffing and the closing line) and QUIT. `send` is how replies go
// out, so a test can change the delivery (one byte at a time, ...). Messages use CR LF.
struct ScriptedMaildrop {
    std::vector<std::string> messages;
    std::string greeting = "+OK scripted POP3 ready";
    std::function<bool(ScriptedPop3Server::Connection&, std::string_view)> send =
        [](ScriptedPop3Server::Connection& c, std::string_view bytes) { return c.send(bytes); };

    // The script for one connection: serves commands until QUIT, the peer's close or timeout.
    ScriptedPop3Server::Script script(
        std::chrono::milliseconds idleTimeout = std::chrono::seconds(10)) const;
    // The TOP reply for message n (1-based) with at most `lines` body lines.
    std::string topReply(std::size_t n, long lines) const;
};

}  // namespace velkora::test
