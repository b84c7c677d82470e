#include "character/tools/angel/AngelArt.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QTransform>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>

namespace velkora::angel {

namespace {

// Shapes are drawn four times larger and then reduced by majority, which rounds their edges
// the way a pixel artist would; details (eyes, mouth, fine lines) are drawn at full size.
constexpr int kScale = 4;

// The parts, back to front. A part drawn over another gets a dark line where they meet.
enum Part : uint8_t {
    kNoPart = 0,
    kWingLeft,
    kWingRight,
    kHairBack,
    kFeet,
    kDressPart,
    kFace,
    kHairFront,
    kHaloPart,
    // Arms in front of the head: a raised hand waves beside the face, not behind the hair.
    kArmLeft,
    kSleeveLeft,
    kArmRight,
    kSleeveRight,
    kBook,
    kHandLeft,
    kHandRight,
    kEffect,
    kSparks,
};

QRgb code(Ink ink, Part part) {
    return qRgba(ink, part, 0, 255);
}

constexpr float kPi = std::numbers::pi_v<float>;

QPointF polar(float degrees, float length) {
    const float r = degrees * kPi / 180.0f;
    return QPointF(std::sin(r) * length, std::cos(r) * length);
}

// A pixel-art sprite: one character per pixel, '.' leaves the pixel alone.
struct Sprite {
    std::vector<const char*> rows;
};

Ink inkOf(char c) {
    switch (c) {
        case 'o':
            return kOutline;
        case 'D':
            return kEyeDark;
        case 'I':
            return kIris;
        case 'L':
            return kIrisLight;
        case 'W':
            return kWhite;
        case 'S':
            return kSkin;
        case 's':
            return kSkinShade;
        case 'M':
            return kMouth;
        case 'm':
            return kMouthDeep;
        case 'T':
            return kTongue;
        case 'C':
            return kCheek;
        case 'H':
            return kHairShade;
        default:
            return kClear;
    }
}

class Canvas {
public:
    Canvas()
        : big_(kWidth * kScale, kHeight * kScale, QImage::Format_ARGB32),
          detail_(kWidth, kHeight, QImage::Format_ARGB32) {
        big_.fill(Qt::transparent);
        detail_.fill(Qt::transparent);
    }

    // Shapes, in 128 × 160 coordinates.
    void fill(const QPainterPath& path, Ink ink, Part part) {
        QPainter p(&big_);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.scale(kScale, kScale);
        p.fillPath(path, QColor::fromRgba(code(ink, part)));
    }

    // Details at full size, drawn over the reduced shapes; they keep the part beneath them.
    // A detail marks only pixels of its own part (of any part when given kNoPart), so what
    // lies in front of that part hides it.
    void line(QPointF a, QPointF b, Ink ink, Part on = kNoPart) {
        QPainter p(&detail_);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(QPen(QColor::fromRgba(code(ink, on)), 1));
        p.drawLine(a, b);
    }
    void dot(int x, int y, Ink ink, Part on = kNoPart) {
        if (x >= 0 && y >= 0 && x < kWidth && y < kHeight) {
            detail_.setPixel(x, y, code(ink, on));
        }
    }
    // A sprite with its top-left corner at (x, y).
    void sprite(const Sprite& s, int x, int y, Part on = kNoPart) {
        for (std::size_t row = 0; row < s.rows.size(); ++row) {
            for (int col = 0; s.rows[row][col] != '\0'; ++col) {
                const Ink ink = inkOf(s.rows[row][col]);
                if (ink != kClear) {
                    dot(x + col, y + static_cast<int>(row), ink, on);
                }
            }
        }
    }
    AcsImage finish() const;

private:
    QImage big_;
    QImage detail_;
};

bool linedBetween(Part back, Part front) {
    if (back == kNoPart || front == kNoPart) {
        return false;
    }
    // A hand on its own arm joins without a seam.
    if ((back == kArmLeft && front == kHandLeft) || (back == kArmRight && front == kHandRight)) {
        return false;
    }
    return true;
}

AcsImage Canvas::finish() const {
    std::vector<uint8_t> ink(kWidth * kHeight, kClear);
    std::vector<uint8_t> part(kWidth * kHeight, kNoPart);
    // Majority of each 4 × 4 block; ties go to the part in front, so thin shapes survive.
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            std::array<std::pair<QRgb, int>, 16> counts{};
            int kinds = 0;
            int clear = 0;
            for (int dy = 0; dy < kScale; ++dy) {
                const auto* line =
                    reinterpret_cast<const QRgb*>(big_.constScanLine(y * kScale + dy));
                for (int dx = 0; dx < kScale; ++dx) {
                    const QRgb c = line[x * kScale + dx];
                    if (qAlpha(c) == 0) {
                        ++clear;
                        continue;
                    }
                    int k = 0;
                    while (k < kinds && counts[k].first != c) {
                        ++k;
                    }
                    if (k == kinds) {
                        counts[kinds++] = {c, 0};
                    }
                    ++counts[k].second;
                }
            }
            if (clear > 8) {
                continue;
            }
            QRgb best = counts[0].first;
            int bestCount = counts[0].second;
            for (int k = 1; k < kinds; ++k) {
                if (counts[k].second > bestCount ||
                    (counts[k].second == bestCount && qGreen(counts[k].first) > qGreen(best))) {
                    best = counts[k].first;
                    bestCount = counts[k].second;
                }
            }
            ink[y * kWidth + x] = static_cast<uint8_t>(qRed(best));
            part[y * kWidth + x] = static_cast<uint8_t>(qGreen(best));
        }
    }
    // Details over the shapes.
    for (int y = 0; y < kHeight; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(detail_.constScanLine(y));
        for (int x = 0; x < kWidth; ++x) {
            const auto on = static_cast<uint8_t>(qGreen(line[x]));
            if (qAlpha(line[x]) == 0 || (on != kNoPart && part[y * kWidth + x] != on)) {
                continue;
            }
            ink[y * kWidth + x] = static_cast<uint8_t>(qRed(line[x]));
            if (part[y * kWidth + x] == kNoPart) {
                part[y * kWidth + x] = kEffect;
            }
        }
    }
    // Lines where a part lies over another, on the pixels of the one behind.
    std::vector<uint8_t> out = ink;
    const auto at = [&](int x, int y) -> int {
        return x < 0 || y < 0 || x >= kWidth || y >= kHeight ? -1 : y * kWidth + x;
    };
    const std::array<std::pair<int, int>, 4> around = {{{1, 0}, {-1, 0}, {0, 1}, {0, -1}}};
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const int i = at(x, y);
            if (ink[i] == kClear) {
                continue;
            }
            for (auto [dx, dy] : around) {
                const int j = at(x + dx, y + dy);
                if (j >= 0 && ink[j] != kClear && part[j] > part[i] &&
                    linedBetween(static_cast<Part>(part[i]), static_cast<Part>(part[j]))) {
                    out[i] = kOutline;
                    break;
                }
            }
        }
    }
    // A dark rim one pixel outside the figure: no light fringe on any desktop.
    std::vector<uint8_t> rimmed = out;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const int i = at(x, y);
            if (out[i] != kClear) {
                continue;
            }
            for (auto [dx, dy] : around) {
                const int j = at(x + dx, y + dy);
                if (j >= 0 && out[j] != kClear) {
                    rimmed[i] = kOutline;
                    break;
                }
            }
        }
    }
    return AcsImage{kWidth, kHeight, std::move(rimmed)};
}

