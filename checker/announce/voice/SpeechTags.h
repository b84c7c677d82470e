#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velkora {

// The synthesizer's speed range, in words per minute.
constexpr int kMinSpeechRate = 80;
constexpr int kMaxSpeechRate = 450;
// The speed of a text that carries no speed tag: the checker's own default speed setting.
constexpr int kDefaultSpeechRate = 100;

// A stretch of text to speak at one speed.
struct SpeechPiece {
    std::string text;
    int rate = kDefaultSpeechRate;

    bool operator==(const SpeechPiece&) const = default;
};

// Clamps a requested speed to the synthesizer's range.
int clampSpeechRate(long long rate);

// Splits a text carrying speech output tags into the pieces to speak.
//  - \Spd=n\ sets the speed of what follows. The checker appends its speed tag after the text,
//    so the text before the first \Spd\ tag takes that tag's speed; a text without one is spoken
//    at defaultRate. A value that is not a number leaves the speed as it was.
//  - Every other tag, \Name\ or \Name=value\ (values may hold "quoted" parts), is removed.
//  - \\ is a literal backslash; a backslash that does not open a complete tag is kept as text.
// Neighbouring pieces of the same speed are joined, so a tag alone never splits the speech.
std::vector<SpeechPiece> parseSpeechTags(std::string_view text, int defaultRate);

}  // namespace velkora
