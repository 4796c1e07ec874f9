// End-to-end timing against the register simulator on loopback, side by side
// with a raw-socket client that sends the same frame bytes to the same
// simulator (the floor this machine allows):
//   - round-trip latency of one request (post -> completed), median and p99;
//   - pipelined throughput of 10,000 requests (post all, wait all);
//   - CPU used by 100 open, idle TCP devices over 10 s (simulator in its own process).
// Prints the figures; asserts nothing.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sim_register.h"
#include "sim_tcp.h"
#include "tarvik/tarvik.h"
#include "trvlib_fifo.h"
#include "trvlib_frame.h"

using Clock = std::chrono::steady_clock;

namespace {

double usSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
}

struct Stats {
    double median, p99;
};
Stats stats(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v[std::min(v.size() - 1, v.size() * 99 / 100)]};
}

// The library's side of the line, by hand: encode, send, cut the answer.
class RawClient {
public:
    explicit RawClient(int port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    ~RawClient() { ::close(fd_); }
    void send(uint32_t token, uint16_t cmd) {
        uint16_t flags = 0;
        auto f = trv::encodeFrame(flags, token, cmd, {}, trv::Cipher{}, trv::CipherOrder::ItemsFirst);
        ::send(fd_, f.data(), f.size(), MSG_NOSIGNAL);
    }
    // Reads until `answers` final answers (any command but the acknowledgement) arrived.
    void waitAnswers(int answers) {
        uint8_t buf[4096];
        std::vector<uint8_t> frame;
        while (answers > 0) {
            size_t dropped;
            while (answers > 0 && fifo_.nextFrame(frame, dropped)) {
                trv::DecodedFrame d;
                trv::decodeFrame(frame.data(), frame.size(), trv::Cipher{}, trv::CipherOrder::CommandFirst, d);
                if (d.cmd != 1) --answers;
            }
            if (answers == 0) break;
            const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
            if (n <= 0) return;
            fifo_.push(buf, static_cast<size_t>(n));
        }
    }

private:
    int fd_;
    trv::FIFO fifo_;
};

TARVIK_HANDLE openTcp(int port, TARVIK_HANDLE& device) {
    device = TRV_CreateDeviceHandle(TARVIK_DEVICE_ETHER);
    std::string p = std::to_string(port);
    TRV_SetDeviceParam(device, TARVIK_PARAM_IPPORT, p.data());
    return TRV_OpenDevice(device);
}

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = 2000, pipelined = 10000;
    trvsim::Register reg;
    trvsim::TcpServer server(reg);
    const int port = server.start(0);

    // --- latency
    TARVIK_HANDLE device;
    TARVIK_HANDLE view = openTcp(port, device);
    std::vector<double> lib, raw;
    for (int i = 0; i < rounds; ++i) {
        auto t0 = Clock::now();
        TARVIK_HANDLE r = TRV_CreateRequest(view, 14);
        TRV_PostRequest(r, 0);
        TRV_WaitForRequestCompleted(r, 5000);
        lib.push_back(usSince(t0));
        TRV_DestroyRequest(r);
    }
    {
        RawClient c(port);
        for (int i = 0; i < rounds; ++i) {
            auto t0 = Clock::now();
            c.send(static_cast<uint32_t>(i + 1), 14);
            c.waitAnswers(1);
            raw.push_back(usSince(t0));
        }
    }
    Stats sl = stats(lib), sr = stats(raw);
    std::printf("round trip (us)        library: median %8.1f  p99 %8.1f | raw socket: median %8.1f  p99 %8.1f | ratio %.2f\n",
                sl.median, sl.p99, sr.median, sr.p99, sl.median / sr.median);

    // --- pipelined throughput
    std::vector<TARVIK_HANDLE> reqs(pipelined);
    uint32_t maxLen = pipelined + 1;
    TRV_SetDeviceParam(device, TARVIK_PARAM_OUTQUEUEMAXLEN, &maxLen);
    auto t0 = Clock::now();
    for (auto& r : reqs) {
        r = TRV_CreateRequest(view, 14);
        TRV_PostRequest(r, 0);
    }
    int ok = 0;
    for (auto& r : reqs) {
        ok += TRV_WaitForRequestCompleted(r, 30000) == 0 && TRV_GetRequestStatus(r) == 0;
        TRV_DestroyRequest(r);
    }
    const double libRate = pipelined / (usSince(t0) / 1e6);
    double rawRate;
    {
        RawClient c(port);
        t0 = Clock::now();
        for (int i = 0; i < pipelined; ++i) c.send(static_cast<uint32_t>(i + 1), 14);
        c.waitAnswers(pipelined);
        rawRate = pipelined / (usSince(t0) / 1e6);
    }
    std::printf("pipelined %d requests library: %8.0f req/s (%d ok) | raw socket: %8.0f req/s | ratio %.2f\n",
                pipelined, libRate, ok, rawRate, libRate / rawRate);
    TRV_CloseDevice(view);
    TRV_DestroyDeviceHandle(device);
    server.stop();

    // --- idle CPU of 100 devices, the simulator in a process of its own
    const char* simPath = argc > 1 ? argv[1] : TRVSIM_PATH;
    int pipefd[2];
    if (pipe(pipefd) != 0) return 1;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(pipefd[1], 1);
        execl(simPath, simPath, "--port", "0", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipefd[1]);
    char line[64] = {};
    ssize_t n = read(pipefd[0], line, sizeof line - 1);
    int simPort = 0;
    if (n <= 0 || std::sscanf(line, "port %d", &simPort) != 1) {
        std::printf("idle: trvsim did not start\n");
        return 1;
    }
    std::vector<std::pair<TARVIK_HANDLE, TARVIK_HANDLE>> devs(100);
    int opened = 0;
    for (auto& [d, v] : devs) opened += (v = openTcp(simPort, d)) != nullptr;
    sleep(1);
    const double c0 = cpuSeconds();
    auto w0 = Clock::now();
    sleep(10);
    const double cpu = cpuSeconds() - c0;
    const double wall = usSince(w0) / 1e6;
    std::printf("idle: %d open TCP devices for %.1f s used %.3f s CPU = %.3f%% of one core\n", opened, wall, cpu,
                100.0 * cpu / wall);
    for (auto& [d, v] : devs) {
        if (v) TRV_CloseDevice(v);
        TRV_DestroyDeviceHandle(d);
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    return 0;
}
