#pragma once

#include <QAudioDevice>
#include <QAudioFormat>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "checker/announce/voice/SpeechQueue.h"

class QAudioSink;
class QMediaDevices;
class QObject;
class QTimer;

namespace velkora {

// Where playback of one utterance stands, reported about when the listener hears it.
struct PlaybackMark {
    uint64_t utterance = 0;
    // Samples of the utterance heard so far, and all of its samples once synthesis is done.
    std::size_t position = 0;
    std::size_t total = 0;
    bool complete = false;
    // Loudness of what is heard now, 0 (silence) to 1 (full scale), before the volume.
    double level = 0;
    // The last of the utterance has been heard (or it was dropped); no mark follows.
    bool finished = false;
};

// Plays the synthesized speech on the desktop's audio output (Qt Multimedia), on the GUI
// thread. The samples arrive from the synthesis thread and are buffered; the output device is
// opened when speech arrives and released once all of it has been played. With no output
// device the speech is dropped without a word. Each utterance plays at the volume it was
// given when queued, so a volume change applies to the texts queued after it, however long
// the texts before it take to be heard.
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
    // Linear volume, 0 to 1, for the utterances queued from now on.
    void setVolume(double volume);
    double volume() const { return volume_; }
    // The volume of one utterance, set when it is queued (before it plays).
    void setUtteranceVolume(uint64_t utterance, double volume);
    // Drops the speech not yet handed to the device.
    void discard();
    // True while the output device is open.
    bool open() const;
    // Called after the speech delivered so far has been played and the device released.
    std::function<void()> onQuiet;
    // Called as the speech is heard: several times a second while an utterance plays, and once
    // with `finished` at its end, also for an utterance that was dropped or had no sound.
    std::function<void(const PlaybackMark&)> onPlayback;

    struct Shared;
    class Source;

private:
    void onSamplesArrived();
    void checkFinished();
    // Hands marks to onPlayback once what the device holds now has been played.
    void deliver(std::vector<PlaybackMark> marks);
    int bufferedMilliseconds() const;
    void release();
    void onStateChanged();

    const QAudioFormat format_;
    DevicePicker picker_;
    double volume_ = 1.0;
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
