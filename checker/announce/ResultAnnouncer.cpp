#include "checker/announce/ResultAnnouncer.h"

namespace velkora {

void playArrivalSound(const AppSettings& settings, ArrivalSound& sound) {
    if (settings.Option2value != 1) {
        return;
    }
    if (settings.Wavdir.empty()) {
        sound.beep();
    } else {
        sound.playWave(settings.Wavdir);
    }
}

ResultAnnouncer::ResultAnnouncer(Agent& agent, ArrivalSound& sound, MailPopup& popup,
                                 Dialup& dialup, const AppSettings& settings,
                                 const CheckState& checkState)
    : agent_(agent),
      sound_(sound),
      popup_(popup),
      dialup_(dialup),
      settings_(settings),
      checkState_(checkState) {}

void ResultAnnouncer::announceResult() {
    playArrivalSound(settings_, sound_);
    if (settings_.Option1value == 1) {
        popup_.showPopup(checkState_.totalMessages);
        // The hang-up belongs to the popup: without a popup a check with mail stays online.
        if (settings_.Option7value == 1 && settings_.sOption7value == 0) {
            dialup_.hangUpDialup();
        }
    }
    agent_.showIfHidden();
    agent_.TalkMail();
}

std::function<void()> ResultAnnouncer::hook() {
    return [this] { announceResult(); };
}

}  // namespace velkora
