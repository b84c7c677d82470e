#pragma once

#include <string>
#include <vector>

#include "common/SettingsStore.h"

namespace velkora {

// The outcome of loading a character file for the preview.
struct PreviewLoad {
    bool loaded = false;
    std::string reason;                       // why the file was refused, for the user
    std::vector<std::string> animationNames;  // in the character's own order
};

// The options dialog's own character: shown where the checker shows it, and playing the
// animations that the action lists name.
class AgentPreview {
public:
    virtual ~AgentPreview() = default;

    // Loads the file in place of the current character. A refused file keeps the current one.
    virtual PreviewLoad load(const std::string& path) = 0;
    // Shows the loaded character with its top-left corner at the point, in pixels.
    virtual void showAt(int leftPx, int topPx) = 0;
    // Plays an animation of the loaded character; unknown names and no character are ignored.
    virtual void play(const std::string& animation) = 0;
};

// The screen as the preview's placement needs it.
struct PreviewScreen {
    int widthPx = 1024;
    int heightPx = 768;
    int twipsPerPixelX = 15;
    int twipsPerPixelY = 15;
};

struct PreviewPoint {
    int left = 0;
    int top = 0;
};

// Where the checker keeps its character: "DefLeft"/"DefTop" (twips) in pixels, rounded to the
// nearest; absent or unreadable values give half the screen in twips minus 64.
PreviewPoint previewPosition(const SettingsStore& store, const PreviewScreen& screen);

}  // namespace velkora
