#pragma once

namespace velkora {

// The product's own name: the tray tip, the title of every message box, the version window.
inline constexpr const char* kProductName = "Velkora";
inline constexpr const char* kVersionText = "Ver.1.42";

// Settings of both programs live under this application and section.
inline constexpr const char* kSettingsApplication = "orvane";
inline constexpr const char* kSettingsSection = "setting";

// The folder of the shipped data files (character files, icons): beside an installed program
// under ../share/velkora, or the source tree's data/ when run from the build tree.
const char* buildDataDirectory();

}  // namespace velkora
