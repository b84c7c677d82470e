#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace velkora::test {

// A TCP relay on 127.0.0.1 in front of a plain POP3 server on 127.0.0.1, run on a thread of
// its own: the bytes of each direction go on `delayMs` after they arrived, as over a distant
// link (2 x delayMs a round trip), and each connection is relayed until both sides have ended.
//
// It can also make the server seem to lack capabilities: their lines leave the server's
// reply to "CAPA", and their commands reach it under another name, which it refuses with
// "-ERR" (hiding "CAPA" makes the server refuse "CAPA" itself). The relay takes the server's
// bytes that follow a "CAPA" command as its reply, which holds for a client that waits for
// each reply before that point of the conversation.
class DelayingRelay {
public:
    DelayingRelay(uint16_t serverPort, int delayMs,
                  std::vector<std::string> hiddenCapabilities = {});
    // Stops the thread and closes every connection.
    ~DelayingRelay();
    DelayingRelay(const DelayingRelay&) = delete;
    DelayingRelay& operator=(const DelayingRelay&) = delete;

    uint16_t port() const { return port_; }

    // The command lines the clients sent, over all connections in order, without CR LF.
    std::vector<std::string> commands() const;
    // The most command lines that came in one read: more than one only from a client that
    // sends commands without waiting for the replies.
    std::size_t largestBurst() const;
    void clearLog();

    struct State;

private:
    void run();

    std::unique_ptr<State> state_;
    uint16_t port_ = 0;
    std::thread thread_;
};

}  // namespace velkora::test
