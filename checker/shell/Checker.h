#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "checker/announce/Agent.h"
#include "checker/announce/ArrivalSound.h"
#include "checker/announce/Character.h"
#include "checker/announce/ReadingPlan.h"
#include "checker/announce/ResultAnnouncer.h"
#include "checker/announce/SpeechPause.h"
#include "checker/announce/WaveVolume.h"
#include "checker/check/CheckCycle.h"
#include "checker/check/CheckState.h"
#include "checker/check/MailList.h"
#include "checker/dialup/Dialup.h"
#include "checker/net/Pop3Session.h"
#include "checker/net/ReplyCache.h"
#include "checker/net/SocketApi.h"
#include "checker/net/SocketLayer.h"
#include "checker/net/TlsSocketApi.h"
#include "checker/shell/MailPopup.h"
#include "checker/shell/TrayIcon.h"
#include "common/AppSettings.h"
#include "common/EventLoop.h"
#include "common/MessageBox.h"
#include "common/SettingsStore.h"

namespace velkora {

// The platform services the checker works with; all of them outlive it. A program without a
// desktop passes the null ones of HeadlessServices.h.
struct CheckerServices {
    EventLoop& loop;
    SocketApi& socketApi;
    MessageBoxes& messageBoxes;
    TrayIcon& trayIcon;
    MenuItems& menuItems;
    MailPopup& popup;
    Character& character;
    WaveVolume& waveVolume;
    ArrivalSound& arrivalSound;
    Dialup& dialup;
    SettingsStore& store;
    ScreenMetrics screen;  // taken once at start-up, for the character's placement
};

// The checker, composed once: the settings in memory, the check state and the mail list, TLS,
// the socket layer, the POP3 session, the check cycle with its timers, the readings and the
// announcement. The tray program, the check tool, the tests and the benchmark all build this
// object; the program's windows only forward their events to it.
//
// Start-up runs loadSettings, loadAgent, addTrayIcon, (the dial-up menu), startUpCheck, in
// that order. The character's events (double-click, hide) are handled inside.
//
// The replies of earlier checks are kept as `replyCache` says: the programs keep them on disk
// (ReplyCacheOptions::standard()); without options nothing is kept and every check fetches
// every message.
class Checker {
public:
    explicit Checker(CheckerServices services,
                     const ReplyCacheOptions& replyCache = ReplyCacheOptions::off());
    ~Checker();
    Checker(const Checker&) = delete;
    Checker& operator=(const Checker&) = delete;

    // The settings (with the accounts) from the store, then renewMailerCaptions and
    // applyTimerPeriods. At start-up; the settings in memory change only here.
    void loadSettings();
    // Loads and places the character; with "Option4index" 1 it appears and greets.
    void loadAgent();
    // The tray icon appears, normal image, tip "Velkora".
    void addTrayIcon();
    // With "Option5value" 1, a check of all accounts, as the timer starts one.
    void startUpCheck();

    // The main menu's commands.
    void mailCheck();  // "ﾒｰﾙﾁｪｯｸ(&L)": any conversation is ended, a new check begins
    void resetIcon();  // "ｱｲｺﾝを元に戻す(&C)": the normal image; the list stays
    void talkMail();   // "再度読み上げ(&T)": the listed mail read again
    void showPopup();  // "ポップアップ再表示(&P)": the popup with the last check's mail
    // After the options program has ended: the settings again and, unless a check runs, the
    // tray icon added (an icon already there stays as it is).
    void reloadAfterOptions();
    // "終了(&X)", and whenever the program is closed: the character's position kept, the
    // tray icon removed. The program then ends; nothing else is shut down.
    void exit();
    // The part of starting mail program `index` (1 or 2) that is the checker's: the new-mail
    // image is cleared unless a check runs. Gives the program's path, empty when none is set.
    std::string execMailapp(int index);

    // The popup's double-click: the reading of one row (none for the header row).
    void talkSingleMail(std::size_t row);

    const AppSettings& settings() const { return settings_; }
    const CheckState& checkState() const { return state_; }
    // The rows the popup shows; it may watch them through onChanged.
    MailList& mailList() { return mailList_; }
    // Where the popup's click leaves the account name that "@2" then reads.
    ReadingState& readingState() { return readingState_; }
    Agent& agent() { return agent_; }
    CheckCycle& cycle() { return cycle_; }
    Pop3Session& session() { return session_; }
    // Null when no replies are kept.
    ReplyCache* replyCache() { return replyCache_.get(); }

private:
    CheckerServices s_;
    std::unique_ptr<ReplyCache> replyCache_;
    AppSettings settings_;
    CheckState state_;
    MailList mailList_;
    // TLS for the accounts that ask for it, on the platform's sockets.
    TlsSocketApi tls_;
    SocketLayer layer_;
    Pop3Session session_;
    CheckCycle cycle_;
    SpeechPause pause_;
    ReadingState readingState_;
    Agent agent_;
    ResultAnnouncer announcer_;
};

}  // namespace velkora
