#include "options/gui/QuorbleServices.h"

#include <cmath>

#include <QCoreApplication>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QStringList>

#include "common/DataDirectory.h"
#include "common/qt/DialEntryList.h"

namespace velkora {

namespace {

int twipsPerPixel(double dotsPerInch) {
    return dotsPerInch > 0 ? static_cast<int>(std::lround(1440.0 / dotsPerInch)) : 15;
}

}  // namespace

PreviewScreen previewScreenOf(const QScreen* screen) {
    if (!screen) {
        return {};
    }
    const QRect size = screen->geometry();
    return {size.width(), size.height(), twipsPerPixel(screen->logicalDotsPerInchX()),
            twipsPerPixel(screen->logicalDotsPerInchY())};
}

std::vector<std::string> installedFontFamilies() {
    std::vector<std::string> families;
    for (const QString& family : QFontDatabase::families()) {
        families.push_back(family.toStdString());
    }
    return families;
}

void preferJapaneseGlyphs() {
    static const char* const kJapaneseSans[] = {"Noto Sans CJK JP", "Noto Sans JP", "IPAexGothic",
                                                "IPAPGothic",       "TakaoPGothic", "VL PGothic"};
    const QStringList installed = QFontDatabase::families(QFontDatabase::Japanese);
    for (const char* family : kJapaneseSans) {
        if (installed.contains(QLatin1String(family))) {
            QFont font = QGuiApplication::font();
            font.setFamilies({font.family(), QLatin1String(family)});
            QGuiApplication::setFont(font);
            return;
        }
    }
}

OptionsServices quorbleServices(SettingsStore& store, MessageBoxes& messageBoxes,
                                Choosers& choosers, AgentPreview& preview) {
    return OptionsServices{
        store,
        messageBoxes,
        choosers,
        preview,
        // NetworkManager's order: the dialog reverses it itself, as the checker's menu does.
        [] { return listDialEntries(); },
        installedFontFamilies(),
        previewScreenOf(QGuiApplication::primaryScreen()),
        defaultAgentPath(),
        QCoreApplication::applicationDirPath(),
        QString::fromStdString(programDataDirectory() + "/Msagent/chars"),
    };
}

}  // namespace velkora
