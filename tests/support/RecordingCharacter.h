#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "checker/announce/Character.h"

namespace velkora::test {

// One request made of the character, with the virtual time it was made at and its result.
struct CharacterCall {
    std::string what;  // e.g. "show", "play Greet", "speak 件名 x \Spd=100\"
    int64_t atMs = 0;
    bool succeeded = true;
};

// A character that records every request in order. It behaves like a real one where the
// readings depend on it: nothing works before a successful load, Show makes it visible, Hide
// hides it and raises the Hide event, Play fails for animations other than "Greet",
// "Congratulate" and "Read" ("Nothing" among them).
class RecordingCharacter final : public Character {
public:
    // clock gives the time stamped on each call (e.g. the simulated loop's now()).
    explicit RecordingCharacter(std::function<int64_t()> clock) : clock_(std::move(clock)) {}

    bool load(const std::string& path) override;
    bool loaded() const override { return loaded_; }
    bool setPosition(ScreenPoint point) override;
    std::optional<ScreenPoint> position() const override;
    bool setBalloonFont(const std::string& name, int size) override {
        return record("setBalloonFont " + name + " " + std::to_string(size), loaded_);
    }
    bool visible() const override { return visible_; }
    bool show() override;
    bool hide() override;
    bool play(const std::string& animation) override;
    bool speak(const std::string& text) override {
        return record("speak " + text, loaded_ && !failSpeak);
    }
    bool showPropertySheet() override { return record("showPropertySheet", loaded_); }

    // What the user does to the character on screen.
    void userDoubleClicks();
    void userHides();
    void userDrags(ScreenPoint to) { position_ = to; }

    const std::vector<CharacterCall>& calls() const { return calls_; }
    std::vector<std::string> callNames() const;
    // The calls whose description starts with prefix (e.g. "speak "), in order.
    std::vector<CharacterCall> callsStartingWith(const std::string& prefix) const;
    void clearCalls() { calls_.clear(); }

    bool failLoad = false;
    bool failSpeak = false;
    bool failPosition = false;  // position() gives nothing
    // When set, the Hide event is handed to it (e.g. posted to the loop) instead of being raised
    // before hide() returns.
    std::function<void(std::function<void()>)> deliverEvent;
    // Sees the description of every call as it is made, for a log shared with other fakes.
    std::function<void(const std::string&)> observer;

private:
    bool record(std::string what, bool succeeded);
    void raiseHide();

    std::function<int64_t()> clock_;
    std::vector<CharacterCall> calls_;
    bool loaded_ = false;
    bool visible_ = false;
    ScreenPoint position_;
};

}  // namespace velkora::test
