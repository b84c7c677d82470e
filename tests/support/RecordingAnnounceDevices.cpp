#include "tests/support/RecordingAnnounceDevices.h"

namespace velkora::test {

std::optional<uint32_t> RecordingWaveVolume::volume() const {
    if (!controllable || !readable) {
        return std::nullopt;
    }
    return current;
}

void RecordingWaveVolume::setVolume(uint32_t value) {
    setValues.push_back(value);
    current = value;
    if (observer) {
        observer("setVolume " + std::to_string(value));
    }
}

}  // namespace velkora::test
