#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "checker/net/SocketApi.h"
#include "common/EventLoop.h"

namespace velkora {

// The socket seam on POSIX sockets: one non-blocking TCP connection (IPv4 or IPv6),
// readiness watched through the event loop. Errors are reported as Windows Sockets numbers
// (WinsockErrors.h).
//
// Notifications follow the message-driven model the layer above expects, not the level-
// triggered readiness below it, so that an idle socket never keeps the loop awake:
//  - Connect: one call when a connect under way has completed, successfully or not.
//  - Write: one call as soon as the connected socket can take data after Write is selected,
//    and one more each time a send had to report would-block and room has come back.
//  - Read: one call when data (or the peer's close, or an error) is waiting; the next one only
//    after a receive, so data left unread is announced again but an end of stream only once.
//
// A connect tries the addresses in turn, as RFC 8305 describes: each gets a head start of
// kHeadStartMs before the next one is tried beside it, a failure moves on at once, and the
// first connection that comes up is kept while the others are closed. When every address has
// failed, the failure of the first (the preferred) one is what the next receive reports.
class PosixSocketApi final : public SocketApi {
public:
    static constexpr int kHeadStartMs = 250;

    explicit PosixSocketApi(EventLoop& loop);
    ~PosixSocketApi() override;

    PosixSocketApi(const PosixSocketApi&) = delete;
    PosixSocketApi& operator=(const PosixSocketApi&) = delete;

    void setNotificationSink(std::function<void()> sink) override;
    void startup() override {}
    void cleanup() override {}
    // Closes a connection still open first: its descriptor would leak.
    bool createSocket() override;
    bool hasSocket() const override { return open_; }
    void selectNotification(SocketNotification kind) override;
    // The port in host byte order.
    int connect(const std::vector<IpAddress>& addresses, uint16_t port) override;
    int setNonBlocking() override;
    long send(const char* data, std::size_t size) override;
    long receive(char* buffer, std::size_t size) override;
    void closeSocket() override;
    int lastError() const override { return lastError_; }
    // Runs `lookup` on a thread of the loop's.
    void resolve(const std::string& host, std::function<void(HostAddresses)> done) override;

    // The system's name lookup (getaddrinfo): IPv6 and IPv4 addresses, families interleaved.
    // Blocks; resolve() runs it away from the loop's thread.
    static HostAddresses lookUpHost(const std::string& host);
    // What resolve() runs; a test may put a lookup of its own here.
    std::function<HostAddresses(const std::string&)> lookup = lookUpHost;

private:
    struct Attempt {
        int fd = -1;
        std::size_t index = 0;  // of the address
        std::unique_ptr<FdWatch> watch;
    };

    // Makes the watch match the selection and what is still owed to the sink.
    void rearm();
    void onReady();
    int fail(int winsockError);

    // The race of connection attempts.
    // Starts attempts until one is under way or connected, or the addresses are used up.
    void startAttempts();
    // Starts the attempt at nextAddress_; false when it failed at once.
    bool startAttempt();
    void attemptReady(int fd);
    void attemptFailed(std::size_t index, int winsockError);
    void headStartOver();
    void won(int fd);
    void lost();
    void endRace();

    EventLoop& loop_;
    std::function<void()> sink_;
    bool open_ = false;  // the handle exists (from createSocket to closeSocket)
    int fd_ = -1;        // the connected socket
    int lastError_ = 0;
    std::optional<SocketNotification> selected_;
    std::unique_ptr<FdWatch> watch_;
    FdReadiness watchReadiness_ = FdReadiness::Read;
    bool connectStarted_ = false;  // a connect was accepted or is under way
    bool connectOwed_ = false;     // its completion has not been reported yet
    bool writeOwed_ = false;
    bool readOwed_ = false;
    bool streamEnded_ = false;  // a receive saw the end of the stream or a hard error
    int raceError_ = 0;         // every address failed: the error of the preferred one

    std::vector<IpAddress> addresses_;
    uint16_t port_ = 0;
    std::size_t nextAddress_ = 0;
    std::vector<Attempt> attempts_;
    std::vector<std::pair<std::size_t, int>> failures_;  // address index, error
    std::unique_ptr<Timer> headStart_;

    // Notifications owed without a descriptor to watch (the race was lost) are posted; the
    // generation tells a posted one that its handle is gone.
    uint64_t generation_ = 0;
    bool notificationPosted_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace velkora
