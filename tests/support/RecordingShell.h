#pragma once

#include <map>
#include <string>
#include <vector>

#include "checker/shell/TrayIcon.h"

namespace velkora::test {

// A tray icon that keeps the image it would show and the tips given to tuskicon2.
class RecordingTrayIcon final : public TrayIcon {
public:
    void tuskicon(TrayState state) override;
    void tuskicon2(const std::string& tip) override {
        image = TrayImage::Checking;
        tips.push_back(tip);
    }
    TrayImage currentImage() const override { return image; }

    TrayImage image = TrayImage::Normal;
    std::vector<std::string> tips;
};

// The main menu's switchable items, both disabled at first as in the menu design.
class RecordingMenuItems final : public MenuItems {
public:
    void setEnabled(MenuItem item, bool enabled) override { enabledItems[item] = enabled; }
    bool isEnabled(MenuItem item) const override { return enabledItems.at(item); }

    std::map<MenuItem, bool> enabledItems{{MenuItem::menu0, false}, {MenuItem::menu02, false}};
};

}  // namespace velkora::test
