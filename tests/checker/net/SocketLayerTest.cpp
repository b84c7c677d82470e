#include "checker/net/SocketLayer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/AppSettings.h"

namespace velkora {
namespace {

// Posted calls only, in order; a wait with nothing queued would sleep forever, so it throws.
class QueueLoop final : public EventLoop {
public:
    std::unique_ptr<Timer> createTimer() override {
        throw std::logic_error("the socket layer makes no timers");
    }
    void processPendingEvents() override {
        ++pumps;
        // Only what is queued now; calls posted meanwhile wait for the next round.
        for (std::size_t n = queue_.size(); n > 0 && !queue_.empty(); --n) {
            runFront();
        }
    }
    void runUntil(const std::function<bool()>& done) override {
        ++waits;
        while (!done()) {
            if (queue_.empty()) {
                throw std::runtime_error("runUntil with nothing left to happen");
            }
            runFront();
        }
    }
    void post(std::function<void()> fn) override { queue_.push_back(std::move(fn)); }
    std::unique_ptr<FdWatch> watchFd(int, FdReadiness, std::function<void()>) override {
        throw std::logic_error("no descriptors here");
    }

    int pumps = 0;
    int waits = 0;

private:
    void runFront() {
        std::function<void()> fn = std::move(queue_.front());
        queue_.pop_front();
        fn();
    }
    std::deque<std::function<void()>> queue_;
};

// A scripted connection. Notifications are posted like window messages: a connect that is
// under way completes at the next event, write readiness follows at once on a connected
// socket with room, and a would-block send gets its room back (and its write notification)
// two events later.
class ScriptedApi final : public SocketApi {
public:
    explicit ScriptedApi(QueueLoop& loop) : loop_(loop) {}

