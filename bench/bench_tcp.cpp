// The TCP path of libtarvik against a fast fake register, beside raw clients
// that talk to the same fake in the same run: the figures are the library's
// cost, not the peer's.
//
// The fake register runs in a process of its own (forked before any thread
// exists): one thread, epoll, large reads, frames cut by offset; it answers
// every frame with an acknowledgement and a three-byte answer in one write.
// Its CPU is not counted here.
//
// Sections (each repeated --reps times; the medians are printed):
//   round trip   one request at a time: post -> completed, median and p99;
//                raw: send() one frame, recv() until its answer.
//   pipelined    N requests posted at once, then waited for in order;
//                raw floor 1: one send() per frame, a reader thread counting
//                answers; raw floor 2: all frames in one write, same reader.
//   scale        100 / 500 / 1000 open devices: open time, idle CPU, one
//                request per device at once, close time; raw: one thread
//                with that many sockets and epoll.
// CPU is user + system time of this process (getrusage), context switches
// voluntary + involuntary, both per request. Nothing is asserted.
//
//   bench_tcp [--reps K] [--rounds R] [--pipelined 10000,20000,50000]
//             [--scale 100,500,1000] [--idle-s S] [--bursts N] [--skip-scale]
//             [--only-scale] [--only-round-trip] [--only-pipelined] [--lib-only]
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tarvik/tarvik.h"

using Clock = std::chrono::steady_clock;

