#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "common/EventLoop.h"

namespace velkora::test {

// The program's event loop in virtual time, for tests: nothing ever sleeps, time moves only
// when the loop has nothing else to do (runUntil) or when a test moves it (advanceBy).
//
// Ordering is deterministic: posted events run before timers of the same instant, in the
// order they were posted; timers due at the same instant fire in the order they were created.
// A timer does not fire again while its own handler is still running (a nested loop inside
// the handler skips it); if its next due time passed meanwhile, it fires at the first instant
// of its period grid that is not in the past once the handler has returned.
class SimulatedEventLoop final : public EventLoop {
public:
    SimulatedEventLoop();
    ~SimulatedEventLoop() override;

    SimulatedEventLoop(const SimulatedEventLoop&) = delete;
    SimulatedEventLoop& operator=(const SimulatedEventLoop&) = delete;

    // Virtual milliseconds since the loop was made.
    int64_t now() const { return *clock_; }

    std::unique_ptr<Timer> createTimer() override;
    // Runs the posted events queued before the call and the timers due now, once each,
    // without moving time.
    void processPendingEvents() override;
    // Handles events, moving time to the next due timer whenever none is pending, until done().
    // Throws std::runtime_error when nothing can ever happen (no posted event, no running
    // timer) or when virtual time would pass the horizon (a run that would never end).
    void runUntil(const std::function<bool()>& done) override;
    void post(std::function<void()> fn) override;
    // Not available in virtual time: throws std::logic_error.
    std::unique_ptr<FdWatch> watchFd(int fd, FdReadiness readiness,
                                     std::function<void()> onReady) override;

    // Moves time forward by ms, firing everything that falls due on the way in order and
    // running posted events as they come; ends with the events pending at the target time.
    void advanceBy(int64_t ms);
    // Moves time to the absolute instant t (never backwards) like advanceBy.
    void advanceTo(int64_t t);
    // Runs posted events (including the ones they post) until the queue is empty, without
    // moving time; timers due now fire too.
    void drain();

    std::size_t pendingPostedCount() const { return posted_.size(); }
    // The earliest due time of an enabled timer with a period, if any.
    std::optional<int64_t> nextTimerDue() const;

    struct TimerState;

private:
    // runUntil gives up once virtual time would pass now() + this: ten virtual days.
    static constexpr int64_t kHorizon = 10LL * 24 * 60 * 60 * 1000;

    bool runOnePosted();
    // The due timer that fires first at or before `limit`, or null.
    std::shared_ptr<TimerState> firstDue(int64_t limit) const;
    void fire(const std::shared_ptr<TimerState>& timer);
    void prune();

    uint64_t nextTimerId_ = 0;
    std::deque<std::function<void()>> posted_;
    std::vector<std::shared_ptr<TimerState>> timers_;
    // The clock is shared with the timers, which may outlive the loop.
    std::shared_ptr<int64_t> clock_;
};

}  // namespace velkora::test
