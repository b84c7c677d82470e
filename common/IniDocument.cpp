#include "common/IniDocument.h"

#include <cstddef>

#include "common/HexDigit.h"

namespace velkora {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

bool isPlainKey(std::string_view key) {
    if (key.empty()) {
        return false;
    }
    for (char c : key) {
        bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                     c == '_' || c == '-' || c == '.';
        if (!plain) {
            return false;
        }
    }
    return true;
}

std::string quote(std::string_view text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out = "\"";
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (byte < 0x20 || byte == 0x7F) {
                    out += "\\x";
                    out += hex[byte >> 4];
                    out += hex[byte & 0x0F];
                } else {
                    out += c;
                }
        }
    }
    out += '"';
    return out;
}

// Reads a quoted text at the start of `s` (which begins with '"'); advances `s` past the
// closing quote. Nothing when the quote is not closed.
std::optional<std::string> unquote(std::string_view& s) {
    std::string out;
    size_t i = 1;
    while (i < s.size()) {
        char c = s[i];
        if (c == '"') {
            s.remove_prefix(i + 1);
            return out;
        }
        if (c == '\\' && i + 1 < s.size()) {
            char e = s[i + 1];
            switch (e) {
                case '\\':
                    out += '\\';
                    i += 2;
                    continue;
                case '"':
                    out += '"';
                    i += 2;
                    continue;
                case 'n':
                    out += '\n';
                    i += 2;
                    continue;
                case 'r':
                    out += '\r';
                    i += 2;
                    continue;
                case 't':
                    out += '\t';
                    i += 2;
                    continue;
                case 'x':
                    if (i + 3 < s.size() && hexDigitValue(s[i + 2]) >= 0 &&
                        hexDigitValue(s[i + 3]) >= 0) {
                        out += static_cast<char>(hexDigitValue(s[i + 2]) * 16 +
                                                 hexDigitValue(s[i + 3]));
                        i += 4;
                        continue;
                    }
                    break;
                default:
                    break;
            }
        }
        out += c;  // an unknown escape stays as written
        ++i;
    }
    return std::nullopt;
}

}  // namespace

IniDocument IniDocument::parse(std::string_view text) {
    IniDocument doc;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
        doc.byteOrderMark_ = true;
    }
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        const bool crLf = !line.empty() && line.back() == '\r';
        if (crLf) {
            line.remove_suffix(1);
        }
        doc.addLine(line);
        doc.sections_.back().lines.back().crLf = crLf;
    }
    return doc;
}

void IniDocument::addLine(std::string_view line) {
    std::string_view body = trim(line);
    Line parsed{std::string(line), false, {}, {}};
    if (!body.empty() && body.front() == '[' && body.find(']') != std::string_view::npos) {
        Section section;
        section.hasHeader = true;
        section.name = std::string(trim(body.substr(1, body.rfind(']') - 1)));
        section.lines.push_back(parsed);  // the header line itself
        sections_.push_back(std::move(section));
        return;
    }
    if (!body.empty() && body.front() != ';' && body.front() != '#') {
        parseEntry(body, parsed);
    }
    sections_.back().lines.push_back(std::move(parsed));
}

void IniDocument::parseEntry(std::string_view body, Line& line) {
    std::string key;
    if (body.front() == '"') {
        auto quoted = unquote(body);
        if (!quoted) {
            return;
        }
        key = *quoted;
        body = trim(body);
        if (body.empty() || body.front() != '=') {
            return;
        }
    } else {
        size_t equals = body.find('=');
        if (equals == std::string_view::npos) {
            return;
        }
        key = std::string(trim(body.substr(0, equals)));
        body.remove_prefix(equals);
    }
    body = trim(body.substr(1));
    std::string value;
    std::string_view rest = body;
    if (!rest.empty() && rest.front() == '"') {
        if (auto quoted = unquote(rest)) {
            value = *quoted;
        } else {
            value = std::string(body);
        }
    } else {
        value = std::string(body);
    }
    line.entry = true;
    line.key = std::move(key);
    line.value = std::move(value);
}

std::optional<std::string> IniDocument::find(const std::string& section,
                                             const std::string& key) const {
    std::optional<std::string> found;
    for (const Section& s : sections_) {
        if (s.hasHeader && s.name == section) {
            for (const Line& line : s.lines) {
                if (line.entry && line.key == key) {
                    found = line.value;
                }
            }
        }
    }
    return found;
}

bool IniDocument::set(const std::string& section, const std::string& key,
                      const std::string& value) {
    bool present = false;
    bool changed = false;
    Section* last = nullptr;
    for (Section& s : sections_) {
        if (!s.hasHeader || s.name != section) {
            continue;
        }
        last = &s;
        for (Line& line : s.lines) {
            if (line.entry && line.key == key) {
                present = true;
                if (line.value != value) {
                    line.value = value;
                    line.raw.clear();
                    changed = true;
                }
            }
        }
    }
    if (present) {
        return changed;
    }
    if (!last) {
        Section s;
        s.hasHeader = true;
        s.name = section;
        s.lines.push_back(Line{"[" + section + "]", false, {}, {}});
        sections_.push_back(std::move(s));
        last = &sections_.back();
    }
    // After the section's last entry, so blank lines and comments below it stay below.
    auto position = last->lines.end();
    while (position != last->lines.begin() + 1 && !(position - 1)->entry &&
           trim((position - 1)->raw).empty()) {
        --position;
    }
    last->lines.insert(position, Line{{}, true, key, value});
    return true;
}

std::string IniDocument::print() const {
    // A mark that was skipped is printed again: otherwise a second mark behind it (a file
    // saved twice by a careless editor) would become the first and be skipped next time,
    // bringing the line it hid to life.
    std::string out = byteOrderMark_ ? "\xEF\xBB\xBF" : "";
    for (const Section& s : sections_) {
        for (const Line& line : s.lines) {
            if (line.entry && line.raw.empty()) {
                out += isPlainKey(line.key) ? line.key : quote(line.key);
                out += '=';
                out += quote(line.value);
                out += '\n';
            } else {
                // A line read keeps its own end: one that ends in CR itself ("r=\r") needs the
                // CR LF it came with, or that CR would be taken for part of the line end.
                out += line.raw;
                out += line.crLf ? "\r\n" : "\n";
            }
        }
    }
    return out;
}

}  // namespace velkora
