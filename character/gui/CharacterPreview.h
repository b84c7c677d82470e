#pragma once

#include <memory>
#include <string>
#include <vector>

namespace velkora {

class AcsFile;
class CharacterEngine;
class CharacterWindow;
class QtEventLoop;

// The result of loading a character file for the preview.
struct CharacterLoadResult {
    bool ok = false;
    // Why the file was refused (in Japanese, for the user); empty when ok.
    std::string error;
    // Every animation name of the file, in the file's order; empty when not ok.
    std::vector<std::string> animationNames;
};

// The options program's preview of a character file: load it, learn its animation names or
// why it was refused, show it at a pixel position, play its animations, hide it.
//
//     CharacterPreview preview;                       // needs a QApplication
//     CharacterLoadResult r = preview.load(path);
//     if (!r.ok) { show r.error; }                    // the previous character stays
//     else { fill the lists with r.animationNames; preview.showAt(left, top); }
//     preview.play("Greet");                          // false for an unknown name, ignore it
//     preview.hide();
//
// The character runs its own animations (showing, idling) on the Qt event loop, as on the
// desktop, but has no voice and no balloon. The user can drag it; a double-click does
// nothing and the right-click menu's "隠す" hides it.
class CharacterPreview {
public:
    CharacterPreview();
    ~CharacterPreview();
    CharacterPreview(const CharacterPreview&) = delete;
    CharacterPreview& operator=(const CharacterPreview&) = delete;

    // Replaces the character with the file's (hiding the old one), or, when the file is
    // refused, keeps the old one as it was and returns the reason.
    CharacterLoadResult load(const std::string& path);
    bool loaded() const;
    // The loaded character's animation names, in the file's order.
    std::vector<std::string> animationNames() const;

    // Places the character's top-left corner at (left, top) in pixels and shows it with its
    // Showing animation; false when nothing is loaded.
    bool showAt(int left, int top);
    // Queues the animation; false when nothing is loaded or the name is unknown ("Nothing").
    bool play(const std::string& animation);
    // Hides the character (with its Hiding animation).
    void hide();
    // Whether it is on screen or about to be.
    bool visible() const;

    CharacterWindow& window();

private:
    class View;
    std::unique_ptr<QtEventLoop> loop_;
    std::unique_ptr<CharacterWindow> window_;
    std::unique_ptr<View> view_;
    std::unique_ptr<CharacterEngine> engine_;
};

}  // namespace velkora
