#include "checker/net/Pop3Session.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "checker/check/CheckState.h"
#include "checker/check/MailList.h"
#include "checker/net/SocketLayer.h"
#include "common/AppSettings.h"
#include "tests/support/FakeSocketApi.h"
#include "tests/support/RecordingMessageBoxes.h"
#include "tests/support/SimulatedEventLoop.h"

namespace velkora {
namespace {

using test::FakePop3Server;
using test::FakeReply;
using Strings = std::vector<std::string>;

std::string message(int n) {
    return "Return-Path: <sender" + std::to_string(n) +
           "@example.com>\r\n"
           "From: sender" +
           std::to_string(n) +
           "@example.com\r\n"
           "Subject: Message " +
           std::to_string(n) +
           "\r\n"
           "\r\n"
           "First line of " +
           std::to_string(n) + "\r\nSecond line\r\n";
}

// The extracted cell, without the space that may follow the field name.
std::string cellText(const MailList& list, std::size_t row, int column) {
    std::string text = list.cell(row, column);
    return text.rfind(' ', 0) == 0 ? text.substr(1) : text;
}

std::vector<std::string> mailbox(int count) {
    std::vector<std::string> out;
    for (int n = 1; n <= count; ++n) {
        out.push_back(message(n));
    }
    return out;
}

// One session on the real socket layer over the fake network, in virtual time.
struct SessionHarness {
    SessionHarness() {
        settings.Option3value = 0;  // boxes shown, so that tests can see them
        settings.accountColours.resize(4);
        state.currentAccountNumber = 1;
        session.onAccountDone = [this] { doneAt.push_back(loop.now()); };
    }

    Account account(const std::string& host) const {
        Account a;
        a.Aname = "Main";
        a.Hname = host;
        a.Uname = "taro";
        a.Passw = "secret";
        return a;
    }

    // Runs until the session has handed its account over and no connection is left open.
    void runSession(const std::string& host) {
        session.openSession(account(host));
        loop.runUntil([&] { return !doneAt.empty() && api.openSocketCount() == 0; });
    }

