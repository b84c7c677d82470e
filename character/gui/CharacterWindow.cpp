#include "character/gui/CharacterWindow.h"

#include <QBitmap>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

#include "character/FrameComposer.h"

namespace velkora {

namespace {

constexpr std::size_t kCachedPictures = 96;

}  // namespace

CharacterWindow::CharacterWindow()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::NoDropShadowWindowHint) {
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(QStringLiteral("Velkora"));
}

CharacterWindow::~CharacterWindow() = default;

void CharacterWindow::setCharacter(std::shared_ptr<const AcsFile> file) {
    cache_.clear();
    file_ = std::move(file);
    picture_ = QImage();
    if (file_) {
        setFixedSize(file_->info().width, file_->info().height);
        clearMask();
    }
}

const CharacterWindow::Picture& CharacterWindow::composed(const AcsFrame& frame,
                                                          const AcsOverlay* mouth) {
    const auto key = std::make_pair(&frame, mouth);
    for (auto it = cache_.begin(); it != cache_.end(); ++it) {
        if (it->first == key) {
            cache_.splice(cache_.begin(), cache_, it);
            return cache_.front().second;
        }
    }
    const ComposedFrame out = composeFrame(*file_, frame, mouth);
    Picture picture;
    picture.image = QImage(out.width, out.height, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < out.height; ++y) {
        auto* line = reinterpret_cast<uint32_t*>(picture.image.scanLine(y));
        std::copy_n(out.pixels.begin() + static_cast<std::ptrdiff_t>(y) * out.width, out.width,
                    line);
    }
    // Alpha is 0 or 255 only: the mask is exactly the opaque pixels.
    picture.shape = QRegion(QBitmap::fromImage(picture.image.createAlphaMask()));
    cache_.emplace_front(key, std::move(picture));
    if (cache_.size() > kCachedPictures) {
        cache_.pop_back();
    }
    return cache_.front().second;
}

void CharacterWindow::showFrame(const AcsFrame& frame, const AcsOverlay* mouth) {
    if (!file_) {
        return;
    }
    const Picture& picture = composed(frame, mouth);
    picture_ = picture.image;
    setMask(picture.shape);
    update();
}

void CharacterWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    if (!picture_.isNull()) {
        painter.drawImage(0, 0, picture_);
    }
}

void CharacterWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        dragging_ = true;
        dragOffset_ = event->globalPosition().toPoint() - pos();
    }
}

void CharacterWindow::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_ && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPosition().toPoint() - dragOffset_);
    }
}

void CharacterWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        dragging_ = false;
    }
}

void CharacterWindow::mouseDoubleClickEvent(QMouseEvent*) {
    dragging_ = false;
    if (onDoubleClick) {
        onDoubleClick();
    }
}

void CharacterWindow::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* hide = menu.addAction(QStringLiteral("隠す"));
    if (menu.exec(event->globalPos()) == hide && onHideChosen) {
        onHideChosen();
    }
}

void CharacterWindow::moveEvent(QMoveEvent*) {
    if (onMoved) {
        onMoved();
    }
}

}  // namespace velkora
