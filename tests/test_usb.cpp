// The USB transport over a fake FTDI bus (bridges with and without serial
// numbers, a bridge that plays the register), and once over the real
// libftdi / libusb through the public API.
#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <optional>
#include <thread>

#include "trvlib_deviceusb.h"
#include "trvlib_fifo.h"
#include "trvlib_request.h"

using namespace trv;
using namespace std::chrono_literals;

namespace {

// The bus and the bridges on it, shared by every context the device makes.
struct FakeWorld {
    struct Bridge {
        std::optional<std::string> serial;  // none: the serial number cannot be read
        bool openable = true;
    };

    std::mutex m;
    std::vector<Bridge> bridges;  // set up before use
    int findAllResult = 0;        // negative: the bus search fails
    bool initFails = false;

    // guarded by m
    int contextsLive = 0, serialHandlesOpen = 0;
    int opened = -1;              // the bridge index the connection was opened on
    bool readOnReleased = false;  // a read ran on a released context
    bool writeFails = false, readFails = false;
    int writeCalls = 0, readCalls = 0;
    const int maxWrite = 7;       // the bridge takes frames in small pieces
    std::vector<uint8_t> written;
    std::deque<uint8_t> toRead;
    FIFO fromHost;

    template <class F>
    auto locked(F f) {
        std::lock_guard<std::mutex> lk(m);
        return f(*this);
    }

    // Plays the register: every frame written is acknowledged and answered
    // with the parameters it carried followed by the Long 4242.
    void registerSees(const uint8_t* data, size_t n) {
        fromHost.push(data, n);
        std::vector<uint8_t> frame;
        size_t dropped = 0;
        while (fromHost.nextFrame(frame, dropped)) {
            DecodedFrame in;
            if (decodeFrame(frame.data(), frame.size(), Cipher{}, CipherOrder::ItemsFirst, in) != FRAME_OK) continue;
            TRV_DataItem extra;
            extra.SetLong(4242);
            std::vector<const TRV_DataItem*> items;
            for (const TRV_DataItem& it : in.items) items.push_back(&it);
            items.push_back(&extra);
            uint16_t f1 = 0, f2 = 0;
            for (auto& fr : {encodeFrame(f1, in.token, 1, {}, Cipher{}, CipherOrder::CommandFirst),
                             encodeFrame(f2, in.token, in.cmd, items, Cipher{}, CipherOrder::CommandFirst)})
                toRead.insert(toRead.end(), fr.begin(), fr.end());
        }
    }
};

UsbDevice devOf(size_t i) { return reinterpret_cast<UsbDevice>(i + 1); }
size_t indexOf(UsbDevice d) { return reinterpret_cast<size_t>(d) - 1; }

class FakeBus final : public FtdiBus {
public:
    explicit FakeBus(std::shared_ptr<FakeWorld> w) : w_(std::move(w)) { w_->locked([](FakeWorld& w) { ++w.contextsLive; }); }
    ~FakeBus() override { w_->locked([](FakeWorld& w) { --w.contextsLive; }); }

