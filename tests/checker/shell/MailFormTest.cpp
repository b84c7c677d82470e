#include <gtest/gtest.h>

#include "checker/shell/MailForm.h"
#include "checker/shell/ScreenUnits.h"
#include "common/Accounts.h"
#include "common/MemorySettingsStore.h"
#include "tests/support/SimulatedEventLoop.h"

namespace velkora {
namespace {

struct RecordingView final : MailFormView {
    void setCaption(const std::string& text) override { caption = text; }
    void setColumnWidths(const std::array<int, 4>& twips) override { widths = twips; }
    void setGridTip(const std::string& text) override { tip = text; }
    void setMailerButton(int index, const MailerCaption& mailer) override {
        buttons[static_cast<std::size_t>(index - 1)] = mailer;
    }
    void showWindow() override { shown = true; }
    void hideWindow() override { shown = false; }

    std::string caption;
    std::array<int, 4> widths{};
    std::string tip;
    std::array<MailerCaption, 2> buttons;
    bool shown = true;  // hidden by attachView
};

struct PopupRig {
    test::SimulatedEventLoop loop;
    MailList list;
    AppSettings settings;
    MemorySettingsStore store;
    ReadingState reading;
    MailForm form{MailFormServices{loop, list, settings, store, reading}};
    RecordingView view;

    PopupRig() {
        form.attachView(view);
        Account work;
        work.Aname = "仕事";
        addAccount(store, work);
        Account home;
        home.Aname = "家族";
        addAccount(store, home);
        list.addRow({"山田", "会議", 1, "本文"}, {});
        list.addRow({"母", "週末", 2, "本文"}, {});
        list.addRow({"誰か", "件名", 0, ""}, {});
    }
};

TEST(MailFormTest, ShowsCaptionHeaderAndWidthsAndClosesAfterTheSetSeconds) {
    PopupRig rig;
    EXPECT_FALSE(rig.view.shown);
    EXPECT_EQ(rig.view.tip, "ｸﾘｯｸするとｱｶｳﾝﾄを表示、ダブルクリックで読み上げます");
    EXPECT_EQ(rig.view.buttons[1], (MailerCaption{"未登録", false}));

    rig.settings.Closetimerval = 10;
    rig.form.showPopup(3);
    EXPECT_TRUE(rig.view.shown);
    EXPECT_EQ(rig.view.caption, "3通のメールが届いています!");
    EXPECT_EQ(rig.list.cell(0, 0), "差出人");
    EXPECT_EQ(rig.list.cell(0, 1), "件名");
    EXPECT_EQ(rig.view.widths, (std::array<int, 4>{3000, 3000, 300, 0}));
    rig.loop.advanceBy(9999);
    EXPECT_TRUE(rig.view.shown);
    rig.loop.advanceBy(1);
    EXPECT_FALSE(rig.view.shown);
    EXPECT_EQ(rig.list.mailCount(), 3u);

    // Shown again: the count starts anew, and the rows are still there.
    rig.loop.advanceBy(4000);
    rig.form.showPopup(3);
    rig.loop.advanceBy(9000);
    EXPECT_TRUE(rig.view.shown);
    rig.loop.advanceBy(1000);
    EXPECT_FALSE(rig.view.shown);

    // Sixteen mails narrow the text columns; sixty seconds are sixty seconds, not 16 bits of ms.
    rig.settings.Closetimerval = 60;
    rig.form.showPopup(16);
    EXPECT_EQ(rig.view.widths, (std::array<int, 4>{2900, 2900, 300, 0}));
    rig.loop.advanceBy(59999);
    EXPECT_TRUE(rig.view.shown);
    rig.loop.advanceBy(1);
    EXPECT_FALSE(rig.view.shown);

    // 0: it stays until a button is pressed.
    rig.settings.Closetimerval = 0;
    rig.form.showPopup(15);
    rig.loop.advanceBy(600000);
    EXPECT_TRUE(rig.view.shown);
    rig.form.okPressed();
    EXPECT_FALSE(rig.view.shown);
}

TEST(MailFormTest, ClicksShowTheAccountAndReadOrStartAMailProgram) {
    PopupRig rig;
    std::vector<std::size_t> read;
    std::vector<int> started;
    rig.form.readMail = [&](std::size_t row) { read.push_back(row); };
    rig.form.startMailer = [&](int index) {
        EXPECT_FALSE(rig.view.shown);  // hidden before the program starts
        started.push_back(index);
    };

    rig.form.clickRow(2);
    EXPECT_EQ(rig.view.tip, "ｱｶｳﾝﾄ：家族");
    EXPECT_EQ(rig.reading.currentAccountName, "家族");
    rig.form.clickRow(3);  // account cell "0": no such account
    EXPECT_EQ(rig.view.tip, "ｱｶｳﾝﾄ：");
    EXPECT_EQ(rig.reading.currentAccountName, "");

    rig.form.doubleClickRow(0);
    rig.form.doubleClickRow(1);
    EXPECT_EQ(read, std::vector<std::size_t>{1});

    rig.form.setMailerButton(2, "mailerを起動", true);
    EXPECT_EQ(rig.view.buttons[1], (MailerCaption{"mailerを起動", true}));
    rig.form.showPopup(3);
    rig.form.mailerPressed(2);
    EXPECT_EQ(started, std::vector<int>{2});
}

TEST(ScreenUnitsTest, TwipsAndColourValues) {
    EXPECT_EQ(twipsPerPixelFor(96), 15);
    EXPECT_EQ(twipsPerPixelFor(144), 10);
    EXPECT_EQ(twipsToPixels(6435, 15), 429);
    EXPECT_EQ(twipsToPixels(2900, 15), 193);
    // 0x00BBGGRR: the default background is red 128, green 255, blue 255.
    EXPECT_EQ(fromColourValue(0xFFFF80), (RgbColour{0x80, 0xFF, 0xFF}));
    EXPECT_EQ(fromColourValue(0x123456), (RgbColour{0x56, 0x34, 0x12}));
}

}  // namespace
}  // namespace velkora
