#include "tests/support/RecordingShell.h"

namespace velkora::test {

void RecordingTrayIcon::tuskicon(TrayState state) {
    calls.push_back("tuskicon " + std::to_string(static_cast<int>(state)));
    switch (state) {
        case TrayState::NewMail:
            image = TrayImage::NewMail;
            break;
        case TrayState::Checking:
            image = TrayImage::Checking;
            break;
        case TrayState::Remove:
            ++removed;
            image = TrayImage::Normal;
            break;
        default:  // Add, Normal
            image = TrayImage::Normal;
            break;
    }
}

}  // namespace velkora::test
