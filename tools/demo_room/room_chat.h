#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <random>
#include <string>
#include <vector>

namespace tavolen::demo {

struct ChatMessage {
    std::int64_t uid = 0;
    std::string nickname;  // UTF-8
    std::string text;      // UTF-8
    std::string timeline;  // "HH:MM:SS", local time
};

// The chat of one demo room. Messages arrive about once a second, now and then in a burst of
// several within the same second; viewers repeat each other ("666", "哈哈哈"), a room admin
// speaks every twenty seconds or so, and an emoji turns up now and then. Every reply carries the
// latest messages again, as the real endpoint does, so a client sees each message many times.
class RoomChat {
  public:
    using Clock = std::chrono::system_clock;

    RoomChat(std::uint64_t seed, Clock::time_point now);

    // Lets the chat run on until `now`.
    void advance_to(Clock::time_point now);

    // The reply body as UTF-8 JSON: {"code":0,"msg":"ok","data":{"room":[...],"admin":[...]}},
    // oldest message first.
    std::string reply_json() const;

    const std::deque<ChatMessage>& room_messages() const { return room_; }
    const std::deque<ChatMessage>& admin_messages() const { return admin_; }

    // How many messages each reply repeats.
    static constexpr std::size_t room_window = 20;
    static constexpr std::size_t admin_window = 3;

  private:
    struct Viewer {
        std::int64_t uid;
        std::string nickname;
    };

    void say(Clock::time_point when);
    void admin_says(Clock::time_point when);
    Clock::duration next_gap();

    std::mt19937_64 random_;
    std::vector<Viewer> viewers_;
    std::vector<Viewer> admins_;
    std::deque<ChatMessage> room_;
    std::deque<ChatMessage> admin_;
    Clock::time_point next_message_;
    Clock::time_point next_admin_;
};

// The JSON reply for a request the endpoint cannot serve (no room number).
std::string error_reply_json(int code, const std::string& message);

// Percent-encodes every byte except the unreserved ASCII characters, as the endpoint sends its
// replies.
std::string percent_encode(const std::string& text);

// The room number of a "roomid=<digits>" form body, or the empty string when the body carries
// none (missing, empty, not all digits, or longer than 13 digits).
std::string room_number_of(const std::string& body);

}  // namespace tavolen::demo
