#pragma once

#include <string>
#include <string_view>

namespace velkora {

// The program's own data folder, where the shipped character files are: <folder of the
// running program>/../share/velkora when that exists (an installed program), otherwise the
// source tree's data/ (a program run from the build tree). Plays the part that the system
// folder plays for the default character file.
std::string programDataDirectory();

// The same choice for a given program path; the seam for tests.
std::string programDataDirectoryFor(std::string_view executablePath);

// Relative to the data folder: the default character file.
inline constexpr std::string_view kDefaultAgentFile = "/Msagent/chars/AngelMicha.acs";

// The default of "Agentnm": programDataDirectory() followed by kDefaultAgentFile.
std::string defaultAgentPath();

}  // namespace velkora
