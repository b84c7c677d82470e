#include "character/tools/angel/AngelCharacter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <map>
#include <numbers>
#include <string>

#include "character/tools/angel/AngelArt.h"

namespace velkora::angel {

namespace {

// Frames are shared: a pose drawn twice is stored once.
class Sheet {
public:
    AcsCharacterData data;

    uint32_t image(const AcsImage& image) {
        auto [it, added] =
            index_.try_emplace(image.pixels, static_cast<uint32_t>(data.images.size()));
        if (added) {
            data.images.push_back(image);
        }
        return it->second;
    }

    // The mouth overlays for a pose: each speaking shape drawn over the pose, cut to the box
    // in which any of them differs from the pose's own mouth.
    std::vector<AcsOverlay> mouths(const Pose& pose) {
        static const std::array<std::pair<Mouth, MouthShape>, 7> shapes = {{
            {Mouth::SpeakClosed, MouthShape::Closed},
            {Mouth::SpeakWide1, MouthShape::Wide1},
            {Mouth::SpeakWide2, MouthShape::Wide2},
            {Mouth::SpeakWide3, MouthShape::Wide3},
            {Mouth::SpeakWide4, MouthShape::Wide4},
            {Mouth::SpeakMedium, MouthShape::Medium},
            {Mouth::SpeakNarrow, MouthShape::Narrow},
        }};
        const AcsImage base = draw(pose);
        std::vector<AcsImage> drawn;
        int left = kWidth, top = kHeight, right = -1, bottom = -1;
        for (const auto& [mouth, shape] : shapes) {
            Pose speaking = pose;
            speaking.mouth = mouth;
            drawn.push_back(draw(speaking));
            for (int y = 0; y < kHeight; ++y) {
                for (int x = 0; x < kWidth; ++x) {
                    const std::size_t i = static_cast<std::size_t>(y) * kWidth + x;
                    if (drawn.back().pixels[i] != base.pixels[i]) {
                        left = std::min(left, x);
                        right = std::max(right, x);
                        top = std::min(top, y);
                        bottom = std::max(bottom, y);
                    }
                }
            }
        }
        std::vector<AcsOverlay> overlays;
        if (right < 0) {
            return overlays;
        }
        const auto w = static_cast<uint16_t>(right - left + 1);
        const auto h = static_cast<uint16_t>(bottom - top + 1);
        for (std::size_t k = 0; k < shapes.size(); ++k) {
            AcsImage crop{w, h, std::vector<uint8_t>(std::size_t{w} * h)};
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    crop.pixels[static_cast<std::size_t>(y) * w + x] =
                        drawn[k].pixels[static_cast<std::size_t>(top + y) * kWidth + left + x];
                }
            }
            AcsOverlay overlay;
            overlay.mouth = static_cast<uint8_t>(shapes[k].second);
            overlay.image = static_cast<uint16_t>(image(crop));
            overlay.x = static_cast<int16_t>(left);
            overlay.y = static_cast<int16_t>(top);
            overlay.width = w;
            overlay.height = h;
            overlays.push_back(overlay);
        }
        return overlays;
    }

private:
    std::map<std::vector<uint8_t>, uint32_t> index_;
};

float mix(float a, float b, float t) {
    return a + (b - a) * t;
}

Arm mix(const Arm& a, const Arm& b, float t) {
    return Arm{mix(a.shoulder, b.shoulder, t), mix(a.elbow, b.elbow, t),
               t < 0.5f ? a.hand : b.hand};
}

// In-between pose: numbers blend, everything else switches half way.
Pose mix(const Pose& a, const Pose& b, float t) {
    Pose p = t < 0.5f ? a : b;
    p.x = mix(a.x, b.x, t);
    p.y = mix(a.y, b.y, t);
    p.headTilt = mix(a.headTilt, b.headTilt, t);
    p.headDx = mix(a.headDx, b.headDx, t);
    p.headDy = mix(a.headDy, b.headDy, t);
    p.lookX = mix(a.lookX, b.lookX, t);
    p.lookY = mix(a.lookY, b.lookY, t);
    p.blush = mix(a.blush, b.blush, t);
    p.wings = mix(a.wings, b.wings, t);
    p.left = mix(a.left, b.left, t);
    p.right = mix(a.right, b.right, t);
    p.bookOpen = mix(a.bookOpen, b.bookOpen, t);
    p.haloDy = mix(a.haloDy, b.haloDy, t);
    p.squash = mix(a.squash, b.squash, t);
    p.effectPhase = mix(a.effectPhase, b.effectPhase, t);
    return p;
}

