#include "tests/support/FakeSocketApi.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "common/Cp932.h"

namespace velkora::test {

// ---- FakeReply ------------------------------------------------------------------------------

FakeReply FakeReply::text(const std::string& utf8) {
    return raw(cp932::fromUtf8Lossy(utf8));
}

FakeReply FakeReply::raw(std::string bytes) {
    FakeReply reply;
    reply.chunks.push_back(std::move(bytes));
    return reply;
}

FakeReply FakeReply::pieces(std::vector<std::string> wirePieces, int64_t gapMs) {
    FakeReply reply;
    reply.chunks = std::move(wirePieces);
    reply.gapMs = gapMs;
    return reply;
}

FakeReply FakeReply::dribble(const std::string& bytes, std::size_t pieceSize, int64_t gapMs) {
    pieceSize = std::max<std::size_t>(pieceSize, 1);
    std::vector<std::string> cut;
    for (std::size_t at = 0; at < bytes.size(); at += pieceSize) {
        cut.push_back(bytes.substr(at, pieceSize));
    }
    return pieces(std::move(cut), gapMs);
}

FakeReply FakeReply::err(const std::string& rest) {
    return text("-ERR" + rest);
}

FakeReply FakeReply::silence() {
    FakeReply reply;
    reply.kind = Kind::Silence;
    return reply;
}

FakeReply FakeReply::failReceive(int code) {
    FakeReply reply;
    reply.kind = Kind::ReceiveFailure;
    reply.failureCode = code;
    return reply;
}

FakeReply FakeReply::after(int64_t ms) const {
    FakeReply copy = *this;
    copy.delayMs += ms;
    return copy;
}

// ---- FakePop3Server -------------------------------------------------------------------------

namespace {

bool matches(const std::string& line, const std::string& command) {
    return line == command ||
           (line.size() > command.size() && line.compare(0, command.size(), command) == 0 &&
            line[command.size()] == ' ');
}

}  // namespace

void FakePop3Server::on(const std::string& command, FakeReply reply) {
    overrides_.insert(overrides_.begin(), {command, std::move(reply)});
}

void FakePop3Server::once(const std::string& command, FakeReply reply) {
    onceOverrides_.emplace_back(command, std::move(reply));
}

void FakePop3Server::setDelivery(Delivery delivery, std::size_t dribbleSize, int64_t gapMs) {
    delivery_ = delivery;
    dribbleSize_ = dribbleSize;
    dribbleGapMs_ = gapMs;
}

FakeReply FakePop3Server::deliver(std::string bytes, bool isTop) const {
    switch (delivery_) {
        case Delivery::WholeReply:
            break;
        case Delivery::StatusLineFirst:
            if (isTop) {
                const std::size_t eol = bytes.find("\r\n");
                if (eol != std::string::npos && eol + 2 < bytes.size()) {
                    return FakeReply::pieces({bytes.substr(0, eol + 2), bytes.substr(eol + 2)},
                                             dribbleGapMs_);
                }
            }
            break;
        case Delivery::Dribble:
            return FakeReply::dribble(bytes, dribbleSize_, dribbleGapMs_);
    }
    return FakeReply::raw(std::move(bytes));
}

FakeReply FakePop3Server::greeting() const {
    return greeting_ ? *greeting_ : deliver("+OK POP3 server ready\r\n", false);
}

std::string FakePop3Server::topReply(int message, int lines) const {
    std::string text = mailbox_.at(static_cast<std::size_t>(message - 1));
    if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) {
        text += "\r\n";
    }
    std::string header = text;
    std::string body;
    const std::size_t blank = text.find("\r\n\r\n");
    if (blank != std::string::npos) {
        header = text.substr(0, blank + 2);
        body = text.substr(blank + 4);
    }
    std::string out = "+OK\r\n" + header + "\r\n";
    std::size_t at = 0;
    for (int n = 0; n < lines && at < body.size(); ++n) {
        const std::size_t eol = body.find("\r\n", at);
        const std::size_t end = eol == std::string::npos ? body.size() : eol;
        std::string line = body.substr(at, end - at);
        if (!line.empty() && line[0] == '.') {
            line.insert(0, ".");  // byte-stuffing of the multi-line reply
        }
        out += line + "\r\n";
        at = end + 2;
    }
    return out + ".\r\n";
}

