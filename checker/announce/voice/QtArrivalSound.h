#pragma once

#include <QAudioDevice>
#include <QByteArray>
#include <functional>
#include <memory>
#include <string>

#include "checker/announce/ArrivalSound.h"

class QAudioSink;
class QBuffer;
class QSoundEffect;

namespace velkora {

// The arrival sound on the desktop's audio output (Qt Multimedia), on the GUI thread.
// Both calls return at once and play in the background; without an output device, or with a
// file that is missing or no WAVE file, nothing plays and nothing is said.
class QtArrivalSound final : public ArrivalSound {
public:
    // Chooses the device at each call; the default picks the desktop's default output.
    using DevicePicker = std::function<QAudioDevice()>;

    explicit QtArrivalSound(DevicePicker picker = {});
    ~QtArrivalSound() override;
    QtArrivalSound(const QtArrivalSound&) = delete;
    QtArrivalSound& operator=(const QtArrivalSound&) = delete;

    // A new sound replaces one still playing.
    void playWave(const std::string& path) override;
    // A short tone of its own: the X bell is silent on most desktops and does not exist on
    // Wayland, so the beep is played through the audio output like the WAV file.
    void beep() override;

    // True while a WAV file or the beep is playing or about to.
    bool playing() const;

private:
    DevicePicker picker_;
    std::unique_ptr<QSoundEffect> effect_;
    QByteArray tone_;
    std::unique_ptr<QBuffer> toneBuffer_;
    std::unique_ptr<QAudioSink> toneSink_;
    QAudioDevice toneDevice_;
};

}  // namespace velkora
