// Dial-up on a NetworkManager played by python-dbusmock on a private bus.

#include "checker/dialup/qt/NetworkManagerDialup.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "checker/dialup/DialupMenu.h"
#include "checker/dialup/qt/CreateDialup.h"
#include "common/qt/DialEntryList.h"
#include "common/qt/NetworkManagerClient.h"
#include "common/qt/QtEventLoop.h"
#include "tests/checker/dialup/MockNetworkManager.h"
#include "tests/support/RecordingMessageBoxes.h"
#include "tests/support/RecordingShell.h"

namespace velkora::test {
namespace {

using Strings = std::vector<std::string>;

class NetworkManagerDialupTest : public ::testing::Test {
protected:
    // The dial-up on the test's bus connection, with a short limit per attempt.
    NetworkManagerDialup dialup(int attemptLimitMs = 5000) {
        return NetworkManagerDialup(bus.connection(), loop, boxes, tray, attemptLimitMs);
    }

    // The state of the profile's active connection; 0 when it has none.
    uint32_t activeState(const std::string& id) {
        const auto active = nm::listActiveConnections(bus.connection());
        if (!active) {
            return 0;
        }
        const auto found =
            std::find_if(active->begin(), active->end(),
                         [&](const auto& connection) { return connection.id == id; });
        return found == active->end() ? 0 : found->state;
    }

