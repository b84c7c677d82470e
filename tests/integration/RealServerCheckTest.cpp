// The mail check against a real POP3 server (a private Dovecot on 127.0.0.1), with mail that
// Python's email package encoded: in the checker as the programs build it, and through the
// check tool.

#include <unistd.h>

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "checker/net/PosixSocketApi.h"
#include "common/Accounts.h"
#include "common/IniSettingsStore.h"
#include "common/qt/QtEventLoop.h"
#include "tests/integration/CheckTool.h"
#include "tests/support/CheckerRig.h"
#include "tests/support/DovecotServer.h"
#include "tests/support/LoopbackListener.h"

namespace velkora::test {
namespace {

constexpr int32_t kTaroText = 0x000000;
constexpr int32_t kTaroBack = 0xFFFF80;
constexpr int32_t kHanakoText = 0x0000C0;
constexpr int32_t kHanakoBack = 0xE0FFE0;
// Quotes, a backslash and control characters, which JSON must escape.
const std::string kControlMessage =
    "From: \"Back\\slash\" <q@example.com>\r\nSubject: bell\x07 del\x7f end\r\n\r\n"
    "line #1\x01\r\n";

// The checker on the Qt event loop with real sockets.
struct RealRig : CheckerRig<QtEventLoop, PosixSocketApi> {
    void addAccount(const std::string& name, uint16_t port, const std::string& user,
                    const std::string& password, int32_t text = 0, int32_t back = 0,
                    int16_t check = 1) {
        CheckerRig::addAccount({.Aname = name,
                                .Hname = "127.0.0.1",
                                .Portno = static_cast<int16_t>(port),
                                .Uname = user,
                                .Passw = password,
                                .Check = check,
                                .Scolor1 = text,
                                .Scolor2 = back});
    }
    // A check by hand, run to its end; false when it was still running after 15 seconds.
    bool runCheck() {
        bool overTime = false;
        auto limit = loop.createTimer();
        limit->setHandler([&] { overTime = true; });
        limit->setInterval(15000);
        limit->setEnabled(true);
        checker.loadSettings();
        checker.mailCheck();
        loop.runUntil([&] { return !state().checkInProgress || overTime; });
        return !state().checkInProgress;
    }
};

class RealServerCheckTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (DovecotServer::findBinary().empty()) {
            return;  // every test skips itself
        }
        server_ = std::make_unique<DovecotServer>();
        for (const char* box : {"taro", "hanako", "nosubject"}) {
            server_->addUser(box, std::string("pw-") + box);
            server_->copyMaildir(box, maildirOf(box, "mail"));
        }
        server_->addUser("jiro", "pw-jiro");  // an empty maildrop
        server_->addUser("ctrl", "pw-ctrl");
        server_->addMessage("ctrl", "1709500001.M1P100.velkora:2,S", kControlMessage);
        if (!server_->start(&startError_)) {
            server_.reset();
        }
    }

    static void TearDownTestSuite() { server_.reset(); }

    void SetUp() override {
        if (DovecotServer::findBinary().empty()) {
            GTEST_SKIP() << "dovecot is not installed (packages dovecot-core, dovecot-pop3d; "
                            "scripts/setup.sh installs them)";
        }
        ASSERT_TRUE(server_) << "the private Dovecot did not start: " << startError_;
        expected_ = loadExpectations("mail");
    }

    uint16_t port() const { return server_->port(); }

    // Compares listed rows with the expectations of a mailbox, in order.
    static void expectRows(const std::vector<MailRow>& rows, std::size_t first,
                           const std::vector<ExpectedMail>& mails, const std::string& account,
                           int32_t text, int32_t back) {
        ASSERT_GE(rows.size(), first + mails.size());
        for (std::size_t i = 0; i < mails.size(); ++i) {
            const MailRow& row = rows[first + i];
            SCOPED_TRACE(mails[i].description);
            EXPECT_EQ(row.cells[MailList::kSenderColumn], mails[i].sender);
            EXPECT_EQ(row.cells[MailList::kSubjectColumn], mails[i].subject);
            EXPECT_EQ(row.cells[MailList::kAccountColumn], account);
            EXPECT_EQ(row.cells[MailList::kBodyColumn], mails[i].body);
            EXPECT_EQ(row.colours, (AccountColours{text, back}));
        }
    }

