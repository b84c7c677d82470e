#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "checker/net/SocketApi.h"
#include "common/EventLoop.h"

namespace velkora {

// One received chunk, or a receive failure (error > 0, a Windows Sockets number; errorText,
// when not empty, says more than the number's text, as for a certificate that was refused).
struct ReceivedChunk {
    std::string bytes;
    int error = 0;
    std::string errorText;
};

// The checker's TCP layer: one connection at a time, readiness notifications routed by
// socketPhase to one handler that never looks at the notification itself.
//   "0" idle, "1" connecting, "3" reading, "4" write pending; "" before the first session.
// The phase is the layer's own: the session moves it only through the transitions below.
// Errors are not shown here: their texts go up through onError.
class SocketLayer {
public:
    SocketLayer(SocketApi& api, EventLoop& loop);
    // Leaves the seam without a sink: notifications must not reach a layer that is gone.
    ~SocketLayer();
    SocketLayer(const SocketLayer&) = delete;
    SocketLayer& operator=(const SocketLayer&) = delete;

    // "" when the connection is under way, otherwise the error text to show. Also "" when a
    // notification handled meanwhile has already ended (and reported) the connection.
    // An address typed as the host is connected to at once; a name is looked up without
    // blocking, and the connection begins when the answer comes. A lookup or connect that
    // fails then reaches onReply as a receive failure, as a connection refused later does.
    // With `tls`, TLS is put on the connection as soon as it is up (port 995).
    std::string openConnection(const std::string& host, int16_t port,
                               const std::optional<TlsRequest>& tls = std::nullopt);
    // STARTTLS: TLS on the open connection, from the next byte on. False when there is no
    // connection or the seam has no TLS.
    bool startTls(const TlsRequest& tls);
    // Sends the UTF-8 line in code page 932, all of its bytes (waiting for room when the
    // socket is full). A failure closes the connection, goes to onError and leaves the phase
    // idle. Without an open connection nothing is sent.
    void sendLine(const std::string& line);
    ReceivedChunk receiveChunk();
    // After the QUIT acknowledgement the blocking hook is also removed (a no-op here).
    void closeConnection();
    void selectNotification(SocketNotification kind);
    bool connectionOpen() const { return api_.hasSocket(); }

    // The notification handler: restartTimeup, then routing by socketPhase.
    void txtSockIn_KeyDown();

    // The session's moves of the phase: idle ("0"); reading ("3"); and, while it acts on an
    // acknowledgement, read notifications selected with phase "4" until its command's write
    // notification comes.
    void goIdle() { socketPhase_ = "0"; }
    void resumeReading() { socketPhase_ = "3"; }
    void beginAcknowledgement();

    // Read-only: the routing state, for the session's decisions and for tests.
    const std::string& socketPhase() const { return socketPhase_; }

    // The session's reply handler, given each chunk (or failure) read in phase "3".
    std::function<void(const ReceivedChunk&)> onReply;
    // The check cycle's time-up restart, run first on every notification.
    std::function<void()> restartTimeup;
    // The text of a send failure, for the one place that shows errors.
    std::function<void(const std::string&)> onError;

private:
    // Connects to the addresses; 0 when under way, otherwise the failure's code.
    int connectTo(const std::vector<IpAddress>& addresses, int16_t port);
    // A connection that failed before it came up: as if the connect notification had come
    // and the first receive had failed.
    void failConnection(int code);
    // The text for a failure the seam just reported.
    std::string failureText(int code) const;

    SocketApi& api_;
    EventLoop& loop_;
    std::string socketPhase_;
    // Counts connections opened and closed, so that a wait can tell that the connection it
    // was sending on is gone or was replaced meanwhile.
    uint64_t connectionGeneration_ = 0;
    // Bytes still to go out on the connection being sent on; lines sent on it while a wait for
    // room is under way join them.
    std::string outgoing_;
    uint64_t sendingGeneration_ = 0;
    bool sending_ = false;
};

// The Japanese text for a Windows Sockets error number; "(code)" for codes without one.
std::string socketErrorText(int32_t code);

}  // namespace velkora
