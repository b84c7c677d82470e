#include "checker/net/Pop3Session.h"

#include <algorithm>
#include <limits>
#include <map>
#include <optional>
#include <string_view>
#include <utility>

#include "common/Cp932.h"

namespace velkora {

namespace {

// The most lines kept of a capability list: real ones have a dozen.
constexpr std::size_t kMostListLines = 256;
constexpr const char* kNoHost = "相手先が指定されていません";
constexpr const char* kNoStls = "サーバーがSTARTTLSに対応してないよ (パスワードは送ってないよ)";
constexpr const char* kLineEnd = "\r\n";
// A status line is short; one that has not ended within this many bytes is taken as it is.
constexpr std::size_t kStatusLineLimit = 512;

// Where the line "." that ends a multi-line reply begins (after the line end before it), at
// or after `from`, or npos. The line ends in CR LF or, from some servers, in LF alone.
std::size_t findReplyEnd(std::string_view text, std::size_t from) {
    for (std::size_t at = text.find("\n.", from); at != std::string_view::npos;
         at = text.find("\n.", at + 1)) {
        const std::string_view rest = text.substr(at + 2);
        if (rest.substr(0, 1) == "\n" || rest.substr(0, 2) == "\r\n") {
            return at + 1;
        }
    }
    return std::string_view::npos;
}

// True for the line "." (with its line end) that ends a multi-line reply.
bool isReplyEnd(std::string_view line) {
    return line == ".\r\n" || line == ".\n";
}

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
        const std::size_t dots = reply.find("\n..", at);
        if (dots == std::string_view::npos) {
            text.append(reply.substr(at));
            break;
        }
        text.append(reply.substr(at, dots + 2 - at));  // keeps the line end and one dot
        at = dots + 3;
    }
    return text;
}

}  // namespace

Pop3Session::Pop3Session(SocketLayer& layer, EventLoop& loop, const AppSettings& settings)
    : layer_(layer), loop_(loop), settings_(settings) {
    layer_.onReply = [this](const ReceivedChunk& chunk) { handleReply(chunk); };
    layer_.onError = [this](const std::string& text) {
        if (!quietSendFailures_) {
            report(text);
        }
    };
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
    listingCapabilities_ = false;
    listingUids_ = false;
    scanned_ = 0;
    topStatusSeen_ = false;
}

TlsRequest Pop3Session::tlsRequest() const {
    return {trimSpaces(account_.Hname), account_.Tlspin};
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
    capabilities_.clear();
    capabilitiesKnown_ = false;
    handedOver_ = false;
    accountKey_ = ReplyCache::accountKey(account_);
    uidLines_.clear();
    plan_.clear();
    topsInFlight_.clear();
    bytesInFlight_ = 0;
    nextToSend_ = 1;

    const std::string host = trimSpaces(account_.Hname);
    if (host.empty()) {
        // No connection was begun, so there is nothing to close.
        report(kNoHost);
        return;
    }
    std::optional<TlsRequest> tls;
    if (account_.Tlsmode == Account::kImplicitTls) {
        tls = tlsRequest();
    }
    const std::string error = layer_.openConnection(host, account_.Portno, tls);
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
        receiveFailure(chunk);
        return;
    }
    const std::string& bytes = chunk.bytes;
    if (pop3Step_ != kTopSent) {
        // Judged line by line as it comes; nothing of it is kept for a TOP reply.
        handleStatusLines(bytes);
        return;
    }
    if (replyText_.size() + bytes.size() > kReplyTextLimit) {
        clearReplyText();
        endAccountQuietly();
        return;
    }
    replyText_ += bytes;
    const uint64_t session = sessionNumber_;
    collectTop();
    // The phase goes back to reading only while this session's connection is still the one
    // open: a nested handler may have closed it, or a new session replaced it.
    if (session == sessionNumber_ && connectionOpen()) {
        layer_.resumeReading();
    }
}

