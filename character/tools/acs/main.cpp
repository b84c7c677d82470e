// velkora-acs: looks into an Agent character file.
//   velkora-acs info FILE                           one JSON object describing the file
//   velkora-acs render FILE ANIMATION FRAME OUT.png that frame, composed, with transparency
// A file that is refused: exit status 1 and the reason on standard error.
#include <QImage>
#include <QString>
#include <charconv>
#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>

#include "character/AcsFile.h"
#include "character/FrameComposer.h"

namespace {

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

int usage() {
    std::cerr << "usage: velkora-acs info FILE\n"
                 "       velkora-acs render FILE ANIMATION FRAME OUT.png\n";
    return 2;
}

int info(const velkora::AcsFile& file) {
    const auto& character = file.info();
    std::string out = "{";
    out += "\"name\":" + jsonString(file.name());
    out += ",\"description\":" + jsonString(file.description());
    out += ",\"width\":" + std::to_string(character.width);
    out += ",\"height\":" + std::to_string(character.height);
    out += ",\"transparent\":" + std::to_string(character.transparentIndex);
    out += ",\"animations\":{";
    bool first = true;
    for (const auto& animation : file.animations()) {
        out += (first ? "" : ",") + jsonString(animation.name) + ":" +
               std::to_string(animation.frames.size());
        first = false;
    }
    out += "},\"states\":{";
    first = true;
    for (const auto& state : character.states) {
        out += (first ? "" : ",") + jsonString(state.name) + ":[";
        bool firstName = true;
        for (const auto& name : file.stateAnimations(state.name)) {
            out += (firstName ? "" : ",") + jsonString(name);
            firstName = false;
        }
        out += "]";
        first = false;
    }
    out += "},\"images\":" + std::to_string(file.imageCount());
    out += ",\"sounds\":" + std::to_string(file.soundCount());
    out += "}\n";
    std::cout << out;
    return 0;
}

int render(const velkora::AcsFile& file, const std::string& name, const std::string& frameText,
           const std::string& outPath) {
    const velkora::AcsAnimation* animation = file.findAnimation(name);
    if (animation == nullptr) {
        std::cerr << "velkora-acs: アニメーション「" << name << "」はありません\n";
        return 1;
    }
    std::size_t index = 0;
    const auto [end, error] =
        std::from_chars(frameText.data(), frameText.data() + frameText.size(), index);
    if (error != std::errc() || end != frameText.data() + frameText.size() ||
        index >= animation->frames.size()) {
        std::cerr << "velkora-acs: コマ " << frameText << " はありません (「" << animation->name
                  << "」は " << animation->frames.size() << " コマです)\n";
        return 1;
    }
    const velkora::ComposedFrame frame = velkora::composeFrame(file, animation->frames[index]);
    for (const auto& problem : frame.errors) {
        std::cerr << "velkora-acs: " << problem << "\n";
    }
    QImage image(frame.width, frame.height, QImage::Format_ARGB32);
    for (int y = 0; y < frame.height; ++y) {
        auto* line = reinterpret_cast<uint32_t*>(image.scanLine(y));
        for (int x = 0; x < frame.width; ++x) {
            line[x] = frame.pixels[static_cast<std::size_t>(y) * frame.width + x];
        }
    }
    if (!image.save(QString::fromStdString(outPath), "PNG")) {
        std::cerr << "velkora-acs: " << outPath << " に書き込めません\n";
        return 1;
    }
    return frame.errors.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        return usage();
    }
    const std::string command = argv[1];
    if (!((command == "info" && argc == 3) || (command == "render" && argc == 6))) {
        return usage();
    }
    const velkora::AcsParseResult loaded = velkora::loadAcsFile(argv[2]);
    if (!loaded.file) {
        std::cerr << "velkora-acs: " << argv[2] << ": " << loaded.error << "\n";
        return 1;
    }
    if (command == "info") {
        return info(*loaded.file);
    }
    return render(*loaded.file, argv[3], argv[4], argv[5]);
}
