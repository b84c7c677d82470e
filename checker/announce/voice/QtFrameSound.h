#pragma once

#include <QAudioDevice>
#include <QByteArray>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

class QAudioSink;
class QBuffer;

namespace velkora {

// Plays the sounds of the character's frames: complete RIFF WAVE files held in memory (PCM,
// 8 or 16 bits, mono or stereo), on the GUI thread. Returns at once; a new sound replaces one
// still playing; without an output device, or for data that is no such file, nothing plays.
//
//     character.playFrameSound = [&sound](std::span<const uint8_t> w) { sound.play(w); };
class QtFrameSound {
public:
    using DevicePicker = std::function<QAudioDevice()>;

    explicit QtFrameSound(DevicePicker picker = {});
    ~QtFrameSound();
    QtFrameSound(const QtFrameSound&) = delete;
    QtFrameSound& operator=(const QtFrameSound&) = delete;

    void play(std::span<const uint8_t> wave);
    bool playing() const;

private:
    DevicePicker picker_;
    QByteArray samples_;
    std::unique_ptr<QBuffer> buffer_;
    std::unique_ptr<QAudioSink> sink_;
};

}  // namespace velkora
