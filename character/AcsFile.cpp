#include "character/AcsFile.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "character/AcsCompression.h"
#include "character/AcsText.h"

namespace velkora {

namespace {

// Why a file is refused; thrown inside the parser only.
class FormatError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The largest image the reader decodes: far beyond any character, small enough to allocate.
constexpr std::size_t kMaxImagePixels = std::size_t{16} << 20;
// The largest character drawn: many times any genuine one, small enough to compose.
constexpr uint16_t kMaxCharacterSide = 2048;
// The most output one compressed byte can give: a 32-bit copy token of 8193 bytes.
constexpr std::size_t kMaxExpansion = 2100;
// An image header: unknown byte, width, height, compressed flag, data size.
constexpr std::size_t kImageHeaderSize = 1 + 2 + 2 + 1 + 4;

// Reads little-endian values from one block of the file, never past the block's end.
class Cursor {
public:
    Cursor(std::span<const uint8_t> file, AcsFile::Location block, const char* what) : what_(what) {
        if (uint64_t{block.offset} + block.size > file.size()) {
            throw FormatError(std::string(what) + "がファイルの外を指しています");
        }
        data_ = file.subspan(block.offset, block.size);
    }

    std::size_t remaining() const { return data_.size() - pos_; }

    std::span<const uint8_t> bytes(std::size_t count) {
        need(count);
        auto out = data_.subspan(pos_, count);
        pos_ += count;
        return out;
    }
    uint8_t u8() { return bytes(1)[0]; }
    uint16_t u16() {
        auto b = bytes(2);
        return static_cast<uint16_t>(b[0] | b[1] << 8);
    }
    int16_t i16() { return static_cast<int16_t>(u16()); }
    uint32_t u32() {
        auto b = bytes(4);
        return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
               static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
    }
    int32_t i32() { return static_cast<int32_t>(u32()); }
    AcsFile::Location location() {
        AcsFile::Location l;
        l.offset = u32();
        l.size = u32();
        return l;
    }
    AcsGuid guid() {
        AcsGuid g{};
        auto b = bytes(16);
        std::copy(b.begin(), b.end(), g.begin());
        return g;
    }
    AcsColor color() {
        auto b = bytes(4);
        return AcsColor{b[2], b[1], b[0]};
    }
    std::string string() {
        const uint32_t count = u32();
        if (count == 0) {
            return {};
        }
        if (uint64_t{count} * 2 + 2 > remaining()) {
            fail();
        }
        std::u16string text(count, u'\0');
        for (auto& c : text) {
            c = static_cast<char16_t>(u16());
        }
        u16();  // the terminating NUL
        return utf16ToUtf8(text);
    }
    std::vector<uint8_t> sizedBlock() {
        const uint32_t size = u32();
        auto b = bytes(size);
        return {b.begin(), b.end()};
    }
    // A count of items of at least minimumSize bytes each that must fit in what is left.
    std::size_t count(uint64_t value, std::size_t minimumSize) {
        if (value * minimumSize > remaining()) {
            throw FormatError(std::string(what_) + "の個数 (" + std::to_string(value) +
                              ") がデータの大きさを超えています");
        }
        return static_cast<std::size_t>(value);
    }

private:
    void need(std::size_t count) {
        if (count > remaining()) {
            fail();
        }
    }
    [[noreturn]] void fail() const {
        throw FormatError(std::string(what_) + "が途中で切れています");
    }

