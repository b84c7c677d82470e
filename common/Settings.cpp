#include "common/Settings.h"

#include <limits>

#include "common/Accounts.h"
#include "common/DataDirectory.h"
#include "common/SettingKeys.h"

namespace velkora {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

template <typename Int>
std::optional<Int> parseInteger(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    // The magnitude may be one more than max() for the most negative value.
    const int64_t limit =
        static_cast<int64_t>(std::numeric_limits<Int>::max()) + (negative ? 1 : 0);
    int64_t magnitude = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > limit) {
            return std::nullopt;
        }
    }
    return static_cast<Int>(negative ? -magnitude : magnitude);
}

}  // namespace

std::optional<int16_t> parseInt16(std::string_view text) {
    return parseInteger<int16_t>(text);
}

std::optional<int32_t> parseInt32(std::string_view text) {
    return parseInteger<int32_t>(text);
}

int16_t readInt16Setting(const SettingsStore& store, const std::string& key, int16_t defaultValue) {
    auto stored = store.find(key);
    if (!stored) {
        return defaultValue;
    }
    return parseInt16(*stored).value_or(defaultValue);
}

int32_t readInt32Setting(const SettingsStore& store, const std::string& key, int32_t defaultValue) {
    auto stored = store.find(key);
    if (!stored) {
        return defaultValue;
    }
    return parseInt32(*stored).value_or(defaultValue);
}

bool keepsEmptyText(std::string_view key) {
    return key == "Mailerdir1" || key == "Mailerdir2" || key == "Wavdir" ||
           key.find("Talkstr") != std::string_view::npos;
}

void saveSetting(SettingsStore& store, const std::string& key, int16_t number,
                 const std::string& text) {
    if (!text.empty() || keepsEmptyText(key)) {
        store.write(key, text);
    } else {
        store.write(key, std::to_string(number));
    }
}

void saveInt32Setting(SettingsStore& store, const std::string& key, int32_t value) {
    store.write(key, std::to_string(value));
}

AppSettings loadSettings(const SettingsStore& store) {
    AppSettings s;
    auto int16 = [&](const char* key, int16_t& field) {
        field = readInt16Setting(store, key, field);
    };
    auto text = [&](const std::string& key, std::string& field) { field = store.read(key, field); };

    s.accountno = readAccountCount(store);  // a negative count means no accounts
    if (s.accountno >= 1) {
        s.accountColours.assign(static_cast<size_t>(s.accountno) + 1, AccountColours{});
    }
    for (int n = 1; n <= s.accountno; ++n) {
        s.currentAccount = loadAccount(store, static_cast<int16_t>(n));
        s.accountColours[static_cast<size_t>(n)] = {s.currentAccount.Scolor1,
                                                    s.currentAccount.Scolor2};
    }

    int16("Option1value", s.Option1value);
    int16("Option2value", s.Option2value);
    int16("Option3value", s.Option3value);
    int16("Option4index", s.Option4index);
    int16("Option5value", s.Option5value);
    int16("Option6value", s.Option6value);
    int16("Option7value", s.Option7value);
    int16("sOption7value", s.sOption7value);
    int16("Check5value", s.Check5value);
    int16("Option8value", s.Option8value);
    int16("Option9value", s.Option9value);
    int16("Check1value", s.Check1value);
    int16("Check2value", s.Check2value);
    int16("Check3value", s.Check3value);
    int16("Check4value", s.Check4value);
    int16("Checktimerval", s.Checktimerval);
    int16("Closetimerval", s.Closetimerval);
    int16("Timeupval", s.Timeupval);

    for (size_t i = 0; i < s.Mailerdir.size(); ++i) {
        text(numberedKey("Mailerdir", static_cast<int>(i + 1)), s.Mailerdir[i]);
    }

    text("Wavdir", s.Wavdir);
    int16("Defdialno", s.Defdialno);
    int16("Redialval", s.Redialval);

    text("Agentnm", s.Agentnm);  // its default is defaultAgentPath(), set by AppSettings

    for (size_t i = 0; i < s.Actkind.size(); ++i) {
        text(numberedKey("Actkind", static_cast<int>(i + 1)), s.Actkind[i]);
    }

    int16("Talkcnt", s.Talkcnt);
    text("Notstr", s.Notstr);
    for (size_t i = 0; i < s.Talkstr.size(); ++i) {
        text(numberedKey("Talkstr", static_cast<int>(i + 1)), s.Talkstr[i]);
    }

    s.Volval = readInt32Setting(store, "Volval", s.Volval);
    int16("Pitchval", s.Pitchval);
    text("HukifontN", s.HukifontN);
    int16("HukifontS", s.HukifontS);
    return s;
}

}  // namespace velkora
