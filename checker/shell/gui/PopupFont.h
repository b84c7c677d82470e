#pragma once

#include <QFont>

namespace velkora {

// The popup's font, "ＭＳ Ｐゴシック" 9 pt, falling back to a Japanese font that the machine
// has, so kanji never show as boxes and take the Japanese glyph forms.
QFont popupFont();

}  // namespace velkora
