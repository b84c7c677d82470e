#include "tests/support/RecordingShell.h"

#include <utility>

namespace velkora::test {

void RecordingTrayIcon::record(std::string entry) {
    log.push_back(entry);
    if (observer) {
        observer(entry);
    }
}

void RecordingTrayIcon::tuskicon(TrayState state) {
    states.push_back(state);
    switch (state) {
        case TrayState::Add:
            shown = true;
            image = TrayImage::Normal;
            break;
        case TrayState::Remove:
            shown = false;
            image = TrayImage::Normal;
            break;
        case TrayState::NewMail:
            image = TrayImage::NewMail;
            break;
        case TrayState::Normal:
            image = TrayImage::Normal;
            break;
        case TrayState::Checking:
            image = TrayImage::Checking;
            break;
    }
    tip = "Velkora";
    record("state " + std::to_string(static_cast<int>(state)));
}

void RecordingTrayIcon::tuskicon2(const std::string& text) {
    image = TrayImage::Checking;
    tip = text;
    tips.push_back(text);
    record("tip " + text);
}

void RecordingMenuItems::setEnabled(MenuItem item, bool enabled) {
    enabledItems[item] = enabled;
    std::string entry =
        std::string(item == MenuItem::menu0 ? "menu0" : "menu02") + (enabled ? " on" : " off");
    log.push_back(entry);
    if (observer) {
        observer(entry);
    }
}

bool RecordingMenuItems::isEnabled(MenuItem item) const {
    auto found = enabledItems.find(item);
    return found != enabledItems.end() && found->second;
}

}  // namespace velkora::test
