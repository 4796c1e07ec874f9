// The TCP transport's writes over real loopback sockets against a register
// that reads slowly or not at all: a connection dropped while a batch is
// stuck in the socket, and a posting thread's frame that only went out in
// part.
#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <mutex>
#include <set>
#include <thread>

#include "register_play.h"

using namespace trv;
using namespace trv::test;

namespace {

// A listening socket whose connections take little at a time: their
// receive buffer is small, so the library's writes soon stall.
struct SlowListener {
    int fd = -1;
    uint16_t port = 0;
    SlowListener() {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        int small = 4096, one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd, 8);
        socklen_t l = sizeof a;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &l);
        port = ntohs(a.sin_port);
    }
    ~SlowListener() { ::close(fd); }
    int accept(int ms = 5000) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, ms) <= 0) return -1;
        return ::accept(fd, nullptr, nullptr);
    }
};

// Plays the register on one connection: cuts what arrives into frames,
// answers each (acknowledgement, then the command with the token as its
// value) and remembers what it saw, until told to stop.
class Answerer {
public:
    explicit Answerer(int fd) : fd_(fd), th_([this] { run(); }) {}
    ~Answerer() {
        stop_ = true;
        th_.join();
    }
    std::vector<DecodedFrame> seen() {
        std::lock_guard<std::mutex> lk(m_);
        return seen_;
    }
    size_t dropped() const { return dropped_.load(); }

private:
    void run() {
        FIFO fifo;
        std::vector<uint8_t> buf(65536);
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            const ssize_t n = ::read(fd_, buf.data(), buf.size());
            if (n <= 0) break;
            fifo.push(buf.data(), static_cast<size_t>(n));
            std::vector<uint8_t> out;
            const uint8_t* f;
            size_t len, d;
            while (true) {
                const bool got = fifo.nextFrame(f, len, d);
                dropped_ += d;
                if (!got) break;
                DecodedFrame frame = decodeSent({f, f + len});
                auto ack = regFrame(frame.token, 1), ans = regFrame(frame.token, frame.cmd, {L(frame.token)});
                out.insert(out.end(), ack.begin(), ack.end());
                out.insert(out.end(), ans.begin(), ans.end());
                std::lock_guard<std::mutex> lk(m_);
                seen_.push_back(std::move(frame));
            }
            for (size_t off = 0; off < out.size();) {
                const ssize_t w = ::write(fd_, out.data() + off, out.size() - off);
                if (w <= 0) return;
                off += static_cast<size_t>(w);
            }
        }
    }
    int fd_;
    std::atomic<bool> stop_{false};
    std::atomic<size_t> dropped_{0};
    std::mutex m_;
    std::vector<DecodedFrame> seen_;
    std::thread th_;
};

// The library's end of the accepted connection c (this process holds both
// ends), with a small send buffer, so that its writes stall soon too.
void shrinkLibraryEnd(int c) {
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    ASSERT_EQ(::getpeername(c, reinterpret_cast<sockaddr*>(&peer), &len), 0);
    DIR* d = ::opendir("/proc/self/fd");
    ASSERT_NE(d, nullptr);
    int found = -1;
    while (dirent* e = ::readdir(d)) {
        const int fd = std::atoi(e->d_name);
        sockaddr_in a{};
        len = sizeof a;
        if (fd != c && ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0 && a.sin_family == AF_INET &&
            a.sin_port == peer.sin_port)
            found = fd;
    }
    ::closedir(d);
    ASSERT_GE(found, 0);
    int small = 4096;
    ASSERT_EQ(::setsockopt(found, SOL_SOCKET, SO_SNDBUF, &small, sizeof small), 0);
}

TARVIK_HANDLE openOn(uint16_t port, TARVIK_HANDLE& device) {
    device = TRV_CreateDeviceHandle(TARVIK_DEVICE_ETHER);
    char host[] = "127.0.0.1";
    std::string p = std::to_string(port);
    TRV_SetDeviceParam(device, TARVIK_PARAM_IPADDRESS, host);
    TRV_SetDeviceParam(device, TARVIK_PARAM_IPPORT, p.data());
    return TRV_OpenDevice(device);
}

}  // namespace

