#pragma once

#include <cstdint>

namespace velkora {

// State of the running check that the session, the cycle, the announcement and the shell
// share. One instance for the program.
struct CheckState {
    int16_t currentAccountNumber = 0;  // 1..N while checking; 0 before the first account
    int16_t totalMessages = 0;         // sum of the message counts of this check
    bool checkInProgress = false;
    bool periodicCheck = false;  // the running check was started by the timer
    int16_t minuteCount = 0;
    int16_t timeupTicks = 0;
    // The mail list has been cut back by this check's first STAT reply.
    bool mailListReset = false;
};

}  // namespace velkora
