// A register on a loopback TCP port, played by the test: it cuts the frames
// the library writes, remembers each one (token, command, repetition flag,
// connection, time) and answers as the test's policy says: at once or
// later, acknowledged first or not, with values, a "busy" status, an error
// answer, a damaged answer, nothing, or by dropping the connection. One
// thread serves the listening socket, the connection and the timed answers;
// a new connection replaces the old one (the library reconnects).
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "register_play.h"

namespace trv::test {

class FakeRegister {
public:
    using Clock = std::chrono::steady_clock;

    struct Seen {
        uint32_t token;
        uint16_t cmd;
        bool repeated;  // the frame carries the repetition flag
        int conn;       // which connection (0 the first)
        Clock::time_point at;
    };

    // What the register does with one frame.
    struct Reply {
        enum What { Answer, Nothing, Error, Damaged, Drop };
        What what = Answer;
        bool ack = false;                  // an acknowledgement (command 1) first, at once
        int delayMs = 0;                   // the answer comes this much later
        bool held = false;                 // the answer waits for release()
        std::vector<TRV_DataItem> values;  // the answer's values (Answer)
        uint16_t trans = 0, exec = 0;      // the error answer's codes (Error)
        bool dropAfter = false;            // the connection is dropped after the answer
    };
    using Policy = std::function<Reply(const DecodedFrame&)>;

