#include "character/gui/BalloonWindow.h"

#include <QBitmap>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QTextLayout>
#include <algorithm>

namespace velkora {

namespace {

constexpr int kPadding = 8;
constexpr int kRadius = 10;
constexpr int kTail = 14;
constexpr int kMinLines = 1;
constexpr int kMaxLines = 8;

QColor toQColor(const AcsColor& c) {
    return QColor(c.red, c.green, c.blue);
}

}  // namespace

QString fallbackBalloonFamily(const QString& wanted) {
    const QStringList installed = QFontDatabase::families();
    if (!wanted.isEmpty() && installed.contains(wanted, Qt::CaseInsensitive)) {
        return wanted;
    }
    static const char* const preferred[] = {"Noto Sans CJK JP",  "Noto Sans JP", "IPAPGothic",
                                            "IPAGothic",         "TakaoPGothic", "VL PGothic",
                                            "Source Han Sans JP"};
    for (const char* family : preferred) {
        if (installed.contains(QString::fromUtf8(family), Qt::CaseInsensitive)) {
            return QString::fromUtf8(family);
        }
    }
    const QStringList japanese = QFontDatabase::families(QFontDatabase::Japanese);
    return japanese.isEmpty() ? QString() : japanese.front();
}

BalloonWindow::BalloonWindow()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowTransparentForInput | Qt::NoDropShadowWindowHint) {
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setBalloonFont(QString(), 9);
}

void BalloonWindow::setStyle(const AcsBalloonInfo* style) {
    if (style == nullptr) {
        return;
    }
    text_ = toQColor(style->text);
    background_ = toQColor(style->background);
    border_ = toQColor(style->border);
    lines_ = std::clamp<int>(style->lines, kMinLines, kMaxLines);
    charsPerLine_ = std::clamp<int>(style->charsPerLine, 12, 60);
}

void BalloonWindow::setBalloonFont(const QString& family, int pointSize) {
    QFont font(fallbackBalloonFamily(family));
    font.setPointSize(std::clamp(pointSize, 6, 72));
    font_ = font;
    if (isVisible()) {
        layOut();
    }
}

int BalloonWindow::textWidth() const {
    // A line holds charsPerLine characters of Latin text, or half as many Japanese ones.
    const QFontMetrics metrics(font_);
    return metrics.horizontalAdvance(QStringLiteral("あ")) * charsPerLine_ / 2;
}

int BalloonWindow::linesFor(const QString& text) const {
    QTextLayout layout(text, font_);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    int lines = 0;
    while (true) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) {
            break;
        }
        line.setLineWidth(textWidth());
        ++lines;
    }
    layout.endLayout();
    return std::max(1, lines);
}

QSize BalloonWindow::boxSize() const {
    const QFontMetrics metrics(font_);
    return QSize(textWidth() + 2 * kPadding, metrics.lineSpacing() * shownLines_ + 2 * kPadding);
}

void BalloonWindow::showText(const std::string& text, std::size_t visibleBytes,
                             const QRect& character) {
    full_ = QString::fromStdString(text);
    visible_ =
        QString::fromUtf8(text.data(), static_cast<qsizetype>(std::min(visibleBytes, text.size())));
    character_ = character;
    layOut();
    if (!isVisible()) {
        show();
    }
    update();
}

void BalloonWindow::follow(const QRect& character) {
    character_ = character;
    if (isVisible()) {
        place();
    }
}

void BalloonWindow::layOut() {
    // As tall as the whole text needs, up to the character's number of lines: the balloon
    // keeps its size while the words come.
    shownLines_ = std::min(lines_, linesFor(full_));
    const QSize box = boxSize();
    setFixedSize(box.width() + 1, box.height() + kTail + 1);
    place();
}

void BalloonWindow::place() {
    QScreen* screen = QGuiApplication::screenAt(character_.center());
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    const QRect area = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    // Above the head when it fits; below the feet otherwise.
    tailDown_ = character_.top() - height() >= area.top();
    int top = tailDown_ ? character_.top() - height() : character_.bottom() + 1;
    int left = character_.center().x() - width() / 3;
    left = std::clamp(left, area.left(), std::max(area.left(), area.right() - width()));
    top = std::clamp(top, area.top(), std::max(area.top(), area.bottom() - height()));
    tailX_ = std::clamp(character_.center().x() - left, kRadius + kTail, width() - kRadius - kTail);
    move(left, top);

    QBitmap shape(size());
    shape.fill(Qt::color0);
    QPainter painter(&shape);
    painter.setBrush(Qt::color1);
    painter.setPen(Qt::color1);
    painter.drawPath(outline());
    painter.end();
    setMask(shape);
}

QPainterPath BalloonWindow::outline() const {
    const QSize box = boxSize();
    const int boxTop = tailDown_ ? 0 : kTail;
    QPainterPath path;
    path.addRoundedRect(QRectF(0.5, boxTop + 0.5, box.width(), box.height()), kRadius, kRadius);
    QPainterPath tail;
    if (tailDown_) {
        const qreal base = boxTop + box.height() - 1;
        tail.moveTo(tailX_ - kTail / 2.0, base);
        tail.lineTo(tailX_ + 2, base + kTail);
        tail.lineTo(tailX_ + kTail / 2.0, base);
    } else {
        tail.moveTo(tailX_ - kTail / 2.0, boxTop + 1);
        tail.lineTo(tailX_ + 2, 0.5);
        tail.lineTo(tailX_ + kTail / 2.0, boxTop + 1);
    }
    tail.closeSubpath();
    return path.united(tail);
}

void BalloonWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(border_, 1));
    painter.setBrush(background_);
    painter.drawPath(outline());

    const QSize box = boxSize();
    const int boxTop = tailDown_ ? 0 : kTail;
    const QRect textArea(kPadding, boxTop + kPadding, box.width() - 2 * kPadding,
                         box.height() - 2 * kPadding);
    // Japanese has no spaces to wrap at: wrap anywhere when a word does not fit.
    QTextLayout layout(visible_, font_);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    qreal y = 0;
    const QFontMetrics metrics(font_);
    while (true) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) {
            break;
        }
        line.setLineWidth(textArea.width());
        line.setPosition(QPointF(0, y));
        y += metrics.lineSpacing();
    }
    layout.endLayout();
    // The newest words in view: scroll whole lines up once the text outgrows the balloon.
    const int shown = std::max(0, static_cast<int>(y / metrics.lineSpacing()) - shownLines_);
    painter.setPen(text_);
    painter.setClipRect(textArea);
    layout.draw(&painter, QPointF(textArea.left(), textArea.top() - shown * metrics.lineSpacing()));
}

}  // namespace velkora