class Animation {
public:
    Animation(Sheet& sheet, std::string name) : sheet_(sheet) { animation_.name = std::move(name); }

    // Adds a frame; returns its index.
    std::size_t add(const Pose& pose, uint16_t duration) {
        AcsFrame frame;
        frame.duration = duration;
        const AcsImage picture = draw(pose);
        const bool empty = std::all_of(picture.pixels.begin(), picture.pixels.end(),
                                       [](uint8_t p) { return p == kClear; });
        if (!empty) {
            frame.images.push_back(AcsFrameImage{sheet_.image(picture), 0, 0});
        }
        animation_.frames.push_back(std::move(frame));
        poses_.push_back(pose);
        return animation_.frames.size() - 1;
    }
    // Frames moving from the last pose to `to` in `steps` steps, ending on `to`.
    std::size_t to(const Pose& to, int steps, uint16_t duration) {
        const Pose from = poses_.back();
        for (int i = 1; i <= steps; ++i) {
            add(mix(from, to, static_cast<float>(i) / static_cast<float>(steps)), duration);
        }
        return animation_.frames.size() - 1;
    }
    const Pose& last() const { return poses_.back(); }
    std::size_t size() const { return animation_.frames.size(); }

    void branch(std::size_t frame, uint16_t target, uint16_t probability) {
        animation_.frames[frame].branches.push_back(AcsBranch{target, probability});
    }
    void exitTo(std::size_t frame, int16_t target) { animation_.frames[frame].exitFrame = target; }
    void sound(std::size_t frame, int16_t sound) { animation_.frames[frame].sound = sound; }
    // Mouth overlays on a frame, so that she can speak in that pose.
    void speaking(std::size_t frame) {
        animation_.frames[frame].overlays = sheet_.mouths(poses_[frame]);
    }
    void returnBy(const std::string& name) {
        animation_.transition = static_cast<uint8_t>(AcsTransition::ReturnAnimation);
        animation_.returnAnimation = name;
    }
    void exitBranches() {
        animation_.transition = static_cast<uint8_t>(AcsTransition::ExitBranches);
    }

    void finish() { sheet_.data.animations.push_back(std::move(animation_)); }

private:
    Sheet& sheet_;
    AcsAnimation animation_;
    std::vector<Pose> poses_;
};

Pose rest() {
    return Pose{};
}

// Sparkles on a ring around (x, y), turned by `turn`.
std::vector<Spark> ring(float x, float y, float radius, int count, float turn, float size) {
    std::vector<Spark> sparks;
    for (int i = 0; i < count; ++i) {
        const float a = turn + 2 * std::numbers::pi_v<float> * static_cast<float>(i) /
                                   static_cast<float>(count);
        sparks.push_back(Spark{x + radius * std::cos(a), y + radius * std::sin(a) * 0.8f, size});
    }
    return sparks;
}

void show(Sheet& sheet) {
    Animation a(sheet, "Show");
    const float heights[] = {-150, -120, -92, -66, -44, -26, -12, -3, 2, 0};
    for (int i = 0; i < 10; ++i) {
        Pose p = rest();
        p.y = heights[i];
        p.wings = i % 2 == 0 ? 24 : -8;
        p.eyes = i < 8 ? Eyes::Happy : Eyes::Open;
        p.mouth = i < 8 ? Mouth::Open : Mouth::Smile;
        p.left = Arm{40, 20};
        p.right = Arm{40, 20};
        p.sparks = {Spark{30, p.y + 120 - static_cast<float>(i) * 4.0f, 4},
                    Spark{100, p.y + 100 + static_cast<float>(i) * 3.0f, 3.5f},
                    Spark{16, p.y + 70, 2.5f}};
        if (i >= 8) {
            p.sparks = ring(64, 100, 56, 5, static_cast<float>(i) * 0.6f, 3.5f);
            p.left = Arm{};
            p.right = Arm{};
            p.squash = i == 8 ? 2 : 0;
        }
        a.add(p, 6);
    }
    a.add(rest(), 10);
    a.sound(0, 0);
    a.speaking(a.size() - 1);
    a.finish();
}

