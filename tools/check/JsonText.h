#pragma once

#include <string>
#include <string_view>

#include "checker/check/MailList.h"

namespace velkora {

// The text as a JSON string, quotes included: '"' and '\' escaped, control characters (C0,
// DEL and C1) as \uXXXX or their short forms, and every byte that is not part of a valid
// UTF-8 character as U+FFFD, so that the output is always valid UTF-8 JSON.
std::string jsonString(std::string_view utf8);

// One mail-list row as one line of JSON (without the line end):
// {"account": n, "sender": "...", "subject": "...", "body": "..."}
std::string mailRowJson(const MailRow& row);

}  // namespace velkora
