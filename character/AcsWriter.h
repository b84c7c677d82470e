#pragma once

#include <cstdint>
#include <vector>

#include "character/AcsTypes.h"

namespace velkora {

struct AcsWriteOptions {
    // Images in the file's compression (smaller, and what genuine files mostly hold).
    bool compressImages = true;
};

// Writes a whole Agent 2.0 character file. The style flags for the voice and balloon blocks
// follow from whether `info.voice` and `info.balloon` are set. Images are stored as the format
// keeps them: bottom-up rows padded to four bytes. Index references are written as given; the
// reader checks them.
std::vector<uint8_t> writeAcs(const AcsCharacterData& character, AcsWriteOptions options = {});

}  // namespace velkora
