#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "checker/net/SocketApi.h"

namespace velkora {

// One client side of TLS (OpenSSL) over memory: records go in and come out as bytes, so that
// the caller moves them over a non-blocking socket on its readiness events. Verification
// settings: TLS 1.2 or newer, the system's trust store (SSL_CERT_FILE, SSL_CERT_DIR), the
// host name (or address literal) of the request, SNI for names.
class TlsSession {
public:
    enum class Result {
        Done,      // the step is complete (handshake) or bytes were moved (read, write)
        WantRead,  // more records from the server are needed first
        Closed,    // the server ended TLS (read)
        Failed,    // a protocol error: failureReason() says what
    };

    explicit TlsSession(const TlsRequest& request);
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    // False when OpenSSL could not set the session up at all (failureReason()).
    bool ready() const;

    Result handshake();
    // Plain bytes in; all of them are taken (as records, see takeRecords).
    Result write(const char* data, std::size_t size);
    // Plain bytes out: *got is set on Done.
    Result read(char* buffer, std::size_t size, std::size_t* got);
    // Records from the server.
    void putRecords(const char* data, std::size_t size);
    // Records for the server, written since the last call.
    std::string takeRecords();
    // Plain bytes or records still held that no socket will announce.
    bool holdsUnread() const;
    // Tells the server that TLS ends (close_notify; the records still have to go out).
    void shutdown();

    // After the handshake: "" when the server is trusted (see TlsSocketApi), otherwise the
    // text for the user, with the certificate's fingerprint.
    std::string verdict() const;
    // What the last failure was, in OpenSSL's words.
    std::string failureReason() const;

private:
    struct Handles;
    // Takes the reason of a failure off OpenSSL's error queue.
    void noteFailure();

    std::unique_ptr<Handles> handles_;
    TlsRequest request_;
    std::string failureReason_;
};

}  // namespace velkora
