#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "common/Account.h"

namespace velkora {

// What the account editor's boxes hold: texts as typed, the check box, the two swatches.
struct AccountFields {
    std::string Aname;
    std::string Hname;
    std::string Portno = "110";
    std::string Uname;
    std::string Passw;
    bool Check = true;
    int32_t Scolor1 = 0;
    int32_t Scolor2 = 16777088;
};

// The boxes of an account being edited (the port in decimal, the password in plain text).
AccountFields accountFields(const Account& account);

// The name an account gets when its name box is left empty: "Uname@Hname".
std::string defaultAccountName(const std::string& Uname, const std::string& Hname);

// The record that the editor's OK stores, with an empty name replaced by
// defaultAccountName(); or, when it cannot be stored, a message for the user: a port that is
// not a whole number from 1 to 32767, or a password character without a stored form.
std::variant<Account, std::string> accountFromFields(const AccountFields& fields);

}  // namespace velkora
