#pragma once

#include <QDBusConnection>
#include <memory>

#include "checker/dialup/Dialup.h"
#include "checker/shell/TrayIcon.h"
#include "common/EventLoop.h"
#include "common/MessageBox.h"

namespace velkora {

// The checker's dial-up service, chosen once at start-up: NetworkManager when it is on the
// bus, otherwise a machine without dial-up (one connection always up, nothing to dial, no
// entries). Lists the entries now, so it belongs where the dial-up menu is built. Needs the
// Qt application to exist.
std::unique_ptr<Dialup> createDialup(EventLoop& loop, MessageBoxes& boxes, TrayIcon& tray,
                                     const QDBusConnection& bus = QDBusConnection::systemBus());

}  // namespace velkora
