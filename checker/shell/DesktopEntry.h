#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velkora {

// The parts of a desktop entry file (the freedesktop.org Desktop Entry format) that starting
// the application needs, read from its [Desktop Entry] group.
struct DesktopEntry {
    std::string type;  // "Application" for a program
    std::string name;  // the Japanese name when the file has one, else the plain Name
    std::string exec;  // the Exec line with its string escapes resolved
    std::string icon;
    std::string path;  // working folder, or empty
    bool terminal = false;
};

// True when the path names a desktop entry file (by its ".desktop" ending).
bool isDesktopEntryPath(std::string_view path);

// Reads a desktop entry file; nothing when it cannot be read or has no [Desktop Entry] group.
std::optional<DesktopEntry> readDesktopEntry(const std::string& path);
// The same for the file's text, for tests.
std::optional<DesktopEntry> parseDesktopEntry(std::string_view text);

// The command line as a desktop starts the application with no file to open: the Exec line
// split into arguments by its quoting rules, the file and URL codes dropped, %i, %c, %k and %%
// expanded; a terminal program runs inside x-terminal-emulator. Nothing when the entry is no
// application or its Exec line is empty or malformed (an open quote).
std::optional<std::vector<std::string>> desktopEntryCommand(const DesktopEntry& entry,
                                                            const std::string& entryPath);

}  // namespace velkora
