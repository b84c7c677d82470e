#include "checker/net/Pop3Session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "checker/net/SocketLayer.h"
#include "common/AppSettings.h"
#include "tests/support/FakeSocketApi.h"
#include "tests/support/SimulatedEventLoop.h"

namespace velkora {
namespace {

using test::FakePop3Server;
using test::FakeReply;
using test::twice;
using Strings = std::vector<std::string>;
using Counts = std::vector<std::optional<int16_t>>;

std::string message(int n) {
    const std::string k = std::to_string(n);
    return "From: sender" + k + "@example.com\r\nSubject: Message " + k + "\r\n\r\nFirst line of " +
           k + "\r\nSecond line\r\n";
}

Strings mailbox(int count) {
    Strings out;
    for (int n = 1; n <= count; ++n) {
        out.push_back(message(n));
    }
    return out;
}

// The replies the session reports for a mailbox of messages from message(): the TOP reply's
// status line, then the message, without the closing "." line.
Strings replies(int count) {
    Strings out;
    for (int n = 1; n <= count; ++n) {
        out.push_back("+OK\r\n" + message(n));
    }
    return out;
}

Strings expectedCommands(int messages, int lines = 10) {
    return test::sessionCommands("taro", "secret", test::firstMessages(messages), lines);
}

// Commands of a session that asks for the unique ids and fetches the given messages.
Strings cachedCommands(const std::vector<int>& fetched, int lines = 10) {
    return test::sessionCommands("taro", "secret", fetched, lines, true);
}

// One session on the socket layer over the fake network, in virtual time, with its reports
// recorded; the server "pop.example" is there from the start.
struct SessionHarness {
    SessionHarness() {
        session.onMessageCount = [this](std::optional<int16_t> count) { counts.push_back(count); };
        session.onMessage = [this](const std::string& reply) { messages.push_back(reply); };
        session.onAccountDone = [this] { doneAt.push_back(loop.now()); };
        session.onError = [this](const std::string& text) {
            errors.push_back(text);
            if (whileReporting) {
                whileReporting();
            }
        };
    }

    static Account account(const std::string& host) {
        return {.Aname = "Main", .Hname = host, .Uname = "taro", .Passw = "secret"};
    }

    // Runs until the session has handed its account over and no connection is left open.
    void runSession(const std::string& host = "pop.example") {
        session.openSession(account(host));
        loop.runUntil([&] { return !doneAt.empty() && api.openSocketCount() == 0; });
    }