void FakePop3Server::useTls(Tls mode, TestCertificate certificate, std::size_t pieceSize,
                            int64_t gapMs) {
    tls_ = mode;
    certificate_ = std::move(certificate);
    tlsPieceSize_ = pieceSize;
    tlsGapMs_ = gapMs;
}

FakeReply FakePop3Server::answer(const std::string& line, bool overTls) {
    if (closed_) {
        return FakeReply::silence();
    }
    if (matches(line, "TOP") && closeAfterTops_ >= 0 && topsAnswered_++ >= closeAfterTops_) {
        closed_ = true;
        return FakeReply::raw("");  // the end of the stream: a receive of no bytes
    }
    for (auto it = onceOverrides_.begin(); it != onceOverrides_.end(); ++it) {
        if (matches(line, it->first)) {
            FakeReply reply = std::move(it->second);
            onceOverrides_.erase(it);
            return reply;
        }
    }
    for (const auto& [command, reply] : overrides_) {
        if (matches(line, command)) {
            return reply;
        }
    }
    if (matches(line, "USER") || matches(line, "PASS")) {
        return deliver("+OK\r\n", false);
    }
    if (line == "STAT") {
        std::size_t size = 0;
        for (const auto& m : mailbox_) {
            size += m.size();
        }
        return deliver(
            "+OK " + std::to_string(mailbox_.size()) + " " + std::to_string(size) + "\r\n", false);
    }
    int message = 0;
    int lines = 0;
    char end = 0;
    if (std::sscanf(line.c_str(), "TOP %d %d%c", &message, &lines, &end) == 2 && message >= 1 &&
        static_cast<std::size_t>(message) <= mailbox_.size()) {
        return deliver(topReply(message, lines), true);
    }
    if (line == "QUIT") {
        return deliver("+OK bye\r\n", false);
    }
    if (line == "CAPA" && (capabilities_ || tls_ == Tls::StartTls)) {
        std::string list = "+OK\r\n";
        for (const std::string& capability :
             capabilities_.value_or(std::vector<std::string>{"TOP", "USER"})) {
            list += capability + "\r\n";
        }
        if (tls_ == Tls::StartTls && !overTls) {
            list += "STLS\r\n";
        }
        return deliver(list + ".\r\n", false);
    }
    if (line == "UIDL" && uids_) {
        std::string list = "+OK\r\n";
        for (std::size_t n = 0; n < uids_->size(); ++n) {
            list += std::to_string(n + 1) + " " + (*uids_)[n] + "\r\n";
        }
        return deliver(list + ".\r\n", false);
    }
    if (line == "STLS" && tls_ == Tls::StartTls && !overTls) {
        return deliver("+OK Begin TLS negotiation\r\n", false);
    }
    return deliver("-ERR unknown command\r\n", false);
}

// ---- FakeSocketApi --------------------------------------------------------------------------

FakeSocketApi::FakeSocketApi(SimulatedEventLoop& loop)
    : loop_(loop), scheduler_(loop.createTimer()), alive_(std::make_shared<bool>(true)) {
    scheduler_->setHandler([this] { runScheduled(); });
}

FakeSocketApi::~FakeSocketApi() {
    alive_.reset();
}

FakePop3Server& FakeSocketApi::addServer(const std::string& host) {
    servers_.push_back(std::make_unique<FakePop3Server>(host));
    servers_.back()->setAddresses(
        {IpAddress::v4(htonl(0x0A000000u + static_cast<uint32_t>(servers_.size())))});
    return *servers_.back();
}

FakePop3Server& FakeSocketApi::server(const std::string& host) {
    for (auto& s : servers_) {
        if (s->host() == host) {
            return *s;
        }
    }
    throw std::out_of_range("no fake server named " + host);
}

std::vector<std::string> FakeSocketApi::sentTexts(const std::string& host) const {
    std::vector<std::string> out;
    for (const auto& line : sent_) {
        if (host.empty() || line.host == host) {
            out.push_back(line.text);
        }
    }
    return out;
}

