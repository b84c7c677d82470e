#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "common/Account.h"
#include "common/SettingsStore.h"

namespace velkora {

// Why an account could not be stored. Raised before any key is written, so the store keeps
// the account as it was; what() is a message for the user.
class AccountSaveError : public std::runtime_error {
public:
    enum class Reason {
        PasswordCharacter,  // the password holds a character without a code page 932 code
        TooManyAccounts,    // the count would pass 32767
    };

    AccountSaveError(Reason reason, std::string message, std::string character = {});

    Reason reason() const { return reason_; }
    // For PasswordCharacter: the offending character (UTF-8; a malformed byte on its own).
    const std::string& character() const { return character_; }

private:
    Reason reason_;
    std::string character_;
};

// The key of a field of account n: the field name followed by n, e.g. "Scolor110".
std::string accountKey(std::string_view field, int16_t n);

// The stored account count "accountno"; absent, not a number or negative gives 0.
int16_t readAccountCount(const SettingsStore& store);

// Account n as stored; absent fields and numbers that do not convert keep their defaults.
Account loadAccount(const SettingsStore& store, int16_t n);

// Writes the keys of account n: the eight of the record, then "Tlsmode"+n and "Tlspin"+n. Throws
// AccountSaveError (before writing anything) when the password cannot be encoded.
void saveAccount(SettingsStore& store, int16_t n, const Account& account);

// Stores the account as number count + 1 and then the new count; returns the new number.
// Throws AccountSaveError, with nothing written, when the password cannot be encoded or the
// count is already 32767.
int16_t addAccount(SettingsStore& store, const Account& account);

// Removes account k (1 <= k <= count; other numbers do nothing): the accounts above it move
// down by one, in ascending order, and the count drops by one. The keys of the old last
// number stay in the store, unread.
void deleteAccount(SettingsStore& store, int16_t k);

// The first character of `password` that cannot be stored so that it loads back unchanged
// (no code page 932 code, or a code that reads back as another character, such as "¥"), or
// nothing when every character can. For the editor's check before it saves.
std::optional<std::string> unrepresentablePasswordCharacter(std::string_view password);

// The stored form of a password: the signed 16-bit code page 932 code of every character in
// decimal, each followed by one space ("abc" -> "97 98 99 "). Throws AccountSaveError for a
// character that unrepresentablePasswordCharacter() names.
std::string scramblePassword(std::string_view password);

// The password of a stored form. A last code without a space behind it, empty tokens, tokens
// that are not decimal integers and codes that are no character are skipped.
std::string unscramblePassword(std::string_view stored);

}  // namespace velkora
