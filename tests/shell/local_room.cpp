#include "local_room.h"

#include <algorithm>

#include "demo_room/room_chat.h"

namespace tavolen::shell_test {
namespace {

void append_string(std::string& out, const std::string& text) {
    out += '"';
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    out += '"';
}

void append_messages(std::string& out, const std::vector<RoomMessage>& messages) {
    out += '[';
    for (std::size_t i = 0; i < messages.size(); ++i) {
        const RoomMessage& m = messages[i];
        if (i) out += ',';
        out += "{\"uid\":" + m.uid + ",\"nickname\":";
        append_string(out, m.nickname);
        out += ",\"text\":";
        append_string(out, m.text);
        out += ",\"timeline\":";
        append_string(out, m.timeline);
        out += '}';
    }
    out += ']';
}

}  // namespace

std::string reply_json(const std::vector<RoomMessage>& room,
                       const std::vector<RoomMessage>& admin) {
    std::string out = "{\"data\":{\"room\":";
    append_messages(out, room);
    out += ",\"admin\":";
    append_messages(out, admin);
    out += "}}";
    return out;
}

LocalRoom::LocalRoom(Reply reply) : reply_(std::move(reply)) {
    server_.set_tcp_nodelay(true);
    // Short waits on idle connections, so that the server stops quickly at the end of a test.
    server_.set_keep_alive_timeout(1);
    server_.set_read_timeout(1, 0);
    server_.Post("/ajax/msg", [this](const httplib::Request& request, httplib::Response& response) {
        int n;
        {
            std::lock_guard lock(mutex_);
            n = static_cast<int>(bodies_.size());
            bodies_.push_back(request.body);
        }
        response.set_content(demo::percent_encode(reply_(n)), "text/plain");
    });
    // The socket listens from here on; requests wait in its queue until the thread accepts.
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    // A stop before the server runs would be lost, and the destructor would wait forever.
    while (!server_.is_running()) std::this_thread::yield();
}

LocalRoom::~LocalRoom() {
    server_.stop();
    thread_.join();
}

RoomEndpoint LocalRoom::endpoint() const {
    return RoomEndpoint{"127.0.0.1:" + std::to_string(port_)};
}

int LocalRoom::requests() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(bodies_.size());
}

std::set<std::string> LocalRoom::bodies(int first) const {
    std::lock_guard lock(mutex_);
    return {bodies_.begin() + std::clamp<std::ptrdiff_t>(first, 0, bodies_.size()),
            bodies_.end()};
}

}  // namespace tavolen::shell_test
