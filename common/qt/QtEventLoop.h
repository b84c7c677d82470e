#pragma once

#include <functional>
#include <memory>
#include <mutex>

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
    // `work` runs on a thread of its own, which is left to end by itself: a lookup stalled
    // at the program's end must not hold the program up.
    void runInBackground(std::function<void()> work, std::function<void()> done) override;
    std::unique_ptr<FdWatch> watchFd(int fd, FdReadiness readiness,
                                     std::function<void()> onReady) override;

private:
    struct Receiver;
    // Receiver of the queued calls, shared with the background threads: destroying the loop
    // drops the calls still queued and keeps those threads from posting any more.
    std::shared_ptr<Receiver> receiver_;
};

}  // namespace velkora
