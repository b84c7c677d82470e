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

    addDialEntryItem()->setVisible(false);
    sep3_ = mdial_.addSeparator();
    sep3_->setObjectName(text(kDialSeparatorName));
    addCommand(mdial_,
               {MenuLine::Kind::Command, "mhang", kHangUpCaption, true, MenuCommand::mhang});
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

QAction* TrayMenus::addDialEntryItem() {
    const int index = static_cast<int>(dialEntryItems_.size());
    auto* item = new QAction(&mdial_);
    item->setObjectName(QStringLiteral("mnuDialEnt(%1)").arg(index));
    QObject::connect(item, &QAction::triggered, [this, index] {
        if (onDialEntry) {
            onDialEntry(index);
        }
    });
    if (sep3_ != nullptr) {
        mdial_.insertAction(sep3_, item);
    } else {
        mdial_.addAction(item);
    }
    dialEntryItems_.push_back(item);
    return item;
}

void TrayMenus::setDialEntries(const std::vector<std::string>& entries) {
    while (dialEntryItems_.size() < entries.size()) {
        addDialEntryItem();
    }
    for (std::size_t k = 0; k < entries.size(); ++k) {
        // A caption is text here, never a mnemonic: an "&" in an entry's name stays as it is.
        dialEntryItems_[k]->setText(
            QString::fromStdString(entries[k]).replace(QStringLiteral("&"), QStringLiteral("&&")));
        dialEntryItems_[k]->setVisible(true);
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

void TrayMenus::setMailerCaption(int index, const MailerCaption& caption) {
    if (index < 1 || index > 2) {
        return;
    }
    QAction* item = actions_.at(index == 1 ? MenuCommand::Mailer1 : MenuCommand::Mailer2);
    // The program's name is text, not a place for a mnemonic.
    item->setText(
        QString::fromStdString(caption.text).replace(QStringLiteral("&"), QStringLiteral("&&")));
    item->setEnabled(caption.enabled);
}

QAction* TrayMenus::action(MenuCommand command) const {
    auto found = actions_.find(command);
    return found == actions_.end() ? nullptr : found->second;
}

void TrayMenus::run(MenuCommand command) {
    // Carried out once the menu has closed: a command may wait for a long time (the options
    // program) and must not do so inside the menu's own event handling.
    QMetaObject::invokeMethod(
        &mfile_,
        [this, command] {
            if (onCommand) {
                onCommand(command);
            }
        },
        Qt::QueuedConnection);
}

}  // namespace velkora
