#pragma once

#include <cstdint>
#include <optional>

namespace velkora {

// The volume of the output that the character's voice plays on, as one 32-bit value:
// left channel in the low word, right channel in the high word, each 0 to 65535.
class WaveVolume {
public:
    virtual ~WaveVolume() = default;
    // False when no output device offers volume control.
    virtual bool hasVolumeControl() const = 0;
    // The current volume, or nothing when it cannot be read.
    virtual std::optional<uint32_t> volume() const = 0;
    virtual void setVolume(uint32_t value) = 0;
};

}  // namespace velkora