    std::span<const uint8_t> data_;
    std::size_t pos_ = 0;
    const char* what_;
};

bool primaryLanguageIs(uint16_t languageId, uint16_t wanted) {
    return (languageId & 0x3FF) == (wanted & 0x3FF);
}

}  // namespace

std::string foldAcsName(std::string_view name) {
    std::string out(name);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

class AcsParser {
public:
    explicit AcsParser(std::vector<uint8_t> bytes) : file_(new AcsFile()) {
        file_->bytes_ = std::move(bytes);
    }

    AcsParseResult run() {
        AcsParseResult result;
        try {
            parse();
            result.file = std::move(file_);
        } catch (const FormatError& error) {
            result.error = error.what();
        }
        return result;
    }

private:
    std::span<const uint8_t> data() const { return file_->bytes_; }

    void parse() {
        const auto bytes = data();
        if (bytes.size() >= 4 && bytes[0] == 0xD0 && bytes[1] == 0xCF && bytes[2] == 0x11 &&
            bytes[3] == 0xE0) {
            throw FormatError(
                "Agent 1.5 のキャラクターファイル (OLE 複合文書) です。Agent 2.0 の形式にしか対応"
                "していません");
        }
        if (bytes.size() < 4) {
            throw FormatError("Agent のキャラクターファイルではありません (短すぎます)");
        }
        Cursor header(bytes, {0, static_cast<uint32_t>(std::min<std::size_t>(bytes.size(), 36))},
                      "ファイルの先頭");
        const uint32_t signature = header.u32();
        if (signature == kAcsSignature + 1) {
            throw FormatError(
                "分割形式のキャラクターファイル (.acf) です。一つにまとまった .acs ファイルを"
                "指定してください");
        }
        if (signature != kAcsSignature) {
            throw FormatError("Agent のキャラクターファイルではありません");
        }
        const auto characterInfo = header.location();
        const auto animationList = header.location();
        const auto imageList = header.location();
        const auto audioList = header.location();

        file_->images_ = readList(imageList, "画像一覧");
        file_->sounds_ = readList(audioList, "音声一覧");
        file_->imageCache_.resize(file_->images_.size());
        readCharacterInfo(characterInfo);
        readAnimations(animationList);
    }

    std::vector<AcsFile::Location> readList(AcsFile::Location block, const char* what) {
        std::vector<AcsFile::Location> list;
        if (block.size == 0) {
            return list;
        }
        Cursor c(data(), block, what);
        const std::size_t count = c.count(c.u32(), 12);
        list.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            const auto location = c.location();
            c.u32();  // checksum
            if (uint64_t{location.offset} + location.size > data().size()) {
                throw FormatError(std::string(what) + "の項目 " + std::to_string(i) +
                                  " がファイルの外を指しています");
            }
            list.push_back(location);
        }
        return list;
    }

    void readCharacterInfo(AcsFile::Location block) {
        Cursor c(data(), block, "キャラクター情報");
        AcsCharacterInfo& info = file_->info_;
        info.minorVersion = c.u16();
        info.majorVersion = c.u16();
        const auto localized = c.location();
        info.guid = c.guid();
        info.width = c.u16();
        info.height = c.u16();
        info.transparentIndex = c.u8();
        info.styleFlags = c.u32();
        info.animationSetVersion = c.u32();
        if (info.styleFlags & kAcsStyleVoice) {
            AcsVoiceInfo voice;
            voice.engine = c.guid();
            voice.mode = c.guid();
            voice.speed = c.u32();
            voice.pitch = c.u16();
            if (c.u8() != 0) {
                AcsVoiceExtra extra;
                extra.languageId = c.u16();
                extra.dialect = c.string();
                extra.gender = c.u16();
                extra.age = c.u16();
                extra.style = c.string();
                voice.extra = std::move(extra);
            }
            info.voice = std::move(voice);
        }
        if (info.styleFlags & kAcsStyleBalloon) {
            AcsBalloonInfo balloon;
            balloon.lines = c.u8();
            balloon.charsPerLine = c.u8();
            balloon.text = c.color();
            balloon.background = c.color();
            balloon.border = c.color();
            balloon.fontName = c.string();
            balloon.fontHeight = c.i32();
            balloon.fontWeight = c.i32();
            balloon.italic = c.u8();
            balloon.unknown = c.u8();
            info.balloon = std::move(balloon);
        }
        const uint32_t paletteSize = c.u32();
        if (paletteSize > 256) {
            throw FormatError("パレットの色数 (" + std::to_string(paletteSize) +
                              ") が 256 を超えています");
        }
        c.count(paletteSize, 4);
        for (uint32_t i = 0; i < paletteSize; ++i) {
            info.palette.push_back(c.color());
        }
        if (info.width == 0 || info.height == 0 || info.width > kMaxCharacterSide ||
            info.height > kMaxCharacterSide) {
            throw FormatError("キャラクターの大きさ (" + std::to_string(info.width) + " × " +
                              std::to_string(info.height) + ") が正しくありません");
        }
        readTrayIconAndStates(c);
        readLocalizedInfo(localized);
    }

    // Readers of genuine files meet characters whose tail here they cannot follow; the
    // character is still usable without its tray icon and states, so a fault here costs only
    // those and never the file.
    void readTrayIconAndStates(Cursor& c) {
        AcsCharacterInfo& info = file_->info_;
        try {
            if (c.u8() != 0) {
                AcsTrayIcon icon;
                icon.mask = c.sizedBlock();
                icon.color = c.sizedBlock();
                info.trayIcon = std::move(icon);
            }
            const std::size_t stateCount = c.count(c.u16(), 6);
            for (std::size_t i = 0; i < stateCount; ++i) {
                AcsState state;
                state.name = c.string();
                const std::size_t n = c.count(c.u16(), 4);
                for (std::size_t k = 0; k < n; ++k) {
                    state.animations.push_back(c.string());
                }
                info.states.push_back(std::move(state));
            }
        } catch (const FormatError&) {
            info.trayIcon.reset();
            info.states.clear();
        }
    }

    void readLocalizedInfo(AcsFile::Location block) {
        if (block.size == 0) {
            return;
        }
        Cursor c(data(), block, "キャラクターの名前と説明");
        const std::size_t count = c.count(c.u16(), 14);
        for (std::size_t i = 0; i < count; ++i) {
            AcsLocalizedInfo entry;
            entry.languageId = c.u16();
            entry.name = c.string();
            entry.description = c.string();
            entry.extra = c.string();
            file_->info_.localized.push_back(std::move(entry));
        }
    }

    void readAnimations(AcsFile::Location block) {
        Cursor c(data(), block, "アニメーション一覧");
        const std::size_t count = c.count(c.u32(), 12);
        std::vector<std::pair<std::string, AcsFile::Location>> entries;
        entries.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            std::string name = c.string();
            entries.emplace_back(std::move(name), c.location());
        }
        file_->animations_.reserve(count);
        for (auto& [name, location] : entries) {
            AcsAnimation animation = readAnimation(location, name);
            animation.name = std::move(name);
            const std::string key = foldAcsName(animation.name);
            file_->animationIndex_.emplace(key, file_->animations_.size());
            file_->animations_.push_back(std::move(animation));
        }
    }