    test::SimulatedEventLoop loop;
    test::FakeSocketApi api{loop};
    FakePop3Server& server = api.addServer("pop.example");
    AppSettings settings;
    SocketLayer layer{api, loop};
    Pop3Session session{layer, loop, settings};
    Counts counts;
    Strings messages;
    Strings errors;
    std::vector<int64_t> doneAt;
    std::function<void()> whileReporting;  // runs inside the error report, as a box would
};

TEST(Pop3Session, ReportsEveryReplyWhateverTheCountTheSettingsAndTheChunking) {
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
        EXPECT_EQ(h.counts, Counts{static_cast<int16_t>(c.messages)});
        // Each reply whole, and nothing of its framing.
        EXPECT_EQ(h.messages, replies(c.messages));
        EXPECT_EQ(h.doneAt.size(), 1u);
        EXPECT_EQ(h.session.pop3Step(), Pop3Session::kGreeting);  // the QUIT reply closed it
        EXPECT_EQ(h.layer.socketPhase(), "0");
        EXPECT_EQ(h.api.startupCount(), h.api.cleanupCount());
        EXPECT_TRUE(h.errors.empty());
        EXPECT_EQ(h.api.sendsWithoutConnection(), 0);
    }
}

TEST(Pop3Session, ReplyLinesAreMailTextAndTheReplyEndsOnlyWithItsClosingLine) {
    SessionHarness h;
    h.server.setMailbox(
        {"From: a@example.com\r\n\r\n-ERR is text here\r\n+OK too\r\n.dot\r\n", message(2)});
    // The status line alone, then the second header in two parts a second apart each.
    h.server.on("TOP 2",
                FakeReply::pieces({"+OK 120 octets\r\n", "Subject: Message 2\r\nX-A: 1\r\n",
                                   "fRoM: first@example.com\r\n\r\nbody\r\n.\r\n"},
                                  1000));
    h.session.openSession(h.account("pop.example"));
    h.loop.runUntil([&] { return h.messages.size() == 1; });
    h.loop.advanceBy(1500);  // the status line and the subject are in, not the end
    EXPECT_EQ(h.messages.size(), 1u);
    EXPECT_NE(h.session.replyText().find("Subject: Message 2"), std::string::npos);

    h.loop.runUntil([&] { return !h.doneAt.empty(); });
    // Lines the server stuffed with a second dot come back with one; "-ERR" and "+OK" inside
    // a reply are mail text; a reply without a Subject is complete all the same.
    EXPECT_EQ(h.messages,
              (Strings{"+OK\r\nFrom: a@example.com\r\n\r\n-ERR is text here\r\n+OK too\r\n.dot\r\n",
                       "+OK 120 octets\r\nSubject: Message 2\r\nX-A: 1\r\n"
                       "fRoM: first@example.com\r\n\r\nbody\r\n"}));
    EXPECT_EQ(h.api.sentTexts(), expectedCommands(2));
    // No empty command line went out for the incomplete reply.
    EXPECT_EQ(h.api.rawSent().find("\r\n\r\n"), std::string::npos);
    EXPECT_TRUE(h.errors.empty());
}

TEST(Pop3Session, ErrRepliesReportTheServerTextAndEndTheAccount) {
    const std::string reason = " パスワードが違います\r\n";
    struct Case {
        const char* command;  // "" for the greeting
        FakeReply reply;
        std::size_t commandsSent;  // of the full sequence, before a QUIT
        bool quit;
        std::string error;  // "" for none
    };
    const Case cases[] = {
        // A refused greeting has no conversation to end with QUIT.
        {"", FakeReply::err(reason), 0, false, reason},
        {"USER", FakeReply::err(reason), 2, true, reason},
        {"PASS", FakeReply::err(reason), 3, true, reason},
        {"STAT", FakeReply::err(reason), 4, true, reason},
        {"TOP 1", FakeReply::err(reason), 5, true, reason},
        {"TOP 2", FakeReply::err(reason), 6, true, reason},
        // A bare "-ERR" explains nothing: no empty report, but the account ends all the same.
        {"PASS", FakeReply::raw("-ERR\r\n"), 3, true, ""},
        {"PASS", FakeReply::pieces({"-ERR", "\r\n"}), 3, true, ""},
    };
    const Strings all = expectedCommands(2);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.command) + (c.error.empty() ? ", bare" : ""));
        SessionHarness h;
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
        EXPECT_EQ(h.errors, c.error.empty() ? Strings{} : Strings{c.error});
        // Handed over with the QUIT, not after its reply: the next account's second runs from
        // there.
        ASSERT_EQ(h.doneAt.size(), 1u);
        if (c.quit) {
            EXPECT_EQ(h.doneAt[0], h.api.sent().back().at);
        }
        EXPECT_EQ(h.session.pop3Step(), Pop3Session::kGreeting);
        EXPECT_EQ(h.api.startupCount(), h.api.cleanupCount());
        // The message before the failing TOP is kept; the rest of the account is skipped.
        EXPECT_EQ(h.messages.size(), c.commandsSent == 6 ? 1u : 0u);
    }
}

TEST(Pop3Session, ReceiveFailureClosesAtOnceAndSendsNothingMore) {
    SessionHarness h;
    h.server.setMailbox(mailbox(1));
    h.server.on("PASS", FakeReply::failReceive(10054));
    h.runSession();
    EXPECT_EQ(h.api.sentTexts(), (Strings{"CAPA", "USER taro", "PASS secret"}));
    EXPECT_EQ(h.errors, Strings{"リモートホストから切断されたよ"});
    EXPECT_EQ(h.session.pop3Step(), Pop3Session::kQuitSent);
    EXPECT_EQ(h.layer.socketPhase(), "0");
    EXPECT_EQ(h.doneAt.size(), 1u);

    SessionHarness g;
    g.server.setGreeting(FakeReply::failReceive(10053));
    g.runSession();
    EXPECT_EQ(g.session.pop3Step(), Pop3Session::kGreeting);
    EXPECT_EQ(g.errors, Strings{"ネットワーク不良で接続が中止されたよ"});
    EXPECT_TRUE(g.api.sentTexts().empty());
}

