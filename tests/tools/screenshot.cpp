// velkora-screenshot OUT.png [WINDOW_ID | X,Y,WIDTH,HEIGHT]: saves the X display's whole
// screen, one window, or one area of the screen as PNG. For the GUI tests and the demo, which
// run on a private Xvfb.

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: velkora-screenshot OUT.png [WINDOW_ID | X,Y,WIDTH,HEIGHT]\n");
        return 2;
    }
    // The X display only: the tool never opens a window of its own or uses another platform.
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    QGuiApplication application(argc, argv);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        std::fprintf(stderr, "velkora-screenshot: no screen\n");
        return 1;
    }
    QPixmap picture;
    const QString target = argc == 3 ? QString::fromLocal8Bit(argv[2]) : QString();
    const QStringList area = target.split(QLatin1Char(','));
    if (area.size() == 4) {
        picture = screen->grabWindow(0, area[0].toInt(), area[1].toInt(), area[2].toInt(),
                                     area[3].toInt());
    } else {
        picture = screen->grabWindow(static_cast<WId>(target.toULongLong(nullptr, 0)));
    }
    if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "velkora-screenshot: cannot grab or save %s\n", argv[1]);
        return 1;
    }
    return 0;
}
