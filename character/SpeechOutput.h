#pragma once

#include <functional>
#include <memory>
#include <string>

#include "character/AcsTypes.h"

namespace velkora {

// What the character hears of its voice while one text is spoken. Every call is made as an
// event of the character's event loop.
struct SpeechListener {
    // 0 to 1: how much of the text has been heard so far; never goes back.
    std::function<void(double progress)> progress;
    // The mouth shape that fits what is heard now.
    std::function<void(MouthShape shape)> mouth;
    // The text has been heard to its end, or cut short, or could not be spoken at all. Called
    // exactly once for every utterance that was started, and never after it was destroyed.
    std::function<void()> finished;
};

// One text to speak, prepared when the character accepts the request, so that what is in
// force at that moment (the reading volume) goes with it; spoken when the character's queue
// reaches it.
class Utterance {
public:
    virtual ~Utterance() = default;
    virtual void start(SpeechListener listener) = 0;
    // Cuts the speech short; `finished` follows.
    virtual void stop() = 0;
};

// The character's voice.
class SpeechOutput {
public:
    virtual ~SpeechOutput() = default;
    // The text may carry speech output tags such as \Spd=n\.
    virtual std::unique_ptr<Utterance> prepare(const std::string& text) = 0;
};

}  // namespace velkora
