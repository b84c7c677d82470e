// quorble's connection list on a NetworkManager played by python-dbusmock on a private bus.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

#include "checker/dialup/qt/CreateDialup.h"
#include "common/IniSettingsStore.h"
#include "common/qt/QtEventLoop.h"
#include "options/gui/OptionsDialog.h"
#include "options/gui/QuorbleServices.h"
#include "tests/checker/dialup/MockNetworkManager.h"
#include "tests/options/OptionsFakes.h"
#include "tests/support/RecordingMessageBoxes.h"
#include "tests/support/RecordingShell.h"

namespace velkora {
namespace {

using Strings = std::vector<std::string>;

TEST(OptionsDialupTest, ConnectionListIsTheCheckersSoTheChosenIndexNamesTheSameEntry) {
    test::PrivateBus bus;
    test::MockNetworkManager nm(bus);
    nm.addProfile("Mobile", "gsm");
    nm.addProfile("Home Wi-Fi", "802-11-wireless");
    nm.addProfile("DSL", "pppoe");
    nm.addProfile("Work VPN", "vpn");
    // Both programs reach NetworkManager through the system bus.
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", bus.address().toUtf8());

    QTemporaryDir folder;
    IniSettingsStore store(folder.filePath("orvane.ini").toStdString());
    store.write("Defdialno", "2");
    test::RecordingMessageBoxes boxes;
    test::FakeChoosers choosers;
    test::FakePreview preview;
    OptionsDialog dialog(quorbleServices(store, boxes, choosers, preview));
    dialog.loaddata();

    auto* list = dialog.findChild<QComboBox*>(QStringLiteral("DialList"));
    ASSERT_NE(list, nullptr);
    Strings shown;
    for (int i = 0; i < list->count(); ++i) {
        shown.push_back(list->itemText(i).toStdString());
    }
    EXPECT_EQ(shown, (Strings{"Work VPN", "DSL", "Mobile"}));
    EXPECT_EQ(list->currentText(), "Mobile");

    list->setCurrentIndex(1);
    dialog.findChild<QPushButton*>(QStringLiteral("OkBt"))->click();
    EXPECT_EQ(store.read("Defdialno", ""), "1");

    // The checker's list, which its dial-up menu shows and "Defdialno" indexes.
    QtEventLoop loop;
    test::RecordingTrayIcon tray;
    EXPECT_EQ(createDialup(loop, boxes, tray)->dialEntries(), shown);
}

}  // namespace
}  // namespace velkora
