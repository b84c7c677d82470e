#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace MeCab {
class Model;
class Tagger;
class Lattice;
}  // namespace MeCab

namespace velkora {

// Turns Japanese text into the katakana reading that the synthesizer's Japanese voice can
// speak, with MeCab and its IPA dictionary. Not for concurrent use.
class JapaneseReader {
public:
    // MeCab with its default configuration (/etc/mecabrc, or $MECABRC), or with the given
    // configuration file; nothing when MeCab or its dictionary cannot be loaded.
    static std::unique_ptr<JapaneseReader> open(const std::string& configFile = {});
    ~JapaneseReader();
    JapaneseReader(const JapaneseReader&) = delete;
    JapaneseReader& operator=(const JapaneseReader&) = delete;

    // The reading of a stretch of Japanese text: each word's pronunciation in katakana (the
    // reading when the dictionary has no pronunciation), numbers read in Japanese together
    // with their counters (3通目 サンツーメ), clause punctuation as 、 and 。, a space between
    // phrases. A kanji
    // word the dictionary does not know is read character by character; what still has no
    // reading (and symbols, other scripts) becomes a space rather than a spelled-out name.
    std::string read(std::string_view text);

private:
    JapaneseReader() = default;
    // The reading of one kanji on its own, or empty.
    std::string readSingle(std::string_view character);

    std::unique_ptr<MeCab::Model> model_;
    std::unique_ptr<MeCab::Tagger> tagger_;
    std::unique_ptr<MeCab::Lattice> lattice_;
};

// Without a dictionary: keeps kana and clause punctuation, reads numbers in Japanese, and drops
// what the Japanese voice would only name (kanji, symbols, other scripts).
std::string readWithoutDictionary(std::string_view text);

}  // namespace velkora
