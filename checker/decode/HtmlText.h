#pragma once

#include <string>
#include <string_view>

namespace velkora {

// The readable text of an HTML document (UTF-8 in and out), as lines each ended by CR LF:
// - the text of <title>, <script>, <style> and <template> is left out, and so are comments;
// - block elements (paragraphs, divisions, headings, list items, table rows, ...) and <br>
//   end a line; table cells are set apart by a space;
// - inside <pre> line breaks stay, elsewhere every run of spaces, TABs and line breaks is one
//   space;
// - character references are resolved; lines are trimmed of spaces and empty ones dropped.
// A broken document gives what a forgiving parser makes of it.
std::string htmlToText(std::string_view html);

}  // namespace velkora