    static std::unique_ptr<DovecotServer> server_;
    static std::string startError_;
    std::map<std::string, std::vector<ExpectedMail>> expected_;
};

std::unique_ptr<DovecotServer> RealServerCheckTest::server_;
std::string RealServerCheckTest::startError_;

TEST_F(RealServerCheckTest, ListsEveryCheckedAccountsMailDecodedInFetchOrderAndOnlyReads) {
    RealRig rig;
    rig.addAccount("太郎", port(), "taro", "pw-taro", kTaroText, kTaroBack);
    rig.addAccount("次郎", port(), "jiro", "pw-jiro");
    // Not checked: its server (no listener at all) must never be tried.
    rig.addAccount("休止", 1, "x", "y", 0, 0, 0);
    // Its only message has no Subject header: the reply is complete with its closing line.
    rig.addAccount("件名なし", port(), "nosubject", "pw-nosubject");
    rig.addAccount("花子", port(), "hanako", "pw-hanako", kHanakoText, kHanakoBack);
    const auto& taro = expected_.at("taro");
    const auto& nosubject = expected_.at("nosubject");
    const auto& hanako = expected_.at("hanako");

    for (int check = 1; check <= 2; ++check) {
        SCOPED_TRACE("check " + std::to_string(check));
        ASSERT_TRUE(rig.runCheck()) << "the check did not end";
        ASSERT_EQ(rig.checker.settings().Talkcnt, 10);  // the lines the expectations hold
        // The second check's list replaces the first one's: nothing was taken off the server.
        const auto rows = rig.rows();
        ASSERT_EQ(rows.size(), taro.size() + nosubject.size() + hanako.size());
        expectRows(rows, 0, taro, "1", kTaroText, kTaroBack);
        expectRows(rows, taro.size(), nosubject, "4", 0, 0);
        EXPECT_EQ(rows[taro.size()].cells[MailList::kSubjectColumn], "");
        expectRows(rows, taro.size() + nosubject.size(), hanako, "5", kHanakoText, kHanakoBack);
        EXPECT_EQ(rig.state().totalMessages, static_cast<int16_t>(rows.size()));
        EXPECT_TRUE(rig.boxes.boxes.empty()) << rig.boxes.boxes.front().text;
        EXPECT_EQ(rig.tray.image, TrayImage::NewMail);
        EXPECT_TRUE(rig.menus.isEnabled(MenuItem::menu0));
        EXPECT_FALSE(rig.api.hasSocket()) << "the last connection was left open";
    }
    // Every message file is still there, and the server saw proper logouts after the TOPs.
    std::size_t files = 0;
    for (const char* sub : {"cur", "new"}) {
        for (const auto& entry :
             std::filesystem::directory_iterator(server_->directory() + "/mail/hanako/" + sub)) {
            files += entry.is_regular_file() ? 1 : 0;
        }
    }
    EXPECT_EQ(files, hanako.size());
    const std::string log = server_->logText();
    const auto session = log.find("pop3(nosubject)");
    ASSERT_NE(session, std::string::npos) << log;
    EXPECT_NE(log.find("Disconnected: Logged out top=1/", session), std::string::npos) << log;
}