    PrivateBus bus;  // first: it makes the Qt application
    QtEventLoop loop;
    RecordingMessageBoxes boxes;
    RecordingTrayIcon tray;
    std::unique_ptr<MockNetworkManager> nm = std::make_unique<MockNetworkManager>(bus);
};

TEST_F(NetworkManagerDialupTest, ListsTheOnDemandProfilesAndTheCheckerReversesThem) {
    nm->addProfile("Home Wi-Fi", "802-11-wireless");
    nm->addProfile("Mobile", "gsm");
    nm->addProfile("Office LAN", "802-3-ethernet");
    nm->addProfile("DSL", "pppoe");
    nm->addProfile("Phone", "bluetooth", "dun");
    nm->addProfile("Headset", "bluetooth", "panu");
    nm->addProfile("Work VPN", "vpn");
    nm->addProfile("Tunnel", "wireguard");

    // The programs reach NetworkManager through the system bus.
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", bus.address().toUtf8());
    EXPECT_EQ(listDialEntries(), (Strings{"Mobile", "DSL", "Phone", "Work VPN", "Tunnel"}));

    const Strings menuOrder{"Tunnel", "Work VPN", "Phone", "DSL", "Mobile"};
    const std::unique_ptr<Dialup> checker = createDialup(loop, boxes, tray);
    EXPECT_EQ(checker->dialEntries(), menuOrder);
}

TEST_F(NetworkManagerDialupTest, MenuClickStartsTheEntryAndHangUpTakesItDown) {
    nm->addProfile("A", "gsm");
    nm->addProfile("B", "pppoe");
    nm->addProfile("C", "vpn");
    nm->scriptActivations("C", {"hang"});
    NetworkManagerDialup service = dialup();
    DialupMenu menu(service);

    Strings captions;
    for (const auto& item : menu.items()) {
        captions.push_back(item.caption);
    }
    EXPECT_EQ(captions, (Strings{"C", "B", "A", "", "切断(&H)"}));
    EXPECT_EQ(menu.items()[3].kind, DialupMenu::Kind::Separator);

    // The click returns while the connection is still coming up.
    menu.click(0);
    EXPECT_EQ(nm->events(), Strings{"activate C"});
    EXPECT_EQ(activeState("C"), nm::kActivating);

    menu.click(4);
    EXPECT_EQ(nm->events(), (Strings{"activate C", "deactivate C"}));
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(NetworkManagerDialupTest, HangUpTakesDownOnlyTheFirstDialUpConnection) {
    nm->addProfile("Home Wi-Fi", "802-11-wireless");
    nm->addProfile("Mobile", "gsm");
    nm->addProfile("Work VPN", "vpn");
    nm->bringUp("Home Wi-Fi");
    nm->bringUp("Mobile");
    nm->bringUp("Work VPN");

    dialup().hangUpDialup();
    EXPECT_EQ(nm->events(), Strings{"deactivate Mobile"});
}

TEST_F(NetworkManagerDialupTest, DialsOnlyWhenNotExactlyOneConnectionIsUp) {
    nm->addProfile("Mobile", "gsm");
    nm->addProfile("DSL", "pppoe");
    nm->addProfile("Work VPN", "vpn");
    NetworkManagerDialup service = dialup();

    EXPECT_EQ(service.countActiveConnections(), 0);
    nm->bringUp("Mobile");
    EXPECT_EQ(service.countActiveConnections(), 1);
    EXPECT_EQ(service.dialEntry("DSL", 0), 0);
    EXPECT_TRUE(nm->events().empty());

    nm->bringUp("Work VPN");
    EXPECT_EQ(service.countActiveConnections(), 2);
    // An entry that is already up is not brought up again (that would drop it).
    EXPECT_EQ(service.dialEntry("Work VPN", 0), 0);
    EXPECT_TRUE(nm->events().empty());
    // Connected before NetworkManager even answered the request.
    nm->scriptActivations("DSL", {"quick"});
    EXPECT_EQ(service.dialEntry("DSL", 0), 0);
    EXPECT_EQ(nm->events(), Strings{"activate DSL"});
    EXPECT_EQ(service.countActiveConnections(), 3);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(NetworkManagerDialupTest, FailedAttemptsAreRedialledThenGivenUp) {
    nm->addProfile("DSL", "pppoe");
    nm->scriptActivations("DSL", {"fail"});
    NetworkManagerDialup service = dialup(1000);

    tray.image = TrayImage::Checking;
    EXPECT_EQ(service.dialEntry("DSL", 2), -1);
    EXPECT_EQ(nm->events(), Strings(3, "activate DSL"));
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].icon, MessageIcon::Stop);
    EXPECT_EQ(boxes.boxes[0].title, "Velkora");
    EXPECT_EQ(boxes.boxes[0].text, "接続できませんでした");
    EXPECT_EQ(tray.image, TrayImage::Normal);

    // A name that is no profile (any more) fails like an attempt, without asking.
    nm->addProfile("Gone", "gsm");
    nm->removeProfile("Gone");
    EXPECT_EQ(service.dialEntry("Gone", 1), -1);
    EXPECT_EQ(service.dialEntry("", 1), -1);
    EXPECT_EQ(nm->events().size(), 3u);
    EXPECT_EQ(boxes.boxes.size(), 3u);

    // A failure, then one still coming up at the limit (taken down before the redial).
    nm->scriptActivations("DSL", {"fail", "hang", "up"});
    EXPECT_EQ(service.dialEntry("DSL", 3), 0);
    const Strings events = nm->events();
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(Strings(events.begin() + 3, events.end()),
              (Strings{"activate DSL", "activate DSL", "deactivate DSL", "activate DSL"}));
    EXPECT_EQ(activeState("DSL"), nm::kActivated);
    EXPECT_EQ(boxes.boxes.size(), 3u);
}

TEST_F(NetworkManagerDialupTest, WithoutNetworkManagerNothingIsDialled) {
    // Gone after start-up: as a machine without dial-up.
    nm->addProfile("Mobile", "gsm");
    NetworkManagerDialup service = dialup();
    nm.reset();
    EXPECT_EQ(service.countActiveConnections(), 1);
    EXPECT_EQ(service.dialEntry("Mobile", 0), 0);

    // Absent at start-up, or no bus at all.
    EXPECT_TRUE(listDialEntries(bus.connection()).empty());
    const std::unique_ptr<Dialup> absent = createDialup(loop, boxes, tray, bus.connection());
    EXPECT_TRUE(absent->dialEntries().empty());
    EXPECT_EQ(absent->dialEntry("Mobile", 0), 0);
    const QDBusConnection noBus = QDBusConnection::connectToBus("unix:path=/nonexistent", "none");
    EXPECT_TRUE(listDialEntries(noBus).empty());
    EXPECT_EQ(createDialup(loop, boxes, tray, noBus)->dialEntry("Mobile", 0), 0);
    EXPECT_TRUE(boxes.boxes.empty());
}

}  // namespace
}  // namespace velkora::test
