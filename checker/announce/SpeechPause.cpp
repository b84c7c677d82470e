#include "checker/announce/SpeechPause.h"

namespace velkora {

SpeechPause::SpeechPause(EventLoop& loop) : loop_(loop), spktimer_(loop.createTimer()) {
    spktimer_->setHandler([this] {
        speechWaiting_ = 0;
        spktimer_->setEnabled(false);
    });
}

bool SpeechPause::speakWait(Character& character, const std::string& text) {
    if (!character.speak(text)) {
        return false;
    }
    speechWaiting_ = 1;
    spktimer_->setInterval(kPauseMilliseconds);
    // Off and on again, so that the period counts from now even if a pause is running.
    spktimer_->setEnabled(false);
    spktimer_->setEnabled(true);
    loop_.runUntil([this] { return speechWaiting_ == 0; });
    return true;
}

}  // namespace velkora
