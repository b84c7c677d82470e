#include "checker/shell/gui/TrayMenus.h"

#include <QAction>
#include <QCursor>
#include <QString>

namespace velkora {

namespace {

QString text(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

MenuCommand commandOf(MenuItem item) {
    return item == MenuItem::menu0 ? MenuCommand::menu0 : MenuCommand::menu02;
}

}  // namespace

TrayMenus::TrayMenus() {
    mfile_.setTitle(text(kMainMenuTitle));
    QMenu* target = &mfile_;
    for (const MenuLine& line : kMainMenu) {
        switch (line.kind) {
            case MenuLine::Kind::Command:
                addCommand(*target, line);
                break;
            case MenuLine::Kind::Separator:
                target->addSeparator()->setObjectName(text(line.name));
                break;
            case MenuLine::Kind::SubmenuStart:
                menu2_ = target->addMenu(text(line.caption));
                menu2_->setObjectName(text(line.name));
                menu2_->menuAction()->setEnabled(line.initiallyEnabled);
                target = menu2_;
                break;
            case MenuLine::Kind::SubmenuEnd:
                target = &mfile_;
                break;
        }
    }

    mdial_.setTitle(text(kDialMenuTitle));
}

TrayMenus::~TrayMenus() = default;

QAction* TrayMenus::addCommand(QMenu& menu, const MenuLine& line) {
    QAction* item = menu.addAction(text(line.caption));
    item->setObjectName(text(line.name));
    item->setEnabled(line.initiallyEnabled);
    const MenuCommand command = line.command;
    QObject::connect(item, &QAction::triggered, [this, command] { run(command); });
    actions_[command] = item;
    return item;
}

void TrayMenus::setDialMenu(DialupMenu& menu) {
    mdial_.clear();
    const std::vector<DialupMenu::Item>& items = menu.items();
    for (std::size_t position = 0; position < items.size(); ++position) {
        const DialupMenu::Item& item = items[position];
        if (item.kind == DialupMenu::Kind::Separator) {
            mdial_.addSeparator()->setObjectName(QString::fromStdString(item.name));
            continue;
        }
        // An entry's name is text, never a mnemonic: an "&" in it stays as it is.
        const QString caption = item.kind == DialupMenu::Kind::Entry
                                    ? QString::fromStdString(item.caption)
                                          .replace(QStringLiteral("&"), QStringLiteral("&&"))
                                    : QString::fromStdString(item.caption);
        QAction* action = mdial_.addAction(caption);
        action->setObjectName(QString::fromStdString(item.name));
        QObject::connect(action, &QAction::triggered, [this, &menu, position] {
            later([&menu, position] { menu.click(position); });
        });
    }
}

void TrayMenus::popUpDialMenu() {
    mdial_.popup(QCursor::pos());
}

void TrayMenus::setEnabled(MenuItem item, bool enabled) {
    actions_.at(commandOf(item))->setEnabled(enabled);
}

bool TrayMenus::isEnabled(MenuItem item) const {
    return actions_.at(commandOf(item))->isEnabled();
}

void TrayMenus::setMailerItem(int index, const std::string& caption, bool enabled) {
    if (index < 1 || index > 2) {
        return;
    }
    QAction* item = actions_.at(index == 1 ? MenuCommand::Mailer1 : MenuCommand::Mailer2);
    // The program's name is text, not a place for a mnemonic.
    item->setText(
        QString::fromStdString(caption).replace(QStringLiteral("&"), QStringLiteral("&&")));
    item->setEnabled(enabled);
}

QAction* TrayMenus::action(MenuCommand command) const {
    auto found = actions_.find(command);
    return found == actions_.end() ? nullptr : found->second;
}

void TrayMenus::run(MenuCommand command) {
    later([this, command] {
        if (onCommand) {
            onCommand(command);
        }
    });
}

void TrayMenus::later(std::function<void()> call) {
    // Carried out once the menu has closed: a command may wait for a long time (the options
    // program, dialling) and must not do so inside the menu's own event handling.
    QMetaObject::invokeMethod(&mfile_, std::move(call), Qt::QueuedConnection);
}

}  // namespace velkora
