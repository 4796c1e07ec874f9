// TRV_USBDevice: a register behind an FTDI USB-to-serial bridge (vendor
// 0x0403, product 0x6001), found by its serial number and driven through
// libftdi. The object is its own sender thread (the shared sender loop with a
// write step of its own); a USBRecvThread reads the bridge and feeds the
// receive path.
//
// Bridge names, for the serial-number parameter and the device list: the
// bridge's serial number, or "DEVICE_WO_SERIAL_<k>" for the k-th bridge (from
// 0, in bus order) whose serial number cannot be read.
//
// Threads and the context. The connection's context (ftdi) is set up and torn
// down only by DeviceRealOpen / DeviceRealClose; in between the sender writes
// and the receiver reads on it, nothing else. Closing stops both threads
// before it closes the bridge and releases the context. A device-list query
// never touches it: it searches the bus with a context of its own.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "trvlib_device.h"     // the base class
#include "trvlib_transport.h"  // the seam: what a transport provides and uses
#include "trvlib_ftdi.h"

namespace trv {

class TRV_USBDevice;

class USBRecvThread final : public Thread {
public:
    explicit USBRecvThread(TRV_USBDevice& dev) : myDevice(dev) {}
    ~USBRecvThread() override {
        signal();
        waitfor();
    }

protected:
    void execute() override;

private:
    TRV_USBDevice& myDevice;
};

class TRV_USBDevice final : public TRV_Device, private Thread {
public:
    static constexpr int kVendor = 0x0403;
    static constexpr int kProduct = 0x6001;
    static constexpr unsigned char kLatencyMs = 20;
    static constexpr int kReadChunk = 128;
    // Pause before a frame whose write failed is tried again.
    static constexpr int kWriteRetryPauseMs = 50;

    explicit TRV_USBDevice(FtdiBusFactory factory = makeLibFtdiBus);
    ~TRV_USBDevice() override;

    TARVIK_STATUS SetDeviceParam(uint32_t id, void* value) override;
    TARVIK_STATUS GetDeviceParam(uint32_t id, void* value) override;
    bool DeviceRealOpen() override;
    bool DeviceRealClose() override;

protected:
    const char* Prefix() const override { return "DEVICE_USB: "; }
    uint32_t Category() const override { return LOG_USB; }
    int BusyPauseMs() const override { return 250; }
    // Pending frames go out together, as many as the bridge's transmit
    // buffer holds (at least one frame).
    TARVIK_STATUS WriteFrames(FrameBatch& b, bool mayBlock) override;
    size_t BatchBytes() const override { return kBatchBytes; }
    static constexpr size_t kBatchBytes = 128;
    long ReadChunk(Thread& self, uint8_t* buf, size_t cap) override;
    size_t RecvChunk() const override { return kReadChunk; }

private:
    friend class USBRecvThread;

    // The sender thread.
    void execute() override { SenderLoop(*this); }
    void on_signal() override { wakeSender(); }


    // Initialises the context unless it already is; on failure sets the last
    // error to 10 and logs it.
    bool TryInit(FtdiBus& bus);
    // Scans the bus with bus and returns the bridge that serial selects, or
    // null. The bus lock is held by the caller, and the list stays allocated
    // (the result points into it) until the caller frees it.
    UsbDevice FindDeviceWithSerial(FtdiBus& bus, const std::string& serial);
    // The device-list text into out (no length check, as the parameter has
    // no length); 0, 9 or 10.
    TARVIK_STATUS DeviceList(char* out);
    void Close() REQUIRES(openMutex);

    FtdiBusFactory factory_;

    Mutex openMutex;                    // serialises DeviceRealOpen / DeviceRealClose
    bool isOpen GUARDED_BY(openMutex) = false;
    std::unique_ptr<FtdiBus> ftdi;      // the connection's context, see above
    std::unique_ptr<USBRecvThread> recv GUARDED_BY(openMutex);

    Mutex paramMutex;  // leaf
    std::string comparams GUARDED_BY(paramMutex){"/dev/ttyS0,9600,8,N,1,H"};  // stored, not applied
    std::string serialno GUARDED_BY(paramMutex);
    std::atomic<uint32_t> timeoutsec{10};              // stored, no effect on this transport
};

}  // namespace trv
