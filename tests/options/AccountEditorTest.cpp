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