// --- The figure ---------------------------------------------------------------------------

// Where things are when she stands at rest.
constexpr float kCentreX = 64;
constexpr float kNeckY = 86;
constexpr float kHeadY = 56;  // centre of the face
constexpr float kHemY = 140;

struct Frame {
    const Pose& pose;
    Canvas& canvas;
    QTransform body;  // figure offset
    QTransform head;  // body + head tilt around the neck
};

QPainterPath ellipse(QPointF c, qreal rx, qreal ry) {
    QPainterPath p;
    p.addEllipse(c, rx, ry);
    return p;
}

void drawWing(Frame& f, bool left) {
    const Pose& pose = f.pose;
    // Local wing: pivot at the shoulder blade, +x outward, flap rotates about the pivot.
    QPainterPath outer;
    outer.moveTo(0, -4);
    outer.cubicTo(8, -20, 26, -32, 46, -34);
    outer.cubicTo(54, -34, 57, -26, 53, -18);
    // Feathers along the lower edge, from the tip back to the root.
    const std::array<QPointF, 6> tips = {QPointF(53, -18), QPointF(50, -6), QPointF(42, 4),
                                         QPointF(32, 11),  QPointF(20, 15), QPointF(6, 12)};
    for (std::size_t i = 1; i < tips.size(); ++i) {
        const QPointF a = tips[i - 1];
        const QPointF b = tips[i];
        const QPointF mid = (a + b) / 2;
        const QPointF bulge(mid.x() + (b.y() - a.y()) * 0.45, mid.y() + (a.x() - b.x()) * 0.45);
        outer.quadTo(bulge, b);
    }
    outer.quadTo(QPointF(0, 10), QPointF(0, -4));
    outer.closeSubpath();

    QPainterPath inner;
    inner.moveTo(2, -2);
    inner.cubicTo(10, -14, 22, -22, 36, -24);
    inner.cubicTo(40, -18, 36, -8, 30, -2);
    inner.quadTo(20, 6, 8, 6);
    inner.quadTo(2, 6, 2, -2);
    inner.closeSubpath();
    QPainterPath root = ellipse(QPointF(5, 0), 6, 5);

    QTransform local;
    const float side = left ? -1.0f : 1.0f;
    local.translate(kCentreX + side * 9, 97 + pose.squash);
    local.scale(side, 1);
    local.rotate(-pose.wings);
    const QTransform t = local * f.body;
    const Part part = left ? kWingLeft : kWingRight;
    f.canvas.fill(t.map(outer), kWing, part);
    f.canvas.fill(t.map(inner), kWingShade, part);
    f.canvas.fill(t.map(root), kWingDeep, part);
    // Feather lines.
    const std::array<std::pair<QPointF, QPointF>, 4> quills = {{{QPointF(14, -4), QPointF(44, -26)},
                                                                {QPointF(12, 2), QPointF(44, -4)},
                                                                {QPointF(10, 6), QPointF(32, 8)},
                                                                {QPointF(8, 8), QPointF(19, 12)}}};
    for (auto [a, b] : quills) {
        f.canvas.line(t.map(a), t.map(b), kWingDeep, part);
    }
}

