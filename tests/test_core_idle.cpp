// An open device with nothing to do: its threads sleep until something
// happens, and closing it stops them without going round in circles. Counted
// by the threads' own context switches in /proc, not by a clock.
#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "pty_far_end.h"

using namespace trv;
using namespace trv::test;

namespace {

std::set<int> threadsOfThisProcess() {
    std::set<int> out;
    DIR* d = ::opendir("/proc/self/task");
    while (dirent* e = d ? ::readdir(d) : nullptr)
        if (e->d_name[0] != '.') out.insert(std::atoi(e->d_name));
    if (d) ::closedir(d);
    return out;
}

// Voluntary plus involuntary context switches of the given threads so far.
long switches(const std::set<int>& tids) {
    long n = 0;
    for (int t : tids) {
        std::ifstream in("/proc/self/task/" + std::to_string(t) + "/status");
        std::string line;
        while (std::getline(in, line))
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
                n += std::atol(line.substr(line.find(':') + 1).c_str());
    }
    return n;
}

// Opens the device through open(), then watches the threads it started for
// a while: how often they ran.
template <class Open>
long wakeupsWhileIdle(Open open, TARVIK_HANDLE& view) {
    // A thread of our own first: a runtime that starts a helper thread with
    // the process's first one (ThreadSanitizer does) has it by now.
    std::thread([] {}).join();
    const std::set<int> before = threadsOfThisProcess();
    view = open();
    if (!view) return -1;
    std::set<int> mine;
    for (int t : threadsOfThisProcess())
        if (!before.count(t)) mine.insert(t);
    EXPECT_EQ(mine.size(), 2u);  // a sender and a receiver
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // settle
    const long s0 = switches(mine);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    return switches(mine) - s0;
}

}  // namespace

TEST(Idle, AnIdleTcpDeviceSleeps) {
    const int ls = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(ls, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(ls, 4), 0);
    socklen_t l = sizeof a;
    ::getsockname(ls, reinterpret_cast<sockaddr*>(&a), &l);
    TARVIK_HANDLE dev = TRV_CreateDeviceHandle(TARVIK_DEVICE_ETHER);
    std::string port = std::to_string(ntohs(a.sin_port));
    char host[] = "127.0.0.1";
    TRV_SetDeviceParam(dev, TARVIK_PARAM_IPADDRESS, host);
    TRV_SetDeviceParam(dev, TARVIK_PARAM_IPPORT, port.data());
    TARVIK_HANDLE view = nullptr;
    const long woke = wakeupsWhileIdle([&] { return TRV_OpenDevice(dev); }, view);
    ASSERT_NE(view, nullptr);
    // Waking on a clock (a second's wait, say) would show as a few here.
    EXPECT_LE(woke, 1);

    // Still awake to work: a request goes out at once.
    const int c = ::accept(ls, nullptr, nullptr);
    ASSERT_GE(c, 0);
    TARVIK_HANDLE r = TRV_CreateRequest(view, 14);
    ASSERT_EQ(TRV_PostRequest(r, 0), 0u);
    pollfd p{c, POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 2000), 1);
    TRV_DestroyRequest(r);
    EXPECT_EQ(TRV_CloseDevice(view), 0u);
    EXPECT_EQ(TRV_DestroyDeviceHandle(dev), 0u);
    ::close(c);
    ::close(ls);
}

TEST(Idle, AnIdleSerialPortSleepsOutsideModemMode) {
    Pty pty;
    ASSERT_FALSE(pty.slave.empty());
    TARVIK_HANDLE dev = TRV_CreateDeviceHandle(TARVIK_DEVICE_RS232);
    std::string ps = pty.slave + ",9600,8,N,1,N";
    TRV_SetDeviceParam(dev, TARVIK_PARAM_COMPARAMS, ps.data());
    TARVIK_HANDLE view = nullptr;
    const long woke = wakeupsWhileIdle([&] { return TRV_OpenDevice(dev); }, view);
    ASSERT_NE(view, nullptr);
    EXPECT_LE(woke, 1);
    EXPECT_EQ(TRV_CloseDevice(view), 0u);
    EXPECT_EQ(TRV_DestroyDeviceHandle(dev), 0u);
}
