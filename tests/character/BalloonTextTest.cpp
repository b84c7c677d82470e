#include "character/BalloonText.h"

#include <gtest/gtest.h>

#include "character/CharacterOptions.h"
#include "common/MemorySettingsStore.h"

namespace velkora {
namespace {

TEST(BalloonTextTest, TheBalloonShowsTheTextWithoutItsTags) {
    const std::pair<const char*, const char*> cases[] = {
        {"差出人 佐藤 \\Spd=100\\", "差出人 佐藤"},
        {"\\Pau=500\\件名 \\Emp\\会議", "件名 会議"},
        {"C:\\\\mail \\Vol=30000\\", "C:\\mail"},
        {"\\Map=\"いちまんえん\"=\"1万円\"\\です", "1万円です"},
        {"\\Map=\"a\"\"b\"=\"say \"\"hi\"\"\"\\!", "say \"hi\"!"},
        // A backslash that opens no complete tag is text.
        {"100\\ 円 \\Spd=", "100\\ 円 \\Spd="},
    };
    for (const auto& [text, shown] : cases) {
        EXPECT_EQ(balloonText(text), shown) << text;
    }
}

TEST(BalloonTextTest, WordsAppearWholeAsTheSpeechReachesThem) {
    const BalloonReveal japanese("全部で3通のメールが届いています");
    const auto shown = [&japanese](double progress) {
        return japanese.text().substr(0, japanese.visibleBytes(progress));
    };
    EXPECT_EQ(shown(0), "");
    // Kanji with the kana after them are one word; a change of script starts the next.
    EXPECT_EQ(shown(0.05), "全部で");
    EXPECT_EQ(shown(0.2), "全部で3");
    EXPECT_EQ(shown(0.3), "全部で3通の");
    EXPECT_EQ(shown(0.45), "全部で3通のメール");
    EXPECT_EQ(shown(1), japanese.text());
    const BalloonReveal latin("Re: meeting at 10:30, room 4");
    EXPECT_EQ(latin.text().substr(0, latin.visibleBytes(0.2)), "Re: meeting");
}

TEST(BalloonTextTest, OwnOptionsAndTheSpeedTheyGiveTheVoice) {
    MemorySettingsStore store(
        {{"CharBalloon", "0"}, {"CharVoice", "x"}, {"CharVoiceSpeed", "999"}});
    CharacterOptions options = CharacterOptions::load(store);
    EXPECT_FALSE(options.balloon);
    EXPECT_TRUE(options.voice);  // malformed: the default
    EXPECT_EQ(options.speedPercent, CharacterOptions::kMaxSpeed);
    options.voice = false;
    options.speedPercent = 75;
    options.save(store);
    EXPECT_EQ(store.values().at("CharVoice"), "0");
    EXPECT_EQ(store.values().at("CharVoiceSpeed"), "75");
    EXPECT_EQ(store.values().size(), 3u);

    EXPECT_EQ(scaleSpeechSpeed("件名 \\Spd=100\\", 150), "件名 \\Spd=150\\");
    EXPECT_EQ(scaleSpeechSpeed("a\\spd=200\\b \\Spd=80\\", 50), "a\\Spd=100\\b \\Spd=40\\");
    EXPECT_EQ(scaleSpeechSpeed("以上です", 200), "以上です \\Spd=200\\");
    EXPECT_EQ(scaleSpeechSpeed("C:\\\\Spd=1\\ x", 200), "C:\\\\Spd=1\\ x \\Spd=200\\");
    EXPECT_EQ(scaleSpeechSpeed("変えない \\Spd=120\\", 100), "変えない \\Spd=120\\");
}

}  // namespace
}  // namespace velkora
