// The mail check against servers that misbehave: scripted POP3 servers on 127.0.0.1, driven on
// their own threads, with the checker on the Qt event loop and real sockets.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "tests/integration/CheckRig.h"
#include "tests/support/ScriptedPop3Server.h"

namespace velkora::test {
namespace {

using namespace std::chrono_literals;
using Connection = ScriptedPop3Server::Connection;

constexpr auto kCheckLimit = 20s;
constexpr auto kCommandWait = 5s;
constexpr int32_t kText = 0x000080;
constexpr int32_t kBack = 0xC0FFFF;

class FaultServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        expected_ = MailExpectations::load();
        hanako_ = readMailboxMessages("hanako");
        ASSERT_EQ(hanako_.size(), expected_.mailboxes.at("hanako").size());
    }

    // A well-behaved second account that serves the "hanako" mail.
    ScriptedMaildrop hanakoDrop() const {
        ScriptedMaildrop drop;
        drop.messages = hanako_;
        return drop;
    }

    // Checks that rows [first, first + n) are the "hanako" mail of the given account.
    void expectHanako(const std::vector<MailRow>& rows, std::size_t first,
                      const std::string& account) const {
        const auto& mails = expected_.mailboxes.at("hanako");
        ASSERT_GE(rows.size(), first + mails.size());
        for (std::size_t i = 0; i < mails.size(); ++i) {
            SCOPED_TRACE(mails[i].description);
            const MailRow& row = rows[first + i];
            EXPECT_EQ(row.cells[MailList::kSenderColumn], mails[i].sender);
            EXPECT_EQ(row.cells[MailList::kSubjectColumn], mails[i].subject);
            EXPECT_EQ(row.cells[MailList::kAccountColumn], account);
            EXPECT_EQ(row.cells[MailList::kBodyColumn], mails[i].body);
        }
    }

    // Greeting, USER, PASS and STAT answered as a server would; false if the client stopped.
    static bool logIn(Connection& c, const std::string& statReply) {
        if (!c.send("+OK ready\r\n")) {
            return false;
        }
        for (const std::string& reply :
             {std::string("+OK\r\n"), std::string("+OK\r\n"), statReply}) {
            if (!c.readLine(kCommandWait) || !c.send(reply)) {
                return false;
            }
        }
        return true;
    }

    static std::vector<std::string> standardCommands(std::size_t messages, int lines) {
        std::vector<std::string> out = {"USER u", "PASS p", "STAT"};
        for (std::size_t n = 1; n <= messages; ++n) {
            out.push_back("TOP " + std::to_string(n) + " " + std::to_string(lines));
        }
        out.push_back("QUIT");
        return out;
    }

    MailExpectations expected_;
    std::vector<std::string> hanako_;
};

TEST_F(FaultServerTest, RefusedConnectionIsReportedAndTheCheckGoesOn) {
    const uint16_t closedPort = ScriptedPop3Server::unusedPort();
    ScriptedPop3Server second(hanakoDrop().script());

    CheckRig rig;
    rig.addAccount("閉店", "127.0.0.1", closedPort, "u", "p", 0, 0);
    rig.addAccount("花子", "127.0.0.1", second.port(), "u", "p", kText, kBack);
    rig.setSetting("Option3value", "0");
    rig.setSetting("Timeupval", "3");
    rig.load();

    ASSERT_TRUE(rig.runCheck(kCheckLimit));

    ASSERT_FALSE(rig.boxes.boxes.empty());
    EXPECT_EQ(rig.boxes.boxes[0].icon, MessageIcon::Stop);
    EXPECT_EQ(rig.boxes.boxes[0].title, "Velkora");
    EXPECT_EQ(rig.boxes.boxes[0].text, "接続が拒否されちゃったよ");
    ASSERT_EQ(rig.rows().size(), hanako_.size());
    expectHanako(rig.rows(), 0, "2");
    second.stop();
    EXPECT_EQ(second.commands(), standardCommands(hanako_.size(), 10));
}

TEST_F(FaultServerTest, GreetingNeverSentEndsTheAccountWithQuitAtTheTimeUp) {
    ScriptedPop3Server silent([](Connection& c) { c.waitForCommand("QUIT", kCommandWait); });
    ScriptedPop3Server second(hanakoDrop().script());

    CheckRig rig;
    rig.addAccount("無言", "127.0.0.1", silent.port(), "u", "p", 0, 0);
    rig.addAccount("花子", "127.0.0.1", second.port(), "u", "p", kText, kBack);
    rig.setSetting("Option3value", "0");
    rig.setSetting("Timeupval", "3");
    rig.load();

    ASSERT_TRUE(rig.runCheck(kCheckLimit));

    silent.stop();
    EXPECT_EQ(silent.commands(), std::vector<std::string>{"QUIT"});
    EXPECT_TRUE(rig.boxes.boxes.empty()) << rig.boxes.boxes.front().text;
    ASSERT_EQ(rig.rows().size(), hanako_.size());
    expectHanako(rig.rows(), 0, "2");
    EXPECT_EQ(rig.state().totalMessages, static_cast<int16_t>(hanako_.size()));
}

