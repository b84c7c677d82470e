#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "checker/net/SocketLayer.h"
#include "common/Account.h"
#include "common/AppSettings.h"
#include "common/EventLoop.h"

namespace velkora {

// The POP3 conversation with one account's server: USER, PASS, STAT, one TOP per message and
// QUIT, driven by the socket layer's notifications. One session at a time; the object is
// reused for every account. It only reads: nothing is deleted or marked on the server.
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

    // The most text collected for one reply. A server that streams without ever ending its
    // reply cannot grow it beyond this: the account is ended instead.
    static constexpr std::size_t kReplyTextLimit = 1024 * 1024;

    // Installs itself as the layer's reply handler and passes the layer's errors on through
    // onError. "Check1value" and "Talkcnt" are read at each TOP.
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
    int16_t currentMessage() const { return currentMessage_; }

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
    void collectTop();
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
    std::string replyText_;
    int16_t messageCount_ = 0;
    int16_t currentMessage_ = 0;

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
