#pragma once

// A real HTTP server on 127.0.0.1 with an ephemeral port, running on its own thread for the
// lifetime of the object. Handlers are registered on server() before start().

#include <httplib.h>

#include <string>
#include <thread>

namespace tavolen::test {

class LocalServer {
  public:
    LocalServer();
    ~LocalServer();
    LocalServer(const LocalServer&) = delete;
    LocalServer& operator=(const LocalServer&) = delete;

    httplib::Server& server() { return server_; }
    // Binds and starts serving; answers false when no port could be bound.
    bool start();
    void stop();
    int port() const { return port_; }
    // "http://127.0.0.1:<port>" followed by path.
    std::string url(const std::string& path = "/") const;

  private:
    httplib::Server server_;
    std::thread thread_;
    int port_ = -1;
};

}  // namespace tavolen::test
