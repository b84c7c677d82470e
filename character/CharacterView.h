#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "character/AcsTypes.h"

namespace velkora {

// Where the character engine shows what it does: the window and its balloon on the desktop,
// or a recording in tests.
class CharacterView {
public:
    virtual ~CharacterView() = default;
    // The picture from now on: a frame of the character file, with the mouth overlay to draw
    // with it (null for none). Both stay valid while the engine holds the file.
    virtual void showFrame(const AcsFrame& frame, const AcsOverlay* mouth) = 0;
    virtual void setOnScreen(bool onScreen) = 0;
    // The balloon, laid out for all of `text`, showing its first `visibleBytes` bytes.
    virtual void showBalloon(const std::string& text, std::size_t visibleBytes) = 0;
    virtual void hideBalloon() = 0;
    // A frame's sound: a complete RIFF WAVE file, valid for the duration of the call.
    virtual void playSound(std::span<const uint8_t> wave) = 0;
};

}  // namespace velkora
