#include "platform/clock/work_deadline.h"

#include <time.h>

#include <algorithm>

namespace tavolen::platform {
namespace {

using std::chrono::nanoseconds;
using std::chrono::steady_clock;

// The calling thread's processor time; the monotonic clock where the system has no such clock,
// which makes the limit one of elapsed time.
nanoseconds thread_time() {
    timespec now{};
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now) != 0) {
        return std::chrono::duration_cast<nanoseconds>(steady_clock::now().time_since_epoch());
    }
    return std::chrono::seconds(now.tv_sec) + nanoseconds(now.tv_nsec);
}

}  // namespace

WorkDeadline::WorkDeadline(nanoseconds limit)
    : limit_(limit), next_look_(steady_clock::now() + std::min<nanoseconds>(limit, grace)) {}

bool WorkDeadline::passed() {
    if (passed_) return true;
    const steady_clock::time_point now = steady_clock::now();
    if (now < next_look_) return false;
    const nanoseconds used_up_to = thread_time();
    if (!looked_) {
        looked_ = true;
        end_ = used_up_to + limit_;
    }
    if (used_up_to >= end_) return passed_ = true;
    // The thread cannot spend what is left in less elapsed time than that.
    next_look_ = now + (end_ - used_up_to);
    return false;
}

}  // namespace tavolen::platform