TEST(Pop3Session, StatCountsAreReadStrictly) {
    struct Case {
        std::string reply;
        std::optional<int16_t> count;  // none: the account ends after STAT
    };
    // Malformed, or more messages than a 16-bit count holds: no count at all.
    const Case cases[] = {
        {"+OK\r\n", {}},         {"+OK x 100\r\n", {}},
        {"+OK -1 5\r\n", {}},    {"+OK  3 100\r\n", {}},
        {"+OK 32768 1\r\n", {}}, {"+OK 3\r\n", int16_t{3}}};  // terse, without the maildrop's size
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        SessionHarness h;
        h.server.setMailbox(mailbox(3));
        h.server.on("STAT", FakeReply::raw(c.reply));
        h.runSession();
        const Strings ended{"CAPA", "USER taro", "PASS secret", "STAT", "QUIT"};
        EXPECT_EQ(h.api.sentTexts(), c.count ? expectedCommands(*c.count) : ended);
        EXPECT_EQ(h.counts, Counts{c.count});
        EXPECT_EQ(h.messages.size(), static_cast<std::size_t>(c.count.value_or(0)));
        EXPECT_TRUE(h.errors.empty());
        EXPECT_EQ(h.doneAt.size(), 1u);
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
    EXPECT_EQ(h.api.sentTexts(),
              (Strings{"CAPA", "USER taro", "PASS secret", "STAT", "TOP 1 10", "QUIT"}));
    EXPECT_TRUE(h.messages.empty());
    EXPECT_EQ(h.doneAt.size(), 1u);
    EXPECT_TRUE(h.errors.empty());
}

TEST(Pop3Session, OpenFailuresAreReportedAndLeaveTheTimeUpToMoveOn) {
    SessionHarness h;
    h.session.openSession(h.account("  "));
    EXPECT_EQ(h.errors, Strings{"相手先が指定されていません"});
    EXPECT_EQ(h.api.socketsCreated(), 0);

    // Refused at once at an address typed as the host: reported, and the time-up moves on.
    h.errors.clear();
    h.server.refuseConnections(10061);
    h.session.openSession(h.account("10.0.0.1"));
    h.loop.drain();
    EXPECT_EQ(h.errors, Strings{"接続が拒否されちゃったよ"});
    EXPECT_EQ(h.api.openSocketCount(), 0);
    EXPECT_EQ(h.api.startupCount(), h.api.cleanupCount());
    EXPECT_EQ(h.session.pop3Step(), Pop3Session::kGreeting);
    EXPECT_EQ(h.layer.socketPhase(), "0");
    EXPECT_TRUE(h.doneAt.empty());

    // Behind a name the connection begins in an event of its own, as a refusal found later
    // would: reported, and the account is handed over at once.
    for (const char* host : {"pop.example", "unknown.example"}) {
        SCOPED_TRACE(host);
        h.errors.clear();
        h.doneAt.clear();
        h.session.openSession(h.account(host));
        EXPECT_TRUE(h.errors.empty()) << "nothing waits for the lookup";
        h.loop.drain();
        EXPECT_EQ(h.errors, Strings{std::string(host) == "pop.example" ? "接続が拒否されちゃったよ"
                                                                       : "ホストが見つからないよ"});
        EXPECT_EQ(h.doneAt.size(), 1u);
        EXPECT_EQ(h.api.openSocketCount(), 0);
        EXPECT_EQ(h.session.pop3Step(), Pop3Session::kGreeting);
    }
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

    h.runSession("two.example");
    EXPECT_EQ(h.api.socketsReplacedWhileOpen(), 0);
    EXPECT_EQ(h.api.startupCount(), h.api.cleanupCount());
    EXPECT_EQ(h.api.sentTexts("two.example"), expectedCommands(2));
    EXPECT_EQ(h.messages.size(), 3u);
    EXPECT_EQ(h.api.sendsWithoutConnection(), 0);
}

