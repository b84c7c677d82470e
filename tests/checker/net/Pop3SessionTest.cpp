#include "checker/net/Pop3Session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "checker/check/CheckState.h"
#include "checker/check/HeaderExtractor.h"
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
    const std::string k = std::to_string(n);
    return "Return-Path: <sender" + k + "@example.com>\r\nFrom: sender" + k +
           "@example.com\r\nSubject: Message " + k + "\r\n\r\nFirst line of " + k +
           "\r\nSecond line\r\n";
}

Strings mailbox(int count) {
    Strings out;
    for (int n = 1; n <= count; ++n) {
        out.push_back(message(n));
    }
    return out;
}

Strings expectedCommands(int messages, int lines = 10) {
    Strings out{"USER taro", "PASS secret", "STAT"};
    for (int n = 1; n <= messages; ++n) {
        out.push_back(Pop3Session::topCommand(static_cast<int16_t>(n), lines));
    }
    out.push_back("QUIT");
    return out;
}

// One session on the real socket layer over the fake network, in virtual time; the server
// "pop.example" is there from the start.
struct SessionHarness {
    SessionHarness() {
        settings.Option3value = 0;  // boxes shown, so that tests can see them
        settings.accountColours.resize(4);
        state.currentAccountNumber = 1;
        session.onAccountDone = [this] { doneAt.push_back(loop.now()); };
        // Recorded as the check records it.
        session.onMessageCount = [this](std::optional<int16_t> count) {
            if (!state.mailListReset) {
                list.reset();
                state.mailListReset = true;
            }
            if (count) {
                state.totalMessages =
                    static_cast<int16_t>(std::min(32767, state.totalMessages + *count));
            }
        };
        session.onMessage = [this](const std::string& reply) {
            extractHeaders(reply, state.currentAccountNumber, settings, list);
        };
        session.onError = [this](const std::string& text) {
            if (settings.Option3value == 0) {
                boxes.show(MessageIcon::Stop, "Velkora", text);
            }
        };
    }

    static Account account(const std::string& host) {
        Account a;
        a.Aname = "Main";
        a.Hname = host;
        a.Uname = "taro";
        a.Passw = "secret";
        return a;
    }

    // Runs until the session has handed its account over and no connection is left open.
    void runSession(const std::string& host = "pop.example") {
        session.openSession(account(host));
        loop.runUntil([&] { return !doneAt.empty() && api.openSocketCount() == 0; });
    }

    // The cell without the space that may follow the field name.
    std::string cell(std::size_t row, int column) const {
        const std::string& text = list.cell(row, column);
        return text.rfind(' ', 0) == 0 ? text.substr(1) : text;
    }

    test::SimulatedEventLoop loop;
    test::FakeSocketApi api{loop};
    FakePop3Server& server = api.addServer("pop.example");
    test::RecordingMessageBoxes boxes;
    AppSettings settings;
    SocketLayer layer{api, loop};
    CheckState state;
    MailList list;
    Pop3Session session{layer, loop, settings};
    std::vector<int64_t> doneAt;
};

