#include "checker/announce/voice/QtArrivalSound.h"

#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QTimer>
#include <QUrl>
#include <cmath>
#include <numbers>

namespace velkora {

namespace {

constexpr int kToneRate = 22050;
constexpr double kToneHz = 880.0;
constexpr int kToneMs = 160;
constexpr int kFadeMs = 8;  // soft edges, so the tone does not click
constexpr double kToneLevel = 0.4;
constexpr int kDeviceBufferMs = 200;
constexpr int kReleaseDelayMs = kToneMs + kDeviceBufferMs + 300;

QAudioFormat toneFormat() {
    QAudioFormat format;
    format.setSampleRate(kToneRate);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    return format;
}

QByteArray makeTone() {
    const int count = kToneRate * kToneMs / 1000;
    const int fade = kToneRate * kFadeMs / 1000;
    QByteArray pcm(static_cast<qsizetype>(count) * 2, '\0');
    auto* samples = reinterpret_cast<int16_t*>(pcm.data());
    for (int i = 0; i < count; ++i) {
        double envelope = 1.0;
        if (i < fade) {
            envelope = static_cast<double>(i) / fade;
        } else if (i >= count - fade) {
            envelope = static_cast<double>(count - 1 - i) / fade;
        }
        const double value =
            std::sin(2.0 * std::numbers::pi * kToneHz * i / kToneRate) * envelope * kToneLevel;
        samples[i] = static_cast<int16_t>(std::lround(value * 32767.0));
    }
    return pcm;
}

// Only what starts like a WAVE file goes to the player, which would complain about the rest.
bool looksLikeWave(const QString& path) {
    QFileInfo info(path);
    if (!info.isFile() || !info.isReadable()) {
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray head = file.read(12);
    return head.size() == 12 && head.startsWith("RIFF") && head.mid(8, 4) == "WAVE";
}

}  // namespace

QtArrivalSound::QtArrivalSound(DevicePicker picker)
    : picker_(picker ? std::move(picker)
                     : DevicePicker([] { return QMediaDevices::defaultAudioOutput(); })),
      tone_(makeTone()) {}

QtArrivalSound::~QtArrivalSound() {
    if (toneSink_) {
        toneSink_->stop();
    }
}

void QtArrivalSound::playWave(const std::string& path) {
    const QString file = QString::fromStdString(path);
    if (!looksLikeWave(file)) {
        return;
    }
    const QAudioDevice device = picker_();
    if (device.isNull()) {
        return;
    }
    if (effect_) {
        effect_->stop();
    }
    effect_ = std::make_unique<QSoundEffect>(device);
    effect_->setSource(QUrl::fromLocalFile(file));
    effect_->play();
}

void QtArrivalSound::beep() {
    const QAudioDevice device = picker_();
    if (device.isNull()) {
        return;
    }
    if (!toneSink_ || device.id() != toneDevice_.id()) {
        if (toneSink_) {
            toneSink_->stop();
        }
        toneSink_ = std::make_unique<QAudioSink>(device, toneFormat());
        toneDevice_ = device;
        toneSink_->setBufferSize(
            static_cast<qsizetype>(toneFormat().bytesForDuration(int64_t{kDeviceBufferMs} * 1000)));
        QObject::connect(toneSink_.get(), &QAudioSink::stateChanged, toneSink_.get(),
                         [sink = toneSink_.get()](QAudio::State state) {
                             if (state != QAudio::IdleState) {
                                 return;
                             }
                             // All handed over; the device plays its buffer out before it
                             // is given back (stopping at once would cut the tone short).
                             QTimer::singleShot(kReleaseDelayMs, sink, [sink] {
                                 if (sink->state() == QAudio::IdleState) {
                                     sink->stop();
                                 }
                             });
                         });
    }
    toneSink_->stop();
    toneBuffer_ = std::make_unique<QBuffer>(&tone_);
    toneBuffer_->open(QIODevice::ReadOnly);
    toneSink_->start(toneBuffer_.get());
}

bool QtArrivalSound::playing() const {
    const bool wave =
        effect_ && (effect_->isPlaying() || effect_->status() == QSoundEffect::Loading);
    const bool tone = toneSink_ && toneSink_->state() == QAudio::ActiveState;
    return wave || tone;
}

}  // namespace velkora
