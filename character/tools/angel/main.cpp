// velkora-make-angel: draws the default character and writes it as an Agent character file.
//   velkora-make-angel OUT.acs               the file, with compressed images
//   velkora-make-angel OUT.acs --sheets DIR  also one contact sheet per animation (PNG), every
//                                            frame with its number and duration, to look at
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "character/AcsFile.h"
#include "character/AcsWriter.h"
#include "character/FrameComposer.h"
#include "character/tools/angel/AngelCharacter.h"

namespace {

QImage frameImage(const velkora::AcsFile& file, const velkora::AcsFrame& frame,
                  const velkora::AcsOverlay* mouth) {
    const velkora::ComposedFrame composed = velkora::composeFrame(file, frame, mouth);
    QImage image(composed.width, composed.height, QImage::Format_ARGB32);
    for (int y = 0; y < composed.height; ++y) {
        for (int x = 0; x < composed.width; ++x) {
            image.setPixel(x, y, composed.pixels[static_cast<std::size_t>(y) * composed.width + x]);
        }
    }
    return image;
}

void drawTile(QPainter& painter, const QImage& picture, int x, int y, int scale,
              const QString& label) {
    // A checked background shows where the character is transparent.
    for (int cy = 0; cy < picture.height() * scale; cy += 8) {
        for (int cx = 0; cx < picture.width() * scale; cx += 8) {
            painter.fillRect(x + cx, y + cy, 8, 8,
                             ((cx + cy) / 8) % 2 ? QColor(70, 90, 110) : QColor(190, 205, 190));
        }
    }
    painter.drawImage(QRect(x, y, picture.width() * scale, picture.height() * scale), picture);
    painter.setPen(Qt::black);
    painter.drawText(x + 4, y + picture.height() * scale + 14, label);
}

bool writeSheets(const velkora::AcsFile& file, const QString& dir) {
    QDir().mkpath(dir);
    const int scale = std::max(2, qEnvironmentVariableIntValue("SHEET_SCALE"));
    const int perRow = scale > 2 ? 3 : 6;
    const int tileW = file.info().width * scale + 8;
    const int tileH = file.info().height * scale + 22;
    for (const auto& animation : file.animations()) {
        const int count = static_cast<int>(animation.frames.size());
        const int rows = (count + perRow - 1) / perRow;
        QImage sheet(tileW * std::min(count, perRow), tileH * rows, QImage::Format_RGB32);
        sheet.fill(Qt::white);
        QPainter painter(&sheet);
        for (int i = 0; i < count; ++i) {
            const auto& frame = animation.frames[static_cast<std::size_t>(i)];
            QString label = QString("%1  %2 ms").arg(i).arg(frame.duration * 10);
            if (!frame.branches.empty()) {
                label += QString("  →%1 %2%")
                             .arg(frame.branches[0].frame)
                             .arg(frame.branches[0].probability);
            }
            if (frame.exitFrame >= 0) {
                label += QString("  exit→%1").arg(frame.exitFrame);
            }
            if (!frame.overlays.empty()) {
                label += "  mouth";
            }
            drawTile(painter, frameImage(file, frame, nullptr), (i % perRow) * tileW,
                     (i / perRow) * tileH, scale, label);
        }
        painter.end();
        if (!sheet.save(dir + "/" + QString::fromStdString(animation.name) + ".png")) {
            return false;
        }
    }
    // The mouths of the resting pose, side by side.
    if (const auto* rest = file.findAnimation("RestPose")) {
        const auto& frame = rest->frames.front();
        QImage sheet(tileW * static_cast<int>(frame.overlays.size()), tileH, QImage::Format_RGB32);
        sheet.fill(Qt::white);
        QPainter painter(&sheet);
        for (std::size_t i = 0; i < frame.overlays.size(); ++i) {
            drawTile(painter, frameImage(file, frame, &frame.overlays[i]),
                     static_cast<int>(i) * tileW, 0, scale,
                     QString("mouth %1").arg(frame.overlays[i].mouth));
        }
        painter.end();
        sheet.save(dir + "/mouths.png");
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && !(argc == 4 && std::string(argv[2]) == "--sheets")) {
        std::cerr << "usage: velkora-make-angel OUT.acs [--sheets DIR]\n";
        return 2;
    }
    const std::vector<uint8_t> bytes = velkora::writeAcs(velkora::angel::makeAngelCharacter());
    {
        std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            std::cerr << "velkora-make-angel: cannot write " << argv[1] << "\n";
            return 1;
        }
    }
    // What was written must read back: the reader is the judge.
    const velkora::AcsParseResult check = velkora::parseAcs(bytes);
    if (!check.file) {
        std::cerr << "velkora-make-angel: the written file does not read back: " << check.error
                  << "\n";
        std::remove(argv[1]);
        return 1;
    }
    if (argc == 4) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        int qtArgc = 1;
        QGuiApplication app(qtArgc, argv);
        if (!writeSheets(*check.file, QString::fromLocal8Bit(argv[3]))) {
            std::cerr << "velkora-make-angel: cannot write the sheets\n";
            return 1;
        }
    }
    return 0;
}