    AcsAnimation readAnimation(AcsFile::Location block, const std::string& name) {
        what_ = "アニメーション「" + name + "」";
        Cursor c(data(), block, what_.c_str());
        AcsAnimation animation;
        animation.name = c.string();
        animation.transition = c.u8();
        animation.returnAnimation = c.string();
        const std::size_t frameCount = c.count(c.u16(), 10);
        animation.frames.reserve(frameCount);
        for (std::size_t f = 0; f < frameCount; ++f) {
            animation.frames.push_back(readFrame(c, f));
        }
        return animation;
    }

    AcsFrame readFrame(Cursor& c, std::size_t index) {
        AcsFrame frame;
        const std::size_t imageCount = c.count(c.u16(), 8);
        for (std::size_t i = 0; i < imageCount; ++i) {
            AcsFrameImage image;
            image.image = c.u32();
            image.x = c.i16();
            image.y = c.i16();
            checkImage(image.image, index);
            frame.images.push_back(image);
        }
        frame.sound = c.i16();
        if (frame.sound >= 0 && static_cast<std::size_t>(frame.sound) >= file_->sounds_.size()) {
            throw FormatError(what_ + "のコマ " + std::to_string(index) + " が無い音声 " +
                              std::to_string(frame.sound) + " を指しています");
        }
        frame.duration = c.u16();
        frame.exitFrame = c.i16();
        const std::size_t branchCount = c.count(c.u8(), 4);
        for (std::size_t i = 0; i < branchCount; ++i) {
            AcsBranch branch;
            branch.frame = c.u16();
            branch.probability = c.u16();
            frame.branches.push_back(branch);
        }
        const std::size_t overlayCount = c.count(c.u8(), 14);
        for (std::size_t i = 0; i < overlayCount; ++i) {
            AcsOverlay overlay;
            overlay.mouth = c.u8();
            overlay.replaceTopImage = c.u8() != 0;
            overlay.image = c.u16();
            overlay.unknown = c.u8();
            const bool hasRegion = c.u8() != 0;
            overlay.x = c.i16();
            overlay.y = c.i16();
            overlay.width = c.u16();
            overlay.height = c.u16();
            if (hasRegion) {
                overlay.region = c.sizedBlock();
            }
            checkImage(overlay.image, index);
            frame.overlays.push_back(std::move(overlay));
        }
        return frame;
    }

    void checkImage(uint32_t image, std::size_t frame) const {
        if (image >= file_->images_.size()) {
            throw FormatError(what_ + "のコマ " + std::to_string(frame) + " が無い画像 " +
                              std::to_string(image) + " を指しています");
        }
    }

    std::shared_ptr<AcsFile> file_;
    std::string what_;
};

AcsParseResult parseAcs(std::vector<uint8_t> bytes) {
    return AcsParser(std::move(bytes)).run();
}

