#pragma once

#include <string>

#include "character/gui/CharacterPreview.h"
#include "options/AgentPreview.h"

namespace velkora {

// The options dialog's preview on the character engine: the chosen file's own character, on
// the desktop where the checker will show it.
class CharacterAgentPreview final : public AgentPreview {
public:
    PreviewLoad load(const std::string& path) override {
        const CharacterLoadResult result = character_.load(path);
        return {result.ok, result.error, result.animationNames};
    }
    void showAt(int leftPx, int topPx) override { character_.showAt(leftPx, topPx); }
    void play(const std::string& animation) override { character_.play(animation); }

private:
    CharacterPreview character_;
};

}  // namespace velkora
