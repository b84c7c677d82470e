// orvane: the resident mail checker in the notification area.

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>

#include "character/gui/DesktopCharacter.h"
#include "checker/announce/voice/QtArrivalSound.h"
#include "checker/announce/voice/QtFrameSound.h"
#include "checker/announce/voice/Voice.h"
#include "checker/announce/voice/VoiceSpeech.h"
#include "checker/announce/voice/VoiceWaveVolume.h"
#include "checker/dialup/Dialup.h"
#include "checker/dialup/DialupMenu.h"
#include "checker/dialup/qt/CreateDialup.h"
#include "checker/net/PosixSocketApi.h"
#include "checker/shell/Checker.h"
#include "checker/shell/InstanceLock.h"
#include "checker/shell/MailForm.h"
#include "checker/shell/MailPopup.h"
#include "checker/shell/MailPrograms.h"
#include "checker/shell/MainMenu.h"
#include "checker/shell/ScreenUnits.h"
#include "checker/shell/gui/MailFormWindow.h"
#include "checker/shell/gui/QtTrayIcon.h"
#include "checker/shell/gui/TrayImages.h"
#include "checker/shell/gui/TrayMenus.h"
#include "checker/shell/gui/VersionWindow.h"
#include "checker/shell/qt/ProgramWait.h"
#include "checker/shell/qt/QtProgramStarter.h"
#include "checker/shell/qt/TerminationSignals.h"
#include "common/IniSettingsStore.h"
#include "common/ProductInfo.h"
#include "common/gui/QtMessageBoxes.h"
#include "common/qt/QtEventLoop.h"

namespace velkora {
namespace {

ScreenMetrics screenMetrics() {
    ScreenMetrics metrics;
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        metrics.widthPx = screen->geometry().width();
        metrics.heightPx = screen->geometry().height();
        metrics.twipsPerPixelX = twipsPerPixelFor(screen->logicalDotsPerInchX());
        metrics.twipsPerPixelY = twipsPerPixelFor(screen->logicalDotsPerInchY());
    }
    return metrics;
}

// The options program: `quorble` in the folder of the running orvane.
std::string optionsProgramPath() {
    return (QCoreApplication::applicationDirPath() + QStringLiteral("/quorble")).toStdString();
}

// The popup, which the checker needs from its start but which shows the checker's own list:
// made right after the checker.
class LatePopup final : public MailPopup {
public:
    void set(MailForm& form) { form_ = &form; }

    void showPopup(int16_t totalMessages) override {
        if (form_ != nullptr) {
            form_->showPopup(totalMessages);
        }
    }
    void setMailerButton(int index, const std::string& caption, bool enabled) override {
        if (form_ != nullptr) {
            form_->setMailerButton(index, caption, enabled);
        }
    }

private:
    MailForm* form_ = nullptr;
};

class Orvane {
public:
    explicit Orvane(const std::string& settingsPath) : store_(settingsPath) {
        form_.readMail = [this](std::size_t row) { checker_.talkSingleMail(row); };
        form_.startMailer = [this](int index) { startMailer(index); };
        popup_.set(form_);
        character_.playFrameSound = [this](std::span<const uint8_t> wave) {
            frameSound_.play(wave);
        };
        menus_.onCommand = [this](MenuCommand command) { run(command); };
        tray_.onLeftClick = [this] { menus_.popUpDialMenu(); };
        // The end of the desktop session: the session manager asks for the data first (the
        // character's place), then ends the program, which leaves as at "終了(&X)".
        QObject::connect(qApp, &QGuiApplication::commitDataRequest,
                         [this] { checker_.agent().savePositionAtExit(); });
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, [this] { exitProgram(); });
    }

    // Start-up in the program's order; false when it cannot go on (the status to end with is
    // then in *status).
    bool start(int* status) {
        checker_.loadSettings();
        while (checker_.settings().Agentnm.empty()) {
            boxes_.show(MessageIcon::Information, kProductName, "最初に設定をしてください");
            const std::string options = optionsProgramPath();
            if (!runProgramAndWait(loop_, options)) {
                // Without the options program the prompt would come back for ever.
                boxes_.show(MessageIcon::Stop, kProductName,
                            "設定プログラムを起動できませんでした。\n" + options +
                                "\n設定をしないと起動できないため、終了します。");
                *status = 1;
                return false;
            }
            checker_.loadSettings();
        }
        checker_.loadAgent();
        checker_.addTrayIcon();
        // The dial-up menu, built once from the entries of this start.
        dialMenu_ = std::make_unique<DialupMenu>(*dialup_);
        menus_.setDialMenu(*dialMenu_);
        checker_.startUpCheck();
        return true;
    }

