#include "tests/support/SimulatedEventLoop.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace velkora::test {
namespace {

using Times = std::vector<int64_t>;
using Strings = std::vector<std::string>;

TEST(SimulatedEventLoop, TimerFiresOnItsPeriodGridAndRestartsOnChanges) {
    SimulatedEventLoop loop;
    Times ticks;
    auto timer = loop.createTimer();
    timer->setHandler([&] { ticks.push_back(loop.now()); });
    timer->setInterval(100);
    loop.advanceBy(500);
    EXPECT_TRUE(ticks.empty()) << "a disabled timer must not tick";

    timer->setEnabled(true);  // at 500
    loop.advanceBy(250);
    EXPECT_EQ(ticks, (Times{600, 700}));

    timer->setEnabled(true);  // already on: nothing changes
    loop.advanceTo(850);
    timer->setInterval(100);  // the period starts anew at 850
    loop.advanceTo(1000);
    EXPECT_EQ(ticks, (Times{600, 700, 800, 950}));

    loop.advanceTo(1020);
    timer->setEnabled(false);
    timer->setEnabled(true);  // off and on restarts at 1020
    loop.advanceTo(1130);
    EXPECT_EQ(ticks.back(), 1120);

    timer->setInterval(0);  // enabled, but no ticks
    loop.advanceBy(10'000);
    EXPECT_EQ(ticks.back(), 1120);
    EXPECT_TRUE(timer->enabled());
    EXPECT_EQ(loop.nextTimerDue(), std::nullopt);
}

TEST(SimulatedEventLoop, PendingEventsRunInOrderBeforeTimersAndWithoutMovingTime) {
    SimulatedEventLoop loop;
    Strings order;
    auto second = loop.createTimer();
    auto first = loop.createTimer();  // created later, enabled earlier: creation order rules
    first->setHandler([&] { order.push_back("t2"); });
    second->setHandler([&] { order.push_back("t1"); });
    first->setInterval(50);
    first->setEnabled(true);
    second->setInterval(50);
    second->setEnabled(true);
    loop.post([&] { order.push_back("p1"); });
    loop.post([&] {
        order.push_back("p2");
        loop.post([&] { order.push_back("p3"); });
    });

    loop.processPendingEvents();
    // Only what was queued before the call; p3 waits for the next round; no timer is due yet.
    EXPECT_EQ(order, (Strings{"p1", "p2"}));
    EXPECT_EQ(loop.now(), 0);

    loop.advanceBy(49);
    EXPECT_EQ(order, (Strings{"p1", "p2", "p3"}));
    loop.advanceBy(1);
    EXPECT_EQ(order, (Strings{"p1", "p2", "p3", "t1", "t2"}));
    loop.processPendingEvents();  // the next ticks are due at 100, not now
    EXPECT_EQ(order.size(), 5u);
    EXPECT_EQ(loop.now(), 50);
}

TEST(SimulatedEventLoop, RunUntilMovesTimeToTheNextTimerAndFailsLoudlyWhenStuck) {
    SimulatedEventLoop loop;
    auto oneShot = loop.createTimer();
    bool fired = false;
    oneShot->setHandler([&] {
        oneShot->setEnabled(false);
        fired = true;
    });
    oneShot->setInterval(1000);
    oneShot->setEnabled(true);
    loop.runUntil([&] { return fired; });
    EXPECT_EQ(loop.now(), 1000);

    // A condition that already holds returns at once.
    loop.runUntil([] { return true; });
    EXPECT_EQ(loop.now(), 1000);

    // Nothing is posted and no timer runs: waiting would never end.
    EXPECT_THROW(loop.runUntil([] { return false; }), std::runtime_error);

    // A ticking timer that never makes the condition true is stopped at the horizon.
    auto hourly = loop.createTimer();
    hourly->setHandler([] {});
    hourly->setInterval(60 * 60 * 1000);
    hourly->setEnabled(true);
    EXPECT_THROW(loop.runUntil([] { return false; }), std::runtime_error);

    EXPECT_THROW(loop.watchFd(0, FdReadiness::Read, [] {}), std::logic_error);
}

TEST(SimulatedEventLoop, NestedLoopsInsideHandlersKeepTimeAndDoNotReenterTheTimer) {
    SimulatedEventLoop loop;
    auto outer = loop.createTimer();
    auto inner = loop.createTimer();
    Strings log;
    int innerTicks = 0;
    inner->setHandler([&] {
        ++innerTicks;
        log.push_back("inner@" + std::to_string(loop.now()));
    });
    inner->setInterval(30);
    outer->setInterval(100);
    outer->setHandler([&] {
        log.push_back("outer@" + std::to_string(loop.now()));
        if (log.size() == 1) {
            inner->setEnabled(true);
            // A wait inside the handler: time moves on, other timers fire, this one does not.
            loop.runUntil([&] { return innerTicks >= 5; });
            inner->setEnabled(false);
        }
    });
    outer->setEnabled(true);
    loop.advanceTo(320);
    // The nested wait ran from 100 to 250; outer's 200 fell inside it, so it comes at 300.
    EXPECT_EQ(log, (Strings{"outer@100", "inner@130", "inner@160", "inner@190", "inner@220",
                            "inner@250", "outer@300"}));
    EXPECT_EQ(loop.now(), 320);
}

TEST(SimulatedEventLoop, TimerMayDestroyItselfAndOutliveTheLoop) {
    std::unique_ptr<Timer> survivor;
    {
        SimulatedEventLoop loop;
        std::unique_ptr<Timer> self = loop.createTimer();
        int calls = 0;
        self->setHandler([&] {
            ++calls;
            self.reset();
        });
        self->setInterval(5);
        self->setEnabled(true);
        loop.advanceBy(50);
        EXPECT_EQ(calls, 1);
        EXPECT_EQ(loop.nextTimerDue(), std::nullopt);
        survivor = loop.createTimer();
    }
    survivor->setInterval(10);  // the loop is gone; the timer must stay usable and harmless
    survivor->setEnabled(true);
    EXPECT_TRUE(survivor->enabled());
}

}  // namespace
}  // namespace velkora::test
