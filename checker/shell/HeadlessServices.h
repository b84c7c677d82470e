#pragma once

#include <optional>
#include <string>

#include "checker/announce/ArrivalSound.h"
#include "checker/announce/Character.h"
#include "checker/announce/WaveVolume.h"
#include "checker/dialup/Dialup.h"
#include "checker/shell/Checker.h"
#include "checker/shell/MailPopup.h"
#include "checker/shell/TrayIcon.h"

namespace velkora {

// The desktop services of a checker that runs without a desktop (the check tool, tests):
// nothing is shown or heard.

// Shows nothing, but keeps the image it would show: the check cycle asks for it.
class NullTrayIcon final : public TrayIcon {
public:
    void tuskicon(TrayState state) override {
        image_ = state == TrayState::NewMail    ? TrayImage::NewMail
                 : state == TrayState::Checking ? TrayImage::Checking
                                                : TrayImage::Normal;
    }
    void tuskicon2(const std::string&) override { image_ = TrayImage::Checking; }
    TrayImage currentImage() const override { return image_; }

private:
    TrayImage image_ = TrayImage::Normal;
};

// Keeps the items' states, as a menu that is never opened would.
class NullMenuItems final : public MenuItems {
public:
    void setEnabled(MenuItem item, bool enabled) override {
        (item == MenuItem::menu0 ? menu0_ : menu02_) = enabled;
    }
    bool isEnabled(MenuItem item) const override {
        return item == MenuItem::menu0 ? menu0_ : menu02_;
    }

private:
    bool menu0_ = false;
    bool menu02_ = false;
};

class NullMailPopup final : public MailPopup {
public:
    void showPopup(int16_t) override {}
};

// A character that cannot be loaded: every reading does nothing.
class NullCharacter final : public Character {
public:
    bool load(const std::string&) override { return false; }
    bool loaded() const override { return false; }
    bool setPosition(ScreenPoint) override { return false; }
    std::optional<ScreenPoint> position() const override { return std::nullopt; }
    bool setBalloonFont(const std::string&, int) override { return false; }
    bool visible() const override { return false; }
    bool show() override { return false; }
    bool hide() override { return false; }
    bool play(const std::string&) override { return false; }
    bool speak(const std::string&) override { return false; }
    bool showPropertySheet() override { return false; }
};

class NullWaveVolume final : public WaveVolume {
public:
    bool hasVolumeControl() const override { return false; }
    std::optional<uint32_t> volume() const override { return std::nullopt; }
    void setVolume(uint32_t) override {}
};

class NullArrivalSound final : public ArrivalSound {
public:
    void playWave(const std::string&) override {}
    void beep() override {}
};

// A whole desktop of the null services above, without dial-up, for a checker that runs outside
// any desktop (the check tool, the benchmarks, the fuzzer). It must outlive the checker.
struct HeadlessDesktop {
    NullTrayIcon tray;
    NullMenuItems menus;
    NullMailPopup popup;
    NullCharacter character;
    NullWaveVolume volume;
    NullArrivalSound sound;
    NoRasDialup dialup;

    CheckerServices services(EventLoop& loop, SocketApi& api, MessageBoxes& boxes,
                             SettingsStore& store) {
        return {loop,      api,    boxes, tray,   menus, popup,
                character, volume, sound, dialup, store, ScreenMetrics{}};
    }
};

}  // namespace velkora