    int init() override { return w_->initFails ? -1 : (inited_ = true, 0); }
    bool initialised() const override { return inited_; }
    void deinit() override { inited_ = false; }
    int findAll(int, int, std::vector<UsbDevice>& devices) override {
        for (size_t i = 0; i < w_->bridges.size(); ++i) devices.push_back(devOf(i));
        return w_->findAllResult < 0 ? w_->findAllResult : static_cast<int>(devices.size());
    }
    void freeList() override {}
    UsbHandle openUsb(UsbDevice dev) override {
        if (!w_->bridges.at(indexOf(dev)).openable) return nullptr;
        w_->locked([](FakeWorld& w) { ++w.serialHandlesOpen; });
        return dev;
    }
    int getSerial(UsbHandle, UsbDevice dev, std::string& serial) override {
        const auto& s = w_->bridges.at(indexOf(dev)).serial;
        if (s) serial = *s;
        return s ? static_cast<int>(s->size()) : -7;
    }
    void closeUsb(UsbHandle) override { w_->locked([](FakeWorld& w) { --w.serialHandlesOpen; }); }
    int openDev(UsbDevice dev) override {
        return w_->locked([dev](FakeWorld& w) { return w.opened = static_cast<int>(indexOf(dev)), 0; });
    }
    int disableBitbang() override { return 0; }
    int setLatencyTimer(unsigned char) override { return 0; }
    int writeData(const uint8_t* data, int size) override {
        return w_->locked([&](FakeWorld& w) {
            ++w.writeCalls;
            if (w.writeFails) return -4;
            const int n = std::min(size, w.maxWrite);
            w.written.insert(w.written.end(), data, data + n);
            w.registerSees(data, static_cast<size_t>(n));
            return n;
        });
    }
    int readData(uint8_t* buf, int size) override {
        return w_->locked([&](FakeWorld& w) {
            ++w.readCalls;
            if (!inited_) w.readOnReleased = true;
            if (!inited_ || w.readFails) return -5;
            int n = 0;
            for (; n < size && !w.toRead.empty(); ++n, w.toRead.pop_front()) buf[n] = w.toRead.front();
            return n;
        });
    }
    int closeDev() override { return w_->locked([](FakeWorld& w) { return w.opened = -1, 0; }); }

private:
    std::shared_ptr<FakeWorld> w_;
    std::atomic<bool> inited_{false};
};

// A USB device over the fake bus, handed around as a device handle.
struct UsbFixture {
    std::shared_ptr<FakeWorld> world = std::make_shared<FakeWorld>();
    TRV_USBDevice* dev;
    TARVIK_HANDLE h;

    UsbFixture() {
        auto w = world;
        dev = new TRV_USBDevice([w] { return std::unique_ptr<FtdiBus>(new FakeBus(w)); });
        h = dev->handle();
    }
    ~UsbFixture() { TRV_DestroyDeviceHandle(h); }
    TARVIK_HANDLE open(const char* serial) {
        EXPECT_EQ(TRV_SetDeviceParam(h, TARVIK_PARAM_SERIALNO, const_cast<char*>(serial)), 0u);
        return TRV_OpenDevice(h);
    }
    template <class F>
    auto with(F f) {
        return world->locked(f);
    }
    int opened() { return with([](FakeWorld& w) { return w.opened; }); }
};

TARVIK_HANDLE postWord(TARVIK_HANDLE view, uint16_t value) {
    TARVIK_HANDLE r = TRV_CreateRequest(view, 2110);
    EXPECT_EQ(TRV_PushRequestParamWord(r, value), 0u);
    EXPECT_EQ(TRV_PostRequest(r, 0), 0u);
    return r;
}

// Waits for the fake register's answer to a postWord request, then frees it.
void expectAnswered(TARVIK_HANDLE r, uint16_t value) {
    EXPECT_EQ(TRV_WaitForRequestCompleted(r, 3000), 0u);
    EXPECT_EQ(TRV_GetRequestStatus(r), 0u);
    unsigned short w = 0;
    uint32_t l = 0;
    EXPECT_EQ(TRV_PopResponseValueWord(r, &w), 0u);
    EXPECT_EQ(TRV_PopResponseValueLong(r, &l), 0u);
    EXPECT_EQ(w, value);
    EXPECT_EQ(l, 4242u);
    TRV_DestroyRequest(r);
}

}  // namespace

TEST(Usb, DeviceListAndSelectingBridges) {
    UsbFixture f;
    f.world->bridges = {{std::nullopt, true}, {"X1", false}, {"A123", true}, {std::nullopt, true}};

    // The bridge that cannot be opened is left out and not counted.
    char buf[512];
    ASSERT_EQ(TRV_GetDeviceParam(f.h, TARVIK_PARAM_DEVICELIST, buf), 0u);
    EXPECT_STREQ(buf, "DEVICE_WO_SERIAL_0\nA123\nDEVICE_WO_SERIAL_1\n");

    // The second bridge without a serial number, by its name, not the first;
    // the handles that only read serial numbers are closed again.
    TARVIK_HANDLE v = f.open("DEVICE_WO_SERIAL_1");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(f.opened(), 3);
    EXPECT_EQ(f.with([](FakeWorld& w) { return w.serialHandlesOpen; }), 0);
    EXPECT_EQ(TRV_CloseDevice(v), 0u);
    EXPECT_EQ(f.opened(), -1);

    v = f.open("A123");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(f.opened(), 2);
    EXPECT_EQ(TRV_CloseDevice(v), 0u);

    // Exact comparison; a k past the last such bridge or no k selects nothing.
    for (const char* s : {"a123", "A12", "DEVICE_WO_SERIAL_2", "DEVICE_WO_SERIAL_", "X1"}) EXPECT_EQ(f.open(s), nullptr) << s;
    EXPECT_EQ(f.with([](FakeWorld& w) { return w.serialHandlesOpen; }), 0);
}

