#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velkora {

// True when a message's header section makes it a MIME message (a MIME-Version or a
// Content-Type field).
bool isMimeHeader(std::string_view header);

// The text of a MIME message's body for display, in UTF-8: the first "text/plain" part that is
// not an attachment (or, with none, the first "text/html" part reduced to its text), its
// transfer encoding undone and its charset converted. Multipart bodies are searched depth
// first, a multipart/related one only in its start part; boundaries, part headers and other
// parts never appear. The body may be cut short anywhere (it is what a TOP reply holds): a
// part that has not begun gives nothing.
// `body` begins with the CR LF of the empty line after `header`. The result begins with a
// line break and ends each of its lines with one (CR LF), as a plain body does; it is empty
// when no such part was found.
std::string mimeBodyText(std::string_view header, std::string_view body);

}  // namespace velkora
