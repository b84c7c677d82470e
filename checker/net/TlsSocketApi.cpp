#include "checker/net/TlsSocketApi.h"

#include <algorithm>
#include <utility>

#include "checker/net/TlsSession.h"
#include "checker/net/WinsockErrors.h"

namespace velkora {

namespace {

constexpr std::size_t kRecordBufferSize = 16384 + 512;  // one TLS record and its framing

constexpr const char* kClosedDuringHandshake = "TLSの接続中にサーバーから切断されたよ";

std::string handshakeFailureText(const std::string& reason) {
    return "TLSで接続できなかったよ (" + reason + ")";
}

std::string recordFailureText(const std::string& reason) {
    return "TLSの通信でエラーがあったよ (" + reason + ")";
}

}  // namespace

TlsSocketApi::TlsSocketApi(SocketApi& inner, EventLoop& loop) : inner_(inner), loop_(loop) {
    inner_.setNotificationSink([this] { onInnerNotification(); });
}

TlsSocketApi::~TlsSocketApi() {
    inner_.setNotificationSink(nullptr);
    alive_.reset();
}

void TlsSocketApi::reset() {
    mode_ = Mode::Plain;
    tls_.reset();
    connectCalled_ = false;
    selected_.reset();
    records_.clear();
    heldPlain_ = 0;
    failureCode_ = 0;
    failureText_.clear();
    ++generation_;
    notificationPosted_ = false;
}

bool TlsSocketApi::createSocket() {
    reset();
    const bool created = inner_.createSocket();
    lastError_ = inner_.lastError();
    return created;
}

void TlsSocketApi::closeSocket() {
    reset();
    inner_.closeSocket();
}

int TlsSocketApi::connect(const std::vector<IpAddress>& addresses, uint16_t port) {
    connectCalled_ = true;
    const int result = inner_.connect(addresses, port);
    lastError_ = inner_.lastError();
    return result;
}

int TlsSocketApi::setNonBlocking() {
    const int result = inner_.setNonBlocking();
    lastError_ = inner_.lastError();
    return result;
}

std::string TlsSocketApi::lastErrorText() const {
    return lastError_ == kTlsFailure ? failureText_ : std::string();
}

long TlsSocketApi::failWith(int code) {
    lastError_ = code;
    return -1;
}

bool TlsSocketApi::startTls(const TlsRequest& request) {
    if (!inner_.hasSocket() || mode_ != Mode::Plain) {
        return false;
    }
    request_ = request;
    tls_ = std::make_unique<TlsSession>(request);
    if (!tls_->ready()) {
        fail(kTlsFailure, handshakeFailureText(tls_->failureReason()));
        return true;
    }
    if (connectCalled_) {
        // STARTTLS: the connection is up and the server waits for the handshake.
        beginHandshake();
    } else {
        mode_ = Mode::Waiting;
    }
    return true;
}

void TlsSocketApi::selectNotification(SocketNotification kind) {
    selected_ = kind;
    switch (mode_) {
        case Mode::Plain:
            inner_.selectNotification(kind);
            break;
        case Mode::Waiting:
            // The seam below keeps waiting for the connection, whatever the layer selects.
            break;
        case Mode::Handshaking:
            break;  // the handshake selects below; the layer's choice counts once it is done
        case Mode::Open:
            inner_.selectNotification(kind);
            if (kind == SocketNotification::Read && holdsUnread()) {
                postNotification(kind);
            }
            break;
        case Mode::Failed:
            postNotification(kind);
            break;
    }
}

void TlsSocketApi::onInnerNotification() {
    switch (mode_) {
        case Mode::Plain:
        case Mode::Open:
            if (sink_) {
                // A copy: the sink may replace itself.
                std::function<void()> sink = sink_;
                sink();
            }
            break;
        case Mode::Waiting:
            // The connection has come up, or failed: the first send of the handshake tells.
            beginHandshake();
            break;
        case Mode::Handshaking:
            driveHandshake();
            break;
        case Mode::Failed:
            break;
    }
}

void TlsSocketApi::beginHandshake() {
    mode_ = Mode::Handshaking;
    driveHandshake();
}

void TlsSocketApi::driveHandshake() {
    while (mode_ == Mode::Handshaking) {
        const TlsSession::Result step = tls_->handshake();
        if (!flushRecords()) {
            if (lastError_ == winsock::kWouldBlock) {
                inner_.selectNotification(SocketNotification::Write);
            } else {
                fail(lastError_, "");
            }
            return;
        }
        if (step == TlsSession::Result::Done) {
            handshakeDone();
            return;
        }
        if (step == TlsSession::Result::Failed) {
            fail(kTlsFailure, handshakeFailureText(tls_->failureReason()));
            return;
        }
        const long pulled = pullRecords();
        if (pulled > 0) {
            continue;
        }
        if (pulled == 0) {
            fail(kTlsFailure, kClosedDuringHandshake);
        } else if (lastError_ == winsock::kWouldBlock) {
            inner_.selectNotification(SocketNotification::Read);
        } else {
            fail(lastError_, "");
        }
        return;
    }
}

void TlsSocketApi::handshakeDone() {
    const std::string verdict = tls_->verdict();
    if (!verdict.empty()) {
        // The server learns that TLS ends; it gets nothing else.
        tls_->shutdown();
        flushRecords();
        fail(kTlsFailure, verdict);
        return;
    }
    mode_ = Mode::Open;
    resumeSelection();
}

void TlsSocketApi::resumeSelection() {
    if (!selected_) {
        return;
    }
    if (mode_ == Mode::Failed) {
        postNotification(*selected_);
        return;
    }
    if (*selected_ == SocketNotification::Connect) {
        // The connect notification the layer waits for: the connection is now usable.
        inner_.selectNotification(SocketNotification::Read);
        postNotification(SocketNotification::Connect);
        return;
    }
    selectNotification(*selected_);
}

bool TlsSocketApi::flushRecords() {
    records_ += tls_->takeRecords();
    while (!records_.empty()) {
        const long sent = inner_.send(records_.data(), records_.size());
        if (sent < 0) {
            lastError_ = inner_.lastError();
            return false;
        }
        if (sent == 0) {
            lastError_ = winsock::kWouldBlock;
            return false;
        }
        records_.erase(0, static_cast<std::size_t>(sent));
    }
    return true;
}

long TlsSocketApi::pullRecords() {
    char buffer[kRecordBufferSize];
    const long received = inner_.receive(buffer, sizeof buffer);
    if (received > 0) {
        tls_->putRecords(buffer, static_cast<std::size_t>(received));
    } else if (received < 0) {
        lastError_ = inner_.lastError();
    }
    return received;
}

bool TlsSocketApi::holdsUnread() const {
    return tls_ && tls_->holdsUnread();
}

void TlsSocketApi::fail(int code, std::string text) {
    mode_ = Mode::Failed;
    failureCode_ = code;
    failureText_ = std::move(text);
    lastError_ = code;
    // Whatever the layer waits for (the connection, room to send, a reply) now finds the
    // failure.
    resumeSelection();
}

void TlsSocketApi::postNotification(SocketNotification kind) {
    if (notificationPosted_) {
        return;
    }
    notificationPosted_ = true;
    loop_.post([this, alive = std::weak_ptr<bool>(alive_), generation = generation_, kind] {
        if (alive.expired() || generation != generation_) {
            return;
        }
        notificationPosted_ = false;
        if (selected_ != kind || !sink_) {
            return;  // no longer asked for
        }
        std::function<void()> sink = sink_;
        sink();
    });
}

long TlsSocketApi::send(const char* data, std::size_t size) {
    switch (mode_) {
        case Mode::Plain: {
            const long sent = inner_.send(data, size);
            lastError_ = inner_.lastError();
            return sent;
        }
        case Mode::Waiting:
        case Mode::Handshaking:
            // Nothing goes out before the server is trusted; the write notification comes
            // when the handshake is done.
            return failWith(winsock::kWouldBlock);
        case Mode::Failed:
            return failWith(failureCode_);
        case Mode::Open:
            break;
    }
    // Records of an earlier send that the socket could not take go first. Their plain bytes
    // are reported as sent only once they are out: the layer then offers them again, and they
    // are not encrypted twice.
    if (!flushRecords()) {
        return -1;  // would-block: the seam below owes the write notification
    }
    if (heldPlain_ > 0) {
        const std::size_t sent = std::min(heldPlain_, size);
        heldPlain_ -= sent;
        return static_cast<long>(sent);
    }
    if (tls_->write(data, size) != TlsSession::Result::Done) {
        fail(kTlsFailure, recordFailureText(tls_->failureReason()));
        return -1;
    }
    if (!flushRecords()) {
        if (lastError_ != winsock::kWouldBlock) {
            return -1;
        }
        heldPlain_ = size;
        return -1;
    }
    return static_cast<long>(size);
}

long TlsSocketApi::receive(char* buffer, std::size_t size) {
    switch (mode_) {
        case Mode::Plain: {
            const long received = inner_.receive(buffer, size);
            lastError_ = inner_.lastError();
            return received;
        }
        case Mode::Waiting:
        case Mode::Handshaking:
            return failWith(winsock::kWouldBlock);
        case Mode::Failed:
            return failWith(failureCode_);
        case Mode::Open:
            break;
    }
    std::size_t got = 0;
    TlsSession::Result result = tls_->read(buffer, size, &got);
    if (result == TlsSession::Result::WantRead) {
        const long pulled = pullRecords();
        if (pulled == 0) {
            return 0;  // the server closed the connection without ending TLS
        }
        if (pulled < 0) {
            return -1;
        }
        result = tls_->read(buffer, size, &got);
    }
    // Reading may have produced records of its own (a key update's answer).
    if (!flushRecords() && lastError_ != winsock::kWouldBlock) {
        return -1;
    }
    switch (result) {
        case TlsSession::Result::Done:
            if (selected_ == SocketNotification::Read && holdsUnread()) {
                postNotification(SocketNotification::Read);
            }
            return static_cast<long>(got);
        case TlsSession::Result::Closed:
            return 0;
        case TlsSession::Result::WantRead:
            // Records that held no data for the layer (a session ticket), or half a record.
            return failWith(winsock::kWouldBlock);
        case TlsSession::Result::Failed:
            break;
    }
    fail(kTlsFailure, recordFailureText(tls_->failureReason()));
    return -1;
}

}  // namespace velkora
