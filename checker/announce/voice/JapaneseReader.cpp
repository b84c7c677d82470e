#include "checker/announce/voice/JapaneseReader.h"

#include <mecab.h>

#include "checker/announce/voice/JapaneseNumbers.h"

#include <QChar>
#include <QList>
#include <QString>
#include <optional>
#include <vector>

namespace velkora {

namespace {

bool isKana(char32_t c) {
    QChar::Script script = QChar::script(c);
    // The long vowel mark and the sound marks belong to no script of their own.
    return script == QChar::Script_Hiragana || script == QChar::Script_Katakana || c == U'ー' ||
           (c >= 0x3099 && c <= 0x309C);
}

bool isKanji(char32_t c) {
    return QChar::script(c) == QChar::Script_Han;
}

bool isFullWidthDigit(char32_t c) {
    return c >= U'０' && c <= U'９';
}

bool isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string toUtf8(char32_t c) {
    return QString::fromUcs4(&c, 1).toStdString();
}

std::vector<char32_t> codePoints(std::string_view text) {
    QList<uint> ucs4 = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toUcs4();
    return std::vector<char32_t>(ucs4.begin(), ucs4.end());
}

// Clause punctuation keeps its pause; anything else unreadable becomes a gap.
const char* punctuationReading(char32_t c) {
    switch (c) {
        case U',':
        case U'、':
        case U';':
        case U':':
            return "、";
        case U'.':
        case U'。':
        case U'!':
        case U'?':
            return "。";
        default:
            return " ";
    }
}

// Digits go to the dictionary in full width, where it knows counters such as 3月 (サンガツ);
// thousands separators are dropped so that 1,000 stays one number.
std::string prepareForDictionary(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == ',' && i > 0 && isAsciiDigit(text[i - 1])) {
            std::size_t digits = 0;
            while (i + 1 + digits < text.size() && isAsciiDigit(text[i + 1 + digits])) {
                ++digits;
            }
            if (digits == 3) {
                continue;
            }
        }
        if (isAsciiDigit(c)) {
            out += toUtf8(static_cast<char32_t>(U'０' + (c - '0')));
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::vector<std::string> splitFeatures(const char* feature) {
    std::vector<std::string> fields(1);
    for (const char* p = feature; *p != '\0'; ++p) {
        if (*p == ',') {
            fields.emplace_back();
        } else {
            fields.back().push_back(*p);
        }
    }
    return fields;
}

struct Morpheme {
    std::string surface;
    std::vector<std::string> features;
};

std::string featureAt(const Morpheme& m, std::size_t index) {
    if (index < m.features.size() && m.features[index] != "*") {
        return m.features[index];
    }
    return {};
}

// The pronunciation (ワ for the particle は, トーキョー for 東京) reads better than the
// reading; the reading is the fallback.
std::string spokenForm(const Morpheme& m) {
    std::string pronunciation = featureAt(m, 8);
    return pronunciation.empty() ? featureAt(m, 7) : pronunciation;
}

// Words that lean on the one before them and so belong to its phrase.
bool attachesToPrevious(const Morpheme& m) {
    const std::string pos = featureAt(m, 0);
    const std::string sub = featureAt(m, 1);
    if (pos == "助詞" || pos == "助動詞") {
        return true;
    }
    return (pos == "名詞" || pos == "動詞" || pos == "形容詞") &&
           (sub == "接尾" || sub == "非自立");
}

bool allDigits(const std::vector<char32_t>& chars) {
    if (chars.empty()) {
        return false;
    }
    for (char32_t c : chars) {
        if (!isFullWidthDigit(c)) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::unique_ptr<JapaneseReader> JapaneseReader::open(const std::string& configFile) {
    std::string program = "mecab";
    std::string option = "-r";
    std::string file = configFile;
    std::vector<char*> argv{program.data()};
    if (!configFile.empty()) {
        argv.push_back(option.data());
        argv.push_back(file.data());
    }
    std::unique_ptr<MeCab::Model> model(
        MeCab::createModel(static_cast<int>(argv.size()), argv.data()));
    if (!model) {
        return nullptr;
    }
    std::unique_ptr<JapaneseReader> reader(new JapaneseReader());
    reader->tagger_.reset(model->createTagger());
    reader->lattice_.reset(model->createLattice());
    reader->model_ = std::move(model);
    if (!reader->tagger_ || !reader->lattice_) {
        return nullptr;
    }
    return reader;
}

JapaneseReader::~JapaneseReader() = default;

std::string JapaneseReader::read(std::string_view text) {
    const std::string sentence = prepareForDictionary(text);
    std::vector<Morpheme> morphemes;
    lattice_->set_sentence(sentence.c_str(), sentence.size());
    if (!tagger_->parse(lattice_.get())) {
        return readWithoutDictionary(text);
    }
    for (const MeCab::Node* node = lattice_->bos_node(); node != nullptr; node = node->next) {
        if (node->stat == MECAB_BOS_NODE || node->stat == MECAB_EOS_NODE) {
            continue;
        }
        morphemes.push_back(
            Morpheme{std::string(node->surface, node->length), splitFeatures(node->feature)});
    }

    std::string out;
    bool previousWasPrefix = false;
    auto startPhrase = [&out] {
        if (!out.empty() && out.back() != ' ') {
            out.push_back(' ');
        }
    };
    // The dictionary gives a number one digit at a time: the digits are gathered and read as
    // one number, together with the counter after them (1通 イッツー, 10件 ジュッケン).
    std::string digits;
    for (std::size_t k = 0; k < morphemes.size(); ++k) {
        const Morpheme& m = morphemes[k];
        std::vector<char32_t> chars = codePoints(m.surface);
        const std::string pos = featureAt(m, 0);
        if (allDigits(chars)) {
            if (digits.empty() && !previousWasPrefix) {
                startPhrase();
            }
            for (char32_t c : chars) {
                digits.push_back(static_cast<char>('0' + (c - U'０')));
            }
            const bool numberEnds =
                k + 1 == morphemes.size() || !allDigits(codePoints(morphemes[k + 1].surface));
            if (!numberEnds) {
                continue;
            }
            const Morpheme* next = k + 1 < morphemes.size() ? &morphemes[k + 1] : nullptr;
            std::optional<std::string> counted;
            if (next != nullptr && featureAt(*next, 1) == "接尾" &&
                featureAt(*next, 2) == "助数詞") {
                counted = readJapaneseCount(digits, next->surface);
            }
            if (counted) {
                out += *counted;
                ++k;
            } else {
                out += readJapaneseNumber(digits);
            }
            digits.clear();
            previousWasPrefix = false;
            continue;
        }
        if (pos == "記号") {
            const std::string sub = featureAt(m, 1);
            out += sub == "句点" ? "。" : sub == "読点" ? "、" : " ";
            previousWasPrefix = false;
            continue;
        }
        std::string spoken = spokenForm(m);
        bool readable = !spoken.empty();
        if (spoken.empty()) {
            for (char32_t c : chars) {
                readable = readable || isKana(c) || isKanji(c) || isFullWidthDigit(c);
                if (isKana(c)) {
                    spoken += toUtf8(c);
                } else if (isKanji(c)) {
                    std::string single = readSingle(toUtf8(c));
                    spoken += single.empty() ? " " : single;
                } else if (isFullWidthDigit(c)) {
                    spoken.push_back(static_cast<char>('0' + (c - U'０')));
                } else {
                    spoken += punctuationReading(c);
                }
            }
        }
        // What is left of punctuation the dictionary did not know joins the text as it is.
        if (readable && !attachesToPrevious(m) && !previousWasPrefix) {
            startPhrase();
        }
        out += spoken;
        previousWasPrefix = pos == "接頭詞";
    }
    return out;
}

std::string JapaneseReader::readSingle(std::string_view character) {
    const std::string sentence(character);
    lattice_->set_sentence(sentence.c_str(), sentence.size());
    if (!tagger_->parse(lattice_.get())) {
        return {};
    }
    const MeCab::Node* node = lattice_->bos_node();
    node = node != nullptr ? node->next : nullptr;
    if (node == nullptr || node->stat == MECAB_EOS_NODE || node->length != sentence.size()) {
        return {};
    }
    return spokenForm(Morpheme{sentence, splitFeatures(node->feature)});
}

std::string readWithoutDictionary(std::string_view text) {
    std::string out;
    std::string digits;
    const auto flush = [&out, &digits] {
        if (!digits.empty()) {
            out += readJapaneseNumber(digits);
            digits.clear();
        }
    };
    for (char32_t c : codePoints(text)) {
        if (c >= U'0' && c <= U'9') {
            digits.push_back(static_cast<char>(c));
            continue;
        }
        if (isFullWidthDigit(c)) {
            digits.push_back(static_cast<char>('0' + (c - U'０')));
            continue;
        }
        flush();
        out += isKana(c) ? toUtf8(c) : punctuationReading(c);
    }
    flush();
    return out;
}

}  // namespace velkora
