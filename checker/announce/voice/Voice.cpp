#include "checker/announce/voice/Voice.h"

#include <vector>

#include "checker/announce/voice/SpeechEngine.h"
#include "checker/announce/voice/WavFile.h"

namespace velkora {

namespace {

// The engine's rate is known only once it is set up; a voice without one still has a format.
constexpr int kFallbackSampleRate = 22050;

}  // namespace

Voice::Voice(AudioOutput::DevicePicker picker, int defaultRate)
    : picker_(std::move(picker)), defaultRate_(defaultRate) {
    SpeechEngine::Lease engine = SpeechEngine::acquire();
    available_ = engine->available();
    sampleRate_ = available_ ? engine->sampleRate() : kFallbackSampleRate;
}

AudioOutput& Voice::output() {
    if (!output_) {
        output_ = std::make_unique<AudioOutput>(sampleRate_, picker_);
        output_->setVolume(level_ / 65535.0);
        queue_ = std::make_unique<SpeechQueue>(*output_, defaultRate_);
    }
    return *output_;
}

Voice::~Voice() {
    queue_.reset();
}

bool Voice::speak(const std::string& text) {
    return say(text, level_) != 0;
}

uint64_t Voice::say(const std::string& text, uint16_t level) {
    if (!available_) {
        return 0;
    }
    output();
    // The volume is noted before the text is queued, so that synthesis cannot overtake it.
    const uint64_t id = queue_->nextId();
    output_->setUtteranceVolume(id, level / 65535.0);
    return queue_->enqueue(text);
}

void Voice::stop() {
    if (output_) {
        queue_->clear();
        output_->discard();
    }
}

void Voice::setVolume(uint16_t level) {
    level_ = level;
    if (output_) {
        output_->setVolume(level / 65535.0);
    }
}

bool Voice::renderToWav(const std::string& text, const std::string& path) const {
    if (!available_) {
        return false;
    }
    std::vector<int16_t> samples;
    {
        SpeechEngine::Lease engine = SpeechEngine::acquire();
        samples = engine->render(text, defaultRate_);
    }
    return writeWavFile(path, samples, sampleRate_);
}

}  // namespace velkora
