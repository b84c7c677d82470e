#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velkora {

// Japanese readings of numbers, in katakana with long vowels as ー (as the synthesizer's
// Japanese voice reads them best).

// A number written in ASCII digits: 10 ジュー, 300 サンビャク, 2024 ニセンニジューヨン,
// 10000000 イッセンマン. Numbers with leading zeros (0120) or too long for 兆 are read digit
// by digit; 0 alone is ゼロ.
std::string readJapaneseNumber(std::string_view digits);

// A number followed by a counter, with the sound changes between them: 1通 イッツー,
// 10通 ジュッツー, 8件 ハッケン, 3本 サンボン, 6分 ロップン, 4時 ヨジ, 2人 フタリ,
// 3日 ミッカ. Nothing when the counter (its written form) is not one of those known here;
// the number is then read on its own and the counter as the dictionary reads it.
std::optional<std::string> readJapaneseCount(std::string_view digits, std::string_view counter);

}  // namespace velkora
