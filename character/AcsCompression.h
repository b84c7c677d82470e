#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace velkora {

// The character file's own compression (an LZ77 variant with a bit stream read least
// significant bit first; not zlib).
//
// Stream: one 0x00 byte, then tokens. Bit 0: a literal, the next 8 bits. Bit 1: a copy from
// earlier output. Up to three further 1 bits choose the offset field's width, 6, 9, 12 or 20
// bits, whose value is added to 1, 65, 577 or 4673; a 20-bit field of all ones ends the
// stream. Then the length: k one bits (at most 12) ended by a 0 (none after the twelfth), k
// bits of value v, length 2^k + v + 1, one more with a 20-bit offset. Copies may overlap
// their own output.

struct AcsDecompressResult {
    std::vector<uint8_t> bytes;
    std::string error;  // empty on success
    bool ok() const { return error.empty(); }
};

// Decompresses a stream that must produce exactly `expectedSize` bytes. Refused (with the
// reason) when the stream ends, or reaches its end marker, before that many bytes, or refers
// back past the start of the output. A stream that goes on after the last byte is accepted,
// as are streams of literals only. Never reads outside `data`; time is linear in its size.
AcsDecompressResult decompressAcs(std::span<const uint8_t> data, std::size_t expectedSize);

// Compresses bytes into a stream that decompressAcs reads back, ending with the end marker.
std::vector<uint8_t> compressAcs(std::span<const uint8_t> data);

}  // namespace velkora
