#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "checker/check/CheckState.h"
#include "checker/check/MailList.h"
#include "checker/dialup/Dialup.h"
#include "checker/net/Pop3Session.h"
#include "checker/net/SocketLayer.h"
#include "checker/shell/TrayIcon.h"
#include "common/Account.h"
#include "common/AppSettings.h"
#include "common/EventLoop.h"
#include "common/MessageBox.h"
#include "common/SettingsStore.h"

namespace velkora {

// A check of every account whose Check flag is 1, one after the other, with the three
// timers that drive it: checktimer (periodic checks, counted in minutes), logontimer (one
// second from one account to the next) and timeuptimer (the session time-up, in 60 ms ticks),
// and the overall limit of one account (kAccountLimitMs, whenever a time-up is set).
// It records what the session reports: the message counts into the check state, each message
// as a row of the mail list, and every error text through reportError.
class CheckCycle {
public:
    static constexpr int kMinuteMs = 60000;
    static constexpr int kLogonDelayMs = 1000;
    static constexpr int kTimeupTickMs = 60;
    // The most one account may take while a time-up is set: a server that trickles a byte
    // now and then keeps restarting the time-up's period and would hold the check forever.
    // Long enough for a mailbox of thousands of messages over a slow line.
    static constexpr int kAccountLimitMs = 10 * 60 * 1000;

    // Creates the timers, installs restartTimeup into the layer and its handlers into the
    // session. The settings and the store are read at each use, so a reload takes effect for
    // the next account.
    CheckCycle(EventLoop& loop, SocketLayer& layer, Pop3Session& session, CheckState& state,
               MailList& mailList, const AppSettings& settings, const SettingsStore& store,
               MessageBoxes& boxes, TrayIcon& tray, MenuItems& menus, Dialup& dialup);
    ~CheckCycle();
    CheckCycle(const CheckCycle&) = delete;
    CheckCycle& operator=(const CheckCycle&) = delete;

    // A check started by the timer or at start-up.
    void startCheck();
    // The check that checktimer starts when its minutes are up: periodic, so it never dials
    // and is skipped while offline (when so configured).
    void startPeriodicCheck();
    // The mail-check menu command: a check started by hand.
    void mailCheckCommand();
    // One account step: the next account whose Check is 1, or the end of the check.
    void logintimerfun();
    // The timer periods that follow from the settings; run after every settings load.
    void applyTimerPeriods();
    // The first step of every socket notification: the time-up period starts anew.
    void restartTimeup();
    // The one way the mail check shows an error: the stop box titled "Velkora", unless
    // "Option3value" is not 0.
    void reportError(const std::string& text);

    // The announcement of a check that found mail; nothing when not installed.
    std::function<void()> announceResult;
    // The time-up gives up the current account, whose session had not handed it over (the
    // server stalled or the connection failed): once per account, before its "QUIT".
    std::function<void()> onAccountTimedOut;

    const Account& currentAccount() const { return account_; }
    Timer& checktimer() { return *checktimer_; }
    Timer& logontimer() { return *logontimer_; }
    Timer& timeuptimer() { return *timeuptimer_; }
    Timer& accountLimitTimer() { return *accountLimit_; }

private:
    void beginCheck();
    void endOfCheck();
    void abandonCheck();
    // The dial-up gate; false when the check is to be abandoned.
    bool passDialupGate();
    void checktimerTick();
    void logontimerTick();
    void timeuptimerTick();
    // The account has had its time: it ends as a time-up ends it, and the next follows.
    void accountLimitReached();
    void recordMessageCount(std::optional<int16_t> count);
    void recordMessage(const std::string& reply);

    SocketLayer& layer_;
    Pop3Session& session_;
    CheckState& state_;
    MailList& mailList_;
    const AppSettings& settings_;
    const SettingsStore& store_;
    MessageBoxes& boxes_;
    TrayIcon& tray_;
    MenuItems& menus_;
    Dialup& dialup_;
    Account account_;

    std::unique_ptr<Timer> checktimer_;
    std::unique_ptr<Timer> logontimer_;
    std::unique_ptr<Timer> timeuptimer_;
    std::unique_ptr<Timer> accountLimit_;

    // Counts the checks begun, so that a step resumed after a nested wait (dialling, the
    // announcement) can tell that a new check has started meanwhile.
    uint64_t checkNumber_ = 0;
    // The current account was handed over by its session or given up by the time-up.
    bool accountEnded_ = false;
};

}  // namespace velkora
