#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace velkora {

// How a key's value is held in memory; every value is stored as text.
enum class SettingType {
    Flag,   // 16-bit, 1 = on; stored "0" / "1"
    Int16,  // signed 16-bit, stored in decimal
    Int32,  // signed 32-bit, stored in decimal
    Text,
};

// Where a key's default comes from when it is not a fixed text.
enum class DefaultSource {
    Fixed,           // the texts in the table
    AgentPath,       // defaultAgentPath(), found at run time
    ScreenPosition,  // computed from the screen by the character placement
};

struct SettingKey {
    std::string_view name;
    SettingType type;
    // The value the checker assumes when the key is absent, in its stored form (decimal for
    // numbers). Empty for keys whose default is not fixed (see `source`).
    std::string_view checkerDefault;
    // What the options dialog shows (and then stores) when the key is absent, where that
    // differs from the checker's default.
    std::optional<std::string_view> optionsDefault;
    DefaultSource source = DefaultSource::Fixed;

    std::string_view optionsDefaultOrChecker() const {
        return optionsDefault ? *optionsDefault : checkerDefault;
    }
};

// Characters deleted from mail bodies before they are shown and spoken.
inline constexpr std::string_view kCheckerNotstr =
    "┌┐┘└├┬┤┴┼━┃┏┛┓┗┣┳┫┻╋┠┯┨┷┿┝┰┥┸╂―／＼～∥｜（）〔〕［］｛｝〈〉《》「」『』【】＋－±×÷＝＜"
    "＞≦≧∞∴♂♀℃￥＄￠￡％＃＆＊＠§☆★○●◎◇◆□■△▲▽▼※〒→←↑↓〓∈∋⊆⊇⊂⊃∪∩∧∨⇒⇔∀∃∠⊥⌒∂∇≡≒≪≫√∽∝∵∫"
    "∬Å‰♯♭♪†‡¶◯";
// The options dialog's longer set: adds "‐", "…‥" and the ASCII brackets and signs.
inline constexpr std::string_view kOptionsNotstr =
    "┌┐┘└├┬┤┴┼━┃┏┛┓┗┣┳┫┻╋┠┯┨┷┿┝┰┥┸╂―‐／＼～∥｜…‥（）〔〕［］｛｝〈〉《》「」『』【】＋－±×÷＝"
    "＜＞≦≧∞∴♂♀℃￥＄￠￡％＃＆＊＠§☆★○●◎◇◆□■△▲▽▼※〒→←↑↓〓∈∋⊆⊇⊂⊃∪∩∧∨⇒⇔∀∃∠⊥⌒∂∇≡≒≪≫√∽"
    "∝∵∫∬Å‰♯♭♪†‡¶◯#$%&(){}[]<>";

// Speech templates 1..6 ("Talkstr1" ... "Talkstr6").
inline constexpr std::array<std::string_view, 6> kTalkstrDefaults = {
    "全部で@1通のメールが届いています",
    "@2へのメール@3通目",
    "差出人 @4",
    "件名 @5",
    "@6",
    "以上です",
};

// Animations played before templates 1..6 ("Actkind1" ... "Actkind6").
inline constexpr std::array<std::string_view, 6> kActkindDefaults = {
    "Congratulate", "Read", "Nothing", "Nothing", "Nothing", "Nothing",
};

inline constexpr std::string_view kHukifontNDefault = "ＭＳ Ｐゴシック";

// Every global key, in the order of the settings table. Account keys (field name + account
// number) are not listed here; see Accounts.h.
std::span<const SettingKey> settingKeys();

// The entry of a key (exact, case-sensitive name), or nullptr.
const SettingKey* findSettingKey(std::string_view name);

// The key of entry `index` (1-based) of a numbered list such as "Talkstr" or "Mailerdir".
std::string numberedKey(std::string_view prefix, int index);

// A list of fixed texts as strings, for default member initialisers.
template <std::size_t N>
std::array<std::string, N> toStrings(const std::array<std::string_view, N>& texts) {
    std::array<std::string, N> result;
    for (std::size_t i = 0; i < N; ++i) {
        result[i] = std::string(texts[i]);
    }
    return result;
}

}  // namespace velkora