void hide(Sheet& sheet) {
    Animation a(sheet, "Hide");
    Pose p = rest();
    p.eyes = Eyes::Happy;
    p.mouth = Mouth::Open;
    p.right = Arm{120, 30, Hand::Palm};
    a.add(p, 10);
    p.right.elbow = 60;
    a.add(p, 10);
    p.right.elbow = 30;
    a.add(p, 10);
    Pose crouch = rest();
    crouch.squash = 3;
    crouch.wings = 28;
    crouch.eyes = Eyes::Closed;
    crouch.mouth = Mouth::Smile;
    a.add(crouch, 8);
    const float heights[] = {-6, -22, -48, -84, -126};
    for (int i = 0; i < 5; ++i) {
        Pose up = rest();
        up.y = heights[i];
        up.wings = i % 2 == 0 ? -10 : 26;
        up.eyes = Eyes::Happy;
        up.left = Arm{40, 20};
        up.right = Arm{40, 20};
        up.sparks = {Spark{40, 150 - static_cast<float>(i) * 6.0f, 3.5f},
                     Spark{88, 140 - static_cast<float>(i) * 8.0f, 3},
                     Spark{64, 156 - static_cast<float>(i) * 2.0f, 2.5f}};
        a.add(up, 6);
    }
    Pose gone = rest();
    gone.hidden = true;
    a.add(gone, 10);
    a.finish();
}

void restPose(Sheet& sheet) {
    Animation a(sheet, "RestPose");
    a.add(rest(), 10);
    a.speaking(0);
    a.finish();
}

void blink(Sheet& sheet, const std::string& name) {
    Animation a(sheet, name);
    Pose p = rest();
    p.eyes = Eyes::Half;
    a.add(p, 4);
    p.eyes = Eyes::Closed;
    a.add(p, 5);
    p.eyes = Eyes::Half;
    a.add(p, 4);
    a.add(rest(), 10);
    a.speaking(a.size() - 1);
    a.finish();
}

void greet(Sheet& sheet) {
    Animation a(sheet, "Greet");
    a.add(rest(), 5);
    Pose lift = rest();
    lift.right = Arm{70, 60, Hand::Palm};
    lift.eyes = Eyes::Happy;
    a.add(lift, 6);
    Pose up = rest();
    up.right = Arm{110, 70, Hand::Palm};
    up.eyes = Eyes::Happy;
    up.mouth = Mouth::Open;
    up.headTilt = 4;
    up.wings = 10;
    a.add(up, 10);
    for (int i = 0; i < 2; ++i) {
        Pose wave = up;
        wave.right = Arm{110, 25, Hand::Palm};
        a.add(wave, 11);
        a.add(up, 11);
    }
    // A small bow.
    Pose bow = rest();
    bow.headDy = 4;
    bow.headTilt = 0;
    bow.eyes = Eyes::Closed;
    bow.mouth = Mouth::Smile;
    bow.left = Arm{-5, -60};
    bow.right = Arm{-5, -60};
    bow.squash = 2;
    a.to(bow, 2, 8);
    a.add(bow, 30);
    a.to(rest(), 2, 8);
    a.add(rest(), 10);
    a.speaking(a.size() - 1);
    a.finish();
}

void wave(Sheet& sheet) {
    Animation a(sheet, "Wave");
    a.add(rest(), 5);
    Pose lift = rest();
    lift.right = Arm{70, 60, Hand::Palm};
    a.add(lift, 6);
    // The forearm swings from upright to out and back, the hand beside her head.
    Pose up = rest();
    up.right = Arm{110, 70, Hand::Palm};
    up.mouth = Mouth::Open;
    up.eyes = Eyes::Happy;
    up.headTilt = -4;
    a.add(up, 10);
    for (int i = 0; i < 3; ++i) {
        Pose out = up;
        out.right = Arm{110, 25, Hand::Palm};
        out.wings = 6;
        out.headTilt = -2;
        a.add(out, 11);
        a.add(up, 11);
    }
    Pose smile = up;
    smile.eyes = Eyes::Open;
    smile.mouth = Mouth::Smile;
    a.add(smile, 15);
    a.add(lift, 6);
    a.add(rest(), 10);
    a.speaking(a.size() - 1);
    a.finish();
}

