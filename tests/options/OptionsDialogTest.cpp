#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>

#include "common/Accounts.h"
#include "common/IniSettingsStore.h"
#include "common/Settings.h"
#include "options/gui/AccountForm.h"
#include "options/gui/OptionsDialog.h"
#include "tests/options/OptionsFakes.h"
#include "tests/support/RecordingMessageBoxes.h"

namespace velkora {
namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class OptionsDialogTest : public testing::Test {
protected:
    OptionsDialogTest() : store(path("orvane.ini")) {
        QFile(QString::fromStdString(characterA)).open(QIODevice::WriteOnly);
        QFile(QString::fromStdString(characterB)).open(QIODevice::WriteOnly);
        preview.characters[characterA] = {"Congratulate", "Read", "Wave"};
        preview.characters[characterB] = {"Wave", "Greet"};
    }

    std::string path(const char* name) const { return folder.filePath(name).toStdString(); }

    OptionsDialog& open() {
        OptionsServices services{store,
                                 boxes,
                                 choosers,
                                 preview,
                                 [] {
                                     return std::vector<std::string>{"Modem", "VPN"};
                                 },
                                 fonts,
                                 PreviewScreen{1024, 768, 15, 15},
                                 characterA,
                                 QStringLiteral("/programs"),
                                 QStringLiteral("/data/Msagent/chars")};
        dialog = std::make_unique<OptionsDialog>(services);
        dialog->loaddata();
        dialog->show();
        return *dialog;
    }

    template <typename Widget>
    Widget* find(const char* name) {
        auto* widget = dialog->findChild<Widget*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QLineEdit* box(const char* name) { return find<QLineEdit>(name); }
    QCheckBox* check(const char* name) { return find<QCheckBox>(name); }
    QComboBox* list(const char* name) { return find<QComboBox>(name); }
    void press(const char* name) { find<QPushButton>(name)->click(); }

    std::vector<std::string> items(QComboBox* combo) {
        std::vector<std::string> texts;
        for (int i = 0; i < combo->count(); ++i) {
            texts.push_back(combo->itemText(i).toStdString());
        }
        return texts;
    }

    // Runs `act` on the account editor once it is open and modal; `act` must close it.
    void withEditor(std::function<void(AccountForm&)> act) {
        QTimer::singleShot(0, [act] {
            auto* editor = dynamic_cast<AccountForm*>(QApplication::activeModalWidget());
            if (!editor) {
                ADD_FAILURE() << "no account editor open";
                return;
            }
            act(*editor);
            if (editor->isVisible()) {
                ADD_FAILURE() << "the account editor stayed open";
                editor->reject();
            }
        });
    }

    void pressRow(int row) {
        auto* table = find<QTableWidget>("accountList");
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                          table->visualRect(table->model()->index(row, 0)).center());
    }

    std::string cell(int row, int column) {
        auto* item = find<QTableWidget>("accountList")->item(row, column);
        return item ? item->text().toStdString() : "<none>";
    }

    QTemporaryDir folder;
    IniSettingsStore store;
    test::RecordingMessageBoxes boxes;
    test::FakeChoosers choosers;
    test::FakePreview preview;
    std::vector<std::string> fonts{"DejaVu Sans", "@ＭＳ ゴシック", "ＭＳ Ｐゴシック"};
    std::string characterA = path("a.acs");
    std::string characterB = path("b.acs");
    std::unique_ptr<OptionsDialog> dialog;
};

TEST_F(OptionsDialogTest, EmptyStoreOpensWithTheDefaultsAndOkStoresThemAll) {
    open();
    EXPECT_TRUE(boxes.boxes.empty());
    for (const char* on : {"option1", "option2", "option3", "option4", "option6", "Check5",
                           "option8", "option9", "Check1", "Check2", "Check3", "Check4"}) {
        EXPECT_TRUE(check(on)->isChecked()) << on;
    }
    for (const char* off : {"option5", "option7", "soption7"}) {
        EXPECT_FALSE(check(off)->isChecked()) << off;
    }
    EXPECT_EQ(box("timerbox3")->text(), "60");
    EXPECT_EQ(box("talkcntbox")->text(), "10");
    EXPECT_EQ(box("txt_Vol")->text(), "30000");
    EXPECT_EQ(find<QScrollBar>("scr_Vol")->value(), 30000 - 32768);
    EXPECT_EQ(find<QScrollBar>("scr_Pitch")->value(), 100);
    EXPECT_EQ(items(list("DialList")), (std::vector<std::string>{"VPN", "Modem"}));
    EXPECT_EQ(list("DialList")->currentIndex(), 0);
    EXPECT_EQ(items(list("Combo1_0")),
              (std::vector<std::string>{"Nothing", "Congratulate", "Read", "Wave"}));
    EXPECT_EQ(list("Combo1_0")->currentText(), "Congratulate");
    EXPECT_EQ(list("Combo1_1")->currentText(), "Read");
    EXPECT_EQ(list("Combo1_5")->currentText(), "Nothing");
    // Half the 1024 x 768 screen in twips, minus 64 twips, in pixels.
    ASSERT_EQ(preview.shownAt.size(), 1u);
    EXPECT_EQ(preview.shownAt[0].left, 508);
    EXPECT_EQ(preview.shownAt[0].top, 380);
    EXPECT_TRUE(box("timerbox2")->isEnabled());
    EXPECT_FALSE(check("soption7")->isEnabled());

    press("OkBt");
    EXPECT_EQ(dialog->result(), QDialog::Accepted);

    const std::string notstr =
        "┌┐┘└├┬┤┴┼━┃┏┛┓┗┣┳┫┻╋┠┯┨┷┿┝┰┥┸╂―‐／＼～∥｜…‥（）〔〕［］｛｝〈〉《》「」『』【】＋－±×÷＝＜"
        "＞"
        "≦≧∞∴♂♀℃￥＄￠￡％＃＆＊＠§☆★○●◎◇◆□■△▲▽▼※〒→←↑↓〓∈∋⊆⊇⊂⊃∪∩∧∨⇒⇔∀∃∠⊥⌒∂∇≡≒≪≫√∽∝∵∫∬\u212B‰♯♭♪"
        "†‡¶◯#$%&(){}[]<>";
    ASSERT_EQ(QString::fromStdString(notstr).size(), 152);  // U+212B is the angstrom sign
    const Entries expected = {
        {"Talkstr1", "全部で@1通のメールが届いています"},
        {"Actkind1", "Congratulate"},
        {"Talkstr2", "@2へのメール@3通目"},
        {"Actkind2", "Read"},
        {"Talkstr3", "差出人 @4"},
        {"Actkind3", "Nothing"},
        {"Talkstr4", "件名 @5"},
        {"Actkind4", "Nothing"},
        {"Talkstr5", "@6"},
        {"Actkind5", "Nothing"},
        {"Talkstr6", "以上です"},
        {"Actkind6", "Nothing"},
        {"accountno", "0"},
        {"Option1value", "1"},
        {"Option2value", "1"},
        {"Option3value", "1"},
        {"Option4index", "1"},
        {"Option5value", "0"},
        {"Option6value", "1"},
        {"Option7value", "0"},
        {"sOption7value", "0"},
        {"Check5value", "1"},
        {"Option8value", "1"},
        {"Option9value", "1"},
        {"Check1value", "1"},
        {"Check2value", "1"},
        {"Check3value", "1"},
        {"Check4value", "1"},
        {"Checktimerval", "0"},
        {"Closetimerval", "0"},
        {"Timeupval", "60"},
        {"Redialval", "0"},
        {"Mailerdir1", ""},
        {"Mailerdir2", ""},
        {"Wavdir", ""},
        {"Defdialno", "0"},
        {"Agentnm", characterA},
        {"Talkcnt", "10"},
        {"Notstr", notstr},
        {"Volval", "30000"},
        {"Pitchval", "100"},
        {"HukifontN", "ＭＳ Ｐゴシック"},
        {"HukifontS", "9"},
    };
    IniSettingsStore written(path("expected.ini"));
    for (const auto& [key, value] : expected) {
        written.write(key, value);
    }
    EXPECT_EQ(fileText(store.filePath()), fileText(written.filePath()));
    // The checker now reads the speech flags that its own defaults leave off.
    EXPECT_EQ(loadSettings(store).Option8value, 1);
    EXPECT_EQ(loadSettings(store).Option9value, 1);
}

TEST_F(OptionsDialogTest, CancelEscapeAndCloseStoreNothing) {
    store.write("Option4index", "0");
    store.write("Talkstr1", "こんにちは");
    const std::string before = fileText(store.filePath());
    for (int way = 0; way < 3; ++way) {
        open();
        EXPECT_FALSE(check("option4")->isChecked());
        check("option4")->click();
        check("option2")->click();
        box("timerbox1")->setText("5");
        box("Text1_0")->setText("さようなら");
        if (way == 0) {
            press("CancelBt");
        } else if (way == 1) {
            QTest::keyClick(dialog.get(), Qt::Key_Escape);
        } else {
            dialog->close();
        }
        EXPECT_EQ(dialog->result(), QDialog::Rejected) << way;
        EXPECT_EQ(fileText(store.filePath()), before) << way;
    }
}

TEST_F(OptionsDialogTest, AccountChangesAreStoredAtOnce) {
    for (const char* name : {"one", "two", "three"}) {
        Account account;
        account.Aname = name;
        account.Hname = std::string(name) + ".example.jp";
        addAccount(store, account);
    }
    open();
    EXPECT_FALSE(find<QPushButton>("editbutton")->isEnabled());
    EXPECT_FALSE(find<QPushButton>("delbutton")->isEnabled());

    // A new account with an empty name is named after its user and server.
    withEditor([](AccountForm& editor) {
        auto* ok = editor.findChild<QPushButton*>("Command1");
        EXPECT_FALSE(ok->isEnabled());
        EXPECT_EQ(editor.findChild<QLineEdit*>("Portbox")->text(), "110");
        editor.findChild<QLineEdit*>("Hostname")->setText("pop.example.jp");
        editor.findChild<QLineEdit*>("UserName")->setText("taro");
        editor.findChild<QLineEdit*>("MailPassWord")->setText("abc");
        // TLS from the first byte proposes its port; a pin is taken as pasted.
        auto* pin = editor.findChild<QLineEdit*>("Certpin");
        EXPECT_FALSE(pin->isEnabled());
        editor.findChild<QComboBox*>("Tlsmodebox")->setCurrentIndex(2);
        EXPECT_EQ(editor.findChild<QLineEdit*>("Portbox")->text(), "995");
        EXPECT_TRUE(pin->isEnabled());
        pin->setText(QString(64, QLatin1Char('b')));
        EXPECT_TRUE(ok->isEnabled());
        ok->click();
    });
    press("addbutton");
    EXPECT_EQ(cell(3, 0), "taro@pop.example.jp(pop.example.jp)");
    EXPECT_EQ(cell(3, 1), "○");
    EXPECT_EQ(store.read("accountno", ""), "4");
    EXPECT_EQ(store.read("Aname4", ""), "taro@pop.example.jp");
    EXPECT_EQ(store.read("Passw4", ""), "97 98 99 ");
    EXPECT_EQ(store.read("Portno4", ""), "995");
    EXPECT_EQ(store.read("Tlsmode4", ""), "2");
    EXPECT_EQ(loadAccount(store, 4).Tlspin.substr(0, 6), "BB:BB:");

    // Edit of row 2: a port that is no port is refused and the editor stays open.
    pressRow(1);
    ASSERT_TRUE(find<QPushButton>("editbutton")->isEnabled());
    withEditor([this](AccountForm& editor) {
        EXPECT_EQ(editor.findChild<QLineEdit*>("Accountname")->text(), "two");
        editor.findChild<QCheckBox*>("Check1")->setChecked(false);
        editor.findChild<QLineEdit*>("Portbox")->setText("abc");
        editor.findChild<QPushButton*>("Command1")->click();
        EXPECT_TRUE(editor.isVisible());
        EXPECT_EQ(boxes.boxes.size(), 1u);
        editor.findChild<QLineEdit*>("Portbox")->setText("995");
        editor.findChild<QPushButton*>("Command1")->click();
    });
    press("editbutton");
    EXPECT_EQ(cell(1, 0), "two(two.example.jp)");
    EXPECT_EQ(cell(1, 1), "×");
    EXPECT_EQ(store.read("accountno", ""), "4");
    EXPECT_EQ(store.read("Check2", ""), "0");
    EXPECT_EQ(store.read("Portno2", ""), "995");

    // A double-click edits the row, as the edit button does.
    withEditor([](AccountForm& editor) {
        EXPECT_EQ(editor.findChild<QLineEdit*>("Accountname")->text(), "three");
        editor.findChild<QPushButton*>("Command2")->click();
    });
    auto* table = find<QTableWidget>("accountList");
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {},
                       table->visualRect(table->model()->index(2, 0)).center());

