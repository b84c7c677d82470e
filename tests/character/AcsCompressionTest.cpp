#include <gtest/gtest.h>

#include <random>
#include <string>
#include <variant>

#include "character/AcsCompression.h"

namespace velkora {
namespace {

struct Literal {
    uint8_t byte;
};
struct Copy {
    uint32_t offset;
    uint32_t length;
};
struct End {};
using Token = std::variant<Literal, Copy, End>;

// An encoder of its own, token by token, written from the format's description so that the
// decompressor is not only checked against the writer's encoder.
std::vector<uint8_t> encode(const std::vector<Token>& tokens) {
    std::vector<uint8_t> out{0x00};
    int bit = 8;
    const auto put = [&](uint32_t value, int count) {
        for (int i = 0; i < count; ++i) {
            if (bit == 8) {
                out.push_back(0);
                bit = 0;
            }
            out.back() = static_cast<uint8_t>(out.back() | ((value >> i) & 1u) << bit);
            ++bit;
        }
    };
    const auto copy = [&](int ones, int width, uint32_t field, uint32_t lengthValue) {
        put(1, 1);
        put((1u << ones) - 1, ones);
        if (ones < 3) {
            put(0, 1);
        }
        put(field, width);
        int k = 0;
        while ((2u << k) <= lengthValue - 1) {
            ++k;
        }
        put((1u << k) - 1, k);
        if (k < 12) {
            put(0, 1);
        }
        put(lengthValue - 1 - (1u << k), k);
    };
    for (const Token& token : tokens) {
        if (const auto* literal = std::get_if<Literal>(&token)) {
            put(0, 1);
            put(literal->byte, 8);
        } else if (const auto* c = std::get_if<Copy>(&token)) {
            if (c->offset <= 64) {
                copy(0, 6, c->offset - 1, c->length);
            } else if (c->offset <= 576) {
                copy(1, 9, c->offset - 65, c->length);
            } else if (c->offset <= 4672) {
                copy(2, 12, c->offset - 577, c->length);
            } else {
                copy(3, 20, c->offset - 4673, c->length - 1);
            }
        } else {
            put(0xF, 4);
            put(0xFFFFF, 20);
        }
    }
    return out;
}

// Applies the tokens directly: what the stream must decompress to.
std::vector<uint8_t> apply(const std::vector<Token>& tokens) {
    std::vector<uint8_t> out;
    for (const Token& token : tokens) {
        if (const auto* literal = std::get_if<Literal>(&token)) {
            out.push_back(literal->byte);
        } else if (const auto* c = std::get_if<Copy>(&token)) {
            for (uint32_t i = 0; i < c->length; ++i) {
                out.push_back(out[out.size() - c->offset]);
            }
        }
    }
    return out;
}

std::vector<Token> literals(std::size_t count, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<Token> tokens;
    for (std::size_t i = 0; i < count; ++i) {
        tokens.push_back(Literal{static_cast<uint8_t>(random())});
    }
    return tokens;
}

TEST(AcsCompressionTest, EveryOffsetWidthAndLengthClassDecodes) {
    // Enough distinct bytes first that the longest 20-bit offsets have something to refer to.
    std::vector<Token> tokens = literals(12000, 7);
    for (uint32_t offset : {1u, 2u, 64u, 65u, 300u, 576u, 577u, 4000u, 4672u, 4673u, 9000u}) {
        // Every length prefix k = 0..12, at the smallest and the largest value of each class.
        for (int k = 0; k <= 12; ++k) {
            const uint32_t extra = offset >= 4673 ? 1 : 0;
            tokens.push_back(Copy{offset, (1u << k) + 1 + extra});
            tokens.push_back(Copy{offset, (2u << k) + extra});
            tokens.push_back(Literal{static_cast<uint8_t>(k)});
        }
    }
    tokens.push_back(End{});
    const std::vector<uint8_t> expected = apply(tokens);
    const AcsDecompressResult result = decompressAcs(encode(tokens), expected.size());
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(result.bytes, expected);
}

TEST(AcsCompressionTest, OverlappingCopiesAndLiteralOnlyStreams) {
    // Offset 1 repeats the last byte; offset 3 repeats a pattern longer than itself.
    const std::vector<Token> runs = {Literal{7}, Copy{1, 100}, Literal{1}, Literal{2},
                                     Literal{3}, Copy{3, 50},  End{}};
    const std::vector<uint8_t> expected = apply(runs);
    ASSERT_EQ(expected.size(), 154u);
    EXPECT_EQ(decompressAcs(encode(runs), expected.size()).bytes, expected);
    // Literals only, with and without the end marker.
    std::vector<Token> plain = literals(33, 3);
    const std::vector<uint8_t> bytes = apply(plain);
    EXPECT_EQ(decompressAcs(encode(plain), bytes.size()).bytes, bytes);
    plain.push_back(End{});
    EXPECT_EQ(decompressAcs(encode(plain), bytes.size()).bytes, bytes);
}

TEST(AcsCompressionTest, DamagedStreamsAreRefused) {
    const std::vector<Token> tokens = {Literal{1}, Literal{2}, Copy{2, 10}, End{}};
    const std::vector<uint8_t> stream = encode(tokens);
    // The end marker before the image is complete.
    EXPECT_FALSE(decompressAcs(stream, 13).ok());
    // Bits run out.
    const std::vector<uint8_t> cut(stream.begin(), stream.begin() + 3);
    EXPECT_FALSE(decompressAcs(cut, 12).ok());
    EXPECT_FALSE(decompressAcs({}, 1).ok());
    // A copy from before the start of the output.
    EXPECT_FALSE(decompressAcs(encode({Literal{1}, Copy{2, 4}}), 5).ok());
    // A copy running past the image is cut at its end, not written beyond it.
    const AcsDecompressResult shortened = decompressAcs(stream, 6);
    ASSERT_TRUE(shortened.ok());
    EXPECT_EQ(shortened.bytes, (std::vector<uint8_t>{1, 2, 1, 2, 1, 2}));
}

TEST(AcsCompressionTest, CompressorOutputReadsBack) {
    std::mt19937 random(99);
    std::vector<std::vector<uint8_t>> inputs;
    inputs.emplace_back();
    inputs.emplace_back(1, 42);
    inputs.emplace_back(20000, 0);
    std::vector<uint8_t> noise(5000);
    for (auto& b : noise) {
        b = static_cast<uint8_t>(random());
    }
    inputs.push_back(noise);
    // The same noise again 10 000 bytes later: only a 20-bit offset reaches it.
    std::vector<uint8_t> far = noise;
    far.resize(15000, 9);
    far.insert(far.end(), noise.begin(), noise.end());
    inputs.push_back(far);
    // A picture-like pattern: rows of runs.
    std::vector<uint8_t> picture;
    for (int y = 0; y < 160; ++y) {
        for (int x = 0; x < 128; ++x) {
            picture.push_back(static_cast<uint8_t>((x / 9 + y / 13) % 5 == 0 ? 0 : 1 + y % 7));
        }
    }
    inputs.push_back(picture);
    for (const auto& input : inputs) {
        const std::vector<uint8_t> stream = compressAcs(input);
        const AcsDecompressResult result = decompressAcs(stream, input.size());
        ASSERT_TRUE(result.ok()) << result.error;
        EXPECT_EQ(result.bytes, input);
    }
    EXPECT_LT(compressAcs(far).size(), far.size() / 2);
    EXPECT_LT(compressAcs(picture).size(), picture.size() / 8);
}

}  // namespace
}  // namespace velkora
