#include "common/Settings.h"

#include <gtest/gtest.h>

#include <string>

#include "common/DataDirectory.h"
#include "common/MemorySettingsStore.h"
#include "common/SettingKeys.h"

namespace velkora {
namespace {

TEST(SettingsNumbers, ConversionRule) {
    // What std::stoi reads, when it is the whole text apart from blanks and fits.
    for (const char* good : {"0", " 12 ", "\t7", "+5", "-1", "007", "32767", "-32768"}) {
        EXPECT_EQ(parseInt16(good), std::stoi(good)) << good;
    }
    for (const char* bad : {"", " ", "+", "-", "32768", "-32769", "99999999999999999999", "1.5",
                            "0x10", "1e2", "1 2", "12a", "--1", "- 1", "１２", "\n5"}) {
        EXPECT_EQ(parseInt16(bad), std::nullopt) << bad;
    }
    EXPECT_EQ(parseInt32("2147483647"), 2147483647);
    EXPECT_EQ(parseInt32("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(parseInt32("2147483648"), std::nullopt);
    EXPECT_EQ(parseInt32("-2147483649"), std::nullopt);
}

TEST(SaveSetting, EmptyTextBecomesTheNumberExceptForPathAndTemplateKeys) {
    struct Case {
        const char* key;
        int16_t number;
        const char* text;
        const char* stored;
    };
    for (const Case& c : {Case{"Notstr", 0, "", "0"}, Case{"Timeupval", 60, "", "60"},
                          Case{"Defdialno", -1, "", "-1"}, Case{"Wavdir", 0, "", ""},
                          Case{"Mailerdir2", 5, "", ""}, Case{"Talkstr3", 0, "", ""},
                          Case{"talkstr3", 0, "", "0"},    // the comparison is case-sensitive
                          Case{"Mailerdir3", 0, "", "0"},  // not one of the two mailer keys
                          Case{"HukifontN", 7, "Arial", "Arial"}}) {
        MemorySettingsStore store;
        saveSetting(store, c.key, c.number, c.text);
        EXPECT_EQ(store.values(), (std::map<std::string, std::string>{{c.key, c.stored}})) << c.key;
    }
    MemorySettingsStore store;
    saveInt32Setting(store, "Scolor11", -2147483647 - 1);
    EXPECT_EQ(store.find("Scolor11"), "-2147483648");
}

TEST(LoadSettings, EmptyStoreGivesTheCheckerDefaults) {
    AppSettings s = loadSettings(MemorySettingsStore());
    EXPECT_EQ(s, AppSettings{});
    EXPECT_EQ(s.accountno, 0);
    EXPECT_TRUE(s.accountColours.empty());
    EXPECT_EQ(s.Checktimerval, 0);
    EXPECT_EQ(s.Timeupval, 60);
    EXPECT_EQ(s.Notstr, kCheckerNotstr);
    EXPECT_EQ(s.Agentnm, defaultAgentPath());

    // Catches a default in the key table that disagrees with the in-memory defaults.
    MemorySettingsStore stored;
    for (const SettingKey& key : settingKeys()) {
        if (key.source == DefaultSource::Fixed) {
            stored.write(std::string(key.name), std::string(key.checkerDefault));
        }
    }
    EXPECT_EQ(loadSettings(stored), s);
}

TEST(LoadSettings, EveryLoadedKeyIsRead) {
    // Each key alone, with a value other than its default, must change what is loaded.
    for (const SettingKey& key : settingKeys()) {
        if (key.name == "accountno" || key.source == DefaultSource::ScreenPosition) {
            continue;  // the count is checked below; the position is the character's own
        }
        std::string value = "text of " + std::string(key.name);
        if (key.type == SettingType::Flag) {
            value = key.checkerDefault == "1" ? "0" : "1";
        } else if (key.type != SettingType::Text) {
            value = "1234";
        }
        MemorySettingsStore store;
        store.write(std::string(key.name), value);
        EXPECT_NE(loadSettings(store), AppSettings{}) << key.name;
    }
}

TEST(LoadSettings, ANumberThatDoesNotConvertKeepsItsDefaultAndTheLoadGoesOn) {
    MemorySettingsStore store({
        {"Timeupval", "abc"},
        {"Checktimerval", "5"},
        {"Pitchval", "70000"},  // does not fit 16 bits
        {"Volval", "70000"},    // fits 32 bits
        {"HukifontS", ""},
        {"Talkcnt", " 3 "},
        {"Notstr", "0"},  // what an emptied box leaves: the digit itself
        {"accountno", "zwei"},
        {"Aname1", "not read"},
    });
    AppSettings s = loadSettings(store);
    EXPECT_EQ(s.Timeupval, 60);
    EXPECT_EQ(s.Checktimerval, 5);
    EXPECT_EQ(s.Pitchval, 100);
    EXPECT_EQ(s.Volval, 70000);
    EXPECT_EQ(s.HukifontS, 9);
    EXPECT_EQ(s.Talkcnt, 3);
    EXPECT_EQ(s.Notstr, "0");
    EXPECT_EQ(s.accountno, 0);
    EXPECT_EQ(s.currentAccount, Account{});

    store.write("accountno", "-2");
    EXPECT_EQ(loadSettings(store).accountno, 0);
}

TEST(LoadSettings, LoadsAccountColoursAndLeavesTheLastAccountCurrent) {
    MemorySettingsStore store({
        {"accountno", "3"},
        {"Aname1", "first"},
        {"Scolor11", "255"},
        {"Scolor21", "65280"},
        {"Aname3", "third"},
        {"Portno3", "995"},
        {"Scolor13", "-1"},
        {"Aname4", "beyond the count"},
        {"Scolor14", "77"},
    });
    AppSettings s = loadSettings(store);
    EXPECT_EQ(s.accountno, 3);
    ASSERT_EQ(s.accountColours.size(), 4u);
    EXPECT_EQ(s.accountColours[1], (AccountColours{255, 65280}));
    EXPECT_EQ(s.accountColours[2], AccountColours{});  // not stored: default colours
    EXPECT_EQ(s.accountColours[3], (AccountColours{-1, 16777088}));
    EXPECT_EQ(s.currentAccount.Aname, "third");
    EXPECT_EQ(s.currentAccount.Portno, 995);
}

}  // namespace
}  // namespace velkora
