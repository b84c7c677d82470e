#include "common/qt/QtEventLoop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace velkora {
namespace {

using Clock = std::chrono::steady_clock;

long msSince(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

class QtEventLoopTest : public ::testing::Test {
protected:
    std::unique_ptr<Timer> timer(int interval, std::function<void()> handler, bool on = true) {
        std::unique_ptr<Timer> t = loop.createTimer();
        t->setHandler(std::move(handler));
        t->setInterval(interval);
        t->setEnabled(on);
        return t;
    }

    // Runs until done() or, as a guard against a hang, until ms have passed; true when done.
    bool runUntilOr(int ms, const std::function<bool()>& done) {
        bool over = false;
        auto guard = timer(ms, [&] { over = true; });
        loop.runUntil([&] { return over || done(); });
        return done();
    }
    void runFor(int ms) {
        runUntilOr(ms, [] { return false; });
    }

    QtEventLoop loop;
};

TEST_F(QtEventLoopTest, TimersTickOnlyWhileEnabledWithAPeriodAndHandlersMaySwitchOrEndThem) {
    int ticks = 0;
    auto t = timer(
        20, [&] { ++ticks; }, false);
    runFor(120);
    EXPECT_EQ(ticks, 0);  // never enabled
    t->setEnabled(true);
    EXPECT_TRUE(runUntilOr(2000, [&] { return ticks >= 3; }));
    // Interval 0 on an enabled timer: it stays enabled and stops ticking.
    t->setInterval(0);
    const int before = ticks;
    runFor(120);
    EXPECT_EQ(ticks, before);
    EXPECT_TRUE(t->enabled());

    int onceTicks = 0;
    int toggledTicks = 0;
    int doomedTicks = 0;
    std::unique_ptr<Timer> once, toggled, doomed;
    once = timer(10, [&] {
        ++onceTicks;
        once->setEnabled(false);
    });
    toggled = timer(10, [&] {
        ++toggledTicks;
        toggled->setEnabled(false);
        toggled->setEnabled(true);
    });
    doomed = timer(10, [&] {
        ++doomedTicks;
        doomed.reset();
    });
    EXPECT_TRUE(runUntilOr(3000, [&] { return toggledTicks >= 4; }));
    EXPECT_EQ(onceTicks, 1);
    EXPECT_EQ(doomedTicks, 1);
    EXPECT_EQ(doomed, nullptr);
}

TEST_F(QtEventLoopTest, SetIntervalAndOffOnStartThePeriodAnewButOnAgainChangesNothing) {
    struct Case {
        const char* name;
        std::function<void(Timer&)> poke;
        bool restarts;
    };
    const Case cases[] = {
        {"setInterval", [](Timer& t) { t.setInterval(t.interval()); }, true},
        {"off then on",
         [](Timer& t) {
             t.setEnabled(false);
             t.setEnabled(true);
         },
         true},
        {"on again", [](Timer& t) { t.setEnabled(true); }, false},
    };
    for (const Case& c : cases) {
        bool ticked = false;
        const auto start = Clock::now();
        auto poked = timer(300, [&] { ticked = true; });
        std::unique_ptr<Timer> poker;
        poker = timer(200, [&] {
            poker->setEnabled(false);
            c.poke(*poked);
        });
        ASSERT_TRUE(runUntilOr(5000, [&] { return ticked; })) << c.name;
        // Due at 300 ms; a period that ran anew from the poke at 200 ms ends at 500 ms.
        EXPECT_EQ(msSince(start) >= 495, c.restarts) << c.name;
    }
}

TEST_F(QtEventLoopTest, PendingEventsRunInOrderWithoutWaitingAndOnlyWhileTheLoopLives) {
    std::vector<int> order;
    loop.post([&] { order.push_back(1); });
    loop.post([&] { order.push_back(2); });
    {
        QtEventLoop shortLived;
        shortLived.post([&] { order.push_back(3); });
    }
    EXPECT_TRUE(order.empty());  // later events, never inside post
    // Nothing more pending: returns at once rather than waiting for the slow timer.
    bool slowTicked = false;
    auto slow = timer(5000, [&] { slowTicked = true; });
    const auto start = Clock::now();
    loop.processPendingEvents();
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_LT(msSince(start), 2500);
    EXPECT_FALSE(slowTicked);
    // Already done: runUntil returns without handling anything.
    loop.post([&] { order.push_back(4); });
    loop.runUntil([] { return true; });
    EXPECT_EQ(order.size(), 2u);
}

TEST_F(QtEventLoopTest, RunUntilSleepsUntilAnEventAndNestsInsideAHandler) {
    std::vector<std::string> trace;
    bool innerDone = false;
    bool outerDone = false;
    std::unique_ptr<Timer> inner, outer;
    inner = timer(
        300,
        [&] {
            inner->setEnabled(false);
            trace.push_back("inner tick");
            loop.post([&] {
                trace.push_back("posted inside");
                innerDone = true;
            });
        },
        false);
    outer = timer(10, [&] {
        outer->setEnabled(false);
        trace.push_back("outer tick");
        inner->setEnabled(true);
        loop.runUntil([&] { return innerDone; });
        trace.push_back("nested loop returned");
        outerDone = true;
    });
    const auto start = Clock::now();
    timespec cpuBefore{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpuBefore);
    loop.runUntil([&] { return outerDone; });
    timespec cpuAfter{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpuAfter);
    const long wall = msSince(start);
    const double cpu = static_cast<double>(cpuAfter.tv_sec - cpuBefore.tv_sec) * 1000.0 +
                       static_cast<double>(cpuAfter.tv_nsec - cpuBefore.tv_nsec) / 1e6;
    EXPECT_EQ(trace, (std::vector<std::string>{"outer tick", "inner tick", "posted inside",
                                               "nested loop returned"}));
    EXPECT_GE(wall, 295);
    // A loop that spins burns about as much CPU as wall time; one that sleeps almost none.
    EXPECT_LT(cpu, static_cast<double>(wall) / 4) << "cpu " << cpu << " ms over " << wall;
}

}  // namespace
}  // namespace velkora