void congratulate(Sheet& sheet) {
    Animation a(sheet, "Congratulate");
    a.add(rest(), 5);
    Pose crouch = rest();
    crouch.squash = 3;
    crouch.left = Arm{20, -70};
    crouch.right = Arm{20, -70};
    crouch.eyes = Eyes::Happy;
    a.add(crouch, 8);
    for (int hop = 0; hop < 2; ++hop) {
        Pose up = rest();
        up.y = -10;
        up.left = Arm{135, 5, Hand::Palm};
        up.right = Arm{135, 5, Hand::Palm};
        up.wings = 28;
        up.eyes = Eyes::Happy;
        up.mouth = Mouth::Open;
        up.blush = 1;
        up.sparks = ring(64, 70, 54, 6, static_cast<float>(hop) * 0.5f, 4.5f);
        a.add(up, 10);
        up.y = -12;
        up.wings = -6;
        up.sparks = ring(64, 70, 58, 6, static_cast<float>(hop) * 0.5f + 0.5f, 3);
        a.add(up, 10);
        Pose land = up;
        land.y = 0;
        land.squash = 2;
        land.wings = 10;
        land.sparks = ring(64, 80, 60, 6, static_cast<float>(hop) * 0.5f + 0.25f, 2);
        a.add(land, 8);
    }
    Pose happy = rest();
    happy.eyes = Eyes::Happy;
    happy.mouth = Mouth::Open;
    happy.left = Arm{25, -95};
    happy.right = Arm{25, -95};
    happy.blush = 1;
    a.add(happy, 30);
    a.to(rest(), 2, 8);
    a.speaking(a.size() - 1);
    a.finish();
}

Pose reading(float open, float look) {
    Pose p = rest();
    p.book = true;
    p.bookOpen = open;
    p.left = Arm{4, 0};
    p.right = Arm{4, 0};
    p.eyes = Eyes::Down;
    p.lookX = look;
    p.headDy = 1;
    p.headTilt = 2;
    return p;
}

void read(Sheet& sheet) {
    Animation a(sheet, "Read");
    a.add(rest(), 5);
    Pose spark = reading(0, 0);
    spark.eyes = Eyes::Open;
    spark.sparks = {Spark{64, 110, 6}, Spark{46, 98, 3}, Spark{84, 102, 3}};
    a.add(spark, 8);
    a.add(reading(0, 0), 8);
    a.add(reading(0.6f, 0), 6);
    a.add(reading(1, -1), 20);
    a.add(reading(1, 0), 15);
    a.add(reading(1, 1), 15);
    Pose turn = reading(1, 1);
    turn.page = 0.3f;
    a.add(turn, 6);
    turn.page = 0.7f;
    a.add(turn, 6);
    a.add(reading(1, -1), 20);
    a.add(reading(1, 0), 10);
    a.speaking(a.size() - 1);
    a.returnBy("ReadReturn");
    a.finish();

    Animation back(sheet, "ReadReturn");
    back.add(reading(0.5f, 0), 6);
    Pose shut = reading(0, 0);
    shut.eyes = Eyes::Open;
    back.add(shut, 8);
    Pose gone = rest();
    gone.sparks = {Spark{64, 110, 5}, Spark{50, 102, 2.5f}, Spark{80, 104, 2.5f}};
    back.add(gone, 8);
    back.add(rest(), 10);
    back.speaking(back.size() - 1);
    back.finish();
}

