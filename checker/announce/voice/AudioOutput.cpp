#include "checker/announce/voice/AudioOutput.h"

#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>
#include <QMetaObject>
#include <QObject>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <mutex>
#include <utility>

namespace velkora {

namespace {

// The device's own buffer: short, so that a volume change is heard soon.
constexpr int kDeviceBufferMs = 200;
// How long after the last samples were taken the device still plays them.
constexpr int kReleaseDelayMs = kDeviceBufferMs + 300;

QAudioDevice defaultDevice() {
    return QMediaDevices::defaultAudioOutput();
}

QAudioFormat monoFormat(int sampleRate) {
    QAudioFormat format;
    format.setSampleRate(sampleRate);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    return format;
}

}  // namespace

struct AudioOutput::Shared {
    std::mutex mutex;
    std::deque<int16_t> samples;
    int openUtterances = 0;
    bool arrivalPosted = false;
    std::atomic<bool> accepting{false};
};

// The device's pull source: hands over what the synthesis thread has delivered.
class AudioOutput::Source final : public QIODevice {
public:
    explicit Source(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {
        QIODevice::open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }

    bool isSequential() const override { return true; }

    qint64 bytesAvailable() const override {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        return static_cast<qint64>(shared_->samples.size() * sizeof(int16_t)) +
               QIODevice::bytesAvailable();
    }

    // Tells an idle device that there is more to play.
    void announce() { emit readyRead(); }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        const std::size_t count =
            std::min(static_cast<std::size_t>(maxSize) / sizeof(int16_t), shared_->samples.size());
        for (std::size_t i = 0; i < count; ++i) {
            int16_t sample = shared_->samples.front();
            shared_->samples.pop_front();
            std::memcpy(data + i * sizeof(int16_t), &sample, sizeof(int16_t));
        }
        return static_cast<qint64>(count * sizeof(int16_t));
    }

    qint64 writeData(const char*, qint64) override { return -1; }

private:
    std::shared_ptr<Shared> shared_;
};

AudioOutput::AudioOutput(int sampleRate, DevicePicker picker)
    : format_(monoFormat(sampleRate)),
      picker_(picker ? std::move(picker) : DevicePicker(defaultDevice)),
      shared_(std::make_shared<Shared>()),
      source_(std::make_unique<Source>(shared_)),
      releaseTimer_(std::make_unique<QTimer>()),
      devices_(std::make_unique<QMediaDevices>()),
      context_(std::make_unique<QObject>()) {
    releaseTimer_->setSingleShot(true);
    QObject::connect(releaseTimer_.get(), &QTimer::timeout, context_.get(), [this] { release(); });
    QObject::connect(devices_.get(), &QMediaDevices::audioOutputsChanged, context_.get(),
                     [this] { hasDevice(); });
    hasDevice();
}

AudioOutput::~AudioOutput() {
    context_.reset();
    releaseTimer_.reset();
    if (sink_) {
        QObject::disconnect(sink_.get(), nullptr, nullptr, nullptr);
        sink_->stop();
        sink_.reset();
    }
}

bool AudioOutput::hasDevice() const {
    const bool available = !picker_().isNull();
    shared_->accepting = available;
    return available;
}

void AudioOutput::utteranceStarted(uint64_t) {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    ++shared_->openUtterances;
}

void AudioOutput::pcm(const int16_t* samples, std::size_t count) {
    if (!shared_->accepting) {
        return;
    }
    bool post = false;
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->samples.insert(shared_->samples.end(), samples, samples + count);
        post = !shared_->arrivalPosted;
        shared_->arrivalPosted = true;
    }
    if (post) {
        QMetaObject::invokeMethod(
            context_.get(), [this] { onSamplesArrived(); }, Qt::QueuedConnection);
    }
}

void AudioOutput::utteranceFinished(uint64_t) {
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        --shared_->openUtterances;
    }
    QMetaObject::invokeMethod(
        context_.get(), [this] { checkFinished(); }, Qt::QueuedConnection);
}

void AudioOutput::setVolume(double volume) {
    volume_ = std::clamp(volume, 0.0, 1.0);
    if (sink_) {
        sink_->setVolume(volume_);
    }
}

void AudioOutput::discard() {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->samples.clear();
}

bool AudioOutput::open() const {
    return sink_ && sink_->state() != QAudio::StoppedState;
}

void AudioOutput::onSamplesArrived() {
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->arrivalPosted = false;
        if (shared_->samples.empty()) {
            return;
        }
    }
    releaseTimer_->stop();
    if (open()) {
        source_->announce();
        return;
    }
    const QAudioDevice device = picker_();
    if (device.isNull()) {
        shared_->accepting = false;
        discard();
        return;
    }
    if (!sink_ || device.id() != sinkDevice_.id()) {
        if (sink_) {
            // Not deleted here: a sink's destructor runs pending events.
            QAudioSink* old = sink_.release();
            QObject::disconnect(old, nullptr, nullptr, nullptr);
            old->deleteLater();
        }
        sink_ = std::make_unique<QAudioSink>(device, format_);
        sinkDevice_ = device;
        sink_->setBufferSize(
            static_cast<qsizetype>(format_.bytesForDuration(int64_t{kDeviceBufferMs} * 1000)));
        QObject::connect(sink_.get(), &QAudioSink::stateChanged, context_.get(),
                         [this] { onStateChanged(); });
    }
    sink_->setVolume(volume_);
    sink_->start(source_.get());
}

void AudioOutput::onStateChanged() {
    if (!sink_) {
        return;
    }
    if (sink_->state() == QAudio::StoppedState && sink_->error() != QAudio::NoError) {
        // The device went away or would not open: this speech is lost, the next tries again.
        discard();
        return;
    }
    if (sink_->state() == QAudio::IdleState) {
        checkFinished();
    }
}

void AudioOutput::checkFinished() {
    if (!sink_ || sink_->state() != QAudio::IdleState) {
        return;
    }
    bool empty = false;
    bool finished = false;
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        empty = shared_->samples.empty();
        finished = shared_->openUtterances == 0;
    }
    if (!empty) {
        source_->announce();
    } else if (finished && !releaseTimer_->isActive()) {
        releaseTimer_->start(kReleaseDelayMs);
    }
}

void AudioOutput::release() {
    if (!sink_ || sink_->state() != QAudio::IdleState) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        if (!shared_->samples.empty() || shared_->openUtterances != 0) {
            return;
        }
    }
    sink_->stop();
    if (onQuiet) {
        onQuiet();
    }
}

}  // namespace velkora
