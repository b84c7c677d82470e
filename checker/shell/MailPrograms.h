#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "checker/check/CheckState.h"
#include "checker/shell/TrayIcon.h"
#include "common/AppSettings.h"
#include "common/MessageBox.h"

namespace velkora {

// Caption of a mail-program item or button while its path is empty.
inline constexpr std::string_view kUnregisteredMailer = "未登録";
// What follows the program's name in the caption.
inline constexpr std::string_view kStartMailerSuffix = "を起動";

// The short program name shown in the captions: empty for an empty path or "0"; otherwise the
// file name up to its first "." (a name without "." whole). A desktop entry file is named by
// the application's own name from the file, as a file manager shows it.
std::string mailerTitle(const std::string& path);

// Caption and state of mail-program item (and popup button) for one path.
struct MailerCaption {
    std::string text;
    bool enabled = false;

    bool operator==(const MailerCaption&) const = default;
};

// Not empty: mailerTitle followed by "を起動", enabled; empty: "未登録", disabled.
MailerCaption mailerCaption(const std::string& path);

// What shows the two mail-program captions: the menu items and the popup buttons alike.
class MailerCaptionView {
public:
    virtual ~MailerCaptionView() = default;
    // index is 1 or 2.
    virtual void setMailerCaption(int index, const MailerCaption& caption) = 0;
};

// Applies the captions of "Mailerdir1" and "Mailerdir2" to every view; run after every load.
void renewMailerCaptions(const AppSettings& settings, const std::vector<MailerCaptionView*>& views);

// A program to start: its arguments (the program first) and working folder (empty: ours).
struct LaunchCommand {
    std::vector<std::string> arguments;
    std::string workingDirectory;

    bool operator==(const LaunchCommand&) const = default;
};

// The command that starts a mail program: a desktop entry file as the desktop starts it, any
// other path as the program itself, without arguments. Empty arguments when a desktop entry
// cannot be read or names no program.
LaunchCommand mailerCommand(const std::string& path);

// Starts programs without waiting for them; they live on when the checker ends.
class ProgramStarter {
public:
    virtual ~ProgramStarter() = default;
    // False when the program could not be started.
    virtual bool startDetached(const LaunchCommand& command) = 0;
};

// The user's two mail programs.
class MailPrograms {
public:
    MailPrograms(const AppSettings& settings, const CheckState& state, TrayIcon& tray,
                 ProgramStarter& starter, MessageBoxes& boxes);

    // Starts mail program 1 or 2. Clears the new-mail icon unless a check runs. A program that
    // cannot be started gets a box naming its path; the checker goes on.
    void ExecMailapp(int index);

private:
    const AppSettings& settings_;
    const CheckState& state_;
    TrayIcon& tray_;
    ProgramStarter& starter_;
    MessageBoxes& boxes_;
};

}  // namespace velkora
