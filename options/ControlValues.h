#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velkora {

// Bar ranges of the tab "ｴｰｼﾞｪﾝﾄ詳細".
inline constexpr int kVolumeBarMinimum = -32768;
inline constexpr int kVolumeBarMaximum = 32767;
inline constexpr int kPitchBarMinimum = 50;
inline constexpr int kPitchBarMaximum = 250;

// "Volval" is the volume bar's position + 32768. A value the bar cannot show puts it at the
// nearest end.
int volumeBarPosition(int64_t volval);
// The text of `txt_Vol` for a bar position.
std::string volumeText(int barPosition);
// "Pitchval" on its bar, at the nearest end when outside the range.
int pitchBarPosition(int pitchval);

// The balloon font sizes offered, in order.
inline constexpr std::array<int, 16> kBalloonFontSizes = {8,  9,  10, 11, 12, 14, 16, 18,
                                                          20, 22, 24, 26, 28, 36, 48, 72};

// The font names offered for the balloon: the system's list without the vertical-writing
// variants, whose names begin with "@".
std::vector<std::string> balloonFontNames(const std::vector<std::string>& families);

// The position of the first entry equal to `wanted` (exact comparison), or nothing.
std::optional<std::size_t> firstIndexOf(const std::vector<std::string>& entries,
                                        const std::string& wanted);

// An action list: "Nothing", then the character's animation names in its own order.
std::vector<std::string> actionEntries(const std::vector<std::string>& animationNames);

// The connection list shows the entries from the last enumerated to the first, so that an
// index means the same entry as in the checker's dial-up menu.
std::vector<std::string> dialListEntries(const std::vector<std::string>& enumerated);

// The version box: "Velkora Ver.1.42".
std::string versionBoxText();

}  // namespace velkora
