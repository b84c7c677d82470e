#include "checker/announce/voice/SpeechText.h"

#include <QChar>
#include <QList>
#include <QString>

#include "checker/announce/voice/JapaneseReader.h"

namespace velkora {

namespace {

enum class CharClass { Latin, Neutral, Other, Control };

CharClass classify(char32_t c) {
    if (c == U'\t' || c == U'\n' || c == U'\r') {
        return CharClass::Neutral;
    }
    if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0)) {
        return CharClass::Control;
    }
    if (QChar::isLetter(c) && QChar::script(c) == QChar::Script_Latin) {
        return CharClass::Latin;
    }
    // ASCII, the Latin-1 signs and the general punctuation (’ “ ” – …) go with either side.
    if (c < 0x80 || (c >= 0xA0 && c < 0xC0) || (c >= 0x2000 && c < 0x2070)) {
        return CharClass::Neutral;
    }
    return CharClass::Other;
}

// True when the text holds something to say, not just spaces and clause punctuation.
bool hasSpeech(std::string_view text) {
    while (!text.empty()) {
        if (text.front() == ' ' || text.front() == '\t' || text.front() == '\n' ||
            text.front() == '\r') {
            text.remove_prefix(1);
        } else if (text.starts_with("、") || text.starts_with("。")) {
            text.remove_prefix(std::string_view("、").size());
        } else {
            return true;
        }
    }
    return false;
}

std::string trimmed(const std::string& text) {
    std::size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) {
        return {};
    }
    std::size_t end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}

void appendRun(std::vector<LanguageRun>& runs, SpeechLanguage language, const std::string& text) {
    std::string t = trimmed(text);
    if (t.empty()) {
        return;
    }
    if (!runs.empty() && runs.back().language == language) {
        runs.back().text += ' ';
        runs.back().text += t;
    } else {
        runs.push_back(LanguageRun{language, std::move(t)});
    }
}

}  // namespace

std::vector<LanguageRun> splitLanguages(std::string_view text) {
    const QString folded = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))
                               .normalized(QString::NormalizationForm_KC);
    const QList<uint> chars = folded.toUcs4();

    std::vector<LanguageRun> runs;
    std::string japanese;  // Japanese text gathered since the last English run
    std::size_t i = 0;
    while (i < static_cast<std::size_t>(chars.size())) {
        // A stretch of Latin letters and neutral characters: English when it holds a letter.
        std::size_t j = i;
        bool hasLetter = false;
        std::u32string stretch;
        while (j < static_cast<std::size_t>(chars.size())) {
            char32_t c = chars[static_cast<qsizetype>(j)];
            CharClass cls = classify(c);
            if (cls == CharClass::Latin) {
                hasLetter = true;
            } else if (cls != CharClass::Neutral) {
                break;
            }
            stretch.push_back(c == U'\t' || c == U'\n' || c == U'\r' ? U' ' : c);
            ++j;
        }
        if (j > i) {
            std::string utf8 = QString::fromStdU32String(stretch).toStdString();
            if (hasLetter) {
                appendRun(runs, SpeechLanguage::Japanese, japanese);
                japanese.clear();
                appendRun(runs, SpeechLanguage::English, utf8);
            } else {
                japanese += utf8;
            }
            i = j;
            continue;
        }
        char32_t c = chars[static_cast<qsizetype>(i)];
        if (classify(c) == CharClass::Control) {
            japanese += ' ';
        } else {
            japanese += QString::fromUcs4(&c, 1).toStdString();
        }
        ++i;
    }
    appendRun(runs, SpeechLanguage::Japanese, japanese);
    return runs;
}

std::vector<SpeechUnit> prepareSpeech(std::string_view text, int defaultRate,
                                      JapaneseReader* reader) {
    std::vector<SpeechUnit> units;
    for (const SpeechPiece& piece : parseSpeechTags(text, defaultRate)) {
        for (const LanguageRun& run : splitLanguages(piece.text)) {
            std::string spoken = run.text;
            if (run.language == SpeechLanguage::Japanese) {
                spoken =
                    reader != nullptr ? reader->read(run.text) : readWithoutDictionary(run.text);
            }
            spoken = trimmed(spoken);
            if (!hasSpeech(spoken)) {
                continue;
            }
            units.push_back(SpeechUnit{run.language, std::move(spoken), piece.rate});
        }
    }
    return units;
}

}  // namespace velkora
