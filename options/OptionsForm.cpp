#include "options/OptionsForm.h"

#include <limits>

#include "common/Accounts.h"
#include "common/SettingKeys.h"
#include "common/Settings.h"

namespace velkora {

namespace {

struct FlagEntry {
    const char* key;
    int16_t optionsDefault;
    bool onWhenNonZero;  // the checker acts on any value but 0, not only on 1
};

constexpr std::array<FlagEntry, kFlagBoxCount> kFlags = {{
    {"Option1value", 1, false},
    {"Option2value", 1, false},
    {"Option3value", 1, true},
    {"Option4index", 1, false},
    {"Option5value", 0, false},
    {"Option6value", 1, false},
    {"Option7value", 0, false},
    {"sOption7value", 0, true},
    {"Check5value", 1, false},
    {"Option8value", 1, false},
    {"Option9value", 1, false},
    {"Check1value", 1, false},
    {"Check2value", 1, false},
    {"Check3value", 1, false},
    {"Check4value", 1, false},
}};

struct NumberEntry {
    const char* key;
    int32_t optionsDefault;
    const char* caption;
};

constexpr std::array<NumberEntry, kNumberBoxCount> kNumbers = {{
    {"Checktimerval", 0, "分おきにチェック"},
    {"Closetimerval", 0, "秒後に閉じる"},
    {"Timeupval", 60, "タイムアップ"},
    {"Redialval", 0, "ﾘﾀﾞｲｱﾙ"},
    {"Talkcnt", 10, "読み上げ行数"},
    {"Volval", 30000, "読み上げ時音量"},
}};

std::size_t index(NumberBox box) {
    return static_cast<std::size_t>(box);
}

bool is32Bit(NumberBox box) {
    return box == NumberBox::txt_Vol;
}

std::string rangeMessage(NumberBox box) {
    long long low =
        is32Bit(box) ? std::numeric_limits<int32_t>::min() : std::numeric_limits<int16_t>::min();
    long long high =
        is32Bit(box) ? std::numeric_limits<int32_t>::max() : std::numeric_limits<int16_t>::max();
    return std::string("「") + numberBoxCaption(box) + "」には " + std::to_string(low) + " から " +
           std::to_string(high) + " までの整数を入力してください";
}

// Only called once checkOptionsForm() has passed.
int16_t number16(const OptionsForm& form, NumberBox box) {
    return parseInt16(form.number(box)).value_or(0);
}

}  // namespace

const char* flagKey(FlagBox box) {
    return kFlags[static_cast<std::size_t>(box)].key;
}

const char* numberKey(NumberBox box) {
    return kNumbers[index(box)].key;
}

const char* numberBoxCaption(NumberBox box) {
    return kNumbers[index(box)].caption;
}

OptionsForm loadOptionsForm(const SettingsStore& store, const std::string& agentDefault) {
    OptionsForm form;
    form.accountno = readAccountCount(store);
    for (std::size_t i = 0; i < kFlagBoxCount; ++i) {
        const FlagEntry& entry = kFlags[i];
        int16_t value = readInt16Setting(store, entry.key, entry.optionsDefault);
        form.flags[i] = entry.onWhenNonZero ? value != 0 : value == 1;
    }
    for (std::size_t i = 0; i < kNumberBoxCount; ++i) {
        const NumberEntry& entry = kNumbers[i];
        if (is32Bit(static_cast<NumberBox>(i))) {
            form.numbers[i] =
                std::to_string(readInt32Setting(store, entry.key, entry.optionsDefault));
        } else {
            form.numbers[i] = std::to_string(
                readInt16Setting(store, entry.key, static_cast<int16_t>(entry.optionsDefault)));
        }
    }
    form.Mailerdir1 = store.read("Mailerdir1", "");
    form.Mailerdir2 = store.read("Mailerdir2", "");
    form.Wavdir = store.read("Wavdir", "");
    form.Defdialno = readInt16Setting(store, "Defdialno", 0);
    form.Agentnm = store.read("Agentnm", agentDefault);
    for (int i = 0; i < 6; ++i) {
        const auto row = static_cast<std::size_t>(i);
        form.Actkind[row] =
            store.read(numberedKey("Actkind", i + 1), std::string(kActkindDefaults[row]));
        form.Talkstr[row] =
            store.read(numberedKey("Talkstr", i + 1), std::string(kTalkstrDefaults[row]));
    }
    form.Notstr = store.read("Notstr", std::string(kOptionsNotstr));
    form.Pitchval = readInt16Setting(store, "Pitchval", 100);
    form.HukifontN = store.read("HukifontN", std::string(kHukifontNDefault));
    form.HukifontS = readInt16Setting(store, "HukifontS", 9);
    return form;
}

std::optional<NumberBoxError> checkOptionsForm(const OptionsForm& form) {
    for (std::size_t i = 0; i < kNumberBoxCount; ++i) {
        auto box = static_cast<NumberBox>(i);
        bool converts = is32Bit(box) ? parseInt32(form.numbers[i]).has_value()
                                     : parseInt16(form.numbers[i]).has_value();
        if (!converts) {
            return NumberBoxError{box, rangeMessage(box)};
        }
    }
    return std::nullopt;
}

std::optional<NumberBoxError> saveOptionsForm(SettingsStore& store, const OptionsForm& form) {
    // Every conversion before the first write, so a refused OK leaves the store as it was.
    if (auto error = checkOptionsForm(form)) {
        return error;
    }
    for (int i = 0; i < 6; ++i) {
        const auto row = static_cast<std::size_t>(i);
        saveSetting(store, numberedKey("Talkstr", i + 1), 0, form.Talkstr[row]);
        // A list without a selection (no character, or one that lacks the stored animation)
        // keeps the stored name instead of storing "0".
        saveSetting(store, numberedKey("Actkind", i + 1), 0,
                    form.selectedAction[row].value_or(form.Actkind[row]));
    }
    saveSetting(store, "accountno", form.accountno, "");
    for (std::size_t i = 0; i < kFlagBoxCount; ++i) {
        saveSetting(store, kFlags[i].key, form.flags[i] ? 1 : 0, "");
    }
    for (NumberBox box :
         {NumberBox::timerbox1, NumberBox::timerbox2, NumberBox::timerbox3, NumberBox::redialbox}) {
        saveSetting(store, numberKey(box), number16(form, box), "");
    }
    saveSetting(store, "Mailerdir1", 0, form.Mailerdir1);
    saveSetting(store, "Mailerdir2", 0, form.Mailerdir2);
    saveSetting(store, "Wavdir", 0, form.Wavdir);
    saveSetting(store, "Defdialno", form.Defdialno, "");
    saveSetting(store, "Agentnm", 0, form.Agentnm);
    saveSetting(store, "Talkcnt", number16(form, NumberBox::talkcntbox), "");
    saveSetting(store, "Notstr", 0, form.Notstr);
    saveInt32Setting(store, "Volval", parseInt32(form.number(NumberBox::txt_Vol)).value_or(0));
    saveSetting(store, "Pitchval", form.Pitchval, "");
    saveSetting(store, "HukifontN", 0, form.HukifontN);
    saveSetting(store, "HukifontS", form.HukifontS, "");
    return std::nullopt;
}

}  // namespace velkora