void explain(Sheet& sheet) {
    // One hand held out, palm up, at the height of her shoulder; the other at her chest.
    Pose out = rest();
    out.right = Arm{85, 40, Hand::Palm};
    out.left = Arm{20, -75};
    out.headTilt = 5;
    out.lookX = 1;
    out.brows = Brows::Raised;
    out.wings = 4;
    Animation a(sheet, "Explain");
    a.add(rest(), 5);
    a.to(out, 3, 6);
    Pose point = out;
    point.right = Arm{95, 30, Hand::Palm};
    point.headTilt = 7;
    point.eyes = Eyes::Happy;
    a.add(point, 20);
    a.add(out, 15);
    a.speaking(a.size() - 1);
    a.returnBy("ExplainReturn");
    a.finish();

    Animation back(sheet, "ExplainReturn");
    back.add(mix(out, rest(), 0.5f), 7);
    back.add(rest(), 10);
    back.speaking(back.size() - 1);
    back.finish();
}

void pleased(Sheet& sheet) {
    Animation a(sheet, "Pleased");
    a.add(rest(), 5);
    Pose hands = rest();
    hands.left = Arm{30, -105};
    hands.right = Arm{30, -105};
    hands.eyes = Eyes::Happy;
    hands.mouth = Mouth::Cat;
    hands.blush = 1;
    a.to(hands, 2, 6);
    for (int i = 0; i < 2; ++i) {
        Pose sway = hands;
        sway.headTilt = -6;
        sway.x = -1;
        sway.effect = Effect::Heart;
        sway.effectPhase = 0.3f + 0.3f * static_cast<float>(i);
        a.add(sway, 15);
        sway.headTilt = 6;
        sway.x = 1;
        sway.effectPhase += 0.15f;
        a.add(sway, 15);
    }
    a.add(hands, 15);
    a.to(rest(), 2, 7);
    a.speaking(a.size() - 1);
    a.finish();
}

void surprised(Sheet& sheet) {
    Animation a(sheet, "Surprised");
    a.add(rest(), 4);
    Pose jump = rest();
    jump.y = -6;
    jump.eyes = Eyes::Wide;
    jump.mouth = Mouth::BigO;
    jump.wings = 30;
    jump.left = Arm{70, 50, Hand::Palm};
    jump.right = Arm{70, 50, Hand::Palm};
    jump.haloDy = -3;
    jump.effect = Effect::Exclamation;
    jump.brows = Brows::Raised;
    a.add(jump, 8);
    Pose hold = jump;
    hold.y = -2;
    hold.haloDy = 0;
    hold.wings = 18;
    hold.effectPhase = 0.5f;
    a.add(hold, 40);
    Pose settle = rest();
    settle.mouth = Mouth::Line;
    settle.effect = Effect::Sweat;
    settle.brows = Brows::Worried;
    settle.left = Arm{30, -20};
    settle.right = Arm{30, -20};
    a.add(settle, 20);
    settle.effectPhase = 0.6f;
    a.add(settle, 15);
    a.to(rest(), 1, 8);
    a.speaking(a.size() - 1);
    a.finish();
}

Pose thinking(float phase) {
    Pose p = rest();
    p.right = Arm{150, 20, Hand::Fist};
    p.headTilt = 6;
    p.lookX = -1.5f;
    p.lookY = -1.5f;
    p.mouth = Mouth::Line;
    p.brows = Brows::Focused;
    p.effect = Effect::Question;
    p.effectPhase = phase;
    return p;
}

void think(Sheet& sheet) {
    Animation a(sheet, "Think");
    a.add(rest(), 5);
    Pose start = thinking(0);
    start.effect = Effect::None;
    a.to(start, 3, 6);
    a.add(thinking(0), 15);
    a.add(thinking(0.4f), 15);
    a.add(thinking(0.8f), 15);
    Pose more = thinking(0.8f);
    more.lookX = 1.5f;
    a.add(more, 20);
    a.add(thinking(0.4f), 15);
    a.speaking(a.size() - 1);
    a.returnBy("ThinkReturn");
    a.finish();

    Animation back(sheet, "ThinkReturn");
    Pose idea = thinking(0);
    idea.effect = Effect::Idea;
    idea.eyes = Eyes::Wide;
    idea.mouth = Mouth::SmallO;
    idea.brows = Brows::Raised;
    back.add(idea, 25);
    back.add(mix(idea, rest(), 0.5f), 7);
    back.add(rest(), 10);
    back.speaking(back.size() - 1);
    back.finish();
}

