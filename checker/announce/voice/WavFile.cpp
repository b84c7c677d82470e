#include "checker/announce/voice/WavFile.h"

#include <fstream>

namespace velkora {

namespace {

void putLittleEndian(std::string& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFFu));
    }
}

}  // namespace

bool writeWavFile(const std::string& path, const std::vector<int16_t>& samples, int sampleRate) {
    if (sampleRate <= 0) {
        return false;
    }
    constexpr uint32_t kChannels = 1;
    constexpr uint32_t kBytesPerSample = 2;
    const auto dataBytes = static_cast<uint32_t>(samples.size() * kBytesPerSample);
    const auto rate = static_cast<uint32_t>(sampleRate);

    std::string out;
    out.reserve(44 + dataBytes);
    out += "RIFF";
    putLittleEndian(out, 36 + dataBytes, 4);
    out += "WAVE";
    out += "fmt ";
    putLittleEndian(out, 16, 4);
    putLittleEndian(out, 1, 2);  // PCM
    putLittleEndian(out, kChannels, 2);
    putLittleEndian(out, rate, 4);
    putLittleEndian(out, rate * kChannels * kBytesPerSample, 4);
    putLittleEndian(out, kChannels * kBytesPerSample, 2);
    putLittleEndian(out, 8 * kBytesPerSample, 2);
    out += "data";
    putLittleEndian(out, dataBytes, 4);
    for (int16_t sample : samples) {
        putLittleEndian(out, static_cast<uint16_t>(sample), 2);
    }

    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) {
        return false;
    }
    file.write(out.data(), static_cast<std::streamsize>(out.size()));
    file.close();
    return static_cast<bool>(file);
}

}  // namespace velkora
