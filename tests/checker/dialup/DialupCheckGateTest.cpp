// The check cycle's dial-up gate on a NetworkManager played by python-dbusmock: whether a
// check dials, runs or is skipped follows what NetworkManager reports.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "checker/dialup/qt/NetworkManagerDialup.h"
#include "checker/net/PosixSocketApi.h"
#include "checker/shell/Checker.h"
#include "checker/shell/HeadlessServices.h"
#include "common/Accounts.h"
#include "common/MemorySettingsStore.h"
#include "common/qt/QtEventLoop.h"
#include "tests/checker/dialup/MockNetworkManager.h"
#include "tests/support/DovecotServer.h"
#include "tests/support/RecordingMessageBoxes.h"
#include "tests/support/RecordingShell.h"

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

// An empty maildrop on a private Dovecot.
struct Server {
    Server() {
        dovecot.addUser("taro", "secret");
        started = dovecot.start(&error);
    }
    DovecotServer dovecot;
    std::string error;
    bool started = false;
};

class DialupCheckGateTest : public ::testing::Test {
protected:
    DialupCheckGateTest() {
        addAccount(store, {.Aname = "home",
                           .Hname = "127.0.0.1",
                           .Portno = static_cast<int16_t>(server.dovecot.port()),
                           .Uname = "taro",
                           .Passw = "secret",
                           .Check = 1});
        store.write("Option3value", "0");  // any error shows as a box
        store.write("Option6value", "1");  // skip periodic checks while offline
        store.write("Option7value", "1");  // hang up after a check
        // The menu reads "Work VPN", "Mobile": entry 1 is the modem.
        store.write("Defdialno", "1");
        checker.loadSettings();
    }

    void SetUp() override {
        if (DovecotServer::findBinary().empty()) {
            GTEST_SKIP() << "dovecot is not installed (scripts/setup.sh installs it)";
        }
        ASSERT_TRUE(server.started) << server.error;
    }

    // Runs the loop until the check has ended; false when it is still running at the limit.
    bool finish() {
        bool over = false;
        auto limit = loop.createTimer();
        limit->setHandler([&] { over = true; });
        limit->setInterval(kCheckLimitMs);
        limit->setEnabled(true);
        loop.runUntil([&] { return !checker.checkState().checkInProgress || over; });
        return !checker.checkState().checkInProgress;
    }

    int logins() const {
        const std::string log = server.dovecot.logText();
        int count = 0;
        for (auto at = log.find("Login: user=<taro>"); at != std::string::npos;
             at = log.find("Login: user=<taro>", at + 1)) {
            ++count;
        }
        return count;
    }

    Network network;  // first: its bus makes the Qt application; before the dial-up lists
    MockNetworkManager& nm = network.nm;
    Server server;
    MemorySettingsStore store;
    QtEventLoop loop;
    PosixSocketApi api{loop};
    RecordingMessageBoxes boxes;
    RecordingTrayIcon tray;
    RecordingMenuItems menus;
    NullMailPopup popup;
    NullCharacter character;
    NullWaveVolume volume;
    NullArrivalSound sound;
    NetworkManagerDialup dialup{network.bus.connection(), loop, boxes, tray};
    Checker checker{CheckerServices{loop, api, boxes, tray, menus, popup, character, volume, sound,
                                    dialup, store, ScreenMetrics{}}};
};

TEST_F(DialupCheckGateTest, OfflineSkipsPeriodicChecksAndDialsForManualOnes) {
    checker.cycle().startPeriodicCheck();
    EXPECT_TRUE(checker.checkState().checkInProgress);  // abandoned, not ended
    EXPECT_FALSE(checker.cycle().timeuptimer().enabled());
    EXPECT_EQ(tray.image, TrayImage::Normal);

    checker.mailCheck();
    ASSERT_TRUE(finish());
    // Dialled "Defdialno", checked, and hung up after the check without mail.
    EXPECT_EQ(nm.events(), (std::vector<std::string>{"activate Mobile", "deactivate Mobile"}));
    EXPECT_EQ(logins(), 1);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(DialupCheckGateTest, OnlineThroughWiFiChecksWithoutDialling) {
    nm.bringUp("Home Wi-Fi");
    nm.setState(MockNetworkManager::kConnectedGlobal);

    checker.cycle().startPeriodicCheck();
    ASSERT_TRUE(finish());
    checker.mailCheck();
    ASSERT_TRUE(finish());
    EXPECT_EQ(logins(), 2);
    // Neither dialled nor hung up: the Wi-Fi is no dial-up connection.
    EXPECT_TRUE(nm.events().empty());
    EXPECT_TRUE(boxes.boxes.empty());
}

}  // namespace
}  // namespace velkora::test
