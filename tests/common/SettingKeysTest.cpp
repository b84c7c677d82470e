#include "common/SettingKeys.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "common/AppSettings.h"
#include "common/Cp932.h"

namespace velkora {
namespace {

// The text split into its characters (code points), each as UTF-8.
std::vector<std::string> characters(std::string_view utf8) {
    std::vector<std::string> result;
    for (char c : utf8) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            result.emplace_back();
        }
        result.back() += c;
    }
    return result;
}

TEST(SettingKeys, TableHoldsEveryKeyOnceWithItsType) {
    auto keys = settingKeys();
    EXPECT_EQ(keys.size(), 45u);
    std::set<std::string_view> names;
    for (const SettingKey& key : keys) {
        EXPECT_TRUE(names.insert(key.name).second) << key.name;
        EXPECT_EQ(findSettingKey(key.name), &key);
    }
    EXPECT_EQ(keys.front().name, "accountno");
    EXPECT_EQ(keys.back().name, "DefTop");
    EXPECT_EQ(findSettingKey("notstr"), nullptr);  // names are exact
    EXPECT_EQ(findSettingKey("Aname1"), nullptr);  // account keys are not global keys

    EXPECT_EQ(findSettingKey("Option4index")->type, SettingType::Flag);
    EXPECT_EQ(findSettingKey("sOption7value")->type, SettingType::Flag);
    EXPECT_EQ(findSettingKey("Timeupval")->type, SettingType::Int16);
    EXPECT_EQ(findSettingKey("Defdialno")->type, SettingType::Int16);
    EXPECT_EQ(findSettingKey("Volval")->type, SettingType::Int32);
    EXPECT_EQ(findSettingKey("HukifontN")->type, SettingType::Text);
    EXPECT_EQ(findSettingKey("Mailerdir2")->type, SettingType::Text);
    EXPECT_EQ(findSettingKey("Agentnm")->source, DefaultSource::AgentPath);
    EXPECT_EQ(findSettingKey("DefLeft")->source, DefaultSource::ScreenPosition);

    EXPECT_EQ(findSettingKey("Timeupval")->checkerDefault, "60");
    EXPECT_EQ(findSettingKey("Volval")->checkerDefault, "30000");
    EXPECT_EQ(findSettingKey("Talkcnt")->checkerDefault, "10");
    EXPECT_EQ(findSettingKey("Option3value")->checkerDefault, "1");
    EXPECT_EQ(findSettingKey("Option5value")->checkerDefault, "0");
    EXPECT_EQ(numberedKey("Talkstr", 6), "Talkstr6");
}

TEST(SettingKeys, OnlyTheBracketedKeysHaveAnotherDefaultInTheOptionsDialog) {
    std::set<std::string_view> differing;
    for (const SettingKey& key : settingKeys()) {
        if (key.optionsDefault) {
            differing.insert(key.name);
        }
    }
    EXPECT_EQ(differing, (std::set<std::string_view>{"Option8value", "Option9value", "Notstr"}));
    EXPECT_EQ(findSettingKey("Option8value")->checkerDefault, "0");
    EXPECT_EQ(findSettingKey("Option8value")->optionsDefaultOrChecker(), "1");
    EXPECT_EQ(findSettingKey("Option9value")->optionsDefaultOrChecker(), "1");
    EXPECT_EQ(findSettingKey("Notstr")->checkerDefault, kCheckerNotstr);
    EXPECT_EQ(findSettingKey("Notstr")->optionsDefaultOrChecker(), kOptionsNotstr);
    EXPECT_EQ(findSettingKey("Timeupval")->optionsDefaultOrChecker(), "60");
}

TEST(SettingKeys, NotstrDefaultsCharacterForCharacter) {
    auto checker = characters(kCheckerNotstr);
    auto options = characters(kOptionsNotstr);
    ASSERT_EQ(checker.size(), 137u);
    ASSERT_EQ(options.size(), 152u);
    EXPECT_EQ(checker.front(), "┌");
    EXPECT_EQ(checker.back(), "◯");
    EXPECT_EQ(checker[30], "―");
    EXPECT_EQ(checker[31], "／");
    EXPECT_EQ(checker[35], "｜");
    EXPECT_EQ(checker[36], "（");
    EXPECT_EQ(options[30], "―");
    EXPECT_EQ(options[31], "‐");
    EXPECT_EQ(options[36], "｜");
    EXPECT_EQ(options[37], "…");
    EXPECT_EQ(options[38], "‥");
    EXPECT_EQ(kOptionsNotstr.substr(kOptionsNotstr.size() - 12), "#$%&(){}[]<>");

    // The longer set is exactly the shorter one with the three insertions and the tail.
    std::vector<std::string> expected = checker;
    expected.insert(expected.begin() + 36, {"…", "‥"});
    expected.insert(expected.begin() + 31, "‐");
    for (char c : std::string_view("#$%&(){}[]<>")) {
        expected.emplace_back(1, c);
    }
    EXPECT_EQ(options, expected);
    // Every character is one the mail text can hold: the code page's own sign for
    // Angstrom (U+212B), not the Latin letter that looks the same.
    EXPECT_EQ(checker[128], "\u212B");
    EXPECT_TRUE(cp932::fromUtf8(kOptionsNotstr).has_value());
    // No character occurs twice.
    EXPECT_EQ(std::set<std::string>(options.begin(), options.end()).size(), options.size());
}

TEST(SettingKeys, TemplateActionAndFontDefaults) {
    EXPECT_EQ(kTalkstrDefaults[0], "全部で@1通のメールが届いています");
    EXPECT_EQ(kTalkstrDefaults[1], "@2へのメール@3通目");
    EXPECT_EQ(kTalkstrDefaults[2], "差出人 @4");
    EXPECT_EQ(kTalkstrDefaults[3], "件名 @5");
    EXPECT_EQ(kTalkstrDefaults[4], "@6");
    EXPECT_EQ(kTalkstrDefaults[5], "以上です");
    EXPECT_EQ(kActkindDefaults[0], "Congratulate");
    EXPECT_EQ(kActkindDefaults[1], "Read");
    for (size_t i = 2; i < 6; ++i) {
        EXPECT_EQ(kActkindDefaults[i], "Nothing");
    }
    EXPECT_EQ(kHukifontNDefault, "ＭＳ Ｐゴシック");
    EXPECT_EQ(characters(kHukifontNDefault).size(), 8u);  // full-width letters, ASCII space

    for (int i = 1; i <= 6; ++i) {
        const SettingKey* talk = findSettingKey(numberedKey("Talkstr", i));
        const SettingKey* act = findSettingKey(numberedKey("Actkind", i));
        ASSERT_NE(talk, nullptr);
        ASSERT_NE(act, nullptr);
        EXPECT_EQ(talk->checkerDefault, kTalkstrDefaults[static_cast<size_t>(i - 1)]);
        EXPECT_EQ(act->checkerDefault, kActkindDefaults[static_cast<size_t>(i - 1)]);
    }

    AppSettings s;
    EXPECT_EQ(s.Notstr, kCheckerNotstr);
    EXPECT_EQ(s.Talkstr[2], "差出人 @4");
    EXPECT_EQ(s.Actkind[0], "Congratulate");
    EXPECT_EQ(s.Actkind[5], "Nothing");
    EXPECT_EQ(s.HukifontN, "ＭＳ Ｐゴシック");
    EXPECT_EQ(s.Mailerdir[0], "");
}

}  // namespace
}  // namespace velkora
