#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace velkora {

// What the balloon shows of a text with speech output tags: the tags removed, "\\" as one
// backslash, and for \Map="spoken"="shown"\ the shown text. A backslash that opens no complete
// tag stays as it is.
std::string balloonText(std::string_view text);

// The balloon's text revealed word by word as the speech goes on.
class BalloonReveal {
public:
    explicit BalloonReveal(std::string text);

    const std::string& text() const { return text_; }
    // How many bytes of the text to show when `progress` (0 to 1) of the speech has been heard:
    // every word that speech has reached, whole. Words end at spaces and punctuation and where
    // the script changes, except from kanji to the kana that follows it.
    std::size_t visibleBytes(double progress) const;

private:
    std::string text_;
    std::vector<std::size_t> wordEnds_;  // byte offsets, ascending, the last is text_.size()
    std::size_t characters_ = 0;
    std::vector<std::size_t> wordEndCharacters_;
};

}  // namespace velkora
