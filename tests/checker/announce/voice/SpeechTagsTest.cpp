#include "checker/announce/voice/SpeechTags.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velkora {
namespace {

using Pieces = std::vector<SpeechPiece>;

TEST(SpeechTagsTest, SpeedTagsSetTheSpeedAndOtherTagsAreRemoved) {
    struct Case {
        std::string text;
        int defaultRate;
        Pieces pieces;
    };
    const Case cases[] = {
        // A trailing speed tag sets the speed of the whole text; no tag means the default.
        {"差出人 佐藤 \\Spd=150\\", 100, {{"差出人 佐藤 ", 150}}},
        {"件名 会議", 120, {{"件名 会議", 120}}},
        {" \\Spd=100\\", 100, {{" ", 100}}},
        {"\\Spd=100\\", 100, {}},
        {"", 100, {}},
        // A change inside a text splits it; a leading tag leaves nothing to the default.
        {"ゆっくり\\Spd=200\\はやく\\Spd=90\\おそく",
         100,
         {{"ゆっくりはやく", 200}, {"おそく", 90}}},
        {"\\Spd=300\\abc\\Spd=80\\def", 100, {{"abc", 300}, {"def", 80}}},
        {"abc \\spd=250\\", 100, {{"abc ", 250}}},
        // Clamped to the synthesizer's range, however far out.
        {"a\\Spd=10\\", 100, {{"a", kMinSpeechRate}}},
        {"a\\Spd=99999999999999999999999\\", 100, {{"a", kMaxSpeechRate}}},
        {"a\\Spd=-99999999999999999999999\\", 100, {{"a", kMinSpeechRate}}},
        {"a", 5000, {{"a", kMaxSpeechRate}}},
        // A speed tag without a number is removed and changes nothing.
        {"a\\Spd=fast\\b\\Spd=\\c \\Spd=1.5\\", 130, {{"abc ", 130}}},
        {"a\\Spd= +220 \\", 100, {{"a", 220}}},
        // Other tags go without splitting; quoted values may hold backslashes and "".
        {"会議の\\Emp\\お知らせ\\Pit=50\\です\\Chr=\"Whisper\"\\。\\Vol=2000\\\\Mrk=3\\\\Rst\\ "
         "\\Spd=100\\",
         100,
         {{"会議のお知らせです。 ", 100}}},
        {"x\\Map=\"a\\b\"=\"say \"\"c\"\"\"\\y", 100, {{"xy", 100}}},
        // Backslashes that open no tag stay text: the escaped backslash, a yen amount from a
        // Shift_JIS text, a path, a tag that never closes, an unterminated quote.
        {"a\\\\b", 100, {{"a\\b", 100}}},
        {"\\1000です", 100, {{"\\1000です", 100}}},
        {"C:\\Program Files\\x", 100, {{"C:\\Program Files\\x", 100}}},
        {"abc \\Spd=200", 100, {{"abc \\Spd=200", 100}}},
        {"\\Chr=\"Whisper\\", 100, {{"\\Chr=\"Whisper\\", 100}}},
        {"end\\", 100, {{"end\\", 100}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseSpeechTags(c.text, c.defaultRate), c.pieces) << c.text;
    }
}

}  // namespace
}  // namespace velkora