void lookAround(Sheet& sheet) {
    Animation a(sheet, "Idle1_1");
    a.add(rest(), 10);
    Pose left = rest();
    left.lookX = -1.5f;
    left.headTilt = -3;
    a.add(left, 70);
    a.add(rest(), 30);
    Pose right = rest();
    right.lookX = 1.5f;
    right.headTilt = 3;
    a.add(right, 70);
    Pose blink = right;
    blink.eyes = Eyes::Closed;
    a.add(blink, 8);
    a.add(right, 30);
    a.add(rest(), 20);
    a.speaking(a.size() - 1);
    a.finish();
}

void hover(Sheet& sheet) {
    Animation a(sheet, "Idle1_2");
    const float ys[] = {0, -1, -2, -3, -2, -1};
    const float wings[] = {0, 8, 14, 8, 0, -6};
    for (int cycle = 0; cycle < 2; ++cycle) {
        for (int i = 0; i < 6; ++i) {
            Pose p = rest();
            p.y = ys[i];
            p.wings = wings[i];
            p.haloDy = -ys[i] * 0.5f;
            a.add(p, 12);
        }
    }
    a.add(rest(), 10);
    a.speaking(a.size() - 1);
    a.finish();
}

void hum(Sheet& sheet) {
    Animation a(sheet, "Idle1_3");
    a.add(rest(), 10);
    for (int i = 0; i < 3; ++i) {
        Pose p = rest();
        p.eyes = Eyes::Happy;
        p.mouth = Mouth::Cat;
        p.effect = Effect::Note;
        p.headTilt = i % 2 == 0 ? -5 : 5;
        p.x = i % 2 == 0 ? -1 : 1;
        p.effectPhase = 0.3f * static_cast<float>(i);
        a.add(p, 30);
    }
    a.add(rest(), 15);
    a.speaking(a.size() - 1);
    a.finish();
}

void stretch(Sheet& sheet) {
    Animation a(sheet, "Idle2_1");
    a.add(rest(), 10);
    Pose up = rest();
    up.left = Arm{165, 5, Hand::Fist};
    up.right = Arm{165, 5, Hand::Fist};
    up.eyes = Eyes::Closed;
    up.mouth = Mouth::Yawn;
    up.wings = 30;
    up.y = -2;
    a.to(up, 3, 8);
    a.add(up, 60);
    Pose down = rest();
    down.eyes = Eyes::Half;
    down.mouth = Mouth::Line;
    a.to(down, 3, 8);
    a.add(down, 40);
    a.add(rest(), 20);
    a.speaking(a.size() - 1);
    a.finish();
}

void preen(Sheet& sheet) {
    Animation a(sheet, "Idle2_2");
    a.add(rest(), 10);
    Pose look = rest();
    look.headTilt = 7;
    look.lookX = 1.5f;
    look.lookY = 1;
    look.eyes = Eyes::Half;
    look.wings = 10;
    a.to(look, 2, 10);
    for (int i = 0; i < 2; ++i) {
        Pose flap = look;
        flap.wings = 26;
        a.add(flap, 10);
        a.add(look, 10);
    }
    Pose pleased = look;
    pleased.eyes = Eyes::Happy;
    pleased.mouth = Mouth::Cat;
    a.add(pleased, 40);
    a.to(rest(), 2, 10);
    a.speaking(a.size() - 1);
    a.finish();
}

Pose asleep(float phase) {
    Pose p = rest();
    p.eyes = Eyes::Closed;
    p.mouth = Mouth::SmallO;
    p.headTilt = -7;
    p.headDy = 2;
    p.wings = -10;
    p.left = Arm{5, -40};
    p.right = Arm{5, -40};
    p.effect = Effect::Sleep;
    p.effectPhase = phase;
    // Slow breathing: she sinks a little and rises again.
    p.y = 2 + std::sin(phase * 2 * std::numbers::pi_v<float>) * 1.2f;
    p.wings = -10 + std::sin(phase * 2 * std::numbers::pi_v<float>) * 4;
    return p;
}

