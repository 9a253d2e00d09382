#pragma once

// A TCP server on 127.0.0.1 (ephemeral port) that hands each accepted connection to a handler
// on its own thread, for answers no well-behaved server gives: silence, a body cut short, a
// reset, a drip-fed or endless reply. Handlers should leave as soon as stopping() is true;
// the destructor closes every connection and joins.

#include <atomic>
#include <cctype>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tavolen::test {

class RawConnection {
  public:
    RawConnection(int fd, const std::atomic<bool>& stopping) : fd_(fd), stopping_(stopping) {}
    // Reads up to the end of the request head (and the Content-Length body that follows);
    // answers what arrived.
    std::string read_request();
    bool send(std::string_view bytes);
    // Waits until the peer closes or the server stops.
    void wait_for_close();
    // Sleeps in short steps; false when the server is stopping.
    bool pause_ms(int ms);
    // Closes with a TCP reset instead of an orderly close.
    void reset();
    // An orderly close; the server does this when the handler returns.
    void close();
    bool stopping() const { return stopping_.load(); }

  private:
    int fd_;
    const std::atomic<bool>& stopping_;
};

class RawServer {
  public:
    using Handler = std::function<void(RawConnection&)>;
    explicit RawServer(Handler handler);
    ~RawServer();
    RawServer(const RawServer&) = delete;
    RawServer& operator=(const RawServer&) = delete;

    int port() const { return port_; }
    std::string url(const std::string& path = "/") const;
    int connections() const { return accepted_.load(); }

  private:
    void accept_loop();

    Handler handler_;
    int listen_fd_ = -1;
    int port_ = -1;
    std::atomic<bool> stopping_{false};
    std::atomic<int> accepted_{0};
    std::thread acceptor_;
    std::mutex mutex_;
    std::vector<std::thread> workers_;
};

// A port on 127.0.0.1 where nothing listens (bound once, then released).
int closed_port();

}  // namespace tavolen::test
