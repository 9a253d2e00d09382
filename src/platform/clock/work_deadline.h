#pragma once

#include <chrono>

namespace tavolen::platform {

// A limit on the processor time that one thread spends on a piece of work, counted from
// construction. A busy machine does not make the work fail sooner: time the thread spends
// waiting for a core does not count. Checks are cheap: the monotonic clock says when the limit
// may be past (it can be no earlier than that), and only then is the thread's own processor
// clock read. Construct and check on the same thread.
class WorkDeadline {
  public:
    explicit WorkDeadline(std::chrono::nanoseconds limit);

    // True once the thread has spent the limit (and from then on).
    bool passed();

  private:
    std::chrono::steady_clock::time_point next_look_;
    std::chrono::nanoseconds end_;  // on the thread's processor clock
    bool passed_ = false;
};

}  // namespace tavolen::platform
