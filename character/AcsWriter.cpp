#include "character/AcsWriter.h"

#include <algorithm>
#include <string_view>

#include "character/AcsCompression.h"
#include "character/AcsText.h"

namespace velkora {

namespace {

class Output {
public:
    std::size_t size() const { return bytes_.size(); }

    void u8(uint8_t v) { bytes_.push_back(v); }
    void u16(uint16_t v) {
        u8(static_cast<uint8_t>(v));
        u8(static_cast<uint8_t>(v >> 8));
    }
    void i16(int16_t v) { u16(static_cast<uint16_t>(v)); }
    void u32(uint32_t v) {
        u16(static_cast<uint16_t>(v));
        u16(static_cast<uint16_t>(v >> 16));
    }
    void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
    void bytes(const std::vector<uint8_t>& b) { bytes_.insert(bytes_.end(), b.begin(), b.end()); }
    void guid(const AcsGuid& g) { bytes_.insert(bytes_.end(), g.begin(), g.end()); }
    void color(const AcsColor& c) {
        u8(c.blue);
        u8(c.green);
        u8(c.red);
        u8(0);
    }
    void string(std::string_view text) {
        const std::u16string utf16 = utf8ToUtf16(text);
        u32(static_cast<uint32_t>(utf16.size()));
        if (utf16.empty()) {
            return;
        }
        for (char16_t c : utf16) {
            u16(static_cast<uint16_t>(c));
        }
        u16(0);
    }
    void sizedBlock(const std::vector<uint8_t>& b) {
        u32(static_cast<uint32_t>(b.size()));
        bytes(b);
    }
    void location(uint32_t offset, uint32_t size) {
        u32(offset);
        u32(size);
    }
    // Patches a LOCATOR written earlier as a placeholder.
    void patchLocation(std::size_t at, uint32_t offset, uint32_t size) {
        for (int i = 0; i < 4; ++i) {
            bytes_[at + static_cast<std::size_t>(i)] = static_cast<uint8_t>(offset >> (8 * i));
            bytes_[at + 4 + static_cast<std::size_t>(i)] = static_cast<uint8_t>(size >> (8 * i));
        }
    }
    std::vector<uint8_t> take() { return std::move(bytes_); }

private:
    std::vector<uint8_t> bytes_;
};

struct Block {
    uint32_t offset = 0;
    uint32_t size = 0;
};

// Appends what `write` produces and returns where it went.
template <typename Fn>
Block append(Output& out, Fn&& write) {
    Block block;
    block.offset = static_cast<uint32_t>(out.size());
    write();
    block.size = static_cast<uint32_t>(out.size() - block.offset);
    return block;
}

void writeImage(Output& out, const AcsImage& image, bool compress) {
    const std::size_t stride = (std::size_t{image.width} + 3) & ~std::size_t{3};
    std::vector<uint8_t> dib(stride * image.height, 0);
    for (std::size_t y = 0; y < image.height; ++y) {
        std::copy_n(image.pixels.begin() + static_cast<std::ptrdiff_t>(y * image.width),
                    image.width,
                    dib.begin() + static_cast<std::ptrdiff_t>((image.height - 1 - y) * stride));
    }
    out.u8(1);
    out.u16(image.width);
    out.u16(image.height);
    out.u8(compress ? 1 : 0);
    out.sizedBlock(compress ? compressAcs(dib) : dib);
    // No region: the transparent index gives the shape.
    out.u32(0);
    out.u32(0);
}

void writeFrame(Output& out, const AcsFrame& frame) {
    out.u16(static_cast<uint16_t>(frame.images.size()));
    for (const AcsFrameImage& image : frame.images) {
        out.u32(image.image);
        out.i16(image.x);
        out.i16(image.y);
    }
    out.i16(frame.sound);
    out.u16(frame.duration);
    out.i16(frame.exitFrame);
    out.u8(static_cast<uint8_t>(frame.branches.size()));
    for (const AcsBranch& branch : frame.branches) {
        out.u16(branch.frame);
        out.u16(branch.probability);
    }
    out.u8(static_cast<uint8_t>(frame.overlays.size()));
    for (const AcsOverlay& overlay : frame.overlays) {
        out.u8(overlay.mouth);
        out.u8(overlay.replaceTopImage ? 1 : 0);
        out.u16(overlay.image);
        out.u8(overlay.unknown);
        out.u8(overlay.region ? 1 : 0);
        out.i16(overlay.x);
        out.i16(overlay.y);
        out.u16(overlay.width);
        out.u16(overlay.height);
        if (overlay.region) {
            out.sizedBlock(*overlay.region);
        }
    }
}

void writeCharacterInfo(Output& out, const AcsCharacterInfo& info, Block localized) {
    out.u16(info.minorVersion);
    out.u16(info.majorVersion);
    out.location(localized.offset, localized.size);
    out.guid(info.guid);
    out.u16(info.width);
    out.u16(info.height);
    out.u8(info.transparentIndex);
    uint32_t style = info.styleFlags & ~(kAcsStyleVoice | kAcsStyleBalloon);
    style |= info.voice ? kAcsStyleVoice : 0;
    style |= info.balloon ? kAcsStyleBalloon : 0;
    out.u32(style);
    out.u32(info.animationSetVersion);
    if (info.voice) {
        const AcsVoiceInfo& voice = *info.voice;
        out.guid(voice.engine);
        out.guid(voice.mode);
        out.u32(voice.speed);
        out.u16(voice.pitch);
        out.u8(voice.extra ? 1 : 0);
        if (voice.extra) {
            out.u16(voice.extra->languageId);
            out.string(voice.extra->dialect);
            out.u16(voice.extra->gender);
            out.u16(voice.extra->age);
            out.string(voice.extra->style);
        }
    }
    if (info.balloon) {
        const AcsBalloonInfo& balloon = *info.balloon;
        out.u8(balloon.lines);
        out.u8(balloon.charsPerLine);
        out.color(balloon.text);
        out.color(balloon.background);
        out.color(balloon.border);
        out.string(balloon.fontName);
        out.i32(balloon.fontHeight);
        out.i32(balloon.fontWeight);
        out.u8(balloon.italic);
        out.u8(balloon.unknown);
    }
    out.u32(static_cast<uint32_t>(info.palette.size()));
    for (const AcsColor& color : info.palette) {
        out.color(color);
    }
    out.u8(info.trayIcon ? 1 : 0);
    if (info.trayIcon) {
        out.sizedBlock(info.trayIcon->mask);
        out.sizedBlock(info.trayIcon->color);
    }
    out.u16(static_cast<uint16_t>(info.states.size()));
    for (const AcsState& state : info.states) {
        out.string(state.name);
        out.u16(static_cast<uint16_t>(state.animations.size()));
        for (const std::string& name : state.animations) {
            out.string(name);
        }
    }
}

// A simple additive checksum of a block; readers do not check it.
uint32_t checksum(const std::vector<uint8_t>& file, Block block) {
    uint32_t sum = 0;
    for (uint32_t i = 0; i < block.size; ++i) {
        sum = sum * 31 + file[block.offset + i];
    }
    return sum;
}

}  // namespace

std::vector<uint8_t> writeAcs(const AcsCharacterData& character, AcsWriteOptions options) {
    Output out;
    out.u32(kAcsSignature);
    const std::size_t locators = out.size();
    for (int i = 0; i < 4; ++i) {
        out.location(0, 0);
    }

    std::vector<Block> images;
    for (const AcsImage& image : character.images) {
        images.push_back(append(out, [&] { writeImage(out, image, options.compressImages); }));
    }
    std::vector<Block> sounds;
    for (const auto& sound : character.sounds) {
        sounds.push_back(append(out, [&] { out.bytes(sound); }));
    }
    std::vector<Block> animations;
    for (const AcsAnimation& animation : character.animations) {
        animations.push_back(append(out, [&] {
            out.string(animation.name);
            out.u8(animation.transition);
            out.string(animation.returnAnimation);
            out.u16(static_cast<uint16_t>(animation.frames.size()));
            for (const AcsFrame& frame : animation.frames) {
                writeFrame(out, frame);
            }
        }));
    }
    const Block localized = append(out, [&] {
        out.u16(static_cast<uint16_t>(character.info.localized.size()));
        for (const AcsLocalizedInfo& entry : character.info.localized) {
            out.u16(entry.languageId);
            out.string(entry.name);
            out.string(entry.description);
            out.string(entry.extra);
        }
    });
    const Block info = append(out, [&] { writeCharacterInfo(out, character.info, localized); });
    const Block animationList = append(out, [&] {
        out.u32(static_cast<uint32_t>(character.animations.size()));
        for (std::size_t i = 0; i < character.animations.size(); ++i) {
            out.string(character.animations[i].name);
            out.location(animations[i].offset, animations[i].size);
        }
    });
    std::vector<uint8_t> soFar = out.take();
    Output tail;
    tail.bytes(soFar);
    const auto list = [&](const std::vector<Block>& blocks) {
        return append(tail, [&] {
            tail.u32(static_cast<uint32_t>(blocks.size()));
            for (const Block& block : blocks) {
                tail.location(block.offset, block.size);
                tail.u32(checksum(soFar, block));
            }
        });
    };
    const Block imageList = list(images);
    const Block audioList = list(sounds);
    tail.patchLocation(locators, info.offset, info.size);
    tail.patchLocation(locators + 8, animationList.offset, animationList.size);
    tail.patchLocation(locators + 16, imageList.offset, imageList.size);
    tail.patchLocation(locators + 24, audioList.offset, audioList.size);
    return tail.take();
}

}  // namespace velkora
