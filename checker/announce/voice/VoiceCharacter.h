#pragma once

#include <optional>
#include <string>

#include "checker/announce/Character.h"
#include "common/EventLoop.h"

namespace velkora {

class Voice;

// The reading character as far as this program has one today: it speaks with the voice and
// keeps its place, balloon font and visibility, but has no picture yet, so there is nothing
// on screen, no animation and no options window of its own. Until a character file is loaded
// every request fails, like a character that is not there.
class VoiceCharacter final : public Character {
public:
    // The voice and the loop outlive the character; events are posted to the loop.
    VoiceCharacter(Voice& voice, EventLoop& loop);
    ~VoiceCharacter() override;

    // Succeeds when the path names an existing file; the file is not read yet.
    bool load(const std::string& path) override;
    bool loaded() const override { return loaded_; }

    bool setPosition(ScreenPoint point) override;
    std::optional<ScreenPoint> position() const override;
    bool setBalloonFont(const std::string& name, int pointSize) override;

    bool visible() const override { return loaded_ && visible_; }
    bool show() override;
    // Hides at once; onHide follows as a later event of the loop.
    bool hide() override;
    // Fails for every name: the character's animations come with its picture.
    bool play(const std::string& animation) override;
    bool speak(const std::string& text) override;
    // Fails: there is no options window of the character's own yet.
    bool showPropertySheet() override;

    const std::string& fileName() const { return path_; }
    const std::string& balloonFontName() const { return fontName_; }
    int balloonFontSize() const { return fontSize_; }

private:
    Voice& voice_;
    EventLoop& loop_;
    bool loaded_ = false;
    bool visible_ = false;
    std::string path_;
    ScreenPoint position_;
    std::string fontName_;
    int fontSize_ = 0;
    // Posted events check it, so that none reaches a character that is gone.
    std::shared_ptr<bool> alive_;
};

}  // namespace velkora