    // Delete of row 2: the rows below move up, as the accounts do.
    pressRow(1);
    press("delbutton");
    EXPECT_EQ(table->rowCount(), 3);
    EXPECT_EQ(cell(1, 0), "three(three.example.jp)");
    EXPECT_EQ(store.read("accountno", ""), "3");
    EXPECT_EQ(store.read("Aname2", ""), "three");
    EXPECT_EQ(store.read("Aname3", ""), "taro@pop.example.jp");
    EXPECT_FALSE(find<QPushButton>("editbutton")->isEnabled());
    EXPECT_FALSE(find<QPushButton>("delbutton")->isEnabled());

    press("CancelBt");
    EXPECT_EQ(readAccountCount(store), 3);
}

TEST_F(OptionsDialogTest, PopupAndDisconnectBoxesFollowTheirCheckBoxes) {
    store.write("Option1value", "0");
    store.write("Closetimerval", "15");
    store.write("Option7value", "0");
    open();
    EXPECT_FALSE(box("timerbox2")->isEnabled());
    EXPECT_EQ(box("timerbox2")->text(), "15");
    EXPECT_FALSE(check("soption7")->isEnabled());

    check("option1")->click();
    EXPECT_TRUE(box("timerbox2")->isEnabled());
    EXPECT_EQ(box("timerbox2")->text(), "15");
    check("option1")->click();
    EXPECT_FALSE(box("timerbox2")->isEnabled());
    EXPECT_EQ(box("timerbox2")->text(), "0");

    check("option7")->click();
    ASSERT_TRUE(check("soption7")->isEnabled());
    check("soption7")->click();
    check("option7")->click();
    EXPECT_FALSE(check("soption7")->isChecked());
    EXPECT_FALSE(check("soption7")->isEnabled());

    press("OkBt");
    EXPECT_EQ(store.read("Closetimerval", ""), "0");
    EXPECT_EQ(store.read("sOption7value", ""), "0");
}