    test::SimulatedEventLoop loop;
    test::FakeSocketApi api{loop};
    test::RecordingMessageBoxes boxes;
    AppSettings settings;
    SocketLayer layer{api, loop, boxes, settings};
    CheckState state;
    MailList list;
    Pop3Session session{layer, loop, state, settings, list};
    std::vector<int64_t> doneAt;
};

Strings expectedCommands(int messages, int lines) {
    Strings out{"USER taro", "PASS secret", "STAT"};
    for (int n = 1; n <= messages; ++n) {
        out.push_back("TOP " + std::to_string(n) + " " + std::to_string(lines));
    }
    out.push_back("QUIT");
    return out;
}

TEST(Pop3Session, SendsTheFixedCommandSequenceForZeroOneAndThreeMessages) {
    struct Case {
        int messages;
        int16_t check1value;
        int16_t talkcnt;
        int lines;
    };
    for (const Case c : {Case{0, 1, 10, 10}, Case{1, 1, 10, 10}, Case{3, 1, 10, 10},
                         Case{3, 0, 7, 5}, Case{1, 1, 3, 3}}) {
        SCOPED_TRACE("messages " + std::to_string(c.messages) + ", Check1value " +
                     std::to_string(c.check1value));
        SessionHarness h;
        h.settings.Check1value = c.check1value;
        h.settings.Talkcnt = c.talkcnt;
        h.api.addServer("pop.example").setMailbox(mailbox(c.messages));
        h.runSession("pop.example");

        EXPECT_EQ(h.api.sentTexts(), expectedCommands(c.messages, c.lines));
        ASSERT_EQ(h.list.mailCount(), static_cast<std::size_t>(c.messages));
        for (int n = 1; n <= c.messages; ++n) {
            EXPECT_EQ(cellText(h.list, static_cast<std::size_t>(n), MailList::kSubjectColumn),
                      "Message " + std::to_string(n));
            EXPECT_EQ(h.list.cell(static_cast<std::size_t>(n), MailList::kAccountColumn), "1");
        }
        EXPECT_EQ(h.state.totalMessages, c.messages);
        EXPECT_EQ(h.doneAt.size(), 1u);
        EXPECT_EQ(h.session.pop3Step, Pop3Session::kGreeting);  // the QUIT reply closed it
        EXPECT_EQ(h.layer.socketPhase, "0");
        EXPECT_EQ(h.api.startupCount(), h.api.cleanupCount());
        EXPECT_TRUE(h.boxes.boxes.empty());
        EXPECT_EQ(h.api.sendsWithoutConnection(), 0);
    }
}

TEST(Pop3Session, CollectsRepliesWhateverTheirChunking) {
    struct Case {
        const char* name;
        FakePop3Server::Delivery delivery;
        std::size_t pieceSize;
    };
    for (const Case c : {Case{"whole", FakePop3Server::Delivery::WholeReply, 0},
                         Case{"status line first", FakePop3Server::Delivery::StatusLineFirst, 0},
                         Case{"single bytes", FakePop3Server::Delivery::Dribble, 1},
                         Case{"3-byte pieces", FakePop3Server::Delivery::Dribble, 3},
                         Case{"5-byte pieces", FakePop3Server::Delivery::Dribble, 5}}) {
        SCOPED_TRACE(c.name);
        SessionHarness h;
        auto& server = h.api.addServer("pop.example");
        server.setMailbox(mailbox(3));
        server.setDelivery(c.delivery, c.pieceSize, 2);
        server.setGreeting(FakeReply::dribble("+OK ready\r\n", c.pieceSize ? c.pieceSize : 64));
        h.runSession("pop.example");
        EXPECT_EQ(h.api.sentTexts(), expectedCommands(3, 10));
        ASSERT_EQ(h.list.mailCount(), 3u);
        for (int n = 1; n <= 3; ++n) {
            const std::string number = std::to_string(n);
            EXPECT_EQ(cellText(h.list, n, MailList::kSenderColumn),
                      "sender" + number + "@example.com");
            EXPECT_EQ(cellText(h.list, n, MailList::kSubjectColumn), "Message " + number);
            // The whole body, and nothing of the reply's framing.
            EXPECT_EQ(h.list.cell(n, MailList::kBodyColumn),
                      "\u3000First line of " + number + "\u3000Second line\u3000");
        }
        EXPECT_EQ(h.state.totalMessages, 3);
    }
}

TEST(Pop3Session, ReplyLinesAreMailTextAndMissingHeadersDoNotStallTheAccount) {
    SessionHarness h;
    auto& server = h.api.addServer("pop.example");
    server.setMailbox({"From: a@example.com\r\n\r\n-ERR is text here\r\n+OK too\r\n.dot\r\n",
                       "Subject: no sender\r\n\r\nbody\r\n", message(3)});
    h.runSession("pop.example");
    EXPECT_EQ(h.api.sentTexts(), expectedCommands(3, 10));
    ASSERT_EQ(h.list.mailCount(), 3u);
    EXPECT_EQ(cellText(h.list, 1, MailList::kSenderColumn), "a@example.com");
    EXPECT_EQ(h.list.cell(1, MailList::kSubjectColumn), "");
    // Lines the server stuffed with a second dot come back with one.
    EXPECT_EQ(h.list.cell(1, MailList::kBodyColumn),
              "\u3000-ERR is text here\u3000+OK too\u3000.dot\u3000");
    EXPECT_EQ(h.list.cell(2, MailList::kSenderColumn), "");
    EXPECT_EQ(cellText(h.list, 2, MailList::kSubjectColumn), "no sender");
    EXPECT_EQ(cellText(h.list, 3, MailList::kSubjectColumn), "Message 3");
    EXPECT_TRUE(h.boxes.boxes.empty());
}

TEST(Pop3Session, WaitsForTheEndOfATopReplyAndNeverWritesAnEmptyLine) {
    SessionHarness h;
    auto& server = h.api.addServer("pop.example");
    server.setMailbox(mailbox(2));
    // The status line alone, then the header in two parts a second apart each.
    server.on("TOP 1", FakeReply::pieces({"+OK 120 octets\r\n", "Subject: Message 1\r\nX-A: 1\r\n",
                                          "fRoM: first@example.com\r\n\r\nbody\r\n.\r\n"},
                                         1000));
    h.session.openSession(h.account("pop.example"));
    h.loop.runUntil([&] { return h.session.pop3Step == Pop3Session::kTopSent; });
    const int64_t topAt = h.loop.now();

    h.loop.advanceTo(topAt + 1500);  // the status line and the subject are in, not the end
    EXPECT_EQ(h.list.mailCount(), 0u);
    EXPECT_EQ(h.api.sentTexts().back(), "TOP 1 10");
    EXPECT_EQ(h.session.currentMessage, 1);
    EXPECT_NE(h.session.replyText.find("Subject: Message 1"), std::string::npos);

    h.loop.runUntil([&] { return !h.doneAt.empty(); });
    EXPECT_EQ(h.list.mailCount(), 2u);
    EXPECT_EQ(cellText(h.list, 1, MailList::kSenderColumn), "first@example.com");
    EXPECT_EQ(h.api.sentTexts(), expectedCommands(2, 10));
    // No empty command line went out for the incomplete reply.
    EXPECT_EQ(h.api.rawSent().find("\r\n\r\n"), std::string::npos);
    EXPECT_EQ(h.api.rawSent().rfind("\r\n", 0), std::string::npos);
}

TEST(Pop3Session, ErrReplyToAnyCommandShowsTheServerTextAndQuits) {
    for (const std::string command : {"USER", "PASS", "STAT", "TOP 1", "TOP 2"}) {
        SCOPED_TRACE(command);
        SessionHarness h;
        auto& server = h.api.addServer("pop.example");
        server.setMailbox(mailbox(2));
        server.on(command, FakeReply::err(" パスワードが違います\r\n"));
        h.runSession("pop.example");

        Strings expected;
        for (const auto& line : expectedCommands(2, 10)) {
            if (line == "QUIT") {
                break;
            }
            expected.push_back(line);
            if (line.rfind(command, 0) == 0) {
                break;
            }
        }
        expected.push_back("QUIT");
        EXPECT_EQ(h.api.sentTexts(), expected);
        ASSERT_EQ(h.boxes.boxes.size(), 1u);
        EXPECT_EQ(h.boxes.boxes[0].text, " パスワードが違います\r\n");
        EXPECT_EQ(h.boxes.boxes[0].title, "Velkora");
        EXPECT_EQ(h.boxes.boxes[0].icon, MessageIcon::Stop);
        EXPECT_EQ(h.doneAt.size(), 1u);
        // The message before the failing TOP is kept; the rest of the account is skipped.
        EXPECT_EQ(h.list.mailCount(), command == "TOP 2" ? 1u : 0u);
    }
}

TEST(Pop3Session, RefusedGreetingBareErrAndSuppressedBoxes) {
    {
        SCOPED_TRACE("greeting refused");
        SessionHarness h;
        h.api.addServer("pop.example").setGreeting(FakeReply::err(" busy\r\n"));
        h.runSession("pop.example");
        EXPECT_TRUE(h.api.sentTexts().empty()) << "no QUIT without a conversation";
        EXPECT_EQ(h.boxes.texts(), Strings{" busy\r\n"});
        EXPECT_EQ(h.session.pop3Step, Pop3Session::kGreeting);
        EXPECT_EQ(h.api.openSocketCount(), 0);
        EXPECT_EQ(h.api.startupCount(), h.api.cleanupCount());
        EXPECT_EQ(h.doneAt.size(), 1u);
    }
    for (const auto& bare :
         {std::vector<std::string>{"-ERR\r\n"}, std::vector<std::string>{"-ERR", "\r\n"}}) {
        SCOPED_TRACE("-ERR without an explanation");
        SessionHarness h;
        auto& server = h.api.addServer("pop.example");
        server.setMailbox(mailbox(1));
        server.on("PASS", FakeReply::pieces(bare));
        h.runSession("pop.example");
        EXPECT_EQ(h.api.sentTexts(), (Strings{"USER taro", "PASS secret", "QUIT"}));
        EXPECT_TRUE(h.boxes.boxes.empty());
        EXPECT_EQ(h.doneAt.size(), 1u);
    }
    {
        SCOPED_TRACE("Option3value 1");
        SessionHarness h;
        h.settings.Option3value = 1;
        auto& server = h.api.addServer("pop.example");
        server.setMailbox(mailbox(1));
        server.on("USER", FakeReply::err(" unknown user\r\n"));
        h.runSession("pop.example");
        EXPECT_EQ(h.api.sentTexts(), (Strings{"USER taro", "QUIT"}));
        EXPECT_TRUE(h.boxes.boxes.empty());
        EXPECT_EQ(h.doneAt.size(), 1u);
    }
}

TEST(Pop3Session, ReceiveFailureClosesAtOnceAndSendsNothingMore) {
    {
        SessionHarness h;
        auto& server = h.api.addServer("pop.example");
        server.setMailbox(mailbox(1));
        server.on("PASS", FakeReply::failReceive(10054));
        h.runSession("pop.example");
        EXPECT_EQ(h.api.sentTexts(), (Strings{"USER taro", "PASS secret"}));
        EXPECT_EQ(h.boxes.texts(), Strings{"リモートホストから切断されたよ"});
        EXPECT_EQ(h.session.pop3Step, Pop3Session::kQuitSent);
        EXPECT_EQ(h.layer.socketPhase, "0");
        EXPECT_EQ(h.doneAt.size(), 1u);
        // A later QUIT (the time-up's) finds no connection and sends nothing.
        h.session.quitNow();
        h.session.sendQuit();
        EXPECT_EQ(h.api.sentTexts().size(), 2u);
        EXPECT_EQ(h.api.sendsWithoutConnection(), 0);
        EXPECT_EQ(h.boxes.boxes.size(), 1u);
    }
    {
        SessionHarness h;
        h.api.addServer("pop.example").setGreeting(FakeReply::failReceive(10053));
        h.runSession("pop.example");
        EXPECT_EQ(h.session.pop3Step, Pop3Session::kGreeting);
        EXPECT_EQ(h.boxes.texts(), Strings{"ネットワーク不良で接続が中止されたよ"});
        EXPECT_TRUE(h.api.sentTexts().empty());
    }
}

TEST(Pop3Session, MalformedStatRepliesEndTheAccountWithoutACount) {
    for (const std::string reply : {"+OK\r\n", "+OK x 100\r\n", "+OK -1 5\r\n", "+OK 40000 100\r\n",
                                    "+OK  3 100\r\n", "+OK 32768 1\r\n"}) {
        SCOPED_TRACE(reply);
        SessionHarness h;
        h.state.totalMessages = 4;
        auto& server = h.api.addServer("pop.example");
        server.setMailbox(mailbox(3));
        server.on("STAT", FakeReply::raw(reply));
        h.runSession("pop.example");
        EXPECT_EQ(h.api.sentTexts(), (Strings{"USER taro", "PASS secret", "STAT", "QUIT"}));
        EXPECT_EQ(h.state.totalMessages, 4);
        EXPECT_EQ(h.session.messageCount, 0);
        EXPECT_TRUE(h.boxes.boxes.empty());
        EXPECT_EQ(h.doneAt.size(), 1u);
    }
}

TEST(Pop3Session, StatCountIsReadAcrossChunksAndTheTotalSaturates) {
    {
        SCOPED_TRACE("a terse reply without the maildrop's size");
        SessionHarness h;
        auto& server = h.api.addServer("pop.example");
        server.setMailbox(mailbox(2));
        server.on("STAT", FakeReply::raw("+OK 2\r\n"));
        h.runSession("pop.example");
        EXPECT_EQ(h.session.messageCount, 2);
        EXPECT_EQ(h.list.mailCount(), 2u);
    }
    {
        SCOPED_TRACE("count cut between two chunks");
        SessionHarness h;
        auto& server = h.api.addServer("pop.example");
        server.setMailbox(mailbox(12));
        server.on("STAT", FakeReply::pieces({"+OK 1", "2 4711\r\n"}, 5));
        h.runSession("pop.example");
        EXPECT_EQ(h.session.messageCount, 12);
        EXPECT_EQ(h.list.mailCount(), 12u);
        EXPECT_EQ(h.api.sentTexts().size(), 3u + 12u + 1u);
    }
    {
        SCOPED_TRACE("the largest count, onto a nearly full total");
        SessionHarness h;
        h.state.totalMessages = 32760;
        auto& server = h.api.addServer("pop.example");
        server.setMailbox(mailbox(10));
        h.runSession("pop.example");
        EXPECT_EQ(h.state.totalMessages, 32767);
        EXPECT_EQ(h.list.mailCount(), 10u);
    }
}

TEST(Pop3Session, ResetsTheListOnlyAtTheFirstAccountsStat) {
    for (const int16_t accountNumber : {int16_t{1}, int16_t{2}}) {
        SCOPED_TRACE(accountNumber);
        SessionHarness h;
        h.state.currentAccountNumber = accountNumber;
        h.list.addRow({"old", "old subject", 3, "body"}, {});
        auto& server = h.api.addServer("pop.example");
        server.setMailbox({});
        h.runSession("pop.example");
        EXPECT_EQ(h.list.mailCount(), accountNumber == 1 ? 0u : 1u);
        EXPECT_EQ(h.state.totalMessages, 0);
    }
    {
        SCOPED_TRACE("account 1 failing before STAT keeps the old rows");
        SessionHarness h;
        h.list.addRow({"old", "old subject", 1, "body"}, {});
        auto& server = h.api.addServer("pop.example");
        server.on("PASS", FakeReply::err(" no\r\n"));
        h.runSession("pop.example");
        EXPECT_EQ(h.list.mailCount(), 1u);
    }
}

TEST(Pop3Session, AServerStreamingWithoutHeaderNamesIsCutOffAtTheBound) {
    SessionHarness h;
    auto& server = h.api.addServer("pop.example");
    server.setMailbox(mailbox(2));
    std::vector<std::string> flood(300, std::string(4096, 'x'));  // 1.2 MiB, never a name
    server.on("TOP 1", FakeReply::pieces(flood, 1));
    std::size_t largest = 0;
    h.layer.onReply = [&](const ReceivedChunk& chunk) {
        h.session.handleReply(chunk);
        largest = std::max(largest, h.session.replyText.size());
    };
    h.runSession("pop.example");
    EXPECT_LE(largest, Pop3Session::kReplyTextLimit);
    EXPECT_GT(largest, Pop3Session::kReplyTextLimit - 8192);
    EXPECT_EQ(h.api.sentTexts(), (Strings{"USER taro", "PASS secret", "STAT", "TOP 1 10", "QUIT"}));
    EXPECT_EQ(h.list.mailCount(), 0u);
    EXPECT_EQ(h.doneAt.size(), 1u);
    EXPECT_TRUE(h.boxes.boxes.empty());
}

TEST(Pop3Session, OpenFailuresAreReportedAndLeaveTheTimeUpToMoveOn) {
    {
        SessionHarness h;
        h.session.openSession(h.account("  "));
        EXPECT_EQ(h.boxes.texts(), Strings{"相手先が指定されていません"});
        EXPECT_EQ(h.api.socketsCreated(), 0);
        EXPECT_EQ(h.api.startupCount(), h.api.cleanupCount());
    }
    {
        SessionHarness h;
        h.api.addServer("pop.example").setConnect(FakePop3Server::Connect::RefuseNow, 10061);
        h.session.openSession(h.account("pop.example"));
        h.loop.drain();
        EXPECT_EQ(h.boxes.texts(), Strings{"接続が拒否されちゃったよ"});
        EXPECT_EQ(h.api.openSocketCount(), 0);
        EXPECT_EQ(h.api.startupCount(), 1);
        EXPECT_EQ(h.api.cleanupCount(), 1);
        EXPECT_EQ(h.session.pop3Step, Pop3Session::kGreeting);
        EXPECT_EQ(h.layer.socketPhase, "0");
        EXPECT_TRUE(h.doneAt.empty());
    }
}

TEST(Pop3Session, ClosesTheLastAccountsConnectionBeforeOpeningTheNext) {
    SessionHarness h;
    auto& first = h.api.addServer("one.example");
    first.setMailbox(mailbox(1));
    first.on("QUIT", FakeReply::silence());  // never answers QUIT: its connection stays open
    h.api.addServer("two.example").setMailbox(mailbox(2));

    h.session.openSession(h.account("one.example"));
    h.loop.runUntil([&] { return h.doneAt.size() == 1; });
    h.loop.advanceBy(1000);
    ASSERT_EQ(h.api.openSocketCount(), 1);

    h.state.currentAccountNumber = 2;
    h.runSession("two.example");
    EXPECT_EQ(h.api.socketsReplacedWhileOpen(), 0);
    EXPECT_EQ(h.api.startupCount(), h.api.cleanupCount());
    EXPECT_EQ(h.api.sentTexts("two.example"), expectedCommands(2, 10));
    EXPECT_EQ(h.list.mailCount(), 3u);
    EXPECT_EQ(h.api.sendsWithoutConnection(), 0);
}

TEST(Pop3Session, ANewSessionBegunDuringABoxIsNotHandedOverByTheOldOne) {
    SessionHarness h;
    auto& first = h.api.addServer("one.example");
    first.setMailbox(mailbox(1));
    first.on("STAT", FakeReply::err(" locked\r\n"));
    h.api.addServer("two.example").setMailbox(mailbox(1));
    bool reopened = false;
    h.boxes.whileShown = [&](const test::RecordingMessageBoxes::Box&) {
        if (!reopened) {
            reopened = true;  // the user starts a new check while the box is open
            h.session.openSession(h.account("two.example"));
        }
    };
    h.runSession("one.example");
    h.loop.advanceBy(5000);
    // Only the new session handed its account over, after its own QUIT.
    EXPECT_EQ(h.doneAt.size(), 1u);
    EXPECT_EQ(h.api.sentTexts("one.example"), (Strings{"USER taro", "PASS secret", "STAT"}));
    EXPECT_EQ(h.api.sentTexts("two.example"), expectedCommands(1, 10));
    EXPECT_EQ(h.api.sendsWithoutConnection(), 0);
}

TEST(Pop3Session, ANewSessionBegunInsideASendKeepsItsOwnRouting) {
    SessionHarness h;
    auto& first = h.api.addServer("one.example");
    first.setMailbox(mailbox(1));
    first.setLatency(50);
    auto& second = h.api.addServer("two.example");
    second.setMailbox(mailbox(1));
    second.setConnectDelay(100);
    second.setLatency(100);
    // Due when the first server's greeting arrives; what it posts then runs in the next pump,
    // the one inside the USER send, as a menu command would.
    auto interrupt = h.loop.createTimer();
    interrupt->setInterval(50);
    interrupt->setHandler([&] {
        interrupt->setEnabled(false);
        h.loop.post([&] { h.session.openSession(h.account("two.example")); });
    });
    interrupt->setEnabled(true);
    h.runSession("one.example");
    EXPECT_EQ(h.api.sentTexts("one.example"), Strings{"USER taro"});
    EXPECT_EQ(h.api.sentTexts("two.example"), expectedCommands(1, 10));
    EXPECT_EQ(h.doneAt.size(), 1u);
}

}  // namespace
}  // namespace velkora
