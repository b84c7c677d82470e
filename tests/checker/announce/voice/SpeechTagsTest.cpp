#include "checker/announce/voice/SpeechTags.h"

#include <gtest/gtest.h>

#include <vector>

namespace velkora {
namespace {

using Pieces = std::vector<SpeechPiece>;

TEST(SpeechTagsTest, TrailingSpeedTagSetsTheSpeedOfTheWholeText) {
    EXPECT_EQ(parseSpeechTags("差出人 佐藤 \\Spd=150\\", 100), (Pieces{{"差出人 佐藤 ", 150}}));
    // Without any speed tag the default applies, and a tag-only text says nothing.
    EXPECT_EQ(parseSpeechTags("件名 会議", 120), (Pieces{{"件名 会議", 120}}));
    EXPECT_EQ(parseSpeechTags(" \\Spd=100\\", 100), (Pieces{{" ", 100}}));
    EXPECT_TRUE(parseSpeechTags("\\Spd=100\\", 100).empty());
    EXPECT_TRUE(parseSpeechTags("", 100).empty());
}

TEST(SpeechTagsTest, SpeedChangesInsideATextSplitIt) {
    EXPECT_EQ(parseSpeechTags("ゆっくり\\Spd=200\\はやく\\Spd=90\\おそく", 100),
              (Pieces{{"ゆっくりはやく", 200}, {"おそく", 90}}));
    // A leading tag is the first tag, so nothing falls back to the default.
    EXPECT_EQ(parseSpeechTags("\\Spd=300\\abc\\Spd=80\\def", 100),
              (Pieces{{"abc", 300}, {"def", 80}}));
    // Tag names are not case-sensitive.
    EXPECT_EQ(parseSpeechTags("abc \\spd=250\\", 100), (Pieces{{"abc ", 250}}));
}

TEST(SpeechTagsTest, SpeedIsClampedToTheSynthesizerRange) {
    EXPECT_EQ(parseSpeechTags("a\\Spd=10\\", 100), (Pieces{{"a", kMinSpeechRate}}));
    EXPECT_EQ(parseSpeechTags("a\\Spd=-5\\", 100), (Pieces{{"a", kMinSpeechRate}}));
    EXPECT_EQ(parseSpeechTags("a\\Spd=1000\\", 100), (Pieces{{"a", kMaxSpeechRate}}));
    EXPECT_EQ(parseSpeechTags("a\\Spd=99999999999999999999999\\", 100),
              (Pieces{{"a", kMaxSpeechRate}}));
    EXPECT_EQ(parseSpeechTags("a\\Spd=-99999999999999999999999\\", 100),
              (Pieces{{"a", kMinSpeechRate}}));
    EXPECT_EQ(parseSpeechTags("a", 5000), (Pieces{{"a", kMaxSpeechRate}}));
    EXPECT_EQ(clampSpeechRate(kMinSpeechRate), kMinSpeechRate);
    EXPECT_EQ(clampSpeechRate(kMaxSpeechRate), kMaxSpeechRate);
    EXPECT_EQ(clampSpeechRate(175), 175);
}

TEST(SpeechTagsTest, SpeedTagWithoutANumberIsRemovedAndChangesNothing) {
    EXPECT_EQ(parseSpeechTags("a\\Spd=fast\\b\\Spd=\\c \\Spd=1.5\\", 130), (Pieces{{"abc ", 130}}));
    EXPECT_EQ(parseSpeechTags("a\\Spd= 200 \\", 100), (Pieces{{"a", 200}}));
    EXPECT_EQ(parseSpeechTags("a\\Spd=+220\\", 100), (Pieces{{"a", 220}}));
}

TEST(SpeechTagsTest, OtherTagsAreRemovedWithoutSplittingTheText) {
    EXPECT_EQ(parseSpeechTags("会議の\\Emp\\お知らせ\\Pit=50\\です\\Chr=\"Whisper\"\\。"
                              "\\Vol=2000\\\\Mrk=3\\\\Rst\\ \\Spd=100\\",
                              100),
              (Pieces{{"会議のお知らせです。 ", 100}}));
    // Quoted values may hold backslashes and doubled quotes.
    EXPECT_EQ(parseSpeechTags("x\\Map=\"a\\b\"=\"say \"\"c\"\"\"\\y", 100), (Pieces{{"xy", 100}}));
    EXPECT_EQ(parseSpeechTags("\\Ctx=\"E-mail\"\\abc", 100), (Pieces{{"abc", 100}}));
}

TEST(SpeechTagsTest, BackslashesThatOpenNoTagStayText) {
    // The escaped backslash, a yen amount from a Shift_JIS text, a path with a space, a tag
    // that never closes, an unterminated quote.
    EXPECT_EQ(parseSpeechTags("a\\\\b", 100), (Pieces{{"a\\b", 100}}));
    EXPECT_EQ(parseSpeechTags("\\1000です", 100), (Pieces{{"\\1000です", 100}}));
    EXPECT_EQ(parseSpeechTags("C:\\Program Files\\x", 100),
              (Pieces{{"C:\\Program Files\\x", 100}}));
    EXPECT_EQ(parseSpeechTags("abc \\Spd=200", 100), (Pieces{{"abc \\Spd=200", 100}}));
    EXPECT_EQ(parseSpeechTags("\\Chr=\"Whisper\\", 100), (Pieces{{"\\Chr=\"Whisper\\", 100}}));
    EXPECT_EQ(parseSpeechTags("end\\", 100), (Pieces{{"end\\", 100}}));
}

}  // namespace
}  // namespace velkora
