#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "checker/net/ReplyCache.h"
#include "checker/net/SocketLayer.h"
#include "common/Account.h"
#include "common/AppSettings.h"
#include "common/EventLoop.h"

namespace velkora {

// The POP3 conversation with one account's server: CAPA, USER, PASS, STAT, one TOP per message
// and QUIT, driven by the socket layer's notifications. One session at a time; the object is
// reused for every account. It only reads: nothing is deleted or marked on the server.
//
// Two things make a check fast on a slow link without changing what it reports. A server that
// lists "PIPELINING" (RFC 2449) gets its TOP commands in a window of up to kPipelineWindow at
// a time, and its replies are taken in order as they come; any other server gets one TOP at a
// time. With a reply cache, a server that can list unique ids is asked "UIDL" after "STAT",
// and only the messages the cache does not hold are fetched; the others' replies come from
// the cache, in their place in the message order. A server that refuses "CAPA" or "UIDL" just
// lacks the capability: that is no error.
//
// The session keeps no check state and lists nothing: it reports what it learns through the
// on... handlers below, as it happens, and the check records it. Each report is made before
// the session goes on, and a handler may handle events (a message box does), so a new
// session may have begun by the time it returns; the old one then stops.
class Pop3Session {
public:
    // Steps of the dialogue (2 is never used).
    static constexpr int16_t kGreeting = 0;
    static constexpr int16_t kUserSent = 1;
    static constexpr int16_t kPassSent = 3;
    static constexpr int16_t kStatSent = 4;
    static constexpr int16_t kTopSent = 5;
    static constexpr int16_t kQuitSent = 6;
    // "CAPA" after the greeting (RFC 2449); with STARTTLS (RFC 2595) then "STLS", and "CAPA"
    // again over TLS. Either "CAPA" reply leads on to "USER".
    static constexpr int16_t kCapaSent = 7;
    static constexpr int16_t kStlsSent = 8;
    static constexpr int16_t kTlsCapaSent = 9;
    // "UIDL" after "STAT", when a reply cache is in use.
    static constexpr int16_t kUidlSent = 10;

    // The most TOP commands sent ahead of their replies, and the most bytes those commands may
    // take together: far below any TCP window, so that sending never waits on a server that
    // is busy sending replies (which are read as they come).
    static constexpr std::size_t kPipelineWindow = 32;
    static constexpr std::size_t kPipelineBytes = 1024;

    // The most text collected for one reply. A server that streams without ever ending its
    // reply cannot grow it beyond this: the account is ended instead.
    static constexpr std::size_t kReplyTextLimit = 1024 * 1024;

    // Installs itself as the layer's reply handler and passes the layer's errors on through
    // onError. "Check1value" and "Talkcnt" are read once per account, after "STAT".
    Pop3Session(SocketLayer& layer, EventLoop& loop, const AppSettings& settings);
    ~Pop3Session();
    Pop3Session(const Pop3Session&) = delete;
    Pop3Session& operator=(const Pop3Session&) = delete;

    // Opens the connection to the account's server; the rest runs in notifications. A
    // connection still open from the previous account is closed first. With the account's
    // Tlsmode the connection is TLS from the first byte, or becomes TLS after "STLS"; the
    // password never goes out before (a server that offers no STLS ends the account).
    void openSession(const Account& account);

    // The reply handler: one received chunk, or a receive failure.
    void handleReply(const ReceivedChunk& chunk);

    // Ends the conversation: nothing at step 0, otherwise step 6 and "QUIT". The account
    // is over, so a failure to send "QUIT" is not worth a box.
    void sendQuit();
    // The time-up's way out: step 6 and "QUIT" whatever the step ("QUIT" only goes out on an
    // open connection), then pending events once. A failure to send is shown: for a
    // connection that never came up it is the only word the user gets.
    void quitNow();
    // Closes the connection if one is still open (e.g. the server never answered "QUIT").
    void closeLeftoverConnection();

    // The STAT reply of the account: its message count, or nothing when the reply holds no
    // count of 0..32767 (the account then ends).
    std::function<void(std::optional<int16_t> count)> onMessageCount;
    // One complete TOP reply, in message order: its status line, the header and the body lines
    // that came, without the closing "." line and with the server's dot-stuffing undone.
    std::function<void(const std::string& reply)> onMessage;
    // The session is done with its account: the next account follows 1000 ms later.
    std::function<void()> onAccountDone;
    // An error text for the user: the server's words after "-ERR", or a socket error's text.
    std::function<void(const std::string& text)> onError;

    // The capabilities the server listed in its last "CAPA" reply (their first words, in
    // upper case), over TLS when the account uses STARTTLS.
    const std::vector<std::string>& capabilities() const { return capabilities_; }