    explicit FakeRegister(Policy p = nullptr) : policy_(std::move(p)) {
        lfd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        ::setsockopt(lfd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(lfd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(lfd_, 8);
        socklen_t l = sizeof a;
        ::getsockname(lfd_, reinterpret_cast<sockaddr*>(&a), &l);
        port_ = ntohs(a.sin_port);
        if (::pipe(wake_) != 0) wake_[0] = wake_[1] = -1;
        th_ = std::thread([this] { run(); });
    }
    ~FakeRegister() {
        stop_ = true;
        poke();
        th_.join();
        if (cfd_ >= 0) ::close(cfd_);
        ::close(lfd_);
        ::close(wake_[0]);
        ::close(wake_[1]);
    }
    FakeRegister(const FakeRegister&) = delete;
    FakeRegister& operator=(const FakeRegister&) = delete;

    uint16_t port() const { return port_; }
    // Changes the policy (it runs on the register's thread).
    void setPolicy(Policy p) {
        std::lock_guard<std::mutex> lk(m_);
        policy_ = std::move(p);
    }
    // Answers held back (Reply::held) go out now, in order.
    void release() {
        release_ = true;
        poke();
    }
    // Drops the current connection now; answers still due on it are lost.
    void drop() {
        dropNow_ = true;
        poke();
    }
    std::vector<Seen> seen() {
        std::lock_guard<std::mutex> lk(m_);
        return seen_;
    }
    // A final answer the register sent (an answer, an error answer or a
    // damaged one), and on which connection.
    struct Answered {
        uint32_t token;
        int conn;
        Clock::time_point at;
        bool retry;  // an error answer that asks for the frame again
    };
    std::vector<Answered> answered() {
        std::lock_guard<std::mutex> lk(m_);
        return answered_;
    }
    // When each connection was dropped (by the register or the library).
    std::map<int, Clock::time_point> drops() {
        std::lock_guard<std::mutex> lk(m_);
        return drops_;
    }
    size_t count() {
        std::lock_guard<std::mutex> lk(m_);
        return seen_.size();
    }
    // Waits until at least n frames came in; false at the time-out.
    bool waitFrames(size_t n, int ms = 5000) {
        std::unique_lock<std::mutex> lk(m_);
        return cv_.wait_for(lk, std::chrono::milliseconds(ms), [&] { return seen_.size() >= n; });
    }
    int connections() const { return conns_.load(); }

    // A status poll's answer: busy (with a code) or not.
    static std::vector<TRV_DataItem> busyValues(bool busy, uint16_t code = 1) { return {B(busy ? 1 : 0), W(busy ? code : 0)}; }

private:
    struct Due {
        uint32_t token = 0;
        std::vector<uint8_t> bytes;
        bool drop = false;
        bool retry = false;
        int conn = 0;
    };

    // The frame with one byte before its CRC changed so that only the CRC
    // check fails (the header still names the request).
    static std::vector<uint8_t> damaged(std::vector<uint8_t> f) {
        for (size_t i = f.size() - 3; i > 2; --i) {
            if (f[i] == 0x10 || f[i - 1] == 0x10) continue;
            std::vector<uint8_t> g = f;
            g[i] ^= 0x01;
            if (g[i] == 0x10) continue;
            DecodedFrame d;
            if (decodeFrame(g.data(), g.size(), Cipher{}, CipherOrder::CommandFirst, d) == FRAME_CRC) return g;
        }
        return f;
    }
    void poke() {
        const char c = 0;
        if (::write(wake_[1], &c, 1) < 0) {
        }
    }
    void closeConn() {
        if (cfd_ >= 0) {
            std::lock_guard<std::mutex> lk(m_);
            drops_.emplace(conns_.load() - 1, Clock::now());
        }
        if (cfd_ >= 0) ::close(cfd_);
        cfd_ = -1;
        fifo_ = FIFO();
    }
    void send(const std::vector<uint8_t>& b) {
        for (size_t off = 0; cfd_ >= 0 && off < b.size();) {
            const ssize_t w = ::send(cfd_, b.data() + off, b.size() - off, MSG_NOSIGNAL);
            if (w <= 0) {
                closeConn();
                return;
            }
            off += static_cast<size_t>(w);
        }
    }
    void answer(const Due& d) {
        const int conn = conns_.load() - 1;
        {
            // Recorded before the bytes go: the library may act on them at once.
            std::lock_guard<std::mutex> lk(m_);
            answered_.push_back({d.token, conn, Clock::now(), d.retry});
        }
        send(d.bytes);
    }
    void frame(const DecodedFrame& f) {
        Policy p;
        {
            std::lock_guard<std::mutex> lk(m_);
            seen_.push_back({f.token, f.cmd, (f.flags & kFlagRepeated) != 0, conns_.load() - 1, Clock::now()});
            p = policy_;
        }
        cv_.notify_all();
        Reply r = p ? p(f) : Reply{};
        if (r.ack) send(regFrame(f.token, 1));
        Due d;
        d.token = f.token;
        d.conn = conns_.load();
        switch (r.what) {
        case Reply::Answer:
            d.bytes = regFrame(f.token, f.cmd, r.values);
            break;
        case Reply::Error:
            d.bytes = regFrame(f.token, 0, {W(f.cmd), W(r.trans), W(r.exec), W(0)});
            for (uint16_t c : {3002, 3003, 3005, 3006, 3008, 3009, 3011, 3014, 3017}) d.retry = d.retry || r.trans == c;
            break;
        case Reply::Damaged:
            d.bytes = damaged(regFrame(f.token, f.cmd, r.values));
            break;
        case Reply::Nothing:
            break;
        case Reply::Drop:
            d.drop = true;
            break;
        }
        if (r.dropAfter) d.drop = true;
        if (d.bytes.empty() && !d.drop) return;
        if (r.held) {
            held_.push_back(std::move(d));
            return;
        }
        if (r.delayMs <= 0 && !d.drop) {
            answer(d);
            return;
        }
        due_.emplace(Clock::now() + std::chrono::milliseconds(r.delayMs), std::move(d));
    }
    void run() {
        std::vector<uint8_t> buf(65536);
        while (!stop_) {
            if (dropNow_.exchange(false)) closeConn();
            if (release_.exchange(false)) {
                for (Due& d : held_) due_.emplace(Clock::now(), std::move(d));
                held_.clear();
            }
            // Answers whose time has come, in order.
            while (!due_.empty() && due_.begin()->first <= Clock::now()) {
                Due d = std::move(due_.begin()->second);
                due_.erase(due_.begin());
                if (d.conn != conns_.load()) continue;  // for a connection since dropped
                if (!d.bytes.empty()) answer(d);
                if (d.drop) closeConn();
            }
            int ms = 100;
            if (!due_.empty()) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(due_.begin()->first - Clock::now());
                ms = static_cast<int>(std::max<long long>(0, std::min<long long>(100, left.count() + 1)));
            }
            pollfd p[3] = {{lfd_, POLLIN, 0}, {wake_[0], POLLIN, 0}, {cfd_, POLLIN, 0}};
            const int n = ::poll(p, cfd_ >= 0 ? 3 : 2, ms);
            if (n <= 0) continue;
            if (p[1].revents) {
                char c[64];
                if (::read(wake_[0], c, sizeof c) < 0) {
                }
            }
            if (p[0].revents & POLLIN) {
                const int c = ::accept4(lfd_, nullptr, nullptr, SOCK_CLOEXEC);
                if (c >= 0) {
                    closeConn();
                    int one = 1;
                    ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                    cfd_ = c;
                    ++conns_;
                }
                continue;
            }
            if (cfd_ >= 0 && p[2].revents) {
                const ssize_t r = ::read(cfd_, buf.data(), buf.size());
                if (r <= 0) {
                    closeConn();
                    continue;
                }
                fifo_.push(buf.data(), static_cast<size_t>(r));
                const uint8_t* f;
                size_t len, dropped;
                while (cfd_ >= 0 && fifo_.nextFrame(f, len, dropped)) {
                    std::vector<uint8_t> copy(f, f + len);
                    frame(decodeSent(copy));
                }
            }
        }
    }

    int lfd_ = -1, cfd_ = -1;
    int wake_[2] = {-1, -1};
    uint16_t port_ = 0;
    FIFO fifo_;
    std::multimap<Clock::time_point, Due> due_;  // register thread only
    std::vector<Due> held_;                      // register thread only
    std::atomic<bool> stop_{false}, dropNow_{false}, release_{false};
    std::atomic<int> conns_{0};
    std::mutex m_;
    std::condition_variable cv_;
    Policy policy_;
    std::vector<Seen> seen_;
    std::vector<Answered> answered_;
    std::map<int, Clock::time_point> drops_;
    std::thread th_;
};

// A TCP device on the fake register with one view; closed and destroyed at
// the end of the scope.
struct TcpLink {
    TARVIK_HANDLE device = nullptr, view = nullptr;
    explicit TcpLink(uint16_t port) {
        device = TRV_CreateDeviceHandle(TARVIK_DEVICE_ETHER);
        std::string host = "127.0.0.1", p = std::to_string(port);
        TRV_SetDeviceParam(device, TARVIK_PARAM_IPADDRESS, host.data());
        TRV_SetDeviceParam(device, TARVIK_PARAM_IPPORT, p.data());
        view = TRV_OpenDevice(device);
    }
    ~TcpLink() {
        if (view) TRV_CloseDevice(view);
        if (device) TRV_DestroyDeviceHandle(device);
    }
    TcpLink(const TcpLink&) = delete;
    TcpLink& operator=(const TcpLink&) = delete;
};

}  // namespace trv::test