TEST_F(FaultServerTest, ConnectionClosedInTheMiddleOfAReplyKeepsWhatCameBefore) {
    const ScriptedMaildrop drop = hanakoDrop();
    // Message 1 whole, then message 2 up to its From line, then the server is gone.
    ScriptedPop3Server breaking([&drop](Connection& c) {
        const std::string stat = "+OK " + std::to_string(drop.messages.size()) + " 1000\r\n";
        if (!logIn(c, stat) || !c.readLine(kCommandWait) || !c.send(drop.topReply(1, 10))) {
            return;
        }
        const std::string second = drop.topReply(2, 10);
        const auto cut = second.find("\r\n", second.find("From:")) + 2;
        if (c.readLine(kCommandWait)) {
            c.send(second.substr(0, cut));
        }
        c.close();
    });
    ScriptedPop3Server next(drop.script());

    CheckRig rig;
    rig.addAccount("途切れ", "127.0.0.1", breaking.port(), "u", "p", kText, kBack);
    rig.addAccount("花子", "127.0.0.1", next.port(), "u", "p", kText, kBack);
    rig.setSetting("Timeupval", "3");
    rig.load();

    ASSERT_TRUE(rig.runCheck(kCheckLimit)) << "the broken connection stopped the check";

    const auto rows = rig.rows();
    ASSERT_EQ(rows.size(), 1 + hanako_.size());
    const auto& first = expected_.mailboxes.at("hanako")[0];
    EXPECT_EQ(rows[0].cells[MailList::kSenderColumn], first.sender);
    EXPECT_EQ(rows[0].cells[MailList::kSubjectColumn], first.subject);
    EXPECT_EQ(rows[0].cells[MailList::kAccountColumn], "1");
    expectHanako(rows, 1, "2");
    EXPECT_EQ(rig.state().totalMessages, static_cast<int16_t>(2 * hanako_.size()));
}

TEST_F(FaultServerTest, RepliesArrivingOneByteAtATimeGiveTheSameList) {
    ScriptedMaildrop drop = hanakoDrop();
    drop.send = [](Connection& c, std::string_view bytes) {
        return c.sendByteByByte(bytes, 300us);
    };
    ScriptedPop3Server trickle(drop.script());

    CheckRig rig;
    rig.addAccount("花子", "127.0.0.1", trickle.port(), "u", "p", kText, kBack);
    rig.setSetting("Option3value", "0");
    rig.setSetting("Timeupval", "20");  // bounds a stalled conversation to about a second
    rig.load();

    ASSERT_TRUE(rig.runCheck(kCheckLimit));

    trickle.stop();
    EXPECT_EQ(trickle.commands(), standardCommands(hanako_.size(), 10));
    EXPECT_TRUE(rig.boxes.boxes.empty()) << rig.boxes.boxes.front().text;
    ASSERT_EQ(rig.rows().size(), hanako_.size());
    expectHanako(rig.rows(), 0, "1");
}

TEST_F(FaultServerTest, EndlessTopReplyWithoutFieldNamesStaysBoundedAndTheCheckEnds) {
    constexpr std::size_t kFlood = 8 * 1024 * 1024;
    std::atomic<std::size_t> floodSent{0};
    ScriptedPop3Server flood([&floodSent](Connection& c) {
        if (!logIn(c, "+OK 1 99999999\r\n") || !c.readLine(kCommandWait)) {
            return;
        }
        const std::string line(98, 'x');
        std::string block;
        while (block.size() < 64 * 1024) {
            block += line + "\r\n";
        }
        c.send("+OK\r\n");
        for (std::size_t sent = 0; sent < kFlood; sent += block.size()) {
            if (!c.send(block)) {
                break;
            }
            floodSent = c.bytesSent();
        }
        c.waitForPeerClose(kCommandWait);
    });
    ScriptedPop3Server second(hanakoDrop().script());

    CheckRig rig;
    rig.addAccount("洪水", "127.0.0.1", flood.port(), "u", "p", 0, 0);
    rig.addAccount("花子", "127.0.0.1", second.port(), "u", "p", kText, kBack);
    rig.load();

    ASSERT_TRUE(rig.runCheck(kCheckLimit));

    EXPECT_GT(floodSent.load(), Pop3Session::kReplyTextLimit);
    ASSERT_EQ(rig.rows().size(), hanako_.size());
    expectHanako(rig.rows(), 0, "2");
}

}  // namespace
}  // namespace velkora::test
