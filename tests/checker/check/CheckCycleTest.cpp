#include "checker/check/CheckCycle.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "checker/check/MailList.h"
#include "checker/net/Pop3Session.h"
#include "tests/support/CheckerRig.h"
#include "tests/support/FakeSocketApi.h"
#include "tests/support/SimulatedEventLoop.h"

namespace velkora {
namespace {

using test::FakePop3Server;
using test::FakeReply;
using Strings = std::vector<std::string>;

using test::twice;

// The commands of one whole session on a mailbox of `messages` mails.
Strings session(int messages) {
    return test::sessionCommands("user", "pw", test::firstMessages(messages));
}

// The checker as the programs build it, on the fake network in virtual time.
struct CycleHarness : test::CheckerRig<test::SimulatedEventLoop, test::FakeSocketApi> {
    FakePop3Server& addAccount(const std::string& name, const std::string& host, int messages,
                               int16_t check = 1) {
        CheckerRig::addAccount(
            {.Aname = name, .Hname = host, .Uname = "user", .Passw = "pw", .Check = check});
        auto& server = api.addServer(host);
        server.setMailbox(Strings(static_cast<std::size_t>(messages),
                                  "From: " + name + "@example.com\r\nSubject: hi\r\n\r\nbody\r\n"));
        return server;
    }

    // A manual check with the settings as the store holds them now.
    void beginCheck() {
        checker.loadSettings();
        checker.mailCheck();
    }
    void runCheck() {
        beginCheck();
        loop.runUntil([&] { return !state().checkInProgress; });
    }

    // Virtual time of the occurrence-th line `text` sent to the host, or -1.
    int64_t sentAt(const std::string& host, const std::string& text, int occurrence = 1) const {
        for (const auto& line : api.sent()) {
            if (line.host == host && line.text == text && --occurrence == 0) {
                return line.at;
            }
        }
        return -1;
    }

