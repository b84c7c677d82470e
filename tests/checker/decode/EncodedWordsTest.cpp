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

// Words in running text come from the Python-made cases; these are the odd ones.
TEST(DecodeEncodedWords, EmptyAndAdjacentWordsAndAMissingEndMarker) {
    EXPECT_EQ(decodeEncodedWords("[" + word("") + "]"), "[]");
    EXPECT_EQ(decodeEncodedWords(word("QUJD") + word("REVG")), "ABCDEF");
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
    // A group holding a character outside the alphabet is dropped whole.
    EXPECT_EQ(decodeEncodedWords(word("QUJD Q*CREVG")), "ABCDEF");
    EXPECT_EQ(decodeEncodedWords(word("QUJD\r\n\t=REVG")), "ABCDEF");
    EXPECT_EQ(decodeEncodedWords(word("QUJD.")), "ABC");
    EXPECT_EQ(decodeEncodedWords(word("QQ=*REVG")), "DEF");
}

}  // namespace
}  // namespace velkora
