#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>
#include <fstream>

#include "checker/shell/DesktopEntry.h"
#include "checker/shell/MailPrograms.h"
#include "checker/shell/MailerCaptions.h"
#include "checker/shell/TrayTip.h"
#include "tests/support/RecordingMessageBoxes.h"

namespace velkora {
namespace {

namespace fs = std::filesystem;

class TempFolder {
public:
    TempFolder() {
        path_ = fs::temp_directory_path() / ("velkora-shell-" + std::to_string(::getpid()));
        fs::create_directories(path_);
    }
    ~TempFolder() { fs::remove_all(path_); }
    std::string write(const std::string& name, const std::string& text) const {
        std::ofstream(path_ / name) << text;
        return (path_ / name).string();
    }

private:
    fs::path path_;
};

struct RecordingStarter final : ProgramStarter {
    bool startDetached(const LaunchCommand& command) override {
        started.push_back(command);
        return succeed;
    }
    std::vector<LaunchCommand> started;
    bool succeed = true;
};

TEST(TrayTipTest, KeepsWholeCharactersWithinTheSixtyFourByteField) {
    EXPECT_EQ(cutTrayTip("仕事をチェック中です"), "仕事をチェック中です");
    EXPECT_EQ(cutTrayTip(std::string(70, 'a')), std::string(63, 'a'));
    // 31 kanji are 62 bytes; the 32nd would pass 63.
    std::string kanji;
    for (int i = 0; i < 40; ++i) {
        kanji += "漢";
    }
    EXPECT_EQ(cutTrayTip(kanji), kanji.substr(0, 31 * 3));
    // A double-byte character never goes in half: 62 bytes, then one that needs two.
    EXPECT_EQ(cutTrayTip(std::string(62, 'x') + "字"), std::string(62, 'x'));
    // Half-width katakana take one byte each, as in the code page.
    std::string halfWidth;
    for (int i = 0; i < 64; ++i) {
        halfWidth += "ｱ";
    }
    EXPECT_EQ(cutTrayTip(halfWidth), halfWidth.substr(0, 63 * 3));
}

TEST(MailProgramsTest, DesktopEntriesAreNamedAndStartedAsTheDesktopDoes) {
    TempFolder folder;
    const std::string entry =
        folder.write("org.example.Mail.desktop",
                     "# a comment\n"
                     "[Desktop Entry]\n"
                     "Type=Application\n"
                     "Name=Example Mail\n"
                     "Name[ja]=例メール\n"
                     "Icon=example-mail\n"
                     "Path=/tmp\n"
                     "Exec=example-mail --name=%c %u \"--title=a \\\\\"b\\\\\"\" %i 100%%\n"
                     "[Desktop Action Compose]\n"
                     "Exec=example-mail --compose\n");
    EXPECT_EQ(mailerTitle(entry), "例メール");
    EXPECT_EQ(mailerCommand(entry),
              (LaunchCommand{{"example-mail", "--name=例メール", "--title=a \"b\"", "--icon",
                              "example-mail", "100%"},
                             "/tmp"}));

    const std::string terminal = folder.write("mutt.desktop",
                                              "[Desktop Entry]\nType=Application\nName=Mutt\n"
                                              "Exec=mutt %F\nTerminal=true\n");
    EXPECT_EQ(mailerCommand(terminal).arguments,
              (std::vector<std::string>{"x-terminal-emulator", "-e", "mutt"}));

    // Nothing to start: an open quote, a link instead of a program, no such file.
    EXPECT_TRUE(mailerCommand(
                    folder.write("bad.desktop", "[Desktop Entry]\nType=Application\nExec=\"mail\n"))
                    .arguments.empty());
    EXPECT_TRUE(
        mailerCommand(folder.write("link.desktop", "[Desktop Entry]\nType=Link\nURL=https://x/\n"))
            .arguments.empty());
    EXPECT_TRUE(mailerCommand(folder.write("gone.desktop", "")).arguments.empty());
    // A plain program path is started as it is, without arguments.
    EXPECT_EQ(mailerCommand("/usr/bin/mutt"), (LaunchCommand{{"/usr/bin/mutt"}, ""}));
}

TEST(MailProgramsTest, AProgramThatCannotStartGetsABoxNamingItsPath) {
    RecordingStarter starter;
    test::RecordingMessageBoxes boxes;
    MailerLauncher launcher(starter, boxes);

    launcher.start("/usr/bin/mailer-two");
    launcher.start("");
    ASSERT_EQ(starter.started.size(), 1u);
    EXPECT_EQ(starter.started[0].arguments, std::vector<std::string>{"/usr/bin/mailer-two"});
    EXPECT_TRUE(boxes.boxes.empty());

    starter.succeed = false;
    launcher.start("/usr/bin/mailer-one");
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].title, "Velkora");
    EXPECT_NE(boxes.boxes[0].text.find("/usr/bin/mailer-one"), std::string::npos);
    // A desktop entry that names no program is not started at all, and said so.
    starter.succeed = true;
    launcher.start("/nonexistent/mail.desktop");
    EXPECT_EQ(starter.started.size(), 2u);
    EXPECT_EQ(boxes.boxes.size(), 2u);
}

}  // namespace
}  // namespace velkora
