#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velkora {

// Writes 16-bit mono PCM as a RIFF WAVE file; false when the file cannot be written whole.
bool writeWavFile(const std::string& path, const std::vector<int16_t>& samples, int sampleRate);

}  // namespace velkora
