#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace velkora {

// Which readiness the socket reports; one kind is selected at a time.
enum class SocketNotification { Read = 1, Write = 2, Connect = 16 };

// The seam below the socket layer: one non-blocking TCP connection at a time, shaped like
// the message-driven Windows Sockets calls the layer was written for. Error codes are
// Windows Sockets numbers (10035 would block / in progress, 10061 refused, 11001 host not
// found, ...); implementations map their platform's codes onto them.
class SocketApi {
public:
    virtual ~SocketApi() = default;

    // Called once per readiness event of the selected kind, as an event of the GUI thread's
    // loop (never from inside the call that selected it). Write readiness is reported at
    // once when Write is selected on a connected socket.
    virtual void setNotificationSink(std::function<void()> sink) = 0;

    virtual void startup() = 0;   // network layer up (WSAStartup)
    virtual void cleanup() = 0;   // network layer down (WSACleanup)

    // A new stream socket replaces the handle; false when none could be created.
    virtual bool createSocket() = 0;
    virtual bool hasSocket() const = 0;

    // Selecting a kind replaces the previous selection and makes the socket non-blocking.
    virtual void selectNotification(SocketNotification kind) = 0;

    // 0, or -1 with lastError() (10035 when the connection is under way).
    virtual int connect(uint32_t addressNetworkOrder, uint16_t port) = 0;
    // 0, or -1 with lastError().
    virtual int setNonBlocking() = 0;
    // Bytes accepted, or -1 with lastError().
    virtual long send(const char* data, std::size_t size) = 0;
    // Bytes received (0: the peer closed), or -1 with lastError().
    virtual long receive(char* buffer, std::size_t size) = 0;
    // Closes the handle; a closed or absent handle is left alone.
    virtual void closeSocket() = 0;

    virtual int lastError() const = 0;

    // Name lookup: the host's first IPv4 address in network byte order, or nothing.
    virtual std::optional<uint32_t> lookupHost(const std::string& host) = 0;
};

}  // namespace velkora