    void setNotificationSink(std::function<void()> sink) override { sink_ = std::move(sink); }
    void startup() override { log.push_back("startup"); }
    void cleanup() override { log.push_back("cleanup"); }
    bool createSocket() override {
        log.push_back("create");
        open_ = canCreate;
        if (!canCreate) {
            error_ = 10024;
        }
        return canCreate;
    }
    bool hasSocket() const override { return open_; }
    void selectNotification(SocketNotification kind) override {
        log.push_back("select " + std::to_string(static_cast<int>(kind)));
        selected = kind;
        if (kind == SocketNotification::Write && connected && room > 0) {
            notify();
        }
    }
    int connect(uint32_t address, uint16_t port) override {
        log.push_back("connect");
        connectedAddress = address;
        connectedPort = port;
        if (connectResult == 0 || connectError == 10035) {
            loop_.post([this] {
                connected = true;
                if (selected == SocketNotification::Connect && sink_) {
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
        if (!open_) {
            error_ = 10038;
            return -1;
        }
        if (sendError != 0) {
            error_ = sendError;
            return -1;
        }
        std::size_t n = std::min({size, maxPerSend, room});
        if (n == 0) {
            error_ = 10035;
            // Room comes back two events later, so that only a real wait sees it.
            loop_.post([this] {
                loop_.post([this] {
                    room = roomAfterWait;
                    if (selected == SocketNotification::Write && sink_) {
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
        receiveSizes.push_back(size);
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
        error_ = lookupResult ? 0 : 11001;
        return lookupResult;
    }

    // A read notification from the peer's side.
    void notify() {
        loop_.post([this] {
            if (sink_) {
                sink_();
            }
        });
    }
    void connectNow() {
        open_ = true;
        connected = true;
    }

    std::vector<std::string> log;
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
    std::size_t maxPerSend = std::numeric_limits<std::size_t>::max();
    std::size_t room = std::numeric_limits<std::size_t>::max();
    std::size_t roomAfterWait = std::numeric_limits<std::size_t>::max();
    int sendError = 0;
    int sendCalls = 0;
    std::string inbound;
    bool peerClosed = false;
    int receiveError = 0;
    std::vector<std::size_t> receiveSizes;

private:
    QueueLoop& loop_;
    std::function<void()> sink_;
    bool open_ = false;
    int error_ = 0;
};

struct Box {
    MessageIcon icon;
    std::string title;
    std::string text;
};

class KeptBoxes final : public MessageBoxes {
public:
    void show(MessageIcon icon, const std::string& title, const std::string& text) override {
        shown.push_back({icon, title, text});
    }
    std::vector<Box> shown;
};

class SocketLayerTest : public ::testing::Test {
protected:
    SocketLayerTest() {
        settings.Option3value = 0;  // boxes shown
        layer.restartTimeup = [this] { api.log.push_back("restartTimeup"); };
        layer.onReply = [this](const ReceivedChunk& chunk) { replies.push_back(chunk); };
    }

    // The log from the given entry on.
    std::vector<std::string> logFrom(std::size_t start) const {
        return {api.log.begin() + static_cast<std::ptrdiff_t>(start), api.log.end()};
    }

    QueueLoop loop;
    ScriptedApi api{loop};
    KeptBoxes boxes;
    AppSettings settings;
    SocketLayer layer{api, loop, boxes, settings};
    std::vector<ReceivedChunk> replies;
};

using Log = std::vector<std::string>;

TEST_F(SocketLayerTest, NotificationIsRoutedByPhaseAloneAfterRestartingTheTimeUp) {
    api.connectNow();
    for (const char* idle : {"", "0", "2", "5"}) {
        layer.socketPhase = idle;
        std::size_t start = api.log.size();
        layer.txtSockIn_KeyDown();
        EXPECT_EQ(logFrom(start), Log{"restartTimeup"}) << "phase '" << idle << "'";
        EXPECT_EQ(layer.socketPhase, idle);
    }
    EXPECT_TRUE(replies.empty());

    for (const char* selecting : {"1", "4"}) {
        layer.socketPhase = selecting;
        std::size_t start = api.log.size();
        layer.txtSockIn_KeyDown();
        EXPECT_EQ(logFrom(start), (Log{"restartTimeup", "select 1"})) << "phase " << selecting;
        EXPECT_EQ(layer.socketPhase, "3");
    }
    EXPECT_TRUE(replies.empty());

    layer.socketPhase = "3";
    api.inbound = "+OK ready\r\n";
    std::size_t start = api.log.size();
    layer.txtSockIn_KeyDown();
    EXPECT_EQ(logFrom(start), (Log{"restartTimeup", "receive"}));
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].bytes, "+OK ready\r\n");
    EXPECT_EQ(replies[0].error, 0);
    EXPECT_EQ(layer.socketPhase, "3");  // the reply handler decides what comes next
}

TEST_F(SocketLayerTest, ReadingGivesFullBuffersRawBytesEndOfStreamAndFailures) {
    api.connectNow();
    layer.socketPhase = "3";
    // 5000 bytes, not valid code page 932 at the cut: the bytes are handed on untouched.
    api.inbound = std::string(4095, 'a') + "\x82" + std::string(903, 'b') + "\x1b";
    layer.txtSockIn_KeyDown();
    layer.txtSockIn_KeyDown();
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(api.receiveSizes, (std::vector<std::size_t>{4096, 4096}));
    EXPECT_EQ(replies[0].bytes, std::string(4095, 'a') + "\x82");
    EXPECT_EQ(replies[1].bytes, std::string(903, 'b') + "\x1b");

    // Nothing there after all: no failure, just nothing.
    layer.txtSockIn_KeyDown();
    ASSERT_EQ(replies.size(), 3u);
    EXPECT_EQ(replies[2].bytes, "");
    EXPECT_EQ(replies[2].error, 0);

    api.peerClosed = true;
    layer.txtSockIn_KeyDown();
    ASSERT_EQ(replies.size(), 4u);
    EXPECT_EQ(replies[3].bytes, "");
    EXPECT_EQ(replies[3].error, 0);

    api.receiveError = 10061;  // how a refused connect shows up after the connect notification
    layer.txtSockIn_KeyDown();
    ASSERT_EQ(replies.size(), 5u);
    EXPECT_EQ(replies[4].bytes, "");
    EXPECT_EQ(replies[4].error, 10061);
    EXPECT_TRUE(boxes.shown.empty());  // reporting it is the session's business
}

TEST_F(SocketLayerTest, ReceiveAfterTheConnectionWasClosedInsideThePumpReadsNothing) {
    api.connectNow();
    api.inbound = "+OK\r\n";
    layer.socketPhase = "3";
    loop.post([this] { layer.closeConnection(); });
    ReceivedChunk chunk = layer.receiveChunk();
    EXPECT_EQ(chunk.bytes, "");
    EXPECT_EQ(chunk.error, 0);
    EXPECT_EQ(logFrom(0), (Log{"close", "cleanup"}));
}

TEST_F(SocketLayerTest,
       OpeningConnectsToADottedAddressWithoutLookupAndHandlesTheConnectInsideThePump) {
    EXPECT_EQ(layer.openConnection("192.168.10.2", 110), "");
    EXPECT_EQ(api.log, (Log{"startup", "create", "select 16", "connect", "restartTimeup",
                            "select 1", "nonblocking"}));
    const unsigned char expected[4] = {192, 168, 10, 2};
    uint32_t expectedAddress;
    std::memcpy(&expectedAddress, expected, 4);
    EXPECT_EQ(api.connectedAddress, expectedAddress);
    EXPECT_EQ(api.connectedPort, 110);
    EXPECT_EQ(layer.socketPhase, "3");
    EXPECT_EQ(loop.pumps, 2);
}

TEST_F(SocketLayerTest, OpeningLooksUpNamesAndPassesTheNoAddressValueOnWhenUnknown) {
    const unsigned char found[4] = {10, 1, 2, 3};
    uint32_t foundAddress;
    std::memcpy(&foundAddress, found, 4);
    api.lookupResult = foundAddress;
    EXPECT_EQ(layer.openConnection("pop.example.jp", -1), "");
    EXPECT_EQ(api.connectedAddress, foundAddress);
    EXPECT_EQ(api.connectedPort, 65535);  // the stored signed port, as 16 bits on the wire

    api.lookupResult.reset();
    api.log.clear();
    EXPECT_EQ(layer.openConnection("nowhere.invalid", 110), "");
    EXPECT_EQ(api.connectedAddress, 0xFFFFFFFFu);
    EXPECT_EQ(api.log[3], "lookup nowhere.invalid");
    EXPECT_TRUE(boxes.shown.empty());  // an unknown host has no message of its own
}

TEST_F(SocketLayerTest, ResolvingReadsEveryInetAddrFormAndLooksUpTheAllOnesAddress) {
    auto bytes = [](uint32_t address) {
        const auto* p = reinterpret_cast<const unsigned char*>(&address);
        return std::vector<int>{p[0], p[1], p[2], p[3]};
    };
    EXPECT_EQ(bytes(layer.resolveHost("127.0.0.1")), (std::vector<int>{127, 0, 0, 1}));
    EXPECT_EQ(bytes(layer.resolveHost("127.1")), (std::vector<int>{127, 0, 0, 1}));
    EXPECT_EQ(bytes(layer.resolveHost("0x0a.0.0.010")), (std::vector<int>{10, 0, 0, 8}));
    EXPECT_TRUE(api.log.empty());

    api.lookupResult = 0x0100007Fu;
    EXPECT_EQ(layer.resolveHost("255.255.255.255"), 0x0100007Fu);
    api.lookupResult.reset();
    EXPECT_EQ(layer.resolveHost("255.255.255.255"), 0xFFFFFFFFu);
    EXPECT_EQ(layer.resolveHost("1.2.3.4.5"), 0xFFFFFFFFu);
    EXPECT_EQ(api.log,
              (Log{"lookup 255.255.255.255", "lookup 255.255.255.255", "lookup 1.2.3.4.5"}));
}

TEST_F(SocketLayerTest, OpeningFailuresGiveTheirTexts) {
    api.canCreate = false;
    EXPECT_EQ(layer.openConnection("10.0.0.1", 110), "ｿｹｯﾄ生成ができませんでした");
    EXPECT_EQ(api.log, (Log{"startup", "create"}));

    api.canCreate = true;
    api.connectError = 10061;
    api.log.clear();
    EXPECT_EQ(layer.openConnection("10.0.0.1", 110), "接続が拒否されちゃったよ");
    EXPECT_EQ(layer.socketPhase, "1");
    EXPECT_EQ(api.log.back(), "connect");  // no non-blocking setup after a failed connect

    api.connectError = 10035;
    api.nonBlockingError = 10022;
    EXPECT_EQ(layer.openConnection("10.0.0.1", 110), "関数の呼び出し順番に誤りがあるよ");

    // A connect that succeeds at once is no failure.
    api.nonBlockingError = 0;
    api.connectResult = 0;
    api.connectError = 0;
    EXPECT_EQ(layer.openConnection("10.0.0.1", 110), "");
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(SocketLayerTest, SendingPutsEveryByteOfTheLineInCodePage932OnTheWire) {
    api.connectNow();
    layer.socketPhase = "3";
    layer.sendLine("USER 山田\r\n");
    EXPECT_EQ(api.wire, "USER \x8E\x52\x93\x63\r\n");
    // The write notification was handled inside the send: read again, phase "3".
    EXPECT_EQ(logFrom(0), (Log{"select 2", "send", "restartTimeup", "select 1"}));
    EXPECT_EQ(layer.socketPhase, "3");
    EXPECT_EQ(loop.waits, 0);
}

TEST_F(SocketLayerTest, SendingContinuesPartialSendsAndWaitsForRoomWithoutSpinning) {
    api.connectNow();
    const std::string line = "PASS パスワード\r\n";
    api.maxPerSend = 4;
    layer.sendLine(line);
    EXPECT_EQ(api.wire, "PASS \x83\x70\x83\x58\x83\x8F\x81\x5B\x83\x68\r\n");
    EXPECT_EQ(api.sendCalls, 5);  // 17 bytes, 4 at a time
    EXPECT_EQ(layer.socketPhase, "3");

    // A full socket: 3 bytes fit, then would-block until room comes back.
    api.wire.clear();
    api.sendCalls = 0;
    api.maxPerSend = std::numeric_limits<std::size_t>::max();
    api.room = 3;
    layer.sendLine("STAT\r\n");
    EXPECT_EQ(api.wire, "STAT\r\n");
    EXPECT_EQ(api.sendCalls, 3);  // the partial one, the would-block one, the rest
    EXPECT_EQ(loop.waits, 1);
    EXPECT_EQ(layer.socketPhase, "3");
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(SocketLayerTest, LinesSentWhileWaitingForRoomFollowTheLineInsteadOfCuttingIntoIt) {
    api.connectNow();
    api.room = 5;
    api.roomAfterWait = 3;  // and again after the next wait, and so on
    loop.post([this] { layer.sendLine("QUIT\r\n"); });
    layer.sendLine("TOP 1 10\r\n");
    EXPECT_EQ(api.wire, "TOP 1 10\r\nQUIT\r\n");
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(SocketLayerTest, TheRestOfALineIsDroppedWhenTheConnectionGoesWhileWaiting) {
    api.connectNow();
    api.room = 2;
    api.roomAfterWait = 0;
    // Three events on: inside the wait for room, before the room comes back.
    loop.post([this] { loop.post([this] { loop.post([this] { layer.closeConnection(); }); }); });
    layer.sendLine("USER someone\r\n");
    EXPECT_EQ(api.wire, "US");
    EXPECT_EQ(loop.waits, 1);
    auto closed = std::find(api.log.begin(), api.log.end(), "close");
    ASSERT_NE(closed, api.log.end());
    EXPECT_EQ(std::count(closed, api.log.end(), "send"), 0);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(SocketLayerTest, SendFailureClosesReportsAndGoesIdle) {
    for (int16_t option3 : {int16_t{0}, int16_t{1}}) {
        settings.Option3value = option3;
        boxes.shown.clear();
        api.connectNow();
        api.sendError = 10054;
        std::size_t start = api.log.size();
        layer.sendLine("STAT\r\n");
        EXPECT_EQ(logFrom(start),
                  (Log{"select 2", "send", "restartTimeup", "select 1", "close", "cleanup"}));
        EXPECT_EQ(layer.socketPhase, "0");
        if (option3 == 0) {
            ASSERT_EQ(boxes.shown.size(), 1u);
            EXPECT_EQ(boxes.shown[0].icon, MessageIcon::Stop);
            EXPECT_EQ(boxes.shown[0].title, "Velkora");
            EXPECT_EQ(boxes.shown[0].text, "リモートホストから切断されたよ");
        } else {
            EXPECT_TRUE(boxes.shown.empty());
        }
    }
}

TEST_F(SocketLayerTest, NothingIsSentOnAClosedConnection) {
    api.connectNow();
    layer.closeConnection();
    layer.socketPhase = "3";
    std::size_t start = api.log.size();
    layer.sendLine("QUIT\r\n");
    EXPECT_TRUE(logFrom(start).empty());
    EXPECT_EQ(api.wire, "");
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(layer.socketPhase, "0");
}

TEST_F(SocketLayerTest, ErrorReportsAreStopBoxesUnlessSuppressed) {
    for (int16_t option3 : {int16_t{0}, int16_t{1}, int16_t{-1}, int16_t{2}}) {
        settings.Option3value = option3;
        boxes.shown.clear();
        layer.reportError("相手先が指定されていません");
        if (option3 == 0) {
            ASSERT_EQ(boxes.shown.size(), 1u);
            EXPECT_EQ(boxes.shown[0].icon, MessageIcon::Stop);
            EXPECT_EQ(boxes.shown[0].title, "Velkora");
            EXPECT_EQ(boxes.shown[0].text, "相手先が指定されていません");
        } else {
            EXPECT_TRUE(boxes.shown.empty()) << option3;
        }
    }
}

TEST(SocketErrorText, EveryRowOfTheTableAndTheDefaultFormForAllOtherCodes) {
    const std::map<int32_t, std::string> table = {
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
    ASSERT_EQ(table.size(), 41u);
    for (int32_t code = 9000; code <= 12000; ++code) {
        auto row = table.find(code);
        std::string expected = row != table.end() ? row->second : "(" + std::to_string(code) + ")";
        EXPECT_EQ(socketErrorText(code), expected) << code;
    }
    EXPECT_EQ(socketErrorText(10059), "(10059)");
    EXPECT_EQ(socketErrorText(0), "(0)");
    EXPECT_EQ(socketErrorText(-1), "(-1)");
    EXPECT_EQ(socketErrorText(20111), "(20111)");
}

}  // namespace
}  // namespace velkora
