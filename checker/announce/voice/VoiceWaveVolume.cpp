#include "checker/announce/voice/VoiceWaveVolume.h"

#include "checker/announce/voice/Voice.h"

namespace velkora {

bool VoiceWaveVolume::hasVolumeControl() const {
    return voice_.hasOutputDevice();
}

std::optional<uint32_t> VoiceWaveVolume::volume() const {
    if (!hasVolumeControl()) {
        return std::nullopt;
    }
    const uint32_t level = voice_.volume();
    return level << 16 | level;
}

void VoiceWaveVolume::setVolume(uint32_t value) {
    const uint32_t left = value & 0xFFFFu;
    const uint32_t right = value >> 16;
    voice_.setVolume(static_cast<uint16_t>((left + right + 1) / 2));
}

}  // namespace velkora
