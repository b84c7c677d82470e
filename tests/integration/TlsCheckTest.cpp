// Checks over TLS against private Dovecots whose certificates come from a test CA that the
// test makes: TLS from the first byte and STARTTLS, IPv6, certificates that must be refused,
// a pinned one, and a server without STLS that must never see the password.

#include <gtest/gtest.h>

#include <QStringList>
#include <memory>
#include <string>
#include <vector>

#include "checker/net/PosixSocketApi.h"
#include "common/qt/QtEventLoop.h"
#include "tests/integration/CheckTool.h"
#include "tests/support/CheckerRig.h"
#include "tests/support/DovecotServer.h"
#include "tests/support/TestCertificates.h"

namespace velkora::test {
namespace {

const std::string kFingerprintLine = " SHA-256 指紋: ";

// The real sockets, with every byte the checker sends kept: the wire as a listener sees it.
class WireRecordingApi final : public SocketApi {
public:
    explicit WireRecordingApi(EventLoop& loop) : api_(loop) {}
    void setNotificationSink(std::function<void()> sink) override {
        api_.setNotificationSink(std::move(sink));
    }
    void startup() override {}
    void cleanup() override {}
    bool createSocket() override { return api_.createSocket(); }
    bool hasSocket() const override { return api_.hasSocket(); }
    void selectNotification(SocketNotification kind) override { api_.selectNotification(kind); }
    int connect(const std::vector<IpAddress>& addresses, uint16_t port) override {
        return api_.connect(addresses, port);
    }
    int setNonBlocking() override { return api_.setNonBlocking(); }
    long send(const char* data, std::size_t size) override {
        const long sent = api_.send(data, size);
        wire.append(data, sent > 0 ? static_cast<std::size_t>(sent) : 0);
        return sent;
    }
    long receive(char* buffer, std::size_t size) override { return api_.receive(buffer, size); }
    void closeSocket() override { api_.closeSocket(); }
    int lastError() const override { return api_.lastError(); }
    void resolve(const std::string& host, std::function<void(HostAddresses)> done) override {
        api_.resolve(host, std::move(done));
    }

    std::string wire;

private:
    PosixSocketApi api_;
};

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

TEST_F(TlsCheckTest, CertificatesThatCannotBeTrustedAreRefusedWithTheirReasonAndFingerprint) {
    TrustStore trust({ca_->certificatePem()});
    struct Case {
        const char* name;
        TestCertificate certificate;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"expired",
         ca_->issue({.ipAddresses = {"127.0.0.1"}, .validFromDays = -90, .validToDays = -2}),
         "サーバーの証明書の有効期限が切れてるよ"},
        {"another host", ca_->issue({.dnsNames = {"mail.example"}}),
         "サーバーの証明書は「127.0.0.1」のものじゃないよ"},
        {"self-signed", selfSignedCertificate({.ipAddresses = {"127.0.0.1"}}),
         "サーバーの証明書は自己署名だから信頼できないよ"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto server = startServer(&c.certificate);
        ASSERT_TRUE(server);
        CheckTool tool;
        for (const auto& [port, security] :
             {std::pair{server->tlsPort(), "--tls"}, std::pair{server->port(), "--starttls"}}) {
            const ToolRun run = tool.run(account("127.0.0.1", port, security));
            EXPECT_EQ(run.exitCode, 1);
            EXPECT_EQ(run.out, "");
            ASSERT_EQ(run.errorLines().size(), 1u) << run.err;
            const std::string line = run.errorLines()[0];
            EXPECT_EQ(line.rfind("アカウント1 (127.0.0.1): " + c.reason + kFingerprintLine +
                                     c.certificate.fingerprint,
                                 0),
                      0u)
                << line;
        }
        // No login reached the server.
        EXPECT_EQ(server->logText().find("Login: user=<taro>"), std::string::npos);
        if (std::string(c.name) == "self-signed") {
            // A home server's own certificate, pinned: accepted, on both ports.
            expectTaroListed(tool.run(
                account("127.0.0.1", server->tlsPort(), "--tls", c.certificate.fingerprint)));
            expectTaroListed(tool.run(
                account("127.0.0.1", server->port(), "--starttls", c.certificate.fingerprint)));
        }
    }
}

TEST_F(TlsCheckTest, AServerWithoutStlsNeverSeesThePassword) {
    const auto server = startServer(nullptr);
    ASSERT_TRUE(server);
    CheckerRig<QtEventLoop, WireRecordingApi> rig;
    rig.addAccount({.Aname = "太郎",
                    .Hname = "127.0.0.1",
                    .Portno = static_cast<int16_t>(server->port()),
                    .Uname = "taro",
                    .Passw = "pw-taro",
                    .Tlsmode = Account::kStartTls});
    rig.checker.loadSettings();
    rig.checker.mailCheck();
    bool overTime = false;
    auto limit = rig.loop.createTimer();
    limit->setHandler([&] { overTime = true; });
    limit->setInterval(15000);
    limit->setEnabled(true);
    rig.loop.runUntil([&] { return !rig.state().checkInProgress || overTime; });
    ASSERT_FALSE(overTime);
    // The transcript: the capabilities were asked for, and the conversation ended.
    EXPECT_EQ(rig.api.wire, "CAPA\r\nQUIT\r\n");
    EXPECT_EQ(
        rig.boxes.texts(),
        std::vector<std::string>{"サーバーがSTARTTLSに対応してないよ (パスワードは送ってないよ)"});
    EXPECT_TRUE(rig.rows().empty());
}

}  // namespace
}  // namespace velkora::test
