#include "checker/announce/voice/SpeechEngine.h"

#include <espeak-ng/speak_lib.h>

#include "checker/announce/voice/JapaneseReader.h"

namespace velkora {

namespace {

// Length of the chunks the synthesizer hands over; short, so that the first one comes soon.
constexpr int kChunkMilliseconds = 20;

struct SynthContext {
    const SpeechEngine::PcmChunk* onPcm = nullptr;
    bool stopped = false;
};

int synthCallback(short* wav, int count, espeak_EVENT* events) {
    if (events == nullptr || events->user_data == nullptr) {
        return 0;
    }
    auto* context = static_cast<SynthContext*>(events->user_data);
    if (context->stopped) {
        return 1;
    }
    if (wav != nullptr && count > 0 &&
        !(*context->onPcm)(reinterpret_cast<const int16_t*>(wav),
                           static_cast<std::size_t>(count))) {
        context->stopped = true;
        return 1;
    }
    return 0;
}

const char* voiceName(SpeechLanguage language) {
    return language == SpeechLanguage::English ? "en" : "ja";
}

}  // namespace

SpeechEngine::SpeechEngine() {
    int rate = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, kChunkMilliseconds, nullptr,
                                 espeakINITIALIZE_DONT_EXIT);
    if (rate > 0) {
        sampleRate_ = rate;
        espeak_SetSynthCallback(synthCallback);
    }
    reader_ = JapaneseReader::open();
}

// espeak-ng is deliberately not terminated: its terminate call waits for a thread that the
// synchronous mode never wakes, and the process is ending anyway.
SpeechEngine::~SpeechEngine() = default;

SpeechEngine& SpeechEngine::instance() {
    static SpeechEngine engine;
    return engine;
}

SpeechEngine::Lease SpeechEngine::acquire() {
    SpeechEngine& engine = instance();
    return Lease(engine, std::unique_lock<std::mutex>(engine.mutex_));
}

bool SpeechEngine::selectVoice(SpeechLanguage language) {
    if (voiceSelected_ && currentVoice_ == language) {
        return true;
    }
    if (espeak_SetVoiceByName(voiceName(language)) != EE_OK) {
        voiceSelected_ = false;
        return false;
    }
    voiceSelected_ = true;
    currentVoice_ = language;
    return true;
}

std::vector<SpeechUnit> SpeechEngine::prepare(std::string_view text, int defaultRate) {
    return prepareSpeech(text, defaultRate, reader_.get());
}

bool SpeechEngine::synthesize(std::string_view text, int defaultRate, const PcmChunk& onPcm) {
    if (!available()) {
        return false;
    }
    SynthContext context;
    context.onPcm = &onPcm;
    for (const SpeechUnit& unit : prepare(text, defaultRate)) {
        if (!selectVoice(unit.language)) {
            return false;
        }
        espeak_SetParameter(espeakRATE, unit.rate, 0);
        espeak_ERROR result = espeak_Synth(unit.text.c_str(), unit.text.size() + 1, 0,
                                           POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr, &context);
        if (context.stopped) {
            return true;
        }
        if (result != EE_OK) {
            return false;
        }
    }
    return true;
}

std::vector<int16_t> SpeechEngine::render(std::string_view text, int defaultRate) {
    std::vector<int16_t> samples;
    synthesize(text, defaultRate, [&samples](const int16_t* data, std::size_t count) {
        samples.insert(samples.end(), data, data + count);
        return true;
    });
    return samples;
}

std::string SpeechEngine::phonemes(SpeechLanguage language, std::string_view text) {
    if (!available() || !selectVoice(language)) {
        return {};
    }
    const std::string input(text);
    const void* position = input.c_str();
    std::string result;
    while (position != nullptr) {
        const char* clause = espeak_TextToPhonemes(&position, espeakCHARS_UTF8, 0);
        if (clause == nullptr) {
            break;
        }
        if (!result.empty() && *clause != '\0') {
            result.push_back(' ');
        }
        result += clause;
    }
    return result;
}

}  // namespace velkora
