// The character file reader over arbitrary bytes, and what the program then does with a file
// it accepted: names, states, every image and sound, and the first frames composed.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "character/AcsFile.h"
#include "character/FrameComposer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const velkora::AcsParseResult result =
        velkora::parseAcs(std::vector<uint8_t>(data, data + size));
    if (!result.file) {
        return 0;
    }
    const velkora::AcsFile& file = *result.file;
    file.name();
    file.description();
    for (const char* state : {"Showing", "Hiding", "Speaking", "IdlingLevel1"}) {
        file.stateAnimations(state);
    }
    std::size_t composed = 0;
    for (const velkora::AcsAnimation& animation : file.animations()) {
        file.findAnimation(animation.name);
        for (const velkora::AcsFrame& frame : animation.frames) {
            if (composed++ < 16) {
                velkora::composeFrame(file, frame,
                                      frame.overlays.empty() ? nullptr : &frame.overlays.front());
            }
        }
    }
    for (std::size_t i = 0; i < std::min<std::size_t>(file.imageCount(), 64); ++i) {
        file.image(i);
    }
    for (std::size_t i = 0; i < std::min<std::size_t>(file.soundCount(), 64); ++i) {
        file.sound(i);
    }
    return 0;
}