TEST(Usb, ParametersAndFailedSearches) {
    UsbFixture f;
    char buf[32] = "untouched";
    EXPECT_EQ(TRV_GetDeviceParam(f.h, TARVIK_PARAM_DEVICELIST, buf), 0u);  // an empty bus
    EXPECT_STREQ(buf, "untouched");

    // An unknown serial number fails the open and sets no last error.
    f.world->bridges = {{"A123", true}};
    EXPECT_EQ(f.open("B999"), nullptr);
    EXPECT_EQ(TRV_GetError(f.h), 0u);

    f.world->findAllResult = -2;  // the bus search fails
    EXPECT_EQ(TRV_GetDeviceParam(f.h, TARVIK_PARAM_DEVICELIST, buf), 9u);
    EXPECT_STREQ(buf, "untouched");
    EXPECT_EQ(f.open("A123"), nullptr);
    EXPECT_EQ(f.with([](FakeWorld& w) { return w.contextsLive; }), 1);  // list contexts are gone

    f.world->initFails = true;
    EXPECT_EQ(TRV_GetDeviceParam(f.h, TARVIK_PARAM_DEVICELIST, buf), 10u);
    EXPECT_EQ(TRV_OpenDevice(f.h), nullptr);
    EXPECT_EQ(TRV_GetError(f.h), 10u);

    // The port string is stored and read back.
    char text[64], np[] = "/dev/ttyUSB0,19200,8,E,1,N";
    ASSERT_EQ(TRV_GetDeviceParam(f.h, TARVIK_PARAM_COMPARAMS, text), 0u);
    EXPECT_STREQ(text, "/dev/ttyS0,9600,8,N,1,H");
    ASSERT_EQ(TRV_SetDeviceParam(f.h, TARVIK_PARAM_COMPARAMS, np), 0u);
    ASSERT_EQ(TRV_GetDeviceParam(f.h, TARVIK_PARAM_COMPARAMS, text), 0u);
    EXPECT_STREQ(text, np);
    EXPECT_EQ(TRV_GetDeviceParam(f.h, TARVIK_PARAM_DEVICELIST, nullptr), TARVIK_STATUS_MISSINGVALUE);
}

TEST(Usb, RequestsCompleteThroughTheBridge) {
    UsbFixture f;
    f.world->bridges = {{"R1", true}};
    TARVIK_HANDLE v = f.open("R1");
    ASSERT_NE(v, nullptr);
    TARVIK_HANDLE a = postWord(v, 7), b = postWord(v, 0x1010);  // DLE bytes are escaped on the wire
    expectAnswered(a, 7);
    expectAnswered(b, 0x1010);

    // Listing the bus while open leaves the connection alone.
    char buf[64];
    ASSERT_EQ(TRV_GetDeviceParam(f.h, TARVIK_PARAM_DEVICELIST, buf), 0u);
    EXPECT_STREQ(buf, "R1\n");
    expectAnswered(postWord(v, 9), 9);

    uint32_t sent = 0, completed = 0;
    ASSERT_EQ(TRV_RequestQueueStats(v, &sent, &completed), 0u);
    EXPECT_EQ(sent, 3u);
    // Every byte handed to the bridge is counted once, partial writes included.
    EXPECT_EQ(f.dev->bytesSent.load(), f.with([](FakeWorld& w) { return static_cast<int>(w.written.size()); }));
    EXPECT_EQ(TRV_CloseDevice(v), 0u);
    EXPECT_FALSE(f.with([](FakeWorld& w) { return w.readOnReleased; }));
}

