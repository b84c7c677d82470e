#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "checker/announce/Character.h"
#include "common/EventLoop.h"

namespace velkora {

// The pause after every spoken text. The character queues its speech and returns at once, so
// the reading paces itself: about two seconds per text, during which the loop keeps handling
// timers, sockets and menu commands. One instance is shared by every reading, so a reading
// started during the pause of another shares the flag and the timer, and one tick ends both
// pauses.
class SpeechPause {
public:
    static constexpr int kPauseMilliseconds = 2000;

    explicit SpeechPause(EventLoop& loop);
    SpeechPause(const SpeechPause&) = delete;
    SpeechPause& operator=(const SpeechPause&) = delete;

    // Speaks the text, then waits in a nested loop until the pause timer has fired. When the
    // character refuses the text there is nothing to wait for: returns false at once.
    bool speakWait(Character& character, const std::string& text);

    // 1 while a pause is running, else 0.
    int16_t speechWaiting() const { return speechWaiting_; }

private:
    EventLoop& loop_;
    std::unique_ptr<Timer> spktimer_;
    int16_t speechWaiting_ = 0;
};

}  // namespace velkora
