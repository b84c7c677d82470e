// The check cycle's dial-up gate on a NetworkManager played by python-dbusmock: whether a
// check dials, runs or is skipped follows what NetworkManager reports.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "checker/check/CheckCycle.h"
#include "checker/check/CheckState.h"
#include "checker/check/MailList.h"
#include "checker/dialup/qt/NetworkManagerDialup.h"
#include "checker/net/Pop3Session.h"
#include "checker/net/PosixSocketApi.h"
#include "checker/net/SocketLayer.h"
#include "common/Accounts.h"
#include "common/MemorySettingsStore.h"
#include "common/Settings.h"
#include "common/qt/QtEventLoop.h"
#include "tests/checker/dialup/MockNetworkManager.h"
#include "tests/support/RecordingMessageBoxes.h"
#include "tests/support/RecordingShell.h"
#include "tests/support/ScriptedPop3Server.h"

namespace velkora::test {
namespace {

constexpr int kCheckLimitMs = 20000;

// A Wi-Fi, a modem and a VPN profile, nothing up.
struct Network {
    Network() {
        nm.addProfile("Home Wi-Fi", "802-11-wireless");
        nm.addProfile("Mobile", "gsm");
        nm.addProfile("Work VPN", "vpn");
    }

    PrivateBus bus;
    MockNetworkManager nm{bus};
};

class DialupCheckGateTest : public ::testing::Test {
protected:
    DialupCheckGateTest() {
        Account account;
        account.Aname = "home";
        account.Hname = "127.0.0.1";
        account.Portno = static_cast<int16_t>(server.port());
        account.Uname = "taro";
        account.Passw = "secret";
        account.Check = 1;
        addAccount(store, account);
        store.write("Option6value", "1");  // skip periodic checks while offline
        store.write("Option7value", "1");  // hang up after a check
        // The menu reads "Work VPN", "Mobile": entry 1 is the modem.
        store.write("Defdialno", "1");
        settings = loadSettings(store);
        cycle.applyTimerPeriods();
    }

    // Runs the loop until the check has ended; false when it is still running at the limit.
    bool finish() {
        bool over = false;
        auto limit = loop.createTimer();
        limit->setHandler([&] { over = true; });
        limit->setInterval(kCheckLimitMs);
        limit->setEnabled(true);
        loop.runUntil([&] { return !state.checkInProgress || over; });
        return !state.checkInProgress;
    }

    void periodicCheck() {
        state.periodicCheck = true;
        cycle.startCheck();
    }

    Network network;  // first: its bus makes the Qt application; before the dial-up lists
    MockNetworkManager& nm = network.nm;
    ScriptedPop3Server server{
        {ScriptedMaildrop{}.script(), ScriptedMaildrop{}.script(), ScriptedMaildrop{}.script()}};
    MemorySettingsStore store;
    AppSettings settings;
    QtEventLoop loop;
    PosixSocketApi api{loop};
    RecordingMessageBoxes boxes;
    SocketLayer layer{api, loop, boxes, settings};
    CheckState state;
    MailList mailList;
    Pop3Session session{layer, loop, state, settings, mailList};
    RecordingTrayIcon tray;
    RecordingMenuItems menus;
    NetworkManagerDialup dialup{network.bus.connection(), loop, settings, boxes, tray};
    CheckCycle cycle{loop, layer, session, state, settings, store, tray, menus, dialup};
};

TEST_F(DialupCheckGateTest, OfflineSkipsPeriodicChecksAndDialsForManualOnes) {
    periodicCheck();
    EXPECT_TRUE(state.checkInProgress);  // abandoned, not ended
    EXPECT_FALSE(cycle.timeuptimer().enabled());
    EXPECT_EQ(tray.image, TrayImage::Normal);

    cycle.mailCheckCommand();
    ASSERT_TRUE(finish());
    // Dialled "Defdialno", checked, and hung up after the check without mail.
    EXPECT_EQ(nm.events(), (std::vector<std::string>{"activate Mobile", "deactivate Mobile"}));
    EXPECT_EQ(server.connectionsAccepted(), 1);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(DialupCheckGateTest, OnlineThroughWiFiChecksWithoutDialling) {
    nm.bringUp("Home Wi-Fi");
    nm.setState(MockNetworkManager::kConnectedGlobal);

    periodicCheck();
    ASSERT_TRUE(finish());
    cycle.mailCheckCommand();
    ASSERT_TRUE(finish());
    EXPECT_EQ(server.connectionsAccepted(), 2);
    // Neither dialled nor hung up: the Wi-Fi is no dial-up connection.
    EXPECT_TRUE(nm.events().empty());
    EXPECT_TRUE(boxes.boxes.empty());
}

}  // namespace
}  // namespace velkora::test
