#include "tests/support/SimulatedEventLoop.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace velkora::test {
namespace {

using Times = std::vector<int64_t>;
using Strings = std::vector<std::string>;

TEST(SimulatedEventLoop, TimersFollowTheTimerContractInVirtualTime) {
    SimulatedEventLoop loop;
    Times ticks;
    auto timer = loop.createTimer();
    timer->setHandler([&] { ticks.push_back(loop.now()); });
    timer->setInterval(100);
    loop.advanceBy(500);
    EXPECT_TRUE(ticks.empty()) << "a disabled timer must not tick";
    timer->setEnabled(true);  // at 500
    loop.advanceTo(850);
    timer->setEnabled(true);  // already on: nothing changes
    timer->setInterval(100);  // the period starts anew at 850
    loop.advanceTo(1020);
    timer->setEnabled(false);
    timer->setEnabled(true);  // off and on restarts at 1020
    loop.advanceTo(1130);
    EXPECT_EQ(ticks, (Times{600, 700, 800, 950, 1120}));
    timer->setInterval(0);  // enabled, but no ticks
    loop.advanceBy(10'000);
    EXPECT_EQ(ticks.size(), 5u);
    EXPECT_EQ(loop.nextTimerDue(), std::nullopt);

    // A timer may destroy itself and outlive its loop.
    std::unique_ptr<Timer> survivor;
    {
        SimulatedEventLoop inner;
        std::unique_ptr<Timer> self = inner.createTimer();
        self->setHandler([&] { self.reset(); });
        self->setInterval(5);
        self->setEnabled(true);
        inner.advanceBy(50);
        EXPECT_EQ(self, nullptr);
        survivor = inner.createTimer();
    }
    survivor->setInterval(10);
    survivor->setEnabled(true);
    EXPECT_TRUE(survivor->enabled());
}

TEST(SimulatedEventLoop, PostedEventsRunFirstAndInOrderAndAStuckWaitFailsLoudly) {
    SimulatedEventLoop loop;
    Strings order;
    auto second = loop.createTimer();
    auto first = loop.createTimer();  // created later, enabled earlier: creation order rules
    first->setHandler([&] { order.push_back("t2"); });
    second->setHandler([&] { order.push_back("t1"); });
    for (Timer* t : {first.get(), second.get()}) {
        t->setInterval(50);
        t->setEnabled(true);
    }
    loop.post([&] { order.push_back("p1"); });
    loop.post([&] {
        order.push_back("p2");
        loop.post([&] { order.push_back("p3"); });
    });
    loop.processPendingEvents();  // only what was queued before; no time passes
    EXPECT_EQ(order, (Strings{"p1", "p2"}));
    loop.runUntil([&] { return order.size() == 5; });
    EXPECT_EQ(order, (Strings{"p1", "p2", "p3", "t1", "t2"}));
    EXPECT_EQ(loop.now(), 50);

    first.reset();
    second.reset();
    EXPECT_THROW(loop.runUntil([] { return false; }), std::runtime_error);  // nothing can happen
    auto hourly = loop.createTimer();
    hourly->setHandler([] {});
    hourly->setInterval(60 * 60 * 1000);
    hourly->setEnabled(true);
    EXPECT_THROW(loop.runUntil([] { return false; }), std::runtime_error);  // past the horizon
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
}

}  // namespace
}  // namespace velkora::test
