#pragma once

#include <cstdint>
#include <vector>

#include "character/AcsTypes.h"

namespace velkora::test {

// A small character made for the tests, 40 × 30 pixels, in the shape genuine characters have:
//  - Showing → "Show" (2 frames), Hiding → "Hide" (2 frames), Speaking → "RestPose",
//    IdlingLevel1 → "Idle1_1" and "Idle1_2", IdlingLevel2 → "Idle2_1"
//  - "RestPose": one frame with mouth overlays (Closed, Wide2, Medium)
//  - "Greet": 3 frames, return animation "GreetReturn"
//  - "Process": loops for ever (frame 2 branches to frame 1 at 100 %), exit branch at frame 1
//    to frame 3, transition by exit branches
//  - "Wave": a branch of 50 % from frame 0 to frame 2; frame 1 plays sound 0
// Images 0..5: the body, three mouths, a hand and an empty unused slot. Palette index 0 is
// transparent. The names and descriptions come in English first, then Japanese.
AcsCharacterData makeTestCharacter();

// A RIFF WAVE file of `samples` 16-bit mono samples of silence.
std::vector<uint8_t> makeWave(std::size_t samples);

}  // namespace velkora::test
