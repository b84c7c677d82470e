#include "checker/net/TlsSocketApi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "checker/net/Pop3Session.h"
#include "checker/net/SocketLayer.h"
#include "common/AppSettings.h"
#include "tests/support/FakeSocketApi.h"
#include "tests/support/SimulatedEventLoop.h"
#include "tests/support/TestCertificates.h"

namespace velkora {
namespace {

using test::CertificateProfile;
using test::FakePop3Server;
using test::FakeReply;
using test::TestCertificate;
using Strings = std::vector<std::string>;
using Tls = FakePop3Server::Tls;

const std::string kFingerprintLine = "\nSHA-256 指紋: ";
const std::string kPinHint =
    "\n信頼できるサーバーなら、この指紋をアカウントの「証明書の指紋」に登録してね";
const std::string kNoStls = "サーバーがSTARTTLSに対応してないよ (パスワードは送ってないよ)";

std::string message(int n) {
    const std::string k = std::to_string(n);
    return "From: sender" + k + "@example.com\r\nSubject: Message " + k + "\r\n\r\nLine " + k +
           "\r\n";
}

Strings commands(int16_t mode, int messages) {
    Strings out = test::sessionCommands("taro", "secret", test::firstMessages(messages));
    if (mode == Account::kStartTls) {
        out.insert(out.begin() + 1, {"STLS", "CAPA"});
    }
    return out;
}

// One POP3 session over TLS over the fake network, in virtual time, with the test CA as the
// only trusted authority.
struct TlsHarness {
    TlsHarness() {
        session.onMessage = [this](const std::string& reply) { messages.push_back(reply); };
        session.onAccountDone = [this] { ++done; };
        session.onError = [this](const std::string& text) { errors.push_back(text); };
        server.setMailbox({message(1), message(2)});
    }

    void runSession(int16_t mode, const std::string& pin = "",
                    const std::string& host = "pop.example") {
        Account account{.Aname = "Main", .Hname = host, .Uname = "taro", .Passw = "secret"};
        account.Tlsmode = mode;
        account.Tlspin = pin;
        account.Portno = mode == Account::kImplicitTls ? Account::kTlsPort : int16_t{110};
        session.openSession(account);
        loop.runUntil([&] { return done > 0 && api.openSocketCount() == 0; });
    }

    // Nothing of the login went over the wire readable.
    bool loginInTheClear() const {
        return api.rawSent().find("secret") != std::string::npos ||
               api.rawSent().find("USER") != std::string::npos;
    }