void drawHairBack(Frame& f) {
    QPainterPath hair;
    hair.addEllipse(QPointF(kCentreX, kHeadY - 3), 33, 31);
    // Side locks falling to the shoulders.
    QPainterPath locks;
    locks.moveTo(kCentreX - 33, kHeadY - 4);
    locks.cubicTo(kCentreX - 36, kHeadY + 14, kCentreX - 32, kHeadY + 26, kCentreX - 24,
                  kHeadY + 30);
    locks.lineTo(kCentreX + 24, kHeadY + 30);
    locks.cubicTo(kCentreX + 32, kHeadY + 26, kCentreX + 36, kHeadY + 14, kCentreX + 33,
                  kHeadY - 4);
    locks.closeSubpath();
    QPainterPath shade;
    shade.addEllipse(QPointF(kCentreX, kHeadY + 20), 30, 12);
    f.canvas.fill(f.head.map(hair.united(locks)), kHair, kHairBack);
    f.canvas.fill(f.head.map(shade.intersected(hair.united(locks))), kHairShade, kHairBack);
}

void drawFeet(Frame& f) {
    for (float side : {-1.0f, 1.0f}) {
        QPainterPath foot = ellipse(QPointF(kCentreX + side * 7, kHemY + 5), 5, 3.5);
        f.canvas.fill(f.body.map(foot), kSkin, kFeet);
    }
}

void drawDress(Frame& f) {
    const float top = kNeckY + f.pose.squash;
    QPainterPath dress;
    dress.moveTo(kCentreX - 9, top);
    dress.lineTo(kCentreX + 9, top);
    dress.cubicTo(kCentreX + 16, top + 2, kCentreX + 19, top + 8, kCentreX + 20, top + 16);
    dress.cubicTo(kCentreX + 24, top + 30, kCentreX + 30, kHemY - 14, kCentreX + 31, kHemY);
    // A wavy hem.
    const int waves = 5;
    for (int i = 0; i < waves; ++i) {
        const float x0 = kCentreX + 31 - 62.0f * static_cast<float>(i) / waves;
        const float x1 = kCentreX + 31 - 62.0f * static_cast<float>(i + 1) / waves;
        dress.quadTo((x0 + x1) / 2, kHemY + 5, x1, kHemY);
    }
    dress.cubicTo(kCentreX - 30, kHemY - 14, kCentreX - 24, top + 30, kCentreX - 20, top + 16);
    dress.cubicTo(kCentreX - 19, top + 8, kCentreX - 16, top + 2, kCentreX - 9, top);
    dress.closeSubpath();
    f.canvas.fill(f.body.map(dress), kDress, kDressPart);
    // Shade down her right side (our left) and along the hem.
    QPainterPath shade;
    shade.moveTo(kCentreX - 20, top + 16);
    shade.cubicTo(kCentreX - 24, top + 30, kCentreX - 30, kHemY - 14, kCentreX - 31, kHemY + 2);
    shade.lineTo(kCentreX - 16, kHemY + 4);
    shade.cubicTo(kCentreX - 18, kHemY - 16, kCentreX - 16, top + 30, kCentreX - 13, top + 16);
    shade.closeSubpath();
    QPainterPath hemShade;
    hemShade.addRect(QRectF(kCentreX - 32, kHemY - 4, 64, 10));
    f.canvas.fill(f.body.map(shade.united(hemShade).intersected(dress)), kDressShade, kDressPart);
    // A ribbon sash at the waist.
    QPainterPath sash;
    sash.addRect(QRectF(kCentreX - 24, top + 20, 48, 5));
    f.canvas.fill(f.body.map(sash.intersected(dress)), kRibbon, kDressPart);
    // A bow at the collar.
    QPainterPath bow;
    bow.moveTo(kCentreX, top + 3);
    bow.cubicTo(kCentreX - 5, top - 2, kCentreX - 10, top + 1, kCentreX - 9, top + 5);
    bow.cubicTo(kCentreX - 8, top + 9, kCentreX - 4, top + 8, kCentreX, top + 4);
    bow.cubicTo(kCentreX + 4, top + 8, kCentreX + 8, top + 9, kCentreX + 9, top + 5);
    bow.cubicTo(kCentreX + 10, top + 1, kCentreX + 5, top - 2, kCentreX, top + 3);
    bow.closeSubpath();
    f.canvas.fill(f.body.map(bow), kRibbon, kDressPart);
    f.canvas.fill(f.body.map(ellipse(QPointF(kCentreX, top + 4), 2.2, 2.2)), kRibbonShade,
                  kDressPart);
    // The hem's frill line and the sash's edges as fine lines.
    const QTransform& t = f.body;
    f.canvas.line(t.map(QPointF(kCentreX - 18, top + 20)), t.map(QPointF(kCentreX + 18, top + 20)),
                  kRibbonShade, kDressPart);
}

struct ArmPoints {
    QPointF shoulder;
    QPointF elbow;
    QPointF wrist;
    float forearmAngle = 0;
};

