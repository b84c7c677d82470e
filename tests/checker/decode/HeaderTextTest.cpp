#include "checker/decode/HeaderText.h"

#include <gtest/gtest.h>

#include <string>

#include "checker/decode/Charset.h"

namespace velkora {
namespace {

TEST(DecodeHeaderText, DecodesWordsOfEveryCharsetInBothEncodings) {
    // "件名" in UTF-8 (B and Q), Shift_JIS, EUC-JP; "é" in ISO-8859-1; markers in any case.
    EXPECT_EQ(decodeHeaderText("=?UTF-8?B?5Lu25ZCN?="), "件名");
    EXPECT_EQ(decodeHeaderText("=?utf-8?q?=E4=BB=B6=e5=90=8d_x?="), "件名 x");
    EXPECT_EQ(decodeHeaderText("=?Shift_JIS?B?jI+WvA==?="), "件名");
    EXPECT_EQ(decodeHeaderText("=?euc-jp?b?t+/Mvg==?="), "件名");
    EXPECT_EQ(decodeHeaderText("caf=?ISO-8859-1?Q?=E9?="), "café");
    EXPECT_EQ(decodeHeaderText("=?UTF-8*ja?B?5Lu25ZCN?="), "件名");  // RFC 2231 language
    // ISO-2022-JP "Q" text takes the old conversion as "B" text does.
    EXPECT_EQ(decodeHeaderText("=?ISO-2022-JP?Q?=1B$B7oL>=1B(B?="), "件名");
}

TEST(DecodeHeaderText, JoinsAdjacentWordsAndTheCharactersSplitBetweenThem) {
    // "日本" split inside its second character over two words, with and without a space.
    EXPECT_EQ(decodeHeaderText("=?UTF-8?B?5pel5pw=?= =?UTF-8?B?rA==?="), "日本");
    EXPECT_EQ(decodeHeaderText("=?UTF-8?B?5pel5pw=?==?utf-8?Q?=AC?="), "日本");
    // Adjacent words of different charsets lose the space as well; text keeps its spaces.
    EXPECT_EQ(decodeHeaderText("=?ISO-2022-JP?B?GyRCJCIbKEI=?=  =?UTF-8?B?44GE?="), "あい");
    EXPECT_EQ(decodeHeaderText("Re: =?UTF-8?B?44GC?= (2)"), "Re: あ (2)");
}

TEST(DecodeHeaderText, ReadsRawTextAsUtf8WhenItIsElseAsCodePage932) {
    EXPECT_EQ(decodeHeaderText("メール =?UTF-8?B?44GC?="), "メール あ");
    EXPECT_EQ(decodeHeaderText("\x83\x81\x81\x5b\x83\x8b"), "メール");  // Shift_JIS bytes
    // An unknown charset's bytes are raw text too.
    EXPECT_EQ(decodeHeaderText("=?x-unknown?B?44GC?="), "あ");
}

TEST(DecodeHeaderText, ShowsWhatIsNoWordAsWritten) {
    EXPECT_EQ(decodeHeaderText("=?UTF-8?X?abc?= =?UTF-8?B?abc"), "=?UTF-8?X?abc?= =?UTF-8?B?abc");
    EXPECT_EQ(decodeHeaderText("a =??B?QQ==?= b"), "a =??B?QQ==?= b");
    // A byte that is no UTF-8 character becomes '?'.
    EXPECT_EQ(decodeHeaderText("=?UTF-8?Q?a=FFb?="), "a?b");
}

TEST(CharsetTextToUtf8, TextFullOfBadBytesConvertsWhole) {
    // As for code page 932: megabytes of bytes that are no character of the charset.
    const std::size_t size = 4 * 1024 * 1024;
    EXPECT_EQ(charsetTextToUtf8(std::string(size, '\xFF'), "euc-jp"), std::string(size, '?'));
    EXPECT_EQ(legacyTextToUtf8(std::string(size, '\xFF')), std::string(size, '?'));
}

TEST(CharsetTextToUtf8, DropsOnlyACharacterCutByTheEndOfAReply) {
    EXPECT_EQ(charsetTextToUtf8("\xE6\x97\xA5\xE6\x9C", "utf-8", TextEnd::MayBeCut), "日");
    EXPECT_EQ(charsetTextToUtf8("\xE6\x97\xA5\xE6\x9C", "utf-8", TextEnd::Complete), "日?");
    EXPECT_EQ(charsetTextToUtf8("\xE6\x97\xA5\xE6\x9C", "", TextEnd::MayBeCut), "日");
    EXPECT_EQ(charsetTextToUtf8(std::string("a\0b", 3), "utf-8"), "ab");
}

}  // namespace
}  // namespace velkora
