#pragma once

#include <QDialog>
#include <functional>

#include "character/CharacterOptions.h"

class QCheckBox;
class QSlider;
class QLabel;

namespace velkora {

// The character's own options window, opened by a double-click on it: balloon, spoken output
// and speed of speech. OK stores them and hands them to onApplied.
class CharacterOptionsDialog final : public QDialog {
public:
    CharacterOptionsDialog(SettingsStore& store, const QString& characterName);

    // Shows the stored options (again) and raises the window.
    void open();

    std::function<void(const CharacterOptions&)> onApplied;

    QCheckBox* balloonBox() const { return balloon_; }
    QCheckBox* voiceBox() const { return voice_; }
    QSlider* speedSlider() const { return speed_; }

private:
    void load();
    void apply();

    SettingsStore& store_;
    QCheckBox* balloon_;
    QCheckBox* voice_;
    QSlider* speed_;
    QLabel* speedValue_;
};

}  // namespace velkora
