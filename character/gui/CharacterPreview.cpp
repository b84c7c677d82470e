#include "character/gui/CharacterPreview.h"

#include "character/AcsFile.h"
#include "character/CharacterEngine.h"
#include "character/gui/CharacterWindow.h"
#include "common/qt/QtEventLoop.h"

namespace velkora {

class CharacterPreview::View final : public CharacterView {
public:
    explicit View(CharacterWindow& window) : window_(window) {}
    void showFrame(const AcsFrame& frame, const AcsOverlay* mouth) override {
        window_.showFrame(frame, mouth);
    }
    void setOnScreen(bool onScreen) override { window_.setVisible(onScreen); }
    void showBalloon(const std::string&, std::size_t) override {}
    void hideBalloon() override {}
    void playSound(std::span<const uint8_t>) override {}

private:
    CharacterWindow& window_;
};

CharacterPreview::CharacterPreview()
    : loop_(std::make_unique<QtEventLoop>()),
      window_(std::make_unique<CharacterWindow>()),
      view_(std::make_unique<View>(*window_)),
      engine_(std::make_unique<CharacterEngine>(*loop_, *view_)) {
    engine_->setBalloonEnabled(false);
    window_->onHideChosen = [this] { engine_->userHide(); };
}

CharacterPreview::~CharacterPreview() {
    engine_.reset();
}

CharacterLoadResult CharacterPreview::load(const std::string& path) {
    CharacterLoadResult result;
    AcsParseResult parsed = loadAcsFile(path);
    if (!parsed.file) {
        result.error = parsed.error;
        return result;
    }
    engine_->setCharacter(parsed.file);
    window_->setCharacter(parsed.file);
    result.ok = true;
    result.animationNames = animationNames();
    return result;
}

bool CharacterPreview::loaded() const {
    return engine_->character() != nullptr;
}

std::vector<std::string> CharacterPreview::animationNames() const {
    std::vector<std::string> names;
    if (const auto& file = engine_->character()) {
        for (const AcsAnimation& animation : file->animations()) {
            names.push_back(animation.name);
        }
    }
    return names;
}

bool CharacterPreview::showAt(int left, int top) {
    if (!loaded()) {
        return false;
    }
    window_->move(left, top);
    return engine_->show();
}

bool CharacterPreview::play(const std::string& animation) {
    return engine_->play(animation);
}

void CharacterPreview::hide() {
    engine_->hide();
}

bool CharacterPreview::visible() const {
    return engine_->visible();
}

CharacterWindow& CharacterPreview::window() {
    return *window_;
}

}  // namespace velkora
