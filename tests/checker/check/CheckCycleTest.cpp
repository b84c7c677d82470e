#include "checker/check/CheckCycle.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "checker/check/CheckState.h"
#include "checker/check/MailList.h"
#include "checker/net/Pop3Session.h"
#include "checker/net/SocketLayer.h"
#include "common/Accounts.h"
#include "common/AppSettings.h"
#include "common/MemorySettingsStore.h"
#include "tests/support/FakeSocketApi.h"
#include "tests/support/RecordingDialup.h"
#include "tests/support/RecordingMessageBoxes.h"
#include "tests/support/RecordingShell.h"
#include "tests/support/SimulatedEventLoop.h"

namespace velkora {
namespace {

using test::FakePop3Server;
using test::FakeReply;
using Strings = std::vector<std::string>;

std::vector<std::string> mailbox(int count, const std::string& tag) {
    std::vector<std::string> out;
    for (int n = 1; n <= count; ++n) {
        out.push_back("From: " + tag + "@example.com\r\nSubject: " + tag + " " + std::to_string(n) +
                      "\r\n\r\nbody\r\n");
    }
    return out;
}

Strings session(int messages, int lines = 10) {
    Strings out{"USER user", "PASS pw", "STAT"};
    for (int n = 1; n <= messages; ++n) {
        out.push_back("TOP " + std::to_string(n) + " " + std::to_string(lines));
    }
    out.push_back("QUIT");
    return out;
}

// The whole checker below the shell: the cycle, the session and the socket layer on the fake
// network, with recording tray, menus, dial-up and boxes, in virtual time.
struct CycleHarness {
    CycleHarness() {
        settings.Option3value = 0;
        settings.Option7value = 0;
        settings.Timeupval = 60;
        settings.accountColours.resize(1);
        tray.observer = [this](const std::string& entry) {
            trayLog.emplace_back(loop.now(), entry);
        };
        cycle.announceResult = [this] {
            announcedTotals.push_back(state.totalMessages);
            if (duringAnnouncement) {
                duringAnnouncement();
            }
        };
    }

    FakePop3Server& addAccount(const std::string& name, const std::string& host, int messages,
                               int16_t check = 1) {
        Account account;
        account.Aname = name;
        account.Hname = host;
        account.Uname = "user";
        account.Passw = "pw";
        account.Check = check;
        settings.accountno = velkora::addAccount(store, account);
        settings.accountColours.resize(static_cast<std::size_t>(settings.accountno) + 1);
        auto& server = api.addServer(host);
        server.setMailbox(mailbox(messages, name));
        return server;
    }

    void runCheck() {
        cycle.mailCheckCommand();
        loop.runUntil([&] { return !state.checkInProgress; });
    }

    // Virtual time of the first line sent to the host that equals `text`, or -1.
    int64_t sentAt(const std::string& host, const std::string& text, int occurrence = 1) const {
        for (const auto& line : api.sent()) {
            if (line.host == host && line.text == text && --occurrence == 0) {
                return line.at;
            }
        }
        return -1;
    }

    int64_t trayAt(const std::string& entry) const {
        for (const auto& [at, logged] : trayLog) {
            if (logged == entry) {
                return at;
            }
        }
        return -1;
    }

    test::SimulatedEventLoop loop;
    test::FakeSocketApi api{loop};
    test::RecordingMessageBoxes boxes;
    AppSettings settings;
    SocketLayer layer{api, loop, boxes, settings};
    CheckState state;
    MailList list;
    Pop3Session pop3{layer, loop, state, settings, list};
    MemorySettingsStore store;
    test::RecordingTrayIcon tray;
    test::RecordingMenuItems menus;
    test::RecordingDialup dialup;
    CheckCycle cycle{loop, layer, pop3, state, settings, store, tray, menus, dialup};

