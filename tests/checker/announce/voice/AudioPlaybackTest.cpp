#include <gtest/gtest.h>

#include <QAudioDevice>
#include <QString>
#include <QtGlobal>
#include <cmath>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "checker/announce/qt/QtArrivalSound.h"
#include "checker/announce/voice/Voice.h"
#include "checker/announce/voice/VoiceWaveVolume.h"
#include "tests/checker/announce/voice/VoiceTestSupport.h"

namespace velkora {
namespace {

// Louder than anything a silent output's monitor shows, far below any speech.
constexpr double kSilence = 50;
constexpr double kAudible = 1000;

std::mutex messagesMutex;
std::vector<std::string> messages;

void recordMessage(QtMsgType, const QMessageLogContext&, const QString& text) {
    std::lock_guard<std::mutex> lock(messagesMutex);
    messages.push_back(text.toStdString());
}

// Plays through the private sound server and listens to what its output plays.
class AudioPlaybackTest : public testing::Test {
protected:
    void SetUp() override {
        if (!test::ensureAudioServer()) {
            GTEST_SKIP() << "the pulseaudio program is needed for a private output";
        }
        device_ = test::testOutputDevice();
        ASSERT_FALSE(device_.isNull());
        {
            std::lock_guard<std::mutex> lock(messagesMutex);
            messages.clear();
        }
        previousHandler_ = qInstallMessageHandler(recordMessage);
    }

    void TearDown() override { qInstallMessageHandler(previousHandler_); }

    static std::vector<std::string> loggedMessages() {
        std::lock_guard<std::mutex> lock(messagesMutex);
        return messages;
    }

    AudioOutput::DevicePicker testDevice() {
        return [this] { return device_; };
    }

    // Speaks the texts and records the output until the voice has gone quiet.
    void speakAndRecord(Voice& voice, const std::vector<std::string>& texts,
                        test::OutputRecorder& recorder) {
        ASSERT_TRUE(recorder.start());
        bool quiet = false;
        voice.output().onQuiet = [&quiet] { quiet = true; };
        for (const std::string& text : texts) {
            ASSERT_TRUE(voice.speak(text));
        }
        EXPECT_TRUE(test::runEventsUntil([&quiet] { return quiet; }, 30000));
        voice.output().onQuiet = nullptr;
        test::runEventsFor(200);
    }

