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

namespace {

uint32_t le(std::span<const uint8_t> b, std::size_t at, int size) {
    uint32_t v = 0;
    for (int i = size - 1; i >= 0; --i) {
        v = v << 8 | b[at + static_cast<std::size_t>(i)];
    }
    return v;
}

bool tagIs(std::span<const uint8_t> b, std::size_t at, const char* tag) {
    for (int i = 0; i < 4; ++i) {
        if (b[at + static_cast<std::size_t>(i)] != static_cast<uint8_t>(tag[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<WaveData> parseWave(std::span<const uint8_t> file) {
    if (file.size() < 12 || !tagIs(file, 0, "RIFF") || !tagIs(file, 8, "WAVE")) {
        return std::nullopt;
    }
    std::optional<WaveData> format;
    std::size_t at = 12;
    while (at + 8 <= file.size()) {
        const std::size_t size = le(file, at + 4, 4);
        const std::size_t body = at + 8;
        if (size > file.size() - body) {
            return std::nullopt;
        }
        if (tagIs(file, at, "fmt ") && size >= 16) {
            if (le(file, body, 2) != 1) {
                return std::nullopt;  // not PCM
            }
            WaveData data;
            data.channels = static_cast<int>(le(file, body + 2, 2));
            data.sampleRate = static_cast<int>(le(file, body + 4, 4));
            data.bitsPerSample = static_cast<int>(le(file, body + 14, 2));
            if ((data.channels != 1 && data.channels != 2) ||
                (data.bitsPerSample != 8 && data.bitsPerSample != 16) || data.sampleRate < 1000 ||
                data.sampleRate > 192000) {
                return std::nullopt;
            }
            format = data;
        } else if (tagIs(file, at, "data")) {
            if (!format) {
                return std::nullopt;
            }
            format->samples = file.subspan(body, size);
            return format;
        }
        // Chunks are padded to an even length.
        at = body + size + (size % 2);
    }
    return std::nullopt;
}

}  // namespace velkora
