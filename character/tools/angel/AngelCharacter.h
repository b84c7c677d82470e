#pragma once

#include "character/AcsTypes.h"

namespace velkora::angel {

// The whole default character: ミカ, a small angel, with her animations, states, mouth
// overlays, balloon and sound.
AcsCharacterData makeAngelCharacter();

}  // namespace velkora::angel
