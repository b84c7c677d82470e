#include "common/qt/QtEventLoop.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <chrono>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace velkora {
namespace {

using Clock = std::chrono::steady_clock;

void ensureApplication() {
    if (QCoreApplication::instance() == nullptr) {
        static int argc = 1;
        static char name[] = "test_common";
        static char* argv[] = {name, nullptr};
        static QCoreApplication application(argc, argv);
    }
}

double processCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1e6;
}

long msSince(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

class QtEventLoopTest : public ::testing::Test {
protected:
    QtEventLoopTest() { ensureApplication(); }

    // Runs the loop for about ms milliseconds of wall time.
    void runFor(int ms) {
        bool over = false;
        std::unique_ptr<Timer> stop = loop.createTimer();
        stop->setHandler([&] { over = true; });
        stop->setInterval(ms);
        stop->setEnabled(true);
        loop.runUntil([&] { return over; });
    }

    // Runs until done() or, as a guard against a hang, until ms have passed; true when done.
    bool runUntilOr(int ms, const std::function<bool()>& done) {
        bool over = false;
        std::unique_ptr<Timer> guard = loop.createTimer();
        guard->setHandler([&] { over = true; });
        guard->setInterval(ms);
        guard->setEnabled(true);
        loop.runUntil([&] { return over || done(); });
        return done();
    }

    QtEventLoop loop;
};

TEST_F(QtEventLoopTest, TimerTicksOnlyWhileEnabledWithAPeriodAndZeroMeansNoTicks) {
    std::unique_ptr<Timer> timer = loop.createTimer();
    int ticks = 0;
    timer->setHandler([&] { ++ticks; });
    EXPECT_FALSE(timer->enabled());
    timer->setInterval(20);
    EXPECT_EQ(timer->interval(), 20);
    runFor(120);
    EXPECT_EQ(ticks, 0);  // never enabled

    timer->setEnabled(true);
    EXPECT_TRUE(timer->enabled());
    EXPECT_TRUE(runUntilOr(2000, [&] { return ticks >= 3; }));

    // Interval 0 on an enabled timer: it stays enabled and stops ticking.
    timer->setInterval(0);
    EXPECT_TRUE(timer->enabled());
    int before = ticks;
    runFor(120);
    EXPECT_EQ(ticks, before);

    // Enabled with interval 0 from the start: no ticks either.
    std::unique_ptr<Timer> zero = loop.createTimer();
    int zeroTicks = 0;
    zero->setHandler([&] { ++zeroTicks; });
    zero->setEnabled(true);
    runFor(60);
    EXPECT_EQ(zeroTicks, 0);
    // A period given later starts it.
    zero->setInterval(10);
    EXPECT_TRUE(runUntilOr(2000, [&] { return zeroTicks >= 1; }));
}

TEST_F(QtEventLoopTest, SetIntervalAndOffOnStartThePeriodAnewButOnAgainChangesNothing) {
    struct Case {
        const char* name;
        std::function<void(Timer&)> poke;
        bool restarts;
    };
    const std::vector<Case> cases = {
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
        std::unique_ptr<Timer> timer = loop.createTimer();
        bool ticked = false;
        timer->setHandler([&] { ticked = true; });
        timer->setInterval(300);
        auto start = Clock::now();
        timer->setEnabled(true);

        std::unique_ptr<Timer> poker = loop.createTimer();
        poker->setHandler([&] {
            poker->setEnabled(false);
            c.poke(*timer);
        });
        poker->setInterval(200);
        poker->setEnabled(true);

        ASSERT_TRUE(runUntilOr(5000, [&] { return ticked; })) << c.name;
        long firstTick = msSince(start);
        if (c.restarts) {
            // The period runs from the poke at 200 ms: not before 500 ms.
            EXPECT_GE(firstTick, 495) << c.name;
        } else {
            // Due at 300 ms; anything before the 500 ms of a restart shows it was not touched.
            EXPECT_LT(firstTick, 495) << c.name;
        }
    }
}

TEST_F(QtEventLoopTest, HandlerMaySwitchItsOwnTimerOffAndOnOrDestroyIt) {
    std::unique_ptr<Timer> once = loop.createTimer();
    int onceTicks = 0;
    once->setHandler([&] {
        ++onceTicks;
        once->setEnabled(false);
    });
    once->setInterval(10);
    once->setEnabled(true);

    std::unique_ptr<Timer> toggled = loop.createTimer();
    int toggledTicks = 0;
    toggled->setHandler([&] {
        ++toggledTicks;
        toggled->setEnabled(false);
        toggled->setEnabled(true);
    });
    toggled->setInterval(10);
    toggled->setEnabled(true);

    std::unique_ptr<Timer> doomed = loop.createTimer();
    int doomedTicks = 0;
    doomed->setHandler([&] {
        ++doomedTicks;
        doomed.reset();
    });
    doomed->setInterval(10);
    doomed->setEnabled(true);

    EXPECT_TRUE(runUntilOr(3000, [&] { return toggledTicks >= 4; }));
    runFor(50);
    EXPECT_EQ(onceTicks, 1);
    EXPECT_FALSE(once->enabled());
    EXPECT_TRUE(toggled->enabled());
    EXPECT_EQ(doomedTicks, 1);
    EXPECT_EQ(doomed, nullptr);
}

TEST_F(QtEventLoopTest, PendingEventsRunWithoutWaitingAndPostsKeepTheirOrder) {
    std::vector<int> order;
    loop.post([&] { order.push_back(1); });
    loop.post([&] { order.push_back(2); });
    EXPECT_TRUE(order.empty());  // later events, never inside post
    loop.processPendingEvents();
    EXPECT_EQ(order, (std::vector<int>{1, 2}));

    // Nothing pending: returns at once rather than waiting for the timer below.
    std::unique_ptr<Timer> slow = loop.createTimer();
    bool slowTicked = false;
    slow->setHandler([&] { slowTicked = true; });
    slow->setInterval(5000);
    slow->setEnabled(true);
    auto start = Clock::now();
    loop.processPendingEvents();
    EXPECT_LT(msSince(start), 2500);
    EXPECT_FALSE(slowTicked);
}

TEST_F(QtEventLoopTest, CallsPostedToALoopThatIsGoneAreDropped) {
    bool ran = false;
    {
        QtEventLoop shortLived;
        shortLived.post([&] { ran = true; });
    }
    loop.processPendingEvents();
    EXPECT_FALSE(ran);
}

TEST_F(QtEventLoopTest, RunUntilSleepsUntilAnEventSetsTheFlag) {
    std::unique_ptr<Timer> timer = loop.createTimer();
    bool done = false;
    timer->setHandler([&] { done = true; });
    timer->setInterval(300);
    timer->setEnabled(true);

    auto start = Clock::now();
    double cpuBefore = processCpuMs();
    loop.runUntil([&] { return done; });
    double cpu = processCpuMs() - cpuBefore;
    long wall = msSince(start);

    EXPECT_TRUE(done);
    EXPECT_GE(wall, 295);
    // A loop that spins burns about as much CPU as wall time; one that sleeps almost none.
    EXPECT_LT(cpu, static_cast<double>(wall) / 4) << "cpu " << cpu << " ms over " << wall;

    // Already done: returns without handling anything.
    bool ran = false;
    loop.post([&] { ran = true; });
    loop.runUntil([] { return true; });
    EXPECT_FALSE(ran);
    loop.processPendingEvents();
    EXPECT_TRUE(ran);
}

TEST_F(QtEventLoopTest, RunUntilNestsInsideAHandler) {
    std::vector<std::string> trace;
    bool innerDone = false;
    bool outerDone = false;

    std::unique_ptr<Timer> inner = loop.createTimer();
    inner->setHandler([&] {
        inner->setEnabled(false);
        trace.push_back("inner tick");
        loop.post([&] {
            trace.push_back("posted inside");
            innerDone = true;
        });
    });
    inner->setInterval(30);

    std::unique_ptr<Timer> outer = loop.createTimer();
    outer->setHandler([&] {
        outer->setEnabled(false);
        trace.push_back("outer tick");
        inner->setEnabled(true);
        loop.runUntil([&] { return innerDone; });
        trace.push_back("nested loop returned");
        outerDone = true;
    });
    outer->setInterval(10);
    outer->setEnabled(true);

    EXPECT_TRUE(runUntilOr(5000, [&] { return outerDone; }));
    EXPECT_EQ(trace, (std::vector<std::string>{"outer tick", "inner tick", "posted inside",
                                               "nested loop returned"}));
}

TEST_F(QtEventLoopTest, DescriptorWatchesReportReadinessWhileEnabledAndMayEndThemselves) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);

    int writable = 0;
    std::unique_ptr<FdWatch> writeWatch;
    writeWatch = loop.watchFd(fds[1], FdReadiness::Write, [&] {
        ++writable;
        writeWatch.reset();  // ends itself from inside its own call
    });
    EXPECT_EQ(writable, 0);  // never inside watchFd
    EXPECT_TRUE(runUntilOr(2000, [&] { return writable > 0; }));
    runFor(30);
    EXPECT_EQ(writable, 1);

    int readable = 0;
    std::unique_ptr<FdWatch> readWatch =
        loop.watchFd(fds[0], FdReadiness::Read, [&] { ++readable; });
    runFor(50);
    EXPECT_EQ(readable, 0);  // nothing written yet

    ASSERT_EQ(write(fds[1], "x", 1), 1);
    EXPECT_TRUE(runUntilOr(2000, [&] { return readable >= 2; }));  // level-triggered

    readWatch->setEnabled(false);
    int before = readable;
    runFor(50);
    EXPECT_EQ(readable, before);

    char byte;
    ASSERT_EQ(read(fds[0], &byte, 1), 1);
    readWatch->setEnabled(true);
    runFor(50);
    EXPECT_EQ(readable, before);  // drained: nothing to report

    readWatch.reset();
    close(fds[0]);
    close(fds[1]);
}

}  // namespace
}  // namespace velkora
