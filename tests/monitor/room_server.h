#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "demo_room/room_chat.h"
#include "local_server.h"

namespace tavolen::testing {

// Percent-encodes every byte but the unreserved ASCII characters, as the room endpoint sends
// its replies.
using demo::percent_encode;

// A room-message endpoint on 127.0.0.1. Each POST to /ajax/msg is answered by the reply
// function with the request's number (0 for the first); the function may be called on several
// server threads at once.
class RoomServer {
  public:
    using Reply = std::function<std::string(int request)>;

    explicit RoomServer(Reply reply);
    ~RoomServer();

    // "127.0.0.1:<port>"
    std::string host() const;

    int requests() const;
    std::vector<std::string> bodies() const;
    // True once at least n requests have arrived (a request counts on arrival, before its
    // reply); false after the deadline, which only guards against a hang.
    bool wait_for_requests(int n, std::chrono::seconds deadline = std::chrono::seconds(60));

    // While held, requests that arrive are not answered until release().
    void hold();
    void release();

  private:
    Reply reply_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> bodies_;
    bool held_ = false;
    test::LocalServer server_;  // last: stops before the members its handler uses go
};

}  // namespace tavolen::testing
