#include "platform/EventWait.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <thread>

#include "platform/ticks.h"
#include "tests/support/Application.h"

namespace {

using testsupport::EnsureApplication;

class EventWait : public ::testing::Test {
  protected:
    void SetUp() override { EnsureApplication(); }
};

TEST_F(EventWait, PendingEventsRunBeforeTheConditionIsJudged) {
    bool flag = false;
    std::vector<std::string> order;
    QTimer::singleShot(0, [&] {
        order.push_back("event");
        flag = true;
    });
    const uint32_t t0 = rt::GetTickCount();
    const bool done = rt::WaitUntil(
        [&] {
            order.push_back(flag ? "true" : "false");
            return flag;
        },
        10000);
    EXPECT_TRUE(done);
    ASSERT_GE(order.size(), 2u);
    EXPECT_EQ(order[order.size() - 2], "event");
    EXPECT_EQ(order.back(), "true");
    EXPECT_LT(rt::GetTickCount() - t0, 5000u);
}

TEST_F(EventWait, HeldConditionIsJudgedAgainAfterThePendingEvents) {
    // The condition holds when the wait starts, but a pending event undoes
    // it; a later event makes it hold again.
    bool flag = true;
    bool undone = false, redone = false;
    QTimer::singleShot(0, [&] {
        flag = false;
        undone = true;
        QTimer::singleShot(20, [&] {
            flag = true;
            redone = true;
        });
    });
    EXPECT_TRUE(rt::WaitUntil([&] { return flag; }, 10000));
    EXPECT_TRUE(undone);
    EXPECT_TRUE(redone);
}

TEST_F(EventWait, AlreadySatisfiedConditionEndsAtOnce) {
    int tests = 0;
    EXPECT_TRUE(rt::WaitUntil(
        [&] {
            ++tests;
            return true;
        },
        10000));
    EXPECT_LE(tests, 2);
}

TEST_F(EventWait, RunsToTheDeadlineWithoutSpinning) {
    int tests = 0;
    const uint32_t t0 = rt::GetTickCount();
    EXPECT_FALSE(rt::WaitUntil(
        [&] {
            ++tests;
            return false;
        },
        150));
    EXPECT_GE(rt::GetTickCount() - t0, 150u);
    // With no event in between, the condition is tested only when the
    // deadline timer wakes the wait: a spinning wait would test it thousands
    // of times.
    EXPECT_LT(tests, 20);
}

TEST_F(EventWait, ConditionMetByALaterEvent) {
    bool flag = false;
    int tests = 0;
    QTimer::singleShot(30, [&] { flag = true; });
    EXPECT_TRUE(rt::WaitUntil(
        [&] {
            ++tests;
            return flag;
        },
        10000));
    EXPECT_LT(tests, 20);
}

TEST_F(EventWait, WaitsNestInsideEventHandlers) {
    bool outerFlag = false, innerDone = false;
    int nestedDepth = 0;
    QTimer::singleShot(0, [&] {
        bool innerFlag = false;
        QTimer::singleShot(10, [&] { innerFlag = true; });
        nestedDepth = rt::ActiveWaits() + 1;
        innerDone = rt::WaitUntil([&] { return innerFlag; }, 10000);
        outerFlag = true;
    });
    EXPECT_TRUE(rt::WaitUntil([&] { return outerFlag; }, 10000));
    EXPECT_TRUE(innerDone);
    EXPECT_EQ(nestedDepth, 2);
    EXPECT_EQ(rt::ActiveWaits(), 0);
}

TEST_F(EventWait, AnotherThreadWakesTheWait) {
    std::atomic<bool> flag{false};
    std::thread other([&] {
        // Give the wait time to block first.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        flag = true;
        rt::WakeWaits();
    });
    const uint32_t t0 = rt::GetTickCount();
    EXPECT_TRUE(rt::WaitUntil([&] { return flag.load(); }, 20000));
    // Without the wake-up the wait would only notice at its 20 s deadline.
    EXPECT_LT(rt::GetTickCount() - t0, 10000u);
    other.join();
}

TEST_F(EventWait, DoEventsRunsPendingEventsOnce) {
    int runs = 0;
    QTimer::singleShot(0, [&] { ++runs; });
    rt::DoEvents();
    EXPECT_EQ(runs, 1);
    rt::DoEvents();
    EXPECT_EQ(runs, 1);
}

TEST_F(EventWait, ThreadWithoutEventLoopStillHonoursTheDeadline) {
    bool result = true;
    uint32_t elapsed = 0;
    std::thread plain([&] {
        const uint32_t t0 = rt::GetTickCount();
        result = rt::WaitUntil([] { return false; }, 40);
        elapsed = rt::GetTickCount() - t0;
    });
    plain.join();
    EXPECT_FALSE(result);
    EXPECT_GE(elapsed, 40u);
}

// The deadline timer outlives a wait; each wait must still end at its own
// deadline: a short wait after a long one, an inner wait shorter than the
// outer one, and an outer wait whose deadline passes inside a longer inner
// wait (it ends, false, once the inner one returns).
TEST_F(EventWait, EveryWaitEndsAtItsOwnDeadline) {
    bool flag = false;
    QTimer::singleShot(10, [&] { flag = true; });
    EXPECT_TRUE(rt::WaitUntil([&] { return flag; }, 60000));  // blocks once
    uint32_t t0 = rt::GetTickCount();
    EXPECT_FALSE(rt::WaitUntil([] { return false; }, 100));
    EXPECT_LT(rt::GetTickCount() - t0, 2000u);

    struct Case {
        const char* what;
        uint32_t outerMs, innerMs;
    };
    for (const Case& c : {Case{"inner shorter", 400, 100}, Case{"inner longer", 100, 400}}) {
        SCOPED_TRACE(c.what);
        uint32_t innerTook = 0;
        QTimer::singleShot(0, [&] {
            const uint32_t i0 = rt::GetTickCount();
            EXPECT_FALSE(rt::WaitUntil([] { return false; }, c.innerMs));
            innerTook = rt::GetTickCount() - i0;
        });
        t0 = rt::GetTickCount();
        EXPECT_FALSE(rt::WaitUntil([] { return false; }, c.outerMs));
        const uint32_t outerTook = rt::GetTickCount() - t0;
        EXPECT_GE(innerTook, c.innerMs);
        EXPECT_LT(innerTook, c.innerMs + 1500);
        EXPECT_GE(outerTook, std::max(c.outerMs, c.innerMs));
        EXPECT_LT(outerTook, std::max(c.outerMs, c.innerMs) + 1500);
    }
}

}  // namespace
