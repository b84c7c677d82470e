#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace velkora {

// A message or MIME part split at its first empty line. The header section keeps the CR LF of
// its last line; the body begins with the CR LF of the empty line. Without an empty line the
// header section is all of the text and there is no body.
struct HeaderAndBody {
    std::string_view header;
    std::optional<std::string_view> body;
};

// The collected text of a whole message: split at its first CR LF CR LF.
HeaderAndBody splitMessage(std::string_view text);
// A MIME part, whose text may begin with the empty line when it has no header fields.
HeaderAndBody splitPart(std::string_view text);

// One field of a header section as written after its colon: continuation lines (beginning
// with a space or a TAB) included, line breaks still in. `complete` is false when the text
// ended inside the field (no line break after its last line).
struct RawField {
    std::string_view value;
    bool complete = true;
};

// The first field named `name` (without the colon, ASCII, any letter case) whose name begins a
// line of `header`. A name inside another field's name or value is not the field.
std::optional<RawField> findField(std::string_view header, std::string_view name);

// The value with its line breaks (CR LF) removed, whitespace kept (RFC 5322 unfolding), and,
// when `dropTabs`, its TAB characters removed as well.
std::string unfoldValue(std::string_view value, bool dropTabs);

}  // namespace velkora