void sleep(Sheet& sheet) {
    Animation a(sheet, "Idle3_1");
    a.add(rest(), 10);
    Pose drowsy = rest();
    drowsy.eyes = Eyes::Half;
    a.add(drowsy, 40);
    Pose nod = asleep(0);
    nod.effect = Effect::None;
    a.add(mix(drowsy, nod, 0.5f), 30);
    a.add(nod, 30);
    // The loop: frames 4..7, back to 4 for ever; every frame leaves by waking up at 8.
    const std::size_t first = a.add(asleep(0), 40);
    a.add(asleep(0.35f), 40);
    a.add(asleep(0.7f), 40);
    const std::size_t last = a.add(asleep(1.0f), 40);
    a.branch(last, static_cast<uint16_t>(first), 100);
    Pose waking = rest();
    waking.eyes = Eyes::Half;
    waking.effect = Effect::Exclamation;
    waking.brows = Brows::Raised;
    const std::size_t wake = a.add(waking, 15);
    a.add(rest(), 10);
    for (std::size_t f = first; f <= last; ++f) {
        a.exitTo(f, static_cast<int16_t>(wake));
    }
    a.exitBranches();
    a.speaking(a.size() - 1);
    a.finish();
}

void nod(Sheet& sheet, const std::string& name, bool yes) {
    Animation a(sheet, name);
    a.add(rest(), 4);
    for (int i = 0; i < 2; ++i) {
        Pose p = rest();
        if (yes) {
            p.headDy = 4;
            p.eyes = Eyes::Closed;
        } else {
            p.headTilt = i == 0 ? -8 : 8;
            p.mouth = Mouth::Frown;
            p.brows = Brows::Worried;
        }
        a.add(p, 10);
        Pose back = rest();
        if (!yes) {
            back.headTilt = i == 0 ? 8 : -8;
            back.mouth = Mouth::Frown;
            back.brows = Brows::Worried;
        }
        a.add(back, 10);
    }
    a.add(rest(), 10);
    a.speaking(a.size() - 1);
    a.finish();
}

void sad(Sheet& sheet) {
    Animation a(sheet, "Sad");
    a.add(rest(), 5);
    Pose down = rest();
    down.eyes = Eyes::Down;
    down.brows = Brows::Worried;
    down.mouth = Mouth::Frown;
    down.headDy = 3;
    down.wings = -14;
    down.haloDy = 2;
    down.left = Arm{8, -20};
    down.right = Arm{8, -20};
    down.blush = 0.2f;
    a.to(down, 3, 8);
    a.add(down, 80);
    a.to(rest(), 2, 10);
    a.speaking(a.size() - 1);
    a.finish();
}

void getAttention(Sheet& sheet) {
    Animation a(sheet, "GetAttention");
    a.add(rest(), 4);
    Pose lift = rest();
    lift.left = Arm{70, 60, Hand::Palm};
    lift.right = Arm{70, 60, Hand::Palm};
    a.add(lift, 6);
    // Both hands up beside her head, waving in turn.
    for (int i = 0; i < 4; ++i) {
        Pose p = rest();
        const bool even = i % 2 == 0;
        p.left = Arm{110, even ? 70.0f : 25.0f, Hand::Palm};
        p.right = Arm{110, even ? 25.0f : 70.0f, Hand::Palm};
        p.mouth = Mouth::Open;
        p.wings = even ? 20 : 4;
        p.y = even ? -3 : 0;
        p.effect = Effect::Exclamation;
        p.effectPhase = 0.25f * static_cast<float>(i);
        p.brows = Brows::Raised;
        a.add(p, 12);
    }
    a.add(lift, 6);
    a.add(rest(), 8);
    a.speaking(a.size() - 1);
    a.finish();
}

void suggest(Sheet& sheet) {
    Animation a(sheet, "Suggest");
    a.add(rest(), 5);
    Pose idea = rest();
    idea.right = Arm{150, 10, Hand::Point};
    idea.effect = Effect::Idea;
    idea.eyes = Eyes::Wide;
    idea.mouth = Mouth::Open;
    idea.brows = Brows::Raised;
    a.to(idea, 2, 6);
    a.add(idea, 40);
    Pose smile = idea;
    smile.eyes = Eyes::Happy;
    smile.effectPhase = 0.5f;
    a.add(smile, 30);
    a.to(rest(), 2, 8);
    a.speaking(a.size() - 1);
    a.finish();
}