TEST(Pop3Session, ListsEveryMessageWhateverTheCountTheSettingsAndTheChunking) {
    using Delivery = FakePop3Server::Delivery;
    struct Case {
        int messages;
        int16_t check1value;
        int16_t talkcnt;
        int lines;  // asked for in each TOP
        Delivery delivery;
        std::size_t pieceSize;
    };
    for (const Case c :
         {Case{0, 1, 10, 10, Delivery::WholeReply, 64},
          Case{1, 1, 10, 10, Delivery::WholeReply, 64},
          Case{3, 1, 10, 10, Delivery::WholeReply, 64},
          Case{3, 0, 7, 5, Delivery::StatusLineFirst, 64},
          Case{2, 1, 3, 3, Delivery::WholeReply, 64}, Case{3, 1, 10, 10, Delivery::Dribble, 1},
          Case{3, 1, 10, 10, Delivery::Dribble, 5}}) {
        SCOPED_TRACE(std::to_string(c.messages) + " messages, Check1value " +
                     std::to_string(c.check1value) + ", Talkcnt " + std::to_string(c.talkcnt) +
                     ", pieces of " + std::to_string(c.pieceSize));
        SessionHarness h;
        h.settings.Check1value = c.check1value;
        h.settings.Talkcnt = c.talkcnt;
        h.server.setMailbox(mailbox(c.messages));
        h.server.setDelivery(c.delivery, c.pieceSize, 2);
        h.server.setGreeting(FakeReply::dribble("+OK ready\r\n", c.pieceSize));
        h.runSession();
        EXPECT_EQ(h.api.sentTexts(), expectedCommands(c.messages, c.lines));
        ASSERT_EQ(h.list.mailCount(), static_cast<std::size_t>(c.messages));
        for (std::size_t n = 1; n <= h.list.mailCount(); ++n) {
            const std::string k = std::to_string(n);
            EXPECT_EQ(h.cell(n, MailList::kSenderColumn), "sender" + k + "@example.com");
            EXPECT_EQ(h.cell(n, MailList::kSubjectColumn), "Message " + k);
            EXPECT_EQ(h.list.cell(n, MailList::kAccountColumn), "1");
            // The whole body, and nothing of the reply's framing.
            EXPECT_EQ(h.list.cell(n, MailList::kBodyColumn),
                      "\u3000First line of " + k + "\u3000Second line\u3000");
        }
        EXPECT_EQ(h.state.totalMessages, c.messages);
        EXPECT_EQ(h.doneAt.size(), 1u);
        EXPECT_EQ(h.session.pop3Step(), Pop3Session::kGreeting);  // the QUIT reply closed it
        EXPECT_EQ(h.layer.socketPhase(), "0");
        EXPECT_EQ(h.api.startupCount(), h.api.cleanupCount());
        EXPECT_TRUE(h.boxes.boxes.empty());
        EXPECT_EQ(h.api.sendsWithoutConnection(), 0);
    }
}

TEST(Pop3Session, ReplyLinesAreMailTextAndMissingHeadersDoNotStallTheAccount) {
    SessionHarness h;
    h.server.setMailbox({"From: a@example.com\r\n\r\n-ERR is text here\r\n+OK too\r\n.dot\r\n",
                         "Subject: no sender\r\n\r\nbody\r\n", message(3)});
    h.runSession();
    EXPECT_EQ(h.api.sentTexts(), expectedCommands(3));
    ASSERT_EQ(h.list.mailCount(), 3u);
    EXPECT_EQ(h.cell(1, MailList::kSenderColumn), "a@example.com");
    EXPECT_EQ(h.list.cell(1, MailList::kSubjectColumn), "");
    // Lines the server stuffed with a second dot come back with one.
    EXPECT_EQ(h.list.cell(1, MailList::kBodyColumn),
              "\u3000-ERR is text here\u3000+OK too\u3000.dot\u3000");
    EXPECT_EQ(h.list.cell(2, MailList::kSenderColumn), "");
    EXPECT_EQ(h.cell(2, MailList::kSubjectColumn), "no sender");
    EXPECT_EQ(h.cell(3, MailList::kSubjectColumn), "Message 3");
    EXPECT_TRUE(h.boxes.boxes.empty());
}

TEST(Pop3Session, WaitsForTheEndOfATopReplyAndNeverWritesAnEmptyLine) {
    SessionHarness h;
    h.server.setMailbox(mailbox(2));
    // The status line alone, then the header in two parts a second apart each.
    h.server.on("TOP 1",
                FakeReply::pieces({"+OK 120 octets\r\n", "Subject: Message 1\r\nX-A: 1\r\n",
                                   "fRoM: first@example.com\r\n\r\nbody\r\n.\r\n"},
                                  1000));
    h.session.openSession(h.account("pop.example"));
    h.loop.runUntil([&] { return h.session.pop3Step() == Pop3Session::kTopSent; });
    h.loop.advanceBy(1500);  // the status line and the subject are in, not the end
    EXPECT_EQ(h.list.mailCount(), 0u);
    EXPECT_EQ(h.api.sentTexts().back(), "TOP 1 10");
    EXPECT_NE(h.session.replyText().find("Subject: Message 1"), std::string::npos);

    h.loop.runUntil([&] { return !h.doneAt.empty(); });
    EXPECT_EQ(h.list.mailCount(), 2u);
    EXPECT_EQ(h.cell(1, MailList::kSenderColumn), "first@example.com");
    EXPECT_EQ(h.api.sentTexts(), expectedCommands(2));
    // No empty command line went out for the incomplete reply.
    EXPECT_EQ(h.api.rawSent().find("\r\n\r\n"), std::string::npos);
    EXPECT_EQ(h.api.rawSent().rfind("\r\n", 0), std::string::npos);
}