namespace {

// ---------------------------------------------------------------- frames

constexpr uint8_t DLE = 0x10, STX = 0x02, ETX = 0x03;
constexpr uint16_t kCmd = 14;  // read the clock: no values out, three bytes back

uint16_t crcByte(uint16_t crc, uint8_t b) {
    crc = static_cast<uint16_t>((crc >> 8) | (crc << 8));
    crc ^= b;
    crc ^= (crc & 0xFF) >> 4;
    crc ^= static_cast<uint16_t>(crc << 12);
    crc ^= static_cast<uint16_t>((crc & 0xFF) << 5);
    return crc;
}

// Appends one frame (no cipher) to out.
void appendFrame(std::vector<uint8_t>& out, uint32_t token, uint16_t cmd, const uint8_t* items, size_t itemLen,
                 uint16_t count) {
    out.push_back(DLE);
    out.push_back(STX);
    uint16_t crc = 0;
    auto put = [&](uint8_t b) {
        crc = crcByte(crc, b);
        out.push_back(b);
        if (b == DLE) out.push_back(DLE);
    };
    auto put16 = [&](uint16_t v) {
        put(static_cast<uint8_t>(v));
        put(static_cast<uint8_t>(v >> 8));
    };
    put16(0);
    for (int i = 0; i < 4; ++i) put(static_cast<uint8_t>(token >> (8 * i)));
    put16(static_cast<uint16_t>(itemLen + 16));
    put16(count);
    put16(cmd);
    for (size_t i = 0; i < itemLen; ++i) put(items[i]);
    const uint16_t c = crc;
    put(static_cast<uint8_t>(c));
    put(static_cast<uint8_t>(c >> 8));
    out.push_back(DLE);
    out.push_back(ETX);
}

void appendRequest(std::vector<uint8_t>& out, uint32_t token) { appendFrame(out, token, kCmd, nullptr, 0, 0); }

// Token and command of a whole frame [f, f+n) (escaped, markers included).
bool frameHeader(const uint8_t* f, size_t n, uint32_t& token, uint16_t& cmd) {
    uint8_t h[12];
    size_t k = 0;
    for (size_t i = 2; i + 2 < n && k < sizeof h; ++i) {
        if (f[i] == DLE) ++i;  // a doubled DLE is one byte
        h[k++] = f[i];
    }
    if (k < sizeof h) return false;
    token = h[2] | (h[3] << 8) | (h[4] << 16) | (static_cast<uint32_t>(h[5]) << 24);
    cmd = static_cast<uint16_t>(h[10] | (h[11] << 8));
    return true;
}

// Received bytes cut into frames by offset (the buffer is never cleared
// byte by byte: room() only makes space).
class Cutter {
public:
    // Room for up to cap more bytes; commit() what was read into it.
    uint8_t* room(size_t cap) {
        if (head_ == size_) {
            head_ = size_ = 0;
        } else if (head_ > (1u << 20)) {
            std::memmove(buf_.get(), buf_.get() + head_, size_ - head_);
            size_ -= head_;
            head_ = 0;
        }
        if (size_ + cap > cap_) {
            const size_t n = std::max(cap_ * 2, size_ + cap);
            std::unique_ptr<uint8_t[]> b(new uint8_t[n]);
            if (size_) std::memcpy(b.get(), buf_.get(), size_);
            buf_ = std::move(b);
            cap_ = n;
        }
        return buf_.get() + size_;
    }
    void commit(size_t n) { size_ += n; }
    // Calls fn(frame, len) for every whole frame.
    template <class Fn>
    void frames(Fn fn) {
        const uint8_t* b = buf_.get();
        size_t p = head_;
        bool esc = false;
        long start = -1;
        size_t consumed = head_;
        for (; p < size_; ++p) {
            if (!esc) {
                const void* d = std::memchr(b + p, DLE, size_ - p);
                if (!d) {
                    p = size_;
                    break;
                }
                p = static_cast<size_t>(static_cast<const uint8_t*>(d) - b);
                esc = true;
                continue;
            }
            esc = false;
            if (b[p] == STX) {
                start = static_cast<long>(p) - 1;
            } else if (b[p] == ETX && start >= 0) {
                fn(b + start, p + 1 - static_cast<size_t>(start));
                start = -1;
                consumed = p + 1;
            }
        }
        head_ = start >= 0 ? static_cast<size_t>(start) : (esc ? size_ - 1 : std::max(consumed, size_));
    }

private:
    std::unique_ptr<uint8_t[]> buf_;
    size_t head_ = 0, size_ = 0, cap_ = 0;
};

// ---------------------------------------------------------------- the fake register

void setNonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

void noDelay(int fd) {
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

struct FakeConn {
    int fd;
    Cutter in;
    std::vector<uint8_t> out;
    size_t outHead = 0;
    bool wantOut = false;
};

// Serves until killed; writes its port to portFd first.
[[noreturn]] void runFakeRegister(int portFd) {
    const int ls = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    int one = 1;
    ::setsockopt(ls, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(ls, reinterpret_cast<sockaddr*>(&a), sizeof a) < 0 || ::listen(ls, 4096) < 0 ||
        ::getsockname(ls, reinterpret_cast<sockaddr*>(&a), &len) < 0)
        _exit(2);
    const int port = ntohs(a.sin_port);
    if (::write(portFd, &port, sizeof port) != sizeof port) _exit(2);
    ::close(portFd);

    const int ep = ::epoll_create1(EPOLL_CLOEXEC);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.ptr = nullptr;  // the listening socket
    ::epoll_ctl(ep, EPOLL_CTL_ADD, ls, &ev);
    const uint8_t answer[] = {'B', 12, 'B', 34, 'B', 56};
    std::vector<epoll_event> events(512);
    auto flush = [&](FakeConn* c) {
        while (c->outHead < c->out.size()) {
            const ssize_t w = ::send(c->fd, c->out.data() + c->outHead, c->out.size() - c->outHead, MSG_NOSIGNAL);
            if (w > 0) {
                c->outHead += static_cast<size_t>(w);
                continue;
            }
            if (w < 0 && errno == EINTR) continue;
            break;
        }
        if (c->outHead == c->out.size()) {
            c->out.clear();
            c->outHead = 0;
        }
        const bool want = c->outHead < c->out.size();
        if (want != c->wantOut) {
            c->wantOut = want;
            epoll_event e{};
            e.events = EPOLLIN | (want ? EPOLLOUT : 0u);
            e.data.ptr = c;
            ::epoll_ctl(ep, EPOLL_CTL_MOD, c->fd, &e);
        }
    };
    while (true) {
        const int n = ::epoll_wait(ep, events.data(), static_cast<int>(events.size()), -1);
        for (int i = 0; i < n; ++i) {
            auto* c = static_cast<FakeConn*>(events[i].data.ptr);
            if (!c) {
                while (true) {
                    const int fd = ::accept4(ls, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
                    if (fd < 0) break;
                    noDelay(fd);
                    auto* nc = new FakeConn{fd, {}, {}, 0, false};
                    epoll_event e{};
                    e.events = EPOLLIN;
                    e.data.ptr = nc;
                    ::epoll_ctl(ep, EPOLL_CTL_ADD, fd, &e);
                }
                continue;
            }
            bool closed = false;
            if (events[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR)) {
                uint8_t* room = c->in.room(1 << 18);
                const ssize_t r = ::recv(c->fd, room, 1 << 18, 0);
                c->in.commit(r > 0 ? static_cast<size_t>(r) : 0);
                if (r == 0 || (r < 0 && errno != EAGAIN && errno != EINTR)) {
                    closed = true;
                } else if (r > 0) {
                    c->in.frames([&](const uint8_t* f, size_t fl) {
                        uint32_t token;
                        uint16_t cmd;
                        if (!frameHeader(f, fl, token, cmd)) return;
                        appendFrame(c->out, token, 1, nullptr, 0, 0);
                        appendFrame(c->out, token, cmd, answer, sizeof answer, 3);
                    });
                }
            }
            if (!closed && (c->out.size() > c->outHead)) flush(c);
            if (closed) {
                ::epoll_ctl(ep, EPOLL_CTL_DEL, c->fd, nullptr);
                ::close(c->fd);
                delete c;
            }
        }
    }
}

// ---------------------------------------------------------------- measuring

struct Usage {
    double cpu;  // seconds, user + system
    long csw;    // voluntary + involuntary context switches
    static Usage now() {
        rusage u{};
        getrusage(RUSAGE_SELF, &u);
        return {u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6,
                u.ru_nvcsw + u.ru_nivcsw};
    }
};

double secondsSince(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
double pct(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(v.size() * p))];
}

// One measured phase: rate, CPU and switches per request.
struct Phase {
    double seconds = 0, cpuUs = 0, cswPer = 0;
    int ok = 0;
};
template <class Fn>
Phase measure(int requests, Fn fn) {
    const Usage u0 = Usage::now();
    const auto t0 = Clock::now();
    Phase p;
    p.ok = fn();
    p.seconds = secondsSince(t0);
    const Usage u1 = Usage::now();
    p.cpuUs = (u1.cpu - u0.cpu) * 1e6 / requests;
    p.cswPer = static_cast<double>(u1.csw - u0.csw) / requests;
    return p;
}

int connectTo(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) < 0) {
        ::close(fd);
        return -1;
    }
    noDelay(fd);
    return fd;
}

