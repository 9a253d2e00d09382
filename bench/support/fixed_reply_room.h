#pragma once

#include <httplib.h>

#include <atomic>
#include <string>
#include <thread>

namespace tavolen::bench {

// The room endpoint on 127.0.0.1 (an ephemeral port), answering every POST to /ajax/msg with the
// same body, already encoded as the endpoint sends it. Counts the requests it answers.
class FixedReplyRoom {
  public:
    explicit FixedReplyRoom(std::string body) : body_(std::move(body)) {
        server_.set_tcp_nodelay(true);
        server_.Post("/ajax/msg", [this](const httplib::Request&, httplib::Response& response) {
            ++requests_;
            response.set_content(body_, "text/plain");
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        // A stop before the server runs would be lost, and the destructor would wait forever.
        while (!server_.is_running()) std::this_thread::yield();
    }
    ~FixedReplyRoom() {
        server_.stop();
        thread_.join();
    }
    FixedReplyRoom(const FixedReplyRoom&) = delete;
    FixedReplyRoom& operator=(const FixedReplyRoom&) = delete;

    // "127.0.0.1:<port>"
    std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
    long requests() const { return requests_.load(); }
    std::size_t reply_size() const { return body_.size(); }

  private:
    std::string body_;
    httplib::Server server_;
    std::atomic<long> requests_{0};
    int port_ = 0;
    std::thread thread_;
};

}  // namespace tavolen::bench
