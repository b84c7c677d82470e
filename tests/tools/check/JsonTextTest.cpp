#include "tools/check/JsonText.h"

#include <gtest/gtest.h>

#include <string>

namespace velkora {
namespace {

TEST(JsonString, EscapesWhatJsonNeedsAndReplacesWhatIsNoUtf8) {
    EXPECT_EQ(jsonString("差出人 \"a\\b\"\t\r\n"), "\"差出人 \\\"a\\\\b\\\"\\t\\r\\n\"");
    EXPECT_EQ(jsonString(std::string("\x00\x1f\x7f", 3)), "\"\\u0000\\u001f\\u007f\"");
    EXPECT_EQ(jsonString("\xC2\x85 \xC2\xA0"), "\"\\u0085 \xC2\xA0\"");  // C1 escaped, NBSP kept
    // A stray continuation byte, a cut character, an overlong form, a surrogate.
    EXPECT_EQ(jsonString("\x80|\xE3\x81|\xC0\xAF|\xED\xA0\x80|\xF0\x9F\x98\x80"),
              "\"\\ufffd|\\ufffd\\ufffd|\\ufffd\\ufffd|\\ufffd\\ufffd\\ufffd|\xF0\x9F\x98\x80\"");
}

}  // namespace
}  // namespace velkora
