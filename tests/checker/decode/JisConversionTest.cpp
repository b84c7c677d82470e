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

const std::string kEsc = "\x1b";
const std::string kStart = kEsc + "$B";
const std::string kAscii = kEsc + "(B";
const std::string kRoman = kEsc + "(J";

// glibc's converter from ISO-2022-JP to code page 932, for one JIS X 0208 position.
class IconvJisToCp932 {
public:
    IconvJisToCp932() : cd_(iconv_open("CP932", "ISO-2022-JP")) {}
    ~IconvJisToCp932() {
        if (ok()) {
            iconv_close(cd_);
        }
    }
    IconvJisToCp932(const IconvJisToCp932&) = delete;
    IconvJisToCp932& operator=(const IconvJisToCp932&) = delete;

    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    std::optional<std::string> convert(std::uint8_t h, std::uint8_t l) {
        std::string in = kStart + static_cast<char>(h) + static_cast<char>(l) + kAscii;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char out[16];
        char* src = in.data();
        size_t srcLeft = in.size();
        char* dst = out;
        size_t dstLeft = sizeof out;
        if (iconv(cd_, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1)) {
            return std::nullopt;
        }
        return std::string(out, static_cast<size_t>(dst - out));
    }

private:
    iconv_t cd_;
};

bool isLead(int b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xEF);
}
bool isTrail(int b) {
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

TEST(JisPairToSjis, AgreesWithIconvOnEveryAssignedPositionAndStaysInRange) {
    IconvJisToCp932 reference;
    ASSERT_TRUE(reference.ok());
    int compared = 0;
    std::set<Bytes> seen;
    for (int h = 0x21; h <= 0x7E; ++h) {
        for (int l = 0x21; l <= 0x7E; ++l) {
            const auto first = static_cast<std::uint8_t>(h);
            const auto second = static_cast<std::uint8_t>(l);
            const auto result = jisPairToSjis(first, second);
            ASSERT_TRUE(result.has_value()) << std::hex << h << " " << l;
            EXPECT_TRUE(isLead((*result)[0])) << std::hex << h << " " << l;
            EXPECT_TRUE(isTrail((*result)[1])) << std::hex << h << " " << l;
            // Distinct positions never share a code.
            EXPECT_TRUE(seen.insert(*result).second) << std::hex << h << " " << l;
            if (auto expected = reference.convert(first, second)) {
                ASSERT_EQ(expected->size(), 2u) << std::hex << h << " " << l;
                EXPECT_EQ(static_cast<std::uint8_t>((*expected)[0]), (*result)[0])
                    << std::hex << h << " " << l;
                EXPECT_EQ(static_cast<std::uint8_t>((*expected)[1]), (*result)[1])
                    << std::hex << h << " " << l;
                ++compared;
            }
        }
    }
    // JIS X 0208 assigns 6879 characters; glibc must have converted nearly all of them, or the
    // comparison above proved little.
    EXPECT_GT(compared, 6800);
}

TEST(JisPairToSjis, FollowsTheArithmeticAtItsBoundaries) {
    struct Case {
        int h, l;
        std::optional<Bytes> expected;
    };
    const Case cases[] = {
        {0x24, 0x33, Bytes{0x82, 0xB1}},
        {0x23, 0x30, Bytes{0x82, 0x4F}},
        {0x30, 0x21, Bytes{0x88, 0x9F}},
        {0x21, 0x60, Bytes{0x81, 0x80}},
        {0x5F, 0x21, Bytes{0xE0, 0x40}},
        {0x7E, 0x7E, Bytes{0xEF, 0xFC}},
        {0x22, 0x20, Bytes{0x81, 0x9E}},
        {0x21, 0x20, std::nullopt},
        // Last lead byte before the gap, and the cell that skips 0x7F.
        {0x5E, 0x7E, Bytes{0x9F, 0xFC}},
        {0x21, 0x5F, Bytes{0x81, 0x7E}},
        // Control bytes pass through as they are.
        {0x0D, 0x0A, Bytes{0x0D, 0x0A}},
        {0x41, 0x09, Bytes{0x41, 0x09}},
        {0x09, 0xFF, Bytes{0x09, 0xFF}},
        // A space as first byte, DEL or 8-bit bytes: dropped.
        {0x20, 0x41, std::nullopt},
        {0x7F, 0x21, std::nullopt},
        {0x21, 0x7F, std::nullopt},
        {0xA4, 0xA2, std::nullopt},
        {0x30, 0x9F, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(jisPairToSjis(static_cast<std::uint8_t>(c.h), static_cast<std::uint8_t>(c.l)),
                  c.expected)
            << std::hex << c.h << " " << c.l;
    }
}

TEST(ConvertJisText, CopiesPlainTextAndConvertsSegmentsInPlace) {
    EXPECT_EQ(convertJisText("", kAscii), "");
    EXPECT_EQ(convertJisText("plain text\r\n", kAscii), "plain text\r\n");
    // Not start sequences: the old JIS C 6226 one, half-width katakana, SO / SI.
    const std::string old = "a" + kEsc + "$@$3" + kAscii + "b" + kEsc + "(I1\x0e\x0f";
    EXPECT_EQ(convertIso2022JpText(old), old);

    EXPECT_EQ(convertJisText("abc" + kStart + "$3$s" + kAscii + "def", kAscii),
              "abc" + sjis({0x82, 0xB1, 0x82, 0xF1}) + "def");
    EXPECT_EQ(convertJisText("<" + kStart + "$3" + kAscii + " mid " + kStart + "$s" + kAscii + ">",
                             kAscii),
              "<" + sjis({0x82, 0xB1}) + " mid " + sjis({0x82, 0xF1}) + ">");
    // Unterminated: converted to the end of the text.
    EXPECT_EQ(convertJisText("x" + kStart + "$3$s", kAscii), "x" + sjis({0x82, 0xB1, 0x82, 0xF1}));
    // Odd length loses its last byte, empty segments yield nothing.
    EXPECT_EQ(convertJisText(kStart + "$3$" + kAscii + "z", kAscii), sjis({0x82, 0xB1}) + "z");
    EXPECT_EQ(convertJisText("a" + kStart + kAscii + "b", kAscii), "ab");
    // A line break inside a segment survives as a control pair.
    EXPECT_EQ(convertJisText(kStart + "$3\r\n$s" + kAscii, kAscii),
              sjis({0x82, 0xB1}) + "\r\n" + sjis({0x82, 0xF1}));
    // An end sequence that closes nothing is ordinary text.
    EXPECT_EQ(convertJisText(kAscii + "a" + kStart + "$3" + kAscii + kAscii, kAscii),
              kAscii + "a" + sjis({0x82, 0xB1}) + kAscii);
}

TEST(ConvertJisText, ConvertsEveryPairOfASegmentLikeJisPairToSjis) {
    // All pairs of bytes 0x01..0xFF but ESC, in one segment and pair by pair.
    std::string segment;
    std::string expected;
    for (int h = 1; h <= 0xFF; ++h) {
        for (int l = 1; l <= 0xFF; ++l) {
            if (h == 0x1B || l == 0x1B) {
                continue;
            }
            segment += static_cast<char>(h);
            segment += static_cast<char>(l);
            if (auto bytes =
                    jisPairToSjis(static_cast<std::uint8_t>(h), static_cast<std::uint8_t>(l))) {
                expected += static_cast<char>((*bytes)[0]);
                expected += static_cast<char>((*bytes)[1]);
            }
        }
    }
    EXPECT_EQ(convertJisText(kStart + segment + kAscii, kAscii), expected);
}

TEST(ConvertJisText, MatchesTheLastCharacterOfBothSequencesInAnyCase) {
    EXPECT_EQ(convertJisText(kEsc + "$b$3" + kEsc + "(bz", kAscii), sjis({0x82, 0xB1}) + "z");
    EXPECT_EQ(convertJisText(kEsc + "$B$3" + kEsc + "(jz", kRoman), sjis({0x82, 0xB1}) + "z");
    // Only the last character is free: ESC "$" must stay as it is.
    EXPECT_EQ(convertJisText(kEsc + "%B$3", kAscii), kEsc + "%B$3");
}

TEST(ConvertJisText, CutsTheResultAtTheFirstNul) {
    EXPECT_EQ(convertJisText(std::string("ab\0cd", 5), kAscii), "ab");
    // A NUL paired inside a segment passes as a control pair, then the cut applies.
    EXPECT_EQ(convertJisText("a" + kStart + "$3" + std::string("\0!", 2) + "$s", kAscii),
              "a" + sjis({0x82, 0xB1}));
}

TEST(ConvertIso2022JpText, ChoosesTheEndSequenceByTheWholeText) {
    // Only ESC "(J": runs end there.
    EXPECT_EQ(convertIso2022JpText("a" + kStart + "$3" + kRoman + "b"),
              "a" + sjis({0x82, 0xB1}) + "b");
    // Any exact ESC "(B" makes it the only end sequence: the run closed by ESC "(J" goes on
    // to the ESC "(B" and takes the bytes in between as pairs (ESC "(" and ESC "$" as control
    // pairs, "Jb" and "B$" as codes, the odd "s" dropped).
    const std::string mixed = kStart + "$3" + kRoman + "b" + kStart + "$s" + kAscii + "c";
    EXPECT_EQ(convertIso2022JpText(mixed),
              sjis({0x82, 0xB1, 0x1B, 0x28, 0x95, 0xE0, 0x1B, 0x24, 0x91, 0xA2, 'c'}));
    // A lower-case ESC "(b" does not count for the choice, though it closes runs once chosen.
    EXPECT_EQ(convertIso2022JpText(kStart + "$3" + kEsc + "(b" + "x"),
              convertJisText(kStart + "$3" + kEsc + "(b" + "x", kRoman));
    EXPECT_EQ(convertIso2022JpText(kStart + "$3" + kEsc + "(b" + "x"),
              sjis({0x82, 0xB1, 0x1B, 0x28, 0xE1, 0xF6}));
}

}  // namespace
}  // namespace velkora
