#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "checker/announce/voice/SpeechEngine.h"
#include "checker/announce/voice/Voice.h"
#include "tests/checker/announce/voice/VoiceTestSupport.h"

namespace velkora {
namespace {

// espeak-ng's Japanese voice names every kanji "Chinese letter": these are its phonemes.
constexpr const char* kKanjiFallback = "tS'aIni:z";

class VoiceSynthesisTest : public testing::Test {
protected:
    static Voice& voice() {
        static Voice instance;
        return instance;
    }

    void SetUp() override { ASSERT_TRUE(voice().available()) << "espeak-ng is needed"; }

    // Renders through the voice into a WAV file and reads the file back.
    static test::WavInfo render(const std::string& text) {
        const std::string path = test::tempPath("speech.wav");
        EXPECT_TRUE(voice().renderToWav(text, path));
        std::optional<test::WavInfo> wav = test::readWav(path);
        EXPECT_TRUE(wav.has_value()) << text;
        return wav.value_or(test::WavInfo{});
    }

    static double seconds(const std::string& text) { return render(text).seconds(); }

    // The phonemes of everything the pipeline hands the synthesizer for a text.
    static std::string pipelinePhonemes(const std::string& text) {
        SpeechEngine::Lease engine = SpeechEngine::acquire();
        std::string all;
        for (const SpeechUnit& unit : engine->prepare(text, kDefaultSpeechRate)) {
            all += engine->phonemes(unit.language, unit.text) + " ";
        }
        return all;
    }

    static std::string rawPhonemes(SpeechLanguage language, const std::string& text) {
        return SpeechEngine::acquire()->phonemes(language, text);
    }
};

TEST_F(VoiceSynthesisTest, KanjiAreReadAloudInsteadOfNamedChineseLetters) {
    ASSERT_TRUE(SpeechEngine::acquire()->hasReadings()) << "MeCab with mecab-ipadic-utf8";
    const std::pair<std::string, std::string> cases[] = {
        {"差出人 佐藤", "サシダシニン サトー"},
        {"件名 会議のお知らせ", "ケンメイ カイギノ オシラセ"}};
    for (const auto& [text, reading] : cases) {
        // espeak-ng alone falls back to naming the kanji, so the check below can fail.
        EXPECT_NE(rawPhonemes(SpeechLanguage::Japanese, text).find(kKanjiFallback),
                  std::string::npos)
            << text;
        const std::string phonemes = pipelinePhonemes(text + " \\Spd=100\\");
        EXPECT_EQ(phonemes.find(kKanjiFallback), std::string::npos) << text << ": " << phonemes;
        // What is said is the words' reading.
        EXPECT_EQ(phonemes, rawPhonemes(SpeechLanguage::Japanese, reading) + " ") << text;
        EXPECT_GT(seconds(text + " \\Spd=100\\"), 1.0) << text;
    }
}

TEST_F(VoiceSynthesisTest, SpeedTagChangesHowLongTheTextTakesAndOtherTagsDoNot) {
    const std::string text = "件名 会議のお知らせ";
    const double slow = seconds(text + " \\Spd=100\\");
    const double fast = seconds(text + " \\Spd=200\\");
    EXPECT_GT(slow, 1.0);
    EXPECT_LT(fast, 0.7 * slow) << "slow " << slow << " s, fast " << fast << " s";
    // No tag at all means the default speed; other tags are neither spoken nor pauses.
    EXPECT_NEAR(seconds(text), slow, 0.03 * slow);
    const double tagged =
        seconds("\\Pit=50\\件名 \\Chr=\"Whisper\"\\会議の\\Emp\\お知らせ\\Vol=100\\ \\Spd=100\\");
    EXPECT_NEAR(tagged, slow, 0.03 * slow);
}

TEST_F(VoiceSynthesisTest, LatinRunsAreSpokenByTheEnglishVoice) {
    const std::string latin = "Sales taro@example.jp";
    const std::vector<SpeechUnit> units =
        SpeechEngine::acquire()->prepare("差出人 " + latin + " \\Spd=100\\", 100);
    ASSERT_EQ(units.size(), 2u);
    EXPECT_EQ(units[0].language, SpeechLanguage::Japanese);
    EXPECT_EQ(units[1].language, SpeechLanguage::English);
    EXPECT_EQ(units[1].text, latin);
    // The Japanese voice would spell the letters out, switching to English letter names.
    EXPECT_NE(rawPhonemes(SpeechLanguage::Japanese, latin).find("(en)"), std::string::npos);
    EXPECT_EQ(pipelinePhonemes(latin), rawPhonemes(SpeechLanguage::English, latin) + " ");
}

TEST_F(VoiceSynthesisTest, WavFileIsMono16BitPcmOfTheVoicesRate) {
    const test::WavInfo wav = render("差出人 佐藤 \\Spd=100\\");
    EXPECT_EQ(wav.channels, 1);
    EXPECT_EQ(wav.bitsPerSample, 16);
    EXPECT_EQ(wav.sampleRate, voice().sampleRate());
    EXPECT_GT(wav.seconds(), 1.0);
    // Nothing to say still makes a valid, empty file; an unwritable path fails.
    const test::WavInfo silent = render(" \\Spd=100\\");
    EXPECT_EQ(silent.channels, 1);
    EXPECT_TRUE(silent.samples.empty());
    EXPECT_FALSE(voice().renderToWav("件名", "/nonexistent/velkora/out.wav"));
}

}  // namespace
}  // namespace velkora
