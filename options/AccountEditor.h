#pragma once

#include <cstdint>
#include <optional>
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
    int16_t Tlsmode = Account::kPlain;
    std::string Tlspin;  // as typed or pasted
};

// The port the editor proposes when the connection security changes from `from` to `to`:
// 995 for TLS from the first byte, 110 otherwise, but only in place of the other choice's
// usual port; a port the user chose stays. Nothing when the port stays as it is.
std::optional<std::string> proposedPort(int16_t from, int16_t to, const std::string& port);

// The boxes of an account being edited (the port in decimal, the password in plain text).
AccountFields accountFields(const Account& account);

// The name an account gets when its name box is left empty: "Uname@Hname".
std::string defaultAccountName(const std::string& Uname, const std::string& Hname);

// The record that the editor's OK stores, with an empty name replaced by
// defaultAccountName() and the pinned fingerprint in its stored form; or, when it cannot be
// stored, a message for the user: a port that is not a whole number from 1 to 32767, a
// password character without a stored form, or a fingerprint that is none.
std::variant<Account, std::string> accountFromFields(const AccountFields& fields);

}  // namespace velkora