TEST_F(OptionsDialogTest, ValuesTheControlsCannotShowAreKept) {
    store.write("Volval", "70000");
    store.write("Pitchval", "300");
    store.write("Option1value", "2");  // the checker shows no popup for 2
    store.write("Option3value", "2");  // but suppresses errors
    store.write("HukifontN", "Not Installed");
    store.write("HukifontS", "13");
    store.write("Check1value", "0");  // the box of row 5, named after its key
    store.write("Defdialno", "5");    // an entry beyond the two listed
    open();
    EXPECT_EQ(list("DialList")->currentIndex(), -1);
    EXPECT_FALSE(check("Check1")->isChecked());
    EXPECT_TRUE(check("Check2")->isChecked());
    EXPECT_EQ(find<QScrollBar>("scr_Vol")->value(), 32767);
    EXPECT_EQ(box("txt_Vol")->text(), "70000");
    EXPECT_EQ(find<QScrollBar>("scr_Pitch")->value(), 250);
    EXPECT_FALSE(check("option1")->isChecked());
    EXPECT_TRUE(check("option3")->isChecked());
    EXPECT_EQ(list("Combo2")->currentIndex(), -1);
    EXPECT_EQ(list("Combo3")->currentIndex(), -1);
    EXPECT_EQ(find<QLabel>("lbl_Sample")->font().pointSize(), 13);
    press("OkBt");
    EXPECT_EQ(store.read("Volval", ""), "70000");
    EXPECT_EQ(store.read("Pitchval", ""), "300");
    EXPECT_EQ(store.read("HukifontN", ""), "Not Installed");
    EXPECT_EQ(store.read("HukifontS", ""), "13");
    EXPECT_EQ(store.read("Check1value", ""), "0");
    EXPECT_EQ(store.read("Defdialno", ""), "5");
    EXPECT_EQ(store.read("Option1value", ""), "0");

    // Moving the bars stores what they show.
    open();
    find<QScrollBar>("scr_Vol")->setValue(-32768);
    find<QScrollBar>("scr_Pitch")->setValue(80);
    EXPECT_EQ(box("txt_Vol")->text(), "0");
    press("OkBt");
    EXPECT_EQ(store.read("Volval", ""), "0");
    EXPECT_EQ(store.read("Pitchval", ""), "80");
}