TEST(Usb, ReadFailureEndsTheReceiverAndReopenRecovers) {
    UsbFixture f;
    f.world->bridges = {{"R1", true}};
    TARVIK_HANDLE v = f.open("R1");
    ASSERT_NE(v, nullptr);

    // The bridge goes away: the receiver stops reading and leaves 9.
    f.with([](FakeWorld& w) { return w.readFails = true; });
    for (int i = 0; i < 600 && f.dev->GetLastError() != 9u; ++i) std::this_thread::sleep_for(5ms);
    const int reads = f.with([](FakeWorld& w) { return w.readCalls; });
    TARVIK_HANDLE r = postWord(v, 5);  // written, but nothing reads the answer
    EXPECT_EQ(TRV_WaitForRequestCompleted(r, 200), TARVIK_STATUS_TIMEOUT);
    EXPECT_EQ(f.with([](FakeWorld& w) { return w.readCalls; }), reads);
    EXPECT_EQ(TRV_GetError(v), 9u);
    TRV_DestroyRequest(r);

    // Close every view and open again: the connection works again.
    EXPECT_EQ(TRV_CloseDevice(v), 0u);
    f.with([](FakeWorld& w) { return w.readFails = false, w.toRead.clear(), 0; });
    v = f.open("R1");
    ASSERT_NE(v, nullptr);
    expectAnswered(postWord(v, 6), 6);
    EXPECT_EQ(TRV_CloseDevice(v), 0u);
}

TEST(Usb, FailedWritesKeepTheRequestPendingAtAPace) {
    UsbFixture f;
    f.world->bridges = {{"R1", true}};
    TARVIK_HANDLE v = f.open("R1");
    ASSERT_NE(v, nullptr);

    f.with([](FakeWorld& w) { return w.writeFails = true; });
    TARVIK_HANDLE r = postWord(v, 3);
    std::this_thread::sleep_for(400ms);
    EXPECT_EQ(TRV_GetRequestState(r), static_cast<TARVIK_STATE>(TARVIK_STATE_PENDING));
    EXPECT_EQ(f.dev->GetLastError(), 9u);
    // Tried again, but not in a tight loop (about once per 50 ms).
    const int tries = f.with([](FakeWorld& w) { return w.writeCalls; });
    EXPECT_GE(tries, 2);
    EXPECT_LE(tries, 40);
    f.with([](FakeWorld& w) { return w.writeFails = false; });
    expectAnswered(r, 3);

    // A stop during the retry pause is seen at once; the request stays pending.
    f.with([](FakeWorld& w) { return w.writeFails = true; });
    r = postWord(v, 4);
    std::this_thread::sleep_for(20ms);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(TRV_CloseDevice(v), 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 1000ms);
    EXPECT_EQ(TRV_GetRequestState(r), static_cast<TARVIK_STATE>(TARVIK_STATE_PENDING));
    TRV_DestroyRequest(r);
}

// The real libraries: this machine has no bridge (and perhaps no access to
// the USB bus), which must come back as a status, not a crash.
TEST(Usb, RealLibrariesWithoutABridge) {
    TARVIK_HANDLE h = TRV_CreateDeviceHandle(TARVIK_DEVICE_USB);
    ASSERT_NE(h, nullptr);
    char buf[4096] = "";
    const TARVIK_STATUS st = TRV_GetDeviceParam(h, TARVIK_PARAM_DEVICELIST, buf);
    EXPECT_TRUE(st == 0 || st == 9 || st == 10) << st;
    TRV_GetError(h);

    char serial[] = "NO-SUCH-BRIDGE-0000";
    ASSERT_EQ(TRV_SetDeviceParam(h, TARVIK_PARAM_SERIALNO, serial), 0u);
    if (TARVIK_HANDLE v = TRV_OpenDevice(h)) {
        TRV_CloseDevice(v);  // a bridge with that serial number after all
    } else {
        const TARVIK_STATUS e = TRV_GetError(h);
        EXPECT_TRUE(e == 0 || e == 10) << e;
    }
    EXPECT_EQ(TRV_DestroyDeviceHandle(h), 0u);
}
