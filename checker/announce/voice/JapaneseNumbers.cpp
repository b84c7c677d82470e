#include "checker/announce/voice/JapaneseNumbers.h"

#include <array>
#include <vector>

namespace velkora {

namespace {

constexpr std::array<const char*, 10> kDigits = {"ゼロ", "イチ", "ニ",   "サン", "ヨン",
                                                 "ゴ",   "ロク", "ナナ", "ハチ", "キュー"};
constexpr std::size_t kMaxGroups = 4;  // up to 兆

// The last place read: it is where a counter's sound changes happen.
enum class Last { Digit, Ten, Hundred, Thousand, BigUnit };

struct Reading {
    std::string head;  // everything before the last element
    std::string tail;  // the last element (a digit, ジュー, ヒャク, セン, or a big unit)
    Last last = Last::Digit;
    int lastDigit = 0;  // for Last::Digit
    std::string whole() const { return head + tail; }
};

bool allDigits(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

// Appends a group of up to four digits (1..9999) to r.
void readGroup(int value, Reading& r, bool beforeBigUnit) {
    const int thousands = value / 1000;
    const int hundreds = value / 100 % 10;
    const int tens = value / 10 % 10;
    const int units = value % 10;
    const auto element = [&r](std::string text, Last last, int digit = 0) {
        r.head += r.tail;
        r.tail = std::move(text);
        r.last = last;
        r.lastDigit = digit;
    };
    if (thousands > 0) {
        static constexpr std::array<const char*, 10> forms = {
            "",       "セン",     "ニセン",   "サンゼン", "ヨンセン",
            "ゴセン", "ロクセン", "ナナセン", "ハッセン", "キューセン"};
        // 1000 before 万, 億, 兆 is イッセン (一千万).
        const bool alone = hundreds == 0 && tens == 0 && units == 0;
        element(thousands == 1 && alone && beforeBigUnit ? "イッセン" : forms[thousands],
                Last::Thousand);
    }
    if (hundreds > 0) {
        static constexpr std::array<const char*, 10> forms = {
            "",         "ヒャク",     "ニヒャク",   "サンビャク", "ヨンヒャク",
            "ゴヒャク", "ロッピャク", "ナナヒャク", "ハッピャク", "キューヒャク"};
        element(forms[hundreds], Last::Hundred);
    }
    if (tens > 0) {
        element(std::string(tens == 1 ? "" : kDigits[tens]) + "ジュー", Last::Ten);
    }
    if (units > 0) {
        element(kDigits[units], Last::Digit, units);
    }
}

std::optional<Reading> readNumber(std::string_view digits) {
    if (!allDigits(digits) || (digits.size() > 1 && digits.front() == '0') ||
        digits.size() > 4 * kMaxGroups) {
        return std::nullopt;
    }
    Reading r;
    if (digits == "0") {
        r.tail = kDigits[0];
        return r;
    }
    static constexpr std::array<const char*, kMaxGroups> units = {"", "マン", "オク", "チョー"};
    const std::size_t groups = (digits.size() + 3) / 4;
    for (std::size_t g = groups; g-- > 0;) {
        // Digits of group g, counted from the right in fours.
        const std::size_t end = digits.size() - g * 4;
        const std::size_t begin = end >= 4 ? end - 4 : 0;
        int value = 0;
        for (std::size_t i = begin; i < end; ++i) {
            value = value * 10 + (digits[i] - '0');
        }
        if (value == 0) {
            continue;
        }
        readGroup(value, r, g > 0);
        if (g > 0) {
            // 一兆 and 八兆, 十兆 take the small tsu.
            if (g == 3 && r.last == Last::Digit && (r.lastDigit == 1 || r.lastDigit == 8)) {
                r.tail = r.lastDigit == 1 ? "イッ" : "ハッ";
            } else if (g == 3 && r.last == Last::Ten) {
                r.tail = r.tail.substr(0, r.tail.size() - std::string("ジュー").size()) + "ジュッ";
            }
            r.head += r.tail;
            r.tail = units[g];
            r.last = Last::BigUnit;
        }
    }
    return r;
}

std::string digitByDigit(std::string_view digits) {
    std::string out;
    for (char c : digits) {
        if (c >= '0' && c <= '9') {
            out += kDigits[static_cast<std::size_t>(c - '0')];
        }
    }
    return out;
}

// How a counter changes the number before it and is changed by it.
struct Counter {
    const char* written;
    const char* plain;          // ツー
    const char* afterSmallTsu;  // the counter after イッ, ロッ, ハッ, ジュッ, ヒャッ
    const char* afterThree;     // after サン (and ヨン where it also changes)
    bool smallTsuOnSix;         // ロッ as well as イッ, ハッ, ジュッ
    bool smallTsuOnHundred;     // ヒャッ
    bool voicedAfterFour;       // ヨンプン
};

constexpr std::array<Counter, 12> kCounters = {{
    {"通", "ツー", "ツー", "ツー", false, false, false},
    {"件", "ケン", "ケン", "ケン", true, true, false},
    {"回", "カイ", "カイ", "カイ", true, true, false},
    {"個", "コ", "コ", "コ", true, true, false},
    {"冊", "サツ", "サツ", "サツ", false, false, false},
    {"点", "テン", "テン", "テン", false, false, false},
    {"歳", "サイ", "サイ", "サイ", false, false, false},
    {"分", "フン", "プン", "プン", true, true, true},
    {"本", "ホン", "ポン", "ボン", true, true, false},
    {"匹", "ヒキ", "ピキ", "ビキ", true, true, false},
    {"杯", "ハイ", "パイ", "バイ", true, true, false},
    {"階", "カイ", "カイ", "ガイ", true, true, false},
}};

std::string withoutSuffix(const std::string& text, const char* suffix) {
    const std::size_t n = std::string(suffix).size();
    return text.size() >= n ? text.substr(0, text.size() - n) : text;
}

}  // namespace

std::string readJapaneseNumber(std::string_view digits) {
    if (const auto r = readNumber(digits)) {
        return r->whole();
    }
    return digitByDigit(digits);
}

std::optional<std::string> readJapaneseCount(std::string_view digits, std::string_view counter) {
    const std::optional<Reading> number = readNumber(digits);
    if (!number) {
        return std::nullopt;
    }
    const Reading& r = *number;
    const int digit = r.last == Last::Digit ? r.lastDigit : -1;
    for (const Counter& c : kCounters) {
        if (counter != c.written) {
            continue;
        }
        std::string tail = r.tail;
        std::string reading = c.plain;
        const bool smallTsu = digit == 1 || digit == 8 || (digit == 6 && c.smallTsuOnSix) ||
                              r.last == Last::Ten ||
                              (r.last == Last::Hundred && c.smallTsuOnHundred);
        if (smallTsu) {
            if (digit == 1) {
                tail = "イッ";
            } else if (digit == 8) {
                tail = "ハッ";
            } else if (digit == 6) {
                tail = "ロッ";
            } else if (r.last == Last::Ten) {
                tail = withoutSuffix(tail, "ジュー") + "ジュッ";
            } else {
                // サンビャク → サンビャッ (三百件)
                tail = withoutSuffix(tail, "ク") + "ッ";
            }
            reading = c.afterSmallTsu;
        } else if (digit == 3 || (digit == 4 && c.voicedAfterFour)) {
            reading = c.afterThree;
        }
        return r.head + tail + reading;
    }
    // Counters that change the number (時, 人, 日, 月, 年, 円) or are whole words.
    const std::string whole = r.whole();
    const auto replaceDigit = [&r](const char* form) { return r.head + form; };
    if (counter == "時" || counter == "時間" || counter == "年" || counter == "円") {
        const std::string rest = counter == "時"     ? "ジ"
                                 : counter == "時間" ? "ジカン"
                                 : counter == "年"   ? "ネン"
                                                     : "エン";
        if (digit == 4) {
            return replaceDigit("ヨ") + rest;
        }
        if (counter == "時" && digit == 7) {
            return replaceDigit("シチ") + rest;
        }
        if (counter == "時" && digit == 9) {
            return replaceDigit("ク") + rest;
        }
        return whole + rest;
    }
    if (counter == "人") {
        if (digits == "1") {
            return std::string("ヒトリ");
        }
        if (digits == "2") {
            return std::string("フタリ");
        }
        return (digit == 4 ? replaceDigit("ヨ") : whole) + "ニン";
    }
    if (counter == "月") {
        if (digits == "4" || digits == "7" || digits == "9") {
            return std::string(digits == "4" ? "シ" : digits == "7" ? "シチ" : "ク") + "ガツ";
        }
        return whole + "ガツ";
    }
    if (counter == "日") {
        static constexpr std::array<const char*, 11> days = {
            "",       "イチニチ", "フツカ", "ミッカ",   "ヨッカ", "イツカ",
            "ムイカ", "ナノカ",   "ヨーカ", "ココノカ", "トーカ"};
        if (digits.size() == 1 && digit >= 1) {
            return std::string(days[static_cast<std::size_t>(digit)]);
        }
        if (digits == "10") {
            return std::string(days[10]);
        }
        if (digits == "20") {
            return std::string("ハツカ");
        }
        if (digit == 4) {
            return replaceDigit("ヨッカ");
        }
        return whole + "ニチ";
    }
    return std::nullopt;
}

}  // namespace velkora