void FakeSocketApi::breakConnection(int errorCode) {
    if (!open_) {
        return;
    }
    brokenCode_ = errorCode;
    inbox_.clear();
    inbox_.push_back({FakeReply::Kind::ReceiveFailure, {}, errorCode});
    if (selected_ == SocketNotification::Read) {
        post(SocketNotification::Read);
    }
}

FakePop3Server* FakeSocketApi::serverAt(const IpAddress& address) const {
    for (const auto& s : servers_) {
        const auto& addresses = s->addresses();
        if (std::find(addresses.begin(), addresses.end(), address) != addresses.end()) {
            return s.get();
        }
    }
    return nullptr;
}

void FakeSocketApi::resolve(const std::string& host, std::function<void(HostAddresses)> done) {
    ++lookups_;
    HostAddresses found;
    int64_t delay = 0;
    FakePop3Server* named = nullptr;
    for (const auto& s : servers_) {
        if (s->host() == host) {
            named = s.get();
        }
    }
    if (named != nullptr) {
        found.addresses = named->addresses();
        delay = named->lookupDelayMs_;
    } else {
        found.error = 11001;
    }
    std::weak_ptr<bool> alive = alive_;
    auto answer = [alive, done = std::move(done), found]() {
        if (!alive.expired()) {
            done(found);
        }
    };
    if (delay <= 0) {
        loop_.post(std::move(answer));
        return;
    }
    auto timer = loop_.createTimer();
    Timer* raw = timer.get();
    timer->setHandler([raw, answer] {
        raw->setEnabled(false);
        answer();
    });
    timer->setInterval(static_cast<int>(delay));
    timer->setEnabled(true);
    lookupTimers_.push_back(std::move(timer));
}

bool FakeSocketApi::createSocket() {
    if (open_) {
        ++replacedWhileOpen_;
    }
    ++created_;
    ++generation_;
    open_ = true;
    connected_ = false;
    readPending_ = false;
    selected_.reset();
    current_ = nullptr;
    inbox_.clear();
    lineBuffer_.clear();
    tls_.reset();
    greetingOwed_ = false;
    brokenCode_ = 0;
    return true;
}

void FakeSocketApi::selectNotification(SocketNotification kind) {
    selected_ = kind;
    if (!open_) {
        return;
    }
    if (kind == SocketNotification::Write && connected_) {
        post(kind);
    } else if (kind == SocketNotification::Read && !inbox_.empty()) {
        post(kind);
    }
}

int FakeSocketApi::connect(const std::vector<IpAddress>& addresses, uint16_t) {
    if (!open_) {
        lastError_ = 10038;
        return -1;
    }
    // Addresses that fail at once are passed over; the first one that does not takes the
    // connection, whether a server answers there or not.
    int firstError = 0;
    for (const IpAddress& address : addresses) {
        FakePop3Server* server = serverAt(address);
        const int refused = server ? server->refuseCode_ : 0;
        if (refused != 0) {
            firstError = firstError != 0 ? firstError : refused;
            continue;
        }
        current_ = server;
        if (server) {
            ++server->connections_;
            server->topsAnswered_ = 0;
            server->closed_ = false;
        }
        lastError_ = 10035;  // under way
        const int64_t delay = server ? server->connectDelayMs_ : 0;
        if (delay > 0) {
            enqueue({loop_.now() + delay, generation_, {}, true});
        } else {
            post(SocketNotification::Connect);
        }
        if (server) {
            connected_ = true;
            if (server->tls_ == FakePop3Server::Tls::Implicit) {
                // The greeting comes over TLS, once the client has made its handshake.
                tls_ = std::make_unique<FakeTlsServer>(server->certificate_);
                greetingOwed_ = true;
                runScheduled();
            } else {
                schedule(server->greeting(), delay + server->latencyMs_);
            }
        } else {
            runScheduled();
        }
        return -1;
    }
    lastError_ = firstError != 0 ? firstError : 10049;
    return -1;
}

