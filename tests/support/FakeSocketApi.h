#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "checker/net/SocketApi.h"
#include "tests/support/FakeTlsServer.h"
#include "tests/support/SimulatedEventLoop.h"
#include "tests/support/TestCertificates.h"

namespace velkora::test {

// What a fake server does in answer to one command (or instead of its greeting).
struct FakeReply {
    enum class Kind {
        Data,            // the chunks arrive, one receive each
        Silence,         // nothing ever arrives
        ReceiveFailure,  // the next receive fails with `failureCode`
    };

    Kind kind = Kind::Data;
    std::vector<std::string> chunks;  // wire bytes (code page 932)
    int64_t delayMs = 0;              // before the first chunk
    int64_t gapMs = 0;                // between two chunks
    int failureCode = 0;

    // One chunk; the text is UTF-8 and goes out in code page 932.
    static FakeReply text(const std::string& utf8);
    // One chunk of raw wire bytes.
    static FakeReply raw(std::string bytes);
    // The given wire pieces, one receive each, gapMs apart.
    static FakeReply pieces(std::vector<std::string> wirePieces, int64_t gapMs = 1);
    // The raw bytes cut into pieces of pieceSize bytes, gapMs apart.
    static FakeReply dribble(const std::string& bytes, std::size_t pieceSize, int64_t gapMs = 1);
    // "-ERR" followed by the UTF-8 text (usually " reason\r\n"), in one chunk.
    static FakeReply err(const std::string& rest);
    static FakeReply silence();
    static FakeReply failReceive(int code);

    FakeReply after(int64_t ms) const;
};

// One scripted POP3 server. By default it greets, accepts USER and PASS, answers STAT from
// its mailbox, answers TOP n L with the message's header and the first L body lines followed
// by ".", answers QUIT with "+OK" and answers anything else with "-ERR" (CAPA and UIDL too,
// unless it is given capabilities and unique ids). It answers commands in the order they
// came, however many came at once.
class FakePop3Server {
public:
    // TLS: none, from the first byte (port 995), or after "STLS" (offered in "CAPA").
    enum class Tls { None, Implicit, StartTls };

    enum class Delivery {
        WholeReply,       // each default reply in one chunk
        StatusLineFirst,  // TOP replies: the status line alone, then the rest
        Dribble,          // every default reply cut into pieces of dribbleSize bytes
    };

    explicit FakePop3Server(std::string host) : host_(std::move(host)) {}

    const std::string& host() const { return host_; }

    void setGreeting(FakeReply reply) { greeting_ = std::move(reply); }
    // Raw messages, CR LF line ends, a blank line between header and body.
    void setMailbox(std::vector<std::string> messages) { mailbox_ = std::move(messages); }
    // Replaces the answer to every command line equal to `command` or starting with
    // `command` followed by a space ("TOP 2" matches "TOP 2 10", not "TOP 20 10").
    void on(const std::string& command, FakeReply reply);
    // The same for the first matching command only; afterwards the earlier answer holds.
    void once(const std::string& command, FakeReply reply);
    void setDelivery(Delivery delivery, std::size_t dribbleSize = 3, int64_t gapMs = 1);
    // The list its "CAPA" gives (with STARTTLS, "STLS" is added before TLS).
    void setCapabilities(std::vector<std::string> capabilities) {
        capabilities_ = std::move(capabilities);
    }
    // The unique ids its "UIDL" lists, by message number - 1 (the mailbox's own size).
    void setUids(std::vector<std::string> uids) { uids_ = std::move(uids); }
    // Answers that arrive while earlier ones are still unread join them, as TCP delivers a
    // stream: one receive may then take the end of one reply and the start of the next.
    void setCoalescing(bool on) { coalescing_ = on; }
    // After this many TOP replies, the connection closes (the next receive sees its end).
    void closeAfterTops(int count) { closeAfterTops_ = count; }
    // Time between a command and the start of its answer.
    void setLatency(int64_t ms) { latencyMs_ = ms; }
    // Time the connection takes to come up (the connect notification and then the greeting).
    void setConnectDelay(int64_t ms) { connectDelayMs_ = ms; }
    // connect() fails at once with the code.
    void refuseConnections(int errorCode) { refuseCode_ = errorCode; }

    // The addresses its name resolves to, in that order (at first its IPv4 address 10.0.0.n).
    void setAddresses(std::vector<IpAddress> addresses) { addresses_ = std::move(addresses); }
    const std::vector<IpAddress>& addresses() const { return addresses_; }
    // The name lookup answers after this long (virtual time); 0: at the next event.
    void setLookupDelay(int64_t ms) { lookupDelayMs_ = ms; }

    // Speaks TLS with this certificate. Its records are cut into pieces of pieceSize bytes
    // (0: one piece per reply chunk), gapMs apart.
    void useTls(Tls mode, TestCertificate certificate, std::size_t pieceSize = 0,
                int64_t gapMs = 1);

    int connectionCount() const { return connections_; }

private:
    friend class FakeSocketApi;

    FakeReply answer(const std::string& line, bool overTls);
    FakeReply greeting() const;
    FakeReply deliver(std::string bytes, bool isTop) const;
    std::string topReply(int message, int lines) const;

