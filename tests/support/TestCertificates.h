#pragma once

#include <memory>
#include <string>
#include <vector>

namespace velkora::test {

// A certificate with its private key, as PEM text, and its SHA-256 fingerprint in the form
// the program shows.
struct TestCertificate {
    std::string certificatePem;
    std::string keyPem;
    std::string fingerprint;
};

// What a certificate is made for: the names and addresses it holds (subjectAltName), and its
// validity, in days from now.
struct CertificateProfile {
    std::vector<std::string> dnsNames{};
    std::vector<std::string> ipAddresses{};
    int validFromDays = -1;
    int validToDays = 30;
};

// A certification authority made by the test itself (EC P-256 keys, SHA-256 signatures):
// the certificates it issues chain to it, and trusting its certificate trusts them.
class TestCa {
public:
    explicit TestCa(const std::string& name = "Velkora Test CA");
    ~TestCa();
    TestCa(const TestCa&) = delete;
    TestCa& operator=(const TestCa&) = delete;

    const std::string& certificatePem() const { return certificatePem_; }
    TestCertificate issue(const CertificateProfile& profile) const;

private:
    struct Key;
    std::unique_ptr<Key> key_;
    std::string certificatePem_;
};

// A certificate that signs itself, as a home server's own.
TestCertificate selfSignedCertificate(const CertificateProfile& profile);

// Makes OpenSSL's default trust store, for this process, exactly the given certificates
// (SSL_CERT_FILE, and an empty SSL_CERT_DIR), in a private folder; restores both on
// destruction.
class TrustStore {
public:
    explicit TrustStore(const std::vector<std::string>& certificatePems);
    ~TrustStore();
    TrustStore(const TrustStore&) = delete;
    TrustStore& operator=(const TrustStore&) = delete;

    const std::string& file() const { return file_; }

private:
    std::string folder_;
    std::string file_;
    std::string oldFile_;
    std::string oldDir_;
    bool hadFile_ = false;
    bool hadDir_ = false;
};

// Writes text to a file (a PEM for a server to read).
void writeTextFile(const std::string& path, const std::string& text);

}  // namespace velkora::test
