#include "checker/shell/gui/QtTrayIcon.h"

#include <QMenu>
#include <cstdio>

#include "checker/shell/TrayTip.h"
#include "checker/shell/gui/TrayImages.h"

namespace velkora {

QtTrayIcon::QtTrayIcon(QMenu& mainMenu) {
    for (TrayImage image : {TrayImage::Normal, TrayImage::NewMail, TrayImage::Checking}) {
        images_[static_cast<std::size_t>(image)] = trayImage(image);
    }
    icon_.setContextMenu(&mainMenu);
    QObject::connect(&icon_, &QSystemTrayIcon::activated,
                     [this](QSystemTrayIcon::ActivationReason reason) {
                         // The right button is the context menu's; a double click has no
                         // meaning of its own.
                         if (reason == QSystemTrayIcon::Trigger && onLeftClick) {
                             onLeftClick();
                         }
                     });
}

QtTrayIcon::~QtTrayIcon() = default;

void QtTrayIcon::setImage(TrayImage image, const QString& tip) {
    image_ = image;
    tip_ = tip;
    icon_.setIcon(images_[static_cast<std::size_t>(image)]);
    icon_.setToolTip(tip);
}

void QtTrayIcon::tuskicon(TrayState state) {
    const QString productTip = QString::fromUtf8(kTrayTip.data(), kTrayTip.size());
    switch (state) {
        case TrayState::Add:
            setImage(TrayImage::Normal, productTip);
            if (!shown_) {
                shown_ = true;
                icon_.show();
                if (!QSystemTrayIcon::isSystemTrayAvailable() && !toldNoTray_) {
                    toldNoTray_ = true;
                    std::fputs(
                        "orvane: 通知領域 (システムトレイ) が見つからないため、アイコンを表示"
                        "できません。通知領域が現れるとすぐに表示します。GNOME では "
                        "AppIndicator 拡張機能が必要です。\n",
                        stderr);
                }
            }
            break;
        case TrayState::Remove:
            setImage(TrayImage::Normal, productTip);
            shown_ = false;
            icon_.hide();
            break;
        case TrayState::NewMail:
            setImage(TrayImage::NewMail, productTip);
            break;
        case TrayState::Normal:
            setImage(TrayImage::Normal, productTip);
            break;
        case TrayState::Checking:
            setImage(TrayImage::Checking, productTip);
            break;
    }
}

void QtTrayIcon::tuskicon2(const std::string& tip) {
    setImage(TrayImage::Checking, QString::fromStdString(cutTrayTip(tip)));
}

}  // namespace velkora
