// Serves a simulated register over TCP on the loopback interface: one thread
// accepts, one thread per connection runs serveStream. The library
// reconnects after a drop, so the server keeps accepting.
//
//   trvsim::Register reg;
//   trvsim::TcpServer server(reg);
//   int port = server.start(0);   // 0: any free port
//   ...
//   server.stop();                // joins every thread, closes every socket
#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

#include "sim_register.h"

namespace trvsim {

class TcpStream;

class TcpServer {
public:
    explicit TcpServer(Register& reg);
    ~TcpServer();  // stops
    TcpServer(const TcpServer&) = delete;
    TcpServer& operator=(const TcpServer&) = delete;

    // Listens on 127.0.0.1:port and starts accepting. Returns the bound port,
    // or -1 (errno set) when it cannot listen or is already running.
    int start(uint16_t port);
    // Closes the listening socket and every connection and joins all
    // threads. Nothing is left running; start() may be called again.
    void stop();
    int port() const { return port_; }
    // Connections whose threads are still running.
    size_t connections() const;

private:
    struct Conn;
    void acceptLoop();
    void reapLocked();

    Register& reg_;
    int listenFd_ = -1;
    int stopFd_ = -1;  // eventfd that wakes the accept loop
    int port_ = -1;
    std::atomic<bool> stop_{false};
    std::thread acceptThread_;
    mutable std::mutex mu_;
    std::list<std::unique_ptr<Conn>> conns_;  // guarded by mu_
};

}  // namespace trvsim