bool sendAll(int fd, const uint8_t* p, size_t n) {
    while (n > 0) {
        const ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

// Reads on fd until `answers` final answers arrived; returns how many did.
int readAnswers(int fd, Cutter& cut, int answers) {
    int got = 0;
    while (got < answers) {
        uint8_t* room = cut.room(1 << 16);
        const ssize_t n = ::recv(fd, room, 1 << 16, 0);
        if (n < 0 && errno == EINTR) {
            cut.commit(0);
            continue;
        }
        cut.commit(n > 0 ? static_cast<size_t>(n) : 0);
        if (n <= 0) break;
        cut.frames([&](const uint8_t* f, size_t fl) {
            uint32_t token;
            uint16_t cmd;
            if (frameHeader(f, fl, token, cmd) && cmd != 1) ++got;
        });
    }
    return got;
}

struct LibDevice {
    TARVIK_HANDLE device = nullptr, view = nullptr;
    bool open(int port) {
        device = TRV_CreateDeviceHandle(TARVIK_DEVICE_ETHER);
        std::string p = std::to_string(port);
        char host[] = "127.0.0.1";
        TRV_SetDeviceParam(device, TARVIK_PARAM_IPADDRESS, host);
        TRV_SetDeviceParam(device, TARVIK_PARAM_IPPORT, p.data());
        view = TRV_OpenDevice(device);
        return view != nullptr;
    }
    void close() {
        if (view) TRV_CloseDevice(view);
        view = nullptr;
    }
    void destroy() {
        close();
        if (device) TRV_DestroyDeviceHandle(device);
        device = nullptr;
    }
};

bool completedOk(TARVIK_HANDLE r, uint32_t ms) {
    return TRV_WaitForRequestCompleted(r, ms) == 0 && TRV_GetRequestStatus(r) == 0;
}

// ---------------------------------------------------------------- sections

struct RoundTrip {
    double libMed, libP99, rawMed, rawP99, libCpuUs, rawCpuUs, libCsw, rawCsw;
};

bool skipRaw = false;  // --lib-only: for profiling the library alone
bool skipRoundTrip = false;

RoundTrip roundTrip(int port, int rounds) {
    RoundTrip out{};
    {
        LibDevice d;
        if (!d.open(port)) {
            std::fprintf(stderr, "round trip: the library could not connect\n");
            return out;
        }
        for (int i = 0; i < 200; ++i) {  // warm up
            TARVIK_HANDLE r = TRV_CreateRequest(d.view, kCmd);
            TRV_PostRequest(r, 0);
            completedOk(r, 5000);
            TRV_DestroyRequest(r);
        }
        std::vector<double> us;
        us.reserve(rounds);
        const Phase p = measure(rounds, [&] {
            int ok = 0;
            for (int i = 0; i < rounds; ++i) {
                TARVIK_HANDLE r = TRV_CreateRequest(d.view, kCmd);
                const auto t0 = Clock::now();
                TRV_PostRequest(r, 0);
                ok += completedOk(r, 5000);
                us.push_back(secondsSince(t0) * 1e6);
                TRV_DestroyRequest(r);
            }
            return ok;
        });
        out.libMed = median(us);
        out.libP99 = pct(us, 0.99);
        out.libCpuUs = p.cpuUs;
        out.libCsw = p.cswPer;
        d.destroy();
    }
    if (skipRaw) {
        out.rawMed = out.rawP99 = out.rawCpuUs = 1;
        return out;
    }
    {
        const int fd = connectTo(port);
        Cutter cut;
        std::vector<uint8_t> f;
        for (int i = 0; i < 200; ++i) {
            f.clear();
            appendRequest(f, static_cast<uint32_t>(i + 1));
            sendAll(fd, f.data(), f.size());
            readAnswers(fd, cut, 1);
        }
        std::vector<double> us;
        us.reserve(rounds);
        const Phase p = measure(rounds, [&] {
            int ok = 0;
            for (int i = 0; i < rounds; ++i) {
                const auto t0 = Clock::now();
                f.clear();
                appendRequest(f, static_cast<uint32_t>(i + 1));
                sendAll(fd, f.data(), f.size());
                ok += readAnswers(fd, cut, 1);
                us.push_back(secondsSince(t0) * 1e6);
            }
            return ok;
        });
        out.rawMed = median(us);
        out.rawP99 = pct(us, 0.99);
        out.rawCpuUs = p.cpuUs;
        out.rawCsw = p.cswPer;
        ::close(fd);
    }
    return out;
}

struct Pipe {
    Phase lib, rawEach, rawOne;
};

Phase rawPipelined(int port, int n, bool oneWrite) {
    const int fd = connectTo(port);
    int got = 0;
    Phase p = measure(n, [&] {
        std::thread reader([&] {
            Cutter cut;
            got = readAnswers(fd, cut, n);
        });
        std::vector<uint8_t> f;
        if (oneWrite) {
            f.reserve(static_cast<size_t>(n) * 24);
            for (int i = 0; i < n; ++i) appendRequest(f, static_cast<uint32_t>(i + 1));
            sendAll(fd, f.data(), f.size());
        } else {
            for (int i = 0; i < n; ++i) {
                f.clear();
                appendRequest(f, static_cast<uint32_t>(i + 1));
                sendAll(fd, f.data(), f.size());
            }
        }
        reader.join();
        return got;
    });
    ::close(fd);
    return p;
}

Pipe pipelined(int port, int n) {
    Pipe out;
    {
        LibDevice d;
        if (!d.open(port)) return out;
        uint32_t maxLen = static_cast<uint32_t>(n) + 1;
        TRV_SetDeviceParam(d.view, TARVIK_PARAM_OUTQUEUEMAXLEN, &maxLen);
        std::vector<TARVIK_HANDLE> reqs(static_cast<size_t>(n));
        out.lib = measure(n, [&] {
            for (auto& r : reqs) {
                r = TRV_CreateRequest(d.view, kCmd);
                TRV_PostRequest(r, 0);
            }
            int ok = 0;
            for (auto& r : reqs) {
                ok += completedOk(r, 60000);
                TRV_DestroyRequest(r);
            }
            return ok;
        });
        d.destroy();
    }
    if (skipRaw) {
        out.rawEach = out.rawOne = out.lib;
        return out;
    }
    out.rawEach = rawPipelined(port, n, false);
    out.rawOne = rawPipelined(port, n, true);
    return out;
}

// Resident memory of this process, in KB.
long rssKb() {
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    long pages = 0, resident = 0;
    if (f) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

struct Scale {
    double rssKbPer = 0;
    double openS = 0, idlePct = 0, idleCswPerS = 0, burstMs = 0, burstCpuUs = 0, burstCsw = 0, closeS = 0;
    double rawBurstMs = 0, rawBurstCpuUs = 0;
    int opened = 0, ok = 0, rawOk = 0;
};

// One thread, n sockets, epoll: one request on each at once, until all answered.
void rawScale(int port, int n, int rounds, Scale& s) {
    std::vector<int> fds;
    for (int i = 0; i < n; ++i) {
        const int fd = connectTo(port);
        if (fd < 0) break;
        setNonBlocking(fd);
        fds.push_back(fd);
    }
    const int ep = ::epoll_create1(EPOLL_CLOEXEC);
    for (size_t i = 0; i < fds.size(); ++i) {
        epoll_event e{};
        e.events = EPOLLIN;
        e.data.u32 = static_cast<uint32_t>(i);
        ::epoll_ctl(ep, EPOLL_CTL_ADD, fds[i], &e);
    }
    std::vector<Cutter> cuts(fds.size());
    std::vector<double> ms, cpu;
    std::vector<epoll_event> evs(1024);
    uint32_t token = 1;
    for (int round = 0; round < rounds; ++round) {
        int got = 0;
        const Phase p = measure(static_cast<int>(fds.size()), [&] {
            std::vector<uint8_t> f;
            for (int fd : fds) {
                f.clear();
                appendRequest(f, token++);
                sendAll(fd, f.data(), f.size());
            }
            while (got < static_cast<int>(fds.size())) {
                const int k = ::epoll_wait(ep, evs.data(), static_cast<int>(evs.size()), 5000);
                if (k <= 0) break;
                for (int i = 0; i < k; ++i) {
                    const uint32_t idx = evs[i].data.u32;
                    uint8_t* room = cuts[idx].room(4096);
                    const ssize_t r = ::recv(fds[idx], room, 4096, 0);
                    cuts[idx].commit(r > 0 ? static_cast<size_t>(r) : 0);
                    if (r > 0)
                        cuts[idx].frames([&](const uint8_t* fr, size_t fl) {
                            uint32_t t;
                            uint16_t c;
                            if (frameHeader(fr, fl, t, c) && c != 1) ++got;
                        });
                }
            }
            return got;
        });
        ms.push_back(p.seconds * 1e3);
        cpu.push_back(p.cpuUs);
        s.rawOk = got;
    }
    s.rawBurstMs = median(ms);
    s.rawBurstCpuUs = median(cpu);
    ::close(ep);
    for (int fd : fds) ::close(fd);
}

Scale scale(int port, int n, int rounds, double idleSeconds) {
    Scale s;
    rawScale(port, n, rounds, s);

    std::vector<LibDevice> devs(static_cast<size_t>(n));
    const long rss0 = rssKb();
    auto t0 = Clock::now();
    for (auto& d : devs) s.opened += d.open(port);
    s.openS = secondsSince(t0);
    if (s.opened < n) std::fprintf(stderr, "scale %d: only %d devices opened (error %u)\n", n, s.opened,
                                   TRV_GetError(devs[static_cast<size_t>(s.opened)].device));

    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // settle
    const Usage u0 = Usage::now();
    t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(idleSeconds));
    const double wall = secondsSince(t0);
    const Usage u1 = Usage::now();
    s.idlePct = 100.0 * (u1.cpu - u0.cpu) / wall;
    s.rssKbPer = s.opened ? static_cast<double>(rssKb() - rss0) / s.opened : 0;
    s.idleCswPerS = static_cast<double>(u1.csw - u0.csw) / wall;

    std::vector<double> ms, cpu, csw;
    std::vector<TARVIK_HANDLE> reqs(devs.size());
    for (int round = 0; round < rounds; ++round) {
        for (size_t i = 0; i < devs.size(); ++i) reqs[i] = devs[i].view ? TRV_CreateRequest(devs[i].view, kCmd) : nullptr;
        const Phase p = measure(s.opened, [&] {
            for (TARVIK_HANDLE r : reqs)
                if (r) TRV_PostRequest(r, 0);
            int ok = 0;
            for (TARVIK_HANDLE r : reqs)
                if (r) ok += completedOk(r, 10000);
            return ok;
        });
        for (TARVIK_HANDLE r : reqs)
            if (r) TRV_DestroyRequest(r);
        ms.push_back(p.seconds * 1e3);
        cpu.push_back(p.cpuUs);
        csw.push_back(p.cswPer);
        s.ok = p.ok;
    }
    s.burstMs = median(ms);
    s.burstCpuUs = median(cpu);
    s.burstCsw = median(csw);

    t0 = Clock::now();
    for (auto& d : devs) d.close();
    s.closeS = secondsSince(t0);
    for (auto& d : devs) d.destroy();
    return s;
}

std::vector<int> numbers(const char* text) {
    std::vector<int> v;
    for (const char* p = text; *p;) {
        v.push_back(std::atoi(p));
        p = std::strchr(p, ',');
        if (!p) break;
        ++p;
    }
    return v;
}

}  // namespace

int main(int argc, char** argv) {
    int reps = 5, rounds = 5000, scaleRounds = 5;
    double idleS = 3;
    std::vector<int> sizes = {10000, 20000, 50000}, scales = {100, 500, 1000};
    bool doScale = true, doFast = true, doPipe = true;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : ""; };
        if (a == "--reps") reps = std::atoi(next());
        else if (a == "--rounds") rounds = std::atoi(next());
        else if (a == "--pipelined") sizes = numbers(next());
        else if (a == "--scale") scales = numbers(next());
        else if (a == "--idle-s") idleS = std::atof(next());
        else if (a == "--bursts") scaleRounds = std::atoi(next());
        else if (a == "--skip-scale") doScale = false;
        else if (a == "--only-scale") doFast = false;
        else if (a == "--only-round-trip") doPipe = doScale = false;
        else if (a == "--only-pipelined") doScale = false, skipRoundTrip = true;
        else if (a == "--lib-only") skipRaw = true;
        else {
            std::fprintf(stderr,
                         "usage: %s [--reps K] [--rounds R] [--pipelined a,b,...] [--scale a,b,...] [--idle-s S]\n"
                         "       [--bursts N] [--skip-scale] [--only-scale] [--only-round-trip] [--only-pipelined]\n"
                         "       [--lib-only]\n",
                         argv[0]);
            return a == "--help" ? 0 : 2;
        }
    }
    // Two descriptors per open device and one per raw socket, on both ends.
    rlimit rl{};
    getrlimit(RLIMIT_NOFILE, &rl);
    rl.rlim_cur = rl.rlim_max;
    setrlimit(RLIMIT_NOFILE, &rl);

    int pfd[2];
    if (pipe(pfd) != 0) return 1;
    const pid_t pid = fork();
    if (pid == 0) {
        ::close(pfd[0]);
        runFakeRegister(pfd[1]);
    }
    ::close(pfd[1]);
    int port = 0;
    if (::read(pfd[0], &port, sizeof port) != sizeof port) {
        std::fprintf(stderr, "the fake register did not start\n");
        return 1;
    }
    ::close(pfd[0]);
    std::printf("fake register: pid %d, port %d; %d repetitions, medians shown\n", pid, port, reps);

    if (doFast) {
        std::vector<RoundTrip> rts;
        std::map<int, std::vector<Pipe>> pipes;
        for (int rep = 0; rep < reps; ++rep) {
            rts.push_back(skipRoundTrip ? RoundTrip{1, 1, 1, 1, 1, 1, 0, 0} : roundTrip(port, rounds));
            if (doPipe)
                for (int n : sizes) pipes[n].push_back(pipelined(port, n));
        }
        auto med = [](const auto& v, auto field) {
            std::vector<double> x;
            for (const auto& e : v) x.push_back(field(e));
            return median(x);
        };
        if (!skipRoundTrip) {
        std::printf("\nround trip, %d requests one at a time           library      raw   ratio\n", rounds);
        std::printf("  median (us)                                  %9.1f %8.1f  %5.2f\n",
                    med(rts, [](auto& e) { return e.libMed; }), med(rts, [](auto& e) { return e.rawMed; }),
                    med(rts, [](auto& e) { return e.libMed / e.rawMed; }));
        std::printf("  p99 (us)                                     %9.1f %8.1f  %5.2f\n",
                    med(rts, [](auto& e) { return e.libP99; }), med(rts, [](auto& e) { return e.rawP99; }),
                    med(rts, [](auto& e) { return e.libP99 / e.rawP99; }));
        std::printf("  CPU per request (us)                         %9.1f %8.1f  %5.2f\n",
                    med(rts, [](auto& e) { return e.libCpuUs; }), med(rts, [](auto& e) { return e.rawCpuUs; }),
                    med(rts, [](auto& e) { return e.libCpuUs / e.rawCpuUs; }));
        std::printf("  context switches per request                 %9.2f %8.2f\n",
                    med(rts, [](auto& e) { return e.libCsw; }), med(rts, [](auto& e) { return e.rawCsw; }));
        }

        std::printf("\npipelined           library                  | raw, send() per frame     | raw, one write"
                    "            | library / raw per frame\n");
        std::printf("  requests     req/s   CPU us/req  csw/req | req/s   CPU us/req csw/req | req/s    CPU us/req "
                    "csw/req | rate   CPU\n");
        for (int n : sizes) {
            if (!doPipe) break;
            const auto& v = pipes[n];
            auto rate = [n](const Phase& p) { return p.seconds > 0 ? n / p.seconds : 0.0; };
            std::printf("  %6d %9.0f %8.2f %8.3f | %8.0f %7.2f %7.3f | %8.0f %7.2f %7.3f | %5.2f %5.2f  (ok %d)\n", n,
                        med(v, [&](auto& e) { return rate(e.lib); }), med(v, [](auto& e) { return e.lib.cpuUs; }),
                        med(v, [](auto& e) { return e.lib.cswPer; }), med(v, [&](auto& e) { return rate(e.rawEach); }),
                        med(v, [](auto& e) { return e.rawEach.cpuUs; }), med(v, [](auto& e) { return e.rawEach.cswPer; }),
                        med(v, [&](auto& e) { return rate(e.rawOne); }), med(v, [](auto& e) { return e.rawOne.cpuUs; }),
                        med(v, [](auto& e) { return e.rawOne.cswPer; }),
                        med(v, [&](auto& e) { return rate(e.lib) / rate(e.rawEach); }),
                        med(v, [](auto& e) { return e.lib.cpuUs / e.rawEach.cpuUs; }), v.back().lib.ok);
        }
        std::fflush(stdout);
    }

    if (doScale) {
        std::printf("\nscale (medians of %d bursts)  open    idle CPU  idle csw  memory | one request per device at once   "
                    "     | raw epoll client  | close\n", scaleRounds);
        std::printf("  devices                    s     %% core   per s     KB/dev | ms      CPU us/req csw/req ratio  | ms "
                    "     CPU us/req | s\n");
        for (int n : scales) {
            const Scale s = scale(port, n, scaleRounds, idleS);
            std::printf("  %5d (%4d opened)      %6.3f  %7.3f  %7.1f  %6.1f | %7.2f %8.1f %7.2f %5.2f  | %6.2f %8.1f  | "
                        "%6.3f  (ok %d/%d, raw %d)\n",
                        n, s.opened, s.openS, s.idlePct, s.idleCswPerS, s.rssKbPer, s.burstMs, s.burstCpuUs, s.burstCsw,
                        s.rawBurstMs > 0 ? s.burstMs / s.rawBurstMs : 0.0, s.rawBurstMs, s.rawBurstCpuUs, s.closeS,
                        s.ok, s.opened, s.rawOk);
            std::fflush(stdout);
        }
    }
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    return 0;
}
