#pragma once

#include <memory>
#include <string>

#include "tests/support/TestCertificates.h"

namespace velkora::test {

// The server side of TLS (OpenSSL) over memory, for fake servers: the client's records go in,
// the server's come out, and plain text passes the other way once the handshake is done.
class FakeTlsServer {
public:
    explicit FakeTlsServer(const TestCertificate& certificate);
    ~FakeTlsServer();
    FakeTlsServer(const FakeTlsServer&) = delete;
    FakeTlsServer& operator=(const FakeTlsServer&) = delete;

    // Takes the client's records; returns the plain text they carried (after the handshake).
    std::string receive(const std::string& records);
    // The records the server has to send now (handshake messages, alerts, encrypted text).
    std::string takeRecords();
    // Encrypts plain text: the records to send.
    std::string encrypt(const std::string& plain);

    bool handshakeDone() const { return done_; }
    // The handshake failed or the client ended TLS (an alert, close_notify).
    bool ended() const { return ended_; }

private:
    struct Handles;
    std::unique_ptr<Handles> handles_;
    bool done_ = false;
    bool ended_ = false;
};

}  // namespace velkora::test
