#pragma once

#include <functional>
#include <memory>

#include "common/EventLoop.h"

class QObject;

namespace velkora {

// The GUI thread's event loop on QtCore. Needs a QCoreApplication (or QApplication) on the
// calling thread; every timer, watch and posted call belongs to that thread.
class QtEventLoop final : public EventLoop {
public:
    QtEventLoop();
    ~QtEventLoop() override;

    QtEventLoop(const QtEventLoop&) = delete;
    QtEventLoop& operator=(const QtEventLoop&) = delete;

    std::unique_ptr<Timer> createTimer() override;
    void processPendingEvents() override;
    void runUntil(const std::function<bool()>& done) override;
    // Calls posted after the loop is destroyed are dropped.
    void post(std::function<void()> fn) override;
    std::unique_ptr<FdWatch> watchFd(int fd, FdReadiness readiness,
                                     std::function<void()> onReady) override;

private:
    // Receiver of the queued calls: destroying it drops the calls still queued.
    std::unique_ptr<QObject> context_;
};

}  // namespace velkora
