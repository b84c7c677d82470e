#pragma once

#include <memory>
#include <string>

#include "character/SpeechOutput.h"
#include "common/EventLoop.h"

namespace velkora {

// Speech that makes no sound: the balloon's text comes word by word at a reading pace and the
// mouth stays closed. Stands in for the voice when speech output is off or cannot be heard.
class TimedSpeech final : public SpeechOutput {
public:
    // Characters shown per second at the speed of \Spd=100\ (and for texts without a tag).
    static constexpr double kCharactersPerSecond = 8.0;

    explicit TimedSpeech(EventLoop& loop) : loop_(loop) {}
    std::unique_ptr<Utterance> prepare(const std::string& text) override;

private:
    EventLoop& loop_;
};

}  // namespace velkora
