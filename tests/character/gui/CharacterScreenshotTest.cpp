#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QWidget>
#include <cstdlib>
#include <memory>

#include "character/gui/BalloonWindow.h"
#include "character/gui/CharacterWindow.h"
#include "character/gui/DesktopCharacter.h"
#include "common/MemorySettingsStore.h"
#include "common/qt/QtEventLoop.h"
#include "tests/character/gui/ManualSpeech.h"
#include "tests/character/gui/XvfbDisplay.h"

namespace velkora {
namespace {

TEST(CharacterScreenshotTest, TheCharacterStandsShapedOnTheDesktopWithItsJapaneseBalloon) {
    ASSERT_NE(test::guiApplication(), nullptr) << "Xvfb is needed";

    // A desktop of one known colour, to see the character's shape against.
    const QColor desktop(40, 160, 90);
    QWidget background(nullptr, Qt::FramelessWindowHint);
    background.setGeometry(0, 0, 800, 600);
    background.setAutoFillBackground(true);
    QPalette palette;
    palette.setColor(QPalette::Window, desktop);
    background.setPalette(palette);
    background.show();

    QtEventLoop loop;
    test::ManualSpeech speech;
    MemorySettingsStore store;
    DesktopCharacter character(loop, speech, store);
    ASSERT_TRUE(character.load(VELKORA_STAGED_DATA_DIR "/Msagent/chars/AngelMicha.acs"))
        << character.loadError();
    ASSERT_TRUE(character.setPosition({300, 380}));
    // Not installed here: a Japanese font stands in.
    ASSERT_TRUE(character.setBalloonFont("ＭＳ Ｐゴシック", 12));
    ASSERT_TRUE(character.show());
    const std::string text = "全部で3通のメールが届いています";
    ASSERT_TRUE(character.speak(text + " \\Spd=100\\"));
    ASSERT_TRUE(test::runEventsUntil([&speech] { return speech.current != nullptr; }, 10000));
    speech.current->listener_.progress(1.0);
    test::runEventsFor(500);

    const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(
        QImage::Format_RGB32);
    if (const char* dir = std::getenv("VELKORA_SCREENSHOT_DIR")) {
        shot.save(QString::fromLocal8Bit(dir) + "/character.png");
    }

    // The character: its picture where it is opaque, the desktop where it is transparent.
    const CharacterWindow& window = character.window();
    ASSERT_EQ(window.geometry(), QRect(300, 380, 128, 160));
    const QImage& picture = window.picture();
    ASSERT_FALSE(picture.isNull());
    int opaque = 0;
    int wrong = 0;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb drawn = picture.pixel(x, y);
            const QRgb seen = shot.pixel(300 + x, 380 + y);
            const QRgb expected = qAlpha(drawn) != 0 ? drawn : desktop.rgb();
            opaque += qAlpha(drawn) != 0 ? 1 : 0;
            wrong += (seen & 0xFFFFFF) != (expected & 0xFFFFFF) ? 1 : 0;
        }
    }
    EXPECT_GT(opaque, 5000);
    EXPECT_EQ(wrong, 0);

    // The balloon above it, in the character's colours, with the whole text in a font that
    // has its Japanese glyphs, and ink where the text is.
    const BalloonWindow& balloon = character.balloon();
    ASSERT_TRUE(balloon.isVisible());
    EXPECT_EQ(balloon.visibleText().toStdString(), text);
    const QRect box = balloon.geometry();
    EXPECT_LE(box.bottom(), 380 + 10);
    const QFontMetrics metrics(balloon.balloonFont());
    for (char32_t c : QString::fromStdString(text).toUcs4()) {
        EXPECT_TRUE(metrics.inFontUcs4(c)) << "no glyph for U+" << std::hex << static_cast<int>(c);
    }
    int paper = 0;
    int ink = 0;
    for (int y = box.top() + 6; y < box.top() + box.height() / 2; ++y) {
        for (int x = box.left() + 6; x < box.right() - 6; ++x) {
            const QColor c(shot.pixel(x, y));
            paper += c == QColor(255, 252, 246) ? 1 : 0;
            ink += c.red() < 140 && c.green() < 140 ? 1 : 0;
        }
    }
    EXPECT_GT(paper, ink);
    EXPECT_GT(ink, 150);
}

}  // namespace
}  // namespace velkora
