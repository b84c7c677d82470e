#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The contents of an Agent 2.0 character file (.acs), as the reader gives them and the writer
// takes them. Texts are UTF-8 here (UTF-16 in the file); numbers keep the file's widths.
namespace velkora {

inline constexpr uint32_t kAcsSignature = 0xABCDABC3;
// Style flags of the character information.
inline constexpr uint32_t kAcsStyleVoice = 0x20;
inline constexpr uint32_t kAcsStyleBalloon = 0x200;

// A colour as the file's RGBQUAD holds it (blue, green, red, reserved on disk).
struct AcsColor {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    bool operator==(const AcsColor&) const = default;
};

// Windows language identifiers; only the primary language (low 10 bits) is compared.
inline constexpr uint16_t kLangJapanese = 0x0411;
inline constexpr uint16_t kLangEnglish = 0x0409;

struct AcsLocalizedInfo {
    uint16_t languageId = 0;
    std::string name;
    std::string description;
    std::string extra;
    bool operator==(const AcsLocalizedInfo&) const = default;
};

using AcsGuid = std::array<uint8_t, 16>;

struct AcsVoiceExtra {
    uint16_t languageId = 0;
    std::string dialect;
    uint16_t gender = 0;
    uint16_t age = 0;
    std::string style;
    bool operator==(const AcsVoiceExtra&) const = default;
};

struct AcsVoiceInfo {
    AcsGuid engine{};
    AcsGuid mode{};
    uint32_t speed = 0;
    uint16_t pitch = 0;
    std::optional<AcsVoiceExtra> extra;
    bool operator==(const AcsVoiceInfo&) const = default;
};

// The word balloon's look as the character's author chose it.
struct AcsBalloonInfo {
    uint8_t lines = 2;
    uint8_t charsPerLine = 32;
    AcsColor text{0, 0, 0};
    AcsColor background{255, 255, 225};
    AcsColor border{0, 0, 0};
    std::string fontName;
    // LOGFONT-style height: negative is the character height in pixels.
    int32_t fontHeight = -12;
    int32_t fontWeight = 400;
    uint8_t italic = 0;
    uint8_t unknown = 0;
    bool operator==(const AcsBalloonInfo&) const = default;
};

// The notification-area icon: two device-independent bitmaps, kept as the file holds them.
struct AcsTrayIcon {
    std::vector<uint8_t> mask;
    std::vector<uint8_t> color;
    bool operator==(const AcsTrayIcon&) const = default;
};

// A state the engine plays by itself (Showing, Speaking, IdlingLevel1...) and its animations.
struct AcsState {
    std::string name;
    std::vector<std::string> animations;
    bool operator==(const AcsState&) const = default;
};

struct AcsCharacterInfo {
    uint16_t minorVersion = 0;
    uint16_t majorVersion = 2;
    std::vector<AcsLocalizedInfo> localized;
    AcsGuid guid{};
    uint16_t width = 0;
    uint16_t height = 0;
    uint8_t transparentIndex = 0;
    // kAcsStyleVoice and kAcsStyleBalloon are set by the writer from `voice` and `balloon`.
    uint32_t styleFlags = 0;
    uint32_t animationSetVersion = 0;
    std::optional<AcsVoiceInfo> voice;
    std::optional<AcsBalloonInfo> balloon;
    std::vector<AcsColor> palette;
    std::optional<AcsTrayIcon> trayIcon;
    std::vector<AcsState> states;
    bool operator==(const AcsCharacterInfo&) const = default;
};

struct AcsFrameImage {
    uint32_t image = 0;  // index into the image list
    int16_t x = 0;
    int16_t y = 0;
    bool operator==(const AcsFrameImage&) const = default;
};

struct AcsBranch {
    uint16_t frame = 0;
    uint16_t probability = 0;  // percent
    bool operator==(const AcsBranch&) const = default;
};

// Mouth shapes of the overlays, in the file's numbering.
enum class MouthShape : uint8_t {
    Closed = 0,
    Wide1 = 1,
    Wide2 = 2,
    Wide3 = 3,
    Wide4 = 4,
    Medium = 5,
    Narrow = 6,
};

struct AcsOverlay {
    uint8_t mouth = 0;  // a MouthShape value
    bool replaceTopImage = false;
    uint16_t image = 0;
    uint8_t unknown = 0;
    int16_t x = 0;
    int16_t y = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    std::optional<std::vector<uint8_t>> region;
    bool operator==(const AcsOverlay&) const = default;
};

struct AcsFrame {
    std::vector<AcsFrameImage> images;  // drawn last to first: the first is on top
    int16_t sound = -1;                 // index into the audio list, -1 for none
    uint16_t duration = 10;             // in 1/100 s
    int16_t exitFrame = -1;             // -1 for none
    std::vector<AcsBranch> branches;
    std::vector<AcsOverlay> overlays;
    bool operator==(const AcsFrame&) const = default;
};

enum class AcsTransition : uint8_t {
    ReturnAnimation = 0,
    ExitBranches = 1,
    None = 2,
};

struct AcsAnimation {
    std::string name;
    uint8_t transition = static_cast<uint8_t>(AcsTransition::None);  // an AcsTransition value
    std::string returnAnimation;
    std::vector<AcsFrame> frames;
    bool operator==(const AcsAnimation&) const = default;
};

// An 8-bit palette image, rows top to bottom, `width` bytes per row (no padding).
struct AcsImage {
    uint16_t width = 0;
    uint16_t height = 0;
    std::vector<uint8_t> pixels;
    bool operator==(const AcsImage&) const = default;
};

// Everything the writer needs for a whole file.
struct AcsCharacterData {
    AcsCharacterInfo info;
    std::vector<AcsAnimation> animations;
    std::vector<AcsImage> images;
    // Complete RIFF WAVE files.
    std::vector<std::vector<uint8_t>> sounds;
};

}  // namespace velkora