long FakeSocketApi::send(const char* data, std::size_t size) {
    if (open_ && brokenCode_ != 0) {
        lastError_ = brokenCode_;
        return -1;
    }
    if (!open_ || !connected_) {
        ++sendsWithoutConnection_;
        sent_.push_back({std::string(), cp932::toUtf8(std::string(data, size)), loop_.now()});
        lastError_ = open_ ? 10057 : 10038;
        return -1;
    }
    rawSent_.append(data, size);
    if (tls_) {
        const bool wasDone = tls_->handshakeDone();
        lineBuffer_ += tls_->receive(std::string(data, size));
        // Handshake messages (or an alert) go back at once, before any answer.
        scheduleRecords(tls_->takeRecords(), current_ ? current_->latencyMs_ : 0);
        if (!wasDone && tls_->handshakeDone() && greetingOwed_ && current_) {
            greetingOwed_ = false;
            schedule(current_->greeting(), current_->latencyMs_);
        }
    } else {
        lineBuffer_.append(data, size);
    }
    std::size_t eol;
    while ((eol = lineBuffer_.find("\r\n")) != std::string::npos) {
        std::string line = lineBuffer_.substr(0, eol);
        lineBuffer_.erase(0, eol + 2);
        onLine(line);
    }
    return static_cast<long>(size);
}

void FakeSocketApi::onLine(const std::string& wireLine) {
    const std::string text = cp932::toUtf8(wireLine);
    sent_.push_back({current_ ? current_->host() : std::string(), text, loop_.now()});
    if (current_) {
        const bool overTls = tls_ != nullptr;
        const FakeReply reply = current_->answer(text, overTls);
        schedule(reply, current_->latencyMs_);
        const bool accepted = reply.kind == FakeReply::Kind::Data && !reply.chunks.empty() &&
                              reply.chunks.front().rfind("+OK", 0) == 0;
        if (text == "STLS" && accepted && !overTls &&
            current_->tls_ == FakePop3Server::Tls::StartTls) {
            // Everything after the "+OK" is TLS.
            tls_ = std::make_unique<FakeTlsServer>(current_->certificate_);
        }
    }
}

long FakeSocketApi::receive(char* buffer, std::size_t size) {
    if (!open_) {
        lastError_ = 10038;
        return -1;
    }
    if (inbox_.empty()) {
        lastError_ = 10035;
        return -1;
    }
    Item& front = inbox_.front();
    long result = -1;
    if (front.kind == FakeReply::Kind::ReceiveFailure) {
        lastError_ = front.code;
        inbox_.erase(inbox_.begin());
    } else {
        const std::size_t n = std::min(size, front.bytes.size());
        std::memcpy(buffer, front.bytes.data(), n);
        front.bytes.erase(0, n);
        if (front.bytes.empty()) {
            inbox_.erase(inbox_.begin());
        }
        result = static_cast<long>(n);
    }
    if (!inbox_.empty() && selected_ == SocketNotification::Read) {
        post(SocketNotification::Read);
    }
    return result;
}

void FakeSocketApi::closeSocket() {
    if (!open_) {
        return;
    }
    open_ = false;
    connected_ = false;
    readPending_ = false;
    inbox_.clear();
    lineBuffer_.clear();
    current_ = nullptr;
    tls_.reset();
    greetingOwed_ = false;
    brokenCode_ = 0;
}

void FakeSocketApi::post(SocketNotification kind) {
    if (kind == SocketNotification::Read) {
        if (readPending_) {
            return;
        }
        readPending_ = true;
    }
    const int generation = generation_;
    std::weak_ptr<bool> alive = alive_;
    loop_.post([this, alive, generation, kind] {
        if (alive.expired()) {
            return;
        }
        if (kind == SocketNotification::Read && generation == generation_) {
            readPending_ = false;
        }
        if (generation != generation_ || !open_ || selected_ != kind || !sink_) {
            return;
        }
        sink_();
    });
}

