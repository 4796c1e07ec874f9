#include "sim_tcp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "sim_stream.h"

namespace trvsim {

// One accepted socket. read/write/close run on the connection's own thread;
// shutdown() may come from stop() on another thread, hence the lock around
// the descriptor's end of life.
class TcpStream : public ByteStream {
public:
    explicit TcpStream(int fd) : fd_(fd), wakeFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
    ~TcpStream() override {
        close();
        if (wakeFd_ >= 0) ::close(wakeFd_);
    }

    long read(uint8_t* buf, size_t cap, int timeoutMs) override {
        pollfd p[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        const int r = ::poll(p, wakeFd_ >= 0 ? 2 : 1, timeoutMs);
        if (r < 0) return errno == EINTR ? 0 : -1;
        if (r == 0) return 0;
        if (wakeFd_ >= 0 && (p[1].revents & POLLIN)) {
            uint64_t v;
            while (::read(wakeFd_, &v, sizeof v) > 0) {
            }
            return 0;
        }
        if (p[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = ::recv(fd_, buf, cap, 0);
            if (n > 0) return static_cast<long>(n);
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) return 0;
            return -1;
        }
        return 0;
    }

    bool write(const uint8_t* data, size_t n) override {
        while (n > 0) {
            const ssize_t w = ::send(fd_, data, n, MSG_NOSIGNAL);
            if (w < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            data += w;
            n -= static_cast<size_t>(w);
        }
        return true;
    }

    void wake() override {
        if (wakeFd_ < 0) return;
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t r = ::write(wakeFd_, &one, sizeof one);
    }

    // Ends a blocked send or recv from another thread.
    void shutdown() {
        std::lock_guard lk(mu_);
        if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
    }

    void close() {
        std::lock_guard lk(mu_);
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    std::mutex mu_;
    int fd_;  // written only by the owning thread, under mu_
    int wakeFd_;
};

struct TcpServer::Conn {
    std::unique_ptr<TcpStream> stream;
    std::thread th;
    std::atomic<bool> done{false};
};

TcpServer::TcpServer(Register& reg) : reg_(reg) {}

TcpServer::~TcpServer() { stop(); }

int TcpServer::start(uint16_t port) {
    if (acceptThread_.joinable()) {
        errno = EBUSY;
        return -1;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) < 0 || ::listen(fd, 16) < 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) < 0) {
        const int e = errno;
        ::close(fd);
        errno = e;
        return -1;
    }
    const int sfd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (sfd < 0) {
        const int e = errno;
        ::close(fd);
        errno = e;
        return -1;
    }
    listenFd_ = fd;
    stopFd_ = sfd;
    port_ = ntohs(a.sin_port);
    stop_ = false;
    acceptThread_ = std::thread(&TcpServer::acceptLoop, this);
    return port_;
}

void TcpServer::stop() {
    if (!acceptThread_.joinable()) return;
    stop_ = true;
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t r = ::write(stopFd_, &one, sizeof one);
    acceptThread_.join();

    std::list<std::unique_ptr<Conn>> conns;
    {
        std::lock_guard lk(mu_);
        conns.swap(conns_);
    }
    for (auto& c : conns) {
        c->stream->wake();
        c->stream->shutdown();
    }
    for (auto& c : conns) c->th.join();
    conns.clear();
    ::close(listenFd_);
    ::close(stopFd_);
    listenFd_ = stopFd_ = -1;
    port_ = -1;
}

size_t TcpServer::connections() const {
    std::lock_guard lk(mu_);
    size_t n = 0;
    for (const auto& c : conns_) n += !c->done.load();
    return n;
}

void TcpServer::reapLocked() {
    for (auto it = conns_.begin(); it != conns_.end();) {
        if ((*it)->done.load()) {
            (*it)->th.join();
            it = conns_.erase(it);
        } else {
            ++it;
        }
    }
}

void TcpServer::acceptLoop() {
    while (!stop_.load()) {
        pollfd p[2] = {{listenFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        // The time-out only bounds how long finished connections wait to be joined.
        const int r = ::poll(p, 2, 500);
        {
            std::lock_guard lk(mu_);
            reapLocked();
        }
        if (r < 0 && errno != EINTR) break;
        if (r <= 0 || (p[1].revents & POLLIN)) continue;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            // Out of descriptors: do not spin on a listening socket that stays readable.
            if (errno == EMFILE || errno == ENFILE) std::this_thread::sleep_for(std::chrono::milliseconds(50));
            continue;
        }
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        auto conn = std::make_unique<Conn>();
        conn->stream = std::make_unique<TcpStream>(fd);
        Conn* c = conn.get();
        std::lock_guard lk(mu_);
        conns_.push_back(std::move(conn));
        c->th = std::thread([this, c] {
            serveStream(reg_, *c->stream, stop_);
            c->stream->close();
            c->done = true;
        });
    }
}

}  // namespace trvsim
