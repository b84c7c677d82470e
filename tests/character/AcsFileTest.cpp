#include <gtest/gtest.h>

#include <random>

#include "character/AcsFile.h"
#include "character/AcsWriter.h"
#include "character/FrameComposer.h"
#include "tests/character/TestCharacter.h"

namespace velkora {
namespace {

std::shared_ptr<const AcsFile> parsed(const std::vector<uint8_t>& bytes) {
    AcsParseResult result = parseAcs(bytes);
    EXPECT_TRUE(result.error.empty()) << result.error;
    return result.file;
}

std::string refusal(std::vector<uint8_t> bytes) {
    AcsParseResult result = parseAcs(std::move(bytes));
    EXPECT_EQ(result.file, nullptr);
    return result.error;
}

void put32(std::vector<uint8_t>& bytes, std::size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + static_cast<std::size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
    }
}

uint32_t get32(const std::vector<uint8_t>& bytes, std::size_t at) {
    return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
           static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

TEST(AcsFileTest, WrittenFilesReadBackEqualCompressedOrNot) {
    const AcsCharacterData data = test::makeTestCharacter();
    for (bool compress : {true, false}) {
        SCOPED_TRACE(compress ? "compressed" : "raw");
        auto file = parsed(writeAcs(data, {compress}));
        ASSERT_NE(file, nullptr);
        AcsCharacterInfo expected = data.info;
        expected.styleFlags = kAcsStyleVoice | kAcsStyleBalloon;
        EXPECT_EQ(file->info(), expected);
        EXPECT_EQ(file->animations(), data.animations);
        ASSERT_EQ(file->imageCount(), data.images.size());
        for (std::size_t i = 0; i < data.images.size(); ++i) {
            const AcsImageResult image = file->image(i);
            ASSERT_NE(image.image, nullptr) << image.error;
            EXPECT_EQ(*image.image, data.images[i]) << "image " << i;
        }
        ASSERT_EQ(file->soundCount(), 1u);
        const auto sound = file->sound(0);
        ASSERT_TRUE(sound.has_value());
        EXPECT_EQ(std::vector<uint8_t>(sound->begin(), sound->end()), data.sounds[0]);
    }
}

TEST(AcsFileTest, NamesAndStatesAreFoundAsAgentFindsThem) {
    auto file = parsed(writeAcs(test::makeTestCharacter()));
    ASSERT_NE(file, nullptr);
    // Japanese before English, whatever the order in the file.
    EXPECT_EQ(file->name(), "テスター");
    EXPECT_EQ(file->description(), "試験用のキャラクター");
    ASSERT_NE(file->findAnimation("gReEt"), nullptr);
    EXPECT_EQ(file->findAnimation("gReEt")->name, "Greet");
    EXPECT_EQ(file->findAnimation("Nothing"), nullptr);
    EXPECT_EQ(file->stateAnimations("showing"), std::vector<std::string>{"Show"});
    // Names missing from the file are left out; capitals follow the animation list.
    EXPECT_EQ(file->stateAnimations("IdlingLevel1"),
              (std::vector<std::string>{"Idle1_1", "Idle1_2"}));
    EXPECT_TRUE(file->stateAnimations("Listening").empty());
}

TEST(AcsFileTest, ForeignAndOlderFilesAreRefusedWithTheirReason) {
    EXPECT_NE(refusal({}).find("ではありません"), std::string::npos);
    EXPECT_NE(refusal({0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1}).find("Agent 1.5"),
              std::string::npos);
    EXPECT_NE(refusal({0xC4, 0xAB, 0xCD, 0xAB, 0, 0, 0, 0}).find(".acf"), std::string::npos);
    EXPECT_NE(refusal({'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'}).find("ではありません"),
              std::string::npos);
}

TEST(AcsFileTest, EveryTruncationIsRefused) {
    const std::vector<uint8_t> whole = writeAcs(test::makeTestCharacter());
    for (std::size_t length = 0; length < whole.size(); ++length) {
        std::vector<uint8_t> cut(whole.begin(),
                                 whole.begin() + static_cast<std::ptrdiff_t>(length));
        AcsParseResult result = parseAcs(std::move(cut));
        ASSERT_EQ(result.file, nullptr) << "cut at " << length;
        ASSERT_FALSE(result.error.empty());
    }
}

TEST(AcsFileTest, DamagedReferencesAndCountsAreRefused) {
    const std::vector<uint8_t> whole = writeAcs(test::makeTestCharacter());
    // The image list: a count far beyond its block.
    {
        std::vector<uint8_t> bytes = whole;
        put32(bytes, get32(bytes, 20), 0x10000000);
        EXPECT_NE(refusal(bytes).find("画像一覧"), std::string::npos);
    }
    // The audio list's locator beyond the end of the file.
    {
        std::vector<uint8_t> bytes = whole;
        put32(bytes, 28, static_cast<uint32_t>(bytes.size()) - 4);
        EXPECT_NE(refusal(bytes).find("ファイルの外"), std::string::npos);
    }
    // A frame that names an image the file does not have: the list holds one image fewer.
    {
        std::vector<uint8_t> bytes = whole;
        const uint32_t imageList = get32(bytes, 20);
        put32(bytes, imageList, 4);
        EXPECT_NE(refusal(bytes).find("無い画像"), std::string::npos);
    }
}

TEST(AcsFileTest, DamagedImageDataFailsThatImageOnly) {
    AcsCharacterData data = test::makeTestCharacter();
    std::vector<uint8_t> bytes = writeAcs(data);
    const uint32_t imageList = get32(bytes, 20);
    // Image 0's data: header of 10 bytes, then the stream; cut the stream's length short.
    const uint32_t image0 = get32(bytes, imageList + 4);
    put32(bytes, image0 + 6, 3);
    auto file = parsed(bytes);
    ASSERT_NE(file, nullptr);
    const AcsImageResult broken = file->image(0);
    EXPECT_EQ(broken.image, nullptr);
    EXPECT_FALSE(broken.error.empty());
    ASSERT_NE(file->image(1).image, nullptr);
    // The frame is still drawn from what can be decoded, and the fault reported.
    const ComposedFrame frame = composeFrame(*file, file->findAnimation("Greet")->frames[0]);
    EXPECT_EQ(frame.errors.size(), 1u);
    EXPECT_TRUE(frame.opaqueAt(30, 5));  // the hand
}

TEST(AcsFileTest, RandomDamageNeverCrashes) {
    const std::vector<uint8_t> whole = writeAcs(test::makeTestCharacter());
    std::mt19937 random(1234);
    int loaded = 0;
    for (int round = 0; round < 2000; ++round) {
        std::vector<uint8_t> bytes = whole;
        const int flips = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < flips; ++i) {
            bytes[random() % bytes.size()] = static_cast<uint8_t>(random());
        }
        AcsParseResult result = parseAcs(std::move(bytes));
        ASSERT_NE(result.file == nullptr, result.error.empty());
        if (!result.file) {
            continue;
        }
        ++loaded;
        for (const auto& animation : result.file->animations()) {
            for (const auto& frame : animation.frames) {
                composeFrame(*result.file, frame,
                             frame.overlays.empty() ? nullptr : &frame.overlays.back());
            }
        }
    }
    // Most single flips land in pixel data: the file loads and only images suffer.
    EXPECT_GT(loaded, 100);
}

TEST(AcsFileTest, FramesComposeWithTheFirstImageOnTopAndMouthsInPlace) {
    auto file = parsed(writeAcs(test::makeTestCharacter()));
    ASSERT_NE(file, nullptr);
    const auto& rest = file->findAnimation("RestPose")->frames[0];
    const ComposedFrame plain = composeFrame(*file, rest);
    ASSERT_EQ(plain.width, 40);
    ASSERT_EQ(plain.height, 30);
    EXPECT_FALSE(plain.opaqueAt(0, 0));
    EXPECT_EQ(plain.pixels[13u * 40 + 20], 0xFFFAdcc8u);  // skin inside the body
    const ComposedFrame wide = composeFrame(*file, rest, &rest.overlays[1]);
    EXPECT_EQ(wide.pixels[13u * 40 + 20], 0xFFC82828u);  // the wide mouth's red
    // Greet frame 0: the hand (image 4, listed first) lies over the body's edge at x 30..34.
    const auto& greet = file->findAnimation("Greet")->frames[0];
    const ComposedFrame both = composeFrame(*file, greet);
    EXPECT_EQ(both.pixels[7u * 40 + 32], 0xFFC82828u);
}

}  // namespace
}  // namespace velkora
