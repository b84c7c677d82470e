#include "common/SettingKeys.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

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

TEST(SettingKeys, EveryKeyOnceAndFoundByItsExactName) {
    std::set<std::string_view> names;
    for (const SettingKey& key : settingKeys()) {
        EXPECT_TRUE(names.insert(key.name).second) << key.name;
        EXPECT_EQ(findSettingKey(key.name), &key);
    }
    EXPECT_EQ(findSettingKey("notstr"), nullptr);
    EXPECT_EQ(findSettingKey("Aname1"), nullptr);  // account keys are not global keys
    EXPECT_EQ(findSettingKey("Volval")->type, SettingType::Int32);  // 65535 must fit
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
    EXPECT_EQ(findSettingKey("Notstr")->optionsDefaultOrChecker(), kOptionsNotstr);
    EXPECT_EQ(findSettingKey("Timeupval")->optionsDefaultOrChecker(), "60");
}

TEST(SettingKeys, NotstrDefaultsCharacterForCharacter) {
    auto checker = characters(kCheckerNotstr);
    auto options = characters(kOptionsNotstr);
    ASSERT_EQ(checker.size(), 137u);
    ASSERT_EQ(options.size(), 152u);
    EXPECT_EQ(checker.front(), "┌");
    EXPECT_EQ(checker[30], "―");
    EXPECT_EQ(checker[31], "／");
    EXPECT_EQ(checker.back(), "◯");
    // The code page's own sign for Angstrom (U+212B), not the Latin letter that looks the same.
    EXPECT_EQ(checker[128], "\u212B");

    // The longer set is exactly the shorter one with "‐", "…‥" and the ASCII tail.
    std::vector<std::string> expected = checker;
    expected.insert(expected.begin() + 36, {"…", "‥"});
    expected.insert(expected.begin() + 31, "‐");
    for (char c : std::string_view("#$%&(){}[]<>")) {
        expected.emplace_back(1, c);
    }
    EXPECT_EQ(options, expected);
    EXPECT_TRUE(cp932::fromUtf8(kOptionsNotstr).has_value());  // mail text can hold them all
    EXPECT_EQ(std::set<std::string>(options.begin(), options.end()).size(), options.size());
}

}  // namespace
}  // namespace velkora
