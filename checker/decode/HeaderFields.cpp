#include "checker/decode/HeaderFields.h"

namespace velkora {

namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr auto npos = std::string_view::npos;

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

bool namesField(std::string_view line, std::string_view name) {
    if (line.size() <= name.size() || line[name.size()] != ':') {
        return false;
    }
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (asciiLower(line[i]) != asciiLower(name[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

HeaderAndBody splitMessage(std::string_view text) {
    const std::size_t end = text.find("\r\n\r\n");
    if (end == npos) {
        return {text, std::nullopt};
    }
    return {text.substr(0, end + kCrLf.size()), text.substr(end + kCrLf.size())};
}

HeaderAndBody splitPart(std::string_view text) {
    if (text.substr(0, kCrLf.size()) == kCrLf) {
        return {text.substr(0, 0), text};
    }
    return splitMessage(text);
}

std::optional<RawField> findField(std::string_view header, std::string_view name) {
    for (std::size_t line = 0; line < header.size();) {
        const std::size_t lineEnd = header.find(kCrLf, line);
        const std::string_view rest = header.substr(line);
        if (namesField(rest, name)) {
            const std::size_t valueStart = line + name.size() + 1;
            // The field runs on over every line that begins with a space or a TAB.
            for (std::size_t end = lineEnd; end != npos; end = header.find(kCrLf, end + 2)) {
                const std::size_t next = end + kCrLf.size();
                if (next >= header.size() || (header[next] != ' ' && header[next] != '\t')) {
                    return RawField{header.substr(valueStart, end - valueStart), true};
                }
            }
            return RawField{header.substr(valueStart), false};
        }
        if (lineEnd == npos) {
            break;
        }
        line = lineEnd + kCrLf.size();
    }
    return std::nullopt;
}

std::string unfoldValue(std::string_view value, bool dropTabs) {
    std::string unfolded;
    unfolded.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\r' && i + 1 < value.size() && value[i + 1] == '\n') {
            ++i;
        } else if (value[i] != '\t' || !dropTabs) {
            unfolded += value[i];
        }
    }
    return unfolded;
}

}  // namespace velkora
