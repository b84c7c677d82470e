#include "tests/support/SimulatedEventLoop.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>

namespace velkora::test {

struct SimulatedEventLoop::TimerState {
    uint64_t id = 0;
    std::shared_ptr<int64_t> clock;
    Timer::Handler handler;
    int interval = 0;
    bool enabled = false;
    bool alive = true;
    bool running = false;  // its handler is on the stack
    int64_t due = 0;       // meaningful while enabled with interval > 0

    bool ticking() const { return alive && enabled && interval > 0; }
    void restartPeriod() { due = *clock + interval; }
};

namespace {

class SimTimer final : public Timer {
public:
    explicit SimTimer(std::shared_ptr<SimulatedEventLoop::TimerState> state)
        : state_(std::move(state)) {}
    ~SimTimer() override {
        state_->alive = false;
        state_->enabled = false;
        // The handler may be the one destroying us; the loop holds its own copy while it runs.
        state_->handler = nullptr;
    }

    void setHandler(Handler handler) override { state_->handler = std::move(handler); }
    void setInterval(int milliseconds) override {
        state_->interval = std::max(milliseconds, 0);
        if (state_->enabled) {
            state_->restartPeriod();
        }
    }
    int interval() const override { return state_->interval; }
    void setEnabled(bool enabled) override {
        if (enabled == state_->enabled) {
            return;
        }
        state_->enabled = enabled;
        if (enabled) {
            state_->restartPeriod();
        }
    }
    bool enabled() const override { return state_->enabled; }

private:
    std::shared_ptr<SimulatedEventLoop::TimerState> state_;
};

}  // namespace

SimulatedEventLoop::SimulatedEventLoop() : clock_(std::make_shared<int64_t>(0)) {}

SimulatedEventLoop::~SimulatedEventLoop() = default;

std::unique_ptr<Timer> SimulatedEventLoop::createTimer() {
    prune();
    auto state = std::make_shared<TimerState>();
    state->id = nextTimerId_++;
    state->clock = clock_;
    timers_.push_back(state);
    return std::make_unique<SimTimer>(std::move(state));
}

void SimulatedEventLoop::post(std::function<void()> fn) {
    posted_.push_back(std::move(fn));
}

std::unique_ptr<FdWatch> SimulatedEventLoop::watchFd(int, FdReadiness, std::function<void()>) {
    throw std::logic_error("SimulatedEventLoop does not watch file descriptors");
}

bool SimulatedEventLoop::runOnePosted() {
    if (posted_.empty()) {
        return false;
    }
    auto fn = std::move(posted_.front());
    posted_.pop_front();
    if (fn) {
        fn();
    }
    return true;
}

std::shared_ptr<SimulatedEventLoop::TimerState> SimulatedEventLoop::firstDue(int64_t limit) const {
    std::shared_ptr<TimerState> best;
    for (const auto& timer : timers_) {
        if (!timer->ticking() || timer->running || timer->due > limit) {
            continue;
        }
        // Creation order breaks ties: timers_ is kept in creation order.
        if (!best || timer->due < best->due) {
            best = timer;
        }
    }
    return best;
}

std::optional<int64_t> SimulatedEventLoop::nextTimerDue() const {
    std::optional<int64_t> due;
    for (const auto& timer : timers_) {
        if (timer->ticking() && !timer->running && (!due || timer->due < *due)) {
            due = timer->due;
        }
    }
    return due;
}

void SimulatedEventLoop::fire(const std::shared_ptr<TimerState>& timer) {
    // A timer due in the past (only possible after a nested loop moved time) fires now.
    *clock_ = std::max(*clock_, timer->due);
    const int64_t firedAt = *clock_;
    timer->due = firedAt + timer->interval;
    auto handler = timer->handler;  // survives the timer destroying itself in the handler
    timer->running = true;
    struct Reset {
        TimerState& t;
        ~Reset() { t.running = false; }
    } reset{*timer};
    if (handler) {
        handler();
    }
    // A nested loop may have moved time beyond the next due time while the handler ran:
    // keep to the period grid from the firing instant.
    if (timer->ticking() && timer->due < *clock_) {
        const int64_t behind = *clock_ - timer->due;
        const int64_t periods = (behind + timer->interval - 1) / timer->interval;
        timer->due += periods * timer->interval;
    }
}

void SimulatedEventLoop::prune() {
    std::erase_if(timers_, [](const auto& t) { return !t->alive && !t->running; });
}

void SimulatedEventLoop::processPendingEvents() {
    const std::size_t count = posted_.size();
    for (std::size_t i = 0; i < count && !posted_.empty(); ++i) {
        runOnePosted();
    }
    // The timers due now, once each, in due order then creation order.
    std::vector<std::shared_ptr<TimerState>> due;
    for (const auto& timer : timers_) {
        if (timer->ticking() && !timer->running && timer->due <= *clock_) {
            due.push_back(timer);
        }
    }
    std::stable_sort(due.begin(), due.end(),
                     [](const auto& a, const auto& b) { return a->due < b->due; });
    for (const auto& timer : due) {
        // An earlier handler may have switched it off or restarted its period.
        if (timer->ticking() && !timer->running && timer->due <= *clock_) {
            fire(timer);
        }
    }
    prune();
}

void SimulatedEventLoop::runUntil(const std::function<bool()>& done) {
    const int64_t limit = *clock_ + kHorizon;
    while (!done()) {
        if (runOnePosted()) {
            continue;
        }
        auto timer = firstDue(limit);
        if (!timer) {
            prune();
            if (!nextTimerDue()) {
                throw std::runtime_error(
                    "SimulatedEventLoop::runUntil: nothing can happen any more (no posted "
                    "event, no running timer) at " +
                    std::to_string(*clock_) + " ms, and the condition is still false");
            }
            throw std::runtime_error("SimulatedEventLoop::runUntil: condition still false after " +
                                     std::to_string(kHorizon) + " virtual ms");
        }
        fire(timer);
    }
    prune();
}

void SimulatedEventLoop::advanceTo(int64_t t) {
    while (true) {
        while (runOnePosted()) {
        }
        auto timer = firstDue(t);
        if (!timer) {
            break;
        }
        fire(timer);
    }
    *clock_ = std::max(*clock_, t);
    // Events posted by handlers at the target instant run before returning.
    while (runOnePosted()) {
    }
    prune();
}

void SimulatedEventLoop::advanceBy(int64_t ms) {
    advanceTo(*clock_ + std::max<int64_t>(ms, 0));
}

void SimulatedEventLoop::drain() {
    advanceTo(*clock_);
}

}  // namespace velkora::test