TEST(TcpBatch, AConnectionDroppedUnderAStuckBatchKeepsWholeFramesUnknownAndSendsTheRest) {
    SlowListener l;
    TARVIK_HANDLE device;
    TARVIK_HANDLE view = openOn(l.port, device);
    ASSERT_NE(view, nullptr);
    const int c1 = l.accept();
    ASSERT_GE(c1, 0);
    shrinkLibraryEnd(c1);

    // The register reads nothing: the socket's buffers fill part-way
    // through the requests, and the sender waits with a batch half out.
    const int n = 20000;
    uint32_t maxLen = n + 1;
    TRV_SetDeviceParam(view, TARVIK_PARAM_OUTQUEUEMAXLEN, &maxLen);
    std::vector<TARVIK_HANDLE> reqs;
    for (int i = 0; i < n; ++i) {
        reqs.push_back(TRV_CreateRequest(view, 14));
        ASSERT_EQ(TRV_PostRequest(reqs.back(), 0), 0u);
    }
    const auto until = Clock::now() + std::chrono::seconds(5);
    while (TRV_GetRequestState(reqs[0]) == TARVIK_STATE_PENDING && Clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_EQ(TRV_GetRequestState(reqs[0]), TARVIK_STATE_SENT);
    ASSERT_EQ(TRV_GetRequestState(reqs[n - 1]), TARVIK_STATE_PENDING) << "nothing stalled";

    // The register drops the line with our bytes unread, and takes the
    // next connection, on which it answers everything.
    ::close(c1);
    const int c2 = l.accept();
    ASSERT_GE(c2, 0);
    std::set<uint32_t> unknown, done;
    {
        Answerer reg(c2);
        for (TARVIK_HANDLE r : reqs) {
            ASSERT_EQ(TRV_WaitForRequestCompleted(r, 10000), 0u) << "token " << TRV_GetRequestCommandSerial(r);
            const TARVIK_STATUS st = TRV_GetRequestStatus(r);
            if (st == TARVIK_STATUS_OUTCOME_UNKNOWN) {
                unknown.insert(TRV_GetRequestCommandSerial(r));
            } else {
                ASSERT_EQ(st, 0u);
                uint32_t v = 0;
                ASSERT_EQ(TRV_PopResponseValueLong(r, &v), 0u);
                ASSERT_EQ(v, TRV_GetRequestCommandSerial(r));  // its own answer
                done.insert(v);
            }
        }
        // Frames written whole before the drop are not sent again; every
        // other frame arrives whole on the new connection, once, in order.
        const std::vector<DecodedFrame> seen = reg.seen();
        EXPECT_EQ(reg.dropped(), 0u);
        std::set<uint32_t> onSecond;
        uint32_t last = 0;
        for (const DecodedFrame& f : seen) {
            EXPECT_GT(f.token, last);
            last = f.token;
            onSecond.insert(f.token);
        }
        EXPECT_EQ(onSecond, done);
    }
    EXPECT_FALSE(unknown.empty());
    EXPECT_FALSE(done.empty());
    EXPECT_EQ(unknown.size() + done.size(), static_cast<size_t>(n));
    for (TARVIK_HANDLE r : reqs) TRV_DestroyRequest(r);
    TRV_CloseDevice(view);
    TRV_DestroyDeviceHandle(device);
    ::close(c2);
}

TEST(TcpBatch, AFrameAPostingThreadCouldOnlyPartlyWriteIsFinishedByTheSender) {
    SlowListener l;
    TARVIK_HANDLE device;
    TARVIK_HANDLE view = openOn(l.port, device);
    ASSERT_NE(view, nullptr);
    const int c = l.accept();
    ASSERT_GE(c, 0);
    shrinkLibraryEnd(c);

    // Nothing queued: the posting thread writes the frame itself, but the
    // register is not reading and the socket takes only part of it. The post
    // returns at once all the same.
    const std::string text(30000, 'x');
    TARVIK_HANDLE big = TRV_CreateRequest(view, 20);
    ASSERT_EQ(TRV_PushRequestParamString(big, text.c_str()), 0u);
    std::atomic<bool> posted{false};
    std::thread poster([&] {
        EXPECT_EQ(TRV_PostRequest(big, 0), 0u);
        posted = true;
    });
    const auto until = Clock::now() + std::chrono::seconds(5);
    while (!posted && Clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const bool returned = posted.load();
    if (!returned) ::shutdown(c, SHUT_RDWR);  // lets a post stuck in the write go
    poster.join();
    ASSERT_TRUE(returned) << "the post waited for the register to read";
    TARVIK_HANDLE small = TRV_CreateRequest(view, 14);
    ASSERT_EQ(TRV_PostRequest(small, 0), 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(TRV_GetRequestState(big), TARVIK_STATE_PENDING);
    EXPECT_EQ(TRV_GetRequestState(small), TARVIK_STATE_PENDING);

    // Once the register reads, the rest of the frame follows, then the next.
    {
        Answerer reg(c);
        ASSERT_EQ(TRV_WaitForRequestCompleted(big, 5000), 0u);
        ASSERT_EQ(TRV_WaitForRequestCompleted(small, 5000), 0u);
        EXPECT_EQ(TRV_GetRequestStatus(big), 0u);
        EXPECT_EQ(TRV_GetRequestStatus(small), 0u);
        const std::vector<DecodedFrame> seen = reg.seen();
        ASSERT_EQ(seen.size(), 2u);
        EXPECT_EQ(seen[0].token, TRV_GetRequestCommandSerial(big));
        ASSERT_EQ(seen[0].items.size(), 1u);
        EXPECT_EQ(seen[0].items[0].GetString(','), text);
        EXPECT_EQ(seen[1].token, TRV_GetRequestCommandSerial(small));
        EXPECT_EQ(reg.dropped(), 0u);
    }
    TRV_DestroyRequest(big);
    TRV_DestroyRequest(small);
    TRV_CloseDevice(view);
    TRV_DestroyDeviceHandle(device);
    ::close(c);
}