TEST_F(OptionsDialogTest, BalloonFontListLeavesOutVerticalFontsAndDrivesTheSample) {
    open();
    EXPECT_EQ(items(list("Combo2")), (std::vector<std::string>{"DejaVu Sans", "ＭＳ Ｐゴシック"}));
    EXPECT_EQ(list("Combo2")->currentText(), "ＭＳ Ｐゴシック");
    EXPECT_EQ(list("Combo3")->count(), 16);
    list("Combo3")->setCurrentText("72");
    list("Combo2")->setCurrentText("DejaVu Sans");
    EXPECT_EQ(find<QLabel>("lbl_Sample")->font().pointSize(), 72);
    EXPECT_EQ(find<QLabel>("lbl_Sample")->font().family(), "DejaVu Sans");
    press("OkBt");
    EXPECT_EQ(store.read("HukifontN", ""), "DejaVu Sans");
    EXPECT_EQ(store.read("HukifontS", ""), "72");
}

TEST_F(OptionsDialogTest, NumberBoxWithoutANumberRefusesOkAndStoresNothing) {
    open();
    box("timerbox3")->setText("abc");
    box("talkcntbox")->setText("40000");
    press("OkBt");
    EXPECT_NE(dialog->result(), QDialog::Accepted);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_NE(boxes.boxes[0].text.find("タイムアップ"), std::string::npos);
    box("timerbox3")->setText("30");
    press("OkBt");
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_NE(boxes.boxes[1].text.find("読み上げ行数"), std::string::npos);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(store.filePath())));

    box("talkcntbox")->setText("20");
    press("OkBt");
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(store.read("Timeupval", ""), "30");
}

