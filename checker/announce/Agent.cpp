#include "checker/announce/Agent.h"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <system_error>

#include "common/CharacterPlacement.h"
#include "common/Settings.h"

namespace velkora {

namespace {

int16_t clampToInt16(long long value) {
    return static_cast<int16_t>(std::clamp<long long>(value, std::numeric_limits<int16_t>::min(),
                                                      std::numeric_limits<int16_t>::max()));
}

bool fileExists(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    return !error && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

}  // namespace

Agent::Agent(AgentServices services) : s_(services) {
    s_.character.onHide = [this] { onHide(); };
    s_.character.onDblClick = [this] { s_.character.showPropertySheet(); };
}

Agent::~Agent() {
    s_.character.onHide = nullptr;
    s_.character.onDblClick = nullptr;
}

void Agent::loadAgent() {
    if (agentShown_) {
        return;
    }
    if (!fileExists(s_.settings.Agentnm)) {
        s_.messageBoxes.show(MessageIcon::Warning, "Velkora",
                             "エージェントが見つかりません\r\nエージェントを指定して下さい");
        return;
    }
    // A file that is there but is no character leaves the program without one, silently.
    loaded_ = s_.character.load(s_.settings.Agentnm);
    if (!loaded_) {
        return;
    }
    const ScreenPoint point{
        characterPlacementPx(s_.store, "DefLeft", s_.screen.widthPx, s_.screen.twipsPerPixelX),
        characterPlacementPx(s_.store, "DefTop", s_.screen.heightPx, s_.screen.twipsPerPixelY)};
    s_.character.setPosition(point);
    s_.character.setBalloonFont(s_.settings.HukifontN, s_.settings.HukifontS);
    if (s_.settings.Option4index == 1) {
        s_.character.show();
        s_.character.play("Greet");
        agentShown_ = true;
    }
}

void Agent::TalkMail() {
    if (!loaded_) {
        return;
    }
    if (!s_.character.visible()) {
        s_.character.show();
    }
    ReadingVolume volume(*this);
    s_.loop.processPendingEvents();
    FullReadingPlan plan(s_.mailList, s_.settings, s_.store, s_.readingState);
    while (auto step = plan.next()) {
        runStep(*step);
    }
    if (s_.settings.Check5value == 1) {
        s_.character.hide();
        agentShown_ = false;
    }
}

void Agent::talkSingleMail(std::size_t row) {
    if (!loaded_) {
        return;
    }
    if (!s_.character.visible()) {
        s_.character.show();
    }
    ReadingVolume volume(*this);
    const auto steps = singleMailPlan(s_.mailList, row, s_.settings, s_.store, s_.readingState);
    for (const auto& step : steps) {
        runStep(step);
    }
}

void Agent::runStep(const ReadingStep& step) {
    // "Nothing" and names the character lacks fail here; the text is spoken all the same.
    s_.character.play(step.animation);
    speakWait(step.text);
}

void Agent::speakWait(const std::string& text) {
    if (!loaded_) {
        return;
    }
    s_.pause.speakWait(s_.character, text);
}

void Agent::showIfHidden() {
    if (loaded_ && !s_.character.visible()) {
        s_.character.show();
    }
}

void Agent::savePositionAtExit() {
    if (loaded_ && s_.character.visible()) {
        savePosition();
    }
}

void Agent::onHide() {
    agentShown_ = false;
    savePosition();
}

void Agent::savePosition() {
    const auto point = s_.character.position();
    if (!point) {
        return;
    }
    // The keys are 16-bit: a position beyond their range is kept as the nearest value they hold.
    const auto toTwips = [](int pixels, int16_t twipsPerPixel) {
        return std::to_string(
            clampToInt16(static_cast<long long>(pixels) * usableTwipsPerPixel(twipsPerPixel)));
    };
    try {
        s_.store.write("DefLeft", toTwips(point->left, s_.screen.twipsPerPixelX));
        s_.store.write("DefTop", toTwips(point->top, s_.screen.twipsPerPixelY));
    } catch (const SettingsStoreError&) {
        // Runs inside the character's events and at exit: a settings file that cannot be
        // written (disk full, folder gone) costs only the remembered place.
    }
}

uint32_t Agent::getWaveVolume() const {
    if (!s_.waveVolume.hasVolumeControl()) {
        return 0;
    }
    return s_.waveVolume.volume().value_or(0);
}

void Agent::setWaveVolume(uint32_t value) {
    if (s_.waveVolume.hasVolumeControl()) {
        s_.waveVolume.setVolume(value);
    }
}

Agent::ReadingVolume::ReadingVolume(Agent& agent) : agent_(agent) {
    WaveVolume& device = agent_.s_.waveVolume;
    if (!device.hasVolumeControl()) {
        return;
    }
    // A volume that cannot be read cannot be put back; leave the device as the user set it
    // rather than restore a 0 that would mute it.
    saved_ = device.volume();
    if (!saved_) {
        return;
    }
    const uint32_t level = static_cast<uint32_t>(agent_.s_.settings.Volval) & 0xFFFFu;
    agent_.setWaveVolume(level * 65536u + level);
}

Agent::ReadingVolume::~ReadingVolume() {
    if (saved_) {
        agent_.setWaveVolume(*saved_);
    }
}

}  // namespace velkora
