#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "checker/announce/Character.h"
#include "checker/announce/ReadingPlan.h"
#include "checker/announce/SpeechPause.h"
#include "checker/announce/WaveVolume.h"
#include "checker/check/MailList.h"
#include "common/AppSettings.h"
#include "common/EventLoop.h"
#include "common/MessageBox.h"
#include "common/SettingsStore.h"

namespace velkora {

// The screen as the character's placement needs it, taken once at start-up.
struct ScreenMetrics {
    int widthPx = 1024;
    int heightPx = 768;
    int16_t twipsPerPixelX = 15;
    int16_t twipsPerPixelY = 15;
};

// Everything the character's controller works with; all of it outlives the controller.
struct AgentServices {
    Character& character;
    WaveVolume& waveVolume;
    MessageBoxes& messageBoxes;
    EventLoop& loop;
    SettingsStore& store;
    const AppSettings& settings;
    const MailList& mailList;
    SpeechPause& pause;
    ReadingState& readingState;
    ScreenMetrics screen;
};

// The reading character: loads and places it, runs the readings on it with their volume and
// pauses, and keeps its position in the store. Failures of the character are ignored and the
// next request is made; with no character loaded the readings do nothing at all.
class Agent {
public:
    explicit Agent(AgentServices services);
    ~Agent();
    Agent(const Agent&) = delete;
    Agent& operator=(const Agent&) = delete;

    // Loads the character file of "Agentnm", places it at "DefLeft"/"DefTop", sets the balloon
    // font and, with "Option4index" 1, shows it and greets. Does nothing once it is shown.
    void loadAgent();

    // The full reading of the mail list. Returns after the pause of its last step.
    void TalkMail();
    // The reading of one row of the mail list (a double-click in the list window).
    void talkSingleMail(std::size_t row);

    // Speaks one text and pauses; no pause when the character refuses the text.
    void speakWait(const std::string& text);

    // Shows the character unless it is on screen already.
    void showIfHidden();
    // The position save at program exit: only a loaded character on screen has one to keep.
    void savePositionAtExit();

    bool agentShown() const { return agentShown_; }
    bool characterLoaded() const { return loaded_; }

    // The output volume (left channel low word, right channel high word); 0 when there is no
    // device with volume control or the volume cannot be read.
    uint32_t getWaveVolume() const;
    // Sets the output volume when a device offers volume control; otherwise does nothing.
    void setWaveVolume(uint32_t value);

private:
    // The reading volume for the length of one reading. The volume found before is kept per
    // reading, so a reading nested in the pause of another restores what it found and the outer
    // one still restores the user's own volume.
    class ReadingVolume {
    public:
        explicit ReadingVolume(Agent& agent);
        ~ReadingVolume();
        ReadingVolume(const ReadingVolume&) = delete;
        ReadingVolume& operator=(const ReadingVolume&) = delete;

    private:
        Agent& agent_;
        std::optional<uint32_t> saved_;
    };

    void runStep(const ReadingStep& step);
    void onHide();
    void savePosition();

    AgentServices s_;
    bool loaded_ = false;
    bool agentShown_ = false;
};

}  // namespace velkora
