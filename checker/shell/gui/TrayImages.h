#pragma once

#include <QIcon>
#include <QString>

#include "checker/shell/TrayIcon.h"

namespace velkora {

// The icon name of each tray image, as installed among the hicolor status icons.
QString trayImageName(TrayImage image);

// The image as a scalable icon: the installed SVG beside the program
// (<program folder>/../share/icons/hicolor/scalable/status/), else the source tree's copy,
// else the icon theme's.
QIcon trayImage(TrayImage image);

}  // namespace velkora
