#include "checker/shell/gui/TrayImages.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "common/ProductInfo.h"

namespace velkora {

QString trayImageName(TrayImage image) {
    switch (image) {
        case TrayImage::Normal:
            return QStringLiteral("velkora-normal");
        case TrayImage::NewMail:
            return QStringLiteral("velkora-newmail");
        case TrayImage::Checking:
            return QStringLiteral("velkora-checking");
    }
    return {};
}

QIcon trayImage(TrayImage image) {
    const QString file = trayImageName(image) + QStringLiteral(".svg");
    const QStringList folders{
        QCoreApplication::applicationDirPath() +
            QStringLiteral("/../share/icons/hicolor/scalable/status"),
        QString::fromUtf8(buildDataDirectory()) + QStringLiteral("/icons"),
    };
    for (const QString& folder : folders) {
        QFileInfo candidate(QDir(folder), file);
        if (candidate.isFile()) {
            return QIcon(candidate.absoluteFilePath());
        }
    }
    return QIcon::fromTheme(trayImageName(image));
}

}  // namespace velkora
