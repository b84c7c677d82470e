#pragma once

#include <sys/types.h>
#include <functional>
#include <string>

namespace velkora::test {

// A private X server (Xvfb) for one test program, on a display number of its own choosing
// (-displayfd), so that parallel runs never meet. Sets DISPLAY and QT_QPA_PLATFORM=xcb for
// the QApplication made afterwards; stops the server when destroyed.
class XvfbDisplay {
public:
    XvfbDisplay(int width = 1024, int height = 768);
    ~XvfbDisplay();
    XvfbDisplay(const XvfbDisplay&) = delete;
    XvfbDisplay& operator=(const XvfbDisplay&) = delete;

    bool running() const { return !display_.empty(); }
    // ":N", or empty when the server would not start (why: error()).
    const std::string& display() const { return display_; }
    const std::string& error() const { return error_; }

private:
    pid_t pid_ = -1;
    std::string display_;
    std::string error_;
};

}  // namespace velkora::test

class QApplication;

namespace velkora::test {

// The test program's one QApplication, on its own private X server, made on first use. Fails
// the calling test (returns null) when the server does not start.
QApplication* guiApplication();

// Runs the Qt event loop, sleeping between events, until done() or the timeout.
bool runEventsUntil(const std::function<bool()>& done, int timeoutMs);
void runEventsFor(int ms);

}  // namespace velkora::test
