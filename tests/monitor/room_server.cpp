#include "room_server.h"

namespace tavolen::testing {

std::string percent_encode(const std::string& text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 3);
    for (unsigned char c : text) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

RoomServer::RoomServer(Reply reply) : reply_(std::move(reply)) {
    server_.server().set_keep_alive_timeout(1);
    server_.server().Post("/ajax/msg",
                          [this](const httplib::Request& request, httplib::Response& response) {
                              int number;
                              {
                                  std::unique_lock lock(mutex_);
                                  number = static_cast<int>(bodies_.size());
                                  bodies_.push_back(request.body);
                                  changed_.notify_all();
                                  changed_.wait(lock, [this] { return !held_; });
                              }
                              response.set_content(reply_(number), "text/plain");
                          });
    server_.start();
}

RoomServer::~RoomServer() {
    release();
    server_.stop();
}

std::string RoomServer::host() const {
    return "127.0.0.1:" + std::to_string(server_.port());
}

int RoomServer::requests() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(bodies_.size());
}

std::vector<std::string> RoomServer::bodies() const {
    std::lock_guard lock(mutex_);
    return bodies_;
}

bool RoomServer::wait_for_requests(int n, std::chrono::seconds deadline) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, deadline, [&] { return static_cast<int>(bodies_.size()) >= n; });
}

void RoomServer::hold() {
    std::lock_guard lock(mutex_);
    held_ = true;
}

void RoomServer::release() {
    std::lock_guard lock(mutex_);
    held_ = false;
    changed_.notify_all();
}

}  // namespace tavolen::testing
