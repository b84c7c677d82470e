#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velkora {

// The product name, the tip of every tray state except the per-account checking tip.
inline constexpr std::string_view kTrayTip = "Velkora";

// What follows the account's name in the checking tip.
inline constexpr std::string_view kCheckingTipSuffix = "をチェック中です";

// The tip field of the notification area holds 64 bytes of code page 932 including the NUL
// that ends the text, so a tip keeps at most 63 bytes of text.
inline constexpr std::size_t kTrayTipBytes = 63;

// The tip as the field keeps it: the longest leading part of the UTF-8 text whose code page
// 932 form fits kTrayTipBytes. A character is never cut in half; one without a code counts
// as the single "?" it would become.
std::string cutTrayTip(std::string_view utf8);

}  // namespace velkora
