// The library's device core against the simulator: a device whose frames go
// over a loopback socket to the simulated register, with a receiver thread
// feeding the receive path. Checks that the two sides agree on the busy
// rule, retries, replays after CRC errors and the cipher.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "sim_register.h"
#include "sim_tcp.h"
#include "test_device.h"

using namespace trvsim;

namespace {

class SocketDevice : public trv::test::TestDevice {
public:
    explicit SocketDevice(int port) : port_(port) { busyPause = 20; }
    ~SocketDevice() override { DeviceRealClose(); }

    bool DeviceRealOpen() override {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port_));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return false;
        stop_ = false;
        receiver_ = std::thread([this] {
            uint8_t buf[4096];
            while (!stop_) {
                pollfd p{fd_, POLLIN, 0};
                if (::poll(&p, 1, 20) <= 0) continue;
                const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
                if (n <= 0) break;
                ProcessRecvBytes(buf, static_cast<size_t>(n));
            }
        });
        return TestDevice::DeviceRealOpen();
    }
    bool DeviceRealClose() override {
        TestDevice::DeviceRealClose();
        stop_ = true;
        if (receiver_.joinable()) receiver_.join();
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        return true;
    }

protected:
    TARVIK_STATUS WriteFrame(const uint8_t* data, size_t len) override {
        return ::send(fd_, data, len, MSG_NOSIGNAL) == static_cast<ssize_t>(len) ? 0 : TARVIK_STATUS_TCP_ECONNRESET;
    }

private:
    int port_;
    int fd_ = -1;
    std::atomic<bool> stop_{false};
    std::thread receiver_;
};

class SimDevice : public ::testing::Test {
protected:
    void SetUp() override {
        reg.setBusyMs(150);
        port = server.start(0);
        ASSERT_GT(port, 0);
        dev = new SocketDevice(port);
        view = TRV_OpenDevice(handleOf(dev));
        ASSERT_NE(view, nullptr);
    }
    void TearDown() override {
        TRV_CloseDevice(view);
        TRV_DestroyDeviceHandle(handleOf(dev));
        server.stop();
    }
    // Posts a request, waits for it and returns its status; the request stays in *out.
    TARVIK_STATUS run(TARVIK_HANDLE req, uint32_t ms = 3000) {
        EXPECT_EQ(TRV_PostRequest(req, 0), 0u);
        TRV_WaitForRequestCompleted(req, ms);
        return TRV_GetRequestStatus(req);
    }

    Register reg;
    TcpServer server{reg};
    int port = -1;
    SocketDevice* dev = nullptr;
    TARVIK_HANDLE view = nullptr;
};

}  // namespace

TEST_F(SimDevice, LongCommandHoldsBackTheNextRequestUntilDone) {
    TARVIK_HANDLE report = TRV_CreateRequest(view, 1101);  // the report of article 1
    for (int i = 0; i < 3; ++i) TRV_PushRequestParamByte(report, 0);
    TRV_PushRequestParamWord(report, 1);
    TARVIK_HANDLE clock = TRV_CreateRequest(view, 14);
    ASSERT_EQ(TRV_PostRequest(report, 0), 0u);
    EXPECT_EQ(run(clock), 0u);  // not refused as busy: the library waited
    EXPECT_EQ(TRV_GetRequestState(report), TARVIK_STATE_COMPLETED);
    EXPECT_EQ(TRV_GetResponseValueCount(clock), 3u);
    EXPECT_EQ(reg.stats().errorAnswers, 0u);
    TRV_DestroyRequest(report);
    TRV_DestroyRequest(clock);
}

TEST_F(SimDevice, RetriesAndReplaysEndInOneExecution) {
    Faults f;
    f.crcErrorEvery = 2;  // every other final answer arrives damaged
    reg.setFaults(f);
    reg.failNextFrames(2);
    for (uint16_t n = 300; n < 306; ++n) {
        TARVIK_HANDLE r = TRV_CreateRequest(view, 2100);
        TRV_PushRequestParamWord(r, n);
        TRV_PushRequestParamString(r, "X");
        TRV_PushRequestParamString(r, "");
        TRV_PushRequestParamNumeric(r, "100");
        TRV_PushRequestParamNumeric(r, "0");
        for (int i = 0; i < 11; ++i) TRV_PushRequestParamByte(r, 0);
        EXPECT_EQ(run(r), 0u) << n;  // an insert run twice would fail as existing
        TRV_DestroyRequest(r);
    }
    EXPECT_GT(reg.stats().corruptedSent, 0u);
    EXPECT_EQ(reg.articleCount(), 2u + 6u);
}

TEST_F(SimDevice, CipherSetupIsTakenByTheLibrary) {
    reg.pushCipherSetup(2, "5AC3");
    for (int i = 0; i < 200 && TRV_GetCryptoStatus(view) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(TRV_GetCryptoStatus(view), 2);
    TARVIK_HANDLE r = TRV_CreateRequest(view, 2130);
    TRV_PushRequestParamString(r, "MLEKO");
    EXPECT_EQ(run(r), 0u);
    unsigned short n = 0;
    EXPECT_EQ(TRV_PopResponseValueWord(r, &n), 0u);
    EXPECT_EQ(n, 2);
    TRV_DestroyRequest(r);
    EXPECT_GT(reg.stats().framesReceived, 0u);
    EXPECT_EQ(reg.stats().malformedReceived + reg.stats().badCrcReceived, 0u);
}
