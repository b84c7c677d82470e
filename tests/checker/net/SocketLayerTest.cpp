#include "checker/net/SocketLayer.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/SimulatedEventLoop.h"

namespace velkora {
namespace {

using Log = std::vector<std::string>;
constexpr std::size_t kUnlimited = std::numeric_limits<std::size_t>::max();

// A scripted connection. Notifications are posted like window messages: a connect under way
// completes at the next event, write readiness follows at once on a connected socket with
// room, and a would-block send gets its room back (and its write notification) two events
// later, so that only a real wait sees it.
class ScriptedApi final : public SocketApi {
public:
    explicit ScriptedApi(test::SimulatedEventLoop& loop) : loop_(loop) {}

    void setNotificationSink(std::function<void()> sink) override { sink_ = std::move(sink); }
    void startup() override { log.push_back("startup"); }
    void cleanup() override { log.push_back("cleanup"); }
    bool createSocket() override {
        log.push_back("create");
        open_ = canCreate;
        return canCreate;
    }
    bool hasSocket() const override { return open_; }
    void selectNotification(SocketNotification kind) override {
        log.push_back("select " + std::to_string(static_cast<int>(kind)));
        selected = kind;
        if (kind == SocketNotification::Write && connected && room > 0) {
            post();
        }
    }
    int connect(uint32_t address, uint16_t port) override {
        log.push_back("connect");
        connectedAddress = address;
        connectedPort = port;
        if (connectResult == 0 || connectError == 10035) {
            loop_.post([this] {
                connected = true;
                if (selected == SocketNotification::Connect) {
                    sink_();
                }
            });
        }
        error_ = connectError;
        return connectResult;
    }
    int setNonBlocking() override {
        log.push_back("nonblocking");
        error_ = nonBlockingError;
        return nonBlockingError == 0 ? 0 : -1;
    }
    long send(const char* data, std::size_t size) override {
        log.push_back("send");
        ++sendCalls;
        if (sendError != 0) {
            error_ = sendError;
            return -1;
        }
        std::size_t n = std::min({size, maxPerSend, room});
        if (n == 0) {
            error_ = 10035;
            loop_.post([this] {
                loop_.post([this] {
                    room = roomAfterWait;
                    if (selected == SocketNotification::Write) {
                        sink_();
                    }
                });
            });
            return -1;
        }
        room -= n;
        wire.append(data, n);
        return static_cast<long>(n);
    }
    long receive(char* buffer, std::size_t size) override {
        log.push_back("receive");
        if (receiveError != 0) {
            error_ = receiveError;
            return -1;
        }
        std::size_t n = std::min(size, inbound.size());
        if (n == 0 && !peerClosed) {
            error_ = 10035;
            return -1;
        }
        inbound.copy(buffer, n);
        inbound.erase(0, n);
        return static_cast<long>(n);
    }
    void closeSocket() override {
        log.push_back("close");
        open_ = false;
        connected = false;
    }
    int lastError() const override { return error_; }
    std::optional<uint32_t> lookupHost(const std::string& host) override {
        log.push_back("lookup " + host);
        return lookupResult;
    }

    void connectNow() { open_ = connected = true; }

    Log log;
    bool canCreate = true;
    int connectResult = -1;
    int connectError = 10035;
    int nonBlockingError = 0;
    uint32_t connectedAddress = 0;
    uint16_t connectedPort = 0;
    std::optional<uint32_t> lookupResult;
    std::optional<SocketNotification> selected;
    bool connected = false;
    std::string wire;
    std::size_t maxPerSend = kUnlimited;
    std::size_t room = kUnlimited;
    std::size_t roomAfterWait = kUnlimited;
    int sendError = 0;
    int sendCalls = 0;
    std::string inbound;
    bool peerClosed = false;
    int receiveError = 0;

private:
    void post() {
        loop_.post([this] { sink_(); });
    }

