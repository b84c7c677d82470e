#include "checker/shell/Checker.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "checker/shell/HeadlessServices.h"
#include "checker/shell/MailerCaptions.h"
#include "common/Accounts.h"
#include "common/MemorySettingsStore.h"
#include "tests/support/FakeSocketApi.h"
#include "tests/support/RecordingCharacter.h"
#include "tests/support/RecordingDialup.h"
#include "tests/support/RecordingMessageBoxes.h"
#include "tests/support/RecordingShell.h"
#include "tests/support/SimulatedEventLoop.h"

namespace velkora::test {
namespace {

using Strings = std::vector<std::string>;

// The checker with a character that can be loaded, in virtual time; one account with two
// mails, a character file on disk.
struct CheckerHarness {
    CheckerHarness() {
        std::ofstream(characterFile) << "character";
        store.write("Agentnm", characterFile.string());
        store.write("Option4index", "0");  // the character stays hidden until it reads
        addAccount(store, {.Aname = "Main", .Hname = "pop.example", .Uname = "u", .Passw = "p"});
        api.addServer("pop.example")
            .setMailbox({"From: a@example.com\r\nSubject: one\r\n\r\nx\r\n",
                         "From: b@example.com\r\nSubject: two\r\n\r\ny\r\n"});
    }
    ~CheckerHarness() { std::filesystem::remove(characterFile); }

    void runCheck() {
        checker.mailCheck();
        loop.runUntil([&] { return !checker.checkState().checkInProgress; });
    }
    Strings spoken() const {
        Strings out;
        for (const auto& call : character.callsStartingWith("speak ")) {
            out.push_back(call.what);
        }
        return out;
    }

    std::filesystem::path characterFile = std::filesystem::temp_directory_path() /
                                          ("velkora-checker-" + std::to_string(getpid()) + ".acs");
    MemorySettingsStore store;
    SimulatedEventLoop loop;
    FakeSocketApi api{loop};
    RecordingMessageBoxes boxes;
    RecordingTrayIcon tray;
    RecordingMenuItems menus;
    RecordingPopup popup;
    RecordingCharacter character{[this] { return loop.now(); }};
    NullWaveVolume volume;
    NullArrivalSound sound;
    RecordingDialup dialup;
    Checker checker{CheckerServices{loop, api, boxes, tray, menus, popup, character, volume, sound,
                                    dialup, store, ScreenMetrics{}}};
};

TEST(Checker, StartUpLoadsSettingsCaptionsAndCharacterAndChecksOnlyWhenAsked) {
    for (const char* option5 : {"0", "1"}) {
        SCOPED_TRACE(std::string("Option5value ") + option5);
        CheckerHarness h;
        h.store.write("Option5value", option5);
        h.store.write("Mailerdir1", "");
        h.store.write("Mailerdir2", "/opt/mail.apps/thunder.bird.exe");
        h.checker.loadSettings();
        h.checker.loadAgent();
        h.checker.addTrayIcon();
        h.checker.startUpCheck();
        const MailerCaption unset{"未登録", false};
        const MailerCaption set{"thunderを起動", true};
        EXPECT_EQ(h.menus.mailers, (std::map<int, MailerCaption>{{1, unset}, {2, set}}));
        EXPECT_EQ(h.popup.mailers, h.menus.mailers);
        EXPECT_TRUE(h.character.loaded());
        EXPECT_EQ(h.checker.checkState().checkInProgress, *option5 == '1');
        EXPECT_EQ(h.tray.image, *option5 == '1' ? TrayImage::Checking : TrayImage::Normal);
    }
    EXPECT_EQ(mailerTitle("mailer"), "mailer");
    EXPECT_EQ(mailerTitle("0"), "");
}

TEST(Checker, MenuCommandsWorkOnTheLastChecksMail) {
    CheckerHarness h;
    h.store.write("Option1value", "0");  // no popup of its own after the check
    h.store.write("Mailerdir1", "/usr/bin/mailer");
    h.checker.loadSettings();
    h.checker.loadAgent();
    h.runCheck();
    ASSERT_EQ(h.checker.mailList().mailCount(), 2u);
    const std::size_t readAfterCheck = h.spoken().size();
    ASSERT_GT(readAfterCheck, 2u);

    h.checker.resetIcon();
    EXPECT_EQ(h.tray.image, TrayImage::Normal);
    EXPECT_EQ(h.checker.mailList().mailCount(), 2u);
    h.checker.showPopup();
    EXPECT_EQ(h.popup.shownTotals, std::vector<int16_t>{2});
    h.checker.talkMail();  // the same reading again
    EXPECT_EQ(h.spoken().size(), 2 * readAfterCheck);
    h.checker.talkSingleMail(2);
    const Strings all = h.spoken();
    const Strings single(all.begin() + static_cast<std::ptrdiff_t>(2 * readAfterCheck), all.end());
    EXPECT_TRUE(std::any_of(single.begin(), single.end(), [](const std::string& text) {
        return text.find("two") != std::string::npos;
    })) << "the second row's subject";
    EXPECT_FALSE(std::any_of(single.begin(), single.end(), [](const std::string& text) {
        return text.find("one") != std::string::npos;
    }));

    // A mail program clears the new-mail image, but not the checking one.
    h.tray.tuskicon(TrayState::NewMail);
    EXPECT_EQ(h.checker.execMailapp(1), "/usr/bin/mailer");
    EXPECT_EQ(h.tray.image, TrayImage::Normal);
    EXPECT_EQ(h.checker.execMailapp(2), "");
    h.checker.mailCheck();
    EXPECT_EQ(h.checker.execMailapp(1), "/usr/bin/mailer");
    EXPECT_EQ(h.tray.image, TrayImage::Checking);

    // Back from the options program while the check runs: new settings, the icon left alone.
    h.store.write("Mailerdir1", "");
    h.checker.reloadAfterOptions();
    EXPECT_EQ(h.menus.mailers.at(1), (MailerCaption{"未登録", false}));
    EXPECT_EQ(h.tray.image, TrayImage::Checking);
    h.loop.runUntil([&] { return !h.checker.checkState().checkInProgress; });
    h.checker.reloadAfterOptions();
    EXPECT_EQ(h.tray.image, TrayImage::Normal);

    // The exit keeps the place of the character on screen and removes the icon.
    h.character.show();
    h.character.userDrags({100, 200});
    h.checker.exit();
    EXPECT_EQ(h.store.find("DefLeft"), "1500");
    EXPECT_EQ(h.store.find("DefTop"), "3000");
    EXPECT_EQ(h.tray.removed, 1);
}

}  // namespace
}  // namespace velkora::test
