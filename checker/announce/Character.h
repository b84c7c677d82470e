#pragma once

#include <functional>
#include <optional>
#include <string>

namespace velkora {

// Position of the character's top-left corner on screen, in pixels.
struct ScreenPoint {
    int left = 0;
    int top = 0;
};

// The desktop character that reads the mail. Every request returns at once; queued requests
// (show, hide, play, speak) are carried out by the character in order. A request that fails
// returns false; callers ignore failures and go on.
class Character {
public:
    virtual ~Character() = default;

    // Loads the character file; false when it cannot be loaded.
    virtual bool load(const std::string& path) = 0;
    virtual bool loaded() const = 0;

    virtual bool setPosition(ScreenPoint point) = 0;
    virtual std::optional<ScreenPoint> position() const = 0;
    virtual bool setBalloonFont(const std::string& name, int pointSize) = 0;

    virtual bool visible() const = 0;
    virtual bool show() = 0;
    // Queues hiding; the Hide event follows.
    virtual bool hide() = 0;
    // Queues an animation; fails for a name the character lacks ("Nothing" among them).
    virtual bool play(const std::string& animation) = 0;
    // Queues speech; the text may carry speech output tags such as \Spd=n\.
    virtual bool speak(const std::string& text) = 0;
    // Opens the character's own options window.
    virtual bool showPropertySheet() = 0;

    // Events, delivered on the GUI thread.
    std::function<void()> onDblClick;
    std::function<void()> onHide;
};

}  // namespace velkora