    test::SimulatedEventLoop& loop_;
    std::function<void()> sink_;
    bool open_ = false;
    int error_ = 0;
};

class SocketLayerTest : public ::testing::Test {
protected:
    SocketLayerTest() {
        layer.restartTimeup = [this] { api.log.push_back("restartTimeup"); };
        layer.onReply = [this](const ReceivedChunk& chunk) { replies.push_back(chunk); };
        layer.onError = [this](const std::string& text) { errors.push_back(text); };
    }

    // The calls made by fn.
    Log logOf(const std::function<void()>& fn) {
        const std::size_t start = api.log.size();
        fn();
        return {api.log.begin() + static_cast<std::ptrdiff_t>(start), api.log.end()};
    }

    // Without timers: a wait with nothing posted would never end, and fails the test.
    test::SimulatedEventLoop loop;
    ScriptedApi api{loop};
    SocketLayer layer{api, loop};
    std::vector<ReceivedChunk> replies;
    std::vector<std::string> errors;
};

TEST_F(SocketLayerTest, NotificationIsRoutedByPhaseAloneAfterRestartingTheTimeUp) {
    api.connectNow();
    // Before the first session the phase is empty; idle is "0": both ignore notifications.
    for (const char* idle : {"", "0"}) {
        if (*idle != '\0') {
            layer.goIdle();
        }
        EXPECT_EQ(logOf([&] { layer.txtSockIn_KeyDown(); }), Log{"restartTimeup"}) << idle;
        EXPECT_EQ(layer.socketPhase(), idle);
    }
    // A write notification after an acknowledgement selects reading again ("1" does the same,
    // see the opening test).
    EXPECT_EQ(logOf([&] { layer.beginAcknowledgement(); }), Log{"select 1"});
    EXPECT_EQ(layer.socketPhase(), "4");
    EXPECT_EQ(logOf([&] { layer.txtSockIn_KeyDown(); }), (Log{"restartTimeup", "select 1"}));
    EXPECT_EQ(layer.socketPhase(), "3");
    EXPECT_TRUE(replies.empty());

    api.inbound = "+OK ready\r\n";
    EXPECT_EQ(logOf([&] { layer.txtSockIn_KeyDown(); }), (Log{"restartTimeup", "receive"}));
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].bytes, "+OK ready\r\n");
    EXPECT_EQ(layer.socketPhase(), "3");  // the reply handler decides what comes next
}

TEST_F(SocketLayerTest, ReadingGivesFullBuffersRawBytesEndOfStreamAndFailures) {
    api.connectNow();
    layer.resumeReading();
    // Cut inside a double-byte character: the bytes are handed on untouched.
    api.inbound = std::string(4095, 'a') + "\x82" + std::string(903, 'b') + "\x1b";
    layer.txtSockIn_KeyDown();
    layer.txtSockIn_KeyDown();
    layer.txtSockIn_KeyDown();  // nothing there after all: no failure, just nothing
    api.peerClosed = true;
    layer.txtSockIn_KeyDown();
    api.receiveError = 10061;  // how a refused connect shows up after the connect notification
    layer.txtSockIn_KeyDown();
    ASSERT_EQ(replies.size(), 5u);
    EXPECT_EQ(replies[0].bytes, std::string(4095, 'a') + "\x82");
    EXPECT_EQ(replies[1].bytes, std::string(903, 'b') + "\x1b");
    for (std::size_t i = 2; i < 5; ++i) {
        EXPECT_EQ(replies[i].bytes, "") << i;
        EXPECT_EQ(replies[i].error, i == 4 ? 10061 : 0) << i;
    }
    EXPECT_TRUE(errors.empty());  // reporting it is the session's business

    // A connection closed inside the receive's pump: nothing is read from it any more.
    api.receiveError = 0;
    api.inbound = "+OK\r\n";
    loop.post([this] { layer.closeConnection(); });
    EXPECT_EQ(logOf([&] { layer.txtSockIn_KeyDown(); }),
              (Log{"restartTimeup", "close", "cleanup"}));
    EXPECT_EQ(replies.back().bytes, "");
    EXPECT_EQ(replies.back().error, 0);
}

