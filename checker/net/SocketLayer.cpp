#include "checker/net/SocketLayer.h"

#include <array>
#include <cstddef>
#include <string_view>
#include <utility>

#include "checker/net/WinsockErrors.h"
#include "common/Cp932.h"

namespace velkora {

namespace {

constexpr std::size_t kReceiveBufferSize = 4096;
constexpr const char* kSocketCreationFailed = "ｿｹｯﾄ生成ができませんでした";
constexpr const char* kNoTls = "この接続ではTLSが使えないよ";

struct ErrorText {
    int32_t code;
    std::string_view text;
};

// Ordered by code.
constexpr std::array<ErrorText, 41> kErrorTexts{{
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
}};

}  // namespace

std::string socketErrorText(int32_t code) {
    for (const ErrorText& entry : kErrorTexts) {
        if (entry.code == code) {
            return std::string(entry.text);
        }
    }
    return "(" + std::to_string(code) + ")";
}

SocketLayer::SocketLayer(SocketApi& api, EventLoop& loop) : api_(api), loop_(loop) {
    api_.setNotificationSink([this] { txtSockIn_KeyDown(); });
}

SocketLayer::~SocketLayer() {
    api_.setNotificationSink(nullptr);
}

void SocketLayer::txtSockIn_KeyDown() {
    // What the notification reports is deliberately not looked at: the phase alone says what
    // it means.
    if (restartTimeup) {
        restartTimeup();
    }
    if (socketPhase_ == "1" || socketPhase_ == "4") {
        selectNotification(SocketNotification::Read);
        socketPhase_ = "3";
    } else if (socketPhase_ == "3") {
        ReceivedChunk chunk = receiveChunk();
        if (onReply) {
            onReply(chunk);
        }
    }
}

void SocketLayer::selectNotification(SocketNotification kind) {
    api_.selectNotification(kind);
}

void SocketLayer::beginAcknowledgement() {
    selectNotification(SocketNotification::Read);
    socketPhase_ = "4";
}

std::string SocketLayer::openConnection(const std::string& host, int16_t port,
                                        const std::optional<TlsRequest>& tls) {
    const uint64_t generation = ++connectionGeneration_;
    api_.startup();
    if (!api_.createSocket()) {
        return kSocketCreationFailed;
    }
    selectNotification(SocketNotification::Connect);
    if (tls && !api_.startTls(*tls)) {
        return kNoTls;
    }
    if (const auto literal = IpAddress::fromLiteral(host)) {
        const int error = connectTo({*literal}, port);
        // A notification handled in these pumps may end the connection (a refusal that the
        // first receive finds) and report that itself: then there is nothing left to set up,
        // and the closed socket's own error would be a second, wrong report.
        loop_.processPendingEvents();
        if (connectionGeneration_ != generation) {
            return "";
        }
        if (error != 0) {
            return failureText(error);
        }
        loop_.processPendingEvents();
        if (connectionGeneration_ != generation) {
            return "";
        }
        if (api_.setNonBlocking() == -1) {
            return failureText(api_.lastError());
        }
        return "";
    }
    // A lookup can take long (a name server that does not answer): the GUI thread never
    // waits for it. Until the answer comes the connection is under way.
    socketPhase_ = "1";
    api_.resolve(host, [this, generation, port](HostAddresses found) {
        // Closed or replaced meanwhile (the time-up, a new check): the answer is not wanted.
        if (connectionGeneration_ != generation) {
            return;
        }
        int error = found.error;
        if (error == 0) {
            error = connectTo(found.addresses, port);
        }
        if (error == 0 && api_.setNonBlocking() == -1) {
            error = api_.lastError();
        }
        if (error != 0) {
            failConnection(error);
        }
    });
    return "";
}

int SocketLayer::connectTo(const std::vector<IpAddress>& addresses, int16_t port) {
    int result = api_.connect(addresses, static_cast<uint16_t>(port));
    // Taken now, before a pump lets other socket calls run.
    int error = result == -1 ? api_.lastError() : 0;
    socketPhase_ = "1";
    return error == winsock::kWouldBlock ? 0 : error;
}

void SocketLayer::failConnection(int code) {
    ReceivedChunk failure{{}, code, failureText(code)};
    if (restartTimeup) {
        restartTimeup();
    }
    selectNotification(SocketNotification::Read);
    socketPhase_ = "3";
    if (onReply) {
        onReply(failure);
    }
}

bool SocketLayer::startTls(const TlsRequest& tls) {
    return api_.hasSocket() && api_.startTls(tls);
}

std::string SocketLayer::failureText(int code) const {
    std::string text = api_.lastErrorText();
    return text.empty() ? socketErrorText(code) : text;
}

void SocketLayer::sendLine(const std::string& line) {
    // Never anything on a closed connection: the time-up may send "QUIT" after the server
    // has already closed it.
    if (!api_.hasSocket()) {
        socketPhase_ = "0";
        return;
    }
    std::string bytes = cp932::fromUtf8Lossy(line);
    if (sending_ && sendingGeneration_ == connectionGeneration_) {
        // A line sent from a handler that runs while an earlier line waits for room: it goes
        // out after that line, not into the middle of it.
        outgoing_ += bytes;
        return;
    }
    // Otherwise this call sends. A send further out that is still waiting belongs to a
    // connection that is gone by now; it stops when it resumes.
    std::string outerOutgoing = std::exchange(outgoing_, std::move(bytes));
    const uint64_t outerGeneration = std::exchange(sendingGeneration_, connectionGeneration_);
    const bool outerSending = std::exchange(sending_, true);

    const uint64_t generation = connectionGeneration_;
    auto sameConnection = [&] { return connectionGeneration_ == generation && api_.hasSocket(); };
    std::string error;
    bool closedHere = false;
    while (!outgoing_.empty() && sameConnection()) {
        selectNotification(SocketNotification::Write);
        socketPhase_ = "4";
        long sent = api_.send(outgoing_.data(), outgoing_.size());
        int code = sent < 0 ? api_.lastError() : 0;
        if (sent > 0) {
            outgoing_.erase(0, static_cast<std::size_t>(sent));
        }
        // The write notification is normally handled here: read is selected again, phase "3".
        loop_.processPendingEvents();
        if (sent < 0 && code != winsock::kWouldBlock) {
            error = failureText(code);
            // A connection opened meanwhile by another session is not ours to close.
            if (sameConnection()) {
                closeConnection();
                closedHere = true;
            }
            break;
        }
        if (sent <= 0 && !outgoing_.empty() && sameConnection()) {
            // No room: sleep until the write notification says there is some again.
            loop_.runUntil([&] { return socketPhase_ != "4" || !sameConnection(); });
        }
    }

    outgoing_ = std::move(outerOutgoing);
    sendingGeneration_ = outerGeneration;
    sending_ = outerSending;
    if (!error.empty()) {
        if (onError) {
            onError(error);
        }
        if (closedHere) {
            socketPhase_ = "0";
        }
    }
}

ReceivedChunk SocketLayer::receiveChunk() {
    const uint64_t generation = connectionGeneration_;
    loop_.processPendingEvents();
    // A connection closed or replaced inside the pump: the notification was about it, and
    // there is nothing to read from it any more.
    if (connectionGeneration_ != generation || !api_.hasSocket()) {
        return {};
    }
    char buffer[kReceiveBufferSize];
    long received = api_.receive(buffer, sizeof buffer);
    if (received > 0) {
        // Raw bytes: the mail is decoded later, from its own charset.
        return {std::string(buffer, static_cast<std::size_t>(received)), 0, {}};
    }
    if (received < 0) {
        int code = api_.lastError();
        // Would-block means the notification found nothing after all: no failure.
        if (code > 0 && code != winsock::kWouldBlock) {
            return {std::string(), code, api_.lastErrorText()};
        }
    }
    return {};
}

void SocketLayer::closeConnection() {
    ++connectionGeneration_;
    api_.closeSocket();
    api_.cleanup();
}

}  // namespace velkora
