#pragma once

#include <string>

namespace velkora {

// The sound made when mail has arrived. Both calls return at once; failures are silent.
class ArrivalSound {
public:
    virtual ~ArrivalSound() = default;
    // Starts playing a WAV file without waiting; a missing or broken file plays nothing.
    virtual void playWave(const std::string& path) = 0;
    // The system's default beep.
    virtual void beep() = 0;
};

}  // namespace velkora
