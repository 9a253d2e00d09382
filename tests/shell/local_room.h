#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>

#include "monitor/poll_loop.h"

namespace tavolen::shell_test {

// One message as the endpoint writes it. uid is written into the JSON as it stands (a number,
// or a quoted string).
struct RoomMessage {
    std::string uid;
    std::string nickname;  // UTF-8
    std::string text;      // UTF-8
    std::string timeline;
};

// {"data":{"room":[...],"admin":[...]}} as UTF-8 JSON.
std::string reply_json(const std::vector<RoomMessage>& room,
                       const std::vector<RoomMessage>& admin = {});

// A room-message endpoint on 127.0.0.1 (ephemeral port). Each POST /ajax/msg is answered with
// reply(n) for the n-th request (from 0), percent-encoded as the real endpoint does.
class LocalRoom {
  public:
    using Reply = std::function<std::string(int request)>;

    explicit LocalRoom(Reply reply);
    ~LocalRoom();

    RoomEndpoint endpoint() const;
    int requests() const;
    // The distinct bodies of the requests numbered from `first` on (all of them by default).
    std::set<std::string> bodies(int first = 0) const;

  private:
    Reply reply_;
    mutable std::mutex mutex_;
    std::vector<std::string> bodies_;  // by request number
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
};

}  // namespace tavolen::shell_test
