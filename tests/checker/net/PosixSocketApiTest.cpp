#include "checker/net/PosixSocketApi.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cerrno>
#include <functional>
#include <memory>
#include <string>

#include "checker/net/WinsockErrors.h"
#include "common/qt/QtEventLoop.h"

namespace velkora {
namespace {

void ensureApplication() {
    if (QCoreApplication::instance() == nullptr) {
        static int argc = 1;
        static char name[] = "test_net";
        static char* argv[] = {name, nullptr};
        static QCoreApplication application(argc, argv);
    }
}

uint32_t loopbackAddress() {
    return htonl(INADDR_LOOPBACK);
}

// A listening socket on a free loopback port; accept() gives the server side of a connection.
class Listener {
public:
    Listener() {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = loopbackAddress();
        address.sin_port = 0;
        if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(fd_, 4) != 0) {
            throw std::runtime_error("no loopback listener");
        }
        socklen_t length = sizeof address;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~Listener() { close(fd_); }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    uint16_t port() const { return port_; }
    // Blocks: only once the client's connect has been made.
    int accept() const { return ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC); }

private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

// A loopback port that nothing listens on.
uint16_t refusedPort() {
    Listener probe;
    return probe.port();  // closed again when probe goes
}

class PosixSocketApiTest : public ::testing::Test {
protected:
    PosixSocketApiTest() {
        ensureApplication();
        api.setNotificationSink([this] { ++notifications; });
    }
    ~PosixSocketApiTest() override {
        if (peer >= 0) {
            close(peer);
        }
    }

    void runFor(int ms) {
        bool over = false;
        std::unique_ptr<Timer> stop = loop.createTimer();
        stop->setHandler([&] { over = true; });
        stop->setInterval(ms);
        stop->setEnabled(true);
        loop.runUntil([&] { return over; });
    }

    // Waits for the next notification, at most ms; true when one came.
    bool nextNotification(int ms = 3000) {
        int before = notifications;
        bool over = false;
        std::unique_ptr<Timer> guard = loop.createTimer();
        guard->setHandler([&] { over = true; });
        guard->setInterval(ms);
        guard->setEnabled(true);
        loop.runUntil([&] { return over || notifications > before; });
        return notifications > before;
    }

    // Connects to the listener and takes the connect notification.
    void connectToListener() {
        ASSERT_TRUE(api.createSocket());
        api.selectNotification(SocketNotification::Connect);
        int rc = api.connect(loopbackAddress(), listener.port());
        if (rc != 0) {
            ASSERT_EQ(api.lastError(), winsock::kWouldBlock);
        }
        ASSERT_TRUE(nextNotification());
        peer = listener.accept();
        ASSERT_GE(peer, 0);
    }