TEST_F(SocketLayerTest, OpeningConnectsToADottedAddressOrALookedUpOneAndSelectsReading) {
    EXPECT_EQ(layer.openConnection("192.168.10.2", 110), "");
    EXPECT_EQ(api.log, (Log{"startup", "create", "select 16", "connect", "restartTimeup",
                            "select 1", "nonblocking"}));
    EXPECT_EQ(api.connectedAddress, inet_addr("192.168.10.2"));
    EXPECT_EQ(api.connectedPort, 110);
    EXPECT_EQ(layer.socketPhase(), "3");

    api.lookupResult = inet_addr("10.1.2.3");
    EXPECT_EQ(layer.openConnection("pop.example.jp", -1), "");
    EXPECT_EQ(api.connectedAddress, inet_addr("10.1.2.3"));
    EXPECT_EQ(api.connectedPort, 65535);  // the stored signed port, as 16 bits on the wire

    // An unknown host has no message of its own: the no-address value goes to the connect.
    api.lookupResult.reset();
    EXPECT_EQ(layer.openConnection("nowhere.invalid", 110), "");
    EXPECT_EQ(api.connectedAddress, 0xFFFFFFFFu);
    EXPECT_TRUE(errors.empty());

    // The short form needs no lookup; the all-ones address is looked up like a name.
    api.log.clear();
    EXPECT_EQ(layer.resolveHost("127.1"), inet_addr("127.0.0.1"));
    api.lookupResult = inet_addr("127.0.0.1");
    EXPECT_EQ(layer.resolveHost("255.255.255.255"), inet_addr("127.0.0.1"));
    EXPECT_EQ(api.log, Log{"lookup 255.255.255.255"});
}

TEST_F(SocketLayerTest, OpeningFailuresGiveTheirTexts) {
    api.canCreate = false;
    EXPECT_EQ(layer.openConnection("10.0.0.1", 110), "ｿｹｯﾄ生成ができませんでした");
    EXPECT_EQ(api.log, (Log{"startup", "create"}));

    api.canCreate = true;
    api.connectError = 10061;
    EXPECT_EQ(layer.openConnection("10.0.0.1", 110), "接続が拒否されちゃったよ");
    EXPECT_EQ(layer.socketPhase(), "1");
    EXPECT_EQ(api.log.back(), "connect");  // no non-blocking setup after a failed connect

    api.connectError = 10035;
    api.nonBlockingError = 10022;
    EXPECT_EQ(layer.openConnection("10.0.0.1", 110), "関数の呼び出し順番に誤りがあるよ");

    // A connection ended inside the connect's pumps has been dealt with there: nothing more is
    // set up on it and no second error is given.
    api.connectError = 10035;
    api.nonBlockingError = 10038;
    loop.post([this] { layer.closeConnection(); });
    EXPECT_EQ(layer.openConnection("10.0.0.1", 110), "");

    // A connect that succeeds at once is no failure.
    api.nonBlockingError = api.connectResult = api.connectError = 0;
    EXPECT_EQ(layer.openConnection("10.0.0.1", 110), "");
    EXPECT_TRUE(errors.empty());
}

