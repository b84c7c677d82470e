#pragma once

#include <QColor>
#include <QFont>
#include <QPainterPath>
#include <QRect>
#include <QString>
#include <QWidget>

#include "character/AcsTypes.h"

namespace velkora {

// The character's word balloon: a rounded box with a tail pointing at the character, in the
// character file's colours, as wide as its characters per line and as tall as its lines.
// Longer text scrolls so that the newest words stay in view. Placed above the character, or
// below it where the screen has no room above, and always kept on the screen.
class BalloonWindow final : public QWidget {
public:
    BalloonWindow();

    // The file's style; a file without one gets the usual black on pale yellow.
    void setStyle(const AcsBalloonInfo* style);
    // The balloon font; when the family is not installed, a Japanese font that is.
    void setBalloonFont(const QString& family, int pointSize);
    const QFont& balloonFont() const { return font_; }

    // Lays the balloon out for all of `text` and shows its first `visibleBytes` bytes (UTF-8),
    // next to the character's box (global coordinates).
    void showText(const std::string& text, std::size_t visibleBytes, const QRect& character);
    // Moves along with the character.
    void follow(const QRect& character);

    const QString& visibleText() const { return visible_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void layOut();
    void place();
    QSize boxSize() const;
    int textWidth() const;
    // Lines that `text` takes at the balloon's width.
    int linesFor(const QString& text) const;
    QPainterPath outline() const;

    QColor text_{0, 0, 0};
    QColor background_{255, 255, 225};
    QColor border_{0, 0, 0};
    int lines_ = 2;
    int shownLines_ = 1;
    int charsPerLine_ = 28;
    QFont font_;
    QString full_;
    QString visible_;
    QRect character_;
    bool tailDown_ = true;
    int tailX_ = 0;
};

// The family to draw with for a wanted family: the family itself when installed, else a
// Japanese font that is (Noto Sans CJK JP, IPA, Takao, VL Gothic...), else Qt's default.
QString fallbackBalloonFamily(const QString& wanted);

}  // namespace velkora