ArmPoints armPoints(const Pose& pose, bool left) {
    const Arm& arm = left ? pose.left : pose.right;
    const float side = left ? -1.0f : 1.0f;
    ArmPoints p;
    p.shoulder = QPointF(kCentreX + side * 15, 94 + pose.squash);
    QPointF upper = polar(arm.shoulder, 13);
    QPointF fore = polar(arm.shoulder + arm.elbow, 12);
    upper.setX(upper.x() * side);
    fore.setX(fore.x() * side);
    p.elbow = p.shoulder + upper;
    p.wrist = p.elbow + fore;
    p.forearmAngle = arm.shoulder + arm.elbow;
    return p;
}

void drawArm(Frame& f, bool left) {
    const ArmPoints a = armPoints(f.pose, left);
    QPainterPath bone;
    bone.moveTo(a.shoulder);
    bone.lineTo(a.elbow);
    bone.lineTo(a.wrist);
    QPainterPathStroker stroker;
    stroker.setWidth(5.5);
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    f.canvas.fill(f.body.map(stroker.createStroke(bone)), kSkin, left ? kArmLeft : kArmRight);
    // A puffed sleeve over the upper arm.
    const Arm& arm = left ? f.pose.left : f.pose.right;
    QTransform sleeveT;
    const QPointF mid = a.shoulder + (a.elbow - a.shoulder) * 0.35;
    sleeveT.translate(mid.x(), mid.y());
    sleeveT.rotate(left ? arm.shoulder : -arm.shoulder);
    QPainterPath sleeve = ellipse(QPointF(0, 0), 6.5, 6.5);
    f.canvas.fill((sleeveT * f.body).map(sleeve), kDress, left ? kSleeveLeft : kSleeveRight);
    QPainterPath cuff = ellipse(QPointF(0, 3.5), 6.5, 3);
    f.canvas.fill((sleeveT * f.body).map(cuff.intersected(sleeve)), kDressShade,
                  left ? kSleeveLeft : kSleeveRight);
}

void drawHand(Frame& f, bool left) {
    const ArmPoints a = armPoints(f.pose, left);
    const Arm& arm = left ? f.pose.left : f.pose.right;
    const float side = left ? -1.0f : 1.0f;
    QPointF dir = polar(a.forearmAngle, 1);
    dir.setX(dir.x() * side);
    const QPointF centre = a.wrist + dir * 2.5;
    QPainterPath hand;
    switch (arm.hand) {
        case Hand::Open:
        case Hand::Fist:
            hand = ellipse(centre, 4, 4);
            break;
        case Hand::Palm: {
            hand = ellipse(centre, 4.5, 4.5);
            QPainterPath thumb = ellipse(centre + QPointF(-side * 3.5, -1.5), 2, 2);
            hand = hand.united(thumb);
            break;
        }
        case Hand::Point: {
            hand = ellipse(centre, 3.8, 3.8);
            QPainterPath finger;
            finger.addEllipse(centre + dir * 5, 1.8, 1.8);
            QPainterPathStroker stroker;
            stroker.setWidth(3);
            stroker.setCapStyle(Qt::RoundCap);
            QPainterPath bone;
            bone.moveTo(centre);
            bone.lineTo(centre + dir * 6);
            hand = hand.united(stroker.createStroke(bone));
            break;
        }
    }
    f.canvas.fill(f.body.map(hand), kSkin, left ? kHandLeft : kHandRight);
    if (arm.hand == Hand::Open || arm.hand == Hand::Palm) {
        // Finger lines.
        const QPointF tip = centre + dir * 3.5;
        const QPointF across(dir.y(), -dir.x());
        const Part part = left ? kHandLeft : kHandRight;
        f.canvas.line(f.body.map(tip + across * 1.2 - dir * 1.5), f.body.map(tip + across * 1.2),
                      kSkinShade, part);
        f.canvas.line(f.body.map(tip - across * 1.2 - dir * 1.5), f.body.map(tip - across * 1.2),
                      kSkinShade, part);
    }
}

void drawFace(Frame& f) {
    QPainterPath face;
    face.moveTo(kCentreX - 27, kHeadY - 2);
    face.cubicTo(kCentreX - 27, kHeadY - 28, kCentreX + 27, kHeadY - 28, kCentreX + 27, kHeadY - 2);
    face.cubicTo(kCentreX + 27, kHeadY + 16, kCentreX + 14, kHeadY + 26, kCentreX, kHeadY + 26);
    face.cubicTo(kCentreX - 14, kHeadY + 26, kCentreX - 27, kHeadY + 16, kCentreX - 27, kHeadY - 2);
    face.closeSubpath();
    f.canvas.fill(f.head.map(face), kSkin, kFace);
    // Shade under the fringe.
    QPainterPath fringeShade;
    fringeShade.addRect(QRectF(kCentreX - 27, kHeadY - 14, 54, 4));
    f.canvas.fill(f.head.map(fringeShade.intersected(face)), kSkinShade, kFace);
    if (f.pose.blush > 0.1f) {
        const qreal w = 4 + 2 * f.pose.blush;
        for (float side : {-1.0f, 1.0f}) {
            f.canvas.fill(f.head.map(ellipse(QPointF(kCentreX + side * 17, kHeadY + 10), w, 2.5)),
                          kCheek, kFace);
        }
    }
}

