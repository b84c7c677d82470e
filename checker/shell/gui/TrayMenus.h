#pragma once

#include <QMenu>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "checker/dialup/DialupMenu.h"
#include "checker/shell/MainMenu.h"
#include "checker/shell/TrayIcon.h"

class QAction;

namespace velkora {

// The tray's two menus: the main menu `mfile` and the dial-up menu `mdial`, with the captions,
// order, separators and first states of the menu design. The items that the check cycle and the
// settings switch are reached through MenuItems.
class TrayMenus final : public MenuItems {
public:
    TrayMenus();
    ~TrayMenus() override;
    TrayMenus(const TrayMenus&) = delete;
    TrayMenus& operator=(const TrayMenus&) = delete;

    QMenu& mainMenu() { return mfile_; }
    QMenu& dialMenu() { return mdial_; }

    void setEnabled(MenuItem item, bool enabled) override;
    bool isEnabled(MenuItem item) const override;
    void setMailerItem(int index, const std::string& caption, bool enabled) override;

    // Builds the dial-up menu from the items of `menu` (which outlives this) and forwards
    // their clicks to it; empty until then.
    void setDialMenu(DialupMenu& menu);

    // Opens the dial-up menu at the mouse pointer.
    void popUpDialMenu();

    // A command chosen from the main menu.
    std::function<void(MenuCommand)> onCommand;

    QAction* action(MenuCommand command) const;

private:
    QAction* addCommand(QMenu& menu, const MenuLine& line);
    void run(MenuCommand command);
    void later(std::function<void()> call);

    QMenu mfile_;
    QMenu mdial_;
    QMenu* menu2_ = nullptr;
    std::map<MenuCommand, QAction*> actions_;
};

}  // namespace velkora
