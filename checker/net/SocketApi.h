#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "checker/net/IpAddress.h"

namespace velkora {

// Which readiness the socket reports; one kind is selected at a time.
enum class SocketNotification { Read = 1, Write = 2, Connect = 16 };

// The addresses of a host name, in the order to try them, or why there are none (a Windows
// Sockets number: 11001 host not found, 11002 no answer from the name server, ...).
struct HostAddresses {
    std::vector<IpAddress> addresses;
    int error = 0;
};

// What a connection asks of TLS: the server's name (or address literal) that its certificate
// must name, and the SHA-256 fingerprint the user pinned for it ("" for none).
struct TlsRequest {
    std::string host;
    std::string pinnedFingerprint;
};

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

    virtual void startup() = 0;  // network layer up (WSAStartup)
    virtual void cleanup() = 0;  // network layer down (WSACleanup)

    // A new connection handle replaces the old one; false when none could be created.
    virtual bool createSocket() = 0;
    virtual bool hasSocket() const = 0;

    // Selecting a kind replaces the previous selection and makes the socket non-blocking.
    virtual void selectNotification(SocketNotification kind) = 0;

    // Connects the handle to the first of the addresses that answers, trying them in turn.
    // 0, or -1 with lastError() (10035 when the connection is under way; any other code
    // when no address could even be tried). The connect notification comes once the
    // connection is up or every address has failed; a failure then shows at the next
    // receive or send.
    virtual int connect(const std::vector<IpAddress>& addresses, uint16_t port) = 0;
    // 0, or -1 with lastError().
    virtual int setNonBlocking() = 0;
    // Bytes accepted, or -1 with lastError().
    virtual long send(const char* data, std::size_t size) = 0;
    // Bytes received (0: the peer closed), or -1 with lastError().
    virtual long receive(char* buffer, std::size_t size) = 0;
    // Closes the handle; a closed or absent handle is left alone.
    virtual void closeSocket() = 0;

    virtual int lastError() const = 0;
    // A text for the user that says more about the last error than its number's text does
    // (why a certificate was refused), or "" when the number says it all.
    virtual std::string lastErrorText() const { return {}; }

    // Looks the host name up without ever blocking the calling thread: `done` runs later, as
    // an event of the GUI thread's loop (never inside this call), with its addresses. A
    // caller that no longer wants the answer ignores it.
    virtual void resolve(const std::string& host, std::function<void(HostAddresses)> done) = 0;

    // Puts TLS on the handle: at once on a connected socket (STARTTLS), otherwise as soon as
    // the connection is up. Data then passes encrypted; a send or receive made meanwhile
    // waits (would-block) until the handshake is done, and fails with the reason if the
    // server cannot be trusted. False when this seam has no TLS.
    virtual bool startTls(const TlsRequest&) { return false; }
};

}  // namespace velkora
