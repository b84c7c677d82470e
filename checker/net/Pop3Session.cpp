#include "checker/net/Pop3Session.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <string_view>

#include "common/Cp932.h"

namespace velkora {

namespace {

constexpr const char* kNoHost = "相手先が指定されていません";
constexpr const char* kLineEnd = "\r\n";
// A status line is short; one that has not ended within this many bytes is taken as it is.
constexpr std::size_t kStatusLineLimit = 512;
// A multi-line reply ends with a line holding a single ".".
constexpr std::string_view kReplyEnd = "\r\n.\r\n";

char upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string trimSpaces(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    const std::size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

// A decimal count of 0..32767 with nothing else around it.
std::optional<int16_t> parseCount(std::string_view text) {
    if (text.empty() || text.size() > 5) {
        return std::nullopt;
    }
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    if (value > std::numeric_limits<int16_t>::max()) {
        return std::nullopt;
    }
    return static_cast<int16_t>(value);
}

// The reply's text as the server meant it: without its terminating "." line, and with the
// leading dot that the server doubles on lines beginning with "." taken off again.
std::string unstuffReply(std::string_view reply) {
    std::string text;
    text.reserve(reply.size());
    std::size_t at = 0;
    while (at < reply.size()) {
        const std::size_t dots = reply.find("\r\n..", at);
        if (dots == std::string_view::npos) {
            text.append(reply.substr(at));
            break;
        }
        text.append(reply.substr(at, dots + 3 - at));  // keeps CR LF and one dot
        at = dots + 4;
    }
    return text;
}

}  // namespace

Pop3Session::Pop3Session(SocketLayer& layer, EventLoop& loop, const AppSettings& settings)
    : layer_(layer), loop_(loop), settings_(settings) {
    layer_.onReply = [this](const ReceivedChunk& chunk) { handleReply(chunk); };
    layer_.onError = [this](const std::string& text) { report(text); };
}

Pop3Session::~Pop3Session() {
    layer_.onReply = nullptr;
    layer_.onError = nullptr;
}

std::string Pop3Session::topCommand(int16_t message, int lines) {
    return "TOP " + std::to_string(message) + " " + std::to_string(lines);
}

int Pop3Session::topLines() const {
    return settings_.Check1value == 1 ? settings_.Talkcnt : 5;
}

void Pop3Session::report(const std::string& text) {
    if (onError) {
        onError(text);
    }
}

void Pop3Session::send(const std::string& command) {
    layer_.sendLine(command + kLineEnd);
}

void Pop3Session::clearReplyText() {
    replyText_.clear();
    statusLine_.clear();
    scanned_ = 0;
    topStatusSeen_ = false;
}

void Pop3Session::openSession(const Account& account) {
    const uint64_t session = ++sessionNumber_;
    account_ = account;
    // The previous account's connection may still wait for its "QUIT" reply: it is not
    // carried over into this account's session.
    if (connectionOpen()) {
        layer_.closeConnection();
    }
    layer_.goIdle();
    pop3Step_ = kGreeting;
    clearReplyText();
    messageCount_ = 0;
    currentMessage_ = 0;

    const std::string host = trimSpaces(account_.Hname);
    if (host.empty()) {
        // No connection was begun, so there is nothing to close.
        report(kNoHost);
        return;
    }
    const std::string error = layer_.openConnection(host, account_.Portno);
    if (error.empty() || session != sessionNumber_) {
        return;
    }
    // Closed before the report, which may let events in: nothing may use the failed connection.
    layer_.closeConnection();
    layer_.goIdle();
    pop3Step_ = kGreeting;
    report(error);
    // The log-on timer is not started: the time-up moves the check on.
}

Pop3Session::Kind Pop3Session::classify(const std::string& chunk) const {
    std::string head = chunk.substr(0, 4);
    std::transform(head.begin(), head.end(), head.begin(), upper);
    const std::size_t ok = head.find("+OK");
    if ((ok == 0 || ok == 1) && pop3Step_ != kTopSent) {
        return Kind::Acknowledgement;
    }
    if (head == "-ERR") {
        return Kind::Failure;
    }
    return Kind::Data;
}

void Pop3Session::handleReply(const ReceivedChunk& chunk) {
    if (chunk.error > 0) {
        receiveFailure(chunk.error);
        return;
    }
    const std::string& bytes = chunk.bytes;
    if (replyText_.size() + bytes.size() > kReplyTextLimit) {
        clearReplyText();
        if (pop3Step_ != kQuitSent) {
            endAccountQuietly();
        }
        return;
    }
    replyText_ += bytes;

    const uint64_t session = sessionNumber_;
    // The phase goes back to reading only while this session's connection is still the one
    // open: a nested handler may have closed it, or a new session may have replaced it.
    auto resumeReading = [&] {
        if (session == sessionNumber_ && connectionOpen()) {
            layer_.resumeReading();
        }
    };
    if (pop3Step_ == kTopSent) {
        collectTop();
        resumeReading();
        return;
    }
    // TCP may cut a reply anywhere, down to single bytes: a status line is judged only once
    // it has ended.
    statusLine_ += bytes;
    std::size_t end = statusLine_.find('\n');
    if (end == std::string::npos) {
        if (statusLine_.size() < kStatusLineLimit) {
            resumeReading();
            return;
        }
        end = statusLine_.size() - 1;
    }
    const std::string line = statusLine_.substr(0, end + 1);
    statusLine_.erase(0, end + 1);
    switch (classify(line)) {
        case Kind::Acknowledgement: {
            const bool quitReply = pop3Step_ == kQuitSent;
            layer_.beginAcknowledgement();
            acknowledge(line);
            if (!quitReply) {
                resumeReading();
            }
            break;
        }
        case Kind::Failure:
            errorTail(cp932::toUtf8(std::string_view(line).substr(4)));
            break;
        case Kind::Data:
            // Not a status line: nothing to act on.
            resumeReading();
            break;
    }
}

void Pop3Session::acknowledge(const std::string& chunk) {
    // Each new step is stored before the command that provokes the next reply: that reply can
    // be handled inside the send.
    switch (pop3Step_) {
        case kGreeting:
            pop3Step_ = kUserSent;
            send(userCommand(account_.Uname));
            break;
        case kUserSent:
            pop3Step_ = kPassSent;
            send(passCommand(account_.Passw));
            break;
        case kPassSent:
            pop3Step_ = kStatSent;
            send("STAT");
            break;
        case kStatSent:
            handleStat(chunk);
            break;
        case kQuitSent:
            pop3Step_ = kGreeting;
            layer_.goIdle();
            layer_.closeConnection();
            break;
        default:
            break;
    }
}

void Pop3Session::handleStat(const std::string& statLine) {
    // The count follows the first space and ends at the next space (before the maildrop's
    // size) or, from a terse server, at the line end.
    const std::size_t first = statLine.find(' ');
    std::optional<int16_t> count;
    if (first != std::string::npos) {
        const std::size_t end = statLine.find_first_of(" \r\n", first + 1);
        count = parseCount(std::string_view(statLine).substr(first + 1, end - first - 1));
    }
    const uint64_t session = sessionNumber_;
    if (onMessageCount) {
        onMessageCount(count);
    }
    if (session != sessionNumber_) {
        return;
    }
    if (!count) {
        // Malformed, or more messages than a 16-bit count holds.
        endAccountQuietly();
        return;
    }
    messageCount_ = *count;
    if (messageCount_ == 0) {
        sendQuit();
        accountDone(session);
        return;
    }
    currentMessage_ = 1;
    pop3Step_ = kTopSent;
    clearReplyText();
    send(topCommand(currentMessage_, topLines()));
}

void Pop3Session::collectTop() {
    // The reply's status line comes first: "-ERR" there ends the account. Further lines are
    // mail text, whatever they begin with.
    if (!topStatusSeen_) {
        std::size_t end = replyText_.find('\n');
        if (end == std::string::npos) {
            if (replyText_.size() < kStatusLineLimit) {
                return;
            }
            end = replyText_.size() - 1;
        }
        topStatusSeen_ = true;
        if (classify(replyText_) == Kind::Failure) {
            errorTail(cp932::toUtf8(std::string_view(replyText_).substr(4, end - 3)));
            return;
        }
    }
    // The reply is complete when its terminating line has arrived. Waiting for it, rather
    // than for the two header names, keeps a reply that TCP delivers in pieces whole, and
    // lets a message without a Subject or From header be listed instead of stalling the
    // account. Only the new text is searched, with room for a terminator cut in two.
    const std::size_t from = scanned_ >= kReplyEnd.size() ? scanned_ - kReplyEnd.size() : 0;
    const std::size_t terminator = replyText_.find(kReplyEnd, from);
    scanned_ = replyText_.size();
    if (terminator == std::string::npos) {
        // Not complete yet: the next chunk comes with the next read notification.
        return;
    }
    replyText_ = unstuffReply(std::string_view(replyText_).substr(0, terminator + 2));
    const uint64_t session = sessionNumber_;
    if (onMessage) {
        onMessage(replyText_);
    }
    if (session != sessionNumber_) {
        return;
    }
    if (currentMessage_ < messageCount_) {
        ++currentMessage_;
        clearReplyText();
        send(topCommand(currentMessage_, topLines()));
        return;
    }
    sendQuit();
    accountDone(session);
}

void Pop3Session::errorTail(const std::string& text) {
    const uint64_t session = sessionNumber_;
    if (pop3Step_ == kGreeting) {
        // The greeting was refused: there is no conversation to end with "QUIT", and nothing
        // more to say on this connection.
        closeLeftoverConnection();
    } else {
        // Stored before the report may let events in, so that a time-up meanwhile sees the account
        // as leaving.
        pop3Step_ = kQuitSent;
    }
    // A bare "-ERR" explains nothing: no empty report, but the account ends all the same.
    if (text.find_first_not_of(" \r\n") != std::string::npos) {
        report(text);
    }
    if (session != sessionNumber_) {
        return;
    }
    sendQuit();
    accountDone(session);
}

void Pop3Session::receiveFailure(int code) {
    const uint64_t session = sessionNumber_;
    layer_.closeConnection();
    layer_.goIdle();
    if (pop3Step_ != kGreeting) {
        pop3Step_ = kQuitSent;
    }
    report(socketErrorText(code));
    accountDone(session);
}

void Pop3Session::endAccountQuietly() {
    const uint64_t session = sessionNumber_;
    if (pop3Step_ == kGreeting) {
        closeLeftoverConnection();
    } else {
        sendQuit();
    }
    accountDone(session);
}

void Pop3Session::accountDone(uint64_t session) {
    // A new session begun inside a wait belongs to a new check; its account is not done.
    if (session == sessionNumber_ && onAccountDone) {
        onAccountDone();
    }
}

void Pop3Session::sendQuit() {
    if (pop3Step_ == kGreeting) {
        return;
    }
    quitNow();
}

void Pop3Session::quitNow() {
    pop3Step_ = kQuitSent;
    if (connectionOpen()) {
        send("QUIT");
    }
    loop_.processPendingEvents();
}

void Pop3Session::closeLeftoverConnection() {
    if (connectionOpen()) {
        layer_.closeConnection();
    }
    layer_.goIdle();
}

}  // namespace velkora
