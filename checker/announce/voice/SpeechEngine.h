#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "checker/announce/voice/SpeechText.h"

namespace velkora {

// The synthesizer (espeak-ng, with its "ja" and "en" voices) and the Japanese reader (MeCab),
// set up once per process: espeak-ng keeps process-wide state and neither library is for
// concurrent use, so every use goes through a lease that holds the engine's lock.
class SpeechEngine {
public:
    // Exclusive use of the engine for as long as the lease lives.
    class Lease {
    public:
        SpeechEngine* operator->() const { return engine_; }
        SpeechEngine& operator*() const { return *engine_; }

    private:
        friend class SpeechEngine;
        Lease(SpeechEngine& engine, std::unique_lock<std::mutex> lock)
            : lock_(std::move(lock)), engine_(&engine) {}
        std::unique_lock<std::mutex> lock_;
        SpeechEngine* engine_;
    };

    // Receives one chunk of 16-bit mono samples; returning false stops the synthesis.
    using PcmChunk = std::function<bool(const int16_t* samples, std::size_t count)>;

    // Sets the engine up on first use and waits (sleeping) while another thread holds it.
    static Lease acquire();

    SpeechEngine(const SpeechEngine&) = delete;
    SpeechEngine& operator=(const SpeechEngine&) = delete;

    // False when espeak-ng could not be set up; then nothing is ever synthesised.
    bool available() const { return sampleRate_ > 0; }
    int sampleRate() const { return sampleRate_; }
    // False when MeCab or its dictionary is missing; kanji are then left out.
    bool hasReadings() const { return reader_ != nullptr; }

    // What the synthesizer will be asked to say for a text with speech output tags.
    std::vector<SpeechUnit> prepare(std::string_view text, int defaultRate);

    // Speaks a text with speech output tags, delivering the samples as they are made.
    // False when the engine is unavailable or the synthesizer failed.
    bool synthesize(std::string_view text, int defaultRate, const PcmChunk& onPcm);
    // The whole of a text's speech.
    std::vector<int16_t> render(std::string_view text, int defaultRate);

    // espeak-ng's phonemes for a text read by one voice as it is, without the reader.
    std::string phonemes(SpeechLanguage language, std::string_view text);

private:
    SpeechEngine();
    ~SpeechEngine();
    static SpeechEngine& instance();
    bool selectVoice(SpeechLanguage language);

    std::mutex mutex_;
    int sampleRate_ = 0;
    bool voiceSelected_ = false;
    SpeechLanguage currentVoice_ = SpeechLanguage::Japanese;
    std::unique_ptr<JapaneseReader> reader_;
};

}  // namespace velkora
