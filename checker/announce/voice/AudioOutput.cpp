#include "checker/announce/voice/AudioOutput.h"

#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>
#include <QMetaObject>
#include <QObject>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
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

// One utterance's samples in the queue, in the order they play.
struct Segment {
    uint64_t id = 0;
    std::size_t queued = 0;  // samples still in the queue
    std::size_t played = 0;  // samples handed to the device
    bool complete = false;   // synthesis has ended
    std::optional<double> volume;
};

struct AudioOutput::Shared {
    std::mutex mutex;
    std::deque<int16_t> samples;
    std::deque<Segment> segments;
    int openUtterances = 0;
    bool arrivalPosted = false;
    std::atomic<bool> accepting{false};
    std::map<uint64_t, double> volumes;
    double defaultVolume = 1.0;
    // Where the utterances stood at the reads since the marks were last taken.
    std::vector<PlaybackMark> marks;
};

// The device's pull source: hands over what the synthesis thread has delivered, each
// utterance at its own volume, and notes where every utterance stands.
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

    // Called after a read that produced marks, on the thread that read.
    std::function<void()> onRead;

    std::vector<PlaybackMark> takeMarks() {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        return std::exchange(shared_->marks, {});
    }

    // Marks for the utterances at the front that are complete and have nothing left to play.
    // Called with the lock held.
    void finishPlayed() {
        auto& segments = shared_->segments;
        while (!segments.empty() && segments.front().complete && segments.front().queued == 0) {
            const Segment& s = segments.front();
            shared_->marks.push_back(PlaybackMark{s.id, s.played, s.played, true, 0, true});
            shared_->volumes.erase(s.id);
            segments.pop_front();
        }
    }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        const qint64 bytes = read(data, maxSize);
        bool marked = false;
        {
            std::lock_guard<std::mutex> lock(shared_->mutex);
            marked = !shared_->marks.empty();
        }
        if (marked && onRead) {
            onRead();
        }
        return bytes;
    }

    qint64 writeData(const char*, qint64) override { return -1; }

private:
    qint64 read(char* data, qint64 maxSize) {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        std::size_t wanted =
            std::min(static_cast<std::size_t>(maxSize) / sizeof(int16_t), shared_->samples.size());
        std::size_t written = 0;
        for (Segment& segment : shared_->segments) {
            if (wanted == 0) {
                break;
            }
            const std::size_t count = std::min(wanted, segment.queued);
            if (count == 0) {
                continue;
            }
            if (!segment.volume) {
                const auto it = shared_->volumes.find(segment.id);
                segment.volume = it != shared_->volumes.end() ? it->second : shared_->defaultVolume;
            }
            double sum = 0;
            for (std::size_t i = 0; i < count; ++i) {
                const int16_t raw = shared_->samples.front();
                shared_->samples.pop_front();
                sum += static_cast<double>(raw) * raw;
                const auto sample = static_cast<int16_t>(std::lround(raw * *segment.volume));
                std::memcpy(data + (written + i) * sizeof(int16_t), &sample, sizeof(int16_t));
            }
            segment.queued -= count;
            segment.played += count;
            written += count;
            wanted -= count;
            const double level = std::sqrt(sum / static_cast<double>(count)) / 32768.0;
            shared_->marks.push_back(PlaybackMark{segment.id, segment.played,
                                                  segment.played + segment.queued, segment.complete,
                                                  level, false});
        }
        finishPlayed();
        return static_cast<qint64>(written * sizeof(int16_t));
    }

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
    // The device may read on a thread of its own: the marks go to the GUI thread first.
    source_->onRead = [this] {
        QMetaObject::invokeMethod(
            context_.get(), [this] { deliver(source_->takeMarks()); }, Qt::QueuedConnection);
    };
    hasDevice();
}

AudioOutput::~AudioOutput() {
    onPlayback = nullptr;
    source_->onRead = nullptr;
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

void AudioOutput::utteranceStarted(uint64_t id) {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    ++shared_->openUtterances;
    shared_->segments.push_back(Segment{id, 0, 0, false, std::nullopt});
}

void AudioOutput::pcm(const int16_t* samples, std::size_t count) {
    if (!shared_->accepting) {
        return;
    }
    bool post = false;
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->samples.insert(shared_->samples.end(), samples, samples + count);
        if (!shared_->segments.empty()) {
            shared_->segments.back().queued += count;
        }
        post = !shared_->arrivalPosted;
        shared_->arrivalPosted = true;
    }
    if (post) {
        QMetaObject::invokeMethod(
            context_.get(), [this] { onSamplesArrived(); }, Qt::QueuedConnection);
    }
}

void AudioOutput::utteranceFinished(uint64_t id) {
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        --shared_->openUtterances;
        for (Segment& segment : shared_->segments) {
            if (segment.id == id) {
                segment.complete = true;
            }
        }
    }
    QMetaObject::invokeMethod(
        context_.get(), [this] { checkFinished(); }, Qt::QueuedConnection);
}

void AudioOutput::setVolume(double volume) {
    volume_ = std::clamp(volume, 0.0, 1.0);
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->defaultVolume = volume_;
}

void AudioOutput::setUtteranceVolume(uint64_t utterance, double volume) {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->volumes[utterance] = std::clamp(volume, 0.0, 1.0);
}

void AudioOutput::discard() {
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->samples.clear();
        for (Segment& segment : shared_->segments) {
            segment.queued = 0;
        }
        source_->finishPlayed();
    }
    deliver(source_->takeMarks());
}

bool AudioOutput::open() const {
    return sink_ && sink_->state() != QAudio::StoppedState;
}

int AudioOutput::bufferedMilliseconds() const {
    if (!open()) {
        return 0;
    }
    const qsizetype buffered = sink_->bufferSize() - sink_->bytesFree();
    return std::max(
        0, static_cast<int>(format_.durationForBytes(static_cast<qint32>(buffered)) / 1000));
}

void AudioOutput::deliver(std::vector<PlaybackMark> marks) {
    if (marks.empty() || !onPlayback) {
        return;
    }
    // Heard once the device has played what it holds now.
    QTimer::singleShot(bufferedMilliseconds(), context_.get(), [this, marks = std::move(marks)] {
        for (const PlaybackMark& mark : marks) {
            if (onPlayback) {
                onPlayback(mark);
            }
        }
    });
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
    deliver(source_->takeMarks());
    if (sink_->state() == QAudio::IdleState) {
        checkFinished();
    }
}

void AudioOutput::checkFinished() {
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        source_->finishPlayed();
    }
    deliver(source_->takeMarks());
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
