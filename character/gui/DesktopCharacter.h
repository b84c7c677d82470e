#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "character/CharacterEngine.h"
#include "character/CharacterOptions.h"
#include "character/SpeechOutput.h"
#include "character/TimedSpeech.h"
#include "checker/announce/Character.h"
#include "common/EventLoop.h"
#include "common/SettingsStore.h"

namespace velkora {

class BalloonWindow;
class CharacterOptionsDialog;
class CharacterWindow;

// The reading character of `orvane` on the desktop: a genuine Agent character file, animated
// in its own window, speaking with the voice in its word balloon.
//
//     DesktopCharacter character(loop, speech, store);
//
//  - loop: the program's event loop (a QtEventLoop); the animations run on its timers.
//  - speech: the voice (VoiceSpeech over the Voice, in the voice library).
//  - store: the settings store; the character's own options window keeps its keys there
//    ("CharBalloon", "CharVoice", "CharVoiceSpeed") and touches no others.
// All three outlive the character. Needs a QApplication. Requests return at once and run in
// order; DblClick is raised by a double-click, Hide after every hide (the program's or the
// user's "隠す" on the right-click menu).
class DesktopCharacter final : public Character {
public:
    DesktopCharacter(EventLoop& loop, SpeechOutput& speech, SettingsStore& store);
    ~DesktopCharacter() override;
    DesktopCharacter(const DesktopCharacter&) = delete;
    DesktopCharacter& operator=(const DesktopCharacter&) = delete;

    // Reads and checks the file; false (the reason in loadError()) when it is no character.
    bool load(const std::string& path) override;
    bool loaded() const override;
    const std::string& loadError() const { return loadError_; }

    bool setPosition(ScreenPoint point) override;
    std::optional<ScreenPoint> position() const override;
    // A family that is not installed gives way to a Japanese one that is.
    bool setBalloonFont(const std::string& name, int pointSize) override;

    bool visible() const override;
    bool show() override;
    bool hide() override;
    bool play(const std::string& animation) override;
    bool speak(const std::string& text) override;
    // The character's own options window.
    bool showPropertySheet() override;

    // Plays the sounds of the character's frames (complete RIFF WAVE files); none when unset.
    std::function<void(std::span<const uint8_t>)> playFrameSound;

    // The pieces, for tests.
    CharacterWindow& window() { return *window_; }
    BalloonWindow& balloon() { return *balloon_; }
    CharacterEngine& engine() { return *engine_; }
    CharacterOptionsDialog* optionsDialog() { return dialog_.get(); }

private:
    class View;
    void applyOptions(const CharacterOptions& options);

    SpeechOutput& speech_;
    SettingsStore& store_;
    TimedSpeech silent_;
    CharacterOptions options_;
    std::string loadError_;
    std::unique_ptr<CharacterWindow> window_;
    std::unique_ptr<BalloonWindow> balloon_;
    std::unique_ptr<View> view_;
    std::unique_ptr<CharacterEngine> engine_;
    std::unique_ptr<CharacterOptionsDialog> dialog_;
};

}  // namespace velkora
