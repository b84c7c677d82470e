// The settings file as a person may have edited it: parsed, one key written, printed and read
// again. Writing a key never changes what another key reads, and what was printed prints the
// same again.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/IniDocument.h"

namespace {

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

// Every section and key the text may name, by a rough reading of its lines: more than the
// parser takes is harmless, as each is only compared before and after.
std::vector<std::pair<std::string, std::string>> namedKeys(std::string_view text) {
    std::vector<std::pair<std::string, std::string>> keys;
    std::vector<std::string> sections{"setting"};
    std::vector<std::string> names;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = trimmed(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.front() == '[' && line.find(']') != std::string_view::npos) {
            sections.emplace_back(trimmed(line.substr(1, line.rfind(']') - 1)));
        } else if (const std::size_t equals = line.find('='); equals != std::string_view::npos) {
            names.emplace_back(trimmed(line.substr(0, equals)));
        }
    }
    for (const auto& section : sections) {
        for (const auto& name : names) {
            keys.emplace_back(section, name);
        }
    }
    return keys;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const velkora::IniDocument before = velkora::IniDocument::parse(text);
    velkora::IniDocument edited = before;
    edited.set("setting", "Written", "value\r\nwith \"line\" ends\\");
    const std::string printed = edited.print();
    const velkora::IniDocument after = velkora::IniDocument::parse(printed);
    for (const auto& [section, key] : namedKeys(text)) {
        if (section == "setting" && key == "Written") {
            continue;
        }
        if (before.find(section, key) != after.find(section, key)) {
            std::abort();  // a write changed what another key reads
        }
    }
    if (after.find("setting", "Written") != "value\r\nwith \"line\" ends\\" ||
        after.print() != printed) {
        std::abort();
    }
    return 0;
}
