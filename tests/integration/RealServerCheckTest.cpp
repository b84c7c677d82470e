// The mail check against a real POP3 server (a private Dovecot on 127.0.0.1), with mail that
// Python's email package encoded.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "tests/integration/CheckRig.h"
#include "tests/support/DovecotServer.h"

namespace velkora::test {
namespace {

using namespace std::chrono_literals;

constexpr int32_t kTaroText = 0x000000;
constexpr int32_t kTaroBack = 0xFFFF80;
constexpr int32_t kHanakoText = 0x0000C0;
constexpr int32_t kHanakoBack = 0xE0FFE0;
constexpr auto kCheckLimit = 15s;

class RealServerCheckTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (DovecotServer::findBinary().empty()) {
            return;  // every test skips itself
        }
        server_ = std::make_unique<DovecotServer>();
        for (const char* box : {"taro", "hanako", "nosubject"}) {
            server_->addUser(box, std::string("pw-") + box);
            server_->copyMaildir(box, MailExpectations::maildirOf(box));
        }
        server_->addUser("jiro", "pw-jiro");  // an empty maildrop
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
        expected_ = MailExpectations::load();
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
    MailExpectations expected_;
};

std::unique_ptr<DovecotServer> RealServerCheckTest::server_;
std::string RealServerCheckTest::startError_;

TEST_F(RealServerCheckTest, ListsTheMailOfEveryCheckedAccountDecodedInFetchOrder) {
    CheckRig rig;
    rig.addAccount("太郎", "127.0.0.1", port(), "taro", "pw-taro", kTaroText, kTaroBack);
    rig.addAccount("次郎", "127.0.0.1", port(), "jiro", "pw-jiro", 0x123456, 0x654321);
    // Not checked: its server (no listener at all) must never be tried.
    rig.addAccount("休止", "127.0.0.1", 1, "x", "y", 0, 0, 0);
    rig.addAccount("花子", "localhost", port(), "hanako", "pw-hanako", kHanakoText, kHanakoBack);
    rig.setSetting("Option3value", "0");  // any error would show as a box
    rig.load();
    ASSERT_EQ(rig.checker.settings().Talkcnt, expected_.topLines);

    ASSERT_TRUE(rig.runCheck(kCheckLimit)) << "the check did not end";

    const auto& taro = expected_.mailboxes.at("taro");
    const auto& hanako = expected_.mailboxes.at("hanako");
    const auto rows = rig.rows();
    ASSERT_EQ(rows.size(), taro.size() + hanako.size());
    expectRows(rows, 0, taro, "1", kTaroText, kTaroBack);
    expectRows(rows, taro.size(), hanako, "4", kHanakoText, kHanakoBack);

    EXPECT_EQ(rig.state().totalMessages, static_cast<int16_t>(taro.size() + hanako.size()));
    EXPECT_TRUE(rig.boxes.boxes.empty()) << rig.boxes.boxes.front().text;
    EXPECT_EQ(rig.tray.tips,
              (std::vector<std::string>{"太郎をチェック中です", "次郎をチェック中です",
                                        "花子をチェック中です"}));
    EXPECT_EQ(rig.tray.image, TrayImage::NewMail);
    EXPECT_TRUE(rig.menus.isEnabled(MenuItem::menu0));
    EXPECT_TRUE(rig.menus.isEnabled(MenuItem::menu02));
    EXPECT_FALSE(rig.api.hasSocket()) << "the last connection was left open";
}

TEST_F(RealServerCheckTest, OnlyReadsTheMailboxSoEveryCheckListsTheSameMailAgain) {
    CheckRig rig;
    rig.addAccount("花子", "127.0.0.1", port(), "hanako", "pw-hanako", kHanakoText, kHanakoBack);
    rig.load();
    const auto& hanako = expected_.mailboxes.at("hanako");

    ASSERT_TRUE(rig.runCheck(kCheckLimit));
    expectRows(rig.rows(), 0, hanako, "1", kHanakoText, kHanakoBack);
    ASSERT_TRUE(rig.runCheck(kCheckLimit));
    // The list of the first check was replaced, not appended to.
    ASSERT_EQ(rig.rows().size(), hanako.size());
    expectRows(rig.rows(), 0, hanako, "1", kHanakoText, kHanakoBack);
    EXPECT_EQ(rig.state().totalMessages, static_cast<int16_t>(hanako.size()));

    // Nothing was deleted on the server: every message file is still there.
    std::size_t files = 0;
    for (const char* sub : {"cur", "new"}) {
        for (const auto& entry :
             std::filesystem::directory_iterator(server_->directory() + "/mail/hanako/" + sub)) {
            files += entry.is_regular_file() ? 1 : 0;
        }
    }
    EXPECT_EQ(files, hanako.size());
}

TEST_F(RealServerCheckTest, AMessageWithoutSubjectIsListedAndTheCheckGoesOn) {
    // The only message of "nosubject" has no Subject header. Its reply is complete when the
    // server's closing line arrives, so it is listed without a subject and no time-up is
    // needed to move on (the limit here would end the check long before the rig's).
    CheckRig rig;
    rig.addAccount("件名なし", "127.0.0.1", port(), "nosubject", "pw-nosubject", 0, 0);
    rig.addAccount("花子", "127.0.0.1", port(), "hanako", "pw-hanako", kHanakoText, kHanakoBack);
    rig.setSetting("Option3value", "0");
    rig.load();

    ASSERT_TRUE(rig.runCheck(kCheckLimit));

    const auto& nosubject = expected_.mailboxes.at("nosubject");
    const auto& hanako = expected_.mailboxes.at("hanako");
    ASSERT_EQ(rig.rows().size(), nosubject.size() + hanako.size());
    expectRows(rig.rows(), 0, nosubject, "1", 0, 0);
    EXPECT_EQ(rig.rows()[0].cells[MailList::kSubjectColumn], "");
    expectRows(rig.rows(), nosubject.size(), hanako, "2", kHanakoText, kHanakoBack);
    EXPECT_EQ(rig.state().totalMessages, static_cast<int16_t>(nosubject.size() + hanako.size()));
    EXPECT_TRUE(rig.boxes.boxes.empty()) << rig.boxes.boxes.front().text;

    // The server saw a proper logout after the TOP, not a dropped connection.
    const std::string log = server_->logText();
    const auto session = log.find("pop3(nosubject)");
    ASSERT_NE(session, std::string::npos) << log;
    EXPECT_NE(log.find("Disconnected: Logged out top=1/", session), std::string::npos) << log;
}

TEST_F(RealServerCheckTest, RejectedPasswordShowsTheServersTextAndTheNextAccountIsChecked) {
    CheckRig rig;
    rig.addAccount("太郎", "127.0.0.1", port(), "taro", "wrong password", kTaroText, kTaroBack);
    rig.addAccount("花子", "127.0.0.1", port(), "hanako", "pw-hanako", kHanakoText, kHanakoBack);
    rig.setSetting("Option3value", "0");
    rig.load();

    ASSERT_TRUE(rig.runCheck(kCheckLimit));

    ASSERT_EQ(rig.boxes.boxes.size(), 1u);
    EXPECT_EQ(rig.boxes.boxes[0].icon, MessageIcon::Stop);
    EXPECT_EQ(rig.boxes.boxes[0].title, "Velkora");
    // The server's own words after "-ERR", as they came.
    EXPECT_EQ(rig.boxes.boxes[0].text, " [AUTH] Authentication failed.\r\n");
    const auto& hanako = expected_.mailboxes.at("hanako");
    ASSERT_EQ(rig.rows().size(), hanako.size());
    expectRows(rig.rows(), 0, hanako, "2", kHanakoText, kHanakoBack);
}

}  // namespace
}  // namespace velkora::test