// A short chime of three rising notes, as a 16-bit mono RIFF WAVE file.
std::vector<uint8_t> chime() {
    constexpr int rate = 22050;
    const double notes[] = {1046.5, 1318.5, 1568.0};
    const int length = rate * 8 / 10;
    std::vector<double> mixed(length, 0.0);
    for (int n = 0; n < 3; ++n) {
        const int start = n * rate / 10;
        for (int i = start; i < length; ++i) {
            const double t = static_cast<double>(i - start) / rate;
            mixed[i] += 0.22 * std::sin(2 * std::numbers::pi * notes[n] * t) * std::exp(-t * 6) *
                        std::min(1.0, t * 200);
        }
    }
    std::vector<uint8_t> wave;
    const auto put = [&wave](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            wave.push_back(static_cast<uint8_t>(v >> (8 * i)));
        }
    };
    const auto tag = [&wave](const char* t) {
        for (int i = 0; i < 4; ++i) {
            wave.push_back(static_cast<uint8_t>(t[i]));
        }
    };
    const uint32_t dataSize = static_cast<uint32_t>(length * 2);
    tag("RIFF");
    put(36 + dataSize, 4);
    tag("WAVE");
    tag("fmt ");
    put(16, 4);
    put(1, 2);
    put(1, 2);
    put(rate, 4);
    put(rate * 2, 4);
    put(2, 2);
    put(16, 2);
    tag("data");
    put(dataSize, 4);
    for (double v : mixed) {
        put(static_cast<uint16_t>(static_cast<int16_t>(std::clamp(v, -1.0, 1.0) * 32767)), 2);
    }
    return wave;
}

}  // namespace

AcsCharacterData makeAngelCharacter() {
    Sheet sheet;
    AcsCharacterInfo& info = sheet.data.info;
    info.minorVersion = 0;
    info.majorVersion = 2;
    info.localized = {
        {kLangJapanese, "ミカ",
         "天使のミカです。メールが届くと、吹き出しと声で読み上げてお知らせします。", ""},
        {kLangEnglish, "Micha",
         "Micha, a small angel who reads your new mail aloud in her balloon.", ""}};
    info.guid = {0x6d, 0x69, 0x63, 0x68, 0x61, 0x2d, 0x76, 0x65,
                 0x6c, 0x6b, 0x6f, 0x72, 0x61, 0x2d, 0x30, 0x31};
    info.width = kWidth;
    info.height = kHeight;
    info.transparentIndex = kClear;
    info.animationSetVersion = 0x00020000;
    AcsBalloonInfo balloon;
    balloon.lines = 3;
    balloon.charsPerLine = 36;
    balloon.text = {60, 40, 60};
    balloon.background = {255, 252, 246};
    balloon.border = {74, 46, 62};
    balloon.fontName = "ＭＳ Ｐゴシック";
    balloon.fontHeight = -12;
    info.balloon = balloon;
    info.palette = palette();
    info.states = {{"Showing", {"Show"}},
                   {"Hiding", {"Hide"}},
                   {"Speaking", {"RestPose"}},
                   {"Listening", {"RestPose"}},
                   {"IdlingLevel1", {"Idle1_1", "Idle1_2", "Idle1_3", "Blink"}},
                   {"IdlingLevel2", {"Idle2_1", "Idle2_2", "Idle1_2"}},
                   {"IdlingLevel3", {"Idle3_1"}}};
    sheet.data.sounds.push_back(chime());

    restPose(sheet);
    show(sheet);
    hide(sheet);
    greet(sheet);
    congratulate(sheet);
    read(sheet);
    wave(sheet);
    explain(sheet);
    pleased(sheet);
    surprised(sheet);
    think(sheet);
    blink(sheet, "Blink");
    lookAround(sheet);
    hover(sheet);
    hum(sheet);
    stretch(sheet);
    preen(sheet);
    sleep(sheet);
    nod(sheet, "Acknowledge", true);
    nod(sheet, "Decline", false);
    sad(sheet);
    getAttention(sheet);
    suggest(sheet);
    return sheet.data;
}

}  // namespace velkora::angel
