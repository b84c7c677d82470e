#include "common/Cp932.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace velkora::cp932 {
namespace {

TEST(Cp932, ConvertsBothWaysAndRefusesCharactersWithoutCode) {
    // ASCII, half-width katakana (single byte 0xB1), hiragana, a full-width tilde, an NEC
    // special character and a user-defined one from the private use area.
    const std::string utf8 = "aZ\\~ｱあ～①\xEE\x80\x80";
    const std::string bytes = "aZ\\~\xB1\x82\xA0\x81\x60\x87\x40\xF0\x40";
    EXPECT_EQ(fromUtf8(utf8), bytes);
    EXPECT_EQ(fromUtf8Lossy(utf8), bytes);
    EXPECT_EQ(toUtf8(bytes), utf8);
    EXPECT_EQ(toUtf8(""), "");
    // An embedded NUL is a character like any other.
    EXPECT_EQ(fromUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));

    EXPECT_EQ(fromUtf8("abc€"), std::nullopt);
    EXPECT_EQ(fromUtf8("😀"), std::nullopt);
    EXPECT_EQ(fromUtf8("a\xFF"), std::nullopt);      // not UTF-8 at all
    EXPECT_EQ(fromUtf8("a\xE3\x81"), std::nullopt);  // cut in the middle of a character
}

TEST(Cp932, LossyConversionReplacesEachBadCharacterOnce) {
    // A four-byte character without a code is one '?', not four.
    EXPECT_EQ(fromUtf8Lossy("a€b😀c"), "a?b?c");
    // Malformed bytes are replaced one by one and conversion goes on after them.
    EXPECT_EQ(fromUtf8Lossy("a\xFF\xFE"
                            "b"),
              "a??b");
    EXPECT_EQ(fromUtf8Lossy("\xE3\x81"), "??");
    EXPECT_EQ(fromUtf8Lossy("あ\xED\xA0\x80い"), "\x82\xA0???\x82\xA2");  // a surrogate
}

TEST(Cp932, ToUtf8ReplacesOnlyTheByteThatStartsNoCharacter) {
    // 0x80 and 0xA0 start nothing; a lead byte followed by a space loses only the lead byte.
    EXPECT_EQ(toUtf8("a\x80"
                     "b\xA0"
                     "c"),
              "a?b?c");
    EXPECT_EQ(toUtf8("\x82 x"), "? x");
    EXPECT_EQ(toUtf8("x\x82"), "x?");  // a lead byte at the very end
    EXPECT_EQ(toUtf8("\x82\xA0\x82"), "あ?");
    // An unassigned double-byte code is one bad character: its trail byte, here "@", must
    // not come out as text of its own.
    EXPECT_EQ(toUtf8("\x85\x40"
                     "a\xEB\x40\x82\xA0"),
              "?a?あ");
}

TEST(Cp932, LongTextCrossesTheInternalBufferIntact) {
    std::string utf8;
    std::string bytes;
    for (int i = 0; i < 3000; ++i) {
        utf8 += "あa";
        bytes += "\x82\xA0\x61";
    }
    EXPECT_EQ(fromUtf8Lossy(utf8 + "€"), bytes + "?");
    EXPECT_EQ(toUtf8(bytes + "\x80"), utf8 + "?");
}

TEST(Cp932, TextFullOfBadBytesConvertsWhole) {
    // Megabytes of bytes that are no character: a conversion whose work grows with the
    // square of the length would not end within the suite's time limit.
    const std::size_t size = 8 * 1024 * 1024;
    const std::string bad(size, '\xFF');
    EXPECT_EQ(toUtf8(bad), std::string(size, '?'));
    EXPECT_EQ(fromUtf8Lossy(bad), std::string(size, '?'));
    EXPECT_EQ(toUtf8("\x82\xA0" + bad + "\x82\xA0"), "あ" + std::string(size, '?') + "あ");
}

TEST(Cp932, ConvertsFromSeveralThreadsAtOnce) {
    std::vector<int> failures(4, 0);
    {
        std::vector<std::jthread> threads;
        for (int& failed : failures) {
            threads.emplace_back([&failed] {
                for (int i = 0; i < 2000; ++i) {
                    failed += fromUtf8Lossy("件名€") != "\x8C\x8F\x96\xBC?" ||
                              toUtf8("\x8C\x8F\x96\xBC\x80") != "件名?";
                }
            });
        }
    }
    EXPECT_EQ(failures, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace velkora::cp932
