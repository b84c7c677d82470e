#include "common/Accounts.h"

#include <gtest/gtest.h>

#include <string>

#include "common/Cp932.h"
#include "common/MemorySettingsStore.h"

namespace velkora {
namespace {

using Log = std::vector<std::pair<std::string, std::string>>;

// Every field differs from its default and from other samples' fields.
Account sample(const std::string& name) {
    const int n = name[0];
    return {name, name + ".jp", static_cast<int16_t>(n),         "u-" + name,  "p-" + name, 0,
            n,    n * 1000,     static_cast<int16_t>(1 + n % 2), "pin-" + name};
}

MemorySettingsStore storeWith(std::initializer_list<const char*> names) {
    MemorySettingsStore store;
    for (const char* name : names) {
        addAccount(store, sample(name));
    }
    store.clearWriteLog();
    return store;
}

TEST(Accounts, SaveWritesTheKeysInOrderAndLoadReadsThemBack) {
    MemorySettingsStore store;
    // A port above 32767 cannot be held; the user name is empty.
    Account a{"会社", "192.0.2.1", -32768, "", "abc", 0, 0x00FF8000, -1, Account::kStartTls, ""};
    saveAccount(store, 10, a);
    EXPECT_EQ(store.writeLog(), (Log{{"Aname10", "会社"},
                                     {"Hname10", "192.0.2.1"},
                                     {"Portno10", "-32768"},
                                     {"Uname10", "0"},
                                     {"Passw10", "97 98 99 "},
                                     {"Check10", "0"},
                                     {"Scolor110", "16744448"},
                                     {"Scolor210", "-1"},
                                     {"Tlsmode10", "1"},
                                     {"Tlspin10", "0"}}));
    Account loaded = loadAccount(store, 10);
    EXPECT_EQ(loaded.Uname, "0");  // an emptied user name comes back as the digit
    loaded.Uname = "";
    EXPECT_EQ(loaded, a);

    // An empty password is stored as "0" and comes back empty.
    a.Passw = "";
    saveAccount(store, 10, a);
    EXPECT_EQ(store.values().at("Passw10"), "0");
    EXPECT_EQ(loadAccount(store, 10).Passw, "");
}

TEST(Accounts, MissingOrBrokenFieldsKeepTheirDefaults) {
    // A store from before TLS has no security keys: plain POP3, nothing pinned.
    MemorySettingsStore store({{"Portno1", "pop3"},
                               {"Check1", "1.0"},
                               {"Tlsmode1", "tls"},
                               {"Scolor11", "red"},
                               {"Scolor21", "99999999999"},
                               {"Hname1", "mail.example.jp"}});
    Account expected;
    expected.Hname = "mail.example.jp";
    EXPECT_EQ(loadAccount(store, 1), expected);
    EXPECT_EQ(loadAccount(store, 2), Account{});
    EXPECT_EQ(readAccountCount(store), 0);
    store.write("accountno", "-4");
    EXPECT_EQ(readAccountCount(store), 0);
}

TEST(Accounts, AddNumbersFromTheStoredCount) {
    MemorySettingsStore store = storeWith({"a"});
    EXPECT_EQ(addAccount(store, sample("b")), 2);
    EXPECT_EQ(store.writeLog().back(), (Log::value_type{"accountno", "2"}));
    EXPECT_EQ(loadAccount(store, 1), sample("a"));
    EXPECT_EQ(loadAccount(store, 2), sample("b"));

    store.write("accountno", "32767");
    store.clearWriteLog();
    try {
        addAccount(store, sample("c"));
        FAIL() << "no error for a full account list";
    } catch (const AccountSaveError& error) {
        EXPECT_EQ(error.reason(), AccountSaveError::Reason::TooManyAccounts);
    }
    EXPECT_TRUE(store.writeLog().empty());
}

TEST(Accounts, DeleteMovesTheLaterAccountsDownAndLeavesTheOldLastKeys) {
    MemorySettingsStore store = storeWith({"a", "b", "c", "d"});
    deleteAccount(store, 2);
    EXPECT_EQ(store.values().at("accountno"), "3");
    EXPECT_EQ(loadAccount(store, 1), sample("a"));
    EXPECT_EQ(loadAccount(store, 2), sample("c"));
    EXPECT_EQ(loadAccount(store, 3), sample("d"));
    EXPECT_EQ(loadAccount(store, 4), sample("d"));
    // Accounts 2 and 3, in that order, then the count: the old number 4 stays as it was.
    ASSERT_EQ(store.writeLog().size(), 21u);
    EXPECT_EQ(store.writeLog().front().first, "Aname2");
    EXPECT_EQ(store.writeLog()[10].first, "Aname3");
    EXPECT_EQ(store.writeLog().back().first, "accountno");

    // The last account: only the count changes; numbers outside the list do nothing.
    store.clearWriteLog();
    deleteAccount(store, 3);
    EXPECT_EQ(store.writeLog(), (Log{{"accountno", "2"}}));
    EXPECT_EQ(loadAccount(store, 3), sample("d"));  // still there, no longer counted
    store.clearWriteLog();
    deleteAccount(store, 0);
    deleteAccount(store, 3);
    EXPECT_TRUE(store.writeLog().empty());
}

TEST(Passwords, ScrambleGivesSignedCodePageCodes) {
    EXPECT_EQ(scramblePassword("abc"), "97 98 99 ");
    EXPECT_EQ(scramblePassword(""), "");
    EXPECT_EQ(scramblePassword("あ"), "-32096 ");  // 0x82 0xA0
    // Half-width kana is one byte; 表 has a backslash as its trail byte.
    EXPECT_EQ(scramblePassword("aｱ表"), "97 177 -27300 ");
    EXPECT_EQ(unscramblePassword("97 98 99 "), "abc");
    EXPECT_EQ(unscramblePassword("-32096 "), "あ");
}

TEST(Passwords, DamagedStoredFormsSkipWhatIsNotACode) {
    EXPECT_EQ(unscramblePassword("97 98 99"), "ab");  // last code without its space
    EXPECT_EQ(unscramblePassword("0"), "");
    EXPECT_EQ(unscramblePassword(""), "");
    EXPECT_EQ(unscramblePassword(" 97  98 "), "ab");  // empty tokens
    EXPECT_EQ(unscramblePassword("97 x 9x 1.5 0x41 1e2 98 "), "ab");
    EXPECT_EQ(unscramblePassword("97 \t98 "), "a");  // only spaces separate
    EXPECT_EQ(unscramblePassword("+97 "), "a");
    // Values above 255 are lead and trail byte, modulo 65536: 0x82A0 like -32096.
    EXPECT_EQ(unscramblePassword("33440 -97632 "), "ああ");
    // No character: 0x80, a lone lead byte 0x82, 0x01 0x2C (two characters), 0xFFFF, 0x0061.
    EXPECT_EQ(unscramblePassword("97 128 130 300 -1 65633 98 "), "ab");
    EXPECT_EQ(unscramblePassword("99999999999999999999999 97 "), "a");
    EXPECT_EQ(unscramblePassword("63 "), "?");  // a real question mark
}

TEST(Passwords, EveryCodePageCharacterRoundTrips) {
    int characters = 0;
    for (int code = -32768; code <= 255; ++code) {
        std::string one = std::to_string(code) + " ";
        std::string character = unscramblePassword(one);
        if (character.empty()) {
            continue;
        }
        ++characters;
        std::string stored = scramblePassword(character);
        ASSERT_EQ(unscramblePassword(stored), character) << code;
        // Where the code page has two codes for one character, the stored code may differ.
        if (stored != one) {
            EXPECT_EQ(cp932::toUtf8(*cp932::fromUtf8(character)), character) << code;
        }
    }
    EXPECT_GT(characters, 7000);
}

TEST(Passwords, ACharacterWithoutACodeIsRefusedBeforeAnythingIsWritten) {
    EXPECT_EQ(unrepresentablePasswordCharacter("abcあ"), std::nullopt);
    EXPECT_EQ(unrepresentablePasswordCharacter("pass€word"), "€");
    EXPECT_EQ(unrepresentablePasswordCharacter("😀"), "😀");
    // "¥" has a code only by best fit: it would load back as a backslash.
    EXPECT_EQ(unrepresentablePasswordCharacter("a¥"), "¥");
    EXPECT_EQ(unrepresentablePasswordCharacter("a\xFF"
                                               "b"),
              "\xFF");

    MemorySettingsStore store = storeWith({"kept"});
    Account bad = sample("bad");
    bad.Passw = "pass€word";
    try {
        saveAccount(store, 1, bad);
        FAIL() << "the password was accepted";
    } catch (const AccountSaveError& error) {
        EXPECT_EQ(error.reason(), AccountSaveError::Reason::PasswordCharacter);
        EXPECT_EQ(error.character(), "€");
        EXPECT_NE(std::string(error.what()).find("€"), std::string::npos);
    }
    EXPECT_THROW(addAccount(store, bad), AccountSaveError);
    EXPECT_THROW(scramblePassword("¥"), AccountSaveError);
    EXPECT_TRUE(store.writeLog().empty());
    EXPECT_EQ(loadAccount(store, 1), sample("kept"));
    EXPECT_EQ(readAccountCount(store), 1);
}

}  // namespace
}  // namespace velkora