void drawHairFront(Frame& f) {
    QPainterPath bangs;
    bangs.moveTo(kCentreX - 31, kHeadY + 8);
    bangs.cubicTo(kCentreX - 34, kHeadY - 18, kCentreX - 20, kHeadY - 33, kCentreX, kHeadY - 33);
    bangs.cubicTo(kCentreX + 20, kHeadY - 33, kCentreX + 34, kHeadY - 18, kCentreX + 31,
                  kHeadY + 8);
    // The fringe's points, right to left.
    const std::array<QPointF, 9> points = {
        QPointF(kCentreX + 26, kHeadY - 8), QPointF(kCentreX + 22, kHeadY - 14),
        QPointF(kCentreX + 16, kHeadY - 8), QPointF(kCentreX + 9, kHeadY - 16),
        QPointF(kCentreX + 2, kHeadY - 9),  QPointF(kCentreX - 5, kHeadY - 16),
        QPointF(kCentreX - 12, kHeadY - 8), QPointF(kCentreX - 19, kHeadY - 15),
        QPointF(kCentreX - 25, kHeadY - 7)};
    bangs.quadTo(kCentreX + 29, kHeadY - 2, points[0].x(), points[0].y());
    for (std::size_t i = 1; i < points.size(); ++i) {
        const QPointF a = points[i - 1];
        const QPointF b = points[i];
        bangs.quadTo((a.x() + b.x()) / 2, std::min(a.y(), b.y()) - 2, b.x(), b.y());
    }
    bangs.quadTo(kCentreX - 29, kHeadY - 2, kCentreX - 31, kHeadY + 8);
    bangs.closeSubpath();
    f.canvas.fill(f.head.map(bangs), kHair, kHairFront);
    // The shine across the crown.
    QPainterPath shine;
    shine.addEllipse(QPointF(kCentreX - 2, kHeadY - 22), 20, 4.5);
    QPainterPath inner;
    inner.addEllipse(QPointF(kCentreX - 2, kHeadY - 21), 17, 2.5);
    f.canvas.fill(f.head.map(shine.subtracted(inner).intersected(bangs)), kHairLight, kHairFront);
    QPainterPath shade;
    shade.addRect(QRectF(kCentreX - 34, kHeadY - 14, 68, 8));
    f.canvas.fill(f.head.map(shade.intersected(bangs)), kHairShade, kHairFront);
    // Strands.
    f.canvas.line(f.head.map(QPointF(kCentreX - 4, kHeadY - 30)),
                  f.head.map(QPointF(kCentreX - 8, kHeadY - 18)), kHairShade, kHairFront);
    f.canvas.line(f.head.map(QPointF(kCentreX + 10, kHeadY - 29)),
                  f.head.map(QPointF(kCentreX + 14, kHeadY - 17)), kHairShade, kHairFront);
}

void drawHalo(Frame& f) {
    const QPointF c(kCentreX, kHeadY - 41 + f.pose.haloDy);
    QPainterPath ring = ellipse(c, 19, 5.5).subtracted(ellipse(c + QPointF(0, -0.5), 14.5, 2.8));
    QPainterPath lower;
    lower.addRect(QRectF(c.x() - 20, c.y() + 1.5, 40, 6));
    f.canvas.fill(f.head.map(ring), kHalo, kHaloPart);
    f.canvas.fill(f.head.map(ring.intersected(lower)), kHaloShade, kHaloPart);
}

// --- Eyes and mouth, as small pictures -----------------------------------------------------

const Sprite kEyeOpen{{"..ooooo..", ".oDDDDDo.", "oDDIIIDDo", "oDIIIIIDo", "oDIIIIIDo", "oDIIIIIDo",
                       "oDILLLIDo", "oDILLLIDo", ".oDLLLDo.", "..ooooo.."}};
const Sprite kEyeWide{{"..ooooo..", ".oWWWWWo.", "oWWWWWWWo", "oWWIIIWWo", "oWWIDIWWo", "oWWIIIWWo",
                       "oWWWWWWWo", ".oWWWWWo.", "..ooooo.."}};
const Sprite kEyeHalf{{".........", ".........", ".........", ".ooooooo.", "oDDDDDDDo", "oDIIIIIDo",
                       "oDILLLIDo", ".oDLLLDo.", "..ooooo.."}};
const Sprite kEyeDown{{".........", ".........", ".........", ".........", ".ooooooo.", "oDDDDDDDo",
                       "oDIIIIIDo", ".oDLLLDo.", "..ooooo.."}};
const Sprite kEyeClosed{{"o.......o", ".oo...oo.", "...ooo..."}};
const Sprite kEyeHappy{{"...ooo...", ".oo...oo.", "o.......o"}};

