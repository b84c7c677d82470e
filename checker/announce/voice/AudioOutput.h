#pragma once

#include <QAudioDevice>
#include <QAudioFormat>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "checker/announce/voice/SpeechQueue.h"

class QAudioSink;
class QMediaDevices;
class QObject;
class QTimer;

namespace velkora {

// Plays the synthesized speech on the desktop's audio output (Qt Multimedia), on the GUI
// thread. The samples arrive from the synthesis thread and are buffered; the output device is
// opened when speech arrives and released once all of it has been played. With no output
// device the speech is dropped without a word.
class AudioOutput final : public PcmReceiver {
public:
    // Chooses the device for the next opening; the default picks the desktop's default output.
    using DevicePicker = std::function<QAudioDevice()>;

    // On the GUI thread, with a QCoreApplication.
    explicit AudioOutput(int sampleRate, DevicePicker picker = {});
    ~AudioOutput() override;
    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;

    // From the synthesis thread.
    void utteranceStarted(uint64_t id) override;
    void pcm(const int16_t* samples, std::size_t count) override;
    void utteranceFinished(uint64_t id) override;

    // GUI thread from here on.
    // Whether an output device is there to play on.
    bool hasDevice() const;
    // Linear output volume, 0 to 1, for the speech now playing and all that follows.
    void setVolume(double volume);
    double volume() const { return volume_; }
    // Drops the speech not yet handed to the device.
    void discard();
    // True while the output device is open.
    bool open() const;
    // Called after the speech delivered so far has been played and the device released.
    std::function<void()> onQuiet;

    struct Shared;
    class Source;

private:
    void onSamplesArrived();
    void checkFinished();
    void release();
    void onStateChanged();

    const QAudioFormat format_;
    DevicePicker picker_;
    double volume_ = 1.0;
    bool deviceAvailable_ = false;
    std::shared_ptr<Shared> shared_;
    std::unique_ptr<Source> source_;
    std::unique_ptr<QAudioSink> sink_;
    QAudioDevice sinkDevice_;
    std::unique_ptr<QTimer> releaseTimer_;
    std::unique_ptr<QMediaDevices> devices_;
    // Receiver of the calls posted from the synthesis thread; destroyed first, dropping them.
    std::unique_ptr<QObject> context_;
};

}  // namespace velkora
