#include <gtest/gtest.h>

#include <unistd.h>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QFile>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <string>

#include "character/gui/BalloonWindow.h"
#include "character/gui/CharacterOptionsDialog.h"
#include "character/gui/CharacterPreview.h"
#include "character/gui/CharacterWindow.h"
#include "character/gui/DesktopCharacter.h"
#include "common/MemorySettingsStore.h"
#include "common/qt/QtEventLoop.h"
#include "tests/character/gui/ManualSpeech.h"
#include "tests/character/gui/XvfbDisplay.h"

namespace velkora {
namespace {

const std::string kAngel = VELKORA_STAGED_DATA_DIR "/Msagent/chars/AngelMicha.acs";

void mouse(QWidget& widget, QEvent::Type type, QPoint local, Qt::MouseButton button,
           Qt::MouseButtons buttons) {
    QMouseEvent event(type, QPointF(local), QPointF(widget.mapToGlobal(local)), button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

TEST(CharacterInteractionTest, DragDoubleClickOwnOptionsAndTheHideMenu) {
    ASSERT_NE(test::guiApplication(), nullptr) << "Xvfb is needed";
    QtEventLoop loop;
    test::ManualSpeech speech;
    MemorySettingsStore store;
    DesktopCharacter character(loop, speech, store);
    ASSERT_TRUE(character.load(kAngel)) << character.loadError();
    int doubleClicks = 0;
    int hides = 0;
    character.onDblClick = [&] {
        ++doubleClicks;
        character.showPropertySheet();
    };
    character.onHide = [&hides] { ++hides; };
    character.setPosition({100, 200});
    character.show();
    CharacterWindow& window = character.window();
    ASSERT_TRUE(test::runEventsUntil(
        [&] { return window.isVisible() && character.engine().pendingRequests() == 0; }, 5000));

    // A left drag moves her, and her position follows.
    const QPoint body(64, 110);
    ASSERT_NE(qAlpha(window.picture().pixel(body)), 0);
    mouse(window, QEvent::MouseButtonPress, body, Qt::LeftButton, Qt::LeftButton);
    mouse(window, QEvent::MouseMove, body + QPoint(50, 30), Qt::NoButton, Qt::LeftButton);
    mouse(window, QEvent::MouseButtonRelease, body + QPoint(50, 30), Qt::LeftButton, Qt::NoButton);
    test::runEventsFor(100);
    EXPECT_EQ(character.position().value_or(ScreenPoint{}).left, 150);
    EXPECT_EQ(character.position().value_or(ScreenPoint{}).top, 230);

    // A double-click opens her own options; OK keeps them under her own keys only.
    mouse(window, QEvent::MouseButtonDblClick, body, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(doubleClicks, 1);
    CharacterOptionsDialog* dialog = character.optionsDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    dialog->balloonBox()->setChecked(false);
    dialog->speedSlider()->setValue(150);
    dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(store.values(),
              (std::map<std::string, std::string>{
                  {"CharBalloon", "0"}, {"CharVoice", "1"}, {"CharVoiceSpeed", "150"}}));

    // Without the balloon she speaks all the same, at the speed chosen.
    character.speak("テストです \\Spd=100\\");
    ASSERT_TRUE(test::runEventsUntil([&speech] { return speech.current != nullptr; }, 5000));
    EXPECT_EQ(speech.prepared, "テストです \\Spd=150\\");
    speech.current->listener_.progress(1.0);
    test::runEventsFor(100);
    EXPECT_FALSE(character.balloon().isVisible());
    speech.current->listener_.finished();

    // "隠す" on the right-click menu hides her; the Hide event follows the hiding animation.
    QTimer::singleShot(300, [] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        ASSERT_EQ(menu->actions().size(), 1);
        EXPECT_EQ(menu->actions()[0]->text(), QStringLiteral("隠す"));
        menu->setActiveAction(menu->actions()[0]);
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(menu, &enter);
    });
    QContextMenuEvent context(QContextMenuEvent::Mouse, body, window.mapToGlobal(body));
    QApplication::sendEvent(&window, &context);
    EXPECT_TRUE(test::runEventsUntil([&hides] { return hides == 1; }, 5000));
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(character.visible());
}

TEST(CharacterPreviewTest, LoadsShowsPlaysAndKeepsTheOldCharacterWhenAFileIsRefused) {
    ASSERT_NE(test::guiApplication(), nullptr) << "Xvfb is needed";
    CharacterPreview preview;
    EXPECT_FALSE(preview.showAt(0, 0));
    const CharacterLoadResult angel = preview.load(kAngel);
    ASSERT_TRUE(angel.ok) << angel.error;
    EXPECT_EQ(angel.animationNames, preview.animationNames());
    for (const char* name : {"Greet", "Congratulate", "Read", "RestPose"}) {
        EXPECT_NE(std::find(angel.animationNames.begin(), angel.animationNames.end(), name),
                  angel.animationNames.end())
            << name;
    }

    const std::string broken = std::string(getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp") +
                               "/velkora-preview-" + std::to_string(getpid()) + ".acs";
    QFile file(QString::fromStdString(broken));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::fromHex("d0cf11e0a1b11ae1") + QByteArray(512, '\0'));
    file.close();
    const CharacterLoadResult refused = preview.load(broken);
    file.remove();
    EXPECT_FALSE(refused.ok);
    EXPECT_NE(refused.error.find("Agent 1.5"), std::string::npos) << refused.error;
    EXPECT_TRUE(refused.animationNames.empty());
    EXPECT_EQ(preview.animationNames(), angel.animationNames);

    ASSERT_TRUE(preview.showAt(200, 150));
    ASSERT_TRUE(test::runEventsUntil([&] { return preview.window().isVisible(); }, 5000));
    EXPECT_EQ(preview.window().pos(), QPoint(200, 150));
    EXPECT_TRUE(preview.play("Greet"));
    EXPECT_FALSE(preview.play("Nothing"));
    preview.hide();
    EXPECT_FALSE(preview.visible());
    EXPECT_TRUE(test::runEventsUntil([&] { return !preview.window().isVisible(); }, 10000));
}

}  // namespace
}  // namespace velkora
