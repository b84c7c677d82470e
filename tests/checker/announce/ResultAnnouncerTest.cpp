#include "checker/announce/ResultAnnouncer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "checker/check/CheckState.h"
#include "checker/shell/MailPopup.h"
#include "tests/checker/announce/AnnounceRig.h"
#include "tests/support/RecordingDialup.h"

namespace velkora::test {
namespace {

using Strings = std::vector<std::string>;

class JournalPopup final : public MailPopup {
public:
    explicit JournalPopup(Strings& journal) : journal_(journal) {}
    void showPopup(int16_t totalMessages) override {
        journal_.push_back("popup " + std::to_string(totalMessages));
    }

private:
    Strings& journal_;
};

// Two mails found, the character loaded hidden; sound, popup and hang-up go to the journal.
struct ResultRig : AnnounceRig {
    ResultRig() {
        sound.observer = [this](const std::string& what) { journal.push_back(what); };
        dialup.observer = [this](const std::string& what) { journal.push_back(what); };
        settings.Wavdir = "/sounds/arrived.wav";
        settings.Option4index = 0;
        addMail("Sales", "Offer", 1, "Buy");
        addMail("太郎", "会議", 2, "明日");
        checkState.totalMessages = 2;
    }

    // Loads the agent and announces through the hook the check cycle is given.
    void announce() {
        loadedAgent();
        ResultAnnouncer(*agentPtr, sound, popup, dialup, settings, checkState).hook()();
    }

    // The journal up to the first animation: everything announceResult does before reading.
    Strings beforeReading() const {
        auto end = std::find_if(journal.begin(), journal.end(), [](const std::string& entry) {
            return entry.starts_with("play ");
        });
        return {journal.begin(), end};
    }

    RecordingArrivalSound sound;
    JournalPopup popup{journal};
    RecordingDialup dialup;
    CheckState checkState;
};

TEST(ResultAnnouncer, SoundPopupHangUpShowThenTheWholeReading) {
    const std::string wave = "wave /sounds/arrived.wav";
    const std::string readingVolume = "setVolume " + std::to_string(30000u * 65537u);
    struct Case {
        const char* name;
        std::function<void(AppSettings&)> set;
        Strings before;
    };
    const Case cases[] = {
        {"all on",
         [](AppSettings& s) { s.Option7value = 1; },
         {wave, "popup 2", "hangup", "show", readingVolume}},
        {"mail arrived suppresses the hang-up",
         [](AppSettings& s) { s.Option7value = s.sOption7value = 1; },
         {wave, "popup 2", "show", readingVolume}},
        {"no popup, no hang-up either",
         [](AppSettings& s) {
             s.Option7value = 1;
             s.Option1value = 0;
         },
         {wave, "show", readingVolume}},
        {"no wave file: the beep",
         [](AppSettings& s) { s.Wavdir.clear(); },
         {"beep", "popup 2", "show", readingVolume}},
        {"only exactly 1 means on",
         [](AppSettings& s) {
             s.Option1value = s.Option2value = 2;
             s.Option7value = 1;
         },
         {"show", readingVolume}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResultRig rig;
        c.set(rig.settings);
        rig.announce();
        EXPECT_EQ(rig.beforeReading(), c.before);
        EXPECT_EQ(rig.spokenTexts().size(), 7u);
        EXPECT_EQ(rig.journal.back(), "setVolume " + std::to_string(AnnounceRig::kUserVolume));
        // It returns only after the pause of the last text.
        EXPECT_EQ(rig.loop.now(), 7 * 2000);
    }
}

TEST(ResultAnnouncer, WithoutACharacterTheRestStillHappens) {
    ResultRig rig;
    rig.character.failLoad = true;
    rig.settings.Option7value = 1;
    rig.announce();
    EXPECT_EQ(rig.journal, (Strings{"wave /sounds/arrived.wav", "popup 2", "hangup"}));
    EXPECT_EQ(rig.loop.now(), 0);
}

}  // namespace
}  // namespace velkora::test
