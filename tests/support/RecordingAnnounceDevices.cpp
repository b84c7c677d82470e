#include "tests/support/RecordingAnnounceDevices.h"

#include <utility>

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

void RecordingArrivalSound::playWave(const std::string& path) {
    record("wave " + path);
}

void RecordingArrivalSound::beep() {
    record("beep");
}

void RecordingArrivalSound::record(std::string what) {
    if (observer) {
        observer(what);
    }
    sounds.push_back(std::move(what));
}

}  // namespace velkora::test
