#pragma once

#include <QScreen>

#include "options/AgentPreview.h"
#include "options/gui/OptionsDialog.h"

namespace velkora {

// The screen's size in pixels and its twips per pixel (1440 / logical DPI; 15 at 96 DPI).
PreviewScreen previewScreenOf(const QScreen* screen);

// The installed font families, in the font database's order.
std::vector<std::string> installedFontFamilies();

// Makes the application's font take kanji and kana from a Japanese font where one is
// installed, so they show in their Japanese forms whatever the locale.
void preferJapaneseGlyphs();

// The options program's services on this machine; the store and the devices are the
// caller's and outlive the dialog.
OptionsServices quorbleServices(SettingsStore& store, MessageBoxes& messageBoxes,
                                Choosers& choosers, AgentPreview& preview);

}  // namespace velkora
