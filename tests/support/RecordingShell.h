#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "checker/shell/MailPopup.h"
#include "checker/shell/TrayIcon.h"

namespace velkora::test {

// A tray icon that keeps the image it would show, the tips given to tuskicon2 and every
// call in order ("tuskicon 5", "tuskicon2 <tip>").
class RecordingTrayIcon final : public TrayIcon {
public:
    void tuskicon(TrayState state) override;
    void tuskicon2(const std::string& tip) override {
        image = TrayImage::Checking;
        tips.push_back(tip);
        calls.push_back("tuskicon2 " + tip);
    }
    TrayImage currentImage() const override { return image; }

    TrayImage image = TrayImage::Normal;
    std::vector<std::string> tips;
    std::vector<std::string> calls;
    int removed = 0;  // tuskicon(Remove) calls
};

// A mail program item or button as renewMailerCaptions leaves it.
struct MailerCaption {
    std::string caption;
    bool enabled = false;
    bool operator==(const MailerCaption&) const = default;
};

// The main menu's switchable items, both disabled at first as in the menu design.
class RecordingMenuItems final : public MenuItems {
public:
    void setEnabled(MenuItem item, bool enabled) override { enabledItems[item] = enabled; }
    bool isEnabled(MenuItem item) const override { return enabledItems.at(item); }
    void setMailerItem(int index, const std::string& caption, bool enabled) override {
        mailers[index] = {caption, enabled};
    }

    std::map<MenuItem, bool> enabledItems{{MenuItem::menu0, false}, {MenuItem::menu02, false}};
    std::map<int, MailerCaption> mailers;
};

// The popup: the totals it was shown with, and its mail program buttons. whileShown runs
// inside showPopup, where the real window lets events in.
class RecordingPopup final : public MailPopup {
public:
    void showPopup(int16_t totalMessages) override {
        shownTotals.push_back(totalMessages);
        if (whileShown) {
            whileShown();
        }
    }
    void setMailerButton(int index, const std::string& caption, bool enabled) override {
        mailers[index] = {caption, enabled};
    }

    std::vector<int16_t> shownTotals;
    std::map<int, MailerCaption> mailers;
    std::function<void()> whileShown;
};

}  // namespace velkora::test