TEST_F(RealServerCheckTest, CheckToolPrintsTheStoresMailAsJsonAndEveryErrorAsALine) {
    CheckTool tool;
    addAccount(*tool.store, {.Aname = "太郎",
                             .Hname = "127.0.0.1",
                             .Portno = static_cast<int16_t>(port()),
                             .Uname = "taro",
                             .Passw = "pw-taro"});
    addAccount(*tool.store, {.Aname = "休止",
                             .Hname = "127.0.0.1",
                             .Portno = 1,
                             .Uname = "x",
                             .Passw = "y",
                             .Check = 0});
    addAccount(*tool.store, {.Aname = "花子",
                             .Hname = "127.0.0.1",
                             .Portno = static_cast<int16_t>(port()),
                             .Uname = "hanako",
                             .Passw = "wrong"});
    tool.store->write("Option3value", "1");  // boxes off: the tool reports all the same

    const ToolRun run = tool.run({});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.errorLines(),
              std::vector<std::string>{"アカウント3 (花子): [AUTH] Authentication failed."});
    EXPECT_EQ(tool.store->find("Option3value"), "1") << "the user's settings are left alone";
    // Each row as JSON is the corpus test's business; here, whose rows they are.
    const auto rows = run.rows();
    ASSERT_EQ(rows.size(), expected_.at("taro").size());
    for (const auto& row : rows) {
        EXPECT_EQ(row.value("account").toInt(-1), 1);
    }
}

TEST_F(RealServerCheckTest, CheckToolChecksTheGivenAccountWithTheStoresOtherSettings) {
    CheckTool tool;
    addAccount(*tool.store, {.Aname = "太郎",
                             .Hname = "127.0.0.1",
                             .Portno = static_cast<int16_t>(port()),
                             .Uname = "taro",
                             .Passw = "pw-taro"});
    tool.store->write("Notstr", "#");

    const ToolRun run = tool.run(accountArguments(port(), "ctrl", "-"), "pw-ctrl\n");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    ASSERT_EQ(run.rows().size(), 1u) << run.out;
    EXPECT_EQ(run.out,
              "{\"account\": 1, \"sender\": \" \\\"Back\\\\slash\\\" <q@example.com>\", "
              "\"subject\": \" bell\\u0007 del\\u007f end\", "
              "\"body\": \"\u3000line 1\\u0001\u3000\"}\n");
}

TEST(CheckTool, RefusedSilentAndOverlongChecksEndWithStatusOneAndWrongUsageWithTwo) {
    CheckTool tool;
    ToolRun run = tool.run(accountArguments(LoopbackListener::refusedPort(), "u", "p"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.errorLines(),
              std::vector<std::string>{"アカウント1 (127.0.0.1): 接続が拒否されちゃったよ"});

    LoopbackListener silent;  // never says a word
    tool.store->write("Timeupval", "3");
    run = tool.run(accountArguments(silent.port, "u", "p"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.errorLines(),
              std::vector<std::string>{
                  "アカウント1 (127.0.0.1): 時間切れまでにサーバーから応答がありませんでした"});

    tool.store->write("Timeupval", "0");  // no time-up: only the overall limit ends it
    QStringList arguments = accountArguments(silent.port, "u", "p");
    arguments << "--time-limit"
              << "1";
    run = tool.run(arguments);
    EXPECT_EQ(run.exitCode, 1);
    ASSERT_EQ(run.errorLines().size(), 1u);
    EXPECT_NE(run.err.find("1 秒"), std::string::npos) << run.err;

    for (const QStringList& wrong :
         {QStringList{"--account", "h", "110", "u"}, QStringList{"--account", "h", "0", "u", "p"},
          QStringList{"--time-limit"}, QStringList{"extra"}, QStringList{"--tls"},
          QStringList{"--account", "h", "995", "u", "p", "--tls", "--starttls"},
          QStringList{"--account", "h", "995", "u", "p", "--tls", "--pin", "AB:CD"},
          QStringList{"--account", "h", "110", "u", "p", "--pin", QString(64, QLatin1Char('a'))}}) {
        run = tool.run(wrong);
        EXPECT_EQ(run.exitCode, 2) << wrong.join(' ').toStdString();
        EXPECT_NE(run.err.find("--time-limit"), std::string::npos) << "with the usage text";
    }
    run = tool.run({"--help"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("--account"), std::string::npos);
    EXPECT_NE(run.out.find("--no-cache"), std::string::npos);
}

}  // namespace
}  // namespace velkora::test
