#include "checker/check/CheckCycle.h"

#include <algorithm>
#include <limits>
#include <string>
#include <utility>

#include "checker/check/HeaderExtractor.h"
#include "common/Accounts.h"
#include "common/ProductInfo.h"

namespace velkora {

namespace {

constexpr const char* kCheckingTipSuffix = "をチェック中です";
// "Defdialno" values outside this range name no entry: the check goes on without dialling.
constexpr int kLastDialEntryIndex = 256;

int16_t incremented(int16_t value) {
    return value < std::numeric_limits<int16_t>::max() ? static_cast<int16_t>(value + 1) : value;
}

}  // namespace

CheckCycle::CheckCycle(EventLoop& loop, SocketLayer& layer, Pop3Session& session, CheckState& state,
                       MailList& mailList, const AppSettings& settings, const SettingsStore& store,
                       MessageBoxes& boxes, TrayIcon& tray, MenuItems& menus, Dialup& dialup)
    : layer_(layer),
      session_(session),
      state_(state),
      mailList_(mailList),
      settings_(settings),
      store_(store),
      boxes_(boxes),
      tray_(tray),
      menus_(menus),
      dialup_(dialup),
      checktimer_(loop.createTimer()),
      logontimer_(loop.createTimer()),
      timeuptimer_(loop.createTimer()),
      accountLimit_(loop.createTimer()) {
    checktimer_->setHandler([this] { checktimerTick(); });
    checktimer_->setInterval(kMinuteMs);
    checktimer_->setEnabled(true);

    logontimer_->setHandler([this] { logontimerTick(); });
    logontimer_->setInterval(kLogonDelayMs);

    // A whole minute until the first settings load sets the real period.
    timeuptimer_->setHandler([this] { timeuptimerTick(); });
    timeuptimer_->setInterval(kMinuteMs);

    accountLimit_->setHandler([this] { accountLimitReached(); });
    accountLimit_->setInterval(kAccountLimitMs);

    layer_.restartTimeup = [this] { restartTimeup(); };
    session_.onMessageCount = [this](std::optional<int16_t> count) { recordMessageCount(count); };
    session_.onMessage = [this](const std::string& reply) { recordMessage(reply); };
    session_.onAccountDone = [this] {
        accountEnded_ = true;
        accountLimit_->setEnabled(false);
        logontimer_->setEnabled(true);
    };
    session_.onError = [this](const std::string& text) { reportError(text); };
}

CheckCycle::~CheckCycle() {
    layer_.restartTimeup = nullptr;
    session_.onMessageCount = nullptr;
    session_.onMessage = nullptr;
    session_.onAccountDone = nullptr;
    session_.onError = nullptr;
}

void CheckCycle::applyTimerPeriods() {
    checktimer_->setInterval(settings_.Checktimerval != 0 ? kMinuteMs : 0);
    timeuptimer_->setInterval(settings_.Timeupval != 0 ? kTimeupTickMs : 0);
}

void CheckCycle::restartTimeup() {
    // Only a running time-up is restarted: a late notification after the check has ended or
    // was abandoned must not wake the time-up, which would carry the check on.
    if (timeuptimer_->enabled()) {
        timeuptimer_->setEnabled(false);
        timeuptimer_->setEnabled(true);
    }
}

void CheckCycle::reportError(const std::string& text) {
    if (settings_.Option3value != 0) {
        return;
    }
    boxes_.show(MessageIcon::Stop, kProductName, text);
}

void CheckCycle::recordMessageCount(std::optional<int16_t> count) {
    // The first STAT reply of a check replaces the last check's list, whatever its count.
    // Tied to account 1 alone, a check whose account 1 is switched off or down would append
    // to the old rows, listing every mail again at each check.
    if (!state_.mailListReset) {
        mailList_.reset();
        state_.mailListReset = true;
    }
    if (count) {
        // The sum of a check saturates rather than wrapping into a negative count.
        state_.totalMessages = static_cast<int16_t>(
            std::min<int>(std::numeric_limits<int16_t>::max(), state_.totalMessages + *count));
    }
}

void CheckCycle::recordMessage(const std::string& reply) {
    extractHeaders(reply, state_.currentAccountNumber, settings_, mailList_);
}

void CheckCycle::beginCheck() {
    ++checkNumber_;
    // The hand-over of a previous check's account must not cut into this check's first one.
    logontimer_->setEnabled(false);
    session_.sendQuit();
    state_.totalMessages = 0;
    state_.currentAccountNumber = 0;
    state_.mailListReset = false;
}

void CheckCycle::startCheck() {
    beginCheck();
    logintimerfun();
}

void CheckCycle::mailCheckCommand() {
    beginCheck();
    state_.periodicCheck = false;
    logintimerfun();
}

void CheckCycle::logintimerfun() {
    const uint64_t check = checkNumber_;
    while (true) {
        state_.checkInProgress = true;
        tray_.tuskicon(TrayState::Checking);
        // At or past the count: the count may have shrunk with a settings reload.
        if (state_.currentAccountNumber >= settings_.accountno) {
            endOfCheck();
            return;
        }
        state_.currentAccountNumber = incremented(state_.currentAccountNumber);
        account_ = loadAccount(store_, state_.currentAccountNumber);
        if (account_.Check == 1) {
            break;
        }
    }

    accountEnded_ = false;
    state_.timeupTicks = 1;
    timeuptimer_->setEnabled(false);
    timeuptimer_->setEnabled(true);
    tray_.tuskicon2(account_.Aname + kCheckingTipSuffix);

    const bool pass = passDialupGate();
    // Dialling keeps handling events: a check begun meanwhile has taken over.
    if (check != checkNumber_) {
        return;
    }
    if (!pass) {
        abandonCheck();
        return;
    }
    accountLimit_->setEnabled(false);
    accountLimit_->setEnabled(settings_.Timeupval != 0);
    session_.openSession(account_);
    // The cycle goes on when the session hands the account over (logontimer).
}

bool CheckCycle::passDialupGate() {
    if (!state_.periodicCheck) {
        const int index = settings_.Defdialno;
        if (index < 0 || index > kLastDialEntryIndex) {
            return true;
        }
        const auto& entries = dialup_.dialEntries();
        const std::string entry =
            static_cast<std::size_t>(index) < entries.size() ? entries[index] : std::string();
        return dialup_.dialEntry(entry, settings_.Redialval) != -1;
    }
    // A periodic check never dials; with "Option6value" 1 it is skipped while offline.
    return !(settings_.Option6value == 1 && dialup_.countActiveConnections() == 0);
}

void CheckCycle::abandonCheck() {
    tray_.tuskicon(TrayState::Normal);
    timeuptimer_->setEnabled(false);
    accountLimit_->setEnabled(false);
    logontimer_->setEnabled(false);
}

void CheckCycle::endOfCheck() {
    const uint64_t check = checkNumber_;
    timeuptimer_->setEnabled(false);
    accountLimit_->setEnabled(false);
    // The last server had its second to answer "QUIT"; its connection is not kept open until
    // the next check.
    session_.closeLeftoverConnection();
    if (state_.totalMessages != 0) {
        tray_.tuskicon(TrayState::NewMail);
        menus_.setEnabled(MenuItem::menu0, true);
        menus_.setEnabled(MenuItem::menu02, true);
        if (announceResult) {
            announceResult();
        }
    } else {
        menus_.setEnabled(MenuItem::menu0, false);
        tray_.tuskicon(TrayState::Normal);
        if (settings_.Option7value == 1) {
            dialup_.hangUpDialup();
        }
    }
    // The announcement handles events while it reads: a check begun meanwhile is still
    // running and keeps its flag and its time-up.
    if (check == checkNumber_) {
        state_.checkInProgress = false;
        timeuptimer_->setEnabled(false);
    }
    checktimer_->setEnabled(true);
}

void CheckCycle::startPeriodicCheck() {
    state_.periodicCheck = true;
    startCheck();
}

void CheckCycle::checktimerTick() {
    state_.minuteCount = incremented(state_.minuteCount);
    if (settings_.Checktimerval == 0 || state_.minuteCount < settings_.Checktimerval) {
        return;
    }
    if (tray_.currentImage() == TrayImage::Checking) {
        // A check is running; the next tick tries again.
        return;
    }
    checktimer_->setEnabled(false);
    startPeriodicCheck();
    state_.minuteCount = 0;
    checktimer_->setEnabled(true);
}

void CheckCycle::logontimerTick() {
    logontimer_->setEnabled(false);
    logintimerfun();
}

void CheckCycle::timeuptimerTick() {
    if (settings_.Timeupval != 0 && state_.timeupTicks >= settings_.Timeupval) {
        state_.timeupTicks = 1;
        if (session_.pop3Step() == Pop3Session::kQuitSent) {
            logontimer_->setEnabled(true);
        } else {
            if (!std::exchange(accountEnded_, true) && onAccountTimedOut) {
                onAccountTimedOut();
            }
            session_.quitNow();
        }
        return;
    }
    state_.timeupTicks = incremented(state_.timeupTicks);
}

void CheckCycle::accountLimitReached() {
    accountLimit_->setEnabled(false);
    if (!std::exchange(accountEnded_, true) && onAccountTimedOut) {
        onAccountTimedOut();
    }
    if (session_.pop3Step() != Pop3Session::kQuitSent) {
        session_.quitNow();
    }
    logontimer_->setEnabled(true);
}

}  // namespace velkora