    // The end: the character's place is kept, the icon removed, and the program ends at once,
    // wherever it stands (open connections and timers are simply dropped).
    [[noreturn]] void exitProgram() {
        checker_.exit();
        // Lets the removal of the icon reach the desktop before the process is gone.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        std::fflush(nullptr);
        std::_Exit(0);
    }

private:
    void startMailer(int index) { launcher_.start(checker_.execMailapp(index)); }

    void runOptionsProgram() {
        // A missing options program is not reported: the settings are read again all the same.
        runProgramAndWait(loop_, optionsProgramPath());
        checker_.reloadAfterOptions();
    }

    void run(MenuCommand command) {
        switch (command) {
            case MenuCommand::menu1:
                checker_.mailCheck();
                break;
            case MenuCommand::Mailer1:
                startMailer(1);
                break;
            case MenuCommand::Mailer2:
                startMailer(2);
                break;
            case MenuCommand::menu3:
                checker_.resetIcon();
                break;
            case MenuCommand::menu0:
                checker_.talkMail();
                break;
            case MenuCommand::menu02:
                checker_.showPopup();
                break;
            case MenuCommand::menu4:
                runOptionsProgram();
                break;
            case MenuCommand::menu5:
                versionWindow_.present();
                break;
            case MenuCommand::mend:
                exitProgram();
        }
    }

    IniSettingsStore store_;
    ScreenMetrics screen_ = screenMetrics();
    QtEventLoop loop_;
    PosixSocketApi socketApi_{loop_};
    QtMessageBoxes boxes_;
    TrayMenus menus_;
    QtTrayIcon tray_{menus_.mainMenu()};
    // The dial-up service: NetworkManager's, or none on a machine without it.
    std::unique_ptr<Dialup> dialup_ = createDialup(loop_, boxes_, tray_);
    std::unique_ptr<DialupMenu> dialMenu_;
    LatePopup popup_;

    // The reading character on the desktop, speaking with the voice.
    Voice voice_;
    VoiceSpeech speech_{voice_, loop_};
    DesktopCharacter character_{loop_, speech_, store_};
    VoiceWaveVolume waveVolume_{voice_};
    QtArrivalSound arrivalSound_;
    // The sounds that the character's own frames carry (a chime as it appears, say).
    QtFrameSound frameSound_;

    Checker checker_{CheckerServices{loop_, socketApi_, boxes_, tray_, menus_, popup_, character_,
                                     waveVolume_, arrivalSound_, *dialup_, store_, screen_},
                     ReplyCacheOptions::standard()};

    MailForm form_{MailFormServices{loop_, checker_.mailList(), checker_.settings(), store_,
                                    checker_.readingState()}};
    MailFormWindow formWindow_{form_, checker_.mailList(), screen_.twipsPerPixelX};
    QtProgramStarter starter_;
    MailerLauncher launcher_{starter_, boxes_};
    VersionWindow versionWindow_{store_.filePath()};
};

}  // namespace
}  // namespace velkora

int main(int argc, char** argv) {
    using velkora::InstanceLock;
    const std::string settingsPath = velkora::IniSettingsStore::defaultFilePath();
    // Before anything else: a second checker must touch nothing, not even the settings.
    InstanceLock::Result result;
    std::string error;
    std::unique_ptr<InstanceLock> lock =
        InstanceLock::acquire(InstanceLock::pathFor(settingsPath), &result, &error);
    if (result == InstanceLock::Result::HeldElsewhere) {
        std::fprintf(stderr, "orvane: すでに起動しています (%s)。\n", settingsPath.c_str());
        return 1;
    }
    if (result == InstanceLock::Result::Failed) {
        // Without the lock the checker still runs: a folder that cannot hold it must not stop
        // the user's mail.
        std::fprintf(stderr, "orvane: %s\n", error.c_str());
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("orvane"));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.velkora.orvane"));
    QApplication::setWindowIcon(velkora::trayImage(velkora::TrayImage::Normal));
    // It lives in the notification area: closing a window never ends it.
    QApplication::setQuitOnLastWindowClosed(false);

    auto orvane = std::make_unique<velkora::Orvane>(settingsPath);
    velkora::TerminationSignals terminationSignals([&orvane] { orvane->exitProgram(); });
    int status = 0;
    if (!orvane->start(&status)) {
        return status;
    }
    return QApplication::exec();
}
