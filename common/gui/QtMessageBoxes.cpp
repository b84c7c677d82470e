#include "common/gui/QtMessageBoxes.h"

#include <QMessageBox>
#include <QString>

namespace velkora {

namespace {

QMessageBox::Icon qtIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Warning:
            return QMessageBox::Warning;
        case MessageIcon::Stop:
            return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

void QtMessageBoxes::show(MessageIcon icon, const std::string& title, const std::string& text) {
    // No parent: the checker has no visible main window; application-modal instead.
    QMessageBox box(qtIcon(icon), QString::fromStdString(title), QString::fromStdString(text),
                    QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    // Plain text: server replies end up here and must not be read as markup.
    box.setTextFormat(Qt::PlainText);
    // Selectable: the fingerprint of a refused certificate is copied from here into the
    // account editor.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    box.exec();
}

}  // namespace velkora