void FakeSocketApi::schedule(const FakeReply& reply, int64_t extraDelay, bool asRecords) {
    // One byte stream: an answer starts only after everything sent before it on the connection.
    int64_t start = loop_.now() + extraDelay + reply.delayMs;
    for (const auto& pending : scheduled_) {
        if (pending.generation == generation_) {
            start = std::max(start, pending.at);
        }
    }
    switch (reply.kind) {
        case FakeReply::Kind::Silence:
            return;
        case FakeReply::Kind::Data: {
            int64_t at = start;
            for (std::size_t i = 0; i < reply.chunks.size(); ++i, at += reply.gapMs) {
                if (!asRecords && tls_ && tls_->handshakeDone()) {
                    // Encrypted now, in the order the chunks go out.
                    const std::string records = tls_->encrypt(reply.chunks[i]);
                    const std::size_t piece = current_ && current_->tlsPieceSize_ > 0
                                                  ? current_->tlsPieceSize_
                                                  : records.size();
                    const int64_t gap = current_ ? current_->tlsGapMs_ : 1;
                    for (std::size_t from = 0; from < records.size(); from += piece, at += gap) {
                        enqueue({at,
                                 generation_,
                                 {FakeReply::Kind::Data, records.substr(from, piece), 0}});
                    }
                    continue;
                }
                enqueue({at, generation_, {FakeReply::Kind::Data, reply.chunks[i], 0}});
            }
            break;
        }
        case FakeReply::Kind::ReceiveFailure:
            enqueue({start, generation_, {reply.kind, {}, reply.failureCode}});
            break;
    }
    runScheduled();
}

void FakeSocketApi::scheduleRecords(const std::string& records, int64_t extraDelay) {
    if (records.empty()) {
        return;
    }
    schedule(FakeReply::raw(records), extraDelay, true);
}

void FakeSocketApi::enqueue(Scheduled item) {
    // Kept in time order; equal times in the order scheduled.
    auto at = std::upper_bound(scheduled_.begin(), scheduled_.end(), item.at,
                               [](int64_t t, const Scheduled& s) { return t < s.at; });
    scheduled_.insert(at, std::move(item));
}

void FakeSocketApi::runScheduled() {
    while (!scheduled_.empty() && scheduled_.front().at <= loop_.now()) {
        Scheduled next = std::move(scheduled_.front());
        scheduled_.pop_front();
        if (next.generation != generation_ || !open_) {
            continue;
        }
        if (next.connectNotification) {
            post(SocketNotification::Connect);
        } else {
            arrive(std::move(next.item));
        }
    }
    armScheduler();
}

void FakeSocketApi::armScheduler() {
    scheduler_->setEnabled(false);
    if (scheduled_.empty()) {
        return;
    }
    const int64_t wait = std::max<int64_t>(scheduled_.front().at - loop_.now(), 1);
    scheduler_->setInterval(static_cast<int>(wait));
    scheduler_->setEnabled(true);
}

void FakeSocketApi::arrive(Item item) {
    const bool joins = current_ && current_->coalescing_ && item.kind == FakeReply::Kind::Data &&
                       !item.bytes.empty() && !inbox_.empty() &&
                       inbox_.back().kind == FakeReply::Kind::Data && !inbox_.back().bytes.empty();
    if (joins) {
        inbox_.back().bytes += item.bytes;
        return;
    }
    inbox_.push_back(std::move(item));
    if (selected_ == SocketNotification::Read) {
        post(SocketNotification::Read);
    }
}

// ---- Expected commands ----------------------------------------------------------------------

std::vector<std::string> sessionCommands(const std::string& user, const std::string& password,
                                         const std::vector<int>& fetched, int lines, bool uidl) {
    std::vector<std::string> out{"CAPA", "USER " + user, "PASS " + password, "STAT"};
    if (uidl) {
        out.push_back("UIDL");
    }
    for (const int n : fetched) {
        out.push_back("TOP " + std::to_string(n) + " " + std::to_string(lines));
    }
    out.push_back("QUIT");
    return out;
}

std::vector<int> firstMessages(int count) {
    std::vector<int> out;
    for (int n = 1; n <= count; ++n) {
        out.push_back(n);
    }
    return out;
}

std::vector<std::string> twice(const std::vector<std::string>& once) {
    std::vector<std::string> out = once;
    out.insert(out.end(), once.begin(), once.end());
    return out;
}

}  // namespace velkora::test
