#include "checker/announce/voice/VoiceSpeech.h"

#include <gtest/gtest.h>

#include <QAudioDevice>
#include <chrono>
#include <cmath>
#include <fstream>
#include <iterator>
#include <set>
#include <vector>

#include "checker/announce/voice/QtFrameSound.h"
#include "checker/announce/voice/Voice.h"
#include "checker/announce/voice/VoiceWaveVolume.h"
#include "checker/announce/voice/WavFile.h"
#include "common/qt/QtEventLoop.h"
#include "tests/checker/announce/voice/VoiceTestSupport.h"

namespace velkora {
namespace {

using Clock = std::chrono::steady_clock;

// What the character is told while one text is spoken.
struct Heard {
    std::vector<double> progress;
    std::set<MouthShape> mouths;
    int finished = 0;
    Clock::time_point finishedAt;
    bool afterFinish = false;

    SpeechListener listener() {
        SpeechListener l;
        l.progress = [this](double p) {
            afterFinish = afterFinish || finished > 0;
            progress.push_back(p);
        };
        l.mouth = [this](MouthShape shape) { mouths.insert(shape); };
        l.finished = [this] {
            ++finished;
            finishedAt = Clock::now();
        };
        return l;
    }
};

double seconds(const Voice& voice, const std::string& text) {
    const std::string path = test::tempPath("length.wav");
    EXPECT_TRUE(voice.renderToWav(text, path));
    return test::readWav(path).value_or(test::WavInfo{}).seconds();
}

class VoiceSpeechTest : public testing::Test {
protected:
    void SetUp() override {
        if (!test::ensureAudioServer()) {
            GTEST_SKIP() << "the pulseaudio program is needed for a private output";
        }
        device_ = test::testOutputDevice();
        ASSERT_FALSE(device_.isNull());
    }
    QAudioDevice device_;
};

TEST_F(VoiceSpeechTest, TheCharacterHearsHowFarTheSpeechHasComeAndWhenItEnds) {
    Voice voice([this] { return device_; });
    ASSERT_TRUE(voice.available());
    QtEventLoop loop;
    VoiceSpeech speech(voice, loop);
    const std::string text = "件名 来週の会議のお知らせと資料の送付について \\Spd=160\\";
    const double length = seconds(voice, text);
    ASSERT_GT(length, 1.0);

    Heard heard;
    auto utterance = speech.prepare(text);
    const Clock::time_point start = Clock::now();
    utterance->start(heard.listener());
    ASSERT_TRUE(test::runEventsUntil([&heard] { return heard.finished > 0; }, 30000));
    test::runEventsFor(300);

    EXPECT_EQ(heard.finished, 1);
    EXPECT_FALSE(heard.afterFinish);
    // Told to its end only once all of it could have been heard.
    const double took = std::chrono::duration<double>(heard.finishedAt - start).count();
    EXPECT_GE(took, length * 0.9);
    ASSERT_GE(heard.progress.size(), 10u);
    for (std::size_t i = 1; i < heard.progress.size(); ++i) {
        EXPECT_GE(heard.progress[i], heard.progress[i - 1]);
    }
    EXPECT_GT(heard.progress.back(), 0.9);
    // Half way through the time, about half way through the text.
    EXPECT_LT(heard.progress[heard.progress.size() / 4], 0.6);
    // The mouth moves: closed in the pauses, open on the vowels.
    EXPECT_TRUE(heard.mouths.count(MouthShape::Closed));
    EXPECT_GE(heard.mouths.size(), 3u);
}

TEST_F(VoiceSpeechTest, AReadingKeepsItsVolumeUntilItsLastTextIsHeard) {
    Voice voice([this] { return device_; });
    VoiceWaveVolume volume(voice);
    QtEventLoop loop;
    VoiceSpeech speech(voice, loop);
    const std::string text = "差出人 佐藤 件名 会議のお知らせ \\Spd=200\\";
    const auto playAll = [&](const std::function<void()>& queue) {
        test::OutputRecorder recorder;
        EXPECT_TRUE(recorder.start());
        bool quiet = false;
        voice.output().onQuiet = [&quiet] { quiet = true; };
        queue();
        EXPECT_TRUE(test::runEventsUntil([&quiet] { return quiet; }, 30000));
        voice.output().onQuiet = nullptr;
        return recorder.energy();
    };
    volume.setVolume(0xFFFFFFFFu);
    const double loud = playAll([&] { voice.speak(text); });
    // A reading: the reading volume for its texts, the user's own volume back at once, as the
    // reading returns long before its texts have been heard.
    const double reading = playAll([&] {
        volume.setVolume(16384u << 16 | 16384u);
        voice.speak(text);
        voice.speak(text);
        volume.setVolume(0xFFFFFFFFu);
    });
    ASSERT_GT(loud, 0);
    EXPECT_NEAR(std::sqrt(reading / (2 * loud)), 0.25, 0.06);
    // The character's texts keep the volume of the moment it accepted them.
    Heard heard;
    std::unique_ptr<Utterance> utterance;
    const double character = playAll([&] {
        volume.setVolume(16384u << 16 | 16384u);
        utterance = speech.prepare(text);
        volume.setVolume(0xFFFFFFFFu);
        utterance->start(heard.listener());
    });
    EXPECT_NEAR(std::sqrt(character / loud), 0.25, 0.06);
}

TEST_F(VoiceSpeechTest, WithNothingToHearTheTextGoesByAtAReadingPace) {
    Voice voice([] { return QAudioDevice(); });
    QtEventLoop loop;
    VoiceSpeech speech(voice, loop);
    Heard heard;
    auto utterance = speech.prepare("以上です \\Spd=100\\");
    utterance->start(heard.listener());
    EXPECT_TRUE(heard.progress.empty());  // nothing from inside start
    ASSERT_TRUE(test::runEventsUntil([&heard] { return heard.finished > 0; }, 10000));
    ASSERT_FALSE(heard.progress.empty());
    EXPECT_DOUBLE_EQ(heard.progress.back(), 1.0);
}

TEST_F(VoiceSpeechTest, FrameSoundsPlayFromMemoryAndBrokenOnesAreSkipped) {
    const std::string path = test::tempPath("frame.wav");
    ASSERT_TRUE(Voice().renderToWav("キラキラ \\Spd=200\\", path));
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> wave((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    ASSERT_TRUE(parseWave(wave).has_value());
    // Cut inside the data chunk, or no WAVE at all: refused as they stand.
    EXPECT_FALSE(parseWave(std::span(wave).first(wave.size() - 10)).has_value());
    const std::vector<uint8_t> noise(100, 0x55);
    EXPECT_FALSE(parseWave(noise).has_value());

    QtFrameSound sound([this] { return device_; });
    test::OutputRecorder silence;
    ASSERT_TRUE(silence.start());
    sound.play(noise);
    EXPECT_FALSE(sound.playing());
    test::runEventsFor(300);
    EXPECT_LT(silence.peak(), 50);
    test::OutputRecorder recorder;
    ASSERT_TRUE(recorder.start());
    sound.play(wave);
    EXPECT_TRUE(test::runEventsUntil([&recorder] { return recorder.peak() > 1000; }, 10000));
}

}  // namespace
}  // namespace velkora
