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

FakeReply FakePop3Server::answer(const std::string& line) {
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
    byAddress_[htonl(0x0A000000u + static_cast<uint32_t>(servers_.size()))] = servers_.back().get();
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

std::optional<uint32_t> FakeSocketApi::lookupHost(const std::string& host) {
    for (const auto& [address, s] : byAddress_) {
        if (s->host() == host) {
            return address;
        }
    }
    return std::nullopt;
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

int FakeSocketApi::connect(uint32_t addressNetworkOrder, uint16_t) {
    if (!open_) {
        lastError_ = 10038;
        return -1;
    }
    if (addressNetworkOrder == 0xFFFFFFFFu) {
        lastError_ = 10049;
        return -1;
    }
    auto found = byAddress_.find(addressNetworkOrder);
    FakePop3Server* server = found == byAddress_.end() ? nullptr : found->second;
    if (server && server->refuseCode_ != 0) {
        lastError_ = server->refuseCode_;
        return -1;
    }
    current_ = server;
    if (server) {
        ++server->connections_;
    }
    lastError_ = 10035;  // under way
    const int64_t delay = server ? server->connectDelayMs_ : 0;
    if (delay > 0) {
        scheduled_.push_back({loop_.now() + delay, generation_, {}, true});
    } else {
        post(SocketNotification::Connect);
    }
    if (server) {
        connected_ = true;
        schedule(server->greeting(), delay + server->latencyMs_);
    } else {
        runScheduled();
    }
    return -1;
}

long FakeSocketApi::send(const char* data, std::size_t size) {
    if (!open_ || !connected_) {
        ++sendsWithoutConnection_;
        sent_.push_back({std::string(), cp932::toUtf8(std::string(data, size)), loop_.now()});
        lastError_ = open_ ? 10057 : 10038;
        return -1;
    }
    rawSent_.append(data, size);
    lineBuffer_.append(data, size);
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
        schedule(current_->answer(text), current_->latencyMs_);
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

void FakeSocketApi::schedule(const FakeReply& reply, int64_t extraDelay) {
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
        case FakeReply::Kind::Data:
            for (std::size_t i = 0; i < reply.chunks.size(); ++i) {
                scheduled_.push_back({start + static_cast<int64_t>(i) * reply.gapMs,
                                      generation_,
                                      {FakeReply::Kind::Data, reply.chunks[i], 0}});
            }
            break;
        case FakeReply::Kind::ReceiveFailure:
            scheduled_.push_back({start, generation_, {reply.kind, {}, reply.failureCode}});
            break;
    }
    runScheduled();
}

void FakeSocketApi::runScheduled() {
    std::stable_sort(scheduled_.begin(), scheduled_.end(),
                     [](const auto& a, const auto& b) { return a.at < b.at; });
    while (!scheduled_.empty() && scheduled_.front().at <= loop_.now()) {
        Scheduled next = std::move(scheduled_.front());
        scheduled_.erase(scheduled_.begin());
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
    inbox_.push_back(std::move(item));
    if (selected_ == SocketNotification::Read) {
        post(SocketNotification::Read);
    }
}

}  // namespace velkora::test
