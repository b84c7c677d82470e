#include <gtest/gtest.h>

#include <QAudioDevice>
#include <QString>
#include <QtGlobal>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "checker/announce/voice/QtArrivalSound.h"
#include "checker/announce/voice/Voice.h"
#include "checker/announce/voice/VoiceWaveVolume.h"
#include "tests/checker/announce/voice/VoiceTestSupport.h"

namespace velkora {
namespace {

// Louder than anything a silent output's monitor shows, far below any speech.
constexpr double kSilence = 50;
constexpr double kAudible = 1000;

// Qt's own warnings, from any thread; nothing here should give any.
std::atomic<int> qtMessages{0};

void countMessage(QtMsgType, const QMessageLogContext&, const QString& text) {
    ++qtMessages;
    std::fprintf(stderr, "Qt: %s\n", qPrintable(text));
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
        qtMessages = 0;
        previousHandler_ = qInstallMessageHandler(countMessage);
    }

    void TearDown() override {
        qInstallMessageHandler(previousHandler_);
        EXPECT_EQ(qtMessages, 0);
    }

    // The sum of the squared samples of the text's rendering, to compare with a recording.
    static double renderedEnergy(const Voice& voice, const std::string& text) {
        const std::string path = test::tempPath("energy.wav");
        EXPECT_TRUE(voice.renderToWav(text, path));
        double sum = 0;
        for (int16_t s : test::readWav(path).value_or(test::WavInfo{}).samples) {
            sum += static_cast<double>(s) * s;
        }
        return sum;
    }

    // Runs events until the voice has played all it was given and released the device.
    static bool waitQuiet(Voice& voice) {
        bool quiet = false;
        voice.output().onQuiet = [&quiet] { quiet = true; };
        const bool done = test::runEventsUntil([&quiet] { return quiet; }, 30000);
        voice.output().onQuiet = nullptr;
        test::runEventsFor(200);
        return done;
    }

    QAudioDevice device_;
    QtMessageHandler previousHandler_ = nullptr;
};

TEST_F(AudioPlaybackTest, SpeechIsPlayedWholeAndTheDeviceReleasedAfterwards) {
    Voice voice([this] { return device_; });
    ASSERT_TRUE(voice.available());
    const std::string closing = "以上です \\Spd=200\\";
    const std::string sender = "差出人 佐藤 \\Spd=200\\";
    const double closingEnergy = renderedEnergy(voice, closing);
    const double senderEnergy = renderedEnergy(voice, sender);
    ASSERT_GT(closingEnergy, 0);

    test::OutputRecorder recorder;
    ASSERT_TRUE(recorder.start());
    ASSERT_TRUE(voice.speak(closing));
    ASSERT_TRUE(voice.speak(sender));
    // Both played out, the device idles but is still open: speech arriving now plays too.
    ASSERT_TRUE(test::runEventsUntil(
        [&] { return recorder.energy() > 0.9 * (closingEnergy + senderEnergy); }, 20000));
    test::runEventsFor(100);
    EXPECT_TRUE(voice.output().open());
    ASSERT_TRUE(voice.speak(closing));
    EXPECT_TRUE(waitQuiet(voice));
    EXPECT_NEAR(recorder.energy() / (2 * closingEnergy + senderEnergy), 1.0, 0.1);
    EXPECT_GT(recorder.peak(), kAudible);
    EXPECT_FALSE(voice.output().open());

    // The device opens again for later speech.
    test::OutputRecorder again;
    ASSERT_TRUE(again.start());
    ASSERT_TRUE(voice.speak(sender));
    EXPECT_TRUE(waitQuiet(voice));
    EXPECT_GT(again.peak(), kAudible);
}

TEST_F(AudioPlaybackTest, ReadingVolumeScalesTheSpeech) {
    Voice voice([this] { return device_; });
    VoiceWaveVolume volume(voice);
    ASSERT_TRUE(volume.hasVolumeControl());
    EXPECT_EQ(volume.volume(), 0xFFFFFFFFu);
    // One mono stream: the channels are averaged. Left full, right silent: half level.
    volume.setVolume(0x0000FFFFu);
    EXPECT_EQ(volume.volume(), 0x80008000u);
    volume.setVolume(4464u * 65536u + 4464u);
    EXPECT_EQ(volume.volume(), 4464u * 65536u + 4464u);
    EXPECT_NEAR(voice.output().volume(), 4464.0 / 65535.0, 1e-9);

    const std::string text = "件名 会議のお知らせ \\Spd=200\\";
    volume.setVolume(0xFFFFFFFFu);
    test::OutputRecorder loud;
    ASSERT_TRUE(loud.start());
    ASSERT_TRUE(voice.speak(text));
    EXPECT_TRUE(waitQuiet(voice));
    volume.setVolume(16384u << 16 | 16384u);
    test::OutputRecorder quiet;
    ASSERT_TRUE(quiet.start());
    ASSERT_TRUE(voice.speak(text));
    EXPECT_TRUE(waitQuiet(voice));

    ASSERT_GT(loud.energy(), 0);
    EXPECT_NEAR(std::sqrt(quiet.energy() / loud.energy()), 0.25, 0.06);
    EXPECT_GT(quiet.peak(), kSilence);
}

TEST_F(AudioPlaybackTest, WithoutAnOutputDeviceSpeechAndArrivalSoundAreSilent) {
    Voice voice([] { return QAudioDevice(); });
    VoiceWaveVolume volume(voice);
    EXPECT_FALSE(volume.hasVolumeControl());
    EXPECT_EQ(volume.volume(), std::nullopt);
    QtArrivalSound sound([] { return QAudioDevice(); });

    test::OutputRecorder recorder;
    ASSERT_TRUE(recorder.start());
    bool quiet = false;
    voice.output().onQuiet = [&quiet] { quiet = true; };
    EXPECT_TRUE(voice.speak("件名 会議のお知らせ \\Spd=200\\"));
    sound.beep();
    EXPECT_FALSE(sound.playing());
    test::runEventsFor(2500);
    EXPECT_LT(recorder.peak(), kSilence);
    EXPECT_FALSE(voice.output().open());
    EXPECT_FALSE(quiet);
}

TEST_F(AudioPlaybackTest, ArrivalSoundPlaysAWaveFileAndABeepAndSkipsBadFilesQuietly) {
    const std::string broken = test::tempPath("broken.wav");
    std::ofstream(broken) << "this is not a sound";
    QtArrivalSound sound([this] { return device_; });
    test::OutputRecorder silence;
    ASSERT_TRUE(silence.start());
    for (const std::string& path : {std::string("/nonexistent/velkora/arrival.wav"), std::string(),
                                    broken, test::tempPath("")}) {
        EXPECT_NO_THROW(sound.playWave(path)) << path;
    }
    EXPECT_FALSE(sound.playing());
    test::runEventsFor(800);
    EXPECT_LT(silence.peak(), kSilence);

    const std::string wave = test::tempPath("arrival.wav");
    ASSERT_TRUE(Voice().renderToWav("メールが届きました \\Spd=200\\", wave));
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
    EXPECT_TRUE(test::runEventsUntil([&] { return !sound.playing(); }, 5000));
}

}  // namespace
}  // namespace velkora
