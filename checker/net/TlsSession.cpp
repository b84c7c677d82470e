#include "checker/net/TlsSession.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <climits>

#include "common/CertificatePin.h"

namespace velkora {

namespace {

constexpr const char* kFingerprintLine = "\nSHA-256 指紋: ";
constexpr const char* kPinHint =
    "\n信頼できるサーバーなら、この指紋をアカウントの「証明書の指紋」に登録してね";

// Why the chain or the name did not pass, in the program's words.
std::string verificationText(long result, const std::string& host) {
    switch (result) {
        case X509_V_ERR_CERT_HAS_EXPIRED:
            return "サーバーの証明書の有効期限が切れてるよ";
        case X509_V_ERR_CERT_NOT_YET_VALID:
            return "サーバーの証明書はまだ有効期間になってないよ";
        case X509_V_ERR_HOSTNAME_MISMATCH:
        case X509_V_ERR_IP_ADDRESS_MISMATCH:
            return "サーバーの証明書は「" + host + "」のものじゃないよ";
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
            return "サーバーの証明書は自己署名だから信頼できないよ";
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
        case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        case X509_V_ERR_CERT_UNTRUSTED:
            return "サーバーの証明書の発行元が信頼できないよ";
        default:
            return std::string("サーバーの証明書を確認できなかったよ (") +
                   X509_verify_cert_error_string(result) + ")";
    }
}

std::string sha256Fingerprint(X509* certificate) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (X509_digest(certificate, EVP_sha256(), digest, &size) != 1) {
        return "?";
    }
    return fingerprintText(digest, size);
}

int clampedSize(std::size_t size) {
    return size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
}

}  // namespace

struct TlsSession::Handles {
    SSL_CTX* context = nullptr;
    SSL* ssl = nullptr;
    BIO* in = nullptr;   // owned by ssl
    BIO* out = nullptr;  // owned by ssl

    ~Handles() {
        SSL_free(ssl);
        SSL_CTX_free(context);
    }
};

TlsSession::TlsSession(const TlsRequest& request) : request_(request) {
    ERR_clear_error();
    auto handles = std::make_unique<Handles>();
    // A context per connection: it reads the trust store as it is now, so a system update
    // or SSL_CERT_FILE takes effect at the next check.
    handles->context = SSL_CTX_new(TLS_client_method());
    if (handles->context == nullptr) {
        noteFailure();
        return;
    }
    SSL_CTX_set_min_proto_version(handles->context, TLS1_2_VERSION);
    SSL_CTX_set_default_verify_paths(handles->context);
    // The chain and the name are verified during the handshake all the same; the verdict is
    // given afterwards, so that it can name the reason and show the fingerprint, and so that
    // a pinned certificate can be accepted. Not a byte of the conversation goes out before.
    SSL_CTX_set_verify(handles->context, SSL_VERIFY_NONE, nullptr);
    handles->ssl = SSL_new(handles->context);
    handles->in = BIO_new(BIO_s_mem());
    handles->out = BIO_new(BIO_s_mem());
    if (handles->ssl == nullptr || handles->in == nullptr || handles->out == nullptr) {
        BIO_free(handles->in);
        BIO_free(handles->out);
        noteFailure();
        return;
    }
    SSL_set_bio(handles->ssl, handles->in, handles->out);
    X509_VERIFY_PARAM* param = SSL_get0_param(handles->ssl);
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    bool named = false;
    if (const auto literal = IpAddress::fromLiteral(request.host)) {
        named = X509_VERIFY_PARAM_set1_ip_asc(param, literal->text().c_str()) == 1;
    } else {
        std::string host = request.host;
        if (!host.empty() && host.back() == '.') {
            host.pop_back();  // the root's dot is no part of the name a certificate holds
        }
        named = SSL_set1_host(handles->ssl, host.c_str()) == 1 &&
                SSL_set_tlsext_host_name(handles->ssl, host.c_str()) == 1;
    }
    if (!named) {
        failureReason_ = "host name " + request.host;
        return;
    }
    SSL_set_connect_state(handles->ssl);
    handles_ = std::move(handles);
}

TlsSession::~TlsSession() = default;

bool TlsSession::ready() const {
    return handles_ != nullptr;
}

void TlsSession::noteFailure() {
    const unsigned long error = ERR_peek_last_error();
    if (error != 0) {
        char text[256];
        ERR_error_string_n(error, text, sizeof text);
        const char* reason = ERR_reason_error_string(error);
        failureReason_ = reason != nullptr ? reason : text;
    } else if (failureReason_.empty()) {
        failureReason_ = "unknown";
    }
    ERR_clear_error();
}

TlsSession::Result TlsSession::handshake() {
    ERR_clear_error();
    const int rc = SSL_do_handshake(handles_->ssl);
    if (rc == 1) {
        return Result::Done;
    }
    const int error = SSL_get_error(handles_->ssl, rc);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
        return Result::WantRead;
    }
    noteFailure();
    return Result::Failed;
}

TlsSession::Result TlsSession::write(const char* data, std::size_t size) {
    ERR_clear_error();
    std::size_t done = 0;
    while (done < size) {
        // The memory below takes everything: one call writes all but for sizes past int.
        const int rc = SSL_write(handles_->ssl, data + done, clampedSize(size - done));
        if (rc <= 0) {
            noteFailure();
            return Result::Failed;
        }
        done += static_cast<std::size_t>(rc);
    }
    return Result::Done;
}

TlsSession::Result TlsSession::read(char* buffer, std::size_t size, std::size_t* got) {
    ERR_clear_error();
    const int rc = SSL_read(handles_->ssl, buffer, clampedSize(size));
    if (rc > 0) {
        *got = static_cast<std::size_t>(rc);
        return Result::Done;
    }
    const int error = SSL_get_error(handles_->ssl, rc);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
        return Result::WantRead;
    }
    if (error == SSL_ERROR_ZERO_RETURN) {
        return Result::Closed;
    }
    noteFailure();
    return Result::Failed;
}

void TlsSession::putRecords(const char* data, std::size_t size) {
    BIO_write(handles_->in, data, clampedSize(size));
}

std::string TlsSession::takeRecords() {
    std::string records;
    char buffer[16384];
    int n;
    while ((n = BIO_read(handles_->out, buffer, sizeof buffer)) > 0) {
        records.append(buffer, static_cast<std::size_t>(n));
    }
    return records;
}

bool TlsSession::holdsUnread() const {
    return SSL_pending(handles_->ssl) > 0 || BIO_ctrl_pending(handles_->in) > 0;
}

void TlsSession::shutdown() {
    ERR_clear_error();
    SSL_shutdown(handles_->ssl);
    ERR_clear_error();
}

std::string TlsSession::verdict() const {
    X509* certificate = SSL_get1_peer_certificate(handles_->ssl);
    if (certificate == nullptr) {
        return "サーバーが証明書を出さなかったよ";
    }
    const std::string fingerprint = sha256Fingerprint(certificate);
    X509_free(certificate);
    if (!request_.pinnedFingerprint.empty()) {
        // A pinned certificate is trusted as it is (a home server's own); any other is not.
        if (normalizeFingerprint(request_.pinnedFingerprint) == fingerprint) {
            return "";
        }
        return "サーバーの証明書が登録した指紋と違うよ" + std::string(kFingerprintLine) +
               fingerprint;
    }
    const long result = SSL_get_verify_result(handles_->ssl);
    if (result == X509_V_OK) {
        return "";
    }
    return verificationText(result, request_.host) + kFingerprintLine + fingerprint + kPinHint;
}

std::string TlsSession::failureReason() const {
    return failureReason_;
}

}  // namespace velkora
