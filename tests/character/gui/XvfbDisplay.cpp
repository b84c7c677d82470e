#include "tests/character/gui/XvfbDisplay.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <cstdlib>
#include <memory>
#include <string>

namespace velkora::test {

XvfbDisplay::XvfbDisplay(int width, int height) {
    int fds[2];
    if (pipe(fds) != 0) {
        error_ = "pipe failed";
        return;
    }
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    const std::string fd = std::to_string(fds[1]);
    pid_ = fork();
    if (pid_ == 0) {
        close(fds[0]);
        // The server ends with the test program, however it ends, and holds none of its
        // output streams open.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        const int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, STDIN_FILENO);
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
        }
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(),
               "-nolisten", "tcp", "-noreset", "+extension", "SHAPE", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    if (pid_ < 0) {
        close(fds[0]);
        error_ = "fork failed";
        return;
    }
    // The server writes its display number once it accepts clients.
    std::string number;
    pollfd ready{fds[0], POLLIN, 0};
    while (poll(&ready, 1, 15000) > 0) {
        char c = 0;
        if (read(fds[0], &c, 1) != 1 || c == '\n') {
            break;
        }
        number.push_back(c);
    }
    close(fds[0]);
    if (number.empty()) {
        error_ = "Xvfb did not start (is it installed?)";
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
        return;
    }
    display_ = ":" + number;
    setenv("DISPLAY", display_.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
}

XvfbDisplay::~XvfbDisplay() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}

namespace {

// Owns the server and the application; torn down after the last test, while the program
// still runs (as a static, the application would outlive parts of Qt it needs).
class GuiEnvironment final : public testing::Environment {
public:
    void TearDown() override {
        app.reset();
        display.reset();
    }
    std::unique_ptr<XvfbDisplay> display;
    std::unique_ptr<QApplication> app;
};

GuiEnvironment* const environment =
    static_cast<GuiEnvironment*>(testing::AddGlobalTestEnvironment(new GuiEnvironment));

}  // namespace

QApplication* guiApplication() {
    if (!environment->app) {
        environment->display = std::make_unique<XvfbDisplay>(800, 600);
        if (!environment->display->running()) {
            return nullptr;
        }
        static int argc = 1;
        static char name[] = "test_character_gui";
        static char* argv[] = {name, nullptr};
        environment->app = std::make_unique<QApplication>(argc, argv);
    }
    return environment->app.get();
}

bool runEventsUntil(const std::function<bool()>& done, int timeoutMs) {
    QEventLoop events;
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.start(timeoutMs);
    while (!done() && deadline.isActive()) {
        events.processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return done();
}

void runEventsFor(int ms) {
    QTimer pause;
    pause.setSingleShot(true);
    pause.start(ms);
    runEventsUntil([&pause] { return !pause.isActive(); }, ms + 1000);
}

}  // namespace velkora::test
