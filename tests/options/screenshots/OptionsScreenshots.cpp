// Writes one PNG per tab of the options dialog, and one of the account editor, into the
// folder given as the only argument. Run it on a real display (for example Xvfb with
// QT_QPA_PLATFORM=xcb) to see the dialog as a user does; scripts/options-screenshots.sh does.
#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QPixmap>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QWindow>
#include <cstdio>

#include "common/Accounts.h"
#include "common/IniSettingsStore.h"
#include "options/gui/AccountForm.h"
#include "options/gui/OptionsDialog.h"
#include "options/gui/QuorbleServices.h"
#include "tests/options/OptionsFakes.h"
#include "tests/support/RecordingMessageBoxes.h"

namespace {

using namespace velkora;

// Returns once the window is on screen and painted; sleeps in the event loop meanwhile.
void waitUntilExposed(QWidget& widget) {
    widget.show();
    QWindow* window = widget.windowHandle();
    if (!window->isExposed()) {
        QEventLoop loop;
        QObject::connect(window, &QWindow::visibleChanged, &loop, [&] {
            if (window->isExposed()) {
                loop.quit();
            }
        });
        struct ExposeFilter : QObject {
            QEventLoop* loop;
            bool eventFilter(QObject*, QEvent* event) override {
                if (event->type() == QEvent::Expose) {
                    loop->quit();
                }
                return false;
            }
        } filter;
        filter.loop = &loop;
        window->installEventFilter(&filter);
        loop.exec();
        window->removeEventFilter(&filter);
    }
    widget.repaint();
    QCoreApplication::processEvents();
}

bool save(QWidget& widget, const QString& path) {
    widget.repaint();
    QCoreApplication::processEvents();
    QPixmap shot;
    if (QScreen* screen = widget.screen(); screen && QGuiApplication::platformName() == "xcb") {
        shot = screen->grabWindow(widget.winId());
    }
    if (shot.isNull()) {
        shot = widget.grab();
    }
    const bool saved = shot.save(path);
    std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(path));
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    velkora::preferJapaneseGlyphs();
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QTemporaryDir folder;
    IniSettingsStore store(folder.filePath("orvane.ini").toStdString());
    const QString character = folder.filePath("AngelMicha.acs");
    QFile(character).open(QIODevice::WriteOnly);

    Account work;
    work.Aname = "仕事";
    work.Hname = "pop.example.co.jp";
    work.Uname = "taro";
    work.Passw = "secret";
    addAccount(store, work);
    Account home = work;
    home.Aname = "自宅";
    home.Hname = "mail.example.ne.jp";
    home.Check = 0;
    home.Scolor1 = 0x000080;
    home.Scolor2 = 0xE0FFE0;
    addAccount(store, home);

    test::RecordingMessageBoxes boxes;
    test::FakeChoosers choosers;
    test::FakePreview preview;
    preview.characters[character.toStdString()] = {"Congratulate", "Read",  "Greet",
                                                   "Wave",         "Think", "Pleased"};
    OptionsServices services = quorbleServices(store, boxes, choosers, preview);
    services.agentDefault = character.toStdString();
    services.listDialEntries = [] {
        return std::vector<std::string>{"モバイル回線", "VPN 事務所"};
    };

    OptionsDialog dialog(services);
    dialog.loaddata();
    waitUntilExposed(dialog);
    auto* tabs = dialog.findChild<QTabWidget*>();
    bool ok = true;
    for (int i = 0; i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        ok = save(dialog, out + QStringLiteral("/tab%1.png").arg(i + 1)) && ok;
    }

    AccountForm editor(&dialog, choosers, boxes, [](const Account&) { return std::nullopt; });
    editor.intoform(work);
    waitUntilExposed(editor);
    ok = save(editor, out + QStringLiteral("/accountform.png")) && ok;
    return ok ? 0 : 1;
}
