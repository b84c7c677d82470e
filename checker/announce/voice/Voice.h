#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "checker/announce/voice/AudioOutput.h"
#include "checker/announce/voice/SpeechQueue.h"
#include "checker/announce/voice/SpeechTags.h"

namespace velkora {

// The character's voice: Japanese mail text spoken with MeCab readings and espeak-ng, queued
// and played in order on the desktop's audio output. Lives on the GUI thread. The audio side
// is set up when it is first needed, so that rendering to a file needs no sound system.
class Voice {
public:
    explicit Voice(AudioOutput::DevicePicker picker = {}, int defaultRate = kDefaultSpeechRate);
    ~Voice();
    Voice(const Voice&) = delete;
    Voice& operator=(const Voice&) = delete;

    // False when the synthesizer could not be set up; the voice then says nothing.
    bool available() const { return available_; }
    int sampleRate() const { return sampleRate_; }

    // Queues a text (speech output tags allowed) and returns at once; false when unavailable.
    // It plays at the volume set now, even when the volume changes before it is heard.
    bool speak(const std::string& text);
    // The same at a volume of its own (0 to 65535); returns the utterance's number, which the
    // output's playback marks carry, or 0 when unavailable.
    uint64_t say(const std::string& text, uint16_t level);
    // Drops what is queued and stops what is playing.
    void stop();

    bool hasOutputDevice() { return output().hasDevice(); }
    // Output level, 0 (silent) to 65535 (full), for the texts queued from now on.
    void setVolume(uint16_t level);
    uint16_t volume() const { return level_; }

    // Speaks a text into a 16-bit mono RIFF WAVE file instead of the output, waiting for it.
    bool renderToWav(const std::string& text, const std::string& path) const;

    AudioOutput& output();

private:
    AudioOutput::DevicePicker picker_;
    const int defaultRate_;
    bool available_ = false;
    int sampleRate_ = 0;
    uint16_t level_ = 65535;
    std::unique_ptr<AudioOutput> output_;
    // Declared after the output: destroyed first, so that no samples arrive at a dead output.
    std::unique_ptr<SpeechQueue> queue_;
};

}  // namespace velkora
