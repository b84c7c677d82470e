#pragma once

#include <functional>
#include <memory>
#include <utility>

namespace velkora {

// A window timer: while enabled and its interval is above 0 it calls its handler every
// interval milliseconds on the loop's thread.
//  - setInterval on an enabled timer starts the period anew from now; 0 means no ticks.
//  - setEnabled(false) then setEnabled(true) starts the period anew from now.
//  - setEnabled(true) on an enabled timer changes nothing.
// The handler may switch its own timer off or on, or destroy nothing but itself.
class Timer {
public:
    using Handler = std::function<void()>;

    virtual ~Timer() = default;
    virtual void setHandler(Handler handler) = 0;
    virtual void setInterval(int milliseconds) = 0;
    virtual int interval() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool enabled() const = 0;
};

// Which readiness of a file descriptor a watch reports.
enum class FdReadiness { Read, Write };

// Reports readiness of one descriptor while it exists and is enabled.
class FdWatch {
public:
    virtual ~FdWatch() = default;
    virtual void setEnabled(bool enabled) = 0;
};

// The one GUI thread's event loop, as the logic sees it.
class EventLoop {
public:
    virtual ~EventLoop() = default;

    virtual std::unique_ptr<Timer> createTimer() = 0;

    // Handles the events that are pending now and returns without waiting for more
    // (the "process pending window events once" of the checker).
    virtual void processPendingEvents() = 0;

    // A nested loop: handles events, sleeping while there are none, until done() is true.
    // done() is tested before each wait. Never spins.
    virtual void runUntil(const std::function<bool()>& done) = 0;

    // Queues fn to run as a later event of this loop.
    virtual void post(std::function<void()> fn) = 0;

    // Runs `work` away from this loop's thread, so that a call that may block for long (a
    // name lookup) never stalls the events, then `done` as a later event of this loop. `work`
    // must not touch the loop or anything that belongs to its thread; `done` is dropped when
    // the loop is gone by then. This fallback, for loops without threads of their own (the
    // tests' loop in virtual time), runs `work` at once and posts `done`.
    virtual void runInBackground(std::function<void()> work, std::function<void()> done) {
        work();
        post(std::move(done));
    }

    // Calls onReady as an event of this loop whenever fd is ready for the given readiness,
    // as long as the watch lives and is enabled. Level-triggered.
    virtual std::unique_ptr<FdWatch> watchFd(int fd, FdReadiness readiness,
                                             std::function<void()> onReady) = 0;
};

}  // namespace velkora
