#include "tests/support/TestCertificates.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <stdlib.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "common/CertificatePin.h"

namespace velkora::test {

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        throw std::runtime_error(std::string("making a test certificate failed: ") + what);
    }
}

EVP_PKEY* newKey() {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    check(key != nullptr, "key");
    return key;
}

std::string pemOf(X509* certificate) {
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(bio, certificate);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    std::string pem(data, static_cast<std::size_t>(size));
    BIO_free(bio);
    return pem;
}

std::string pemOf(EVP_PKEY* key) {
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    std::string pem(data, static_cast<std::size_t>(size));
    BIO_free(bio);
    return pem;
}

std::string fingerprintOf(X509* certificate) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    X509_digest(certificate, EVP_sha256(), digest, &size);
    return fingerprintText(digest, size);
}

void addExtension(X509* certificate, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    check(extension != nullptr, "extension");
    X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
}

// A certificate for the key, signed by signer (itself when issuer is null).
X509* makeCertificate(EVP_PKEY* key, const std::string& commonName,
                      const CertificateProfile& profile, X509* issuer, EVP_PKEY* signer,
                      bool authority) {
    static std::atomic<long> serial{1000};
    X509* certificate = X509_new();
    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), serial++);
    X509_gmtime_adj(X509_getm_notBefore(certificate),
                    static_cast<long>(profile.validFromDays) * 86400);
    X509_gmtime_adj(X509_getm_notAfter(certificate),
                    static_cast<long>(profile.validToDays) * 86400);
    X509_set_pubkey(certificate, key);
    X509_NAME* name = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1,
                               0);
    X509_set_issuer_name(certificate, issuer ? X509_get_subject_name(issuer) : name);
    X509* issuing = issuer ? issuer : certificate;
    if (authority) {
        addExtension(certificate, issuing, NID_basic_constraints, "critical,CA:TRUE");
        addExtension(certificate, issuing, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        addExtension(certificate, issuing, NID_basic_constraints, "critical,CA:FALSE");
        addExtension(certificate, issuing, NID_ext_key_usage, "serverAuth");
    }
    addExtension(certificate, issuing, NID_subject_key_identifier, "hash");
    std::string names;
    for (const auto& dns : profile.dnsNames) {
        names += (names.empty() ? "DNS:" : ",DNS:") + dns;
    }
    for (const auto& ip : profile.ipAddresses) {
        names += (names.empty() ? "IP:" : ",IP:") + ip;
    }
    if (!names.empty()) {
        addExtension(certificate, issuing, NID_subject_alt_name, names);
    }
    check(X509_sign(certificate, signer, EVP_sha256()) > 0, "signature");
    return certificate;
}

std::string firstName(const CertificateProfile& profile) {
    if (!profile.dnsNames.empty()) {
        return profile.dnsNames.front();
    }
    return profile.ipAddresses.empty() ? "server" : profile.ipAddresses.front();
}

}  // namespace

struct TestCa::Key {
    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;
    ~Key() {
        X509_free(certificate);
        EVP_PKEY_free(key);
    }
};

TestCa::TestCa(const std::string& name) : key_(std::make_unique<Key>()) {
    key_->key = newKey();
    CertificateProfile profile;
    profile.validFromDays = -2;
    profile.validToDays = 365;
    key_->certificate = makeCertificate(key_->key, name, profile, nullptr, key_->key, true);
    certificatePem_ = pemOf(key_->certificate);
}

TestCa::~TestCa() = default;

TestCertificate TestCa::issue(const CertificateProfile& profile) const {
    EVP_PKEY* key = newKey();
    X509* certificate =
        makeCertificate(key, firstName(profile), profile, key_->certificate, key_->key, false);
    TestCertificate out{pemOf(certificate), pemOf(key), fingerprintOf(certificate)};
    X509_free(certificate);
    EVP_PKEY_free(key);
    return out;
}

TestCertificate selfSignedCertificate(const CertificateProfile& profile) {
    EVP_PKEY* key = newKey();
    X509* certificate = makeCertificate(key, firstName(profile), profile, nullptr, key, false);
    TestCertificate out{pemOf(certificate), pemOf(key), fingerprintOf(certificate)};
    X509_free(certificate);
    EVP_PKEY_free(key);
    return out;
}

void writeTextFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

TrustStore::TrustStore(const std::vector<std::string>& certificatePems) {
    std::string pattern = (std::filesystem::temp_directory_path() / "velkora-trust-XXXXXX");
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp");
    }
    folder_ = pattern;
    std::filesystem::create_directory(folder_ + "/certs");
    file_ = folder_ + "/ca.pem";
    std::string all;
    for (const auto& pem : certificatePems) {
        all += pem;
    }
    writeTextFile(file_, all);
    if (const char* old = getenv("SSL_CERT_FILE")) {
        hadFile_ = true;
        oldFile_ = old;
    }
    if (const char* old = getenv("SSL_CERT_DIR")) {
        hadDir_ = true;
        oldDir_ = old;
    }
    setenv("SSL_CERT_FILE", file_.c_str(), 1);
    setenv("SSL_CERT_DIR", (folder_ + "/certs").c_str(), 1);
}

TrustStore::~TrustStore() {
    if (hadFile_) {
        setenv("SSL_CERT_FILE", oldFile_.c_str(), 1);
    } else {
        unsetenv("SSL_CERT_FILE");
    }
    if (hadDir_) {
        setenv("SSL_CERT_DIR", oldDir_.c_str(), 1);
    } else {
        unsetenv("SSL_CERT_DIR");
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

}  // namespace velkora::test
