#include "local_server.h"

namespace tavolen::test {

LocalServer::LocalServer() {
    // Without it a kept-alive connection stalls on Nagle and delayed ACK.
    server_.set_tcp_nodelay(true);
}

LocalServer::~LocalServer() {
    stop();
}

bool LocalServer::start() {
    port_ = server_.bind_to_any_port("127.0.0.1");
    if (port_ <= 0) return false;
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::yield();
    return true;
}

void LocalServer::stop() {
    if (thread_.joinable()) {
        server_.stop();
        thread_.join();
    }
}

std::string LocalServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

}  // namespace tavolen::test
