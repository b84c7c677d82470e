#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "checker/net/SocketApi.h"
#include "common/EventLoop.h"

namespace velkora {

class TlsSession;

// TLS (OpenSSL) on top of another socket seam, as a seam itself: the layer above speaks
// plain bytes and sees the same notifications as on a plain socket, the seam below carries
// the records. Without startTls everything passes straight through.
//
// The handshake runs on the readiness events of the seam below, without blocking. Until it is
// done the layer above gets no notification and its sends and receives would block; a
// connect notification the layer waits for comes once the server has been trusted. The
// server is trusted when its certificate chains to the system's trust store (SSL_CERT_FILE
// and SSL_CERT_DIR override it, as everywhere in OpenSSL) and names the host, or when its
// SHA-256 fingerprint is the one pinned; a pinned fingerprint is then the only certificate
// accepted. A server that is not trusted gets nothing but the handshake: the failure, with a
// text that says why and shows the fingerprint, is what the next send or receive reports
// (code kTlsFailure, text lastErrorText()). Nothing ever falls back to plain text.
class TlsSocketApi final : public SocketApi {
public:
    // The Windows Sockets number of no platform, under which TLS failures are reported.
    static constexpr int kTlsFailure = 12100;

    TlsSocketApi(SocketApi& inner, EventLoop& loop);
    ~TlsSocketApi() override;
    TlsSocketApi(const TlsSocketApi&) = delete;
    TlsSocketApi& operator=(const TlsSocketApi&) = delete;

    void setNotificationSink(std::function<void()> sink) override { sink_ = std::move(sink); }
    void startup() override { inner_.startup(); }
    void cleanup() override { inner_.cleanup(); }
    bool createSocket() override;
    bool hasSocket() const override { return inner_.hasSocket(); }
    void selectNotification(SocketNotification kind) override;
    int connect(const std::vector<IpAddress>& addresses, uint16_t port) override;
    int setNonBlocking() override;
    long send(const char* data, std::size_t size) override;
    long receive(char* buffer, std::size_t size) override;
    void closeSocket() override;
    int lastError() const override { return lastError_; }
    std::string lastErrorText() const override;
    void resolve(const std::string& host, std::function<void(HostAddresses)> done) override {
        inner_.resolve(host, std::move(done));
    }
    bool startTls(const TlsRequest& request) override;

private:
    enum class Mode {
        Plain,        // no TLS: everything passes through
        Waiting,      // TLS asked for; the connection is not up yet
        Handshaking,  // the handshake runs on the seam below
        Open,         // records both ways
        Failed,       // the reason is kept for the next send or receive
    };

    void onInnerNotification();
    void beginHandshake();
    // One step of the handshake for every event below, until it needs to wait.
    void driveHandshake();
    void handshakeDone();
    // Moves the records TLS has written to the seam below. False when they could not all go
    // (lastError_ says why: would-block means the seam owes a write notification).
    bool flushRecords();
    // One receive from the seam below into TLS: bytes received, 0 at the end of the stream,
    // -1 with lastError_.
    long pullRecords();
    void fail(int code, std::string text);
    // The layer's selection, once the handshake is done (or has failed).
    void resumeSelection();
    // A notification of the given kind to the layer, as a later event of the loop.
    void postNotification(SocketNotification kind);
    // Plain bytes or records still held here: the seam below will not announce them.
    bool holdsUnread() const;
    long failWith(int code);
    void reset();

    SocketApi& inner_;
    EventLoop& loop_;
    std::function<void()> sink_;
    Mode mode_ = Mode::Plain;
    std::unique_ptr<TlsSession> tls_;
    TlsRequest request_;
    bool connectCalled_ = false;
    std::optional<SocketNotification> selected_;  // the layer's
    std::string records_;                         // written by TLS, not yet taken below
    std::size_t heldPlain_ = 0;                   // encrypted, not yet reported as sent
    int lastError_ = 0;
    int failureCode_ = 0;
    std::string failureText_;
    uint64_t generation_ = 0;
    bool notificationPosted_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace velkora
