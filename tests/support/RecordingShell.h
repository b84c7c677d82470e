#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "checker/shell/TrayIcon.h"

namespace velkora::test {

// A tray icon that keeps every change: the image it would show, the tip, and a log of
// "state N" and "tip TEXT" entries in order.
class RecordingTrayIcon final : public TrayIcon {
public:
    void tuskicon(TrayState state) override;
    void tuskicon2(const std::string& tip) override;
    TrayImage currentImage() const override { return image; }

    TrayImage image = TrayImage::Normal;
    std::string tip = "Velkora";
    bool shown = false;
    std::vector<TrayState> states;
    std::vector<std::string> tips;  // the texts given to tuskicon2
    std::vector<std::string> log;
    std::function<void(const std::string&)> observer;

private:
    void record(std::string entry);
};

// The main menu's switchable items, both disabled at first as in the menu design.
class RecordingMenuItems final : public MenuItems {
public:
    void setEnabled(MenuItem item, bool enabled) override;
    bool isEnabled(MenuItem item) const override;

    std::map<MenuItem, bool> enabledItems{{MenuItem::menu0, false}, {MenuItem::menu02, false}};
    std::vector<std::string> log;  // "menu0 on", "menu02 off", ...
    std::function<void(const std::string&)> observer;
};

}  // namespace velkora::test
