#pragma once

#include <cstdint>
#include <vector>

#include "character/AcsTypes.h"

namespace velkora::angel {

inline constexpr int kWidth = 128;
inline constexpr int kHeight = 160;

// Palette indexes of the drawing; index 0 is the transparent colour.
enum Ink : uint8_t {
    kClear = 0,
    kOutline,
    kSkin,
    kSkinShade,
    kCheek,
    kHairLight,
    kHair,
    kHairShade,
    kHalo,
    kHaloShade,
    kWing,
    kWingShade,
    kWingDeep,
    kDress,
    kDressShade,
    kRibbon,
    kRibbonShade,
    kEyeDark,
    kIris,
    kIrisLight,
    kWhite,
    kMouth,
    kMouthDeep,
    kTongue,
    kBookCover,
    kBookCoverShade,
    kPage,
    kPageLine,
    kSpark,
    kSparkDeep,
    kMark,
    kInkCount
};

std::vector<AcsColor> palette();

enum class Eyes { Open, Half, Closed, Happy, Wide, Down };
enum class Brows { Normal, Raised, Worried, Focused };
enum class Mouth {
    Smile,
    Line,
    SmallO,
    Open,
    BigO,
    Yawn,
    Cat,
    Frown,
    // the speaking shapes, one per overlay
    SpeakClosed,
    SpeakNarrow,
    SpeakMedium,
    SpeakWide1,
    SpeakWide2,
    SpeakWide3,
    SpeakWide4
};
enum class Hand { Open, Fist, Point, Palm };
enum class Effect { None, Question, Exclamation, Idea, Note, Heart, Sleep, Sweat };

struct Arm {
    float shoulder = 20;  // degrees from straight down, positive away from the body
    float elbow = 10;     // bend, positive towards the front/up
    Hand hand = Hand::Open;
};

struct Spark {
    float x = 0;
    float y = 0;
    float size = 3;
};

// Everything that changes from frame to frame. Positions are in pixels of the 128 × 160 box.
struct Pose {
    float x = 0;  // the whole figure
    float y = 0;
    float headTilt = 0;  // degrees, positive leans to her left (our right)
    float headDx = 0;
    float headDy = 0;
    float lookX = 0;  // pupils, -1.5 .. 1.5
    float lookY = 0;
    Eyes eyes = Eyes::Open;
    Brows brows = Brows::Normal;
    Mouth mouth = Mouth::Smile;
    float blush = 0.5f;  // 0 none, 1 strong
    float wings = 0;     // flap, degrees: positive raises the wings
    Arm left;            // her left arm: our right
    Arm right;
    bool book = false;
    float bookOpen = 1;  // 0 shut, 1 open
    float page = 0;      // a page turning, 0 .. 1
    float haloDy = 0;
    float squash = 0;  // crouch, pixels
    Effect effect = Effect::None;
    float effectPhase = 0;  // 0 .. 1, for rising marks
    std::vector<Spark> sparks;
    bool hidden = false;  // nothing drawn
};

// The pose drawn into an image of palette indexes, 128 × 160, rows top down.
AcsImage draw(const Pose& pose);

}  // namespace velkora::angel
