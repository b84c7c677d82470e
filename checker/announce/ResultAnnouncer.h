#pragma once

#include <functional>

#include "checker/announce/Agent.h"
#include "checker/announce/ArrivalSound.h"
#include "checker/check/CheckState.h"
#include "checker/dialup/Dialup.h"
#include "checker/shell/MailPopup.h"
#include "common/AppSettings.h"

namespace velkora {

// The arrival sound: with "Option2value" 1, the WAV file of "Wavdir" without waiting for it,
// or the system beep when no file is set.
void playArrivalSound(const AppSettings& settings, ArrivalSound& sound);

// How the user learns of the mail a check has found: sound, popup (and the hang-up that goes
// with it), the character and the spoken reading, in that order.
class ResultAnnouncer {
public:
    ResultAnnouncer(Agent& agent, ArrivalSound& sound, MailPopup& popup, Dialup& dialup,
                    const AppSettings& settings, const CheckState& checkState);

    // Returns after the reading's last pause, so the check that calls it ends only then.
    void announceResult();

    // announceResult as the check cycle's hook.
    std::function<void()> hook();

private:
    Agent& agent_;
    ArrivalSound& sound_;
    MailPopup& popup_;
    Dialup& dialup_;
    const AppSettings& settings_;
    const CheckState& checkState_;
};

}  // namespace velkora
