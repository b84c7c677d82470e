#include "checker/decode/MimeBody.h"

#include <cstddef>
#include <vector>

#include "checker/decode/Charset.h"
#include "checker/decode/HeaderFields.h"
#include "checker/decode/HtmlText.h"
#include "checker/decode/TransferDecoding.h"

namespace velkora {

namespace {

constexpr auto npos = std::string_view::npos;
// Nesting deeper than any mailer writes is not searched: each level scans its own text once.
constexpr int kDeepestNesting = 12;

std::string lowerCase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    }
    return lower;
}

std::string_view trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// A Content-Type or Content-Disposition value: its first item in lower case and the
// parameters that matter here.
struct FieldParameters {
    std::string value;
    std::string charset;
    std::string boundary;
    std::string start;
};

// "value; name=token; name="quoted \" string"": parameter names in any case, values as
// written (quotes and escapes removed).
FieldParameters parseParameters(std::string_view field) {
    FieldParameters result;
    std::size_t pos = field.find(';');
    result.value = lowerCase(trimmed(field.substr(0, pos)));
    while (pos != npos && pos < field.size()) {
        ++pos;  // past ';'
        const std::size_t equals = field.find('=', pos);
        if (equals == npos) {
            break;
        }
        const std::string name = lowerCase(trimmed(field.substr(pos, equals - pos)));
        pos = equals + 1;
        while (pos < field.size() && (field[pos] == ' ' || field[pos] == '\t')) {
            ++pos;
        }
        std::string value;
        if (pos < field.size() && field[pos] == '"') {
            for (++pos; pos < field.size() && field[pos] != '"'; ++pos) {
                if (field[pos] == '\\' && pos + 1 < field.size()) {
                    ++pos;
                }
                value += field[pos];
            }
            pos = field.find(';', pos);
        } else {
            const std::size_t end = field.find(';', pos);
            value = trimmed(field.substr(pos, end == npos ? npos : end - pos));
            pos = end;
        }
        if (name == "charset") {
            result.charset = value;
        } else if (name == "boundary") {
            result.boundary = value;
        } else if (name == "start") {
            result.start = value;
        }
    }
    return result;
}

std::string fieldValue(std::string_view header, std::string_view name) {
    const auto field = findField(header, name);
    return field ? unfoldValue(field->value, false) : std::string();
}

struct Entity {
    std::string_view header;
    std::string_view body;  // begins with the CR LF of the empty line
    bool isPart = false;    // inside a multipart body, so its last line break went with it
};

// What the search found: the first text/plain part, else the first text/html part.
struct Found {
    std::optional<Entity> plain;
    std::optional<Entity> html;
};

// The parts of a multipart body, in order, as far as the text holds them. A delimiter line
// is "--" and the boundary at a line start, "--" after it for the last one, then only spaces
// or TABs. The line break before a delimiter belongs to the delimiter, not to the part.
std::vector<std::string_view> splitParts(std::string_view body, std::string_view boundary) {
    std::vector<std::string_view> parts;
    std::size_t partBegin = npos;
    for (std::size_t line = 0; line < body.size();) {
        std::size_t lineEnd = body.find("\r\n", line);
        const std::size_t next = lineEnd == npos ? body.size() : lineEnd + 2;
        lineEnd = lineEnd == npos ? body.size() : lineEnd;
        std::string_view text = body.substr(line, lineEnd - line);
        if (text.size() >= boundary.size() + 2 && text.substr(0, 2) == "--" &&
            text.substr(2, boundary.size()) == boundary) {
            text.remove_prefix(boundary.size() + 2);
            const bool last = text.substr(0, 2) == "--";
            if (last) {
                text.remove_prefix(2);
            }
            if (text.find_first_not_of(" \t") == npos) {
                if (partBegin != npos) {
                    const std::size_t partEnd = line > partBegin ? line - 2 : partBegin;
                    parts.push_back(body.substr(partBegin, partEnd - partBegin));
                }
                if (last) {
                    return parts;
                }
                partBegin = next;
            }
        }
        line = next;
    }
    if (partBegin != npos && partBegin < body.size()) {
        parts.push_back(body.substr(partBegin));
    }
    return parts;
}

