#include "checker/decode/JisConversion.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <string>

namespace velkora {
namespace {

using Bytes = std::array<std::uint8_t, 2>;

std::string sjis(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) {
        s += static_cast<char>(b);
    }
    return s;
}

std::optional<Bytes> pair(int h, int l) {
    return jisPairToSjis(static_cast<std::uint8_t>(h), static_cast<std::uint8_t>(l));
}

const std::string kEsc = "\x1b";
const std::string kStart = kEsc + "$B";
const std::string kAscii = kEsc + "(B";
const std::string kRoman = kEsc + "(J";
const std::string kKo = sjis({0x82, 0xB1});  // "こ", JIS "$3"
const std::string kN = sjis({0x82, 0xF1});   // "ん", JIS "$s"

TEST(JisPairToSjis, AgreesWithIconvOnEveryAssignedPositionAndStaysInRange) {
    iconv_t cd = iconv_open("CP932", "ISO-2022-JP");
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
    int compared = 0;
    std::set<Bytes> seen;
    for (int h = 0x21; h <= 0x7E; ++h) {
        for (int l = 0x21; l <= 0x7E; ++l) {
            const auto result = pair(h, l);
            ASSERT_TRUE(result.has_value()) << std::hex << h << " " << l;
            const int lead = (*result)[0];
            const int trail = (*result)[1];
            EXPECT_TRUE((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xEF)) << lead;
            EXPECT_TRUE((trail >= 0x40 && trail <= 0x7E) || (trail >= 0x80 && trail <= 0xFC));
            EXPECT_TRUE(seen.insert(*result).second) << std::hex << h << " " << l;  // no sharing

            std::string in = kStart + static_cast<char>(h) + static_cast<char>(l) + kAscii;
            char out[16];
            char* src = in.data();
            char* dst = out;
            size_t srcLeft = in.size();
            size_t dstLeft = sizeof out;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1)) {
                EXPECT_EQ(std::string(out, static_cast<size_t>(dst - out)), sjis({lead, trail}))
                    << std::hex << h << " " << l;
                ++compared;
            }
        }
    }
    iconv_close(cd);
    // JIS X 0208 assigns 6879 characters; glibc must have converted nearly all of them, or the
    // comparison above proved little.
    EXPECT_GT(compared, 6800);
}

TEST(JisPairToSjis, WorkedExamplesControlBytesAndDroppedPairs) {
    const std::pair<Bytes, std::optional<Bytes>> cases[] = {
        {{0x24, 0x33}, Bytes{0x82, 0xB1}},
        {{0x23, 0x30}, Bytes{0x82, 0x4F}},
        {{0x30, 0x21}, Bytes{0x88, 0x9F}},
        {{0x21, 0x60}, Bytes{0x81, 0x80}},
        {{0x5F, 0x21}, Bytes{0xE0, 0x40}},
        {{0x7E, 0x7E}, Bytes{0xEF, 0xFC}},
        {{0x22, 0x20}, Bytes{0x81, 0x9E}},
        {{0x21, 0x20}, std::nullopt},
        // Control bytes pass through as they are.
        {{0x0D, 0x0A}, Bytes{0x0D, 0x0A}},
        {{0x41, 0x09}, Bytes{0x41, 0x09}},
        {{0x09, 0xFF}, Bytes{0x09, 0xFF}},
        // A space as first byte, DEL or 8-bit bytes: dropped.
        {{0x20, 0x41}, std::nullopt},
        {{0x7F, 0x21}, std::nullopt},
        {{0x21, 0x7F}, std::nullopt},
        {{0xA4, 0xA2}, std::nullopt},
        {{0x30, 0x9F}, std::nullopt},
    };
    for (const auto& [in, expected] : cases) {
        EXPECT_EQ(pair(in[0], in[1]), expected) << std::hex << +in[0] << " " << +in[1];
    }
}

