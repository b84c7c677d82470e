#include "checker/announce/Agent.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/checker/announce/AnnounceRig.h"

namespace velkora::test {
namespace {

using Strings = std::vector<std::string>;
using Writes = std::vector<std::pair<std::string, std::string>>;

std::string spd(const std::string& text) {
    return text + " \\Spd=100\\";
}

std::vector<int64_t> timesOf(const std::vector<CharacterCall>& calls) {
    std::vector<int64_t> times;
    for (const auto& call : calls) {
        times.push_back(call.atMs);
    }
    return times;
}

std::string placementAfterLoad(ScreenMetrics screen, const char* left, const char* top) {
    AnnounceRig rig;
    rig.screen = screen;
    if (left != nullptr) {
        rig.store.write("DefLeft", left);
        rig.store.write("DefTop", top);
    }
    rig.makeAgent().loadAgent();
    return rig.character.callsStartingWith("setPosition").at(0).what;
}

class AgentTest : public ::testing::Test, public AnnounceRig {};

TEST_F(AgentTest, LoadPlacesTheCharacterSetsItsFontAndGreets) {
    Agent& agent = makeAgent();
    agent.loadAgent();
    // No stored position: half the screen in twips minus 64, in pixels (955.73, 535.73).
    EXPECT_EQ(character.callNames(),
              (Strings{"load " + characterFile.string(), "setPosition 956,536",
                       "setBalloonFont ＭＳ Ｐゴシック 9", "show", "play Greet"}));
    EXPECT_TRUE(agent.agentShown());
    EXPECT_TRUE(store.writeLog().empty());
    // Shown already: a second load changes nothing.
    character.clearCalls();
    agent.loadAgent();
    EXPECT_TRUE(character.calls().empty());
}

TEST_F(AgentTest, PositionsAreConvertedToPixelsRoundingHalvesToEven) {
    // 12 twips per pixel (120 DPI) puts exact halves within reach: 1.5, 2.5 and -1.5, -0.5.
    const ScreenMetrics dpi120{1920, 1080, 12, 12};
    EXPECT_EQ(placementAfterLoad(dpi120, "18", "30"), "setPosition 2,2");
    EXPECT_EQ(placementAfterLoad(dpi120, "-18", "-6"), "setPosition -2,0");
    // Not a 16-bit number: the default place (954.67, 534.67).
    EXPECT_EQ(placementAfterLoad(dpi120, "abc", "70000"), "setPosition 955,535");
    // The default may be a half twip: at 16 twips per pixel 508.5 -> 508, 509.5 -> 510.
    EXPECT_EQ(placementAfterLoad({1025, 601, 16, 16}, nullptr, nullptr), "setPosition 508,296");
    EXPECT_EQ(placementAfterLoad({1027, 601, 16, 16}, nullptr, nullptr), "setPosition 510,296");
}

TEST_F(AgentTest, WithoutACharacterNothingIsReadAndNothingWaits) {
    settings.Agentnm = characterFile.string() + ".missing";
    addMail("Sales", "Offer", 1, "Buy");
    Agent& agent = makeAgent();
    agent.loadAgent();
    EXPECT_EQ(boxes.texts(),
              Strings{"エージェントが見つかりません\r\nエージェントを指定して下さい"});
    EXPECT_EQ(boxes.boxes.at(0).icon, MessageIcon::Warning);

    agent.TalkMail();
    agent.talkSingleMail(1);
    agent.speakWait("hello");
    agent.showIfHidden();
    agent.savePositionAtExit();
    EXPECT_TRUE(character.calls().empty());
    EXPECT_EQ(loop.now(), 0);
    EXPECT_TRUE(volume.setValues.empty());
    EXPECT_TRUE(store.writeLog().empty());

    // A file that is no character: the same, without the message. A folder is no file.
    AnnounceRig broken;
    broken.character.failLoad = true;
    broken.addMail("Sales", "Offer", 1, "Buy");
    broken.makeAgent().loadAgent();
    broken.agentPtr->TalkMail();
    EXPECT_TRUE(broken.boxes.boxes.empty());
    EXPECT_EQ(broken.character.calls().size(), 1u);
    EXPECT_EQ(broken.loop.now(), 0);
    AnnounceRig folder;
    folder.settings.Agentnm = std::filesystem::temp_directory_path().string();
    folder.makeAgent().loadAgent();
    EXPECT_EQ(folder.boxes.boxes.size(), 1u);
}

TEST_F(AgentTest, FullReadingPlaysSpeaksAndPausesTwoSecondsPerText) {
    settings.Option4index = 0;  // no greeting: hidden until the reading shows it
    Agent& agent = loadedAgent();
    ASSERT_FALSE(character.visible());
    character.userDrags({100, 50});
    addMail("Sales", "Offer", 1, "Buy");
    addMail("太郎", "会議", 1, "明日");

    agent.TalkMail();
    Strings expected{"show", "setVolume " + std::to_string(30000u * 65537u)};
    for (const char* text :
         {"差出人 Sales", "件名 Offer", "Buy", "差出人 太郎", "件名 会議", "明日", "以上です"}) {
        expected.push_back("play Nothing");
        expected.push_back("speak " + spd(text));
    }
    expected.push_back("hide");
    expected.push_back("setVolume " + std::to_string(kUserVolume));
    EXPECT_EQ(journal, expected);
    EXPECT_EQ(timesOf(character.callsStartingWith("speak ")),
              (std::vector<int64_t>{0, 2000, 4000, 6000, 8000, 10000, 12000}));
    // The last text's pause is part of the reading.
    EXPECT_EQ(character.callsStartingWith("hide").at(0).atMs, 14000);
    EXPECT_EQ(loop.now(), 14000);

    // The hide saves the position in twips through the Hide event.
    EXPECT_FALSE(agent.agentShown());
    EXPECT_EQ(store.writeLog(), (Writes{{"DefLeft", "1500"}, {"DefTop", "750"}}));
}

TEST_F(AgentTest, OnlyCheck5valueOneHidesAfterTheReading) {
    settings.Check5value = 2;
    Agent& agent = loadedAgent();
    addMail("Sales", "Offer", 1, "Buy");
    agent.TalkMail();
    EXPECT_TRUE(character.callsStartingWith("hide").empty());
    EXPECT_TRUE(character.callsStartingWith("show").empty());  // already on screen
    EXPECT_TRUE(agent.agentShown());

    // A Hide event that the character delivers later clears agentShown all the same.
    settings.Check5value = 1;
    character.deliverEvent = [this](std::function<void()> event) { loop.post(std::move(event)); };
    agent.TalkMail();
    EXPECT_FALSE(agent.agentShown());
    loop.drain();
    EXPECT_EQ(store.values().count("DefLeft"), 1u);
}

TEST_F(AgentTest, ReadingVolumeUsesTheLowWordOnBothChannelsAndIsRestored) {
    Agent& agent = loadedAgent();
    addMail("Sales", "Offer", 1, "Buy");
    settings.Volval = 70000;
    agent.TalkMail();
    agent.talkSingleMail(1);
    const uint32_t reading = 4464u * 65536u + 4464u;
    EXPECT_EQ(volume.setValues,
              (std::vector<uint32_t>{reading, kUserVolume, reading, kUserVolume}));

    // A volume that cannot be read is left as it is: no reading volume, no muting 0.
    volume.setValues.clear();
    volume.readable = false;
    agent.TalkMail();
    agent.talkSingleMail(1);
    EXPECT_TRUE(volume.setValues.empty());
    EXPECT_EQ(spokenTexts().size(), 2 * (4u + 3u));

    // No device with volume control: nothing changed or restored.
    volume.readable = true;
    volume.controllable = false;
    agent.TalkMail();
    agent.setWaveVolume(5);
    EXPECT_TRUE(volume.setValues.empty());
    EXPECT_EQ(agent.getWaveVolume(), 0u);
}

TEST_F(AgentTest, RefusedSpeechIsNotWaitedForAndFailedPlaysDoNotStopTheText) {
    settings.Actkind = {"Congratulate", "Read", "Unknown", "Nothing", "Read", "Nothing"};
    Agent& agent = loadedAgent();
    addMail("Sales", "Offer", 1, "Buy");
    agent.TalkMail();
    EXPECT_EQ(character.callsStartingWith("play Unknown").size(), 1u);
    EXPECT_EQ(spokenTexts(),
              (Strings{spd("差出人 Sales"), spd("件名 Offer"), spd("Buy"), spd("以上です")}));

    character.failSpeak = true;
    const int64_t before = loop.now();
    agent.TalkMail();
    agent.talkSingleMail(1);
    EXPECT_EQ(loop.now(), before);
    EXPECT_EQ(spokenTexts().size(), 4u + 4u + 3u);
}

TEST_F(AgentTest, EventsKeepBeingHandledDuringThePauses) {
    Agent& agent = loadedAgent();
    addMail("Sales", "Offer", 1, "Buy");
    addMail("second", "s", 1, "b");
    int ticks = 0;
    auto ticker = loop.createTimer();
    ticker->setHandler([&] { ++ticks; });
    ticker->setInterval(500);
    ticker->setEnabled(true);
    // At 1000 the user double-clicks the character; at 5000, during the pause after the first
    // mail's body, a new check resets the list.
    auto click = oneShot(1000, [&] { character.userDoubleClicks(); });
    auto check = oneShot(5000, [&] { mailList.reset(); });

    agent.TalkMail();
    EXPECT_EQ(spokenTexts(),
              (Strings{spd("差出人 Sales"), spd("件名 Offer"), spd("Buy"), spd("以上です")}));
    EXPECT_EQ(loop.now(), 8000);
    EXPECT_EQ(ticks, 15);  // every 500 ms until the reading ends at 8000
    EXPECT_EQ(timesOf(character.callsStartingWith("showPropertySheet")),
              std::vector<int64_t>{1000});
}

TEST_F(AgentTest, TwoReadingsStartedTogetherShareOnePause) {
    settings.Check5value = settings.Check1value = settings.Check3value = 0;
    Agent& agent = loadedAgent();
    addMail("one", "s1", 1, "b1");
    addMail("two", "s2", 1, "b2");
    // A double-click on row 2 starts a second reading 1000 ms into the first one's pause.
    auto second = oneShot(1000, [&] { agent.talkSingleMail(2); });

    agent.TalkMail();
    EXPECT_EQ(spokenTexts(),
              (Strings{spd("差出人 one"), spd("差出人 two"), spd("差出人 two"), spd("以上です")}));
    // The nested pause restarts the shared timer; its tick at 3000 ends both pauses, and the
    // first reading goes on once the second has returned.
    EXPECT_EQ(timesOf(character.callsStartingWith("speak ")),
              (std::vector<int64_t>{0, 1000, 3000, 5000}));
    EXPECT_EQ(loop.now(), 7000);
    // Each reading puts back what it found, so the user's volume survives the nesting.
    EXPECT_EQ(volume.current, kUserVolume);
    EXPECT_EQ(volume.setValues.size(), 4u);
}

TEST_F(AgentTest, SingleMailReadingNeitherHidesNorChangesAgentShown) {
    settings.Option4index = 0;
    settings.Option9value = 1;
    store.write("Aname1", "home");
    Agent& agent = loadedAgent();
    addMail("Sales", "Offer", 1, "Buy");
    agent.talkSingleMail(1);
    EXPECT_EQ(character.callNames(),
              (Strings{"show", "play Read", "speak home宛て", "play Nothing",
                       "speak " + spd("差出人 Sales"), "play Nothing", "speak " + spd("件名 Offer"),
                       "play Nothing", "speak " + spd("Buy")}));
    EXPECT_EQ(loop.now(), 8000);
    EXPECT_TRUE(character.visible());
    EXPECT_FALSE(agent.agentShown());
}

TEST_F(AgentTest, PositionIsSavedInTwipsOnHideAndAtExitWithinSixteenBits) {
    screen = {1920, 1080, 15, 12};
    Agent& agent = loadedAgent();
    character.userDrags({300, 200});
    agent.savePositionAtExit();
    EXPECT_EQ(store.writeLog(), (Writes{{"DefLeft", "4500"}, {"DefTop", "2400"}}));

    // Beyond what the keys hold: the nearest value they do.
    store.clearWriteLog();
    character.userDrags({2500, -3000});
    character.userHides();
    EXPECT_FALSE(agent.agentShown());
    EXPECT_EQ(store.writeLog(), (Writes{{"DefLeft", "32767"}, {"DefTop", "-32768"}}));

    // Hidden at exit: nothing to save. A position that cannot be read is not written.
    store.clearWriteLog();
    agent.savePositionAtExit();
    agent.showIfHidden();
    character.failPosition = true;
    agent.savePositionAtExit();
    EXPECT_TRUE(store.writeLog().empty());
    EXPECT_TRUE(character.visible());

    // A settings file that cannot be written loses only the place, inside the Hide event too.
    character.failPosition = false;
    store.failWrites = true;
    EXPECT_NO_THROW(character.userHides());
    EXPECT_FALSE(agent.agentShown());
    agent.showIfHidden();
    EXPECT_NO_THROW(agent.savePositionAtExit());
}

}  // namespace
}  // namespace velkora::test