    CheckCycle& cycle() { return checker.cycle(); }
    const std::vector<int16_t>& announcedTotals() const { return popup.shownTotals; }
};

TEST(CheckCycle, TimerPeriodsFollowTheSettings) {
    CycleHarness h;
    h.set("Checktimerval", "0");
    h.set("Timeupval", "0");
    h.checker.loadSettings();
    EXPECT_EQ(h.cycle().checktimer().interval(), 0);
    EXPECT_EQ(h.cycle().timeuptimer().interval(), 0);
    h.set("Checktimerval", "5");
    h.set("Timeupval", "200");
    h.checker.loadSettings();
    EXPECT_EQ(h.cycle().checktimer().interval(), 60000);
    EXPECT_EQ(h.cycle().timeuptimer().interval(), 60);
}

TEST(CheckCycle, ChecksEnabledAccountsInTurnWithTheirTips) {
    CycleHarness h;
    h.addAccount("Alpha", "one.example", 1);
    h.addAccount("Beta", "two.example", 2, 0);
    // The last server never answers "QUIT": its connection is closed at the end all the same.
    h.addAccount("Gamma", "three.example", 0).on("QUIT", FakeReply::silence());
    h.runCheck();

    EXPECT_EQ(h.api.sentTexts("one.example"), session(1));
    EXPECT_EQ(h.api.server("two.example").connectionCount(), 0);
    EXPECT_EQ(h.api.sentTexts("three.example"), session(0));
    // Every account step shows the checking image, then the checked ones their tips.
    EXPECT_EQ(h.tray.calls,
              (Strings{"tuskicon 5", "tuskicon2 Alphaをチェック中です", "tuskicon 5", "tuskicon 5",
                       "tuskicon2 Gammaをチェック中です", "tuskicon 5", "tuskicon 3"}));
    // The next account follows one second after the QUIT.
    EXPECT_EQ(h.sentAt("three.example", "USER user"), h.sentAt("one.example", "QUIT") + 1000);
    EXPECT_EQ(h.state().totalMessages, 1);
    EXPECT_EQ(h.api.openSocketCount(), 0);
}

TEST(CheckCycle, TimeUpLeavesAStalledServerOnlyWhenSet) {
    for (const int16_t timeup : {int16_t{60}, int16_t{0}}) {
        SCOPED_TRACE("Timeupval " + std::to_string(timeup));
        CycleHarness h;
        h.set("Timeupval", std::to_string(timeup));
        auto& silent = h.addAccount("Silent", "silent.example", 0);
        silent.setGreeting(FakeReply::silence());
        silent.on("QUIT", FakeReply::silence());
        h.addAccount("Next", "next.example", 0);
        h.loop.advanceTo(1000);
        h.beginCheck();
        h.loop.advanceBy(30 * 60 * 1000);

        if (timeup == 0) {
            EXPECT_TRUE(h.api.sent().empty());
            EXPECT_TRUE(h.state().checkInProgress);
            EXPECT_EQ(h.api.server("next.example").connectionCount(), 0);
            EXPECT_EQ(h.tray.image, TrayImage::Checking);
            continue;
        }
        // "QUIT" at the 60th tick of 60 ms, the hand-over at the 120th, the next account a
        // second on.
        EXPECT_EQ(h.api.sentTexts("silent.example"), Strings{"QUIT"});
        EXPECT_EQ(h.sentAt("silent.example", "QUIT"), 1000 + 60 * 60);
        EXPECT_EQ(h.sentAt("next.example", "USER user"), 1000 + 120 * 60 + 1000);
        EXPECT_EQ(h.api.sentTexts("next.example"), session(0));
        EXPECT_FALSE(h.state().checkInProgress);
        EXPECT_TRUE(h.boxes.boxes.empty());
    }
}

TEST(CheckCycle, ManualCheckDuringACheckStartsOverAndIsNotCutShortByTheOldHandOver) {
    for (const bool betweenAccounts : {false, true}) {
        SCOPED_TRACE(betweenAccounts ? "between two accounts" : "inside a session");
        CycleHarness h;
        auto& one = h.addAccount("One", "one.example", 1);
        h.addAccount("Two", "two.example", 0);
        if (betweenAccounts) {
            one.setLatency(300);  // a session outlasts the rest of the old hand-over's second
        } else {
            one.once("TOP 1", FakeReply::silence());
        }
        // The running check is a periodic one: the manual check is not.
        h.set("Checktimerval", "1");
        h.checker.loadSettings();
        h.loop.runUntil([&] {
            return betweenAccounts ? h.cycle().logontimer().enabled()
                                   : h.checker.session().pop3Step() == Pop3Session::kTopSent;
        });
        ASSERT_TRUE(h.state().periodicCheck);
        h.loop.advanceBy(500);
        h.runCheck();

        EXPECT_EQ(h.api.sentTexts("one.example"), twice(session(1)));
        EXPECT_EQ(h.api.sentTexts("two.example"), session(0));
        EXPECT_EQ(h.sentAt("two.example", "USER user"), h.sentAt("one.example", "QUIT", 2) + 1000);
        EXPECT_FALSE(h.state().periodicCheck);
        EXPECT_EQ(h.checker.mailList().mailCount(), 1u);
        EXPECT_EQ(h.announcedTotals(), std::vector<int16_t>{1});
    }
}

TEST(CheckCycle, EachCheckReplacesTheListAndTotalsItsAccounts) {
    CycleHarness h;
    // Account 1 is switched off: the list is replaced all the same, at the check's first STAT.
    h.addAccount("Off", "off.example", 4, 0);
    h.addAccount("A", "a.example", 2);
    h.addAccount("B", "b.example", 3);
    h.checker.mailList().addRow({"stale", "from the last check", 1, ""}, {});
    for (int check = 0; check < 2; ++check) {
        h.runCheck();
        EXPECT_EQ(h.state().totalMessages, 5);
        ASSERT_EQ(h.checker.mailList().mailCount(), 5u);
        Strings accounts;
        for (std::size_t row = 1; row <= 5; ++row) {
            accounts.push_back(h.checker.mailList().cell(row, MailList::kAccountColumn));
        }
        EXPECT_EQ(accounts, (Strings{"2", "2", "3", "3", "3"}));
    }
    EXPECT_EQ(h.announcedTotals(), (std::vector<int16_t>{5, 5}));

    // The sum saturates rather than wrapping into a negative count.
    h.api.server("a.example").on("STAT", FakeReply::raw("+OK 32766 1\r\n"));
    h.runCheck();
    EXPECT_EQ(h.state().totalMessages, 32767);

    // A check whose accounts all fail before STAT leaves the last list as it was.
    for (const char* host : {"a.example", "b.example"}) {
        h.api.server(host).on("PASS", FakeReply::err(" no\r\n"));
    }
    h.runCheck();
    EXPECT_EQ(h.state().totalMessages, 0);
    EXPECT_EQ(h.checker.mailList().mailCount(), 5u);
}

TEST(CheckCycle, ErrorsShowAStopBoxEachUnlessSuppressedAndStalledAccountsAreGivenUp) {
    for (const std::string option3 : {"0", "1", "-1"}) {
        SCOPED_TRACE("Option3value " + option3);
        CycleHarness h;
        h.set("Option3value", option3);
        h.set("Timeupval", "10");
        h.addAccount("Refused", "refused.example", 1).on("PASS", FakeReply::err(" 違います\r\n"));
        // Nothing answers at this address: the connection stays under way, and the time-up's
        // "QUIT" cannot go out on it.
        h.addAccount("Nowhere", "10.9.9.9", 0);
        h.addAccount("Fine", "fine.example", 1);
        std::vector<int16_t> givenUp;
        h.cycle().onAccountTimedOut = [&] { givenUp.push_back(h.state().currentAccountNumber); };
        h.runCheck();

        const Strings shown{" 違います\r\n", "ソケットが接続されていないよ"};
        EXPECT_EQ(h.boxes.texts(), option3 == "0" ? shown : Strings{});
        for (const auto& box : h.boxes.boxes) {
            EXPECT_EQ(box.icon, MessageIcon::Stop);
            EXPECT_EQ(box.title, "Velkora");
        }
        EXPECT_EQ(givenUp, std::vector<int16_t>{2});
        EXPECT_EQ(h.checker.mailList().mailCount(), 1u);
    }
}

TEST(CheckCycle, EndOfCheckSetsIconMenusAndHangsUpOnlyWithoutMail) {
    struct Case {
        int messages;  // -1: no account at all
        int16_t option7;
        int hangUps;
    };
    // Flags act only when exactly 1: an "Option7value" of 2 does not hang up.
    for (const Case c :
         {Case{1, 1, 0}, Case{0, 1, 1}, Case{0, 0, 0}, Case{0, 2, 0}, Case{-1, 1, 1}}) {
        SCOPED_TRACE("messages " + std::to_string(c.messages) + ", Option7value " +
                     std::to_string(c.option7));
        CycleHarness h;
        h.set("Option7value", std::to_string(c.option7));
        h.set("sOption7value", "1");  // the announcement's own hang-up is off
        if (c.messages >= 0) {
            h.addAccount("A", "a.example", c.messages);
        }
        h.menus.setEnabled(MenuItem::menu0, true);
        h.menus.setEnabled(MenuItem::menu02, true);
        bool seenBeforeClearing = false;
        h.popup.whileShown = [&] {
            seenBeforeClearing = h.tray.image == TrayImage::NewMail &&
                                 h.menus.isEnabled(MenuItem::menu0) &&
                                 h.menus.isEnabled(MenuItem::menu02) && h.state().checkInProgress;
        };
        h.runCheck();

        const bool mail = c.messages > 0;
        EXPECT_EQ(h.tray.image, mail ? TrayImage::NewMail : TrayImage::Normal);
        EXPECT_EQ(h.menus.isEnabled(MenuItem::menu0), mail);
        EXPECT_TRUE(h.menus.isEnabled(MenuItem::menu02)) << "menu02 keeps its state";
        EXPECT_EQ(h.announcedTotals().size(), mail ? 1u : 0u);
        EXPECT_EQ(seenBeforeClearing, mail);
        EXPECT_EQ(h.dialup.hangUps, c.hangUps);
        EXPECT_FALSE(h.cycle().timeuptimer().enabled());
        EXPECT_TRUE(h.cycle().checktimer().enabled());
    }
}

TEST(CheckCycle, PeriodicCheckComesAtTheFifthMinuteAndWaitsForARunningCheck) {
    CycleHarness h;
    h.set("Checktimerval", "5");
    h.set("Timeupval", "0");
    auto& slow = h.addAccount("Slow", "slow.example", 0);
    h.checker.loadSettings();

    h.loop.advanceTo(300000 - 1);
    EXPECT_TRUE(h.tray.tips.empty());
    h.loop.advanceTo(300000);
    EXPECT_EQ(h.tray.tips, Strings{"Slowをチェック中です"});
    EXPECT_TRUE(h.state().periodicCheck);
    EXPECT_EQ(h.state().minuteCount, 0);
    h.loop.runUntil([&] { return !h.state().checkInProgress; });

    // A manual check at 9:30 that lasts past the next periodic turn (10:00).
    slow.setLatency(16000);
    h.loop.advanceTo(570000);
    h.checker.mailCheck();
    h.loop.advanceTo(600000);
    EXPECT_EQ(h.tray.image, TrayImage::Checking);
    EXPECT_EQ(h.tray.tips.size(), 2u) << "no periodic check while the checking image shows";
    h.loop.runUntil([&] { return !h.state().checkInProgress; });
    h.loop.advanceTo(660000 - 1);
    EXPECT_EQ(h.tray.tips.size(), 2u);
    h.loop.advanceTo(660000);
    EXPECT_EQ(h.tray.tips.size(), 3u);
    EXPECT_TRUE(h.state().periodicCheck);
}

TEST(CheckCycle, DialupGateAbandonsAManualCheckThatCannotDialAndAPeriodicOneOffline) {
    struct Case {
        const char* name;
        bool periodic;
        int16_t option6;
        Strings dialed;
        bool checks;
    };
    for (const Case& c : {Case{"manual, dialling fails", false, 1, {"Office"}, false},
                          Case{"periodic, offline", true, 1, {}, false},
                          Case{"periodic, offline, Option6value 0", true, 0, {}, true}}) {
        SCOPED_TRACE(c.name);
        CycleHarness h;
        h.dialup.entries = {"Home", "Office"};
        h.dialup.dialResult = -1;
        h.dialup.activeConnections = 0;
        h.set("Defdialno", "1");
        h.set("Option6value", std::to_string(c.option6));
        h.addAccount("A", "a.example", 1);
        h.addAccount("B", "b.example", 0);
        if (c.periodic) {
            h.set("Checktimerval", "1");
            h.checker.loadSettings();
            h.loop.advanceTo(60000);
        } else {
            h.beginCheck();
        }
        h.loop.advanceBy(30000);
        EXPECT_EQ(h.dialup.dialed, c.dialed) << "a periodic check never dials";
        EXPECT_EQ(h.api.sentTexts("a.example"), c.checks ? session(1) : Strings{});
        EXPECT_EQ(h.tray.image, c.checks ? TrayImage::NewMail : TrayImage::Normal);
        EXPECT_FALSE(h.cycle().timeuptimer().enabled());
        EXPECT_FALSE(h.cycle().logontimer().enabled());
        EXPECT_EQ(h.announcedTotals().size(), c.checks ? 1u : 0u);
        // An abandoned check's flag stays set until a later check ends.
        EXPECT_EQ(h.state().checkInProgress, !c.checks);
    }
}

TEST(CheckCycle, ManualChecksDialBeforeEveryAccountWhenAnEntryIsChosen) {
    // Outside 0..256 nothing is dialled; a missing entry is dialled by empty name.
    struct Case {
        int16_t defdialno;
        Strings dialed;
    };
    for (const Case& c : {Case{0, {"Home", "Home"}}, Case{5, {"", ""}}, Case{257, {}}}) {
        SCOPED_TRACE("Defdialno " + std::to_string(c.defdialno));
        CycleHarness h;
        h.dialup.entries = {"Home"};
        h.dialup.activeConnections = 0;
        h.set("Defdialno", std::to_string(c.defdialno));
        h.addAccount("A", "a.example", 1);
        h.addAccount("B", "b.example", 0);
        h.runCheck();
        EXPECT_EQ(h.dialup.dialed, c.dialed);
        EXPECT_EQ(h.api.sentTexts("b.example"), session(0));
    }
}

TEST(CheckCycle, CheckBegunWhileDiallingOrAnnouncingTakesOver) {
    {
        SCOPED_TRACE("while dialling");
        CycleHarness h;
        h.dialup.entries = {"Home"};
        h.addAccount("A", "a.example", 1);
        h.dialup.whileDialling = [&, again = true]() mutable {
            if (std::exchange(again, false)) {
                h.checker.mailCheck();
            }
        };
        h.runCheck();
        EXPECT_EQ(h.dialup.dialed, (Strings{"Home", "Home"}));
        // Only the new check's session ran: the interrupted step did not open a second one.
        EXPECT_EQ(h.api.server("a.example").connectionCount(), 1);
        EXPECT_EQ(h.announcedTotals(), std::vector<int16_t>{1});
    }
    {
        SCOPED_TRACE("while the reading runs");
        CycleHarness h;
        h.addAccount("A", "a.example", 1);
        h.popup.whileShown = [&] {
            if (h.announcedTotals().size() == 1) {
                h.checker.mailCheck();
            }
        };
        h.beginCheck();
        h.loop.runUntil([&] { return h.announcedTotals().size() == 1; });
        // The new check keeps its flag and its time-up.
        EXPECT_TRUE(h.state().checkInProgress);
        EXPECT_TRUE(h.cycle().timeuptimer().enabled());
        EXPECT_EQ(h.tray.image, TrayImage::Checking);
        h.loop.runUntil([&] { return !h.state().checkInProgress; });
        EXPECT_EQ(h.announcedTotals().size(), 2u);
        EXPECT_EQ(h.api.sentTexts("a.example"), twice(session(1)));
    }
}

TEST(CheckCycle, LateQuitReplyDoesNotWakeAnAbandonedCheck) {
    CycleHarness h;
    h.set("Checktimerval", "5");
    h.addAccount("A", "a.example", 0).on("QUIT", FakeReply::text("+OK bye\r\n").after(1500));
    h.addAccount("B", "b.example", 0);
    h.addAccount("C", "c.example", 0);
    h.checker.loadSettings();
    h.loop.advanceTo(300000);
    ASSERT_EQ(h.api.sentTexts("a.example"), session(0));
    h.dialup.activeConnections = 0;  // the line drops before account B: the check is skipped
    h.loop.advanceTo(302000);
    h.dialup.activeConnections = 1;  // and comes back after the late QUIT reply
    h.loop.advanceTo(360000);

    EXPECT_EQ(h.api.server("b.example").connectionCount(), 0);
    EXPECT_EQ(h.api.server("c.example").connectionCount(), 0);
    EXPECT_EQ(h.api.sentTexts("a.example"), session(0));
    EXPECT_FALSE(h.cycle().timeuptimer().enabled());
    EXPECT_FALSE(h.cycle().logontimer().enabled());
    EXPECT_EQ(h.api.openSocketCount(), 0);
}

TEST(CheckCycle, TheTimeUpCountsThePausesOfASessionNotItsNotifications) {
    // Each pause of 100 ms outlasts a 60 ms tick; a pause of 50 ms does not, because every
    // notification starts the tick's period anew. The count itself is never reset.
    for (const int64_t latency : {int64_t{100}, int64_t{50}}) {
        SCOPED_TRACE("latency " + std::to_string(latency));
        CycleHarness h;
        h.set("Timeupval", "6");
        h.addAccount("A", "a.example", 3).setLatency(latency);
        std::vector<int16_t> givenUp;
        h.cycle().onAccountTimedOut = [&] { givenUp.push_back(h.state().currentAccountNumber); };
        h.runCheck();
        if (latency == 50) {
            EXPECT_EQ(h.api.sentTexts("a.example"), session(3));
            EXPECT_TRUE(givenUp.empty());
        } else {
            // Greeting, CAPA, USER, PASS, STAT: five ticks; the sixth, waiting for TOP 1, gives
            // up.
            EXPECT_EQ(h.api.sentTexts("a.example"),
                      (Strings{"CAPA", "USER user", "PASS pw", "STAT", "TOP 1 10", "QUIT"}));
            EXPECT_EQ(h.sentAt("a.example", "QUIT"), h.sentAt("a.example", "TOP 1 10") + 60);
            EXPECT_EQ(givenUp, std::vector<int16_t>{1});
        }
        // A notification after the check has ended does not wake the time-up.
        h.cycle().restartTimeup();
        EXPECT_FALSE(h.cycle().timeuptimer().enabled());
    }
}

TEST(CheckCycle, ALookupThatStallsHoldsUpNeitherTheLoopNorTheCheck) {
    CycleHarness h;
    h.addAccount("Stalled", "stalled.example", 1).setLookupDelay(60000);
    h.addAccount("Next", "next.example", 1);
    int ticks = 0;
    auto ticker = h.loop.createTimer();
    ticker->setHandler([&] { ++ticks; });
    ticker->setInterval(100);
    ticker->setEnabled(true);
    h.beginCheck();
    EXPECT_EQ(h.loop.now(), 0);
    h.loop.advanceBy(2000);
    EXPECT_EQ(ticks, 20);  // the loop ran on while the name was looked up
    h.loop.runUntil([&] { return !h.state().checkInProgress; });
    // The time-up gave the account up; the next one was checked long before the answer.
    EXPECT_EQ(h.sentAt("next.example", "USER user"), 120 * 60 + 1000);
    EXPECT_EQ(h.checker.mailList().mailCount(), 1u);
    h.loop.advanceTo(70000);
    EXPECT_EQ(h.api.server("stalled.example").connectionCount(), 0);
    EXPECT_EQ(h.api.openSocketCount(), 0);
}

TEST(CheckCycle, AServerThatTricklesIsEndedByTheAccountsOverallLimit) {
    CycleHarness h;
    // One byte every 50 ms, for longer than the limit: the time-up never gets a tick in.
    const int64_t gap = 50;
    const std::size_t bytes = CheckCycle::kAccountLimitMs / gap + 1000;
    h.addAccount("Trickle", "trickle.example", 0)
        .setGreeting(FakeReply::dribble(std::string(bytes, '.'), 1, gap));
    h.addAccount("Next", "next.example", 1);
    std::vector<int16_t> givenUp;
    h.cycle().onAccountTimedOut = [&] { givenUp.push_back(h.state().currentAccountNumber); };
    h.runCheck();
    EXPECT_EQ(h.sentAt("trickle.example", "QUIT"), CheckCycle::kAccountLimitMs);
    EXPECT_EQ(h.sentAt("next.example", "USER user"), CheckCycle::kAccountLimitMs + 1000);
    EXPECT_EQ(givenUp, std::vector<int16_t>{1});
    EXPECT_EQ(h.checker.mailList().mailCount(), 1u);
    EXPECT_FALSE(h.cycle().accountLimitTimer().enabled());
}

}  // namespace
}  // namespace velkora
