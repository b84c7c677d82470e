#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velkora {

// The text of the settings file: parsed, looked up, edited and printed again, without files.
//
// Form: lines `Key="value"` under `[section]` headers. Values are printed quoted; inside the
// quotes a backslash escapes \\ \" \n \r \t and \xHH (other control bytes), so every text
// reads back exactly. Keys are case-sensitive; a key with characters other than letters,
// digits, "_", "-" and "." is quoted the same way. Lines a person added by hand are kept as
// they were: comments (";" or "#"), other sections, and unquoted `key = value` entries (read
// with surrounding blanks trimmed). A UTF-8 byte order mark is skipped; CR LF line ends read
// like LF. Printing keeps the mark and the line ends of the lines read, so that a change of
// one key never changes what another key reads.
class IniDocument {
public:
    static IniDocument parse(std::string_view text);

    // The value of the key in the section; of a key given twice the last one counts, as in
    // most INI readers.
    std::optional<std::string> find(const std::string& section, const std::string& key) const;

    // Sets every occurrence of the key; a new key goes after the section's last entry (a new
    // section at the end). False when nothing changed.
    bool set(const std::string& section, const std::string& key, const std::string& value);

    // The whole text, LF line ends: lines read are printed as they were, entries set here in
    // the form above.
    std::string print() const;

private:
    struct Line {
        std::string raw;  // as read; empty for an entry set here
        bool entry = false;
        std::string key;
        std::string value;
        bool crLf = false;  // read with a CR LF line end
    };
    struct Section {
        bool hasHeader = false;
        std::string name;
        std::vector<Line> lines;
    };

    void addLine(std::string_view line);
    static void parseEntry(std::string_view body, Line& line);

    std::vector<Section> sections_{Section{}};  // the first: lines before any header
    bool byteOrderMark_ = false;                // the text began with a UTF-8 byte order mark
};

}  // namespace velkora
