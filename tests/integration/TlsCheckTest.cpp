// Checks over TLS against private Dovecots whose certificates come from a test CA that the
// test makes: TLS from the first byte and STARTTLS, IPv6, a certificate that must be refused
// and the same one pinned.

#include <gtest/gtest.h>

#include <QStringList>
#include <memory>
#include <string>
#include <vector>

#include "tests/integration/CheckTool.h"
#include "tests/support/DovecotServer.h"
#include "tests/support/TestCertificates.h"

namespace velkora::test {
namespace {

const std::string kFingerprintLine = " SHA-256 指紋: ";

class TlsCheckTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ca_ = std::make_unique<TestCa>(); }
    static void TearDownTestSuite() { ca_.reset(); }

    void SetUp() override {
        if (DovecotServer::findBinary().empty()) {
            GTEST_SKIP() << "dovecot is not installed (scripts/setup.sh installs it)";
        }
        expected_ = loadExpectations("mail").at("taro");
    }

    // A Dovecot with the mailbox "taro" and TLS with the certificate (none: plain only).
    std::unique_ptr<DovecotServer> startServer(const TestCertificate* certificate,
                                               bool ipv6 = false) {
        auto server = std::make_unique<DovecotServer>();
        server->addUser("taro", "pw-taro");
        server->copyMaildir("taro", maildirOf("taro", "mail"));
        if (certificate) {
            server->useTls(certificate->certificatePem, certificate->keyPem);
        }
        if (ipv6) {
            server->listenOnIpv6Too();
        }
        std::string error;
        if (!server->start(&error)) {
            ADD_FAILURE() << "the private Dovecot did not start: " << error;
            return nullptr;
        }
        return server;
    }

    static QStringList account(const char* host, uint16_t port, const char* security,
                               const std::string& pin = "") {
        QStringList arguments{"--account", host,      QString::number(port),
                              "taro",      "pw-taro", security};
        if (!pin.empty()) {
            arguments << "--pin" << QString::fromStdString(pin);
        }
        return arguments;
    }

    void expectTaroListed(const ToolRun& run) {
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err, "");
        const auto rows = run.rows();
        ASSERT_EQ(rows.size(), expected_.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            EXPECT_EQ(rows[i].value("subject").toString().toStdString(), expected_[i].subject);
            EXPECT_EQ(rows[i].value("body").toString().toStdString(), expected_[i].body);
        }
    }

    static std::unique_ptr<TestCa> ca_;
    std::vector<ExpectedMail> expected_;
};

std::unique_ptr<TestCa> TlsCheckTest::ca_;

TEST_F(TlsCheckTest, TlsAndStartTlsListTheMailOverIpv4AndIpv6) {
    const bool ipv6 = DovecotServer::ipv6LoopbackAvailable();
    const TestCertificate certificate = ca_->issue(
        {.dnsNames = {"localhost"}, .ipAddresses = {"127.0.0.1", "::1"}, .validToDays = 30});
    TrustStore trust({ca_->certificatePem()});
    const auto server = startServer(&certificate, ipv6);
    ASSERT_TRUE(server);
    CheckTool tool;
    {
        SCOPED_TRACE("TLS");
        expectTaroListed(tool.run(account("127.0.0.1", server->tlsPort(), "--tls")));
    }
    {
        SCOPED_TRACE("STARTTLS");
        expectTaroListed(tool.run(account("127.0.0.1", server->port(), "--starttls")));
    }
    {
        SCOPED_TRACE("a name");
        expectTaroListed(tool.run(account("localhost", server->tlsPort(), "--tls")));
    }
    if (!ipv6) {
        GTEST_SKIP() << "no IPv6 on the loopback interface";
    }
    SCOPED_TRACE("IPv6");
    expectTaroListed(tool.run(account("::1", server->tlsPort(), "--tls")));
    expectTaroListed(tool.run(account("::1", server->port(), "--starttls")));
    // Plain POP3 over IPv6, too.
    const ToolRun plain =
        tool.run({"--account", "::1", QString::number(server->port()), "taro", "pw-taro"});
    expectTaroListed(plain);
}

// Why a certificate is refused is tested on the fake network; here, that a real server's
// refusal reaches the user with its fingerprint, and that the pin lets the same server in.
TEST_F(TlsCheckTest, ASelfSignedCertificateIsRefusedWithItsFingerprintUnlessPinned) {
    TrustStore trust({ca_->certificatePem()});
    const TestCertificate own = selfSignedCertificate({.ipAddresses = {"127.0.0.1"}});
    const auto server = startServer(&own);
    ASSERT_TRUE(server);
    CheckTool tool;
    const std::pair<uint16_t, const char*> ports[] = {{server->tlsPort(), "--tls"},
                                                      {server->port(), "--starttls"}};
    for (const auto& [port, security] : ports) {
        SCOPED_TRACE(security);
        const ToolRun run = tool.run(account("127.0.0.1", port, security));
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.out, "");
        ASSERT_EQ(run.errorLines().size(), 1u) << run.err;
        EXPECT_EQ(run.errorLines()[0].rfind("アカウント1 (127.0.0.1): "
                                            "サーバーの証明書は自己署名だから信頼できないよ" +
                                                kFingerprintLine + own.fingerprint,
                                            0),
                  0u)
            << run.errorLines()[0];
    }
    // No login reached the server.
    EXPECT_EQ(server->logText().find("Login: user=<taro>"), std::string::npos);
    for (const auto& [port, security] : ports) {
        SCOPED_TRACE(security);
        expectTaroListed(tool.run(account("127.0.0.1", port, security, own.fingerprint)));
    }
}

}  // namespace
}  // namespace velkora::test
