#include <gtest/gtest.h>

#include <variant>

#include "options/AccountEditor.h"
#include "options/AccountList.h"

namespace velkora {
namespace {

TEST(AccountEditorTest, OkRefusesWhatCannotBeStoredAndNamesAnUnnamedAccount) {
    AccountFields fields;
    fields.Hname = "pop.example.jp";
    fields.Uname = "hanako";
    for (const char* port : {"abc", "", "0", "-110", "32768", "1.5"}) {
        fields.Portno = port;
        EXPECT_TRUE(std::holds_alternative<std::string>(accountFromFields(fields))) << port;
    }
    fields.Portno = " 995 ";
    fields.Passw = "пароль😀";
    EXPECT_TRUE(std::holds_alternative<std::string>(accountFromFields(fields)));
    fields.Passw = "ぱす";
    fields.Check = false;
    const auto result = accountFromFields(fields);
    ASSERT_TRUE(std::holds_alternative<Account>(result));
    const Account& account = std::get<Account>(result);
    EXPECT_EQ(account.Aname, "hanako@pop.example.jp");
    EXPECT_EQ(account.Portno, 995);
    EXPECT_EQ(account.Check, 0);
}

TEST(AccountEditorTest, SecurityProposesItsPortAndAPinIsStoredInItsOneForm) {
    // The usual port follows the choice; a port the user chose stays.
    EXPECT_EQ(proposedPort(Account::kPlain, Account::kImplicitTls, "110"), "995");
    EXPECT_EQ(proposedPort(Account::kStartTls, Account::kImplicitTls, "110"), "995");
    EXPECT_EQ(proposedPort(Account::kImplicitTls, Account::kStartTls, "995"), "110");
    EXPECT_EQ(proposedPort(Account::kPlain, Account::kStartTls, "110"), std::nullopt);
    EXPECT_EQ(proposedPort(Account::kPlain, Account::kImplicitTls, "1110"), std::nullopt);

    AccountFields fields;
    fields.Hname = "nas.home";
    fields.Tlsmode = Account::kImplicitTls;
    fields.Tlspin = "sha256:" + std::string(64, 'a');
    auto result = accountFromFields(fields);
    ASSERT_TRUE(std::holds_alternative<Account>(result));
    std::string stored;
    for (int i = 0; i < 32; ++i) {
        stored += i == 0 ? "AA" : ":AA";
    }
    EXPECT_EQ(std::get<Account>(result).Tlspin, stored);
    EXPECT_EQ(std::get<Account>(result).Tlsmode, Account::kImplicitTls);
    for (const char* bad : {"AB:CD", "not a fingerprint", "ZZ"}) {
        fields.Tlspin = bad;
        EXPECT_TRUE(std::holds_alternative<std::string>(accountFromFields(fields))) << bad;
    }
    fields.Tlspin = "  ";
    result = accountFromFields(fields);
    ASSERT_TRUE(std::holds_alternative<Account>(result));
    EXPECT_EQ(std::get<Account>(result).Tlspin, "");
}

TEST(AccountListTest, ColumnWidthsAndColoursOfTheRows) {
    EXPECT_EQ(accountColumnWidths(18).name, 4960);
    EXPECT_EQ(accountColumnWidths(19).name, 4700);
    const Rgb cyan = rgbOf(16777088);
    EXPECT_EQ(cyan.red, 0x80);
    EXPECT_EQ(cyan.green, 0xFF);
    EXPECT_EQ(cyan.blue, 0xFF);
    EXPECT_EQ(colourOf({0x12, 0x34, 0x56}), 0x563412);
}

}  // namespace
}  // namespace velkora