    // The replies of earlier checks; none (the default): every message is fetched. It must
    // outlive the session; it is saved whenever an account is handed over.
    void setReplyCache(ReplyCache* cache) { cache_ = cache; }

    // The commands as sent, without CR LF.
    static std::string userCommand(const std::string& uname) { return "USER " + uname; }
    static std::string passCommand(const std::string& passw) { return "PASS " + passw; }
    static std::string topCommand(int16_t message, int lines);
    // L: "Talkcnt" when "Check1value" is 1, otherwise 5.
    int topLines() const;

    // Read-only views of the dialogue, for the time-up and for tests.
    int16_t pop3Step() const { return pop3Step_; }
    const std::string& replyText() const { return replyText_; }
    int16_t messageCount() const { return messageCount_; }
    // The next message to be reported (messageCount() + 1 once all have been).
    int currentMessage() const { return currentMessage_; }
    // TOP commands sent and not yet answered.
    std::size_t topsInFlight() const { return topsInFlight_.size(); }
    // The server listed "PIPELINING" in its last "CAPA" reply.
    bool pipelining() const;

private:
    enum class Kind { Acknowledgement, Failure, Data };

    Kind classify(const std::string& chunk) const;
    // The status lines (and the capability list) outside a TOP reply, one complete line at
    // a time.
    void handleStatusLines(const std::string& bytes);
    void acknowledge(const std::string& chunk);
    // A "-ERR" where it is no error: the server has no "CAPA".
    void capabilitiesRefused();
    void capabilitiesListed();
    void sendUser();
    // After "+OK" to "STLS": the handshake, then "CAPA" over TLS.
    void beginTls();
    // A STARTTLS account whose server will not do TLS: nothing more is said, nothing sent.
    void refuseWithoutTls(const std::string& serverText);
    // The complete STAT reply line.
    void handleStat(const std::string& statLine);
    // One line of the UIDL listing, and its end.
    void takeUidLine(const std::string& line);
    void uidsListed();
    // The TOP phase: every message reported in order, from the cache or the wire.
    void beginFetching();
    void collectTop();
    // The reply at the head of replyText, once it is complete.
    std::optional<std::string> takeTopReply();
    // Sends the next TOP commands the window has room for, in one write.
    void sendTops();
    void errorTail(const std::string& text);
    void receiveFailure(const ReceivedChunk& failure);
    void endAccountQuietly();
    void accountDone(uint64_t session);
    void report(const std::string& text);
    bool connectionOpen() const { return layer_.connectionOpen(); }
    void send(const std::string& command);
    void quit(bool reportSendFailure);
    TlsRequest tlsRequest() const;
    void clearReplyText();

    SocketLayer& layer_;
    EventLoop& loop_;
    const AppSettings& settings_;
    Account account_;

    int16_t pop3Step_ = kGreeting;
    // The TOP replies received and not yet reported, the one awaited first at its head.
    std::string replyText_;
    int16_t messageCount_ = 0;
    int currentMessage_ = 0;

    ReplyCache* cache_ = nullptr;
    // The last "CAPA" was answered with a list (otherwise nothing is known of the server).
    bool capabilitiesKnown_ = false;
    // Of the account: ReplyCache::accountKey, and L, taken once for all its TOP commands.
    std::string accountKey_;
    int lines_ = 5;
    // The UIDL listing: message numbers and their ids, as the lines came.
    bool listingUids_ = false;
    std::vector<std::pair<int, std::string>> uidLines_;
    bool uidListingSpoilt_ = false;
    // By message number - 1: the reply from the cache (null: fetch it) and its unique id
    // ("" when it has none that can be trusted).
    struct PlannedMessage {
        std::shared_ptr<const std::string> cached;
        std::string uid;
    };
    std::vector<PlannedMessage> plan_;
    // The TOP commands sent and not yet answered, in order: message number, command bytes.
    std::deque<std::pair<int, std::size_t>> topsInFlight_;
    std::size_t bytesInFlight_ = 0;
    // The next message to consider for a TOP command.
    int nextToSend_ = 1;

    // Counts sessions, so that work resumed after a nested wait can tell that a new session
    // (a new check) has begun meanwhile.
    uint64_t sessionNumber_ = 0;
    // The status lines received so far and not yet judged.
    std::string statusLine_;
    // Inside a "CAPA" reply: the lines up to "." are capabilities.
    bool listingCapabilities_ = false;
    std::vector<std::string> capabilities_;
    // A failure to send is not reported (the QUIT of an account that is over).
    bool quietSendFailures_ = false;
    // The account has been handed over (onAccountDone).
    bool handedOver_ = false;
    // How far replyText has been searched for the reply's end, and whether the TOP reply's
    // status line has been judged.
    std::size_t scanned_ = 0;
    bool topStatusSeen_ = false;
};

}  // namespace velkora