TEST(Pop3Session, ANewSessionBegunWhileAnErrorIsReportedIsNotHandedOverByTheOldOne) {
    SessionHarness h;
    h.server.setMailbox(mailbox(1));
    h.server.on("STAT", FakeReply::err(" locked\r\n"));
    h.api.addServer("two.example").setMailbox(mailbox(1));
    h.whileReporting = [&, again = true]() mutable {
        if (std::exchange(again, false)) {  // a new check begun while the box is open
            h.session.openSession(h.account("two.example"));
        }
    };
    h.runSession();
    h.loop.advanceBy(5000);
    // Only the new session handed its account over, after its own QUIT.
    EXPECT_EQ(h.doneAt.size(), 1u);
    EXPECT_EQ(h.api.sentTexts("pop.example"),
              (Strings{"CAPA", "USER taro", "PASS secret", "STAT"}));
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
    // the one inside the CAPA send, as a menu command would.
    auto interrupt = h.loop.createTimer();
    interrupt->setInterval(50);
    interrupt->setHandler([&] {
        interrupt->setEnabled(false);
        h.loop.post([&] { h.session.openSession(h.account("two.example")); });
    });
    interrupt->setEnabled(true);
    h.runSession();
    EXPECT_EQ(h.api.sentTexts("pop.example"), Strings{"CAPA"});
    EXPECT_EQ(h.api.sentTexts("two.example"), expectedCommands(1));
    EXPECT_EQ(h.doneAt.size(), 1u);
}

TEST(Pop3Session, EveryLineOfAChunkIsJudgedAndLinesSentBeforeACommandAnswerNothing) {
    // A second greeting line, a notice before the greeting, a notice after the USER reply:
    // each reply is still judged as the answer to its own command.
    const std::vector<std::pair<const char*, FakeReply>> servers = {
        {"", FakeReply::raw("+OK ready\r\n+OK banner\r\n")},
        {"", FakeReply::raw("* hello\r\n+OK ready\r\n")},
        {"USER", FakeReply::raw("+OK\r\n+OK notice: mail is kept for 30 days\r\n")},
        {"STAT", FakeReply::raw("+OK 2 320\r\n-ERR notice\r\n")},
    };
    for (const auto& [command, reply] : servers) {
        SCOPED_TRACE(*command == '\0' ? "greeting" : command);
        SessionHarness h;
        h.server.setMailbox(mailbox(2));
        if (*command == '\0') {
            h.server.setGreeting(reply);
        } else {
            h.server.on(command, reply);
        }
        h.runSession();
        EXPECT_EQ(h.api.sentTexts(), expectedCommands(2));
        EXPECT_EQ(h.messages, replies(2));
        EXPECT_TRUE(h.errors.empty());
    }
}

TEST(Pop3Session, RepliesWhoseLinesEndInALineFeedAloneEndAtTheirDotLineToo) {
    SessionHarness h;
    h.server.setMailbox(mailbox(2));
    h.server.on("TOP 1", FakeReply::raw("+OK\nFrom: a@example.com\nSubject: bare\n\n..dot\n.\n"));
    // The dot line cut off from its line end, in a chunk of its own.
    h.server.on("TOP 2", FakeReply::pieces({"+OK\r\nSubject: cut\r\n\nbody\n", ".", "\n"}));
    h.runSession();
    EXPECT_EQ(h.messages, (Strings{"+OK\nFrom: a@example.com\nSubject: bare\n\n.dot\n",
                                   "+OK\r\nSubject: cut\r\n\nbody\n"}));
    EXPECT_EQ(h.api.sentTexts(), expectedCommands(2));
}

