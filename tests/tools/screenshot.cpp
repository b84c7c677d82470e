// velkora-screenshot OUT.png [WINDOW_ID]: saves the X display's whole screen, or one window,
// as PNG. For the GUI tests and the demo, which run on a private Xvfb.

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: velkora-screenshot OUT.png [WINDOW_ID]\n");
        return 2;
    }
    // The X display only: the tool must never open a window of its own or use another platform.
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    QGuiApplication application(argc, argv);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        std::fprintf(stderr, "velkora-screenshot: no screen\n");
        return 1;
    }
    WId window = 0;
    if (argc == 3) {
        window = static_cast<WId>(std::strtoull(argv[2], nullptr, 0));
    }
    QPixmap picture = screen->grabWindow(window);
    if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "velkora-screenshot: cannot grab or save %s\n", argv[1]);
        return 1;
    }
    return 0;
}