TEST(Pop3Session, ErrRepliesShowTheServerTextAndEndTheAccount) {
    const std::string reason = " パスワードが違います\r\n";
    struct Case {
        const char* command;  // "" for the greeting
        FakeReply reply;
        int16_t option3;
        std::size_t commandsSent;  // of the full sequence, before a QUIT
        bool quit;
        std::string box;  // "" for none
    };
    const Case cases[] = {
        // A refused greeting has no conversation to end with QUIT.
        {"", FakeReply::err(reason), 0, 0, false, reason},
        {"USER", FakeReply::err(reason), 0, 1, true, reason},
        {"PASS", FakeReply::err(reason), 0, 2, true, reason},
        {"STAT", FakeReply::err(reason), 0, 3, true, reason},
        {"TOP 1", FakeReply::err(reason), 0, 4, true, reason},
        {"TOP 2", FakeReply::err(reason), 0, 5, true, reason},
        // A bare "-ERR" explains nothing: no empty box, but the account ends all the same.
        {"PASS", FakeReply::raw("-ERR\r\n"), 0, 2, true, ""},
        {"PASS", FakeReply::pieces({"-ERR", "\r\n"}), 0, 2, true, ""},
        {"USER", FakeReply::err(reason), 1, 1, true, ""},
    };
    const Strings all = expectedCommands(2);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.command) + ", Option3value " + std::to_string(c.option3) +
                     (c.box.empty() ? ", no box" : ""));
        SessionHarness h;
        h.settings.Option3value = c.option3;
        h.server.setMailbox(mailbox(2));
        h.server.setLatency(10);
        if (*c.command == '\0') {
            h.server.setGreeting(c.reply);
        } else {
            h.server.on(c.command, c.reply);
        }
        h.runSession();

        Strings expected(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(c.commandsSent));
        if (c.quit) {
            expected.push_back("QUIT");
        }
        EXPECT_EQ(h.api.sentTexts(), expected);
        EXPECT_EQ(h.boxes.texts(), c.box.empty() ? Strings{} : Strings{c.box});
        for (const auto& box : h.boxes.boxes) {
            EXPECT_EQ(box.title, "Velkora");
            EXPECT_EQ(box.icon, MessageIcon::Stop);
        }
        // Handed over with the QUIT, not after its reply: the next account's second runs from
        // there.
        ASSERT_EQ(h.doneAt.size(), 1u);
        if (c.quit) {
            EXPECT_EQ(h.doneAt[0], h.api.sent().back().at);
        }
        EXPECT_EQ(h.session.pop3Step(), Pop3Session::kGreeting);
        EXPECT_EQ(h.api.startupCount(), h.api.cleanupCount());
        // The message before the failing TOP is kept; the rest of the account is skipped.
        EXPECT_EQ(h.list.mailCount(), c.commandsSent == 5 ? 1u : 0u);
    }
}

