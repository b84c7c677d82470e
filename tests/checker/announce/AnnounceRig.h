#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "checker/announce/Agent.h"
#include "checker/announce/ReadingPlan.h"
#include "checker/announce/SpeechPause.h"
#include "checker/check/MailList.h"
#include "common/AppSettings.h"
#include "common/MemorySettingsStore.h"
#include "tests/support/RecordingAnnounceDevices.h"
#include "tests/support/RecordingCharacter.h"
#include "tests/support/RecordingMessageBoxes.h"
#include "tests/support/SimulatedEventLoop.h"

namespace velkora::test {

// The announcement's world in virtual time, with a character file on disk. The character's
// and the volume's calls also go to one journal, to check the order across the fakes.
struct AnnounceRig {
    static constexpr uint32_t kUserVolume = 0x12345678u;

    SimulatedEventLoop loop;
    std::vector<std::string> journal;
    MemorySettingsStore store;
    AppSettings settings;
    MailList mailList;
    RecordingCharacter character{[this] { return loop.now(); }};
    RecordingWaveVolume volume{kUserVolume};
    RecordingMessageBoxes boxes;
    SpeechPause pause{loop};
    ReadingState readingState;
    ScreenMetrics screen{1920, 1080, 15, 15};
    std::filesystem::path characterFile;
    std::unique_ptr<Agent> agentPtr;

    AnnounceRig() {
        static int serial = 0;
        characterFile =
            std::filesystem::temp_directory_path() /
            ("velkora-rig-" + std::to_string(::getpid()) + "-" + std::to_string(serial++) + ".acs");
        std::ofstream(characterFile) << "character";
        settings.Agentnm = characterFile.string();
        character.observer = [this](const std::string& what) { journal.push_back(what); };
        volume.observer = [this](const std::string& what) { journal.push_back(what); };
    }
    ~AnnounceRig() {
        std::error_code ignored;
        std::filesystem::remove(characterFile, ignored);
    }

    Agent& makeAgent() {
        agentPtr =
            std::make_unique<Agent>(AgentServices{character, volume, boxes, loop, store, settings,
                                                  mailList, pause, readingState, screen});
        return *agentPtr;
    }

    // A loaded agent, with the load's own calls cleared from the records.
    Agent& loadedAgent() {
        makeAgent().loadAgent();
        character.clearCalls();
        journal.clear();
        return *agentPtr;
    }

    void addMail(const std::string& sender, const std::string& subject, int account,
                 const std::string& body) {
        mailList.addRow({sender, subject, static_cast<int16_t>(account), body}, AccountColours{});
    }

    // Runs fn once, ms into the virtual time.
    std::unique_ptr<Timer> oneShot(int ms, std::function<void()> fn) {
        auto timer = loop.createTimer();
        timer->setHandler([raw = timer.get(), fn = std::move(fn)] {
            raw->setEnabled(false);
            fn();
        });
        timer->setInterval(ms);
        timer->setEnabled(true);
        return timer;
    }

    std::vector<std::string> spokenTexts() const {
        std::vector<std::string> texts;
        for (const auto& call : character.callsStartingWith("speak ")) {
            texts.push_back(call.what.substr(6));
        }
        return texts;
    }
};

}  // namespace velkora::test
