#include "checker/shell/Checker.h"

#include "checker/shell/MailerCaptions.h"
#include "common/Settings.h"

namespace velkora {

namespace {

std::unique_ptr<ReplyCache> makeReplyCache(const ReplyCacheOptions& options) {
    if (!options.enabled) {
        return nullptr;
    }
    return options.folder.empty() ? std::make_unique<ReplyCache>()
                                  : std::make_unique<ReplyCache>(options.folder);
}

}  // namespace

Checker::Checker(CheckerServices services, const ReplyCacheOptions& replyCache)
    : s_(services),
      replyCache_(makeReplyCache(replyCache)),
      tls_(s_.socketApi, s_.loop),
      layer_(tls_, s_.loop),
      session_(layer_, s_.loop, settings_),
      cycle_(s_.loop, layer_, session_, state_, mailList_, settings_, s_.store, s_.messageBoxes,
             s_.trayIcon, s_.menuItems, s_.dialup),
      pause_(s_.loop),
      agent_(AgentServices{s_.character, s_.waveVolume, s_.messageBoxes, s_.loop, s_.store,
                           settings_, mailList_, pause_, readingState_, s_.screen}),
      announcer_(agent_, s_.arrivalSound, s_.popup, s_.dialup, settings_, state_) {
    cycle_.announceResult = announcer_.hook();
    session_.setReplyCache(replyCache_.get());
}

Checker::~Checker() {
    cycle_.announceResult = nullptr;
}

void Checker::loadSettings() {
    settings_ = velkora::loadSettings(s_.store);
    renewMailerCaptions(settings_, s_.menuItems, s_.popup);
    cycle_.applyTimerPeriods();
}

void Checker::loadAgent() {
    agent_.loadAgent();
}

void Checker::addTrayIcon() {
    s_.trayIcon.tuskicon(TrayState::Add);
}

void Checker::startUpCheck() {
    if (settings_.Option5value == 1) {
        cycle_.startCheck();
    }
}

void Checker::mailCheck() {
    cycle_.mailCheckCommand();
}

void Checker::resetIcon() {
    s_.trayIcon.tuskicon(TrayState::Normal);
}

void Checker::talkMail() {
    agent_.TalkMail();
}

void Checker::showPopup() {
    s_.popup.showPopup(state_.totalMessages);
}

void Checker::reloadAfterOptions() {
    loadSettings();
    if (!state_.checkInProgress) {
        s_.trayIcon.tuskicon(TrayState::Add);
    }
}

void Checker::exit() {
    agent_.savePositionAtExit();
    s_.trayIcon.tuskicon(TrayState::Remove);
}

std::string Checker::execMailapp(int index) {
    if (!state_.checkInProgress) {
        s_.trayIcon.tuskicon(TrayState::Normal);
    }
    return mailerPath(settings_, index);
}

void Checker::talkSingleMail(std::size_t row) {
    agent_.talkSingleMail(row);
}

}  // namespace velkora
