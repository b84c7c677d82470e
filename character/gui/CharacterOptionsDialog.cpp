#include "character/gui/CharacterOptionsDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

namespace velkora {

CharacterOptionsDialog::CharacterOptionsDialog(SettingsStore& store, const QString& characterName)
    : QDialog(nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint),
      store_(store),
      balloon_(new QCheckBox(QStringLiteral("話す内容を吹き出しに表示する"))),
      voice_(new QCheckBox(QStringLiteral("声に出して話す"))),
      speed_(new QSlider(Qt::Horizontal)),
      speedValue_(new QLabel) {
    setWindowTitle(characterName.isEmpty() ? QStringLiteral("キャラクターのオプション")
                                           : characterName + QStringLiteral(" のオプション"));
    speed_->setRange(CharacterOptions::kMinSpeed, CharacterOptions::kMaxSpeed);
    speed_->setSingleStep(5);
    speed_->setPageStep(25);
    speedValue_->setMinimumWidth(48);
    connect(speed_, &QSlider::valueChanged, [this](int value) {
        speedValue_->setText(QString::number(value) + QStringLiteral(" %"));
    });
    connect(voice_, &QCheckBox::toggled, speed_, &QSlider::setEnabled);

    auto* output = new QGroupBox(QStringLiteral("出力"));
    auto* outputLayout = new QVBoxLayout(output);
    outputLayout->addWidget(balloon_);
    outputLayout->addWidget(voice_);
    auto* speedRow = new QHBoxLayout;
    speedRow->addWidget(new QLabel(QStringLiteral("話す速さ:")));
    speedRow->addWidget(new QLabel(QStringLiteral("遅い")));
    speedRow->addWidget(speed_, 1);
    speedRow->addWidget(new QLabel(QStringLiteral("速い")));
    speedRow->addWidget(speedValue_);
    outputLayout->addLayout(speedRow);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        apply();
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(output);
    layout->addWidget(buttons);
    setMinimumWidth(360);
}

void CharacterOptionsDialog::open() {
    load();
    show();
    raise();
    activateWindow();
}

void CharacterOptionsDialog::load() {
    const CharacterOptions options = CharacterOptions::load(store_);
    balloon_->setChecked(options.balloon);
    voice_->setChecked(options.voice);
    speed_->setValue(options.speedPercent);
    speed_->setEnabled(options.voice);
    speedValue_->setText(QString::number(options.speedPercent) + QStringLiteral(" %"));
}

void CharacterOptionsDialog::apply() {
    CharacterOptions options;
    options.balloon = balloon_->isChecked();
    options.voice = voice_->isChecked();
    options.speedPercent = speed_->value();
    try {
        options.save(store_);
    } catch (const SettingsStoreError&) {
        // Not kept for the next start, but in force for this one.
    }
    if (onApplied) {
        onApplied(options);
    }
}

}  // namespace velkora
