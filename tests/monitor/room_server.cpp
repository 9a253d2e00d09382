#include "room_server.h"

namespace tavolen::testing {

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