    static inline test::TestCa ca{"Velkora Test CA"};
    test::TrustStore trust{{ca.certificatePem()}};
    test::SimulatedEventLoop loop;
    test::FakeSocketApi api{loop};
    FakePop3Server& server = api.addServer("pop.example");
    AppSettings settings;
    TlsSocketApi tls{api, loop};
    SocketLayer layer{tls, loop};
    Pop3Session session{layer, loop, settings};
    Strings messages;
    Strings errors;
    int done = 0;
};

TestCertificate popExampleCertificate() {
    return TlsHarness::ca.issue({.dnsNames = {"pop.example"}, .ipAddresses = {"10.0.0.1"}});
}

TEST(TlsConnections, BothKindsCheckTheMailboxWithNothingOfTheLoginInTheClear) {
    for (const int16_t mode : {Account::kImplicitTls, Account::kStartTls}) {
        // Records whole, and cut into pieces of 7 bytes that arrive one by one.
        for (const std::size_t pieces : {std::size_t{0}, std::size_t{7}}) {
            SCOPED_TRACE("mode " + std::to_string(mode) + ", pieces " + std::to_string(pieces));
            TlsHarness h;
            h.server.useTls(mode == Account::kImplicitTls ? Tls::Implicit : Tls::StartTls,
                            popExampleCertificate(), pieces);
            h.runSession(mode);
            EXPECT_TRUE(h.errors.empty()) << h.errors.front();
            EXPECT_EQ(h.api.sentTexts(), commands(mode, 2));
            ASSERT_EQ(h.messages.size(), 2u);
            EXPECT_EQ(h.messages[1], "+OK\r\n" + message(2));
            EXPECT_FALSE(h.loginInTheClear());
            EXPECT_EQ(h.done, 1);
            if (mode == Account::kStartTls) {
                // Asked for again over TLS, where STLS is no longer offered.
                EXPECT_EQ(h.session.capabilities(), (Strings{"TOP", "USER"}));
            }
        }
    }
    // The address typed as the host is what the certificate must name then.
    TlsHarness h;
    h.server.useTls(Tls::Implicit, popExampleCertificate());
    h.runSession(Account::kImplicitTls, "", "10.0.0.1");
    EXPECT_TRUE(h.errors.empty());
    EXPECT_EQ(h.messages.size(), 2u);
}

TEST(TlsConnections, AServerThatCannotBeTrustedGetsNothingAndTheUserLearnsWhy) {
    test::TestCa stranger("Unknown CA");
    struct Case {
        const char* name;
        TestCertificate certificate;
        std::string reason;
        std::string host = "pop.example";
    };
    const std::vector<Case> cases = {
        {"expired",
         TlsHarness::ca.issue(
             {.dnsNames = {"pop.example"}, .validFromDays = -60, .validToDays = -1}),
         "サーバーの証明書の有効期限が切れてるよ"},
        {"not yet valid",
         TlsHarness::ca.issue({.dnsNames = {"pop.example"}, .validFromDays = 2, .validToDays = 60}),
         "サーバーの証明書はまだ有効期間になってないよ"},
        {"another host", TlsHarness::ca.issue({.dnsNames = {"mail.example"}}),
         "サーバーの証明書は「pop.example」のものじゃないよ"},
        {"another address", popExampleCertificate(),
         "サーバーの証明書は「10.0.0.9」のものじゃないよ", "10.0.0.9"},
        {"unknown issuer", stranger.issue({.dnsNames = {"pop.example"}}),
         "サーバーの証明書の発行元が信頼できないよ"},
        {"self-signed", test::selfSignedCertificate({.dnsNames = {"pop.example"}}),
         "サーバーの証明書は自己署名だから信頼できないよ"},
    };
    for (const int16_t mode : {Account::kImplicitTls, Account::kStartTls}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + ", mode " + std::to_string(mode));
            TlsHarness h;
            if (c.host != "pop.example") {
                h.server.setAddresses({*IpAddress::fromLiteral(c.host)});
            }
            h.server.useTls(mode == Account::kImplicitTls ? Tls::Implicit : Tls::StartTls,
                            c.certificate);
            h.runSession(mode, "", c.host);
            EXPECT_EQ(h.errors,
                      Strings{c.reason + kFingerprintLine + c.certificate.fingerprint + kPinHint});
            EXPECT_EQ(h.api.sentTexts(),
                      mode == Account::kStartTls ? (Strings{"CAPA", "STLS"}) : Strings{});
            EXPECT_FALSE(h.loginInTheClear());
            EXPECT_TRUE(h.messages.empty());
            EXPECT_EQ(h.done, 1);  // at once, not at the time-up
        }
    }
    // A plain server where TLS is expected.
    TlsHarness h;
    h.runSession(Account::kImplicitTls);
    ASSERT_EQ(h.errors.size(), 1u);
    EXPECT_EQ(h.errors[0].rfind("TLSで接続できなかったよ (", 0), 0u) << h.errors[0];
    EXPECT_FALSE(h.loginInTheClear());
}

TEST(TlsConnections, APinnedCertificateIsAcceptedAndEveryOtherRefused) {
    const TestCertificate own = test::selfSignedCertificate({.dnsNames = {"nas.home"}});
    std::string typed = own.fingerprint;  // as a person may type it: lower case, no colons
    typed.erase(std::remove(typed.begin(), typed.end(), ':'), typed.end());
    std::transform(typed.begin(), typed.end(), typed.begin(), ::tolower);
    for (const std::string& pin : {own.fingerprint, typed}) {
        TlsHarness h;
        h.server.useTls(Tls::Implicit, own);
        h.runSession(Account::kImplicitTls, pin);
        EXPECT_TRUE(h.errors.empty());
        EXPECT_EQ(h.messages.size(), 2u);
    }
    // Pinned is pinned: a certificate the system would trust is refused all the same.
    TlsHarness h;
    const TestCertificate valid = popExampleCertificate();
    h.server.useTls(Tls::StartTls, valid);
    h.runSession(Account::kStartTls, own.fingerprint);
    EXPECT_EQ(h.errors, Strings{"サーバーの証明書が登録した指紋と違うよ" + kFingerprintLine +
                                valid.fingerprint});
    EXPECT_FALSE(h.loginInTheClear());
}

TEST(TlsConnections, AServerWithoutStlsEndsTheAccountBeforeThePassword) {
    struct Case {
        const char* name;
        std::optional<FakeReply> capa;  // none: the server has no CAPA ("-ERR")
        Strings sent;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"CAPA without STLS",
         FakeReply::raw("+OK\r\nUSER\r\nTOP\r\n.\r\n"),
         {"CAPA", "QUIT"},
         kNoStls},
        {"no CAPA, STLS refused",
         std::nullopt,
         {"CAPA", "STLS", "QUIT"},
         kNoStls + "\nunknown command"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TlsHarness h;
        if (c.capa) {
            h.server.on("CAPA", *c.capa);
        }
        h.runSession(Account::kStartTls);
        EXPECT_EQ(h.api.sentTexts(), c.sent);
        EXPECT_EQ(h.errors, Strings{c.error});
        EXPECT_EQ(h.api.rawSent().find("secret"), std::string::npos);
        EXPECT_EQ(h.done, 1);
    }
}

}  // namespace
}  // namespace velkora
