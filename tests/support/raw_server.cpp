#include "raw_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

namespace tavolen::test {

namespace {

int bind_loopback(int& port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ::close(fd);
        return -1;
    }
    port = ntohs(addr.sin_port);
    return fd;
}

}  // namespace

std::string RawConnection::read_request() {
    std::string data;
    std::size_t head_end = std::string::npos;
    std::size_t wanted = 0;
    char buffer[4096];
    while (!stopping()) {
        if (head_end != std::string::npos && data.size() >= head_end + 4 + wanted) break;
        pollfd p{fd_, POLLIN, 0};
        int ready = ::poll(&p, 1, 20);
        if (ready < 0) break;
        if (ready == 0) continue;
        ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        data.append(buffer, static_cast<std::size_t>(n));
        if (head_end == std::string::npos) {
            head_end = data.find("\r\n\r\n");
            if (head_end != std::string::npos) {
                std::string head = data.substr(0, head_end);
                for (auto& c : head) c = static_cast<char>(std::tolower(c));
                std::size_t at = head.find("\r\ncontent-length:");
                if (at != std::string::npos)
                    wanted = std::strtoul(head.c_str() + at + 17, nullptr, 10);
            }
        }
    }
    return data;
}

bool RawConnection::send(std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

void RawConnection::wait_for_close() {
    char buffer[1024];
    while (!stopping()) {
        pollfd p{fd_, POLLIN, 0};
        int ready = ::poll(&p, 1, 20);
        if (ready < 0) return;
        if (ready > 0 && ::recv(fd_, buffer, sizeof buffer, 0) <= 0) return;
    }
}

bool RawConnection::pause_ms(int ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (stopping()) return false;
        ::usleep(5000);
    }
    return !stopping();
}

void RawConnection::reset() {
    if (fd_ < 0) return;
    linger l{1, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    ::close(fd_);  // with a zero linger time, close sends RST
    fd_ = -1;
}

void RawConnection::close() {
    if (fd_ < 0) return;
    ::shutdown(fd_, SHUT_WR);
    ::close(fd_);
    fd_ = -1;
}

RawServer::RawServer(Handler handler) : handler_(std::move(handler)) {
    listen_fd_ = bind_loopback(port_);
    if (listen_fd_ >= 0 && ::listen(listen_fd_, 16) == 0)
        acceptor_ = std::thread([this] { accept_loop(); });
}

RawServer::~RawServer() {
    stopping_ = true;
    if (acceptor_.joinable()) acceptor_.join();
    std::vector<std::thread> workers;
    {
        std::lock_guard lock(mutex_);
        workers.swap(workers_);
    }
    for (auto& t : workers) t.join();
    if (listen_fd_ >= 0) ::close(listen_fd_);
}

std::string RawServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void RawServer::accept_loop() {
    while (!stopping_) {
        pollfd p{listen_fd_, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) continue;
        int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        ++accepted_;
        std::lock_guard lock(mutex_);
        workers_.emplace_back([this, fd] {
            RawConnection connection(fd, stopping_);
            handler_(connection);
            connection.close();
        });
    }
}

int closed_port() {
    int port = -1;
    int fd = bind_loopback(port);
    if (fd >= 0) ::close(fd);
    return port;
}

}  // namespace tavolen::test
