#include "tests/support/RecordingCharacter.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace velkora::test {

bool RecordingCharacter::record(std::string what, bool succeeded) {
    if (observer) {
        observer(what);
    }
    calls_.push_back({std::move(what), clock_(), succeeded});
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

bool RecordingCharacter::show() {
    visible_ = visible_ || loaded_;
    return record("show", loaded_);
}

bool RecordingCharacter::hide() {
    const bool wasVisible = visible_;
    visible_ = false;
    record("hide", loaded_);
    if (loaded_ && wasVisible) {
        raiseHide();
    }
    return loaded_;
}

bool RecordingCharacter::play(const std::string& animation) {
    const bool known = animation == "Greet" || animation == "Congratulate" || animation == "Read";
    return record("play " + animation, loaded_ && known);
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
    std::copy_if(calls_.begin(), calls_.end(), std::back_inserter(found),
                 [&](const CharacterCall& call) { return call.what.starts_with(prefix); });
    return found;
}

}  // namespace velkora::test
