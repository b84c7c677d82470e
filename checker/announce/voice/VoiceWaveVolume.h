#pragma once

#include <cstdint>
#include <optional>

#include "checker/announce/WaveVolume.h"

namespace velkora {

class Voice;

// The reading volume as the voice's own output level, not the desktop's volume: the voice is
// one mono stream, so the two channels are averaged into one level, and reading it back gives
// that level on both channels.
class VoiceWaveVolume final : public WaveVolume {
public:
    explicit VoiceWaveVolume(Voice& voice) : voice_(voice) {}

    // True while there is an output device to play on.
    bool hasVolumeControl() const override;
    std::optional<uint32_t> volume() const override;
    void setVolume(uint32_t value) override;

private:
    Voice& voice_;
};

}  // namespace velkora