void drawEye(Frame& f, bool left) {
    const Pose& pose = f.pose;
    const float side = left ? -1.0f : 1.0f;
    const QPointF centre = f.head.map(QPointF(kCentreX + side * 12, kHeadY + 1));
    const int cx = static_cast<int>(std::lround(centre.x()));
    const int cy = static_cast<int>(std::lround(centre.y()));
    const int lx = static_cast<int>(std::lround(pose.lookX));
    const int ly = static_cast<int>(std::lround(pose.lookY));
    Canvas& c = f.canvas;
    switch (pose.eyes) {
        case Eyes::Open:
            c.sprite(kEyeOpen, cx - 4, cy - 5, kFace);
            // Pupil and shine, moved by the gaze.
            c.dot(cx + lx, cy - 1 + ly, kEyeDark, kFace);
            c.dot(cx + lx, cy + ly, kEyeDark, kFace);
            c.dot(cx - 1 + lx, cy + ly, kEyeDark, kFace);
            c.dot(cx + 1 + lx, cy + ly, kEyeDark, kFace);
            c.dot(cx + lx, cy + 1 + ly, kEyeDark, kFace);
            c.dot(cx - 2 + lx, cy - 2 + ly, kWhite, kFace);
            c.dot(cx - 1 + lx, cy - 2 + ly, kWhite, kFace);
            c.dot(cx - 2 + lx, cy - 1 + ly, kWhite, kFace);
            c.dot(cx + 2 + lx, cy + 2 + ly, kWhite, kFace);
            break;
        case Eyes::Wide:
            c.sprite(kEyeWide, cx - 4, cy - 5, kFace);
            c.dot(cx + lx + 1, cy - 2, kWhite, kFace);
            break;
        case Eyes::Half:
            c.sprite(kEyeHalf, cx - 4, cy - 5, kFace);
            c.dot(cx + lx, cy + 1 + ly, kEyeDark, kFace);
            c.dot(cx + lx - 1, cy + 1 + ly, kEyeDark, kFace);
            c.dot(cx - 2 + lx, cy + ly, kWhite, kFace);
            break;
        case Eyes::Down:
            c.sprite(kEyeDown, cx - 4, cy - 5, kFace);
            c.dot(cx + lx, cy + 2, kEyeDark, kFace);
            c.dot(cx + lx + 1, cy + 2, kEyeDark, kFace);
            break;
        case Eyes::Closed:
            c.sprite(kEyeClosed, cx - 4, cy + 1, kFace);
            break;
        case Eyes::Happy:
            c.sprite(kEyeHappy, cx - 4, cy - 1, kFace);
            break;
    }
    // Brows, seen through the fringe.
    const int by = cy - 10 - (pose.brows == Brows::Raised ? 2 : 0);
    int inner = 0;
    int outer = 0;
    if (pose.brows == Brows::Worried) {
        inner = -1;
        outer = 1;
    } else if (pose.brows == Brows::Focused) {
        inner = 1;
        outer = -1;
    }
    const int s = static_cast<int>(side);
    c.line(QPointF(cx - s * 2, by + inner), QPointF(cx + s * 2, by + outer), kHairShade);
}

const Sprite kMouthSmile{{"o....o", ".oooo."}};
const Sprite kMouthLine{{"oooo"}};
const Sprite kMouthSmallO{{".oo.", "omMo", ".oo."}};
const Sprite kMouthOpen{{"oooooo", "oMmmMo", ".oTTo.", "..oo.."}};
const Sprite kMouthBigO{{".ooo.", "oMmMo", "ommmo", "oMTMo", ".ooo."}};
const Sprite kMouthYawn{{".oooo.", "oMmmMo", "ommmmo", "ommmmo", "oMTTMo", ".oooo."}};
const Sprite kMouthCat{{"o..o..o", ".oo.oo."}};
const Sprite kMouthFrown{{".oooo.", "o....o"}};
const Sprite kSpeakClosed{{".o..o.", "..oo.."}};
const Sprite kSpeakNarrow{{".oo.", "omMo", ".oo."}};
const Sprite kSpeakMedium{{".ooo.", "oMmMo", "oMTMo", ".ooo."}};
const Sprite kSpeakWide1{{"oooooo", "oMmmMo", ".oooo."}};
const Sprite kSpeakWide2{{"oooooo", "oMmmMo", "oMTTMo", ".oooo."}};
const Sprite kSpeakWide3{{"ooooooo", "oMmmmMo", "omTTTmo", ".oTTTo.", "..ooo.."}};
const Sprite kSpeakWide4{{"ooooooo", "oMmmmMo", "ommmmmo", "omTTTmo", ".oTTTo.", "..ooo.."}};

void drawMouth(Frame& f) {
    const QPointF centre = f.head.map(QPointF(kCentreX, kHeadY + 16));
    const Sprite* sprite = &kMouthSmile;
    switch (f.pose.mouth) {
        case Mouth::Smile:
            sprite = &kMouthSmile;
            break;
        case Mouth::Line:
            sprite = &kMouthLine;
            break;
        case Mouth::SmallO:
            sprite = &kMouthSmallO;
            break;
        case Mouth::Open:
            sprite = &kMouthOpen;
            break;
        case Mouth::BigO:
            sprite = &kMouthBigO;
            break;
        case Mouth::Yawn:
            sprite = &kMouthYawn;
            break;
        case Mouth::Cat:
            sprite = &kMouthCat;
            break;
        case Mouth::Frown:
            sprite = &kMouthFrown;
            break;
        case Mouth::SpeakClosed:
            sprite = &kSpeakClosed;
            break;
        case Mouth::SpeakNarrow:
            sprite = &kSpeakNarrow;
            break;
        case Mouth::SpeakMedium:
            sprite = &kSpeakMedium;
            break;
        case Mouth::SpeakWide1:
            sprite = &kSpeakWide1;
            break;
        case Mouth::SpeakWide2:
            sprite = &kSpeakWide2;
            break;
        case Mouth::SpeakWide3:
            sprite = &kSpeakWide3;
            break;
        case Mouth::SpeakWide4:
            sprite = &kSpeakWide4;
            break;
    }
    // The top row of every mouth sits on the same line, so shapes change in place.
    const int w = static_cast<int>(std::strlen(sprite->rows[0]));
    f.canvas.sprite(*sprite, static_cast<int>(std::lround(centre.x() - w / 2.0)),
                    static_cast<int>(std::lround(centre.y())) - 1, kFace);
}

