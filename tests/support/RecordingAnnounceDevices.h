#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "checker/announce/ArrivalSound.h"
#include "checker/announce/WaveVolume.h"

namespace velkora::test {

// An output device's volume that can be told to lack volume control or to refuse the read,
// and that keeps every value set, in order.
class RecordingWaveVolume final : public WaveVolume {
public:
    explicit RecordingWaveVolume(uint32_t initial) : current(initial) {}

    bool hasVolumeControl() const override { return controllable; }
    std::optional<uint32_t> volume() const override;
    void setVolume(uint32_t value) override;

    bool controllable = true;
    bool readable = true;
    uint32_t current;
    std::vector<uint32_t> setValues;
    std::function<void(const std::string&)> observer;
};

// Hands the arrival sounds asked for, "wave <path>" or "beep", to observer.
class RecordingArrivalSound final : public ArrivalSound {
public:
    void playWave(const std::string& path) override { observer("wave " + path); }
    void beep() override { observer("beep"); }

    std::function<void(const std::string&)> observer = [](const std::string&) {};
};

}  // namespace velkora::test