TEST(ConvertJisText, CopiesPlainTextAndConvertsSegmentsInPlace) {
    EXPECT_EQ(convertJisText("", kAscii), "");
    EXPECT_EQ(convertJisText("plain text\r\n", kAscii), "plain text\r\n");
    // Not start sequences: the old JIS C 6226 one, half-width katakana, SO / SI.
    const std::string old = "a" + kEsc + "$@$3" + kAscii + "b" + kEsc + "(I1\x0e\x0f";
    EXPECT_EQ(convertIso2022JpText(old), old);

    EXPECT_EQ(convertJisText("abc" + kStart + "$3$s" + kAscii + "def", kAscii),
              "abc" + kKo + kN + "def");
    EXPECT_EQ(convertJisText("<" + kStart + "$3" + kAscii + " mid " + kStart + "$s" + kAscii + ">",
                             kAscii),
              "<" + kKo + " mid " + kN + ">");
    // Unterminated: converted to the end of the text.
    EXPECT_EQ(convertJisText("x" + kStart + "$3$s", kAscii), "x" + kKo + kN);
    // Odd length loses its last byte, empty segments yield nothing.
    EXPECT_EQ(convertJisText(kStart + "$3$" + kAscii + "z", kAscii), kKo + "z");
    EXPECT_EQ(convertJisText("a" + kStart + kAscii + "b", kAscii), "ab");
    // A line break inside a segment survives as a control pair.
    EXPECT_EQ(convertJisText(kStart + "$3\r\n$s" + kAscii, kAscii), kKo + "\r\n" + kN);
    // An end sequence that closes nothing is ordinary text.
    EXPECT_EQ(convertJisText(kAscii + "a" + kStart + "$3" + kAscii + kAscii, kAscii),
              kAscii + "a" + kKo + kAscii);
    // The last character of both sequences is matched in any case, ESC "$" is not.
    EXPECT_EQ(convertJisText(kEsc + "$b$3" + kEsc + "(bz", kAscii), kKo + "z");
    EXPECT_EQ(convertJisText(kEsc + "$B$3" + kEsc + "(jz", kRoman), kKo + "z");
    EXPECT_EQ(convertJisText(kEsc + "%B$3", kAscii), kEsc + "%B$3");
    // The result ends at the first NUL, also one paired inside a segment.
    EXPECT_EQ(convertJisText(std::string("ab\0cd", 5), kAscii), "ab");
    EXPECT_EQ(convertJisText("a" + kStart + "$3" + std::string("\0!", 2) + "$s", kAscii),
              "a" + kKo);
}

TEST(ConvertJisText, ConvertsEveryPairOfASegmentLikeJisPairToSjis) {
    // All pairs of bytes 0x01..0xFF but ESC, in one segment and pair by pair.
    std::string segment;
    std::string expected;
    for (int h = 1; h <= 0xFF; ++h) {
        for (int l = 1; l <= 0xFF; ++l) {
            if (h != 0x1B && l != 0x1B) {
                segment += sjis({h, l});
                if (auto bytes = pair(h, l)) {
                    expected += sjis({(*bytes)[0], (*bytes)[1]});
                }
            }
        }
    }
    EXPECT_EQ(convertJisText(kStart + segment + kAscii, kAscii), expected);
}

TEST(ConvertIso2022JpText, ChoosesTheEndSequenceByTheWholeText) {
    // Only ESC "(J": runs end there.
    EXPECT_EQ(convertIso2022JpText("a" + kStart + "$3" + kRoman + "b"), "a" + kKo + "b");
    // Any exact ESC "(B" makes it the only end sequence: the run closed by ESC "(J" goes on
    // to the ESC "(B" and takes the bytes in between as pairs (ESC "(" and ESC "$" as control
    // pairs, "Jb" and "B$" as codes, the odd "s" dropped).
    EXPECT_EQ(convertIso2022JpText(kStart + "$3" + kRoman + "b" + kStart + "$s" + kAscii + "c"),
              kKo + sjis({0x1B, 0x28, 0x95, 0xE0, 0x1B, 0x24, 0x91, 0xA2, 'c'}));
    // A lower-case ESC "(b" does not count for the choice, though it closes runs once chosen.
    EXPECT_EQ(convertIso2022JpText(kStart + "$3" + kEsc + "(b" + "x"),
              kKo + sjis({0x1B, 0x28, 0xE1, 0xF6}));
}

}  // namespace
}  // namespace velkora
