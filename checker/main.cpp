// orvane: the resident mail checker in the notification area.

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "checker/announce/Agent.h"
#include "checker/announce/ResultAnnouncer.h"
#include "checker/announce/SpeechPause.h"
#include "checker/announce/voice/QtArrivalSound.h"
#include "checker/announce/voice/Voice.h"
#include "checker/announce/voice/VoiceCharacter.h"
#include "checker/announce/voice/VoiceWaveVolume.h"
#include "checker/check/CheckCycle.h"
#include "checker/check/CheckState.h"
#include "checker/check/MailList.h"
#include "checker/dialup/Dialup.h"
#include "checker/dialup/DialupMenu.h"
#include "checker/dialup/qt/CreateDialup.h"
#include "checker/net/Pop3Session.h"
#include "checker/net/PosixSocketApi.h"
#include "checker/net/SocketLayer.h"
#include "checker/shell/InstanceLock.h"
#include "checker/shell/MailForm.h"
#include "checker/shell/MailPrograms.h"
#include "checker/shell/ScreenUnits.h"
#include "checker/shell/gui/MailFormWindow.h"
#include "checker/shell/gui/QtTrayIcon.h"
#include "checker/shell/gui/TrayMenus.h"
#include "checker/shell/gui/VersionWindow.h"
#include "checker/shell/qt/ProgramWait.h"
#include "checker/shell/qt/QtProgramStarter.h"
#include "checker/shell/qt/TerminationSignals.h"
#include "common/AppSettings.h"
#include "common/IniSettingsStore.h"
#include "common/ProductInfo.h"
#include "common/Settings.h"
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

class Orvane {
public:
    explicit Orvane(const std::string& settingsPath) : store_(settingsPath) {
        cycle_.announceResult = announcer_.hook();
        popup_.readMail = [this](std::size_t row) { agent_.talkSingleMail(row); };
        popup_.startMailer = [this](int index) { mailers_.ExecMailapp(index); };
        menus_.onCommand = [this](MenuCommand command) { run(command); };
        tray_.onLeftClick = [this] { menus_.popUpDialMenu(); };
        // The end of the desktop session: the session manager asks for the data first (the
        // character's place), then ends the program, which leaves as at "終了(&X)".
        QObject::connect(qApp, &QGuiApplication::commitDataRequest,
                         [this] { agent_.savePositionAtExit(); });
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, [this] { exitProgram(); });
    }

    // Start-up in the program's order; false when it cannot go on (the status to end with is
    // then in *status).
    bool start(int* status) {
        loadAll();
        while (settings_.Agentnm.empty()) {
            boxes_.show(MessageIcon::Information, kProductName, "最初に設定をしてください");
            const std::string options = optionsProgramPath();
            if (!runProgramAndWait(loop_, options)) {
                boxes_.show(MessageIcon::Stop, kProductName,
                            "設定プログラムを起動できませんでした。\n" + options +
                                "\n設定をしないと起動できないため、終了します。");
                *status = 1;
                return false;
            }
            loadAll();
        }
        agent_.loadAgent();
        tray_.tuskicon(TrayState::Add);
        // The dial-up menu, built once from the entries of this start.
        dialMenu_ = std::make_unique<DialupMenu>(*dialup_);
        menus_.setDialMenu(*dialMenu_);
        if (settings_.Option5value == 1) {
            cycle_.startCheck();
        }
        return true;
    }

    // The end: the character's place is kept, the icon removed, and the program ends at once,
    // wherever it stands (open connections and timers are simply dropped).
    [[noreturn]] void exitProgram() {
        agent_.savePositionAtExit();
        tray_.tuskicon(TrayState::Remove);
        // Lets the removal of the icon reach the desktop before the process is gone.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        std::fflush(nullptr);
        std::_Exit(0);
    }

private:
    void loadAll() {
        settings_ = loadSettings(store_);
        renewMailerCaptions(settings_, {&menus_, &popup_});
        cycle_.applyTimerPeriods();
    }

    void runOptionsProgram() {
        runProgramAndWait(loop_, optionsProgramPath());
        loadAll();
        if (!state_.checkInProgress) {
            tray_.tuskicon(TrayState::Add);
        }
    }

    void run(MenuCommand command) {
        switch (command) {
            case MenuCommand::menu1:
                cycle_.mailCheckCommand();
                break;
            case MenuCommand::Mailer1:
                mailers_.ExecMailapp(1);
                break;
            case MenuCommand::Mailer2:
                mailers_.ExecMailapp(2);
                break;
            case MenuCommand::menu3:
                tray_.tuskicon(TrayState::Normal);
                break;
            case MenuCommand::menu0:
                agent_.TalkMail();
                break;
            case MenuCommand::menu02:
                popup_.showAgain();
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
    AppSettings settings_;
    ScreenMetrics screen_ = screenMetrics();
    QtEventLoop loop_;
    PosixSocketApi api_{loop_};
    QtMessageBoxes boxes_;
    SocketLayer layer_{api_, loop_, boxes_, settings_};
    CheckState state_;
    MailList mailList_;
    Pop3Session session_{layer_, loop_, state_, settings_, mailList_};
    TrayMenus menus_;
    QtTrayIcon tray_{menus_.mainMenu()};
    // The dial-up service of this machine: NetworkManager's, or none.
    std::unique_ptr<Dialup> dialup_ = createDialup(loop_, settings_, boxes_, tray_);
    std::unique_ptr<DialupMenu> dialMenu_;
    CheckCycle cycle_{loop_, layer_, session_, state_, settings_, store_, tray_, menus_, *dialup_};

    // The reading character and its voice.
    Voice voice_;
    VoiceCharacter character_{voice_, loop_};
    VoiceWaveVolume waveVolume_{voice_};
    QtArrivalSound arrivalSound_;
    SpeechPause pause_{loop_};
    ReadingState readingState_;
    Agent agent_{AgentServices{character_, waveVolume_, boxes_, loop_, store_, settings_, mailList_,
                               pause_, readingState_, screen_}};

    MailForm popup_{MailFormServices{loop_, mailList_, settings_, state_, store_, readingState_}};
    MailFormWindow popupWindow_{popup_, mailList_, screen_.twipsPerPixelX};
    ResultAnnouncer announcer_{agent_, arrivalSound_, popup_, *dialup_, settings_, state_};
    QtProgramStarter starter_;
    MailPrograms mailers_{settings_, state_, tray_, starter_, boxes_};
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
