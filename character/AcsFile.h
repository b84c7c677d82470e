#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "character/AcsTypes.h"

namespace velkora {

// A decoded image, or why it could not be decoded.
struct AcsImageResult {
    std::shared_ptr<const AcsImage> image;
    std::string error;  // empty when image is set
};

// A character file that has been read and checked. The animations, states and character
// information are read at once; images are decoded when first asked for and then kept.
// Not for concurrent use.
class AcsFile {
public:
    struct Location {
        uint32_t offset = 0;
        uint32_t size = 0;
    };

    const AcsCharacterInfo& info() const { return info_; }
    const std::vector<AcsAnimation>& animations() const { return animations_; }
    // The animation of that name, compared without regard to ASCII case, or null.
    const AcsAnimation* findAnimation(std::string_view name) const;
    // The animations of a state (e.g. "Showing", any case) that the file has, as the animation
    // list spells them; empty when the state is not defined.
    std::vector<std::string> stateAnimations(std::string_view state) const;

    // The character's name and description: Japanese first, then English, then any language.
    std::string name() const;
    std::string description() const;

    std::size_t imageCount() const { return images_.size(); }
    std::size_t soundCount() const { return sounds_.size(); }
    // The image, decoded on first use and kept. An unused slot too small to hold an image
    // header (genuine files have them) gives an empty image; damaged image data an error.
    AcsImageResult image(std::size_t index) const;
    // The complete RIFF WAVE file of a sound, or nothing when it is missing or no WAVE file.
    std::optional<std::span<const uint8_t>> sound(std::size_t index) const;
    // Bytes held for decoded images, for measuring.
    std::size_t decodedImageBytes() const;
    std::size_t fileSize() const { return bytes_.size(); }

private:
    friend class AcsParser;
    AcsFile() = default;

    std::vector<uint8_t> bytes_;
    AcsCharacterInfo info_;
    std::vector<AcsAnimation> animations_;
    std::unordered_map<std::string, std::size_t> animationIndex_;  // lower-case name
    std::vector<Location> images_;
    std::vector<Location> sounds_;
    mutable std::vector<AcsImageResult> imageCache_;
};

struct AcsParseResult {
    std::shared_ptr<const AcsFile> file;
    std::string error;  // why the file was refused; empty when file is set
};

// Reads a whole character file from memory. Every offset, size and count is checked against
// the data: a foreign, damaged or truncated file, an Agent 1.5 file (an OLE compound document)
// and the split .acf form are refused with the reason. Never reads outside the data.
AcsParseResult parseAcs(std::vector<uint8_t> bytes);

// Reads the file at path and parses it; a file that cannot be read is refused too.
AcsParseResult loadAcsFile(const std::string& path);

// ASCII lower case, the form in which animation and state names are compared.
std::string foldAcsName(std::string_view name);

}  // namespace velkora