// --- Props and effects ----------------------------------------------------------------------

void drawBook(Frame& f) {
    const Pose& pose = f.pose;
    const QPointF c(kCentreX, 110 + pose.squash);
    const qreal half = 4 + 13 * pose.bookOpen;
    QPainterPath cover;
    cover.addRoundedRect(QRectF(c.x() - half - 2, c.y() - 11, 2 * half + 4, 22), 2, 2);
    f.canvas.fill(f.body.map(cover), kBookCover, kBook);
    QPainterPath spine;
    spine.addRect(QRectF(c.x() - 2, c.y() - 11, 4, 22));
    f.canvas.fill(f.body.map(spine), kBookCoverShade, kBook);
    if (pose.bookOpen > 0.3f) {
        for (float side : {-1.0f, 1.0f}) {
            QPainterPath page;
            page.moveTo(c.x(), c.y() - 8);
            page.quadTo(c.x() + side * half * 0.5, c.y() - 11, c.x() + side * half, c.y() - 9);
            page.lineTo(c.x() + side * half, c.y() + 9);
            page.quadTo(c.x() + side * half * 0.5, c.y() + 7, c.x(), c.y() + 9);
            page.closeSubpath();
            f.canvas.fill(f.body.map(page), kPage, kBook);
            for (int row = 0; row < 4; ++row) {
                const qreal y = c.y() - 5 + row * 4;
                f.canvas.line(f.body.map(QPointF(c.x() + side * 3, y)),
                              f.body.map(QPointF(c.x() + side * (half - 3), y)), kPageLine, kBook);
            }
        }
        if (pose.page > 0 && pose.page < 1) {
            // A page turning over the spine.
            const qreal x = c.x() + half * std::cos(pose.page * kPi);
            QPainterPath turning;
            turning.moveTo(c.x(), c.y() - 8);
            turning.lineTo(x, c.y() - 10 - 3 * std::sin(pose.page * kPi));
            turning.lineTo(x, c.y() + 8 - 3 * std::sin(pose.page * kPi));
            turning.lineTo(c.x(), c.y() + 9);
            turning.closeSubpath();
            f.canvas.fill(f.body.map(turning), kPage, kHandLeft);
        }
    } else {
        QPainterPath star;
        const QPointF s = c + QPointF(0, 0);
        for (int i = 0; i < 10; ++i) {
            const qreal r = i % 2 == 0 ? 4.5 : 2;
            const QPointF p = s + QPointF(r * std::sin(i * M_PI / 5), -r * std::cos(i * M_PI / 5));
            i == 0 ? star.moveTo(p) : star.lineTo(p);
        }
        star.closeSubpath();
        f.canvas.fill(f.body.map(star), kSpark, kBook);
    }
}

QPainterPath sparkle(QPointF c, qreal size) {
    QPainterPath star;
    for (int i = 0; i < 8; ++i) {
        const qreal r = i % 2 == 0 ? size : size * 0.28;
        const qreal a = i * M_PI / 4;
        const QPointF p = c + QPointF(r * std::sin(a), -r * std::cos(a));
        i == 0 ? star.moveTo(p) : star.lineTo(p);
    }
    star.closeSubpath();
    return star;
}

QPainterPath stroke(const QPainterPath& path, qreal width) {
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stroker.createStroke(path);
}