    std::string host_;
    std::optional<FakeReply> greeting_;
    std::vector<std::string> mailbox_;
    std::optional<std::vector<std::string>> capabilities_;
    std::optional<std::vector<std::string>> uids_;
    bool coalescing_ = false;
    int closeAfterTops_ = -1;
    // Of the current connection.
    int topsAnswered_ = 0;
    bool closed_ = false;
    std::vector<std::pair<std::string, FakeReply>> overrides_;  // the latest first
    std::vector<std::pair<std::string, FakeReply>> onceOverrides_;
    Delivery delivery_ = Delivery::WholeReply;
    std::size_t dribbleSize_ = 3;
    int64_t dribbleGapMs_ = 1;
    int64_t latencyMs_ = 0;
    int64_t connectDelayMs_ = 0;
    int refuseCode_ = 0;
    int connections_ = 0;
    std::vector<IpAddress> addresses_;
    int64_t lookupDelayMs_ = 0;
    Tls tls_ = Tls::None;
    TestCertificate certificate_;
    std::size_t tlsPieceSize_ = 0;
    int64_t tlsGapMs_ = 1;
};

// The socket seam as a fake network of POP3 servers in virtual time. Notifications are always
// posted to the loop, never delivered inside the call that caused them; at most one read
// notification is pending at a time, and another follows a receive that left data behind
// (the message-driven sockets behave so). A notification whose kind is no longer selected
// when its turn comes, or whose socket has been closed, is dropped.
class FakeSocketApi final : public SocketApi {
public:
    explicit FakeSocketApi(SimulatedEventLoop& loop);
    ~FakeSocketApi() override;

    // Adds a server reachable by that host name (and by its address 10.0.0.n); an address that
    // is no server's never answers.
    FakePop3Server& addServer(const std::string& host);
    FakePop3Server& server(const std::string& host);
    // The peer is gone (a reset): from now on every send and receive on the current
    // connection fails with the code, and a waiting reader is woken.
    void breakConnection(int errorCode);
    int lookupCount() const { return lookups_; }

    // One line sent by the client, in order over all connections.
    struct SentLine {
        std::string host;  // the server it went to; empty when no connection existed
        std::string text;  // UTF-8, without CR LF
        int64_t at = 0;    // virtual time
    };
    const std::vector<SentLine>& sent() const { return sent_; }
    // Texts of sent(), optionally only those to one host.
    std::vector<std::string> sentTexts(const std::string& host = {}) const;
    // The raw bytes the client has sent on all connections, CR LF included.
    const std::string& rawSent() const { return rawSent_; }

    int startupCount() const { return startups_; }
    int cleanupCount() const { return cleanups_; }
    int socketsCreated() const { return created_; }
    int openSocketCount() const { return open_ ? 1 : 0; }
    // A new socket was created while the previous one was still open (it leaked).
    int socketsReplacedWhileOpen() const { return replacedWhileOpen_; }
    // Sends attempted without an open, connected socket.
    int sendsWithoutConnection() const { return sendsWithoutConnection_; }

    // SocketApi
    void setNotificationSink(std::function<void()> sink) override { sink_ = std::move(sink); }
    void startup() override { ++startups_; }
    void cleanup() override { ++cleanups_; }
    bool createSocket() override;
    bool hasSocket() const override { return open_; }
    void selectNotification(SocketNotification kind) override;
    int connect(const std::vector<IpAddress>& addresses, uint16_t port) override;
    int setNonBlocking() override { return 0; }
    long send(const char* data, std::size_t size) override;
    long receive(char* buffer, std::size_t size) override;
    void closeSocket() override;
    int lastError() const override { return lastError_; }
    void resolve(const std::string& host, std::function<void(HostAddresses)> done) override;

private:
    struct Item {
        FakeReply::Kind kind = FakeReply::Kind::Data;
        std::string bytes;
        int code = 0;
    };
    struct Scheduled {
        int64_t at;
        int generation;
        Item item;
        bool connectNotification = false;  // instead of an item: the connect notification
    };

    // Chunks of a connection under TLS are encrypted, unless they are records already.
    void schedule(const FakeReply& reply, int64_t extraDelay, bool asRecords = false);
    // Schedules bytes as they are, outside any reply (TLS records).
    void scheduleRecords(const std::string& records, int64_t extraDelay);
    FakePop3Server* serverAt(const IpAddress& address) const;
    void arrive(Item item);
    void post(SocketNotification kind);
    void armScheduler();
    void enqueue(Scheduled item);
    void runScheduled();
    void onLine(const std::string& wireLine);

    SimulatedEventLoop& loop_;
    std::vector<std::unique_ptr<FakePop3Server>> servers_;
    std::vector<std::unique_ptr<Timer>> lookupTimers_;
    int lookups_ = 0;
    // TLS of the current connection, and its greeting when it waits for the handshake.
    std::unique_ptr<FakeTlsServer> tls_;
    bool greetingOwed_ = false;
    int brokenCode_ = 0;
    std::function<void()> sink_;

    bool open_ = false;
    bool connected_ = false;
    bool readPending_ = false;
    std::optional<SocketNotification> selected_;
    int generation_ = 0;
    FakePop3Server* current_ = nullptr;
    std::vector<Item> inbox_;
    std::string lineBuffer_;

    std::unique_ptr<Timer> scheduler_;
    std::deque<Scheduled> scheduled_;  // by time; equal times in the order scheduled

    std::vector<SentLine> sent_;
    std::string rawSent_;
    int lastError_ = 0;
    int startups_ = 0;
    int cleanups_ = 0;
    int created_ = 0;
    int replacedWhileOpen_ = 0;
    int sendsWithoutConnection_ = 0;
    std::shared_ptr<bool> alive_;
};

// The commands of a whole plain session: the login, STAT, "UIDL" when `uidl`, a TOP of `lines`
// lines for each message fetched, QUIT.
std::vector<std::string> sessionCommands(const std::string& user, const std::string& password,
                                         const std::vector<int>& fetched, int lines = 10,
                                         bool uidl = false);
// Message numbers 1 to count.
std::vector<int> firstMessages(int count);
// The list twice over, as two checks send or report it.
std::vector<std::string> twice(const std::vector<std::string>& once);

}  // namespace velkora::test
