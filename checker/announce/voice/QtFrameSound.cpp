#include "checker/announce/voice/QtFrameSound.h"

#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QMediaDevices>

#include "checker/announce/voice/WavFile.h"

namespace velkora {

QtFrameSound::QtFrameSound(DevicePicker picker)
    : picker_(picker ? std::move(picker)
                     : DevicePicker([] { return QMediaDevices::defaultAudioOutput(); })) {}

QtFrameSound::~QtFrameSound() {
    if (sink_) {
        sink_->stop();
    }
}

void QtFrameSound::play(std::span<const uint8_t> wave) {
    const std::optional<WaveData> data = parseWave(wave);
    if (!data || data->samples.empty()) {
        return;
    }
    const QAudioDevice device = picker_();
    if (device.isNull()) {
        return;
    }
    QAudioFormat format;
    format.setSampleRate(data->sampleRate);
    format.setChannelCount(data->channels);
    format.setSampleFormat(data->bitsPerSample == 8 ? QAudioFormat::UInt8 : QAudioFormat::Int16);
    if (sink_) {
        sink_->stop();
    }
    sink_ = std::make_unique<QAudioSink>(device, format);
    samples_ = QByteArray(reinterpret_cast<const char*>(data->samples.data()),
                          static_cast<qsizetype>(data->samples.size()));
    buffer_ = std::make_unique<QBuffer>(&samples_);
    buffer_->open(QIODevice::ReadOnly);
    sink_->start(buffer_.get());
}

bool QtFrameSound::playing() const {
    return sink_ && sink_->state() == QAudio::ActiveState;
}

}  // namespace velkora
