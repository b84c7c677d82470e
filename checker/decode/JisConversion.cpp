#include "checker/decode/JisConversion.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace velkora {

namespace {

inline char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

// First occurrence of `sequence` at or after `from`, its last character compared without
// regard to letter case. An empty sequence is found where the search starts.
std::size_t findSequence(std::string_view text, std::size_t from, std::string_view sequence) {
    if (sequence.empty()) {
        return from;
    }
    const std::size_t length = sequence.size();
    const char lastLower = asciiLower(sequence.back());
    const char* const data = text.data();
    const std::size_t size = text.size();
    std::size_t pos = from;
    while (pos + length <= size) {
        // The sequences start with ESC, which is rare in mail text: skip to it directly.
        const void* hit = std::memchr(data + pos, sequence.front(), size - length + 1 - pos);
        if (hit == nullptr) {
            return std::string_view::npos;
        }
        pos = static_cast<std::size_t>(static_cast<const char*>(hit) - data);
        if (std::memcmp(data + pos, sequence.data(), length - 1) == 0 &&
            asciiLower(data[pos + length - 1]) == lastLower) {
            return pos;
        }
        ++pos;
    }
    return std::string_view::npos;
}

// The arithmetic for a pair of bytes of 0x20 and above: the Shift_JIS code as
// lead * 256 + trail, or 0 when the pair is dropped.
constexpr unsigned pairCode(unsigned first, unsigned second) {
    const int row = static_cast<int>(first) - 32;
    int cell = static_cast<int>(second) - 32;
    if (row < 1 || row > 94 || cell > 94) {
        return 0;
    }
    if (row % 2 == 0) {
        cell += 94;
    }
    const int r = (row - 1) / 2;
    const int lead = r <= 30 ? r + 0x81 : r + 0xC1;
    int trail = 0;
    if (cell >= 1 && cell <= 63) {
        trail = cell + 0x3F;
    } else if (cell >= 64 && cell <= 188) {
        trail = cell + 0x40;
    } else {
        return 0;
    }
    return static_cast<unsigned>(lead * 256 + trail);
}

// The lead byte depends on the first byte only, the trail byte on the second byte and on
// whether the row is odd (first byte odd) or even; both tables come from the arithmetic above.
struct PairTables {
    std::array<std::uint8_t, 128> lead{};
    std::array<std::array<std::uint8_t, 128>, 2> trail{};  // [first & 1][second], 0 = dropped
};

constexpr PairTables makePairTables() {
    PairTables tables;
    for (unsigned first = 0x21; first <= 0x7E; ++first) {
        tables.lead[first] = static_cast<std::uint8_t>(pairCode(first, 0x21) >> 8);
    }
    for (unsigned parity = 0; parity < 2; ++parity) {
        const unsigned first = 0x22 + parity;  // an even, resp. odd, row
        for (unsigned second = 0x20; second <= 0x7E; ++second) {
            tables.trail[parity][second] =
                static_cast<std::uint8_t>(pairCode(first, second) & 0xFF);
        }
    }
    return tables;
}

constexpr PairTables kPairTables = makePairTables();

// Converts the pairs of one segment to `out`, returning the new end of the output.
char* convertSegment(const unsigned char* in, std::size_t length, char* out) {
    const unsigned char* const end = in + (length & ~std::size_t{1});
    for (; in != end; in += 2) {
        const unsigned first = in[0];
        const unsigned second = in[1];
        if (first >= 0x21 && first <= 0x7E && second >= 0x20 && second <= 0x7E) {
            const std::uint8_t trail = kPairTables.trail[first & 1][second];
            if (trail != 0) {
                *out++ = static_cast<char>(kPairTables.lead[first]);
                *out++ = static_cast<char>(trail);
            }
        } else if (auto bytes = jisPairToSjis(static_cast<std::uint8_t>(first),
                                              static_cast<std::uint8_t>(second))) {
            *out++ = static_cast<char>((*bytes)[0]);
            *out++ = static_cast<char>((*bytes)[1]);
        }
    }
    return out;
}

}  // namespace

std::optional<std::array<std::uint8_t, 2>> jisPairToSjis(std::uint8_t first, std::uint8_t second) {
    if (first < 0x20 || second < 0x20) {
        return std::array<std::uint8_t, 2>{first, second};
    }
    const unsigned code = pairCode(first, second);
    if (code == 0) {
        return std::nullopt;
    }
    return std::array<std::uint8_t, 2>{static_cast<std::uint8_t>(code >> 8),
                                       static_cast<std::uint8_t>(code & 0xFF)};
}

std::string convertJisText(std::string_view text, std::string_view endSequence) {
    // Nothing grows: text outside segments is copied, a pair gives at most two bytes and the
    // sequences themselves are dropped.
    std::string out(text.size(), '\0');
    const auto* const in = reinterpret_cast<const unsigned char*>(text.data());
    char* o = out.data();
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t start = findSequence(text, pos, kJisStartSequence);
        if (start == std::string_view::npos) {
            break;
        }
        o = std::copy(text.data() + pos, text.data() + start, o);
        const std::size_t segmentBegin = start + kJisStartSequence.size();
        const std::size_t end = findSequence(text, segmentBegin, endSequence);
        const std::size_t segmentEnd = end == std::string_view::npos ? text.size() : end;
        o = convertSegment(in + segmentBegin, segmentEnd - segmentBegin, o);
        pos = end == std::string_view::npos ? text.size() : end + endSequence.size();
    }
    if (pos < text.size()) {
        o = std::copy(text.data() + pos, text.data() + text.size(), o);
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    if (const std::size_t nul = out.find('\0'); nul != std::string::npos) {
        out.resize(nul);
    }
    return out;
}

std::string convertIso2022JpText(std::string_view text) {
    const bool closesWithAscii = text.find(kJisAsciiEnd) != std::string_view::npos;
    return convertJisText(text, closesWithAscii ? kJisAsciiEnd : kJisRomanEnd);
}

}  // namespace velkora
