#include "checker/announce/voice/VoiceCharacter.h"

#include <gtest/gtest.h>

#include <QAudioDevice>
#include <fstream>
#include <string>

#include "checker/announce/voice/Voice.h"
#include "tests/checker/announce/voice/VoiceTestSupport.h"
#include "tests/support/SimulatedEventLoop.h"

namespace velkora {
namespace {

std::string characterFile() {
    const std::string path = test::tempPath("reader.acs");
    std::ofstream(path) << "character";
    return path;
}

class VoiceCharacterTest : public testing::Test {
protected:
    test::SimulatedEventLoop loop;
    Voice voice{[] { return QAudioDevice(); }};
};

TEST_F(VoiceCharacterTest, WorksOnlyOnceLoadedAndHasNoAnimations) {
    VoiceCharacter character(voice, loop);
    // Missing, no name, and a folder, which is no character file.
    for (const std::string& path :
         {std::string("/nonexistent/velkora/reader.acs"), std::string(), test::tempPath("")}) {
        EXPECT_FALSE(character.load(path)) << path;
    }
    EXPECT_FALSE(character.setPosition({10, 20}));
    EXPECT_EQ(character.position(), std::nullopt);
    EXPECT_FALSE(character.setBalloonFont("ＭＳ Ｐゴシック", 9));
    EXPECT_FALSE(character.show());
    EXPECT_FALSE(character.hide());
    EXPECT_FALSE(character.speak("以上です \\Spd=100\\"));
    EXPECT_EQ(loop.pendingPostedCount(), 0u);

    const std::string file = characterFile();
    ASSERT_TRUE(character.load(file));
    EXPECT_EQ(character.fileName(), file);
    EXPECT_TRUE(character.setPosition({-30, 700}));
    EXPECT_EQ(character.position().value_or(ScreenPoint{}).left, -30);
    EXPECT_TRUE(character.setBalloonFont("ＭＳ Ｐゴシック", 9));
    EXPECT_EQ(character.balloonFontSize(), 9);
    EXPECT_TRUE(character.show());
    EXPECT_TRUE(character.visible());
    for (const char* animation : {"Nothing", "Greet", "Read"}) {
        EXPECT_FALSE(character.play(animation)) << animation;
    }
    EXPECT_FALSE(character.showPropertySheet());
}

TEST_F(VoiceCharacterTest, HideRaisesOnHideAsALaterEvent) {
    int hides = 0;
    bool visibleDuringEvent = true;
    {
        VoiceCharacter character(voice, loop);
        ASSERT_TRUE(character.load(characterFile()));
        character.onHide = [&] {
            ++hides;
            visibleDuringEvent = character.visible();
        };
        ASSERT_TRUE(character.show());
        EXPECT_TRUE(character.hide());
        EXPECT_EQ(hides, 0);
        loop.drain();
        EXPECT_EQ(hides, 1);
        EXPECT_FALSE(visibleDuringEvent);
        // A character gone before its event leaves the event with no one to tell.
        EXPECT_TRUE(character.hide());
    }
    loop.drain();
    EXPECT_EQ(hides, 1);
}

TEST(VoiceCharacterSpeech, SpeechGoesToTheVoice) {
    if (!test::ensureAudioServer()) {
        GTEST_SKIP() << "the pulseaudio program is needed for a private output";
    }
    const QAudioDevice device = test::testOutputDevice();
    ASSERT_FALSE(device.isNull());
    test::SimulatedEventLoop loop;
    Voice voice([device] { return device; });
    VoiceCharacter character(voice, loop);
    ASSERT_TRUE(character.load(characterFile()));

    test::OutputRecorder recorder;
    ASSERT_TRUE(recorder.start());
    bool quiet = false;
    voice.output().onQuiet = [&quiet] { quiet = true; };
    EXPECT_TRUE(character.speak("差出人 佐藤 \\Spd=200\\"));
    EXPECT_TRUE(test::runEventsUntil([&quiet] { return quiet; }, 30000));
    voice.output().onQuiet = nullptr;
    EXPECT_GT(recorder.peak(), 1000);
}

}  // namespace
}  // namespace velkora
