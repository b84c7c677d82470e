#include "common/SettingKeys.h"

#include <array>

namespace velkora {

namespace {

using enum SettingType;

constexpr SettingKey flag(std::string_view name, std::string_view def,
                          std::optional<std::string_view> options = std::nullopt) {
    return {name, Flag, def, options};
}
constexpr SettingKey int16(std::string_view name, std::string_view def) {
    return {name, Int16, def, std::nullopt};
}
constexpr SettingKey text(std::string_view name, std::string_view def,
                          std::optional<std::string_view> options = std::nullopt) {
    return {name, Text, def, options};
}

constexpr std::array kKeys = {
    int16("accountno", "0"),
    flag("Option1value", "1"),
    flag("Option2value", "1"),
    flag("Option3value", "1"),
    flag("Option4index", "1"),
    flag("Option5value", "0"),
    flag("Option6value", "1"),
    flag("Option7value", "0"),
    flag("sOption7value", "0"),
    flag("Check5value", "1"),
    flag("Option8value", "0", "1"),
    flag("Option9value", "0", "1"),
    flag("Check1value", "1"),
    flag("Check2value", "1"),
    flag("Check3value", "1"),
    flag("Check4value", "1"),
    int16("Checktimerval", "0"),
    int16("Closetimerval", "0"),
    int16("Timeupval", "60"),
    text("Mailerdir1", ""),
    text("Mailerdir2", ""),
    text("Wavdir", ""),
    int16("Defdialno", "0"),
    int16("Redialval", "0"),
    SettingKey{"Agentnm", Text, "", std::nullopt, DefaultSource::AgentPath},
    text("Actkind1", kActkindDefaults[0]),
    text("Actkind2", kActkindDefaults[1]),
    text("Actkind3", kActkindDefaults[2]),
    text("Actkind4", kActkindDefaults[3]),
    text("Actkind5", kActkindDefaults[4]),
    text("Actkind6", kActkindDefaults[5]),
    int16("Talkcnt", "10"),
    text("Notstr", kCheckerNotstr, kOptionsNotstr),
    text("Talkstr1", kTalkstrDefaults[0]),
    text("Talkstr2", kTalkstrDefaults[1]),
    text("Talkstr3", kTalkstrDefaults[2]),
    text("Talkstr4", kTalkstrDefaults[3]),
    text("Talkstr5", kTalkstrDefaults[4]),
    text("Talkstr6", kTalkstrDefaults[5]),
    SettingKey{"Volval", Int32, "30000", std::nullopt},
    int16("Pitchval", "100"),
    text("HukifontN", kHukifontNDefault),
    int16("HukifontS", "9"),
    SettingKey{"DefLeft", Int16, "", std::nullopt, DefaultSource::ScreenPosition},
    SettingKey{"DefTop", Int16, "", std::nullopt, DefaultSource::ScreenPosition},
};

}  // namespace

std::span<const SettingKey> settingKeys() {
    return kKeys;
}

const SettingKey* findSettingKey(std::string_view name) {
    for (const SettingKey& key : kKeys) {
        if (key.name == name) {
            return &key;
        }
    }
    return nullptr;
}

std::string numberedKey(std::string_view prefix, int index) {
    return std::string(prefix) + std::to_string(index);
}

}  // namespace velkora
