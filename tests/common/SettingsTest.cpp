#include "common/Settings.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "common/DataDirectory.h"
#include "common/MemorySettingsStore.h"
#include "common/SettingKeys.h"

namespace velkora {
namespace {

TEST(SettingsNumbers, ConversionRule) {
    EXPECT_EQ(parseInt16("0"), 0);
    EXPECT_EQ(parseInt16("60"), 60);
    EXPECT_EQ(parseInt16(" 12 "), 12);
    EXPECT_EQ(parseInt16("\t7"), 7);
    EXPECT_EQ(parseInt16("+5"), 5);
    EXPECT_EQ(parseInt16("-1"), -1);
    EXPECT_EQ(parseInt16("007"), 7);
    EXPECT_EQ(parseInt16("32767"), 32767);
    EXPECT_EQ(parseInt16("-32768"), -32768);
    for (const char* bad : {"", " ", "+", "-", "32768", "-32769", "99999999999999999999", "1.5",
                            "0x10", "1e2", "1 2", "12a", "--1", "- 1", "１２", "\n5"}) {
        EXPECT_EQ(parseInt16(bad), std::nullopt) << bad;
    }
    EXPECT_EQ(parseInt32("2147483647"), 2147483647);
    EXPECT_EQ(parseInt32("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(parseInt32("65535"), 65535);
    EXPECT_EQ(parseInt32("2147483648"), std::nullopt);
    EXPECT_EQ(parseInt32("-2147483649"), std::nullopt);
}

TEST(SaveSetting, EmptyTextBecomesTheNumberExceptForPathAndTemplateKeys) {
    MemorySettingsStore store;
    saveSetting(store, "Notstr", 0, "");
    saveSetting(store, "Agentnm", 0, "");
    saveSetting(store, "Actkind4", 0, "");
    saveSetting(store, "Timeupval", 60, "");
    saveSetting(store, "Defdialno", -1, "");
    saveSetting(store, "Wavdir", 0, "");
    saveSetting(store, "Mailerdir1", 0, "");
    saveSetting(store, "Mailerdir2", 5, "");
    saveSetting(store, "Talkstr3", 0, "");
    saveSetting(store, "talkstr3", 0, "");        // the comparison is case-sensitive
    saveSetting(store, "Mailerdir3", 0, "");      // not one of the two mailer keys
    saveSetting(store, "HukifontN", 7, "Arial");  // a text wins over the number
    saveSetting(store, "Wavdir2", 0, "0");
    saveInt32Setting(store, "Volval", 65535);
    saveInt32Setting(store, "Scolor11", -2147483647 - 1);

    std::map<std::string, std::string> expected = {
        {"Notstr", "0"},     {"Agentnm", "0"},    {"Actkind4", "0"},
        {"Timeupval", "60"}, {"Defdialno", "-1"}, {"Wavdir", ""},
        {"Mailerdir1", ""},  {"Mailerdir2", ""},  {"Talkstr3", ""},
        {"talkstr3", "0"},   {"Mailerdir3", "0"}, {"HukifontN", "Arial"},
        {"Wavdir2", "0"},    {"Volval", "65535"}, {"Scolor11", "-2147483648"},
    };
    EXPECT_EQ(store.values(), expected);
    EXPECT_TRUE(keepsEmptyText("xTalkstrY"));
    EXPECT_FALSE(keepsEmptyText("wavdir"));
}

TEST(LoadSettings, EmptyStoreGivesTheCheckerDefaults) {
    MemorySettingsStore store;
    AppSettings s = loadSettings(store);
    EXPECT_EQ(s, AppSettings{});
    EXPECT_EQ(s.accountno, 0);
    EXPECT_TRUE(s.accountColours.empty());
    EXPECT_EQ(s.currentAccount, Account{});
    EXPECT_EQ(s.Checktimerval, 0);
    EXPECT_EQ(s.Timeupval, 60);
    EXPECT_EQ(s.Option8value, 0);
    EXPECT_EQ(s.Option9value, 0);
    EXPECT_EQ(s.Volval, 30000);
    EXPECT_EQ(s.Agentnm, defaultAgentPath());
    EXPECT_EQ(s.Notstr, kCheckerNotstr);
    EXPECT_EQ(s.Talkstr[5], "以上です");
    EXPECT_EQ(s.Actkind[1], "Read");
}

TEST(LoadSettings, StoredCheckerDefaultsLoadLikeAnEmptyStore) {
    // Catches a default in the key table that disagrees with the in-memory defaults.
    MemorySettingsStore store;
    for (const SettingKey& key : settingKeys()) {
        if (key.source == DefaultSource::Fixed) {
            store.write(std::string(key.name), std::string(key.checkerDefault));
        }
    }
    EXPECT_EQ(loadSettings(store), loadSettings(MemorySettingsStore()));
}

// Each key of the load and the field it fills, as text.
using Field = std::function<std::string(const AppSettings&)>;
std::vector<std::pair<std::string, Field>> loadedFields() {
    auto num = [](auto member) {
        return Field([member](const AppSettings& s) { return std::to_string(s.*member); });
    };
    auto txt = [](auto member) {
        return Field([member](const AppSettings& s) { return s.*member; });
    };
    auto at = [](auto member, size_t i) {
        return Field([member, i](const AppSettings& s) { return (s.*member)[i]; });
    };
    using S = AppSettings;
    return {
        {"Option1value", num(&S::Option1value)},
        {"Option2value", num(&S::Option2value)},
        {"Option3value", num(&S::Option3value)},
        {"Option4index", num(&S::Option4index)},
        {"Option5value", num(&S::Option5value)},
        {"Option6value", num(&S::Option6value)},
        {"Option7value", num(&S::Option7value)},
        {"sOption7value", num(&S::sOption7value)},
        {"Check5value", num(&S::Check5value)},
        {"Option8value", num(&S::Option8value)},
        {"Option9value", num(&S::Option9value)},
        {"Check1value", num(&S::Check1value)},
        {"Check2value", num(&S::Check2value)},
        {"Check3value", num(&S::Check3value)},
        {"Check4value", num(&S::Check4value)},
        {"Checktimerval", num(&S::Checktimerval)},
        {"Closetimerval", num(&S::Closetimerval)},
        {"Timeupval", num(&S::Timeupval)},
        {"Mailerdir1", at(&S::Mailerdir, 0)},
        {"Mailerdir2", at(&S::Mailerdir, 1)},
        {"Wavdir", txt(&S::Wavdir)},
        {"Defdialno", num(&S::Defdialno)},
        {"Redialval", num(&S::Redialval)},
        {"Agentnm", txt(&S::Agentnm)},
        {"Actkind1", at(&S::Actkind, 0)},
        {"Actkind2", at(&S::Actkind, 1)},
        {"Actkind3", at(&S::Actkind, 2)},
        {"Actkind4", at(&S::Actkind, 3)},
        {"Actkind5", at(&S::Actkind, 4)},
        {"Actkind6", at(&S::Actkind, 5)},
        {"Talkcnt", num(&S::Talkcnt)},
        {"Notstr", txt(&S::Notstr)},
        {"Talkstr1", at(&S::Talkstr, 0)},
        {"Talkstr2", at(&S::Talkstr, 1)},
        {"Talkstr3", at(&S::Talkstr, 2)},
        {"Talkstr4", at(&S::Talkstr, 3)},
        {"Talkstr5", at(&S::Talkstr, 4)},
        {"Talkstr6", at(&S::Talkstr, 5)},
        {"Volval", num(&S::Volval)},
        {"Pitchval", num(&S::Pitchval)},
        {"HukifontN", txt(&S::HukifontN)},
        {"HukifontS", num(&S::HukifontS)},
    };
}

TEST(LoadSettings, EveryKeyReachesItsOwnField) {
    MemorySettingsStore store;
    std::vector<std::pair<std::string, std::string>> written;
    int value = 1000;
    for (const auto& [key, field] : loadedFields()) {
        const SettingKey* entry = findSettingKey(key);
        ASSERT_NE(entry, nullptr) << key;
        std::string text =
            entry->type == SettingType::Text ? "text of " + key : std::to_string(value++);
        store.write(key, text);
        written.emplace_back(key, text);
    }
    AppSettings s = loadSettings(store);
    auto fields = loadedFields();
    for (size_t i = 0; i < fields.size(); ++i) {
        EXPECT_EQ(fields[i].second(s), written[i].second) << fields[i].first;
    }
    // Every global key but the account count and the character position is loaded.
    EXPECT_EQ(fields.size() + 3, settingKeys().size());
}

TEST(LoadSettings, ANumberThatDoesNotConvertKeepsItsDefaultAndTheLoadGoesOn) {
    MemorySettingsStore store({
        {"Timeupval", "abc"},
        {"Checktimerval", "5"},
        {"Pitchval", "70000"},  // does not fit 16 bits
        {"Volval", "70000"},    // fits 32 bits
        {"Option3value", "2"},
        {"HukifontS", ""},
        {"Talkcnt", " 3 "},
        {"Notstr", "0"},  // what an emptied box leaves: the digit itself
        {"Mailerdir1", "0"},
        {"accountno", "zwei"},
        {"Aname1", "not read"},
    });
    AppSettings s = loadSettings(store);
    EXPECT_EQ(s.Timeupval, 60);
    EXPECT_EQ(s.Checktimerval, 5);
    EXPECT_EQ(s.Pitchval, 100);
    EXPECT_EQ(s.Volval, 70000);
    EXPECT_EQ(s.Option3value, 2);
    EXPECT_EQ(s.HukifontS, 9);
    EXPECT_EQ(s.Talkcnt, 3);
    EXPECT_EQ(s.Notstr, "0");
    EXPECT_EQ(s.Mailerdir[0], "0");
    EXPECT_EQ(s.accountno, 0);
    EXPECT_TRUE(s.accountColours.empty());
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
        {"Hname3", "pop.example.jp"},
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
    EXPECT_EQ(s.currentAccount.Hname, "pop.example.jp");
    EXPECT_EQ(s.currentAccount.Portno, 995);
}

}  // namespace
}  // namespace velkora
