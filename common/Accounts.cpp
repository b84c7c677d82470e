#include "common/Accounts.h"

#include <limits>

#include "common/Cp932.h"
#include "common/Settings.h"

namespace velkora {

namespace {

// The UTF-8 character at the start of `text`, by its lead byte; a byte that cannot start a
// character, or a cut sequence, is returned alone and then fails the code page conversion.
std::string_view firstCharacter(std::string_view text) {
    auto lead = static_cast<unsigned char>(text.front());
    size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (length > text.size()) {
        length = 1;
    }
    return text.substr(0, length);
}

// The code page 932 bytes of one character, when it has a code that loads back as itself.
std::optional<std::string> encodeCharacter(std::string_view character) {
    auto bytes = cp932::fromUtf8(character);
    if (!bytes || bytes->empty() || bytes->size() > 2 || cp932::toUtf8(*bytes) != character) {
        return std::nullopt;
    }
    return bytes;
}

size_t codePointCount(std::string_view utf8) {
    size_t count = 0;
    for (char c : utf8) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            ++count;
        }
    }
    return count;
}

// The character of one password code, or nothing when the code is not one character.
std::optional<std::string> decodeCode(int64_t code) {
    std::string bytes;
    if (code >= 0 && code <= 255) {
        bytes += static_cast<char>(code);
    } else {
        int64_t unsignedCode = ((code % 65536) + 65536) % 65536;
        bytes += static_cast<char>(unsignedCode >> 8);
        bytes += static_cast<char>(unsignedCode & 0xFF);
    }
    std::string character = cp932::toUtf8(bytes);
    // toUtf8 marks every byte it cannot decode with its own '?', so exactly one character
    // that is not such a mark means the bytes were one valid code.
    if (codePointCount(character) != 1 || (character == "?" && bytes != "?")) {
        return std::nullopt;
    }
    return character;
}

// A password token: an optional sign and decimal digits, nothing else.
std::optional<int64_t> parseToken(std::string_view token) {
    bool negative = false;
    if (!token.empty() && (token.front() == '-' || token.front() == '+')) {
        negative = token.front() == '-';
        token.remove_prefix(1);
    }
    if (token.empty() || token.size() > 18) {  // 18 digits always fit in 64 bits
        return std::nullopt;
    }
    int64_t value = 0;
    for (char c : token) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    return negative ? -value : value;
}

void throwPasswordCharacter(const std::string& character) {
    throw AccountSaveError(AccountSaveError::Reason::PasswordCharacter,
                           "パスワードに使用できない文字が含まれています: " + character, character);
}

}  // namespace

AccountSaveError::AccountSaveError(Reason reason, std::string message, std::string character)
    : std::runtime_error(std::move(message)), reason_(reason), character_(std::move(character)) {}

std::string accountKey(std::string_view field, int16_t n) {
    return std::string(field) + std::to_string(n);
}

int16_t readAccountCount(const SettingsStore& store) {
    int16_t count = readInt16Setting(store, "accountno", 0);
    return count < 0 ? int16_t{0} : count;
}

Account loadAccount(const SettingsStore& store, int16_t n) {
    Account a;
    a.Aname = store.read(accountKey("Aname", n), a.Aname);
    a.Hname = store.read(accountKey("Hname", n), a.Hname);
    a.Portno = readInt16Setting(store, accountKey("Portno", n), a.Portno);
    a.Uname = store.read(accountKey("Uname", n), a.Uname);
    std::string stored = store.read(accountKey("Passw", n), "");
    a.Passw = stored.empty() ? std::string() : unscramblePassword(stored);
    a.Check = readInt16Setting(store, accountKey("Check", n), a.Check);
    a.Scolor1 = readInt32Setting(store, accountKey("Scolor1", n), a.Scolor1);
    a.Scolor2 = readInt32Setting(store, accountKey("Scolor2", n), a.Scolor2);
    // Absent in every store from before TLS: plain POP3, no pin.
    a.Tlsmode = readInt16Setting(store, accountKey("Tlsmode", n), a.Tlsmode);
    const std::string pin = store.read(accountKey("Tlspin", n), "");
    a.Tlspin = pin == "0" ? std::string() : pin;  // "0" is how an empty text is stored
    return a;
}

void saveAccount(SettingsStore& store, int16_t n, const Account& account) {
    // Encoded first: a password that cannot be stored must leave every key untouched.
    const std::string password = scramblePassword(account.Passw);
    saveSetting(store, accountKey("Aname", n), 0, account.Aname);
    saveSetting(store, accountKey("Hname", n), 0, account.Hname);
    saveSetting(store, accountKey("Portno", n), account.Portno, "");
    saveSetting(store, accountKey("Uname", n), 0, account.Uname);
    saveSetting(store, accountKey("Passw", n), 0, password);
    saveSetting(store, accountKey("Check", n), account.Check, "");
    saveInt32Setting(store, accountKey("Scolor1", n), account.Scolor1);
    saveInt32Setting(store, accountKey("Scolor2", n), account.Scolor2);
    saveSetting(store, accountKey("Tlsmode", n), account.Tlsmode, "");
    saveSetting(store, accountKey("Tlspin", n), 0, account.Tlspin);
}

int16_t addAccount(SettingsStore& store, const Account& account) {
    int16_t count = readAccountCount(store);
    if (count == std::numeric_limits<int16_t>::max()) {
        throw AccountSaveError(AccountSaveError::Reason::TooManyAccounts,
                               "これ以上アカウントを追加できません");
    }
    auto number = static_cast<int16_t>(count + 1);
    saveAccount(store, number, account);
    saveSetting(store, "accountno", number, "");
    return number;
}

void deleteAccount(SettingsStore& store, int16_t k) {
    int16_t count = readAccountCount(store);
    if (k < 1 || k > count) {
        return;
    }
    // Ascending: each record is read before its old number is overwritten.
    for (int c = k + 1; c <= count; ++c) {
        Account moved = loadAccount(store, static_cast<int16_t>(c));
        saveAccount(store, static_cast<int16_t>(c - 1), moved);
    }
    saveSetting(store, "accountno", static_cast<int16_t>(count - 1), "");
}

std::optional<std::string> unrepresentablePasswordCharacter(std::string_view password) {
    while (!password.empty()) {
        std::string_view character = firstCharacter(password);
        if (!encodeCharacter(character)) {
            return std::string(character);
        }
        password.remove_prefix(character.size());
    }
    return std::nullopt;
}

std::string scramblePassword(std::string_view password) {
    std::string stored;
    while (!password.empty()) {
        std::string_view character = firstCharacter(password);
        auto bytes = encodeCharacter(character);
        if (!bytes) {
            throwPasswordCharacter(std::string(character));
        }
        int code = static_cast<unsigned char>((*bytes)[0]);
        if (bytes->size() == 2) {
            code = code * 256 + static_cast<unsigned char>((*bytes)[1]) - 65536;
        }
        stored += std::to_string(code);
        stored += ' ';
        password.remove_prefix(character.size());
    }
    return stored;
}

std::string unscramblePassword(std::string_view stored) {
    std::string password;
    size_t p = 0;
    while (p < stored.size()) {
        size_t space = stored.find(' ', p);
        if (space == std::string_view::npos) {
            break;  // a last token without its space is not decoded
        }
        if (auto code = parseToken(stored.substr(p, space - p))) {
            if (auto character = decodeCode(*code)) {
                password += *character;
            }
        }
        p = space + 1;
    }
    return password;
}

}  // namespace velkora
