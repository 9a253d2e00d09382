#pragma once

#include <chrono>

namespace tavolen::platform {

// A limit on the processor time that one thread spends on a piece of work. A busy machine does
// not make the work fail sooner: time the thread spends waiting for a core does not count.
// Checks are cheap: the monotonic clock says when the limit may be past (the thread cannot have
// worked longer than the time elapsed), and only then is the thread's own processor clock read,
// which is a system call. Work shorter than `grace` never reads it; the limit counts from the
// first reading, so it may be exceeded by at most the work done before that. Construct and check
// on the same thread.
class WorkDeadline {
  public:
    static constexpr std::chrono::milliseconds grace{1};

    explicit WorkDeadline(std::chrono::nanoseconds limit);

    // True once the thread has spent the limit (and from then on).
    bool passed();

  private:
    std::chrono::nanoseconds limit_;
    std::chrono::steady_clock::time_point next_look_;
    std::chrono::nanoseconds end_{};  // on the thread's processor clock, from the first look
    bool looked_ = false;
    bool passed_ = false;
};

}  // namespace tavolen::platform