void Pop3Session::handleStatusLines(const std::string& bytes) {
    const uint64_t session = sessionNumber_;
    auto resumeReading = [&] {
        if (session == sessionNumber_ && connectionOpen()) {
            layer_.resumeReading();
        }
    };
    // TCP may cut a reply anywhere, down to single bytes, and one chunk may hold several
    // lines: each line is judged once it has ended, in turn.
    statusLine_ += bytes;
    while (true) {
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
        if (listingUids_) {
            if (isReplyEnd(line)) {
                listingUids_ = false;
                statusLine_.clear();
                uidsListed();
                resumeReading();
                return;
            }
            takeUidLine(line);
            continue;
        }
        if (listingCapabilities_) {
            if (isReplyEnd(line)) {
                listingCapabilities_ = false;
                statusLine_.clear();
                capabilitiesListed();
                resumeReading();
                return;
            }
            std::string word = line.substr(0, line.find_first_of(" \r\n"));
            std::transform(word.begin(), word.end(), word.begin(), upper);
            // A list without end (a server that streams) cannot fill the memory.
            if (capabilities_.size() < kMostListLines) {
                capabilities_.push_back(word);
            }
            continue;
        }
        const Kind kind = classify(line);
        if (kind == Kind::Data) {
            continue;  // not a status line: nothing to act on
        }
        const bool capabilityReply = pop3Step_ == kCapaSent || pop3Step_ == kTlsCapaSent;
        if (kind == Kind::Acknowledgement && capabilityReply) {
            // The list follows, up to its "." line.
            listingCapabilities_ = true;
            capabilities_.clear();
            continue;
        }
        if (kind == Kind::Acknowledgement && pop3Step_ == kUidlSent) {
            listingUids_ = true;
            uidLines_.clear();
            uidListingSpoilt_ = false;
            continue;
        }
        // Acting on this line sends the next command. Anything received with it came before
        // that command and is no answer to it (a second greeting line, a notice).
        statusLine_.clear();
        if (kind == Kind::Acknowledgement) {
            const bool quitReply = pop3Step_ == kQuitSent;
            layer_.beginAcknowledgement();
            acknowledge(line);
            if (!quitReply) {
                resumeReading();
            }
        } else if (capabilityReply) {
            layer_.beginAcknowledgement();
            capabilitiesRefused();
            resumeReading();
        } else if (pop3Step_ == kUidlSent) {
            // No unique ids from this server: everything is fetched, and what the cache held
            // for the mailbox can no longer be told apart from what has left it.
            layer_.beginAcknowledgement();
            cache_->forget(accountKey_);
            beginFetching();
            resumeReading();
        } else {
            const std::string text = cp932::toUtf8(std::string_view(line).substr(4));
            if (pop3Step_ == kStlsSent) {
                refuseWithoutTls(text);
            } else {
                errorTail(text);
            }
        }
        return;
    }
}

