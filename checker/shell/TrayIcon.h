#pragma once

#include <string>

namespace velkora {

// The notification-area icon: its image, tip and presence.
enum class TrayState {
    Add = 1,       // normal image, icon added, tip "Velkora"
    Remove = 2,    // icon removed
    NewMail = 3,   // new-mail image, tip "Velkora"
    Normal = 4,    // normal image, tip "Velkora"
    Checking = 5,  // checking image, tip "Velkora"
};

enum class TrayImage { Normal, NewMail, Checking };

class TrayIcon {
public:
    virtual ~TrayIcon() = default;
    virtual void tuskicon(TrayState state) = 0;
    // Checking image with the given tip.
    virtual void tuskicon2(const std::string& tip) = 0;
    // The image now shown (the window icon); the cycle compares it with Checking.
    virtual TrayImage currentImage() const = 0;
};

// The main menu's items that the check cycle switches.
enum class MenuItem { menu0, menu02 };

class MenuItems {
public:
    virtual ~MenuItems() = default;
    virtual void setEnabled(MenuItem item, bool enabled) = 0;
    virtual bool isEnabled(MenuItem item) const = 0;
    // The caption and state of the mail program item Mailer(index), index 1 or 2, as
    // renewMailerCaptions sets them after every settings load. A menu without those items
    // ignores it.
    virtual void setMailerItem(int /*index*/, const std::string& /*caption*/, bool /*enabled*/) {}
};

}  // namespace velkora
