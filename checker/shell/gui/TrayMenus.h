#pragma once

#include <QMenu>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "checker/shell/MailPrograms.h"
#include "checker/shell/MainMenu.h"
#include "checker/shell/TrayIcon.h"

class QAction;

namespace velkora {

// The tray's two menus: the main menu `mfile` and the dial-up menu `mdial`, with the captions,
// order, separators and first states of the menu design. The items that the check cycle and the
// settings switch are reached through MenuItems and MailerCaptionView.
class TrayMenus final : public MenuItems, public MailerCaptionView {
public:
    TrayMenus();
    ~TrayMenus() override;
    TrayMenus(const TrayMenus&) = delete;
    TrayMenus& operator=(const TrayMenus&) = delete;

    QMenu& mainMenu() { return mfile_; }
    QMenu& dialMenu() { return mdial_; }

    void setEnabled(MenuItem item, bool enabled) override;
    bool isEnabled(MenuItem item) const override;
    void setMailerCaption(int index, const MailerCaption& caption) override;

    // The dial-up menu's entry items, in menu order: item k shows entries[k]. Item 0 is there
    // from the start, hidden, and stays so when there are no entries.
    void setDialEntries(const std::vector<std::string>& entries);

    // Opens the dial-up menu at the mouse pointer.
    void popUpDialMenu();

    // A command chosen from either menu.
    std::function<void(MenuCommand)> onCommand;
    // Dial-up entry item k chosen.
    std::function<void(int)> onDialEntry;

    QAction* action(MenuCommand command) const;

private:
    QAction* addCommand(QMenu& menu, const MenuLine& line);
    QAction* addDialEntryItem();
    void run(MenuCommand command);

    QMenu mfile_;
    QMenu mdial_;
    QMenu* menu2_ = nullptr;
    std::map<MenuCommand, QAction*> actions_;
    std::vector<QAction*> dialEntryItems_;
    QAction* sep3_ = nullptr;
};

}  // namespace velkora