void Pop3Session::acknowledge(const std::string& chunk) {
    // Each new step is stored before the command that provokes the next reply: that reply can
    // be handled inside the send.
    switch (pop3Step_) {
        case kGreeting:
            // What the server can do decides how its messages are fetched (and, with STARTTLS,
            // whether the password may go out at all).
            pop3Step_ = kCapaSent;
            send("CAPA");
            break;
        case kStlsSent:
            beginTls();
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

void Pop3Session::sendUser() {
    pop3Step_ = kUserSent;
    send(userCommand(account_.Uname));
}

void Pop3Session::capabilitiesRefused() {
    capabilities_.clear();
    capabilitiesKnown_ = false;
    if (pop3Step_ == kCapaSent && account_.Tlsmode == Account::kStartTls) {
        // A server without "CAPA" may still know "STLS"; its answer decides.
        pop3Step_ = kStlsSent;
        send("STLS");
    } else {
        sendUser();
    }
}

void Pop3Session::capabilitiesListed() {
    capabilitiesKnown_ = true;
    if (pop3Step_ == kTlsCapaSent || account_.Tlsmode != Account::kStartTls) {
        sendUser();
        return;
    }
    if (std::find(capabilities_.begin(), capabilities_.end(), "STLS") == capabilities_.end()) {
        refuseWithoutTls("");
        return;
    }
    pop3Step_ = kStlsSent;
    send("STLS");
}

void Pop3Session::beginTls() {
    const uint64_t session = sessionNumber_;
    if (!layer_.startTls(tlsRequest())) {
        refuseWithoutTls("");
        return;
    }
    // The capabilities learnt in plain text may have been forged: they are asked for again.
    // The command waits for the handshake; a server that is not trusted ends the connection
    // there, with its reason reported.
    pop3Step_ = kTlsCapaSent;
    send("CAPA");
    if (session == sessionNumber_ && pop3Step_ == kTlsCapaSent && !connectionOpen()) {
        // Nothing more can be said on it: the account is over at once.
        pop3Step_ = kQuitSent;
        accountDone(session);
    }
}

void Pop3Session::refuseWithoutTls(const std::string& serverText) {
    std::string text = kNoStls;
    if (serverText.find_first_not_of(" \r\n") != std::string::npos) {
        text += "\n" + trimSpaces(serverText.substr(0, serverText.find_last_not_of("\r\n") + 1));
    }
    errorTail(text);
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
        if (cache_) {
            cache_->forget(accountKey_);
        }
        sendQuit();
        accountDone(session);
        return;
    }
    currentMessage_ = 1;
    lines_ = topLines();
    plan_.assign(static_cast<std::size_t>(messageCount_), PlannedMessage{});
    const bool listsUids =
        !capabilitiesKnown_ ||
        std::find(capabilities_.begin(), capabilities_.end(), "UIDL") != capabilities_.end();
    if (cache_ && listsUids) {
        pop3Step_ = kUidlSent;
        uidLines_.clear();
        send("UIDL");
        return;
    }
    if (cache_) {
        cache_->forget(accountKey_);
    }
    beginFetching();
}

void Pop3Session::takeUidLine(const std::string& line) {
    // "n id": the message number, one space, the id up to the line end.
    const std::size_t space = line.find(' ');
    const auto number = space == std::string::npos
                            ? std::nullopt
                            : parseCount(std::string_view(line).substr(0, space));
    if (!number || *number < 1 || *number > messageCount_) {
        return;
    }
    if (uidLines_.size() > static_cast<std::size_t>(messageCount_)) {
        // More ids than messages: some message has two, and the listing is not trusted. It
        // is not kept growing either.
        uidListingSpoilt_ = true;
        return;
    }
    const std::size_t end = line.find_last_not_of("\r\n");
    uidLines_.emplace_back(*number, line.substr(space + 1, end - space));
}

void Pop3Session::uidsListed() {
    // An id given to two messages, or two ids to one message, cannot tell them apart: those
    // messages are fetched and never kept.
    std::map<std::string, int> uses;
    std::vector<int> idsOfMessage(plan_.size(), 0);
    for (const auto& [number, uid] : uidLines_) {
        ++uses[uid];
        ++idsOfMessage[static_cast<std::size_t>(number - 1)];
    }
    std::vector<std::string> uids(plan_.size());
    for (const auto& [number, uid] : uidLines_) {
        const auto index = static_cast<std::size_t>(number - 1);
        if (!uidListingSpoilt_ && uses[uid] == 1 && idsOfMessage[index] == 1 &&
            replycache::usableUid(uid)) {
            uids[index] = uid;
        }
    }
    uidLines_.clear();
    const auto cached = cache_->visit(accountKey_, lines_, uids);
    for (std::size_t i = 0; i < plan_.size(); ++i) {
        plan_[i] = {cached[i], std::move(uids[i])};
    }
    beginFetching();
}

void Pop3Session::beginFetching() {
    pop3Step_ = kTopSent;
    clearReplyText();
    topsInFlight_.clear();
    bytesInFlight_ = 0;
    nextToSend_ = 1;
    collectTop();
}

void Pop3Session::collectTop() {
    const uint64_t session = sessionNumber_;
    // Each message is reported in its turn: from the cache, or once its reply is complete.
    while (pop3Step_ == kTopSent && session == sessionNumber_) {
        if (currentMessage_ > messageCount_) {
            sendQuit();
            accountDone(session);
            return;
        }
        const PlannedMessage& planned = plan_[static_cast<std::size_t>(currentMessage_ - 1)];
        std::shared_ptr<const std::string> reply = planned.cached;
        if (!reply) {
            if (topsInFlight_.empty() || topsInFlight_.front().first != currentMessage_) {
                break;  // its TOP is still to be sent
            }
            auto fetched = takeTopReply();
            if (!fetched) {
                break;  // not complete yet, or the account has ended
            }
            reply = std::make_shared<const std::string>(std::move(*fetched));
            if (cache_ && !planned.uid.empty()) {
                cache_->store(accountKey_, lines_, planned.uid, *reply);
            }
        }
        ++currentMessage_;
        if (onMessage) {
            onMessage(*reply);
        }
    }
    if (pop3Step_ == kTopSent && session == sessionNumber_) {
        sendTops();
    }
}

std::optional<std::string> Pop3Session::takeTopReply() {
    // The reply's status line comes first: "-ERR" there ends the account. Further lines are
    // mail text, whatever they begin with.
    if (!topStatusSeen_) {
        std::size_t end = replyText_.find('\n');
        if (end == std::string::npos) {
            if (replyText_.size() < kStatusLineLimit) {
                return std::nullopt;
            }
            end = replyText_.size() - 1;
        }
        topStatusSeen_ = true;
        if (classify(replyText_) == Kind::Failure) {
            errorTail(cp932::toUtf8(std::string_view(replyText_).substr(4, end - 3)));
            return std::nullopt;
        }
    }
    // The reply is complete when its terminating line has arrived. Waiting for it, rather
    // than for the two header names, keeps a reply that TCP delivers in pieces whole, and
    // lets a message without a Subject or From header be listed instead of stalling the
    // account. Only the new text is searched, with room for a terminator cut in two.
    // The search starts before the end of the last one, where "\r\n.\r\n" may have been cut.
    const std::size_t from = scanned_ >= 4 ? scanned_ - 4 : 0;
    const std::size_t terminator = findReplyEnd(replyText_, from);
    scanned_ = replyText_.size();
    if (terminator == std::string::npos) {
        // Not complete yet: the next chunk comes with the next read notification.
        return std::nullopt;
    }
    std::string reply = unstuffReply(std::string_view(replyText_).substr(0, terminator));
    bytesInFlight_ -= topsInFlight_.front().second;
    topsInFlight_.pop_front();
    if (topsInFlight_.empty()) {
        // What came after the reply came before any command still to be answered: it answers
        // nothing (as a notice after a status line does).
        clearReplyText();
    } else {
        // The next replies, already on their way.
        const std::size_t after = replyText_.find('\n', terminator) + 1;
        replyText_.erase(0, after);
        scanned_ = 0;
        topStatusSeen_ = false;
    }
    return reply;
}

void Pop3Session::sendTops() {
    const std::size_t window = pipelining() ? kPipelineWindow : 1;
    std::string commands;
    while (topsInFlight_.size() < window && nextToSend_ <= messageCount_) {
        if (plan_[static_cast<std::size_t>(nextToSend_ - 1)].cached) {
            ++nextToSend_;
            continue;
        }
        const std::string command =
            topCommand(static_cast<int16_t>(nextToSend_), lines_) + kLineEnd;
        if (!topsInFlight_.empty() && bytesInFlight_ + command.size() > kPipelineBytes) {
            break;
        }
        topsInFlight_.emplace_back(nextToSend_, command.size());
        bytesInFlight_ += command.size();
        ++nextToSend_;
        commands += command;
    }
    // Everything is stored before the commands go out: their replies can be handled inside
    // the send.
    if (!commands.empty()) {
        layer_.sendLine(commands);
    }
}

bool Pop3Session::pipelining() const {
    return capabilitiesKnown_ && std::find(capabilities_.begin(), capabilities_.end(),
                                           "PIPELINING") != capabilities_.end();
}

void Pop3Session::errorTail(const std::string& text) {
    const uint64_t session = sessionNumber_;
    if (pop3Step_ == kQuitSent) {
        // A failure after "QUIT" (the answer to it, or to the time-up's): the conversation is
        // over and nothing more is said; another "QUIT" would only be refused again.
        closeLeftoverConnection();
        accountDone(session);
        return;
    }
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

void Pop3Session::receiveFailure(const ReceivedChunk& failure) {
    const uint64_t session = sessionNumber_;
    // After "QUIT" the account is over: a server that closes hard (some close right after
    // their "-ERR") ends nothing that a box would tell the user about.
    const bool worthReporting = pop3Step_ != kQuitSent;
    layer_.closeConnection();
    layer_.goIdle();
    if (pop3Step_ != kGreeting) {
        pop3Step_ = kQuitSent;
    }
    if (worthReporting) {
        report(failure.errorText.empty() ? socketErrorText(failure.error) : failure.errorText);
    }
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
    // A new session begun inside a wait belongs to a new check; its account is not done. An
    // account is handed over once, whatever happens on its connection afterwards.
    if (session != sessionNumber_ || std::exchange(handedOver_, true)) {
        return;
    }
    if (cache_) {
        cache_->save();
    }
    if (onAccountDone) {
        onAccountDone();
    }
}

void Pop3Session::sendQuit() {
    if (pop3Step_ == kGreeting) {
        return;
    }
    quit(false);
}

void Pop3Session::quitNow() {
    // The time-up gives the account up: what it fetched so far is kept all the same.
    if (cache_) {
        cache_->save();
    }
    quit(true);
}

void Pop3Session::quit(bool reportSendFailure) {
    pop3Step_ = kQuitSent;
    if (connectionOpen()) {
        const bool outer = std::exchange(quietSendFailures_, !reportSendFailure);
        send("QUIT");
        quietSendFailures_ = outer;
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
