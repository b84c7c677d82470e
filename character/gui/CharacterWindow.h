#pragma once

#include <QImage>
#include <QPoint>
#include <QRegion>
#include <QWidget>
#include <functional>
#include <list>
#include <memory>
#include <utility>

#include "character/AcsFile.h"

namespace velkora {

// The character on the desktop: a frameless window that stays on top, is not in the task bar
// and is shaped to the character's picture, so that clicks on its transparent pixels reach
// what lies below. A left drag moves it; a double-click and the right-click menu's "隠す" are
// handed to the callbacks.
class CharacterWindow final : public QWidget {
public:
    CharacterWindow();
    ~CharacterWindow() override;

    // The character whose frames are shown; sizes the window to it.
    void setCharacter(std::shared_ptr<const AcsFile> file);
    // Shows a frame of that character, with a mouth overlay or none.
    void showFrame(const AcsFrame& frame, const AcsOverlay* mouth);

    // The picture shown now (for tests and the screenshot).
    const QImage& picture() const { return picture_; }

    std::function<void()> onDoubleClick;
    std::function<void()> onHideChosen;
    // The window has been moved by the user (a drag) or by the program.
    std::function<void()> onMoved;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    struct Picture {
        QImage image;
        QRegion shape;
    };
    const Picture& composed(const AcsFrame& frame, const AcsOverlay* mouth);

    std::shared_ptr<const AcsFile> file_;
    QImage picture_;
    // Recently shown pictures with their shapes: an animation shows the same few again and
    // again, and composing and shaping each time would cost more than keeping them.
    std::list<std::pair<std::pair<const AcsFrame*, const AcsOverlay*>, Picture>> cache_;
    bool dragging_ = false;
    QPoint dragOffset_;
};

}  // namespace velkora
