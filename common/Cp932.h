#pragma once

#include <optional>
#include <string>
#include <string_view>

// Code page 932 (Shift_JIS as Windows has it) at the boundaries where bytes leave or enter
// the program: commands on the wire, password codes, the output of the mail converters.
namespace velkora::cp932 {

// UTF-8 to code page 932; empty when a character has no code there (or the input is not
// valid UTF-8).
std::optional<std::string> fromUtf8(std::string_view utf8);

// UTF-8 to code page 932; a character without a code becomes '?', the code page's default
// character.
std::string fromUtf8Lossy(std::string_view utf8);

// Code page 932 to UTF-8; a byte that does not start a valid character becomes '?'.
std::string toUtf8(std::string_view bytes);

}  // namespace velkora::cp932
