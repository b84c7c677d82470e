#pragma once

#include <QAudioDevice>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velkora::test {

// A 16-bit PCM WAVE file as read back from disk.
struct WavInfo {
    int channels = 0;
    int sampleRate = 0;
    int bitsPerSample = 0;
    std::vector<int16_t> samples;
    double seconds() const {
        return sampleRate > 0 ? static_cast<double>(samples.size()) / channels / sampleRate : 0;
    }
};

// Reads a 16-bit PCM RIFF WAVE file as written by the voice; nothing when it is not one.
std::optional<WavInfo> readWav(const std::string& path);

// A fresh file name in a private temporary folder that lives until the program ends.
std::string tempPath(const std::string& name);

// A private PulseAudio server with one null output, started once per test program before Qt
// Multimedia is first used, and stopped at exit. False when the pulseaudio program is missing
// or the server would not start; Qt then sees no output device.
bool ensureAudioServer();

// Records what the private server's output plays, through the output's monitor.
class OutputRecorder {
public:
    OutputRecorder();
    ~OutputRecorder();
    OutputRecorder(const OutputRecorder&) = delete;
    OutputRecorder& operator=(const OutputRecorder&) = delete;

    // Returns once the recording is running: what plays from then on is recorded.
    bool start();
    // The largest sample recorded since start, 0 to 32768.
    double peak() const;
    // Sum of the squared samples: grows with length, so it compares recordings of one sound.
    double energy() const;

private:
    struct Impl;
    Impl* impl_;
};

// Runs the Qt event loop, sleeping between events, until done() or the timeout; true when
// done() became true.
bool runEventsUntil(const std::function<bool()>& done, int timeoutMs);
// Runs the Qt event loop for a while.
void runEventsFor(int ms);

// The output device of the private server, or a null device.
QAudioDevice testOutputDevice();

}  // namespace velkora::test
