#pragma once

// An HTTPS server on 127.0.0.1 (ephemeral port) with a self-signed certificate made at start:
// no client trusts it, which is what the tests of a refused handshake need.

#include <httplib.h>

#include <memory>
#include <string>
#include <thread>

namespace tavolen::test {

class TlsServer {
  public:
    TlsServer();
    ~TlsServer();
    TlsServer(const TlsServer&) = delete;
    TlsServer& operator=(const TlsServer&) = delete;

    // Null when no certificate could be made.
    httplib::SSLServer* server() { return server_.get(); }
    bool start();
    int port() const { return port_; }
    std::string url(const std::string& path = "/") const;

  private:
    std::unique_ptr<httplib::SSLServer> server_;
    std::thread thread_;
    int port_ = -1;
};

}  // namespace tavolen::test