AcsParseResult loadAcsFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return AcsParseResult{nullptr, "ファイルを開けません: " + path};
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    if (in.bad()) {
        return AcsParseResult{nullptr, "ファイルを読めません: " + path};
    }
    return parseAcs(std::move(bytes));
}

const AcsAnimation* AcsFile::findAnimation(std::string_view name) const {
    auto it = animationIndex_.find(foldAcsName(name));
    return it == animationIndex_.end() ? nullptr : &animations_[it->second];
}

std::vector<std::string> AcsFile::stateAnimations(std::string_view state) const {
    std::vector<std::string> names;
    const std::string wanted = foldAcsName(state);
    for (const AcsState& s : info_.states) {
        if (foldAcsName(s.name) != wanted) {
            continue;
        }
        // Genuine files spell these names in capitals; give them as the animation list does.
        for (const std::string& name : s.animations) {
            if (const AcsAnimation* animation = findAnimation(name)) {
                names.push_back(animation->name);
            }
        }
    }
    return names;
}

namespace {

std::string pickLocalized(const std::vector<AcsLocalizedInfo>& entries,
                          std::string AcsLocalizedInfo::*field) {
    for (uint16_t language : {kLangJapanese, kLangEnglish}) {
        for (const auto& entry : entries) {
            if (primaryLanguageIs(entry.languageId, language) && !(entry.*field).empty()) {
                return entry.*field;
            }
        }
    }
    for (const auto& entry : entries) {
        if (!(entry.*field).empty()) {
            return entry.*field;
        }
    }
    return {};
}

}  // namespace

std::string AcsFile::name() const {
    return pickLocalized(info_.localized, &AcsLocalizedInfo::name);
}

std::string AcsFile::description() const {
    return pickLocalized(info_.localized, &AcsLocalizedInfo::description);
}

AcsImageResult AcsFile::image(std::size_t index) const {
    if (index >= images_.size()) {
        return {nullptr, "画像 " + std::to_string(index) + " はありません"};
    }
    AcsImageResult& cached = imageCache_[index];
    if (cached.image || !cached.error.empty()) {
        return cached;
    }
    const Location location = images_[index];
    auto image = std::make_shared<AcsImage>();
    if (location.size < kImageHeaderSize) {
        cached.image = std::move(image);
        return cached;
    }
    try {
        Cursor c(bytes_, location, "画像");
        c.u8();
        image->width = c.u16();
        image->height = c.u16();
        const bool compressed = c.u8() != 0;
        const auto data = c.bytes(c.u32());
        const std::size_t stride = (std::size_t{image->width} + 3) & ~std::size_t{3};
        const std::size_t size = stride * image->height;
        if (size > kMaxImagePixels) {
            throw FormatError("画像が大きすぎます");
        }
        std::vector<uint8_t> dib;
        if (compressed) {
            if (size > data.size() * kMaxExpansion) {
                throw FormatError("圧縮された画像の大きさが合いません");
            }
            AcsDecompressResult d = decompressAcs(data, size);
            if (!d.ok()) {
                throw FormatError(d.error);
            }
            dib = std::move(d.bytes);
        } else {
            if (data.size() < size) {
                throw FormatError("画像データが足りません");
            }
            dib.assign(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(size));
        }
        // Bottom-up rows padded to four bytes, as a device-independent bitmap keeps them.
        image->pixels.resize(std::size_t{image->width} * image->height);
        // An image without a column has no row to copy (nor memory to copy into).
        for (std::size_t y = 0; image->width != 0 && y < image->height; ++y) {
            const uint8_t* row = dib.data() + (image->height - 1 - y) * stride;
            std::memcpy(image->pixels.data() + y * image->width, row, image->width);
        }
        cached.image = std::move(image);
    } catch (const FormatError& error) {
        cached.error = "画像 " + std::to_string(index) + ": " + error.what();
    }
    return cached;
}

std::optional<std::span<const uint8_t>> AcsFile::sound(std::size_t index) const {
    if (index >= sounds_.size()) {
        return std::nullopt;
    }
    const Location location = sounds_[index];
    auto data = std::span<const uint8_t>(bytes_).subspan(location.offset, location.size);
    if (data.size() < 12 || std::memcmp(data.data(), "RIFF", 4) != 0 ||
        std::memcmp(data.data() + 8, "WAVE", 4) != 0) {
        return std::nullopt;
    }
    return data;
}

std::size_t AcsFile::decodedImageBytes() const {
    std::size_t total = 0;
    for (const auto& cached : imageCache_) {
        if (cached.image) {
            total += cached.image->pixels.size() + sizeof(AcsImage);
        }
    }
    return total;
}

}  // namespace velkora
