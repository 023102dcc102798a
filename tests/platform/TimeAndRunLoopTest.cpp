#include "platform/Date.h"
#include "platform/RunLoop.h"
#include "platform/headless/VirtualClock.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

using platform::Date;
using platform::Nanoseconds;
using platform::RunLoop;
using platform::TimerHandle;
using platform::headless::VirtualClock;

namespace {

constexpr Nanoseconds ms = 1'000'000;

class TimeAndRunLoop : public ::testing::Test {
protected:
    TimeAndRunLoop() { clock.attach(loop); }
    VirtualClock clock;
    RunLoop loop{clock};
};

TEST_F(TimeAndRunLoop, TimerFiredAtOnceThenEveryIntervalOnTheGrid)
{
    std::vector<Nanoseconds> firedAt;
    TimerHandle tick = loop.scheduledTimer(0.2, [&] { firedAt.push_back(clock.now()); });
    tick->fire();
    for (int i = 0; i < 25; ++i)
        clock.advance(0.2);

    ASSERT_EQ(firedAt.size(), 26u);
    for (std::size_t i = 0; i < firedAt.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(firedAt[i], static_cast<Nanoseconds>(i) * 200 * ms);
    }
    EXPECT_EQ(clock.now(), 5'000 * ms);
    EXPECT_EQ(tick->nextFireTime(), 5'200 * ms);
}

TEST_F(TimeAndRunLoop, OneLongAdvanceStopsAtEveryDeadline)
{
    std::vector<Nanoseconds> firedAt;
    TimerHandle tick = loop.scheduledTimer(0.3, [&] { firedAt.push_back(clock.now()); });
    clock.advance(1.0);
    EXPECT_EQ(firedAt, (std::vector<Nanoseconds>{300 * ms, 600 * ms, 900 * ms}));
    EXPECT_EQ(clock.now(), 1'000 * ms);
}

TEST_F(TimeAndRunLoop, FireDoesNotMoveTheSchedule)
{
    int fired = 0;
    TimerHandle tick = loop.scheduledTimer(0.2, [&] { ++fired; });
    clock.advance(0.1);
    tick->fire();
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(tick->nextFireTime(), 200 * ms);
    clock.advance(0.1);
    EXPECT_EQ(fired, 2);
}

TEST_F(TimeAndRunLoop, InvalidateInsideTheActionStopsTheTimer)
{
    int fired = 0;
    TimerHandle tick;
    tick = loop.scheduledTimer(0.2, [&] {
        if (++fired == 3)
            tick->invalidate();
    });
    clock.advance(2.0);
    EXPECT_EQ(fired, 3);
    EXPECT_FALSE(loop.nextDeadline().has_value());
    tick->fire();
    EXPECT_EQ(fired, 3);
}

TEST_F(TimeAndRunLoop, DroppingTheHandleInsideTheActionIsSafe)
{
    int fired = 0;
    TimerHandle tick;
    tick = loop.scheduledTimer(0.2, [&] {
        ++fired;
        tick.reset();
    });
    clock.advance(1.0);
    EXPECT_EQ(fired, 1);
}

TEST_F(TimeAndRunLoop, LateRunCoalescesMissedDeadlines)
{
    // Driven as a real backend would: the clock jumps, then the loop runs once.
    int fired = 0;
    TimerHandle tick = loop.scheduledTimer(0.2, [&] { ++fired; });
    clock.setNow(750 * ms);
    EXPECT_TRUE(loop.runDue());
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(tick->nextFireTime(), 800 * ms);

    clock.setNow(800 * ms);
    loop.runDue();
    EXPECT_EQ(fired, 2);
    EXPECT_EQ(tick->nextFireTime(), 1'000 * ms);
    EXPECT_FALSE(loop.runDue());
}

TEST_F(TimeAndRunLoop, ATolerantTimerRidesAnotherWakeUpAndKeepsItsGrid)
{
    // Driven as a real backend would: it sleeps until nextDeadline() or until
    // something else wakes it, then runs what is due.
    std::vector<Nanoseconds> firedAt;
    TimerHandle bus = loop.scheduledTimer(0.2, [&] { firedAt.push_back(clock.now()); });
    bus->setTolerance(0.1);
    // The loop need not wake for it before its deadline plus the tolerance...
    EXPECT_EQ(loop.nextDeadline(), 300 * ms);
    // ...but it fires at any wake-up after its deadline, and stays on its grid.
    clock.setNow(230 * ms);
    EXPECT_TRUE(loop.runDue());
    EXPECT_EQ(bus->nextFireTime(), 400 * ms);
    clock.setNow(380 * ms);
    EXPECT_FALSE(loop.runDue());
    // Woken for nothing else, it fires at the end of its tolerance.
    clock.setNow(*loop.nextDeadline());
    EXPECT_TRUE(loop.runDue());
    EXPECT_EQ(firedAt, (std::vector<Nanoseconds>{230 * ms, 500 * ms}));
    EXPECT_EQ(loop.timerFirings(), 2u);

    // A tolerance past the interval is held to the interval; a negative one is none.
    bus->setTolerance(5);
    EXPECT_DOUBLE_EQ(bus->tolerance(), 0.2);
    bus->setTolerance(-1);
    EXPECT_EQ(loop.nextDeadline(), bus->nextFireTime());
}

TEST_F(TimeAndRunLoop, DueTimersRunByDeadlineThenCreationOrder)
{
    std::string order;
    TimerHandle slow = loop.scheduledTimer(0.3, [&] { order += 'S'; });
    TimerHandle first = loop.scheduledTimer(0.1, [&] { order += 'a'; });
    TimerHandle second = loop.scheduledTimer(0.1, [&] { order += 'b'; });
    clock.setNow(300 * ms);
    loop.runDue();
    // All three were due at once; each ran once, 0.1 s timers (earlier deadlines) first.
    EXPECT_EQ(order, "abS");

    order.clear();
    clock.advance(0.3);
    // At 0.6 s all three meet again; the oldest timer goes first.
    EXPECT_EQ(order, "abab" "Sab");
}

TEST_F(TimeAndRunLoop, DeadlineExactlyNowIsNotPast)
{
    const Date deadline = Date::dateWithTimeIntervalSinceNow(clock, 5.0);
    for (int i = 0; i < 25; ++i)
        clock.advance(0.2);
    EXPECT_EQ(deadline.timeIntervalSinceNow(clock), 0.0);
    EXPECT_FALSE(deadline.timeIntervalSinceNow(clock) < 0);
    clock.setNow(clock.now() + 1);
    EXPECT_LT(deadline.timeIntervalSinceNow(clock), 0);
    EXPECT_EQ(Date().timeIntervalSinceNow(clock), 0.0);
}

TEST_F(TimeAndRunLoop, WorkPostedFromAnotherThreadRunsOnTheNextTurnInOrder)
{
    int wakeUps = 0;
    loop.setWakeUp([&] { ++wakeUps; });
    std::string ran;
    std::thread producer([&] {
        loop.post([&] { ran += '1'; });
        loop.post([&] { ran += '2'; });
    });
    producer.join();

    EXPECT_EQ(wakeUps, 2);
    EXPECT_EQ(ran, "");
    EXPECT_EQ(loop.nextDeadline(), clock.now());
    EXPECT_TRUE(loop.runDue());
    EXPECT_EQ(ran, "12");
    EXPECT_FALSE(loop.hasPostedWork());
}

TEST_F(TimeAndRunLoop, WorkPostedByATimerRunsBeforeTheNextTimer)
{
    std::string order;
    TimerHandle a = loop.scheduledTimer(0.2, [&] {
        order += 'a';
        loop.post([&] { order += 'p'; });
    });
    TimerHandle b = loop.scheduledTimer(0.2, [&] { order += 'b'; });
    clock.advance(0.2);
    EXPECT_EQ(order, "apb");
}

TEST_F(TimeAndRunLoop, ObserversRunAfterEachStep)
{
    std::vector<Nanoseconds> seen;
    clock.addAdvanceObserver([&] { seen.push_back(clock.now()); });
    TimerHandle tick = loop.scheduledTimer(0.4, [] {});
    clock.advance(1.0);
    EXPECT_EQ(seen, (std::vector<Nanoseconds>{400 * ms, 800 * ms, 1'000 * ms}));
}

} // namespace
