// The TCP transport and the device-handle API on real loopback sockets.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "register_play.h"

using namespace trv;
using namespace trv::test;

namespace {

// A listening socket on a free loopback port.
struct Listener {
    int fd = -1;
    uint16_t port = 0;
    Listener() {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd, 8);
        socklen_t l = sizeof a;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &l);
        port = ntohs(a.sin_port);
    }
    ~Listener() { ::close(fd); }
    int accept(int ms = 3000) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, ms) <= 0) return -1;
        return ::accept(fd, nullptr, nullptr);
    }
};

// A port nothing listens on.
uint16_t closedPort() {
    Listener l;
    return l.port;  // closed when l goes
}

TARVIK_HANDLE tcpDevice(const std::string& host, uint16_t port) {
    TARVIK_HANDLE d = TRV_CreateDeviceHandle(TARVIK_DEVICE_ETHER);
    EXPECT_NE(d, nullptr);
    std::string p = std::to_string(port);
    EXPECT_EQ(TRV_SetDeviceParam(d, TARVIK_PARAM_IPADDRESS, const_cast<char*>(host.c_str())), 0u);
    EXPECT_EQ(TRV_SetDeviceParam(d, TARVIK_PARAM_IPPORT, p.data()), 0u);
    return d;
}

}  // namespace

TEST(TcpApi, HandlesAndOpenErrors) {
    EXPECT_EQ(TRV_CreateDeviceHandle(0), nullptr);
    EXPECT_EQ(TRV_CreateDeviceHandle(4), nullptr);

    TARVIK_HANDLE d = tcpDevice("127.0.0.1", closedPort());
    EXPECT_EQ(TRV_OpenDevice(d), nullptr);
    EXPECT_EQ(TRV_GetError(d), 60u);  // connection refused
    EXPECT_EQ(TRV_GetError(d), 0u);   // read once
    char buf[64];
    EXPECT_EQ(TRV_GetDeviceParam(d, TARVIK_PARAM_IPADDRESS, buf), TARVIK_STATUS_INVALIDARG);
    EXPECT_EQ(TRV_SetDeviceParam(d, TARVIK_PARAM_IPADDRESS, nullptr), TARVIK_STATUS_MISSINGVALUE);
    EXPECT_EQ(TRV_ModemDial(d, 0), TARVIK_STATUS_NOTMODEM);
    EXPECT_EQ(TRV_ModemStatus(d), TARVIK_STATUS_NOTMODEM);
    EXPECT_EQ(TRV_ModemWrite(d, "AT\r"), TARVIK_STATUS_NOTMODEM);
    EXPECT_EQ(TRV_DestroyDeviceHandle(d), 0u);

    TARVIK_HANDLE n = tcpDevice("no-such-host.invalid", 1000);
    EXPECT_EQ(TRV_OpenDevice(n), nullptr);
    EXPECT_EQ(TRV_GetError(n), TARVIK_STATUS_OPENFAILED);
    EXPECT_EQ(TRV_DestroyDeviceHandle(n), 0u);
}

TEST(TcpApi, OpenCloseAndPeerCloseReconnects) {
    Listener l;
    TARVIK_HANDLE d = tcpDevice("localhost", l.port);  // a name, resolved
    if (getenv("TCP_DEBUG_LOG")) {
        TRV_SetDebugFileName(d, getenv("TCP_DEBUG_LOG"));
        TRV_SetDebugLevel(d, 0x1500F);
    }
    TARVIK_HANDLE v = TRV_OpenDevice(d);
    ASSERT_NE(v, nullptr);
    int c1 = l.accept();
    ASSERT_GE(c1, 0);
    EXPECT_EQ(TRV_DestroyDeviceHandle(d), TARVIK_STATUS_INUSE);
    ::close(c1);  // the register drops the connection while idle
    int c2 = l.accept();
    ASSERT_GE(c2, 0) << "no reconnect after the peer closed";

    // A request goes over the new connection.
    TARVIK_HANDLE r = TRV_CreateRequest(v, 14);
    ASSERT_EQ(TRV_PostRequest(r, 0), 0u);
    std::vector<uint8_t> in(256);
    pollfd p{c2, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 3000), 1);
    const ssize_t n = ::read(c2, in.data(), in.size());
    ASSERT_GT(n, 0);
    DecodedFrame f = decodeSent({in.begin(), in.begin() + n});
    EXPECT_EQ(f.cmd, 14);
    auto ack = regFrame(f.token, 1), ans = regFrame(f.token, 14, {B(9), B(5), B(7)});
    ack.insert(ack.end(), ans.begin(), ans.end());
    ASSERT_EQ(::write(c2, ack.data(), ack.size()), static_cast<ssize_t>(ack.size()));
    EXPECT_EQ(TRV_WaitForRequestCompleted(r, 3000), 0u);
    EXPECT_EQ(TRV_GetRequestStatus(r), 0u);
    TRV_DestroyRequest(r);

    EXPECT_EQ(TRV_CloseDevice(v), 0u);
    EXPECT_EQ(TRV_DestroyDeviceHandle(d), 0u);
    ::close(c2);
}

TEST(TcpApi, PortTextAndWaitTimeout) {
    Listener l;
    TARVIK_HANDLE d = TRV_CreateDeviceHandle(TARVIK_DEVICE_ETHER);
    char bad[] = "12ab";  // not a number: accepted, and then nothing listens there
    EXPECT_EQ(TRV_SetDeviceParam(d, TARVIK_PARAM_IPPORT, bad), 0u);
    std::string p = std::to_string(l.port);
    EXPECT_EQ(TRV_SetDeviceParam(d, TARVIK_PARAM_IPPORT, p.data()), 0u);
    TARVIK_HANDLE v = TRV_OpenDevice(d);  // default host 127.0.0.1
    ASSERT_NE(v, nullptr);
    int c = l.accept();
    ASSERT_GE(c, 0);
    TARVIK_HANDLE r = TRV_CreateRequest(v, 14);
    TRV_PostRequest(r, 0);
    auto t0 = Clock::now();
    EXPECT_EQ(TRV_WaitForRequestCompleted(r, 0), TARVIK_STATUS_TIMEOUT);  // one 50 ms pause
    EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(45));
    t0 = Clock::now();
    EXPECT_EQ(TRV_WaitForRequestCompleted(r, 300), TARVIK_STATUS_TIMEOUT);  // gives up after ~250 ms
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
    EXPECT_GE(ms, 240);
    EXPECT_LT(ms, 2000);
    TRV_CloseDevice(v);  // the request stays the application's
    TRV_DestroyRequest(r);
    TRV_DestroyDeviceHandle(d);
    ::close(c);
}
