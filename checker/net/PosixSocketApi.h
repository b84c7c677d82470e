#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "checker/net/SocketApi.h"
#include "common/EventLoop.h"

namespace velkora {

// The socket seam on POSIX sockets: one non-blocking IPv4 TCP socket, readiness watched
// through the event loop. Errors are reported as Windows Sockets numbers (WinsockErrors.h).
//
// Notifications follow the message-driven model the layer above expects, not the level-
// triggered readiness below it, so that an idle socket never keeps the loop awake:
//  - Connect: one call when a connect under way has completed, successfully or not.
//  - Write: one call as soon as the connected socket can take data after Write is selected,
//    and one more each time a send had to report would-block and room has come back.
//  - Read: one call when data (or the peer's close, or an error) is waiting; the next one only
//    after a receive, so data left unread is announced again but an end of stream only once.
class PosixSocketApi final : public SocketApi {
public:
    explicit PosixSocketApi(EventLoop& loop);
    ~PosixSocketApi() override;

    PosixSocketApi(const PosixSocketApi&) = delete;
    PosixSocketApi& operator=(const PosixSocketApi&) = delete;

    void setNotificationSink(std::function<void()> sink) override;
    void startup() override {}
    void cleanup() override {}
    // Closes a socket still open before making the new one: its descriptor would leak.
    bool createSocket() override;
    bool hasSocket() const override { return fd_ >= 0; }
    void selectNotification(SocketNotification kind) override;
    // The port in host byte order.
    int connect(uint32_t addressNetworkOrder, uint16_t port) override;
    int setNonBlocking() override;
    long send(const char* data, std::size_t size) override;
    long receive(char* buffer, std::size_t size) override;
    void closeSocket() override;
    int lastError() const override { return lastError_; }
    std::optional<uint32_t> lookupHost(const std::string& host) override;

private:
    // Makes the watch match the selection and what is still owed to the sink.
    void rearm();
    void onReady();
    int fail(int winsockError);

    EventLoop& loop_;
    std::function<void()> sink_;
    int fd_ = -1;
    int lastError_ = 0;
    std::optional<SocketNotification> selected_;
    std::unique_ptr<FdWatch> watch_;
    FdReadiness watchReadiness_ = FdReadiness::Read;
    bool connectStarted_ = false;  // a connect was accepted or is under way
    bool connectOwed_ = false;     // its completion has not been reported yet
    bool writeOwed_ = false;
    bool readOwed_ = false;
    bool streamEnded_ = false;  // a receive saw the end of the stream or a hard error
};

}  // namespace velkora
