#include "checker/announce/ResultAnnouncer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "checker/check/CheckState.h"
#include "tests/checker/announce/AnnounceRig.h"
#include "tests/support/RecordingDialup.h"

namespace velkora::test {
namespace {

class ResultAnnouncerTest : public ::testing::Test, public AnnounceRig {
protected:
    ResultAnnouncerTest() {
        sound.observer = [this](const std::string& what) { journal.push_back(what); };
        dialup.observer = [this](const std::string& what) { journal.push_back(what); };
        settings.Wavdir = "/sounds/arrived.wav";
        settings.Option4index = 0;  // loaded hidden
        addMail("Sales", "Offer", 1, "Buy");
        addMail("太郎", "会議", 2, "明日");
        checkState.totalMessages = 2;
    }

    ResultAnnouncer& announcer() {
        loadedAgent();
        announcer_ = std::make_unique<ResultAnnouncer>(*agentPtr, sound, popup, dialup, settings,
                                                       checkState);
        return *announcer_;
    }

    // The journal up to the first animation: everything announceResult does before reading.
    std::vector<std::string> beforeReading() const {
        auto end = std::find_if(journal.begin(), journal.end(), [](const std::string& entry) {
            return entry.rfind("play ", 0) == 0;
        });
        return {journal.begin(), end};
    }

    RecordingArrivalSound sound;
    JournalPopup popup{journal};
    RecordingDialup dialup;
    CheckState checkState;
    std::unique_ptr<ResultAnnouncer> announcer_;
    const std::string readingVolume = "setVolume " + std::to_string(30000u * 65537u);
    const std::string userVolume = "setVolume " + std::to_string(kUserVolume);
};

TEST_F(ResultAnnouncerTest, SoundPopupHangUpShowThenTheWholeReading) {
    settings.Option7value = 1;
    announcer().announceResult();
    EXPECT_EQ(beforeReading(), (std::vector<std::string>{"wave /sounds/arrived.wav", "popup 2",
                                                         "hangup", "show", readingVolume}));
    EXPECT_EQ(spokenTexts().size(), 7u);
    EXPECT_EQ(journal.back(), userVolume);
    // It returns only after the pause of the last text.
    EXPECT_EQ(loop.now(), 7 * 2000);
}

TEST_F(ResultAnnouncerTest, MailArrivedSuppressesTheHangUp) {
    settings.Option7value = 1;
    settings.sOption7value = 1;
    announcer().announceResult();
    EXPECT_EQ(beforeReading(), (std::vector<std::string>{"wave /sounds/arrived.wav", "popup 2",
                                                         "show", readingVolume}));
}

TEST_F(ResultAnnouncerTest, WithoutPopupThereIsNoHangUpEither) {
    settings.Option1value = 0;
    settings.Option7value = 1;
    announcer().announceResult();
    EXPECT_EQ(beforeReading(),
              (std::vector<std::string>{"wave /sounds/arrived.wav", "show", readingVolume}));

    // Only exactly 1 means on.
    journal.clear();
    settings.Option1value = 2;
    settings.Option2value = 2;
    announcer_->announceResult();
    EXPECT_EQ(beforeReading(), (std::vector<std::string>{"show", readingVolume}));
}

TEST_F(ResultAnnouncerTest, EmptyWaveFileMeansTheBeepAndNoSoundMeansNeither) {
    settings.Wavdir.clear();
    settings.Check5value = 0;  // stays on screen: no second show
    ResultAnnouncer& result = announcer();
    result.announceResult();
    EXPECT_EQ(beforeReading(),
              (std::vector<std::string>{"beep", "popup 2", "show", readingVolume}));

    journal.clear();
    settings.Option2value = 0;
    checkState.totalMessages = 3;
    result.hook()();
    EXPECT_EQ(beforeReading(), (std::vector<std::string>{"popup 3", readingVolume}));
    EXPECT_EQ(sound.sounds, (std::vector<std::string>{"beep"}));
}

TEST_F(ResultAnnouncerTest, WithoutACharacterTheRestStillHappens) {
    character.failLoad = true;
    settings.Option7value = 1;
    announcer().announceResult();
    EXPECT_EQ(journal, (std::vector<std::string>{"wave /sounds/arrived.wav", "popup 2", "hangup"}));
    EXPECT_EQ(loop.now(), 0);
}

TEST(ArrivalSound, PlaysTheWaveFileOrBeepsOnlyWhenSwitchedOn) {
    AppSettings settings;
    RecordingArrivalSound sound;
    settings.Wavdir = "/a b/チャイム.wav";
    playArrivalSound(settings, sound);
    settings.Wavdir.clear();
    playArrivalSound(settings, sound);
    settings.Option2value = 0;
    playArrivalSound(settings, sound);
    settings.Wavdir = "/x.wav";
    playArrivalSound(settings, sound);
    EXPECT_EQ(sound.sounds, (std::vector<std::string>{"wave /a b/チャイム.wav", "beep"}));
}

}  // namespace
}  // namespace velkora::test
