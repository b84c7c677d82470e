#include "character/gui/DesktopCharacter.h"

#include <QString>

#include "character/gui/BalloonWindow.h"
#include "character/gui/CharacterOptionsDialog.h"
#include "character/gui/CharacterWindow.h"

namespace velkora {

class DesktopCharacter::View final : public CharacterView {
public:
    explicit View(DesktopCharacter& owner) : owner_(owner) {}

    void showFrame(const AcsFrame& frame, const AcsOverlay* mouth) override {
        owner_.window_->showFrame(frame, mouth);
    }
    void setOnScreen(bool onScreen) override {
        owner_.window_->setVisible(onScreen);
        if (!onScreen) {
            owner_.balloon_->hide();
        }
    }
    void showBalloon(const std::string& text, std::size_t visibleBytes) override {
        owner_.balloon_->showText(text, visibleBytes, owner_.window_->geometry());
    }
    void hideBalloon() override { owner_.balloon_->hide(); }
    void playSound(std::span<const uint8_t> wave) override {
        if (owner_.playFrameSound) {
            owner_.playFrameSound(wave);
        }
    }

private:
    DesktopCharacter& owner_;
};

DesktopCharacter::DesktopCharacter(EventLoop& loop, SpeechOutput& speech, SettingsStore& store)
    : speech_(speech),
      store_(store),
      silent_(loop),
      options_(CharacterOptions::load(store)),
      window_(std::make_unique<CharacterWindow>()),
      balloon_(std::make_unique<BalloonWindow>()),
      view_(std::make_unique<View>(*this)),
      engine_(std::make_unique<CharacterEngine>(loop, *view_)) {
    engine_->setBalloonEnabled(options_.balloon);
    engine_->onHidden = [this] {
        if (onHide) {
            onHide();
        }
    };
    window_->onDoubleClick = [this] {
        if (onDblClick) {
            onDblClick();
        }
    };
    window_->onHideChosen = [this] { engine_->userHide(); };
    window_->onMoved = [this] { balloon_->follow(window_->geometry()); };
}

DesktopCharacter::~DesktopCharacter() {
    // The engine goes first: it may still tell the view to hide.
    engine_->onHidden = nullptr;
    engine_.reset();
}

bool DesktopCharacter::load(const std::string& path) {
    AcsParseResult result = loadAcsFile(path);
    if (!result.file) {
        loadError_ = result.error;
        return false;
    }
    loadError_.clear();
    engine_->setCharacter(result.file);
    window_->setCharacter(result.file);
    balloon_->setStyle(result.file->info().balloon ? &*result.file->info().balloon : nullptr);
    return true;
}

bool DesktopCharacter::loaded() const {
    return engine_->character() != nullptr;
}

bool DesktopCharacter::setPosition(ScreenPoint point) {
    if (!loaded()) {
        return false;
    }
    window_->move(point.left, point.top);
    return true;
}

std::optional<ScreenPoint> DesktopCharacter::position() const {
    if (!loaded()) {
        return std::nullopt;
    }
    return ScreenPoint{window_->x(), window_->y()};
}

bool DesktopCharacter::setBalloonFont(const std::string& name, int pointSize) {
    if (!loaded()) {
        return false;
    }
    balloon_->setBalloonFont(QString::fromStdString(name), pointSize);
    return true;
}

bool DesktopCharacter::visible() const {
    return engine_->visible();
}

bool DesktopCharacter::show() {
    return engine_->show();
}

bool DesktopCharacter::hide() {
    return engine_->hide();
}

bool DesktopCharacter::play(const std::string& animation) {
    return engine_->play(animation);
}

bool DesktopCharacter::speak(const std::string& text) {
    if (!loaded()) {
        return false;
    }
    const std::string paced = scaleSpeechSpeed(text, options_.speedPercent);
    SpeechOutput& output = options_.voice ? speech_ : silent_;
    return engine_->speak(text, output.prepare(paced));
}

bool DesktopCharacter::showPropertySheet() {
    if (!loaded()) {
        return false;
    }
    if (!dialog_) {
        dialog_ = std::make_unique<CharacterOptionsDialog>(
            store_, QString::fromStdString(engine_->character()->name()));
        dialog_->onApplied = [this](const CharacterOptions& options) { applyOptions(options); };
    }
    dialog_->open();
    return true;
}

void DesktopCharacter::applyOptions(const CharacterOptions& options) {
    options_ = options;
    engine_->setBalloonEnabled(options.balloon);
}

}  // namespace velkora
