#include <gtest/gtest.h>

#include "checker/decode/EncodedWords.h"
#include "checker/decode/JisConversion.h"
#include "tests/checker/decode/GeneratedCases.h"

namespace velkora {
namespace {

using testing::loadGeneratedCases;

// Words encoded by Python's email package and base64 module.
TEST(GeneratedCases, EncodedWordsDecodeToWhatPythonEncoded) {
    const auto cases = loadGeneratedCases("words", 2);
    ASSERT_GE(cases.size(), 5u);
    for (const auto& c : cases) {
        EXPECT_EQ(decodeEncodedWords(c.fields[0]), c.fields[1]) << c.name;
    }
}

// ISO-2022-JP and code page 932 bytes both from Python's codecs.
TEST(GeneratedCases, Iso2022JpConvertsToWhatPythonsCodePage932Gives) {
    const auto cases = loadGeneratedCases("jis", 2);
    ASSERT_GE(cases.size(), 5u);
    for (const auto& c : cases) {
        EXPECT_EQ(convertIso2022JpText(c.fields[0]), c.fields[1]) << c.name;
    }
}

}  // namespace
}  // namespace velkora
