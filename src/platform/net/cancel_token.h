#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

namespace tavolen::net {

// A one-way switch that one thread trips and others watch. A transfer that blocks registers a
// waker here, so that cancel() interrupts it at once instead of at its next timeout.
class CancelToken {
  public:
    using Waker = std::function<void()>;

    void cancel() {
        // Wakers run under the lock, so that remove_waker() returning means its waker is done
        // and its owner may go away.
        std::lock_guard lock(mutex_);
        if (cancelled_.exchange(true)) return;
        for (auto& [id, wake] : wakers_) wake();
    }

    bool cancelled() const { return cancelled_.load(std::memory_order_acquire); }

    // Registers a waker and answers its id (0 when the token is already tripped: the caller
    // must not block then). The waker runs on the cancelling thread; it must be quick and
    // must not call back into the token.
    std::uint64_t add_waker(Waker wake) {
        std::lock_guard lock(mutex_);
        if (cancelled_) return 0;
        std::uint64_t id = ++last_id_;
        wakers_.emplace(id, std::move(wake));
        return id;
    }

    void remove_waker(std::uint64_t id) {
        std::lock_guard lock(mutex_);
        wakers_.erase(id);
    }

  private:
    std::atomic<bool> cancelled_{false};
    std::mutex mutex_;
    std::map<std::uint64_t, Waker> wakers_;
    std::uint64_t last_id_ = 0;
};

using CancelTokenPtr = std::shared_ptr<CancelToken>;

inline CancelTokenPtr make_cancel_token() {
    return std::make_shared<CancelToken>();
}

}  // namespace tavolen::net
