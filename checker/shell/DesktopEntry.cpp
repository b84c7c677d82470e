#include "checker/shell/DesktopEntry.h"

#include <fstream>
#include <sstream>

namespace velkora {

namespace {

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

// The escapes of a string value: \s \n \t \r \\ (others are kept as they stand, so the Exec
// line's own quoting escapes survive for the second pass).
std::string unescapeValue(std::string_view value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        char next = value[++i];
        switch (next) {
            case 's':
                out += ' ';
                break;
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case '\\':
                out += '\\';
                break;
            default:
                out += '\\';
                out += next;
        }
    }
    return out;
}

// Splits the Exec line into arguments: blanks separate, double quotes group, and inside quotes
// a backslash escapes " ` $ and \. Nothing when a quote is left open.
std::optional<std::vector<std::string>> splitExec(std::string_view exec) {
    std::vector<std::string> args;
    std::string current;
    bool inArgument = false;
    bool quoted = false;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        char c = exec[i];
        if (quoted) {
            if (c == '"') {
                quoted = false;
            } else if (c == '\\' && i + 1 < exec.size()) {
                current += exec[++i];
            } else {
                current += c;
            }
        } else if (c == '"') {
            quoted = true;
            inArgument = true;
        } else if (c == ' ' || c == '\t' || c == '\n') {
            if (inArgument) {
                args.push_back(std::move(current));
                current.clear();
                inArgument = false;
            }
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (quoted) {
        return std::nullopt;
    }
    if (inArgument) {
        args.push_back(std::move(current));
    }
    return args;
}

}  // namespace

bool isDesktopEntryPath(std::string_view path) {
    constexpr std::string_view kSuffix = ".desktop";
    return path.size() > kSuffix.size() && path.substr(path.size() - kSuffix.size()) == kSuffix;
}

std::optional<DesktopEntry> parseDesktopEntry(std::string_view text) {
    DesktopEntry entry;
    bool inGroup = false;
    bool found = false;
    std::string plainName;
    std::string japaneseName;
    std::string japanName;
    std::istringstream lines{std::string(text)};
    std::string rawLine;
    while (std::getline(lines, rawLine)) {
        std::string_view line = trim(rawLine);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        if (line.front() == '[') {
            inGroup = line == "[Desktop Entry]";
            found = found || inGroup;
            continue;
        }
        if (!inGroup) {
            continue;
        }
        std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            continue;
        }
        std::string_view key = trim(line.substr(0, equals));
        std::string value = unescapeValue(trim(line.substr(equals + 1)));
        if (key == "Type") {
            entry.type = value;
        } else if (key == "Name") {
            plainName = value;
        } else if (key == "Name[ja]") {
            japaneseName = value;
        } else if (key == "Name[ja_JP]") {
            japanName = value;
        } else if (key == "Exec") {
            entry.exec = value;
        } else if (key == "Icon") {
            entry.icon = value;
        } else if (key == "Path") {
            entry.path = value;
        } else if (key == "Terminal") {
            entry.terminal = value == "true";
        }
    }
    if (!found) {
        return std::nullopt;
    }
    entry.name = !japanName.empty() ? japanName : !japaneseName.empty() ? japaneseName : plainName;
    return entry;
}

std::optional<DesktopEntry> readDesktopEntry(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad()) {
        return std::nullopt;
    }
    return parseDesktopEntry(text.str());
}

std::optional<std::vector<std::string>> desktopEntryCommand(const DesktopEntry& entry,
                                                            const std::string& entryPath) {
    if (entry.type != "Application") {
        return std::nullopt;
    }
    std::optional<std::vector<std::string>> split = splitExec(entry.exec);
    if (!split || split->empty()) {
        return std::nullopt;
    }
    std::vector<std::string> command;
    if (entry.terminal) {
        command = {"x-terminal-emulator", "-e"};
    }
    for (const std::string& argument : *split) {
        if (argument == "%i") {
            if (!entry.icon.empty()) {
                command.push_back("--icon");
                command.push_back(entry.icon);
            }
            continue;
        }
        std::string expanded;
        bool hadFileCode = false;
        for (std::size_t i = 0; i < argument.size(); ++i) {
            if (argument[i] != '%' || i + 1 == argument.size()) {
                expanded += argument[i];
                continue;
            }
            char code = argument[++i];
            switch (code) {
                case '%':
                    expanded += '%';
                    break;
                case 'c':
                    expanded += entry.name;
                    break;
                case 'k':
                    expanded += entryPath;
                    break;
                default:
                    // %f %F %u %U: no file to open; %d %D %n %N %v %m: deprecated, dropped.
                    hadFileCode = true;
            }
        }
        // An argument that was nothing but a file code goes away entirely.
        if (hadFileCode && expanded.empty()) {
            continue;
        }
        command.push_back(std::move(expanded));
    }
    if (command.empty() || (entry.terminal && command.size() == 2)) {
        return std::nullopt;
    }
    return command;
}

}  // namespace velkora