void drawEffect(Frame& f) {
    const Pose& pose = f.pose;
    if (pose.effect == Effect::None) {
        return;
    }
    const qreal rise = (pose.effect == Effect::Sleep ? 12 : 6) * pose.effectPhase;
    const QPointF c = f.head.map(QPointF(kCentreX + 32, kHeadY - 30 - rise));
    Canvas& canvas = f.canvas;
    switch (pose.effect) {
        case Effect::Question: {
            QPainterPath q;
            q.moveTo(c + QPointF(-4, -3));
            q.cubicTo(c + QPointF(-4, -9), c + QPointF(5, -9), c + QPointF(4, -3));
            q.cubicTo(c + QPointF(3, 0), c + QPointF(0, 0), c + QPointF(0, 3));
            canvas.fill(stroke(q, 2.6), kMark, kEffect);
            canvas.fill(ellipse(c + QPointF(0, 7.5), 1.7, 1.7), kMark, kEffect);
            break;
        }
        case Effect::Exclamation: {
            QPainterPath bar;
            bar.moveTo(c + QPointF(0, -9));
            bar.lineTo(c + QPointF(0, 2));
            canvas.fill(stroke(bar, 3.2), kMark, kEffect);
            canvas.fill(ellipse(c + QPointF(0, 7), 1.8, 1.8), kMark, kEffect);
            break;
        }
        case Effect::Idea: {
            canvas.fill(ellipse(c, 6, 6), kSpark, kEffect);
            QPainterPath base;
            base.addRect(QRectF(c.x() - 3, c.y() + 5, 6, 4));
            canvas.fill(base, kHaloShade, kEffect);
            canvas.fill(ellipse(c + QPointF(-2, -2), 1.6, 1.6), kWhite, kEffect);
            break;
        }
        case Effect::Note: {
            canvas.fill(ellipse(c + QPointF(-2, 5), 3, 2.4), kMark, kEffect);
            QPainterPath stem;
            stem.moveTo(c + QPointF(0.5, 5));
            stem.lineTo(c + QPointF(0.5, -6));
            stem.quadTo(c + QPointF(4, -4), c + QPointF(5, -1));
            canvas.fill(stroke(stem, 1.6), kMark, kEffect);
            break;
        }
        case Effect::Heart: {
            QPainterPath heart;
            heart.moveTo(c + QPointF(0, 5));
            heart.cubicTo(c + QPointF(-9, -1), c + QPointF(-4, -8), c + QPointF(0, -3));
            heart.cubicTo(c + QPointF(4, -8), c + QPointF(9, -1), c + QPointF(0, 5));
            canvas.fill(heart, kRibbon, kEffect);
            canvas.fill(ellipse(c + QPointF(-3, -2), 1.2, 1.2), kWhite, kEffect);
            break;
        }
        case Effect::Sleep: {
            for (int i = 0; i < 2; ++i) {
                const qreal s = i == 0 ? 4 : 2.6;
                const QPointF z = c + QPointF(i * 7 - 4, -i * 9 + 4);
                QPainterPath zig;
                zig.moveTo(z + QPointF(-s, -s));
                zig.lineTo(z + QPointF(s, -s));
                zig.lineTo(z + QPointF(-s, s));
                zig.lineTo(z + QPointF(s, s));
                canvas.fill(stroke(zig, 1.8), kIris, kEffect);
            }
            break;
        }
        case Effect::Sweat: {
            const QPointF d = f.head.map(QPointF(kCentreX + 24, kHeadY - 14 + rise));
            QPainterPath drop;
            drop.moveTo(d + QPointF(0, -5));
            drop.cubicTo(d + QPointF(4, 0), d + QPointF(3, 4), d + QPointF(0, 4));
            drop.cubicTo(d + QPointF(-3, 4), d + QPointF(-4, 0), d + QPointF(0, -5));
            canvas.fill(drop, kIrisLight, kEffect);
            break;
        }
        case Effect::None:
            break;
    }
}

}  // namespace

std::vector<AcsColor> palette() {
    std::vector<AcsColor> colors(kInkCount);
    const auto set = [&colors](Ink ink, uint8_t r, uint8_t g, uint8_t b) {
        colors[ink] = AcsColor{r, g, b};
    };
    set(kClear, 255, 0, 255);
    set(kOutline, 74, 46, 62);
    set(kSkin, 255, 232, 214);
    set(kSkinShade, 244, 196, 178);
    set(kCheek, 255, 178, 184);
    set(kHairLight, 255, 244, 190);
    set(kHair, 250, 214, 120);
    set(kHairShade, 214, 160, 82);
    set(kHalo, 255, 234, 110);
    set(kHaloShade, 232, 180, 50);
    set(kWing, 255, 255, 255);
    set(kWingShade, 226, 232, 250);
    set(kWingDeep, 184, 194, 230);
    set(kDress, 250, 250, 255);
    set(kDressShade, 212, 220, 246);
    set(kRibbon, 250, 140, 176);
    set(kRibbonShade, 210, 92, 136);
    set(kEyeDark, 58, 44, 84);
    set(kIris, 88, 132, 220);
    set(kIrisLight, 150, 200, 250);
    set(kWhite, 255, 255, 254);
    set(kMouth, 150, 56, 76);
    set(kMouthDeep, 112, 34, 56);
    set(kTongue, 242, 124, 138);
    set(kBookCover, 118, 84, 190);
    set(kBookCoverShade, 84, 56, 150);
    set(kPage, 255, 252, 236);
    set(kPageLine, 196, 190, 170);
    set(kSpark, 255, 246, 150);
    set(kSparkDeep, 240, 200, 70);
    set(kMark, 240, 110, 120);
    return colors;
}

AcsImage draw(const Pose& pose) {
    Canvas canvas;
    if (pose.hidden) {
        return canvas.finish();
    }
    QTransform body;
    body.translate(pose.x, pose.y);
    QTransform tilt;
    tilt.translate(kCentreX, kNeckY);
    tilt.rotate(pose.headTilt);
    tilt.translate(-kCentreX, -kNeckY);
    QTransform head = tilt;
    head.translate(pose.headDx, pose.headDy + pose.squash);
    head *= body;
    Frame f{pose, canvas, body, head};

    drawWing(f, true);
    drawWing(f, false);
    drawHairBack(f);
    drawFeet(f);
    drawDress(f);
    drawFace(f);
    drawHairFront(f);
    drawHalo(f);
    drawArm(f, true);
    drawArm(f, false);
    if (pose.book) {
        drawBook(f);
    }
    drawHand(f, true);
    drawHand(f, false);
    drawEye(f, true);
    drawEye(f, false);
    drawMouth(f);
    drawEffect(f);
    for (const Spark& spark : pose.sparks) {
        canvas.fill(sparkle(QPointF(spark.x, spark.y), spark.size), kSpark, kSparks);
    }
    return canvas.finish();
}

}  // namespace velkora::angel