    QAudioDevice device_;
    QtMessageHandler previousHandler_ = nullptr;
};

TEST_F(AudioPlaybackTest, SpeechIsPlayedOnTheOutputAndTheDeviceReleasedAfterwards) {
    Voice voice(testDevice());
    ASSERT_TRUE(voice.available());
    test::OutputRecorder recorder;
    speakAndRecord(voice, {"件名 会議のお知らせ \\Spd=200\\", "以上です \\Spd=200\\"}, recorder);
    EXPECT_GT(recorder.peak(), kAudible);
    EXPECT_FALSE(voice.output().open());
    EXPECT_TRUE(loggedMessages().empty());

    // Both texts were played, one after the other: about as much sound as their two renderings.
    const std::string first = test::tempPath("first.wav");
    const std::string second = test::tempPath("second.wav");
    ASSERT_TRUE(voice.renderToWav("件名 会議のお知らせ \\Spd=200\\", first));
    ASSERT_TRUE(voice.renderToWav("以上です \\Spd=200\\", second));
    double rendered = 0;
    for (const std::string& path : {first, second}) {
        const std::optional<test::WavInfo> wav = test::readWav(path);
        ASSERT_TRUE(wav.has_value());
        for (int16_t s : wav->samples) {
            rendered += static_cast<double>(s) * s;
        }
    }
    EXPECT_NEAR(recorder.energy() / rendered, 1.0, 0.1);

    // The device opens again for later speech.
    test::OutputRecorder again;
    speakAndRecord(voice, {"差出人 佐藤 \\Spd=200\\"}, again);
    EXPECT_GT(again.peak(), kAudible);
}

TEST_F(AudioPlaybackTest, SpeechArrivingWhileTheDeviceIdlesIsPlayedToo) {
    Voice voice(testDevice());
    const std::string first = "以上です \\Spd=200\\";
    const std::string second = "差出人 佐藤 \\Spd=200\\";
    const std::string firstFile = test::tempPath("idle-first.wav");
    const std::string secondFile = test::tempPath("idle-second.wav");
    ASSERT_TRUE(voice.renderToWav(first, firstFile));
    ASSERT_TRUE(voice.renderToWav(second, secondFile));
    const std::optional<test::WavInfo> firstWav = test::readWav(firstFile);
    const std::optional<test::WavInfo> secondWav = test::readWav(secondFile);
    ASSERT_TRUE(firstWav && secondWav);

    test::OutputRecorder recorder;
    ASSERT_TRUE(recorder.start());
    bool quiet = false;
    voice.output().onQuiet = [&quiet] { quiet = true; };
    double firstEnergy = 0;
    for (int16_t s : firstWav->samples) {
        firstEnergy += static_cast<double>(s) * s;
    }
    ASSERT_TRUE(voice.speak(first));
    // The first text has been played out; the device has nothing left but is still open.
    ASSERT_TRUE(test::runEventsUntil([&] { return recorder.energy() > 0.9 * firstEnergy; }, 20000));
    test::runEventsFor(100);
    EXPECT_TRUE(voice.output().open());
    EXPECT_FALSE(quiet);
    ASSERT_TRUE(voice.speak(second));
    EXPECT_TRUE(test::runEventsUntil([&quiet] { return quiet; }, 30000));
    voice.output().onQuiet = nullptr;
    test::runEventsFor(200);

    double rendered = firstEnergy;
    for (int16_t s : secondWav->samples) {
        rendered += static_cast<double>(s) * s;
    }
    EXPECT_NEAR(recorder.energy() / rendered, 1.0, 0.1);
}

TEST_F(AudioPlaybackTest, ReadingVolumeScalesTheSpeech) {
    Voice voice(testDevice());
    VoiceWaveVolume volume(voice);
    ASSERT_TRUE(volume.hasVolumeControl());
    const std::string text = "件名 会議のお知らせ \\Spd=200\\";

    volume.setVolume(0xFFFFFFFFu);
    test::OutputRecorder loud;
    speakAndRecord(voice, {text}, loud);
    volume.setVolume(16384u << 16 | 16384u);
    test::OutputRecorder quiet;
    speakAndRecord(voice, {text}, quiet);

    ASSERT_GT(loud.energy(), 0);
    const double amplitude = std::sqrt(quiet.energy() / loud.energy());
    EXPECT_NEAR(amplitude, 0.25, 0.06);
    EXPECT_GT(quiet.peak(), kSilence);
}

TEST_F(AudioPlaybackTest, WaveVolumeAveragesTheChannelsAndReadsBackWhatItSet) {
    Voice voice(testDevice());
    VoiceWaveVolume volume(voice);
    ASSERT_TRUE(volume.hasVolumeControl());
    EXPECT_EQ(volume.volume(), 0xFFFFFFFFu);
    volume.setVolume(30000u * 65536u + 30000u);
    EXPECT_EQ(volume.volume(), 30000u * 65536u + 30000u);
    EXPECT_EQ(voice.volume(), 30000);
    // Left full, right silent: one mono stream at half level.
    volume.setVolume(0x0000FFFFu);
    EXPECT_EQ(volume.volume(), 0x80008000u);
    volume.setVolume(0);
    EXPECT_EQ(volume.volume(), 0u);
    EXPECT_EQ(voice.output().volume(), 0.0);
    volume.setVolume(4464u * 65536u + 4464u);
    EXPECT_EQ(volume.volume(), 4464u * 65536u + 4464u);
    EXPECT_NEAR(voice.output().volume(), 4464.0 / 65535.0, 1e-9);
}

TEST_F(AudioPlaybackTest, WithoutAnOutputDeviceTheVoiceIsSilentAndSaysNothing) {
    Voice voice([] { return QAudioDevice(); });
    VoiceWaveVolume volume(voice);
    EXPECT_FALSE(volume.hasVolumeControl());
    EXPECT_EQ(volume.volume(), std::nullopt);
    volume.setVolume(1234);

    test::OutputRecorder recorder;
    ASSERT_TRUE(recorder.start());
    bool quiet = false;
    voice.output().onQuiet = [&quiet] { quiet = true; };
    EXPECT_TRUE(voice.speak("件名 会議のお知らせ \\Spd=200\\"));
    EXPECT_TRUE(voice.speak("以上です \\Spd=200\\"));
    test::runEventsFor(2500);
    EXPECT_LT(recorder.peak(), kSilence);
    EXPECT_FALSE(voice.output().open());
    EXPECT_FALSE(quiet);
    EXPECT_TRUE(loggedMessages().empty());
}

TEST_F(AudioPlaybackTest, ArrivalSoundIgnoresMissingAndBrokenFilesQuietly) {
    const std::string broken = test::tempPath("broken.wav");
    std::ofstream(broken) << "this is not a sound";
    const std::string truncated = test::tempPath("truncated.wav");
    std::ofstream(truncated, std::ios::binary) << "RIFF";

    QtArrivalSound sound([this] { return device_; });
    test::OutputRecorder recorder;
    ASSERT_TRUE(recorder.start());
    EXPECT_NO_THROW(sound.playWave("/nonexistent/velkora/arrival.wav"));
    EXPECT_NO_THROW(sound.playWave(""));
    EXPECT_NO_THROW(sound.playWave(broken));
    EXPECT_NO_THROW(sound.playWave(truncated));
    EXPECT_NO_THROW(sound.playWave(test::tempPath("")));
    EXPECT_FALSE(sound.playing());
    test::runEventsFor(800);
    EXPECT_LT(recorder.peak(), kSilence);
    EXPECT_TRUE(loggedMessages().empty());
}

TEST_F(AudioPlaybackTest, ArrivalSoundPlaysAWaveFileAndABeep) {
    const std::string wave = test::tempPath("arrival.wav");
    ASSERT_TRUE(Voice().renderToWav("メールが届きました \\Spd=200\\", wave));
    QtArrivalSound sound([this] { return device_; });

    test::OutputRecorder waveRecording;
    ASSERT_TRUE(waveRecording.start());
    sound.playWave(wave);  // returns before the sound has played
    EXPECT_TRUE(sound.playing());
    EXPECT_TRUE(test::runEventsUntil([&] { return waveRecording.peak() > kAudible; }, 10000));
    EXPECT_TRUE(test::runEventsUntil([&] { return !sound.playing(); }, 15000));

    test::OutputRecorder beepRecording;
    ASSERT_TRUE(beepRecording.start());
    sound.beep();
    EXPECT_TRUE(test::runEventsUntil([&] { return beepRecording.peak() > kAudible; }, 10000));
    test::runEventsFor(1000);
    EXPECT_FALSE(sound.playing());
    EXPECT_TRUE(loggedMessages().empty());

    // With no output device both stay silent.
    QtArrivalSound mute([] { return QAudioDevice(); });
    test::OutputRecorder silence;
    ASSERT_TRUE(silence.start());
    mute.playWave(wave);
    mute.beep();
    EXPECT_FALSE(mute.playing());
    test::runEventsFor(800);
    EXPECT_LT(silence.peak(), kSilence);
}

}  // namespace
}  // namespace velkora
