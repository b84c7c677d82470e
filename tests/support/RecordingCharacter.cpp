#include "tests/support/RecordingCharacter.h"

#include <utility>

namespace velkora::test {

RecordingCharacter::RecordingCharacter(std::function<int64_t()> clock) : clock_(std::move(clock)) {}

bool RecordingCharacter::record(std::string what, bool succeeded) {
    if (observer) {
        observer(what);
    }
    calls_.push_back({std::move(what), clock_ ? clock_() : 0, succeeded});
    return succeeded;
}

void RecordingCharacter::raiseHide() {
    // The handler is looked up when the event arrives, as a real control would.
    auto event = [this] {
        if (onHide) {
            onHide();
        }
    };
    if (deliverEvent) {
        deliverEvent(event);
    } else {
        event();
    }
}

bool RecordingCharacter::load(const std::string& path) {
    loaded_ = !failLoad;
    return record("load " + path, loaded_);
}

bool RecordingCharacter::setPosition(ScreenPoint point) {
    if (loaded_) {
        position_ = point;
    }
    return record("setPosition " + std::to_string(point.left) + "," + std::to_string(point.top),
                  loaded_);
}

std::optional<ScreenPoint> RecordingCharacter::position() const {
    if (!loaded_ || failPosition) {
        return std::nullopt;
    }
    return position_;
}

bool RecordingCharacter::setBalloonFont(const std::string& name, int pointSize) {
    if (loaded_) {
        balloonFontName = name;
        balloonFontSize = pointSize;
    }
    return record("setBalloonFont " + name + " " + std::to_string(pointSize), loaded_);
}

bool RecordingCharacter::show() {
    const bool ok = loaded_ && !failShow;
    if (ok) {
        visible_ = true;
    }
    return record("show", ok);
}

bool RecordingCharacter::hide() {
    const bool ok = loaded_;
    const bool wasVisible = visible_;
    visible_ = false;
    record("hide", ok);
    if (ok && wasVisible) {
        raiseHide();
    }
    return ok;
}

bool RecordingCharacter::play(const std::string& animation) {
    return record("play " + animation, loaded_ && animations.count(animation) != 0);
}

bool RecordingCharacter::speak(const std::string& text) {
    return record("speak " + text, loaded_ && !failSpeak);
}

bool RecordingCharacter::showPropertySheet() {
    return record("showPropertySheet", loaded_);
}

void RecordingCharacter::userDoubleClicks() {
    if (loaded_ && visible_ && onDblClick) {
        onDblClick();
    }
}

void RecordingCharacter::userHides() {
    if (loaded_ && visible_) {
        visible_ = false;
        raiseHide();
    }
}

std::vector<std::string> RecordingCharacter::callNames() const {
    std::vector<std::string> names;
    for (const auto& call : calls_) {
        names.push_back(call.what);
    }
    return names;
}

std::vector<CharacterCall> RecordingCharacter::callsStartingWith(const std::string& prefix) const {
    std::vector<CharacterCall> found;
    for (const auto& call : calls_) {
        if (call.what.rfind(prefix, 0) == 0) {
            found.push_back(call);
        }
    }
    return found;
}

}  // namespace velkora::test