    std::vector<std::pair<int64_t, std::string>> trayLog;
    std::vector<int16_t> announcedTotals;
    std::function<void()> duringAnnouncement;
};

TEST(CheckCycle, TimerPeriodsFollowTheSettings) {
    CycleHarness h;
    EXPECT_TRUE(h.cycle.checktimer().enabled());
    EXPECT_EQ(h.cycle.checktimer().interval(), 60000);
    EXPECT_FALSE(h.cycle.logontimer().enabled());
    EXPECT_EQ(h.cycle.logontimer().interval(), 1000);
    EXPECT_FALSE(h.cycle.timeuptimer().enabled());
    EXPECT_EQ(h.cycle.timeuptimer().interval(), 60000);  // until the first settings load

    h.settings.Checktimerval = 0;
    h.settings.Timeupval = 0;
    h.cycle.applyTimerPeriods();
    EXPECT_EQ(h.cycle.checktimer().interval(), 0);
    EXPECT_EQ(h.cycle.timeuptimer().interval(), 0);

    h.settings.Checktimerval = 5;
    h.settings.Timeupval = 200;
    h.cycle.applyTimerPeriods();
    EXPECT_EQ(h.cycle.checktimer().interval(), 60000);
    EXPECT_EQ(h.cycle.timeuptimer().interval(), 60);
}

TEST(CheckCycle, ChecksEnabledAccountsInTurnWithTheirTips) {
    CycleHarness h;
    h.addAccount("Alpha", "one.example", 1);
    h.addAccount("Beta", "two.example", 2, 0);
    h.addAccount("Gamma", "three.example", 0);
    h.cycle.applyTimerPeriods();
    h.runCheck();

    EXPECT_EQ(h.api.sentTexts("one.example"), session(1));
    EXPECT_EQ(h.api.server("two.example").connectionCount(), 0);
    EXPECT_EQ(h.api.sentTexts("three.example"), session(0));
    EXPECT_EQ(h.tray.tips, (Strings{"Alphaをチェック中です", "Gammaをチェック中です"}));
    // The next account follows one second after the QUIT.
    EXPECT_EQ(h.sentAt("three.example", "USER user"), h.sentAt("one.example", "QUIT") + 1000);
    EXPECT_EQ(h.state.currentAccountNumber, 3);
    EXPECT_EQ(h.state.totalMessages, 1);
    EXPECT_EQ(h.list.mailCount(), 1u);
    EXPECT_EQ(h.tray.image, TrayImage::NewMail);
    EXPECT_EQ(h.api.openSocketCount(), 0);
    EXPECT_EQ(h.api.startupCount(), h.api.cleanupCount());
    EXPECT_EQ(h.api.sendsWithoutConnection(), 0);
}

TEST(CheckCycle, StalledServerIsLeftAfterTwoTimeUps) {
    CycleHarness h;
    auto& silent = h.addAccount("Silent", "silent.example", 0);
    silent.setGreeting(FakeReply::silence());
    silent.on("QUIT", FakeReply::silence());
    h.addAccount("Next", "next.example", 0);
    h.cycle.applyTimerPeriods();
    h.loop.advanceTo(1000);
    h.runCheck();

    // "QUIT" at the 60th tick of 60 ms, the hand-over at the 120th, the next account a second on.
    EXPECT_EQ(h.api.sentTexts("silent.example"), Strings{"QUIT"});
    EXPECT_EQ(h.sentAt("silent.example", "QUIT"), 1000 + 60 * 60);
    EXPECT_EQ(h.trayAt("tip Nextをチェック中です"), 1000 + 120 * 60 + 1000);
    EXPECT_EQ(h.api.sentTexts("next.example"), session(0));
    EXPECT_TRUE(h.boxes.boxes.empty());
}

TEST(CheckCycle, WithoutTimeUpAStalledServerHoldsTheCheck) {
    CycleHarness h;
    h.settings.Timeupval = 0;
    h.addAccount("Silent", "silent.example", 0).setGreeting(FakeReply::silence());
    h.addAccount("Next", "next.example", 0);
    h.cycle.applyTimerPeriods();
    h.cycle.mailCheckCommand();
    h.loop.advanceBy(30 * 60 * 1000);
    EXPECT_TRUE(h.api.sent().empty());
    EXPECT_TRUE(h.state.checkInProgress);
    EXPECT_EQ(h.api.server("next.example").connectionCount(), 0);
    EXPECT_EQ(h.tray.image, TrayImage::Checking);
}

TEST(CheckCycle, ManualCheckDuringACheckQuitsAndStartsOverFromTheFirstAccount) {
    CycleHarness h;
    auto& one = h.addAccount("One", "one.example", 1);
    one.once("TOP 1", FakeReply::silence());
    h.addAccount("Two", "two.example", 0);
    h.cycle.applyTimerPeriods();
    h.cycle.mailCheckCommand();
    h.loop.runUntil([&] { return h.pop3.pop3Step == Pop3Session::kTopSent; });

    h.loop.advanceBy(500);
    h.state.periodicCheck = true;  // as if the running check had been a periodic one
    h.runCheck();

    Strings expected = session(1);
    expected.insert(expected.begin(), {"USER user", "PASS pw", "STAT", "TOP 1 10", "QUIT"});
    EXPECT_EQ(h.api.sentTexts("one.example"), expected);
    EXPECT_EQ(h.api.sentTexts("two.example"), session(0));
    EXPECT_FALSE(h.state.periodicCheck);
    EXPECT_EQ(h.state.totalMessages, 1);
    EXPECT_EQ(h.list.mailCount(), 1u);
    EXPECT_EQ(h.api.socketsReplacedWhileOpen(), 0);
    EXPECT_EQ(h.announcedTotals, std::vector<int16_t>{1});
}

TEST(CheckCycle, ManualCheckBetweenTwoAccountsIsNotCutShortByTheOldHandOver) {
    CycleHarness h;
    auto& one = h.addAccount("One", "one.example", 1);
    one.setLatency(300);  // a whole session takes longer than the rest of the old second
    h.addAccount("Two", "two.example", 0);
    h.cycle.applyTimerPeriods();
    h.cycle.mailCheckCommand();
    h.loop.runUntil([&] { return h.cycle.logontimer().enabled(); });
    h.loop.advanceBy(500);

    h.runCheck();
    EXPECT_EQ(h.api.sentTexts("one.example"), []() {
        Strings twice = session(1);
        Strings again = session(1);
        twice.insert(twice.end(), again.begin(), again.end());
        return twice;
    }());
    EXPECT_EQ(h.sentAt("two.example", "USER user"), h.sentAt("one.example", "QUIT", 2) + 1000);
    EXPECT_EQ(h.api.server("two.example").connectionCount(), 1);
}

TEST(CheckCycle, TotalAndRowsSpanTheAccountsOfOneCheck) {
    CycleHarness h;
    h.addAccount("A", "a.example", 2);
    h.addAccount("B", "b.example", 3);
    h.cycle.applyTimerPeriods();
    h.list.addRow({"stale", "from the last check", 1, ""}, {});
    h.runCheck();
    EXPECT_EQ(h.state.totalMessages, 5);
    ASSERT_EQ(h.list.mailCount(), 5u);
    Strings accounts;
    for (std::size_t row = 1; row <= 5; ++row) {
        accounts.push_back(h.list.cell(row, MailList::kAccountColumn));
    }
    EXPECT_EQ(accounts, (Strings{"1", "1", "2", "2", "2"}));
    EXPECT_EQ(h.announcedTotals, std::vector<int16_t>{5});

    // The next check starts counting from 0 again.
    h.runCheck();
    EXPECT_EQ(h.state.totalMessages, 5);
    EXPECT_EQ(h.list.mailCount(), 5u);
}

TEST(CheckCycle, EndOfCheckSetsIconMenusAndHangsUpOnlyWithoutMail) {
    struct Case {
        int messages;
        int16_t option7;
        int hangUps;
    };
    for (const Case c : {Case{1, 1, 0}, Case{0, 1, 1}, Case{0, 0, 0}}) {
        SCOPED_TRACE("messages " + std::to_string(c.messages) + ", Option7value " +
                     std::to_string(c.option7));
        CycleHarness h;
        h.settings.Option7value = c.option7;
        h.addAccount("A", "a.example", c.messages);
        h.cycle.applyTimerPeriods();
        h.menus.setEnabled(MenuItem::menu0, true);
        h.menus.setEnabled(MenuItem::menu02, true);
        bool seenBeforeClearing = false;
        h.duringAnnouncement = [&] {
            seenBeforeClearing = h.tray.image == TrayImage::NewMail &&
                                 h.menus.isEnabled(MenuItem::menu0) &&
                                 h.menus.isEnabled(MenuItem::menu02) && h.state.checkInProgress;
        };
        h.runCheck();

        const bool mail = c.messages > 0;
        EXPECT_EQ(h.tray.image, mail ? TrayImage::NewMail : TrayImage::Normal);
        EXPECT_EQ(h.menus.isEnabled(MenuItem::menu0), mail);
        EXPECT_TRUE(h.menus.isEnabled(MenuItem::menu02)) << "menu02 keeps its state";
        EXPECT_EQ(h.announcedTotals.size(), mail ? 1u : 0u);
        EXPECT_EQ(seenBeforeClearing, mail);
        EXPECT_EQ(h.dialup.hangUps, c.hangUps);
        EXPECT_FALSE(h.cycle.timeuptimer().enabled());
        EXPECT_TRUE(h.cycle.checktimer().enabled());
    }
    {
        SCOPED_TRACE("no accounts");
        CycleHarness h;
        h.settings.Option7value = 1;
        h.cycle.applyTimerPeriods();
        h.cycle.mailCheckCommand();  // ends at once
        EXPECT_FALSE(h.state.checkInProgress);
        EXPECT_EQ(h.tray.image, TrayImage::Normal);
        EXPECT_FALSE(h.menus.isEnabled(MenuItem::menu0));
        EXPECT_EQ(h.dialup.hangUps, 1);
        EXPECT_EQ(h.api.socketsCreated(), 0);
    }
}

TEST(CheckCycle, PeriodicCheckComesAtTheFifthMinuteAndWaitsForARunningCheck) {
    CycleHarness h;
    h.settings.Checktimerval = 5;
    h.settings.Timeupval = 0;
    auto& slow = h.addAccount("Slow", "slow.example", 0);
    h.cycle.applyTimerPeriods();

    h.loop.advanceTo(300000 - 1);
    EXPECT_EQ(h.tray.tips.size(), 0u);
    h.loop.advanceTo(300000);
    EXPECT_EQ(h.trayAt("tip Slowをチェック中です"), 300000);
    EXPECT_TRUE(h.state.periodicCheck);
    EXPECT_EQ(h.state.minuteCount, 0);
    h.loop.runUntil([&] { return !h.state.checkInProgress; });

    // A manual check at 9:30 that lasts past the next periodic turn (10:00).
    slow.setLatency(20000);
    h.loop.advanceTo(570000);
    h.trayLog.clear();
    h.cycle.mailCheckCommand();
    h.loop.advanceTo(600000);
    EXPECT_EQ(h.tray.image, TrayImage::Checking);
    EXPECT_EQ(h.tray.tips.size(), 2u) << "no periodic check while the checking image shows";
    h.loop.runUntil([&] { return !h.state.checkInProgress; });
    EXPECT_LT(h.loop.now(), 660000);
    h.loop.advanceTo(660000);
    EXPECT_EQ(h.tray.tips.size(), 3u);
    EXPECT_EQ(h.trayLog.back(),
              std::make_pair(int64_t{660000}, std::string("tip Slowをチェック中です")));
    EXPECT_TRUE(h.state.periodicCheck);
}

TEST(CheckCycle, DialupGateDialsForManualChecksAndSkipsPeriodicOnesOffline) {
    {
        SCOPED_TRACE("manual check, dialling gives up");
        CycleHarness h;
        h.dialup.entries = {"Home", "Office"};
        h.dialup.dialResult = -1;
        h.settings.Defdialno = 1;
        h.addAccount("A", "a.example", 1);
        h.addAccount("B", "b.example", 1);
        h.cycle.applyTimerPeriods();
        h.cycle.mailCheckCommand();
        h.loop.advanceBy(60000);
        EXPECT_EQ(h.dialup.dialed, Strings{"Office"});
        EXPECT_EQ(h.api.socketsCreated(), 0);
        EXPECT_EQ(h.tray.image, TrayImage::Normal);
        EXPECT_FALSE(h.cycle.timeuptimer().enabled());
        EXPECT_FALSE(h.cycle.logontimer().enabled());
        EXPECT_TRUE(h.announcedTotals.empty());
        EXPECT_TRUE(h.state.checkInProgress) << "stays set until a later check ends";
    }
    {
        SCOPED_TRACE("manual check dials before every account");
        CycleHarness h;
        h.dialup.entries = {"Home"};
        h.dialup.activeConnections = 0;
        h.addAccount("A", "a.example", 1);
        h.addAccount("B", "b.example", 0);
        h.cycle.applyTimerPeriods();
        h.runCheck();
        EXPECT_EQ(h.dialup.dialed, (Strings{"Home", "Home"}));
        EXPECT_EQ(h.api.sentTexts("b.example"), session(0));
    }
    for (const int16_t defdialno : {int16_t{-1}, int16_t{257}, int16_t{5}}) {
        SCOPED_TRACE("Defdialno " + std::to_string(defdialno));
        CycleHarness h;
        h.dialup.entries = {"Home"};
        h.settings.Defdialno = defdialno;
        h.addAccount("A", "a.example", 0);
        h.cycle.applyTimerPeriods();
        h.runCheck();
        // Outside 0..256 nothing is dialled; inside, a missing entry is dialled by empty name.
        EXPECT_EQ(h.dialup.dialed, defdialno == 5 ? Strings{""} : Strings{});
        EXPECT_EQ(h.api.sentTexts("a.example"), session(0));
    }
    for (const int16_t option6 : {int16_t{1}, int16_t{0}}) {
        SCOPED_TRACE("periodic check offline, Option6value " + std::to_string(option6));
        CycleHarness h;
        h.settings.Option6value = option6;
        h.settings.Checktimerval = 1;
        h.dialup.activeConnections = 0;
        h.addAccount("A", "a.example", 1);
        h.cycle.applyTimerPeriods();
        h.loop.advanceTo(60000);
        h.loop.advanceBy(30000);
        EXPECT_TRUE(h.dialup.dialed.empty()) << "a periodic check never dials";
        if (option6 == 1) {
            EXPECT_EQ(h.api.socketsCreated(), 0);
            EXPECT_EQ(h.tray.image, TrayImage::Normal);
            EXPECT_FALSE(h.cycle.timeuptimer().enabled());
        } else {
            EXPECT_EQ(h.api.sentTexts("a.example"), session(1));
            EXPECT_EQ(h.tray.image, TrayImage::NewMail);
        }
    }
}

TEST(CheckCycle, CheckStartedWhileDiallingTakesOver) {
    CycleHarness h;
    h.dialup.entries = {"Home"};
    h.addAccount("A", "a.example", 1);
    h.cycle.applyTimerPeriods();
    bool startedAgain = false;
    h.dialup.whileDialling = [&] {
        if (!startedAgain) {
            startedAgain = true;
            h.cycle.mailCheckCommand();  // the user asks again while the line is dialled
        }
    };
    h.runCheck();
    EXPECT_EQ(h.dialup.dialed, (Strings{"Home", "Home"}));
    // Only the new check's session ran: the interrupted step did not open a second one.
    EXPECT_EQ(h.api.server("a.example").connectionCount(), 1);
    EXPECT_EQ(h.api.sentTexts("a.example"), session(1));
    EXPECT_EQ(h.announcedTotals, std::vector<int16_t>{1});
}

TEST(CheckCycle, LateQuitReplyDoesNotWakeAnAbandonedCheck) {
    CycleHarness h;
    h.settings.Checktimerval = 5;
    auto& first = h.addAccount("A", "a.example", 0);
    first.on("QUIT", FakeReply::text("+OK bye\r\n").after(1500));  // after the hand-over
    h.addAccount("B", "b.example", 0);
    h.addAccount("C", "c.example", 0);
    h.cycle.applyTimerPeriods();
    h.loop.advanceTo(300000);
    ASSERT_EQ(h.api.sentTexts("a.example"), session(0));
    h.dialup.activeConnections = 0;  // the line drops before account B: the check is skipped
    h.loop.advanceTo(302000);
    h.dialup.activeConnections = 1;  // and comes back after the late QUIT reply
    h.loop.advanceTo(360000);

    EXPECT_EQ(h.api.server("b.example").connectionCount(), 0);
    EXPECT_EQ(h.api.server("c.example").connectionCount(), 0);
    EXPECT_EQ(h.api.sentTexts("a.example"), session(0));
    EXPECT_FALSE(h.cycle.timeuptimer().enabled());
    EXPECT_FALSE(h.cycle.logontimer().enabled());
    EXPECT_EQ(h.api.openSocketCount(), 0);
}

TEST(CheckCycle, CheckStartedDuringTheAnnouncementKeepsRunning) {
    CycleHarness h;
    h.addAccount("A", "a.example", 1);
    h.cycle.applyTimerPeriods();
    int announcements = 0;
    h.duringAnnouncement = [&] {
        if (++announcements == 1) {
            h.cycle.mailCheckCommand();  // the user asks again while the reading runs
        }
    };
    h.cycle.mailCheckCommand();
    h.loop.runUntil([&] { return announcements == 1; });
    EXPECT_TRUE(h.state.checkInProgress);
    EXPECT_TRUE(h.cycle.timeuptimer().enabled());
    EXPECT_EQ(h.tray.image, TrayImage::Checking);

    h.loop.runUntil([&] { return !h.state.checkInProgress; });
    EXPECT_EQ(announcements, 2);
    EXPECT_EQ(h.api.sentTexts("a.example").size(), 2 * session(1).size());
}

}  // namespace
}  // namespace velkora
