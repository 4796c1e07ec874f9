// The TCP transport and the device-handle API on real loopback sockets.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
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

namespace {
// Reads one frame the library wrote on c.
bool readFrame(int c, DecodedFrame& f) {
    std::vector<uint8_t> in(512);
    pollfd p{c, POLLIN, 0};
    if (::poll(&p, 1, 3000) != 1) return false;
    const ssize_t n = ::read(c, in.data(), in.size());
    if (n <= 0) return false;
    f = decodeSent({in.begin(), in.begin() + n});
    return true;
}
}  // namespace

TEST(TcpApi, ARequestWrittenOnALostConnectionHasAnUnknownOutcome) {
    const std::string log = ::testing::TempDir() + "tcp_lost_log.txt";
    std::remove(log.c_str());
    Listener l;
    TARVIK_HANDLE d = tcpDevice("127.0.0.1", l.port);
    TRV_SetDebugFileName(d, log.c_str());
    TRV_SetDebugLevel(d, 0x400A);
    TARVIK_HANDLE v = TRV_OpenDevice(d);
    ASSERT_NE(v, nullptr);
    int c = l.accept();
    ASSERT_GE(c, 0);

    // Written, then the register drops the line: a sale may or may not have
    // been booked, so this is not "reconnecting failed before sending".
    TARVIK_HANDLE sale = TRV_CreateRequest(v, 14);
    ASSERT_EQ(TRV_PostRequest(sale, 0), 0u);
    DecodedFrame f;
    ASSERT_TRUE(readFrame(c, f));
    ::close(c);
    ASSERT_EQ(TRV_WaitForRequestCompleted(sale, 3000), 0u);
    EXPECT_EQ(TRV_GetRequestStatus(sale), TARVIK_STATUS_OUTCOME_UNKNOWN);

    // A printed report accepted and still running when the line drops.
    c = l.accept();
    ASSERT_GE(c, 0);
    TARVIK_HANDLE report = TRV_CreateRequest(v, 1165);
    ASSERT_EQ(TRV_PostRequest(report, 0), 0u);
    ASSERT_TRUE(readFrame(c, f));
    auto ack = regFrame(f.token, 1);
    ASSERT_EQ(::write(c, ack.data(), ack.size()), static_cast<ssize_t>(ack.size()));
    const auto until = Clock::now() + std::chrono::seconds(2);
    while (TRV_GetRequestState(report) != TARVIK_STATE_ACCEPTED && Clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(TRV_GetRequestState(report), TARVIK_STATE_ACCEPTED);
    ::close(c);
    ASSERT_EQ(TRV_WaitForRequestCompleted(report, 3000), 0u);
    EXPECT_EQ(TRV_GetRequestStatus(report), TARVIK_STATUS_OUTCOME_UNKNOWN);
    c = l.accept();

    TRV_DestroyRequest(sale);
    TRV_DestroyRequest(report);
    TRV_CloseDevice(v);
    TRV_DestroyDeviceHandle(d);
    if (c >= 0) ::close(c);

    std::ifstream in(log);
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string text = ss.str();
    EXPECT_NE(text.find("DEVICE_ETHER: Got a frame: 14, TOKEN: 1\n"), std::string::npos);
    EXPECT_EQ(text.find("DEVICE_Ether: Got a frame"), std::string::npos);
    EXPECT_NE(text.find("DEVICE_Ether: Sending frame CMD: 14, TOKEN: 1\n"), std::string::npos);
}

TEST(TcpApi, ClosingDoesNotWaitForAReconnectInProgress) {
    Listener l;
    TARVIK_HANDLE d = tcpDevice("127.0.0.1", l.port);
    TARVIK_HANDLE v = TRV_OpenDevice(d);
    ASSERT_NE(v, nullptr);
    int c = l.accept();
    ASSERT_GE(c, 0);
    // The next connection goes to an address that never answers (TEST-NET-1).
    char black[] = "192.0.2.1";
    TRV_SetDeviceParam(d, TARVIK_PARAM_IPADDRESS, black);
    ::close(c);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // reconnecting now
    // Posting and counting go on meanwhile.
    TARVIK_HANDLE r = TRV_CreateRequest(v, 14);
    auto t0 = Clock::now();
    EXPECT_EQ(TRV_PostRequest(r, 0), 0u);
    EXPECT_EQ(TRV_GetRequestCount(v, 1), 1u);
    EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(500));
    t0 = Clock::now();
    EXPECT_EQ(TRV_CloseDevice(v), 0u);
    EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(1000));
    TRV_DestroyRequest(r);
    EXPECT_EQ(TRV_DestroyDeviceHandle(d), 0u);
}
