// quorble: the options program. One dialog over the per-user settings store; the checker
// starts it without arguments and reloads its settings when it ends.
#include <QApplication>

#include "common/IniSettingsStore.h"
#include "common/gui/QtMessageBoxes.h"
#include "options/app/CharacterAgentPreview.h"
#include "options/gui/Choosers.h"
#include "options/gui/OptionsDialog.h"
#include "options/gui/QuorbleServices.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    velkora::preferJapaneseGlyphs();
    QApplication::setApplicationName(QStringLiteral("quorble"));
    QGuiApplication::setDesktopFileName(QStringLiteral("quorble"));

    velkora::IniSettingsStore store;
    velkora::QtMessageBoxes messageBoxes;
    velkora::QtChoosers choosers;
    velkora::CharacterAgentPreview preview;

    velkora::OptionsDialog dialog(velkora::quorbleServices(store, messageBoxes, choosers, preview));
    // The program's own title, where the desktop shows one for a window apart from its title.
    dialog.setWindowIconText(QStringLiteral("Velkora用オプション設定"));
    dialog.loaddata();
    dialog.exec();
    return 0;
}
