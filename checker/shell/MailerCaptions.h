#pragma once

#include <string>

#include "checker/shell/MailPopup.h"
#include "checker/shell/TrayIcon.h"
#include "common/AppSettings.h"

namespace velkora {

// The short name of a mail program for its captions: the file name of the path up to its
// first "."; empty for an empty path or "0". A desktop entry file gives the application's
// name from the file (Japanese where it has one), whole.
std::string mailerTitle(const std::string& path);

// The path of mail program `index` (1 or 2) in "Mailerdir<index>"; empty when none is set
// ("0" counts as none, as an empty path).
std::string mailerPath(const AppSettings& settings, int index);

// After every settings load: for i = 1 and 2, the menu item Mailer(i) and the popup button
// MailBt(i) read mailerTitle of "Mailerdir<i>" followed by "を起動" and are enabled, or read
// "未登録" and are disabled when no program is set (mailerPath).
void renewMailerCaptions(const AppSettings& settings, MenuItems& menus, MailPopup& popup);

}  // namespace velkora
