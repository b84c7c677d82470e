#pragma once

#include <QWidget>
#include <string>

namespace velkora {

// The version window: product name, version, what the program does and where its settings
// are. Not modal: the tray and the checks go on while it is open.
class VersionWindow final : public QWidget {
public:
    explicit VersionWindow(const std::string& settingsFilePath);
    // Shows the window, or brings it to the front when it is open already.
    void present();
};

}  // namespace velkora
