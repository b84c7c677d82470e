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

#include "checker/net/IpAddress.h"
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
    int connect(const std::vector<IpAddress>& addresses, uint16_t port) override {
        log.push_back("connect");
        connectedAddresses = addresses;
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
    void resolve(const std::string& host, std::function<void(HostAddresses)> done) override {
        log.push_back("lookup " + host);
        loop_.post([this, done] { done(lookupResult); });
    }

    void connectNow() { open_ = connected = true; }

    Log log;
    bool canCreate = true;
    int connectResult = -1;
    int connectError = 10035;
    int nonBlockingError = 0;
    std::vector<IpAddress> connectedAddresses;
    uint16_t connectedPort = 0;
    HostAddresses lookupResult;
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

TEST_F(SocketLayerTest, OpeningConnectsToAnAddressAtOnceAndToANameWhenItsLookupAnswers) {
    EXPECT_EQ(layer.openConnection("192.168.10.2", 110), "");
    EXPECT_EQ(api.log, (Log{"startup", "create", "select 16", "connect", "restartTimeup",
                            "select 1", "nonblocking"}));
    EXPECT_EQ(api.connectedAddresses, std::vector{IpAddress::v4(inet_addr("192.168.10.2"))});
    EXPECT_EQ(api.connectedPort, 110);
    EXPECT_EQ(layer.socketPhase(), "3");
    // IPv6 literals, bare or in brackets, and the short IPv4 form need no lookup either.
    for (const char* literal : {"::1", "[::1]", "127.1"}) {
        api.log.clear();
        EXPECT_EQ(layer.openConnection(literal, 110), "");
        EXPECT_EQ(api.connectedAddresses, std::vector{*IpAddress::fromLiteral(literal)});
        EXPECT_EQ(std::count(api.log.begin(), api.log.end(), "connect"), 1) << literal;
    }
    EXPECT_EQ(IpAddress::fromLiteral("127.1")->text(), "127.0.0.1");
    EXPECT_EQ(IpAddress::fromLiteral("[::1]")->text(), "::1");

    // A name: the opening returns at once; every address of the answer is handed on.
    const std::vector<IpAddress> addresses{*IpAddress::fromLiteral("2001:db8::5"),
                                           IpAddress::v4(inet_addr("10.1.2.3"))};
    api.lookupResult = {addresses, 0};
    api.log.clear();
    EXPECT_EQ(layer.openConnection("pop.example.jp", -1), "");
    EXPECT_EQ(api.log, (Log{"startup", "create", "select 16", "lookup pop.example.jp"}));
    EXPECT_EQ(layer.socketPhase(), "1");
    loop.drain();
    EXPECT_EQ(api.connectedAddresses, addresses);
    EXPECT_EQ(api.connectedPort, 65535);  // the stored signed port, as 16 bits on the wire
    EXPECT_EQ(layer.socketPhase(), "3");
    EXPECT_TRUE(replies.empty());

    // The all-ones address is looked up like a name, as it always was.
    EXPECT_FALSE(IpAddress::fromLiteral("255.255.255.255"));

    // A name that is not found reaches the reply handler as a receive failure.
    api.lookupResult = {{}, 11001};
    EXPECT_EQ(layer.openConnection("nowhere.invalid", 110), "");
    loop.drain();
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].error, 11001);
    EXPECT_EQ(replies[0].errorText, "ホストが見つからないよ");
    EXPECT_TRUE(errors.empty());

    // An answer that comes after the connection was given up connects nothing.
    api.lookupResult = {addresses, 0};
    api.connectedAddresses.clear();
    EXPECT_EQ(layer.openConnection("late.example", 110), "");
    layer.closeConnection();
    loop.drain();
    EXPECT_TRUE(api.connectedAddresses.empty());
    EXPECT_EQ(replies.size(), 1u);
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

TEST(SocketErrorText, EveryKnownCodeHasItsTextAndAllOthersTheNumber) {
    const std::vector<std::pair<int32_t, std::string>> texts = {
        {10004, "呼び出しが取り消されたよ"},
        {10013, "指定されたアドレスは、ブロードキャストパケットの送信をサポートしてないよ"},
        {10014, "32ビットインターネットアドレス指定に誤りがあるよ"},
        {10022, "関数の呼び出し順番に誤りがあるよ"},
        {10024, "利用可能なファイル番号が存在しないよ"},
        {10035, "このソケットはノンブロッキング型だよ"},
        {10036, "ブロッキング呼び出し進行中だよ"},
        {10037, "ノンブロッキング型の処理を処理中だよ"},
        {10038, "ソケット以外を指定したよ"},
        {10039, "リモートアドレスが指定されてないよ"},
        {10040, "データがバッファより大きいので切りつめられちゃったよ"},
        {10041, "ソケットは指定されたプロトコルをサポートしてないよ"},
        {10042, "プロトコルのオプションに誤りがあるよ"},
        {10043, "指定されたプロトコルはサポートされてないよ"},
        {10044, "指定されたソケットタイプはサポートされてないよ"},
        {10045, "指定されたソケットがサポートしていない操作だよ"},
        {10046, "指定されたアドレスファミリがサポートされてないよ"},
        {10047, "指定されたプロトコルでは、指定されたアドレスファミリがサポートされてないよ"},
        {10048, "指定されたアドレスは使用中だよ"},
        {10049, "指定されたアドレスは使用できないよ"},
        {10050, "ネットワークがダウンしてるみたい"},
        {10051, "リモートホストのネットワークに接続できないよ"},
        {10052, "ネットワークから切断されたよ"},
        {10053, "ネットワーク不良で接続が中止されたよ"},
        {10054, "リモートホストから切断されたよ"},
        {10055, "バッファ領域不足だよ"},
        {10056, "ソケットはすでに接続されてるよ"},
        {10057, "ソケットが接続されていないよ"},
        {10058, "ソケットがシャットダウンされてるよ"},
        {10060, "接続処理タイムアウトだよ"},
        {10061, "接続が拒否されちゃったよ"},
        {10064, "リモートホストがダウンしてるみたい"},
        {10065, "ホストへのルートが存在しないよ"},
        {10067, "プロセスが多すぎるよ"},
        {10091, "ネットワークサブシステムに通信するための準備ができてないよ"},
        {10092, "指定されたバージョンがサポートされてないよ"},
        {10093, "WSAStartup関数を呼び出していないか、失敗したみたい"},
        {11001, "ホストが見つからないよ"},
        {11002, "権限があるホストが見つからないよ"},
        {11003, "修復不可能なエラーが発生したよ"},
        {11004, "データレコードの型が要求されてないよ"},
    };
    ASSERT_EQ(texts.size(), 41u);
    for (const auto& [code, text] : texts) {
        EXPECT_EQ(socketErrorText(code), text) << code;
    }
    // Every other code, those between the known ones included, shows its number.
    for (int32_t code = 9000; code <= 12200; ++code) {
        const bool known = std::any_of(texts.begin(), texts.end(),
                                       [code](const auto& entry) { return entry.first == code; });
        if (!known) {
            EXPECT_EQ(socketErrorText(code), "(" + std::to_string(code) + ")");
        }
    }
    EXPECT_EQ(socketErrorText(-1), "(-1)");
}

}  // namespace
}  // namespace velkora