TEST(Pop3Session, ReceiveFailureClosesAtOnceAndSendsNothingMore) {
    SessionHarness h;
    h.server.setMailbox(mailbox(1));
    h.server.on("PASS", FakeReply::failReceive(10054));
    h.runSession();
    EXPECT_EQ(h.api.sentTexts(), (Strings{"USER taro", "PASS secret"}));
    EXPECT_EQ(h.boxes.texts(), Strings{"リモートホストから切断されたよ"});
    EXPECT_EQ(h.session.pop3Step(), Pop3Session::kQuitSent);
    EXPECT_EQ(h.layer.socketPhase(), "0");
    EXPECT_EQ(h.doneAt.size(), 1u);
    // A later QUIT (the time-up's) finds no connection and sends nothing.
    h.session.quitNow();
    h.session.sendQuit();
    EXPECT_EQ(h.api.sentTexts().size(), 2u);
    EXPECT_EQ(h.api.sendsWithoutConnection(), 0);
    EXPECT_EQ(h.boxes.boxes.size(), 1u);

    SessionHarness g;
    g.server.setGreeting(FakeReply::failReceive(10053));
    g.runSession();
    EXPECT_EQ(g.session.pop3Step(), Pop3Session::kGreeting);
    EXPECT_EQ(g.boxes.texts(), Strings{"ネットワーク不良で接続が中止されたよ"});
    EXPECT_TRUE(g.api.sentTexts().empty());
}

TEST(Pop3Session, StatCountsAreReadStrictlyAndTheTotalSaturates) {
    struct Case {
        std::string reply;  // "" for the server's own
        int16_t totalBefore;
        int listed;  // -1: the account ends after STAT
        int16_t totalAfter;
    };
    const Case cases[] = {
        // Malformed, or more messages than a 16-bit count holds: no count at all.
        {"+OK\r\n", 4, -1, 4},
        {"+OK x 100\r\n", 4, -1, 4},
        {"+OK -1 5\r\n", 4, -1, 4},
        {"+OK  3 100\r\n", 4, -1, 4},
        {"+OK 32768 1\r\n", 4, -1, 4},
        {"+OK 3\r\n", 4, 3, 7},  // terse, without the maildrop's size
        {"", 32766, 3, 32767},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        SessionHarness h;
        h.state.totalMessages = c.totalBefore;
        h.server.setMailbox(mailbox(3));
        if (!c.reply.empty()) {
            h.server.on("STAT", FakeReply::raw(c.reply));
        }
        h.runSession();
        const Strings ended{"USER taro", "PASS secret", "STAT", "QUIT"};
        EXPECT_EQ(h.api.sentTexts(), c.listed < 0 ? ended : expectedCommands(c.listed));
        EXPECT_EQ(h.list.mailCount(), static_cast<std::size_t>(std::max(c.listed, 0)));
        EXPECT_EQ(h.session.messageCount(), std::max(c.listed, 0));
        EXPECT_EQ(h.state.totalMessages, c.totalAfter);
        EXPECT_TRUE(h.boxes.boxes.empty());
        EXPECT_EQ(h.doneAt.size(), 1u);
    }
}

TEST(Pop3Session, ResetsTheListOnlyAtTheChecksFirstStat) {
    struct Case {
        bool resetAlready;
        bool failBeforeStat;
        std::size_t rowsLeft;
    };
    for (const Case c : {Case{false, false, 0}, Case{true, false, 1}, Case{false, true, 1}}) {
        SCOPED_TRACE(std::string(c.resetAlready ? "later account" : "first STAT") +
                     (c.failBeforeStat ? ", failing" : ""));
        SessionHarness h;
        h.state.currentAccountNumber = 2;
        h.state.mailListReset = c.resetAlready;
        h.list.addRow({"old", "old subject", 3, "body"}, {});
        if (c.failBeforeStat) {
            h.server.on("PASS", FakeReply::err(" no\r\n"));
        }
        h.runSession();
        EXPECT_EQ(h.list.mailCount(), c.rowsLeft);
        EXPECT_EQ(h.state.totalMessages, 0);
    }
}

TEST(Pop3Session, AServerStreamingWithoutEndingItsReplyIsCutOffAtTheBound) {
    SessionHarness h;
    h.server.setMailbox(mailbox(2));
    h.server.on("TOP 1", FakeReply::pieces(Strings(300, std::string(4096, 'x'))));  // 1.2 MiB
    std::size_t largest = 0;
    h.layer.onReply = [&](const ReceivedChunk& chunk) {
        h.session.handleReply(chunk);
        largest = std::max(largest, h.session.replyText().size());
    };
    h.runSession();
    EXPECT_LE(largest, Pop3Session::kReplyTextLimit);
    EXPECT_GT(largest, Pop3Session::kReplyTextLimit - 8192);
    EXPECT_EQ(h.api.sentTexts(), (Strings{"USER taro", "PASS secret", "STAT", "TOP 1 10", "QUIT"}));
    EXPECT_EQ(h.list.mailCount(), 0u);
    EXPECT_EQ(h.doneAt.size(), 1u);
    EXPECT_TRUE(h.boxes.boxes.empty());
}

