#include "platform/clock/work_deadline.h"

#include <gtest/gtest.h>
#include <time.h>

#include <chrono>
#include <thread>

namespace tavolen::platform {
namespace {

using namespace std::chrono_literals;

std::chrono::nanoseconds thread_time() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

TEST(WorkDeadline, PassesOnceTheThreadHasWorkedItsLimit) {
    const auto before = thread_time();
    const auto wall_before = std::chrono::steady_clock::now();
    WorkDeadline deadline(50ms);
    long long checks = 0;
    while (!deadline.passed()) ++checks;
    const auto worked = thread_time() - before;
    EXPECT_GE(worked, 50ms);
    EXPECT_LT(std::chrono::steady_clock::now() - wall_before, 30s);  // it did end
    EXPECT_GT(checks, 0);
    EXPECT_TRUE(deadline.passed());  // and stays passed
}

TEST(WorkDeadline, TimeSpentNotWorkingDoesNotCount) {
    WorkDeadline deadline(40ms);
    // Some work, checked as it goes, past the grace in which the processor clock is not read.
    const auto wall_start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - wall_start < 5ms) ASSERT_FALSE(deadline.passed());
    // Then a thread kept from its core (here: asleep) three times as long as the limit: it has
    // not spent the limit.
    std::this_thread::sleep_for(120ms);
    EXPECT_FALSE(deadline.passed());
    // Working from here on, it still runs out.
    const auto before = thread_time();
    while (!deadline.passed()) {
    }
    EXPECT_GE(thread_time() - before, 30ms);
}

TEST(WorkDeadline, ZeroLimitHasPassedAtOnce) {
    WorkDeadline deadline(0ms);
    EXPECT_TRUE(deadline.passed());
}

}  // namespace
}  // namespace tavolen::platform
