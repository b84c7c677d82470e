#pragma once

#include <QIcon>
#include <QSystemTrayIcon>
#include <array>
#include <functional>
#include <string>

#include "checker/shell/TrayIcon.h"

class QMenu;

namespace velkora {

// The notification-area icon on QSystemTrayIcon: an XEmbed tray (Xfce, MATE, LXQt, trayer) or
// a StatusNotifierItem host (KDE Plasma, GNOME with the AppIndicator extension), whichever the
// desktop runs. The main menu is the icon's context menu, so a right click opens it on an
// XEmbed tray and a StatusNotifierItem host draws it itself; a left click (the primary
// activation) calls onLeftClick.
class QtTrayIcon final : public TrayIcon {
public:
    explicit QtTrayIcon(QMenu& mainMenu);
    ~QtTrayIcon() override;
    QtTrayIcon(const QtTrayIcon&) = delete;
    QtTrayIcon& operator=(const QtTrayIcon&) = delete;

    // 1 adds the icon (nothing when it is there already), 2 removes it, 3 to 5 change the
    // image of an icon that is there; the image of the state is taken in every case.
    void tuskicon(TrayState state) override;
    void tuskicon2(const std::string& tip) override;
    TrayImage currentImage() const override { return image_; }

    bool shown() const { return shown_; }
    const QString& tip() const { return tip_; }
    QSystemTrayIcon& systemTrayIcon() { return icon_; }

    std::function<void()> onLeftClick;

private:
    void setImage(TrayImage image, const QString& tip);

    QSystemTrayIcon icon_;
    std::array<QIcon, 3> images_;  // by TrayImage
    TrayImage image_ = TrayImage::Normal;
    QString tip_;
    bool shown_ = false;
    bool toldNoTray_ = false;
};

}  // namespace velkora
