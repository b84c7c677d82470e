#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "checker/check/MailList.h"
#include "common/AppSettings.h"

namespace velkora {

// Turns one collected TOP reply (raw bytes) into a mail entry and appends it to the list,
// coloured with the account's colours (settings.accountColours[accountNumber]) and with the
// body filtered by settings.Notstr. Never fails as a whole.
// From and Subject are the first fields of those names that begin a line of the header
// section (up to the first empty line), unfolded and decoded (decodeHeaderText); a message
// without one gets the empty text. The body is the text after the header section as the old
// mail read (legacyTextToUtf8) or, for a MIME message, the text of its first text part
// (mimeBodyText); either way each CR LF then becomes U+3000 (stripNotstr).
void extractHeaders(std::string_view collected, int16_t accountNumber, const AppSettings& settings,
                    MailList& list);

// Removes every character of notstr from the body, then turns each CR LF into U+3000.
// Works on characters (UTF-8), never on bytes.
std::string stripNotstr(std::string_view body, std::string_view notstr);

}  // namespace velkora
