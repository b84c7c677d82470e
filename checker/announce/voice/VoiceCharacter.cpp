#include "checker/announce/voice/VoiceCharacter.h"

#include <filesystem>
#include <memory>
#include <system_error>

#include "checker/announce/voice/Voice.h"

namespace velkora {

VoiceCharacter::VoiceCharacter(Voice& voice, EventLoop& loop)
    : voice_(voice), loop_(loop), alive_(std::make_shared<bool>(true)) {}

VoiceCharacter::~VoiceCharacter() {
    *alive_ = false;
}

bool VoiceCharacter::load(const std::string& path) {
    std::error_code error;
    if (path.empty() || !std::filesystem::is_regular_file(path, error)) {
        return false;
    }
    path_ = path;
    loaded_ = true;
    return true;
}

bool VoiceCharacter::setPosition(ScreenPoint point) {
    if (!loaded_) {
        return false;
    }
    position_ = point;
    return true;
}

std::optional<ScreenPoint> VoiceCharacter::position() const {
    if (!loaded_) {
        return std::nullopt;
    }
    return position_;
}

bool VoiceCharacter::setBalloonFont(const std::string& name, int pointSize) {
    if (!loaded_) {
        return false;
    }
    fontName_ = name;
    fontSize_ = pointSize;
    return true;
}

bool VoiceCharacter::show() {
    if (!loaded_) {
        return false;
    }
    visible_ = true;
    return true;
}

bool VoiceCharacter::hide() {
    if (!loaded_) {
        return false;
    }
    visible_ = false;
    std::weak_ptr<bool> alive = alive_;
    loop_.post([this, alive] {
        std::shared_ptr<bool> living = alive.lock();
        if (living && *living && onHide) {
            onHide();
        }
    });
    return true;
}

// The character's picture and its animations are not built yet; until then no animation
// exists, and the reading goes on without one as it does for a name a character lacks.
bool VoiceCharacter::play(const std::string&) {
    return false;
}

bool VoiceCharacter::speak(const std::string& text) {
    if (!loaded_) {
        return false;
    }
    return voice_.speak(text);
}

bool VoiceCharacter::showPropertySheet() {
    return false;
}

}  // namespace velkora
