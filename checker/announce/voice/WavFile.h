#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velkora {

// Writes 16-bit mono PCM as a RIFF WAVE file; false when the file cannot be written whole.
bool writeWavFile(const std::string& path, const std::vector<int16_t>& samples, int sampleRate);

// The PCM samples of a RIFF WAVE file held in memory.
struct WaveData {
    int channels = 0;
    int sampleRate = 0;
    int bitsPerSample = 0;
    std::span<const uint8_t> samples;  // within the file's bytes
};

// Reads the header of an uncompressed PCM WAVE file (8 or 16 bits, one or two channels);
// nothing for anything else, or for chunks that run past the end.
std::optional<WaveData> parseWave(std::span<const uint8_t> file);

}  // namespace velkora
