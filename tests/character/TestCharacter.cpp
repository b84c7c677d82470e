#include "tests/character/TestCharacter.h"

#include <string>

namespace velkora::test {

namespace {

AcsImage filled(uint16_t width, uint16_t height, uint8_t index, uint8_t border) {
    AcsImage image{width, height, std::vector<uint8_t>(std::size_t{width} * height, index)};
    for (uint16_t x = 0; x < width; ++x) {
        image.pixels[x] = border;
        image.pixels[std::size_t{height - 1u} * width + x] = border;
    }
    return image;
}

AcsFrame frame(std::vector<AcsFrameImage> images, uint16_t duration) {
    AcsFrame f;
    f.images = std::move(images);
    f.duration = duration;
    return f;
}

AcsAnimation animation(std::string name, std::vector<AcsFrame> frames,
                       AcsTransition transition = AcsTransition::None,
                       std::string returnAnimation = {}) {
    AcsAnimation a;
    a.name = std::move(name);
    a.transition = static_cast<uint8_t>(transition);
    a.returnAnimation = std::move(returnAnimation);
    a.frames = std::move(frames);
    return a;
}

AcsOverlay mouth(MouthShape shape, uint16_t image) {
    AcsOverlay o;
    o.mouth = static_cast<uint8_t>(shape);
    o.image = image;
    o.x = 15;
    o.y = 12;
    o.width = 10;
    o.height = 4;
    return o;
}

}  // namespace

std::vector<uint8_t> makeWave(std::size_t samples) {
    std::vector<uint8_t> wave;
    wave.reserve(44 + samples * 2);
    const auto put32 = [&wave](uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            wave.push_back(static_cast<uint8_t>(v >> (8 * i)));
        }
    };
    const auto put16 = [&wave](uint16_t v) {
        wave.push_back(static_cast<uint8_t>(v));
        wave.push_back(static_cast<uint8_t>(v >> 8));
    };
    const auto tag = [&wave](const char* t) {
        for (int i = 0; i < 4; ++i) {
            wave.push_back(static_cast<uint8_t>(t[i]));
        }
    };
    const auto dataSize = static_cast<uint32_t>(samples * 2);
    tag("RIFF");
    put32(36 + dataSize);
    tag("WAVE");
    tag("fmt ");
    put32(16);
    put16(1);
    put16(1);
    put32(22050);
    put32(44100);
    put16(2);
    put16(16);
    tag("data");
    put32(dataSize);
    wave.resize(wave.size() + dataSize, 0);
    return wave;
}

AcsCharacterData makeTestCharacter() {
    AcsCharacterData c;
    AcsCharacterInfo& info = c.info;
    info.minorVersion = 1;
    info.majorVersion = 2;
    info.localized = {{kLangEnglish, "Tester", "A test character", ""},
                      {kLangJapanese, "テスター", "試験用のキャラクター", "extra"}};
    info.guid = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    info.width = 40;
    info.height = 30;
    info.transparentIndex = 0;
    info.animationSetVersion = 0x00020001;
    AcsVoiceInfo voice;
    voice.speed = 150;
    voice.pitch = 120;
    voice.extra = AcsVoiceExtra{kLangJapanese, "標準", 1, 30, "normal"};
    info.voice = voice;
    AcsBalloonInfo balloon;
    balloon.fontName = "ＭＳ Ｐゴシック";
    balloon.background = {255, 255, 200};
    info.balloon = balloon;
    info.palette = {{255, 0, 255}, {0, 0, 0}, {250, 220, 200}, {200, 40, 40}, {40, 40, 200}};
    info.trayIcon = AcsTrayIcon{{1, 2, 3}, {4, 5, 6, 7}};
    info.states = {{"SHOWING", {"SHOW"}},
                   {"Hiding", {"Hide"}},
                   {"Speaking", {"RestPose"}},
                   {"IdlingLevel1", {"Idle1_1", "IDLE1_2", "NoSuchAnimation"}},
                   {"IdlingLevel2", {"Idle2_1"}}};

    c.images = {filled(30, 28, 2, 1),  // 0 body
                filled(10, 4, 1, 1),   // 1 mouth closed
                filled(10, 4, 3, 1),   // 2 mouth wide
                filled(10, 4, 4, 1),   // 3 mouth medium
                filled(6, 6, 3, 1),    // 4 hand
                AcsImage{0, 0, {}}};   // 5 an empty slot
    c.sounds = {makeWave(100)};

    const AcsFrameImage body{0, 5, 1};
    const AcsFrameImage hand{4, 30, 5};
    AcsFrame rest = frame({body}, 20);
    rest.overlays = {mouth(MouthShape::Closed, 1), mouth(MouthShape::Wide2, 2),
                     mouth(MouthShape::Medium, 3)};

    AcsFrame processLoop = frame({body, hand}, 10);
    processLoop.branches = {{1, 100}};
    AcsFrame processMiddle = frame({hand, body}, 10);
    processMiddle.exitFrame = 3;

    AcsFrame waveFirst = frame({body}, 10);
    waveFirst.branches = {{2, 50}};
    AcsFrame waveSound = frame({hand, body}, 10);
    waveSound.sound = 0;

    c.animations = {
        animation("Show", {frame({}, 10), frame({body}, 10)}),
        animation("Hide", {frame({body}, 10), frame({}, 10)}),
        animation("RestPose", {rest}),
        animation("Greet", {frame({hand, body}, 10), frame({body}, 15), frame({hand, body}, 5)},
                  AcsTransition::ReturnAnimation, "GREETRETURN"),
        animation("GreetReturn", {frame({body}, 10)}),
        animation("Process", {frame({body}, 10), processMiddle, processLoop, frame({body}, 10)},
                  AcsTransition::ExitBranches),
        animation("Wave", {waveFirst, waveSound, frame({body}, 10)}),
        animation("Idle1_1", {frame({body}, 50), frame({hand, body}, 50)}),
        animation("Idle1_2", {frame({hand, body}, 40)}),
        animation("Idle2_1", {frame({body}, 100)}),
    };
    return c;
}

}  // namespace velkora::test