TEST_F(OptionsDialogTest, ActionListsFollowTheChosenCharacter) {
    store.write("Actkind3", "Wave");
    open();
    choosers.files = {QString::fromStdString(characterB), QStringLiteral("/broken.acs")};
    press("Command3");
    ASSERT_EQ(choosers.fileRequests.size(), 1u);
    EXPECT_EQ(choosers.fileRequests[0].title, "エージェントの選択");
    EXPECT_EQ(choosers.fileRequests[0].filter.pattern, "*.acs");
    EXPECT_EQ(choosers.fileRequests[0].initialFolder, "/data/Msagent/chars");
    EXPECT_EQ(items(list("Combo1_0")), (std::vector<std::string>{"Nothing", "Wave", "Greet"}));
    EXPECT_EQ(list("Combo1_0")->currentIndex(), -1);  // lacks "Congratulate"
    EXPECT_EQ(list("Combo1_2")->currentText(), "Wave");

    // A file the engine refuses is reported; the character, its lists and its path stay.
    press("Command3");
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(preview.current, characterB);
    EXPECT_EQ(box("AgentBox")->text().toStdString(), characterB);
    EXPECT_EQ(list("Combo1_0")->count(), 3);

    list("Combo1_1")->setCurrentText("Greet");
    press("Command4_1");
    EXPECT_EQ(preview.played, (std::vector<std::string>{"Greet"}));

    press("OkBt");
    EXPECT_EQ(store.read("Agentnm", ""), characterB);
    EXPECT_EQ(store.read("Actkind1", ""), "Congratulate");  // no selection keeps the name
    EXPECT_EQ(store.read("Actkind2", ""), "Greet");
    EXPECT_EQ(store.read("Actkind3", ""), "Wave");
}

TEST_F(OptionsDialogTest, MissingCharacterFileWarnsAndKeepsTheActions) {
    store.write("Agentnm", "/nowhere/angel.acs");
    store.write("Actkind1", "Wave");
    open();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].icon, MessageIcon::Warning);
    EXPECT_EQ(boxes.boxes[0].title, "Velkora");
    EXPECT_EQ(boxes.boxes[0].text, "エージェントが見つかりません\r\nエージェントを指定して下さい");
    EXPECT_TRUE(preview.shownAt.empty());
    EXPECT_EQ(list("Combo1_0")->count(), 0);
    press("Command4_0");  // nothing to play, nothing happens
    EXPECT_TRUE(preview.played.empty());
    press("OkBt");
    EXPECT_EQ(store.read("Agentnm", ""), "/nowhere/angel.acs");
    EXPECT_EQ(store.read("Actkind1", ""), "Wave");
}

}  // namespace
}  // namespace velkora
