#include "checker/decode/EncodedWords.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace velkora {
namespace {

std::string word(const std::string& base64) {
    return "=?ISO-2022-JP?B?" + base64 + "?=";
}

TEST(DecodeEncodedWords, LeavesTextWithoutRecognisedWordsAlone) {
    for (const std::string& text : {
             std::string(),
             std::string("Re: meeting at 10:00 =? not a word ?="),
             std::string("=?iso-2022-jp?b?QUJD?="),    // lower case: the caller normalises
             std::string("=?UTF-8?B?QUJD?="),          // another character set
             std::string("=?ISO-2022-JP?Q?=41=42?="),  // the Q form
             std::string("bytes \x1b$B$3\x1b(B \xff\x00 kept", 22),
         }) {
        EXPECT_EQ(decodeEncodedWords(text), text);
    }
}

TEST(DecodeEncodedWords, ReplacesEachWordByItsBytesOnceAndKeepsTheTextAround) {
    EXPECT_EQ(decodeEncodedWords(word("QUJD")), "ABC");
    EXPECT_EQ(decodeEncodedWords(word("QUI=")), "AB");
    EXPECT_EQ(decodeEncodedWords(word("QQ==")), "A");
    EXPECT_EQ(decodeEncodedWords(word("GyRCJDMkcxsoQg==")), "\x1b$B$3$s\x1b(B");
    EXPECT_EQ(decodeEncodedWords("Re: " + word("QUJD") + " " + word("REVG") + "\r\n\t" +
                                 word("R0g=") + " <a@b.jp>"),
              "Re: ABC DEF\r\n\tGH <a@b.jp>");
    EXPECT_EQ(decodeEncodedWords("[" + word("") + "]"), "[]");
    EXPECT_EQ(decodeEncodedWords(word("QUJD") + word("REVG")), "ABCDEF");
}

TEST(DecodeEncodedWords, FailsOnAStartMarkerWithoutEndMarker) {
    EXPECT_EQ(decodeEncodedWords("x =?ISO-2022-JP?B?QUJD"), std::nullopt);
    EXPECT_EQ(decodeEncodedWords(word("QUJD") + " =?ISO-2022-JP?B?QUJD"), std::nullopt);
    // The end marker is looked for after the start marker only.
    EXPECT_EQ(decodeEncodedWords("?= =?ISO-2022-JP?B?QUJD"), std::nullopt);
}

TEST(DecodeEncodedWords, DecodesEachGroupOfFourByItself) {
    // Padding ends only its own group.
    EXPECT_EQ(decodeEncodedWords(word("QQ==QkM=RA==")), "ABCD");
    // A short last group counts its missing characters as padding.
    EXPECT_EQ(decodeEncodedWords(word("QUJDRA")), "ABCD");
    EXPECT_EQ(decodeEncodedWords(word("QUJDREU")), "ABCDE");
    // A second character "=" yields the first value times four: 'Q' is 16, so 64.
    EXPECT_EQ(decodeEncodedWords(word("QUJDQ")), "ABC@");
    EXPECT_EQ(decodeEncodedWords(word("Q===")), "@");
    // A third character "=" ends the group whatever follows.
    EXPECT_EQ(decodeEncodedWords(word("QQ=B")), "A");
    // A group made of padding alone yields nothing.
    EXPECT_EQ(decodeEncodedWords(word("QUJD====REVG")), "ABCDEF");
    // Every byte value survives: "/+8A" is 0xFF 0xEF 0x00, "gICA" three 0x80.
    EXPECT_EQ(decodeEncodedWords(word("/+8AgICA")), std::string("\xff\xef\x00\x80\x80\x80", 6));
}

TEST(DecodeEncodedWords, DropsAGroupHoldingCharactersOutsideTheAlphabet) {
    EXPECT_EQ(decodeEncodedWords(word("QUJD Q*CREVG")), "ABCDEF");
    EXPECT_EQ(decodeEncodedWords(word("QUJD\r\n\t=REVG")), "ABCDEF");
    EXPECT_EQ(decodeEncodedWords(word("QUJD.")), "ABC");
    EXPECT_EQ(decodeEncodedWords(word("QQ=*REVG")), "DEF");
}

}  // namespace
}  // namespace velkora
