#include "checker/dialup/qt/CreateDialup.h"

#include "checker/dialup/qt/NetworkManagerDialup.h"
#include "common/qt/NetworkManagerClient.h"

namespace velkora {

std::unique_ptr<Dialup> createDialup(EventLoop& loop, MessageBoxes& boxes, TrayIcon& tray,
                                     const QDBusConnection& bus) {
    if (!nm::isRunning(bus)) {
        return std::make_unique<NoRasDialup>();
    }
    return std::make_unique<NetworkManagerDialup>(bus, loop, boxes, tray);
}

}  // namespace velkora