TEST(Pop3Session, AFailureAfterQuitEndsTheAccountOnceWithoutASecondBoxOrQuit) {
    struct Case {
        const char* name;
        const char* failing;  // the command answered with -ERR, or "" for none
        FakeReply quitReply;
        bool resetWhileReporting;  // the server goes while the box is open: QUIT cannot go out
        Strings errors;
    };
    const Case cases[] = {
        {"a reset after -ERR", "PASS", FakeReply::text("+OK\r\n"), true, {" failed\r\n"}},
        {"a reset as the answer to QUIT",
         "STAT",
         FakeReply::failReceive(10054),
         false,
         {" failed\r\n"}},
        {"-ERR as the answer to QUIT", "", FakeReply::err(" not now\r\n"), false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SessionHarness h;
        h.server.setMailbox(mailbox(1));
        if (*c.failing != '\0') {
            h.server.on(c.failing, FakeReply::err(" failed\r\n"));
        }
        h.server.on("QUIT", c.quitReply);
        if (c.resetWhileReporting) {
            h.whileReporting = [&] { h.api.breakConnection(10054); };
        }
        h.runSession();
        h.loop.advanceBy(5000);
        EXPECT_EQ(h.errors, c.errors);
        EXPECT_EQ(h.doneAt.size(), 1u);
        const Strings sent = h.api.sentTexts();
        EXPECT_LE(std::count(sent.begin(), sent.end(), "QUIT"), 1);
        if (*c.failing == '\0') {
            EXPECT_EQ(sent, expectedCommands(1));
            EXPECT_EQ(h.messages.size(), 1u);
        }
    }
}

Strings uids(int first, int count) {
    Strings out;
    for (int n = first; n < first + count; ++n) {
        out.push_back("uid-" + std::to_string(n));
    }
    return out;
}

TEST(Pop3Session, PipeliningServersGetTheirTopsInWindowsAndEveryReplyInItsTurn) {
    using Delivery = FakePop3Server::Delivery;
    struct Case {
        const char* name;
        Strings capabilities;
        Delivery delivery;
        std::size_t window;  // the most TOPs outstanding
    };
    for (const Case& c : {Case{"pipelining, replies run together",
                               {"TOP", "PIPELINING"},
                               Delivery::WholeReply,
                               Pop3Session::kPipelineWindow},
                          Case{"pipelining, replies in pieces of 7 bytes",
                               {"PIPELINING"},
                               Delivery::Dribble,
                               Pop3Session::kPipelineWindow},
                          Case{"no pipelining", {"TOP", "UIDL"}, Delivery::WholeReply, 1}}) {
        SCOPED_TRACE(c.name);
        SessionHarness h;
        h.server.setMailbox(mailbox(70));
        h.server.setCapabilities(c.capabilities);
        h.server.setCoalescing(true);
        h.server.setDelivery(c.delivery, 7, 0);
        h.server.setLatency(25);
        std::size_t mostInFlight = 0;
        h.layer.onReply = [&](const ReceivedChunk& chunk) {
            h.session.handleReply(chunk);
            mostInFlight = std::max(mostInFlight, h.session.topsInFlight());
        };
        h.runSession();
        EXPECT_EQ(h.messages, replies(70));
        EXPECT_EQ(h.api.sentTexts(), expectedCommands(70));
        EXPECT_EQ(mostInFlight, c.window);
        // The first window goes out at once, behind the STAT reply.
        const auto& sent = h.api.sent();
        const auto sameTime = std::count_if(
            sent.begin(), sent.end(), [&](const auto& line) { return line.at == sent[4].at; });
        EXPECT_EQ(static_cast<std::size_t>(sameTime), c.window);
        EXPECT_TRUE(h.errors.empty());
        EXPECT_EQ(h.doneAt.size(), 1u);
    }
}

TEST(Pop3Session, ACacheFetchesOnlyTheMessagesItHasNotSeenAndForgetsThoseThatLeft) {
    ReplyCache cache;
    SessionHarness h;
    h.session.setReplyCache(&cache);
    h.server.setCapabilities({"TOP", "UIDL", "PIPELINING"});
    h.server.setCoalescing(true);
    h.server.setMailbox(mailbox(4));
    h.server.setUids(uids(1, 4));
    h.runSession();
    EXPECT_EQ(h.api.sentTexts(), cachedCommands({1, 2, 3, 4}));
    EXPECT_EQ(h.messages, replies(4));
    EXPECT_EQ(cache.entryCount(), 4u);

    // Nothing new: no TOP at all, the same replies in the same order.
    auto check = [&] {
        const std::size_t before = h.api.sent().size();
        h.messages.clear();
        h.doneAt.clear();
        h.runSession();
        const Strings sent = h.api.sentTexts();
        return Strings(sent.begin() + static_cast<std::ptrdiff_t>(before), sent.end());
    };
    EXPECT_EQ(check(), cachedCommands({}));
    EXPECT_EQ(h.messages, replies(4));

    // Message 2 has left and two have come, one of them between the old ones: only those are
    // fetched, and every reply comes in the mailbox's order.
    Strings box = mailbox(6);
    h.server.setMailbox({box[0], box[4], box[2], box[3], box[5]});
    h.server.setUids({"uid-1", "uid-5", "uid-3", "uid-4", "uid-6"});
    EXPECT_EQ(check(), cachedCommands({2, 5}));
    const Strings all = replies(6);
    EXPECT_EQ(h.messages, (Strings{all[0], all[4], all[2], all[3], all[5]}));
    EXPECT_EQ(cache.entryCount(), 5u) << "the reply of the message that left is dropped";
    EXPECT_TRUE(h.errors.empty());

    // Another line count is another reply: all fetched again.
    h.settings.Talkcnt = 3;
    EXPECT_EQ(check(), cachedCommands({1, 2, 3, 4, 5}, 3));
    EXPECT_EQ(cache.entryCount(), 5u);
}

TEST(Pop3Session, RepliesAreNeverTakenForAnotherMailboxOrAnIdTheServerGaveTwice) {
    ReplyCache cache;
    // A reply held for "uid-1" of another user, port or security on the same server.
    Account otherUser = SessionHarness::account("pop.example");
    otherUser.Uname = "jiro";
    Account otherPort = SessionHarness::account("pop.example");
    otherPort.Portno = 1110;
    Account otherSecurity = SessionHarness::account("pop.example");
    otherSecurity.Tlsmode = Account::kStartTls;
    for (const Account& other : {otherUser, otherPort, otherSecurity}) {
        cache.visit(ReplyCache::accountKey(other), 10, {"uid-1"});
        cache.store(ReplyCache::accountKey(other), 10, "uid-1", "+OK\r\nFrom: other\r\n");
    }
    EXPECT_EQ(cache.entryCount(), 3u);
    SessionHarness h;
    h.session.setReplyCache(&cache);
    h.server.setMailbox(mailbox(3));
    h.server.setUids({"uid-1", "same", "same"});  // no CAPA: UIDL is tried all the same
    h.runSession();
    EXPECT_EQ(h.messages, replies(3));
    h.messages.clear();
    h.doneAt.clear();
    h.runSession();
    EXPECT_EQ(h.messages, replies(3));
    const Strings sent = h.api.sentTexts();
    EXPECT_EQ(Strings(sent.begin() + 9, sent.end()), cachedCommands({2, 3}));

    // Two ids for one message: that message is fetched every time, its neighbour is not.
    SessionHarness t;
    t.session.setReplyCache(&cache);
    t.server.setMailbox(mailbox(2));
    t.server.on("UIDL", FakeReply::raw("+OK\r\n1 x-1\r\n1 x-2\r\n2 x-3\r\n.\r\n"));
    t.runSession();
    t.runSession();
    const Strings sentTwice = t.api.sentTexts();
    EXPECT_EQ(Strings(sentTwice.begin() + 8, sentTwice.end()), cachedCommands({1}));
    EXPECT_EQ(t.messages, twice(replies(2)));

    // A server that refuses UIDL gets everything fetched, with no word about it.
    SessionHarness n;
    n.session.setReplyCache(&cache);
    n.server.setMailbox(mailbox(2));
    n.runSession();
    n.runSession();
    EXPECT_EQ(n.messages, twice(replies(2)));
    EXPECT_EQ(n.api.sentTexts(), twice(cachedCommands({1, 2})));
    EXPECT_TRUE(n.errors.empty());
}

}  // namespace
}  // namespace velkora