    QtEventLoop loop;
    PosixSocketApi api{loop};
    Listener listener;
    int peer = -1;
    int notifications = 0;
};

TEST_F(PosixSocketApiTest, ConnectIsReportedOnceAndWriteReadinessAtOnceAndOnlyOnce) {
    EXPECT_FALSE(api.hasSocket());
    connectToListener();
    EXPECT_TRUE(api.hasSocket());
    EXPECT_EQ(notifications, 1);
    runFor(100);
    EXPECT_EQ(notifications, 1);  // a connected socket stays writable; that is no new event

    api.selectNotification(SocketNotification::Write);
    EXPECT_EQ(notifications, 1);  // never inside the selecting call
    EXPECT_TRUE(nextNotification());
    runFor(100);
    EXPECT_EQ(notifications, 2);

    EXPECT_EQ(api.setNonBlocking(), 0);
    EXPECT_EQ(api.send("USER a\r\n", 8), 8);
    char got[16] = {};
    EXPECT_EQ(recv(peer, got, sizeof got, 0), 8);
    EXPECT_EQ(std::string(got, 8), "USER a\r\n");
}

TEST_F(PosixSocketApiTest, ReadingTakesAFullBufferThenTheRestAndTheEndOfStreamOnce) {
    connectToListener();
    api.selectNotification(SocketNotification::Read);
    runFor(100);
    EXPECT_EQ(notifications, 1);  // nothing to read yet

    std::string reply(5000, 'r');
    reply[4095] = '\x82';
    ASSERT_EQ(send(peer, reply.data(), reply.size(), 0), 5000);
    ASSERT_TRUE(nextNotification());
    char buffer[4096];
    ASSERT_EQ(api.receive(buffer, sizeof buffer), 4096);
    EXPECT_EQ(std::string(buffer, 4096), reply.substr(0, 4096));
    ASSERT_TRUE(nextNotification());  // the rest is announced anew
    ASSERT_EQ(api.receive(buffer, sizeof buffer), 904);
    EXPECT_EQ(std::string(buffer, 904), reply.substr(4096));

    // Until it is received, waiting data is announced once, not at every loop round.
    ASSERT_EQ(send(peer, "+OK\r\n", 5, 0), 5);
    ASSERT_TRUE(nextNotification());
    int count = notifications;
    runFor(100);
    EXPECT_EQ(notifications, count);
    EXPECT_EQ(api.receive(buffer, sizeof buffer), 5);

    // Nothing there: would-block.
    EXPECT_EQ(api.receive(buffer, sizeof buffer), -1);
    EXPECT_EQ(api.lastError(), winsock::kWouldBlock);

    close(peer);
    peer = -1;
    ASSERT_TRUE(nextNotification());
    EXPECT_EQ(api.receive(buffer, sizeof buffer), 0);
    count = notifications;
    runFor(150);
    EXPECT_EQ(notifications, count);  // the closed stream does not keep the loop busy
    api.selectNotification(SocketNotification::Read);
    runFor(50);
    EXPECT_EQ(notifications, count);
}

TEST_F(PosixSocketApiTest, RefusedConnectCompletesAndSurfacesAtTheNextReceive) {
    uint16_t port = refusedPort();
    ASSERT_TRUE(api.createSocket());
    api.selectNotification(SocketNotification::Connect);
    int rc = api.connect(loopbackAddress(), port);
    if (rc == -1 && api.lastError() == winsock::kConnectionRefused) {
        return;  // refused at once: just as good
    }
    ASSERT_EQ(rc, -1);
    EXPECT_EQ(api.lastError(), winsock::kWouldBlock);
    ASSERT_TRUE(nextNotification());  // completed, unsuccessfully
    api.selectNotification(SocketNotification::Read);
    ASSERT_TRUE(nextNotification());
    char buffer[64];
    EXPECT_EQ(api.receive(buffer, sizeof buffer), -1);
    EXPECT_EQ(api.lastError(), winsock::kConnectionRefused);
    int count = notifications;
    runFor(100);
    EXPECT_EQ(notifications, count);
}

TEST_F(PosixSocketApiTest, AFullSocketGivesWouldBlockAndAWriteNotificationWhenRoomComesBack) {
    connectToListener();
    api.selectNotification(SocketNotification::Write);
    ASSERT_TRUE(nextNotification());

    const std::string block(65536, 'x');
    std::size_t sent = 0;
    long n;
    while ((n = api.send(block.data(), block.size())) > 0) {
        sent += static_cast<std::size_t>(n);
        ASSERT_LT(sent, 256u * 1024 * 1024) << "the socket never filled";
    }
    ASSERT_EQ(n, -1);
    EXPECT_EQ(api.lastError(), winsock::kWouldBlock);
    int count = notifications;
    runFor(100);
    EXPECT_EQ(notifications, count);  // still full: nothing to report

    // The peer reads, as events of the same loop; room comes back.
    fcntl(peer, F_SETFL, fcntl(peer, F_GETFL) | O_NONBLOCK);
    std::unique_ptr<FdWatch> drain = loop.watchFd(peer, FdReadiness::Read, [this] {
        char buffer[65536];
        while (recv(peer, buffer, sizeof buffer, 0) > 0) {
        }
    });
    EXPECT_TRUE(nextNotification(10000));
    drain.reset();
}

TEST_F(PosixSocketApiTest, SelectingAKindReplacesThePreviousOne) {
    connectToListener();
    api.selectNotification(SocketNotification::Write);
    api.selectNotification(SocketNotification::Read);  // before the write readiness came
    runFor(100);
    EXPECT_EQ(notifications, 1);
    ASSERT_EQ(send(peer, "x", 1, 0), 1);
    EXPECT_TRUE(nextNotification());
}

TEST_F(PosixSocketApiTest, CallsWithoutASocketFailAndClosingOrReplacingClosesTheDescriptor) {
    char buffer[4];
    EXPECT_EQ(api.send("x", 1), -1);
    EXPECT_EQ(api.lastError(), winsock::kNotSocket);
    EXPECT_EQ(api.receive(buffer, sizeof buffer), -1);
    EXPECT_EQ(api.connect(loopbackAddress(), listener.port()), -1);
    EXPECT_EQ(api.setNonBlocking(), -1);
    EXPECT_EQ(api.lastError(), winsock::kNotSocket);
    api.closeSocket();
    api.selectNotification(SocketNotification::Read);
    runFor(30);
    EXPECT_EQ(notifications, 0);

    connectToListener();
    api.closeSocket();
    EXPECT_FALSE(api.hasSocket());
    api.closeSocket();
    char got;
    EXPECT_EQ(recv(peer, &got, 1, 0), 0);  // the peer sees the close

    // A new socket closes the one before rather than leaking it.
    close(peer);
    connectToListener();
    ASSERT_TRUE(api.createSocket());
    EXPECT_EQ(recv(peer, &got, 1, 0), 0);
}

TEST_F(PosixSocketApiTest, LookupFindsLocalhostAndMapsAnUnknownNameToHostNotFound) {
    std::optional<uint32_t> local = api.lookupHost("localhost");
    ASSERT_TRUE(local.has_value());
    EXPECT_EQ(*local, loopbackAddress());

    // A name under .invalid never exists; the resolver must be able to say so, though.
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    int direct = getaddrinfo("no-such-host.invalid", nullptr, &hints, &found);
    if (found != nullptr) {
        freeaddrinfo(found);
    }
    if (direct == EAI_AGAIN) {
        GTEST_SKIP() << "no name server reachable";
    }
    EXPECT_FALSE(api.lookupHost("no-such-host.invalid").has_value());
    EXPECT_EQ(api.lastError(), winsock::kHostNotFound);
}

TEST(WinsockErrors, ErrnoValuesMapOntoTheirWindowsSocketsNumbers) {
    const std::pair<int, int> mapped[] = {
        {EINTR, 10004},        {EACCES, 10013},          {EFAULT, 10014},
        {EINVAL, 10022},       {EMFILE, 10024},          {ENFILE, 10024},
        {EAGAIN, 10035},       {EWOULDBLOCK, 10035},     {EINPROGRESS, 10035},
        {EALREADY, 10037},     {ENOTSOCK, 10038},        {EBADF, 10038},
        {EDESTADDRREQ, 10039}, {EMSGSIZE, 10040},        {EPROTOTYPE, 10041},
        {ENOPROTOOPT, 10042},  {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044},
        {EOPNOTSUPP, 10045},   {EPFNOSUPPORT, 10046},    {EAFNOSUPPORT, 10047},
        {EADDRINUSE, 10048},   {EADDRNOTAVAIL, 10049},   {ENETDOWN, 10050},
        {ENETUNREACH, 10051},  {ENETRESET, 10052},       {ECONNABORTED, 10053},
        {ECONNRESET, 10054},   {ENOBUFS, 10055},         {ENOMEM, 10055},
        {EISCONN, 10056},      {ENOTCONN, 10057},        {ESHUTDOWN, 10058},
        {EPIPE, 10058},        {ETIMEDOUT, 10060},       {ECONNREFUSED, 10061},
        {EHOSTDOWN, 10064},    {EHOSTUNREACH, 10065},    {0, 0},
    };
    for (const auto& [errnoValue, expected] : mapped) {
        EXPECT_EQ(winsock::fromErrno(errnoValue), expected) << "errno " << errnoValue;
    }
    // Without a counterpart: far from every Windows Sockets number, the errno still readable.
    for (int errnoValue : {EIO, EPERM, ELOOP, ENAMETOOLONG, ENOENT}) {
        int code = winsock::fromErrno(errnoValue);
        EXPECT_EQ(code, winsock::kUnmappedErrnoBase + errnoValue);
        EXPECT_GT(code, 12000);
    }
}

TEST(WinsockErrors, ResolverResultsMapOntoHostNotFoundAndItsKin) {
    EXPECT_EQ(winsock::fromResolver(0, 0), 0);
    EXPECT_EQ(winsock::fromResolver(EAI_NONAME, 0), 11001);
    EXPECT_EQ(winsock::fromResolver(EAI_AGAIN, 0), 11002);
    EXPECT_EQ(winsock::fromResolver(EAI_FAIL, 0), 11003);
    EXPECT_EQ(winsock::fromResolver(EAI_NODATA, 0), 11004);
    EXPECT_EQ(winsock::fromResolver(EAI_ADDRFAMILY, 0), 11004);
    EXPECT_EQ(winsock::fromResolver(EAI_MEMORY, 0), 10055);
    EXPECT_EQ(winsock::fromResolver(EAI_SYSTEM, ECONNREFUSED), 10061);
    EXPECT_GT(winsock::fromResolver(EAI_SYSTEM, 0), 12000);
    EXPECT_GT(winsock::fromResolver(EAI_SERVICE, 0), 12000);
    EXPECT_NE(winsock::fromResolver(EAI_SERVICE, 0), winsock::fromResolver(EAI_SOCKTYPE, 0));
}

}  // namespace
}  // namespace velkora
