#include "tests/support/FakeTlsServer.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>

#include <stdexcept>

namespace velkora::test {

struct FakeTlsServer::Handles {
    SSL_CTX* context = nullptr;
    SSL* ssl = nullptr;
    BIO* in = nullptr;
    BIO* out = nullptr;
    ~Handles() {
        SSL_free(ssl);
        SSL_CTX_free(context);
    }
};

namespace {

template <class T, class Read>
T* fromPem(const std::string& pem, Read read) {
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    T* value = read(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    if (value == nullptr) {
        throw std::runtime_error("bad PEM for the fake TLS server");
    }
    return value;
}

}  // namespace

FakeTlsServer::FakeTlsServer(const TestCertificate& certificate)
    : handles_(std::make_unique<Handles>()) {
    handles_->context = SSL_CTX_new(TLS_server_method());
    X509* cert = fromPem<X509>(certificate.certificatePem, PEM_read_bio_X509);
    EVP_PKEY* key = fromPem<EVP_PKEY>(certificate.keyPem, PEM_read_bio_PrivateKey);
    SSL_CTX_use_certificate(handles_->context, cert);
    SSL_CTX_use_PrivateKey(handles_->context, key);
    X509_free(cert);
    EVP_PKEY_free(key);
    handles_->ssl = SSL_new(handles_->context);
    handles_->in = BIO_new(BIO_s_mem());
    handles_->out = BIO_new(BIO_s_mem());
    SSL_set_bio(handles_->ssl, handles_->in, handles_->out);
    SSL_set_accept_state(handles_->ssl);
}

FakeTlsServer::~FakeTlsServer() = default;

std::string FakeTlsServer::receive(const std::string& records) {
    BIO_write(handles_->in, records.data(), static_cast<int>(records.size()));
    if (ended_) {
        return {};
    }
    if (!done_) {
        const int rc = SSL_do_handshake(handles_->ssl);
        if (rc == 1) {
            done_ = true;
        } else {
            const int error = SSL_get_error(handles_->ssl, rc);
            if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
                ended_ = true;
            }
            ERR_clear_error();
            return {};
        }
    }
    std::string plain;
    char buffer[4096];
    while (true) {
        const int n = SSL_read(handles_->ssl, buffer, sizeof buffer);
        if (n > 0) {
            plain.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        const int error = SSL_get_error(handles_->ssl, n);
        if (error != SSL_ERROR_WANT_READ) {
            ended_ = true;
        }
        break;
    }
    ERR_clear_error();
    return plain;
}

std::string FakeTlsServer::takeRecords() {
    std::string records;
    char buffer[16384];
    int n;
    while ((n = BIO_read(handles_->out, buffer, sizeof buffer)) > 0) {
        records.append(buffer, static_cast<std::size_t>(n));
    }
    return records;
}

std::string FakeTlsServer::encrypt(const std::string& plain) {
    if (!plain.empty()) {
        SSL_write(handles_->ssl, plain.data(), static_cast<int>(plain.size()));
    }
    return takeRecords();
}

}  // namespace velkora::test
