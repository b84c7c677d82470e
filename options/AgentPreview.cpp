#include "options/AgentPreview.h"

#include "common/CharacterPlacement.h"

namespace velkora {

PreviewPoint previewPosition(const SettingsStore& store, const PreviewScreen& screen) {
    return {characterPlacementPx(store, "DefLeft", screen.widthPx, screen.twipsPerPixelX),
            characterPlacementPx(store, "DefTop", screen.heightPx, screen.twipsPerPixelY)};
}

}  // namespace velkora