TEST(Pop3Session, OpenFailuresAreReportedAndLeaveTheTimeUpToMoveOn) {
    SessionHarness h;
    h.session.openSession(h.account("  "));
    EXPECT_EQ(h.boxes.texts(), Strings{"相手先が指定されていません"});
    EXPECT_EQ(h.api.socketsCreated(), 0);

    h.boxes.boxes.clear();
    h.server.refuseConnections(10061);
    h.session.openSession(h.account("pop.example"));
    h.loop.drain();
    EXPECT_EQ(h.boxes.texts(), Strings{"接続が拒否されちゃったよ"});
    EXPECT_EQ(h.api.openSocketCount(), 0);
    EXPECT_EQ(h.api.startupCount(), 1);
    EXPECT_EQ(h.api.cleanupCount(), 1);
    EXPECT_EQ(h.session.pop3Step(), Pop3Session::kGreeting);
    EXPECT_EQ(h.layer.socketPhase(), "0");
    EXPECT_TRUE(h.doneAt.empty());
}

TEST(Pop3Session, ClosesTheLastAccountsConnectionBeforeOpeningTheNext) {
    SessionHarness h;
    h.server.setMailbox(mailbox(1));
    h.server.on("QUIT", FakeReply::silence());  // never answers QUIT: its connection stays open
    h.api.addServer("two.example").setMailbox(mailbox(2));
    h.session.openSession(h.account("pop.example"));
    h.loop.runUntil([&] { return h.doneAt.size() == 1; });
    h.loop.advanceBy(1000);
    ASSERT_EQ(h.api.openSocketCount(), 1);

    h.state.currentAccountNumber = 2;
    h.runSession("two.example");
    EXPECT_EQ(h.api.socketsReplacedWhileOpen(), 0);
    EXPECT_EQ(h.api.startupCount(), h.api.cleanupCount());
    EXPECT_EQ(h.api.sentTexts("two.example"), expectedCommands(2));
    EXPECT_EQ(h.list.mailCount(), 3u);
    EXPECT_EQ(h.api.sendsWithoutConnection(), 0);
}

TEST(Pop3Session, ANewSessionBegunDuringABoxIsNotHandedOverByTheOldOne) {
    SessionHarness h;
    h.server.setMailbox(mailbox(1));
    h.server.on("STAT", FakeReply::err(" locked\r\n"));
    h.api.addServer("two.example").setMailbox(mailbox(1));
    bool reopened = false;
    h.boxes.whileShown = [&](const test::RecordingMessageBoxes::Box&) {
        if (!std::exchange(reopened, true)) {  // a new check begun while the box is open
            h.session.openSession(h.account("two.example"));
        }
    };
    h.runSession();
    h.loop.advanceBy(5000);
    // Only the new session handed its account over, after its own QUIT.
    EXPECT_EQ(h.doneAt.size(), 1u);
    EXPECT_EQ(h.api.sentTexts("pop.example"), (Strings{"USER taro", "PASS secret", "STAT"}));
    EXPECT_EQ(h.api.sentTexts("two.example"), expectedCommands(1));
    EXPECT_EQ(h.api.sendsWithoutConnection(), 0);
}

TEST(Pop3Session, ANewSessionBegunInsideASendKeepsItsOwnRouting) {
    SessionHarness h;
    h.server.setMailbox(mailbox(1));
    h.server.setLatency(50);
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
    h.runSession();
    EXPECT_EQ(h.api.sentTexts("pop.example"), Strings{"USER taro"});
    EXPECT_EQ(h.api.sentTexts("two.example"), expectedCommands(1));
    EXPECT_EQ(h.doneAt.size(), 1u);
}

}  // namespace
}  // namespace velkora
