#include "checker/shell/gui/PopupFont.h"

#include <QStringList>

namespace velkora {

QFont popupFont() {
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                      QStringLiteral("Noto Sans CJK JP"), QStringLiteral("IPAPGothic"),
                      QStringLiteral("VL PGothic"), QStringLiteral("TakaoPGothic"),
                      QStringLiteral("Droid Sans Japanese"), QStringLiteral("sans-serif")});
    font.setPointSize(9);
    return font;
}

}  // namespace velkora