bool isAttachment(std::string_view header) {
    return parseParameters(fieldValue(header, "Content-Disposition")).value == "attachment";
}

void search(const Entity& entity, const std::string& defaultType, int depth, Found& found) {
    if (found.plain || isAttachment(entity.header)) {
        return;
    }
    const auto typeField = findField(entity.header, "Content-Type");
    FieldParameters type =
        parseParameters(typeField ? unfoldValue(typeField->value, false) : defaultType);
    if (type.value.find('/') == npos || type.value.find('/') != type.value.rfind('/')) {
        type.value = "text/plain";  // an unreadable type is plain text
    }
    if (type.value == "text/plain") {
        found.plain = entity;
        return;
    }
    if (type.value == "text/html") {
        if (!found.html) {
            found.html = entity;
        }
        return;
    }
    if (type.value.rfind("multipart/", 0) != 0 || type.boundary.empty() ||
        depth >= kDeepestNesting) {
        return;
    }
    const std::string childType =
        type.value == "multipart/digest" ? "message/rfc822" : "text/plain";
    const bool related = type.value == "multipart/related";
    std::optional<Entity> first;
    for (std::string_view part : splitParts(entity.body, type.boundary)) {
        const HeaderAndBody split = splitPart(part);
        if (!split.body) {
            break;  // its header section is all that arrived: the part has not begun
        }
        const Entity child{split.header, *split.body, true};
        if (!related) {
            search(child, childType, depth + 1, found);
            if (found.plain) {
                return;
            }
            continue;
        }
        // Of a related body only its start part counts: the one named by "start", else the
        // first.
        if (!first) {
            first = child;
        }
        if (!type.start.empty() &&
            trimmed(fieldValue(child.header, "Content-ID")) == trimmed(type.start)) {
            search(child, childType, depth + 1, found);
            return;
        }
    }
    if (related && first) {
        search(*first, childType, depth + 1, found);
    }
}

// Line breaks of decoded text as CR LF, the last line ended too.
std::string withCrLfLines(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16 + 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
            out += "\r\n";
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    if (!out.empty() && out.back() != '\n') {
        out += "\r\n";
    }
    return out;
}

std::string textOf(const Entity& part, bool html) {
    const std::string charset = parseParameters(fieldValue(part.header, "Content-Type")).charset;
    const std::string encoding =
        lowerCase(trimmed(fieldValue(part.header, "Content-Transfer-Encoding")));
    std::string text;
    if (encoding == "base64" || encoding == "quoted-printable") {
        std::string_view encoded = part.body;
        if (encoded.substr(0, 2) == "\r\n") {
            encoded.remove_prefix(2);  // the empty line, not text
        }
        const std::string bytes = encoding == "base64"
                                      ? decodeBase64Body(encoded)
                                      : decodeQuotedPrintable(encoded, QuotedPrintable::Body);
        text = "\r\n" + withCrLfLines(charsetTextToUtf8(bytes, charset, TextEnd::MayBeCut));
    } else {
        // Line breaks as they came: this is the path of the old mail, which stays as it was.
        text = charsetTextToUtf8(part.body, charset, TextEnd::MayBeCut);
        if (part.isPart && (text.empty() || text.back() != '\n')) {
            text += "\r\n";
        }
    }
    if (html) {
        return "\r\n" + htmlToText(text);
    }
    return text;
}

}  // namespace

bool isMimeHeader(std::string_view header) {
    return findField(header, "MIME-Version") || findField(header, "Content-Type");
}

std::string mimeBodyText(std::string_view header, std::string_view body) {
    Found found;
    search(Entity{header, body}, "text/plain", 0, found);
    if (found.plain) {
        return textOf(*found.plain, false);
    }
    if (found.html) {
        return textOf(*found.html, true);
    }
    return {};
}

}  // namespace velkora
