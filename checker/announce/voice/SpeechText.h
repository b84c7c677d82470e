#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "checker/announce/voice/SpeechTags.h"

namespace velkora {

class JapaneseReader;

// Which of the synthesizer's voices speaks a stretch of text.
enum class SpeechLanguage { Japanese, English };

struct LanguageRun {
    SpeechLanguage language = SpeechLanguage::Japanese;
    std::string text;

    bool operator==(const LanguageRun&) const = default;
};

// One call of the synthesizer: a voice, a speed and the text it reads.
struct SpeechUnit {
    SpeechLanguage language = SpeechLanguage::Japanese;
    std::string text;
    int rate = kDefaultSpeechRate;

    bool operator==(const SpeechUnit&) const = default;
};

// Splits text (without tags) into stretches for the Japanese and the English voice, after
// folding compatibility forms (full-width Latin and digits, half-width katakana) to their
// usual ones. A run of Latin letters, together with the ASCII spaces, digits and punctuation
// around and inside it (names, mail addresses, English subjects), is English; everything else,
// digits and punctuation between Japanese words included, is Japanese. Control characters
// become spaces; runs are trimmed and empty ones dropped.
std::vector<LanguageRun> splitLanguages(std::string_view text);

// The synthesizer calls for a text with speech output tags: the tags' speeds, the language
// runs, and for Japanese the reader's katakana (kana and digits only when reader is null).
// Stretches left with nothing to say are dropped.
std::vector<SpeechUnit> prepareSpeech(std::string_view text, int defaultRate,
                                      JapaneseReader* reader);

}  // namespace velkora
