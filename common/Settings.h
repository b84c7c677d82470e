#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/AppSettings.h"
#include "common/SettingsStore.h"

namespace velkora {

// The number conversion used for every stored number: optional spaces or tabs, an optional
// "+" or "-", one or more decimal digits, optional spaces or tabs, and a value within the
// type's range. Anything else (empty text, "0x10", "1.5", "1e3", "70000" for 16 bits) does
// not convert.
std::optional<int16_t> parseInt16(std::string_view text);
std::optional<int32_t> parseInt32(std::string_view text);

// The stored number of a key, or `defaultValue` when the key is absent or does not convert.
int16_t readInt16Setting(const SettingsStore& store, const std::string& key, int16_t defaultValue);
int32_t readInt32Setting(const SettingsStore& store, const std::string& key, int32_t defaultValue);

// Keys whose empty text is stored as it is: "Mailerdir1", "Mailerdir2", "Wavdir" and every
// key containing "Talkstr" (case-sensitive).
bool keepsEmptyText(std::string_view key);

// The write rule of the options program: a non-empty text is stored as it is; an empty text
// is stored as `number` in decimal, except under the keys of keepsEmptyText(). Numbers and
// flags are passed as the number with an empty text.
void saveSetting(SettingsStore& store, const std::string& key, int16_t number,
                 const std::string& text);

// A 32-bit value ("Volval", the account colours), stored as its decimal.
void saveInt32Setting(SettingsStore& store, const std::string& key, int32_t value);

// The checker's load of every global key and of all accounts. Absent keys, and stored numbers
// that do not convert, keep the AppSettings defaults.
AppSettings loadSettings(const SettingsStore& store);

}  // namespace velkora