TEST_F(SocketLayerTest, SendingPutsEveryByteInCodePage932OnTheWireAndContinuesPartialSends) {
    api.connectNow();
    layer.resumeReading();
    // The write notification is handled inside the send: read again, phase "3".
    EXPECT_EQ(logOf([&] { layer.sendLine("USER 山田\r\n"); }),
              (Log{"select 2", "send", "restartTimeup", "select 1"}));
    EXPECT_EQ(api.wire, "USER \x8E\x52\x93\x63\r\n");
    EXPECT_EQ(layer.socketPhase(), "3");

    api.wire.clear();
    api.sendCalls = 0;
    api.maxPerSend = 4;
    layer.sendLine("PASS パスワード\r\n");
    EXPECT_EQ(api.wire, "PASS \x83\x70\x83\x58\x83\x8F\x81\x5B\x83\x68\r\n");
    EXPECT_EQ(api.sendCalls, 5);  // 17 bytes, 4 at a time, no waiting

    // A full socket: 3 bytes fit, then would-block until room comes back.
    api.wire.clear();
    api.sendCalls = 0;
    api.maxPerSend = kUnlimited;
    api.room = 3;
    layer.sendLine("STAT\r\n");
    EXPECT_EQ(api.wire, "STAT\r\n");
    EXPECT_EQ(api.sendCalls, 3);  // the partial one, the would-block one, the rest
    EXPECT_EQ(layer.socketPhase(), "3");
    EXPECT_TRUE(errors.empty());
}

TEST_F(SocketLayerTest, LinesSentWhileWaitingForRoomFollowTheLineInsteadOfCuttingIntoIt) {
    api.connectNow();
    api.room = 5;
    api.roomAfterWait = 3;  // and again after the next wait, and so on
    loop.post([this] { layer.sendLine("QUIT\r\n"); });
    layer.sendLine("TOP 1 10\r\n");
    EXPECT_EQ(api.wire, "TOP 1 10\r\nQUIT\r\n");
    EXPECT_TRUE(errors.empty());
}

TEST_F(SocketLayerTest, TheRestOfALineIsDroppedWhenTheConnectionGoesWhileWaiting) {
    api.connectNow();
    api.room = 2;
    api.roomAfterWait = 0;
    // Three events on: inside the wait for room, before the room comes back.
    loop.post([this] { loop.post([this] { loop.post([this] { layer.closeConnection(); }); }); });
    layer.sendLine("USER someone\r\n");
    EXPECT_EQ(api.wire, "US");
    auto closed = std::find(api.log.begin(), api.log.end(), "close");
    ASSERT_NE(closed, api.log.end());
    EXPECT_EQ(std::count(closed, api.log.end(), "send"), 0);
    EXPECT_TRUE(errors.empty());
}

TEST_F(SocketLayerTest, SendFailureClosesGoesIdleAndReportsItsTextAndAClosedConnectionGetsNothing) {
    api.connectNow();
    api.sendError = 10054;
    EXPECT_EQ(logOf([&] { layer.sendLine("STAT\r\n"); }),
              (Log{"select 2", "send", "restartTimeup", "select 1", "close", "cleanup"}));
    EXPECT_EQ(layer.socketPhase(), "0");
    EXPECT_EQ(errors, std::vector<std::string>{"リモートホストから切断されたよ"});

    // The time-up may send "QUIT" after the server has closed the connection.
    layer.resumeReading();
    EXPECT_TRUE(logOf([&] { layer.sendLine("QUIT\r\n"); }).empty());
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_EQ(layer.socketPhase(), "0");
}

TEST(SocketErrorText, KnownCodesHaveTheirTextsAndAllOthersTheNumber) {
    EXPECT_EQ(socketErrorText(10004), "呼び出しが取り消されたよ");
    EXPECT_EQ(socketErrorText(10061), "接続が拒否されちゃったよ");
    EXPECT_EQ(socketErrorText(10093), "WSAStartup関数を呼び出していないか、失敗したみたい");
    EXPECT_EQ(socketErrorText(11004), "データレコードの型が要求されてないよ");
    EXPECT_EQ(socketErrorText(10059), "(10059)");
    EXPECT_EQ(socketErrorText(-1), "(-1)");
    int coded = 0;
    for (int32_t code = 9000; code <= 12000; ++code) {
        coded += socketErrorText(code) != "(" + std::to_string(code) + ")";
    }
    EXPECT_EQ(coded, 41);
}

}  // namespace
}  // namespace velkora
