#pragma once

#include <string>
#include <string_view>

namespace velkora {

// A Base64 body (RFC 2045): characters outside the alphabet (line breaks, spaces) are skipped,
// the rest decoded group by group as encoded words are.
std::string decodeBase64Body(std::string_view encoded);

// Quoted-printable text. As a body (RFC 2045) "=" at a line end (spaces or TABs may follow it)
// joins the line with the next; in an encoded word's "Q" text (RFC 2047) "_" stands for a
// space. In both, "=" and two hex digits (either case) is that byte; any other "=" stays.
enum class QuotedPrintable { Body, EncodedWord };
std::string decodeQuotedPrintable(std::string_view encoded, QuotedPrintable form);

}  // namespace velkora
