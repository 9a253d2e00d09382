// The demo room: a local room-message endpoint for trying Tavolen without a live service.
//
//   tavolen_demo_room [port]      (default 18080; listens on 127.0.0.1 only)
//
// POST /ajax/msg with the form body roomid=<n> answers the room's latest messages as
// percent-encoded UTF-8 JSON. Every room number has its own chat. Stop it with Ctrl+C or kill.

#include <httplib.h>

#include <charconv>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "demo_room/room_chat.h"

namespace {

using tavolen::demo::RoomChat;

// Rooms people have asked for; the oldest goes when too many are open, so that a client
// trying room numbers cannot make us grow without bound.
class Rooms {
  public:
    std::string reply_for(const std::string& room) {
        const auto now = RoomChat::Clock::now();
        std::lock_guard lock(mutex_);
        auto found = rooms_.find(room);
        if (found == rooms_.end()) {
            if (rooms_.size() >= max_rooms) rooms_.erase(rooms_.begin());
            const std::uint64_t seed = std::hash<std::string>{}(room) ^
                                       static_cast<std::uint64_t>(now.time_since_epoch().count());
            found = rooms_.emplace(room, std::make_unique<RoomChat>(seed, now)).first;
        }
        found->second->advance_to(now);
        return found->second->reply_json();
    }

  private:
    static constexpr std::size_t max_rooms = 64;
    std::mutex mutex_;
    std::map<std::string, std::unique_ptr<RoomChat>> rooms_;
};

}  // namespace

int main(int argc, char** argv) {
    int port = 18080;
    if (argc > 1) {
        const std::string_view arg = argv[1];
        const auto [end, error] = std::from_chars(arg.data(), arg.data() + arg.size(), port);
        if (error != std::errc() || end != arg.data() + arg.size() || port < 1 || port > 65535) {
            std::fprintf(stderr, "usage: %s [port]   (port 1-65535, default 18080)\n", argv[0]);
            return 2;
        }
    }

    Rooms rooms;
    httplib::Server server;
    // Without it a kept-alive connection stalls ~40 ms per request (Nagle and delayed ACK).
    server.set_tcp_nodelay(true);
    // A room request is a few bytes; nobody gets to make us buffer more.
    server.set_payload_max_length(4096);
    server.Post("/ajax/msg", [&](const httplib::Request& request, httplib::Response& response) {
        const std::string room = tavolen::demo::room_number_of(request.body);
        const std::string json = room.empty()
                                     ? tavolen::demo::error_reply_json(1001, "房间号不能为空")
                                     : rooms.reply_for(room);
        response.set_content(tavolen::demo::percent_encode(json), "text/plain");
    });

    std::printf("demo room: listening on http://127.0.0.1:%d/ajax/msg\n", port);
    std::fflush(stdout);
    if (!server.listen("127.0.0.1", port)) {
        std::fprintf(stderr, "demo room: cannot listen on 127.0.0.1:%d (in use?)\n", port);
        return 1;
    }
    return 0;
}
