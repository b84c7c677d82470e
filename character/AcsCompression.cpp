#include "character/AcsCompression.h"

#include <algorithm>
#include <array>

namespace velkora {

namespace {

constexpr std::array<int, 4> kOffsetBits = {6, 9, 12, 20};
constexpr std::array<uint32_t, 4> kOffsetBase = {1, 65, 577, 4673};
constexpr uint32_t kEndMarker = 0xFFFFF;
constexpr int kMaxLengthPrefix = 12;

class BitReader {
public:
    explicit BitReader(std::span<const uint8_t> data) : data_(data) {}

    // False once the stream is exhausted.
    bool read(int count, uint32_t& value) {
        value = 0;
        for (int i = 0; i < count; ++i) {
            if (byte_ >= data_.size()) {
                return false;
            }
            value |= static_cast<uint32_t>((data_[byte_] >> bit_) & 1u) << i;
            if (++bit_ == 8) {
                bit_ = 0;
                ++byte_;
            }
        }
        return true;
    }

private:
    std::span<const uint8_t> data_;
    std::size_t byte_ = 0;
    int bit_ = 0;
};

class BitWriter {
public:
    void write(uint32_t value, int count) {
        for (int i = 0; i < count; ++i) {
            if (bit_ == 0) {
                bytes_.push_back(0);
            }
            bytes_.back() = static_cast<uint8_t>(bytes_.back() | (((value >> i) & 1u) << bit_));
            bit_ = (bit_ + 1) % 8;
        }
    }
    std::vector<uint8_t> take() { return std::move(bytes_); }

private:
    std::vector<uint8_t> bytes_{0};  // the stream's leading 0x00 byte
    int bit_ = 0;
};

}  // namespace

AcsDecompressResult decompressAcs(std::span<const uint8_t> data, std::size_t expectedSize) {
    AcsDecompressResult result;
    if (data.empty()) {
        result.error = "圧縮データが空です";
        return result;
    }
    std::vector<uint8_t>& out = result.bytes;
    // The most one byte of stream can give: a copy token of 32 bits and 8193 bytes.
    out.reserve(std::min(expectedSize, data.size() * 2100));
    BitReader bits(data.subspan(1));
    const auto truncated = [&result] {
        result.bytes.clear();
        result.error = "圧縮データが途中で切れています";
        return result;
    };
    while (out.size() < expectedSize) {
        uint32_t flag = 0;
        if (!bits.read(1, flag)) {
            return truncated();
        }
        if (flag == 0) {
            uint32_t literal = 0;
            if (!bits.read(8, literal)) {
                return truncated();
            }
            out.push_back(static_cast<uint8_t>(literal));
            continue;
        }
        std::size_t offsetClass = 0;
        uint32_t more = 1;
        while (offsetClass < 3) {
            if (!bits.read(1, more)) {
                return truncated();
            }
            if (more == 0) {
                break;
            }
            ++offsetClass;
        }
        uint32_t field = 0;
        if (!bits.read(kOffsetBits[offsetClass], field)) {
            return truncated();
        }
        if (offsetClass == 3 && field == kEndMarker) {
            result.bytes.clear();
            result.error = "圧縮データが画像の大きさに足りません";
            return result;
        }
        const std::size_t offset = field + kOffsetBase[offsetClass];
        int prefix = 0;
        while (prefix < kMaxLengthPrefix) {
            uint32_t one = 0;
            if (!bits.read(1, one)) {
                return truncated();
            }
            if (one == 0) {
                break;
            }
            ++prefix;
        }
        uint32_t extra = 0;
        if (!bits.read(prefix, extra)) {
            return truncated();
        }
        std::size_t length = (std::size_t{1} << prefix) + extra + 1 + (offsetClass == 3 ? 1 : 0);
        if (offset > out.size()) {
            result.bytes.clear();
            result.error = "圧縮データが範囲外を参照しています";
            return result;
        }
        // Byte by byte: a copy may overlap what it writes. What runs past the image is dropped.
        length = std::min(length, expectedSize - out.size());
        for (std::size_t i = 0; i < length; ++i) {
            out.push_back(out[out.size() - offset]);
        }
    }
    return result;
}

namespace {

constexpr std::size_t kMaxOffset = kOffsetBase[3] + kEndMarker - 1;
constexpr std::size_t kMaxLength = 8192;  // 8193 with a 20-bit offset; kept simple
constexpr std::size_t kHashBits = 15;
constexpr int kMaxChain = 48;

std::size_t offsetClassOf(std::size_t offset) {
    if (offset < kOffsetBase[1]) {
        return 0;
    }
    if (offset < kOffsetBase[2]) {
        return 1;
    }
    if (offset < kOffsetBase[3]) {
        return 2;
    }
    return 3;
}

std::size_t minimumLength(std::size_t offset) {
    return offsetClassOf(offset) == 3 ? 3 : 2;
}

void writeMatch(BitWriter& bits, std::size_t offset, std::size_t length) {
    const std::size_t offsetClass = offsetClassOf(offset);
    bits.write(1, 1);
    for (std::size_t i = 0; i < offsetClass; ++i) {
        bits.write(1, 1);
    }
    if (offsetClass < 3) {
        bits.write(0, 1);
    }
    bits.write(static_cast<uint32_t>(offset - kOffsetBase[offsetClass]), kOffsetBits[offsetClass]);
    // length = 2^k + v + 1 (+1 for 20-bit offsets)
    const std::size_t rest = length - 1 - (offsetClass == 3 ? 1 : 0);
    int prefix = 0;
    while ((std::size_t{2} << prefix) <= rest) {
        ++prefix;
    }
    for (int i = 0; i < prefix; ++i) {
        bits.write(1, 1);
    }
    if (prefix < kMaxLengthPrefix) {
        bits.write(0, 1);
    }
    bits.write(static_cast<uint32_t>(rest - (std::size_t{1} << prefix)), prefix);
}

uint32_t hash3(const uint8_t* p) {
    const uint32_t v = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                       static_cast<uint32_t>(p[2]) << 16;
    return (v * 2654435761u) >> (32 - kHashBits);
}

}  // namespace

std::vector<uint8_t> compressAcs(std::span<const uint8_t> data) {
    BitWriter bits;
    const std::size_t n = data.size();
    std::vector<int64_t> head(std::size_t{1} << kHashBits, -1);
    std::vector<int64_t> previous(n, -1);
    const auto insert = [&](std::size_t pos) {
        if (pos + 3 <= n) {
            const uint32_t h = hash3(data.data() + pos);
            previous[pos] = head[h];
            head[h] = static_cast<int64_t>(pos);
        }
    };
    std::size_t pos = 0;
    while (pos < n) {
        std::size_t bestLength = 0;
        std::size_t bestOffset = 0;
        // A run of one byte repeated is the commonest match in a picture: offset 1.
        if (pos > 0) {
            std::size_t length = 0;
            while (pos + length < n && length < kMaxLength &&
                   data[pos + length] == data[pos - 1 + length]) {
                ++length;
            }
            if (length >= 2) {
                bestLength = length;
                bestOffset = 1;
            }
        }
        if (pos + 3 <= n) {
            int64_t candidate = head[hash3(data.data() + pos)];
            for (int chain = 0; candidate >= 0 && chain < kMaxChain; ++chain) {
                const std::size_t offset = pos - static_cast<std::size_t>(candidate);
                if (offset > kMaxOffset) {
                    break;
                }
                std::size_t length = 0;
                while (pos + length < n && length < kMaxLength &&
                       data[static_cast<std::size_t>(candidate) + length] == data[pos + length]) {
                    ++length;
                }
                if (length > bestLength && length >= minimumLength(offset)) {
                    bestLength = length;
                    bestOffset = offset;
                }
                candidate = previous[static_cast<std::size_t>(candidate)];
            }
        }
        if (bestLength >= 2 && bestLength >= minimumLength(bestOffset)) {
            writeMatch(bits, bestOffset, bestLength);
            for (std::size_t i = 0; i < bestLength; ++i) {
                insert(pos + i);
            }
            pos += bestLength;
        } else {
            bits.write(0, 1);
            bits.write(data[pos], 8);
            insert(pos);
            ++pos;
        }
    }
    // The end marker: a copy with a 20-bit offset field of all ones.
    bits.write(0xF, 4);
    bits.write(kEndMarker, 20);
    return bits.take();
}

}  // namespace velkora
