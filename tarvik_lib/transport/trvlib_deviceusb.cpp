#include "trvlib_deviceusb.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <system_error>

namespace trv {

namespace {

const char kNoSerial[] = "DEVICE_WO_SERIAL_";
constexpr size_t kNoSerialLen = sizeof kNoSerial - 1;

std::string num(long long v) { return std::to_string(v); }

// libusb 0.1 keeps the bus in global lists that every scan rebuilds (and may
// free devices from), so scans and the use of what they found are serialised
// across all USB devices of the process.
Mutex& busMutex() {
    static Mutex m;
    return m;
}

}  // namespace

TRV_USBDevice::TRV_USBDevice(FtdiBusFactory factory) : factory_(std::move(factory)) {}

TRV_USBDevice::~TRV_USBDevice() {
    MutexLock lk(openMutex);
    Close();
}

// ---------------------------------------------------------------- parameters

TARVIK_STATUS TRV_USBDevice::SetDeviceParam(uint32_t id, void* value) {
    const std::string P = Prefix();
    switch (id) {
    case TARVIK_PARAM_COMPARAMS: {
        if (!value) return TARVIK_STATUS_MISSINGVALUE;
        const char* s = static_cast<const char*>(value);
        Log(LOG_USB, 8, P + "Setting parameters to: " + s);
        MutexLock lk(paramMutex);
        comparams = s;
        return TARVIK_STATUS_OK;
    }
    case TARVIK_PARAM_SENDTIMEOUT: {
        if (!value) return TARVIK_STATUS_MISSINGVALUE;
        const uint32_t v = *static_cast<const uint32_t*>(value);
        Log(LOG_USB, 8, P + "Setting frame send timeout: " + num(v));
        timeoutsec.store(v);
        return TARVIK_STATUS_OK;
    }
    case TARVIK_PARAM_SERIALNO: {
        if (!value) return TARVIK_STATUS_MISSINGVALUE;
        const char* s = static_cast<const char*>(value);
        Log(LOG_USB, 8, P + "Setting parameters to: " + s);
        MutexLock lk(paramMutex);
        serialno = s;
        return TARVIK_STATUS_OK;
    }
    default:
        return TRV_Device::SetDeviceParam(id, value);
    }
}

TARVIK_STATUS TRV_USBDevice::GetDeviceParam(uint32_t id, void* value) {
    switch (id) {
    case TARVIK_PARAM_COMPARAMS: {
        if (!value) return TARVIK_STATUS_MISSINGVALUE;
        MutexLock lk(paramMutex);
        std::memcpy(value, comparams.c_str(), comparams.size() + 1);
        return TARVIK_STATUS_OK;
    }
    case TARVIK_PARAM_DEVICELIST:
        if (!value) return TARVIK_STATUS_MISSINGVALUE;
        return DeviceList(static_cast<char*>(value));
    default:
        return TRV_Device::GetDeviceParam(id, value);
    }
}

// ---------------------------------------------------------------- the bus

bool TRV_USBDevice::TryInit(FtdiBus& bus) {
    if (bus.initialised() || bus.init() == 0) return true;
    SetErrorCode(TARVIK_STATUS_USBINIT);
    Log(LOG_USB, 8, std::string(Prefix()) + "libftdi Init Failed");
    return false;
}

UsbDevice TRV_USBDevice::FindDeviceWithSerial(FtdiBus& bus, const std::string& serial) {
    const std::string P = Prefix();
    // "DEVICE_WO_SERIAL_<k>" picks the k-th bridge without a readable serial
    // number; k stays -1 for any other text (or a k that is no number).
    int k = -1;
    if (serial.compare(0, kNoSerialLen, kNoSerial) == 0) k = stringtoi(serial.substr(kNoSerialLen));

    std::vector<UsbDevice> devices;
    const int rc = bus.findAll(kVendor, kProduct, devices);
    if (rc < 0) {
        Log(LOG_USB, 6, P + "usb_find_all error code: " + num(rc));
        return nullptr;
    }
    int unreadable = 0;
    for (UsbDevice dev : devices) {
        UsbHandle h = bus.openUsb(dev);
        if (!h) {
            Log(LOG_USB, 9, P + "open_device error ");
            continue;
        }
        std::string s;
        const int got = bus.getSerial(h, dev, s);
        // This handle only read the serial number; the connection is opened
        // on the context afterwards.
        bus.closeUsb(h);
        if (got < 0) {
            if (unreadable++ == k) return dev;
        } else if (s == serial) {
            return dev;
        }
    }
    return nullptr;
}

TARVIK_STATUS TRV_USBDevice::DeviceList(char* out) {
    const std::string P = Prefix();
    // A context of its own, so an open connection is never disturbed.
    std::unique_ptr<FtdiBus> bus = factory_();
    if (!bus) return TARVIK_STATUS_NOMEMORY;
    if (!TryInit(*bus)) return TARVIK_STATUS_USBINIT;

    std::string text;
    {
        MutexLock lk(busMutex());
        std::vector<UsbDevice> devices;
        const int rc = bus->findAll(kVendor, kProduct, devices);
        if (rc < 0) {
            Log(LOG_USB, 6, P + "usb_find_all error code: " + num(rc));
            return TARVIK_STATUS_USBIO;
        }
        if (devices.empty()) return TARVIK_STATUS_OK;  // the caller's buffer stays as it was
        Log(LOG_USB, 8, P + "Found " + num(static_cast<long long>(devices.size())) + " devices.");
        int k = 0;
        for (UsbDevice dev : devices) {
            UsbHandle h = bus->openUsb(dev);
            if (!h) {
                Log(LOG_USB, 9, P + "open_device error ");
                continue;
            }
            std::string s;
            const int got = bus->getSerial(h, dev, s);
            if (got < 0) {
                text += kNoSerial + num(k++) + "\n";
                Log(LOG_USB, 9, P + "get_serial error code: " + num(got));
            } else {
                text += s + "\n";
            }
            bus->closeUsb(h);
        }
        bus->freeList();
    }
    std::memcpy(out, text.c_str(), text.size() + 1);
    return TARVIK_STATUS_OK;
}

// ---------------------------------------------------------------- open / close

bool TRV_USBDevice::DeviceRealOpen() {
    const std::string P = Prefix();
    MutexLock lk(openMutex);
    if (isOpen) return true;

    // A log text readers of the log rely on: the open begins (nothing is
    // loaded here; libftdi is linked).
    Log(LOG_USB, 8, P + "Importing DLL");
    if (!ftdi) ftdi = factory_();
    if (!ftdi) {
        SetErrorCode(TARVIK_STATUS_NOMEMORY);
        return false;
    }
    if (!TryInit(*ftdi)) return false;
    Log(LOG_USB, 8, P + "Starting device");
    Log(LOG_USB, 8, P + "Openning communication port");

    std::string serial;
    {
        MutexLock pl(paramMutex);
        serial = serialno;
    }
    {
        MutexLock bl(busMutex());
        UsbDevice dev = FindDeviceWithSerial(*ftdi, serial);
        if (!dev) {
            ftdi->freeList();
            ftdi->deinit();
            Log(LOG_USB, 8, P + "Device not found: " + serial);
            return false;
        }
        Log(LOG_USB, 8, P + "Device found: " + serial);
        const int rc = ftdi->openDev(dev);
        ftdi->freeList();
        if (rc < 0) {
            ftdi->deinit();
            Log(LOG_USB, 8, P + "Error opening device: " + num(rc));
            return false;
        }
    }
    // The line settings stay as libftdi's open left them; only bit-bang mode
    // and the latency timer (how long the bridge holds received bytes back)
    // are set.
    ftdi->disableBitbang();
    const int rc = ftdi->setLatencyTimer(kLatencyMs);
    if (rc < 0) {
        Log(LOG_USB, 8, P + "Error setting latency timer: " + num(rc));
        ftdi->closeDev();
        ftdi->deinit();
        return false;
    }

    try {
        Thread::start();
        recv = std::make_unique<USBRecvThread>(*this);
        recv->start();
    } catch (const std::exception&) {
        // No thread could be started: undo everything.
        isOpen = true;
        Close();
        SetErrorCode(TARVIK_STATUS_NOMEMORY);
        return false;
    }
    isOpen = true;
    return true;
}

bool TRV_USBDevice::DeviceRealClose() {
    MutexLock lk(openMutex);
    Close();
    return true;
}

void TRV_USBDevice::Close() {
    if (!isOpen) return;
    const std::string P = Prefix();
    Log(LOG_USB, 8, P + "Signalling the sender thread");
    Log(LOG_USB, 8, P + "Signalling the receiver thread");
    // Both are told at once, so neither waits for the other's stop.
    Thread::signal();
    if (recv) recv->signal();
    Thread::waitfor();
    Log(LOG_USB, 8, P + "The sender thread wait done");
    if (recv) {
        recv->waitfor();
        recv.reset();
        Log(LOG_USB, 8, P + "The recv thread wait done");
    }
    // No thread uses the context any more: now it may go.
    ftdi->closeDev();
    ftdi->deinit();
    isOpen = false;
}

// ---------------------------------------------------------------- threads

// The frames of a batch in as few bridge writes as it takes. A failed write
// leaves the frame under way and those after it pending, to go out whole on
// a later pass; those wholly written before it are sent.
TARVIK_STATUS TRV_USBDevice::WriteFrames(FrameBatch& b, bool) {
    b.restartFrame();
    while (!signalled()) {
        const size_t left = b.bytes.size() - b.done;
        const int chunk = static_cast<int>(std::min<size_t>(left, INT_MAX));
        const int rc = ftdi->writeData(b.bytes.data() + b.done, chunk);
        if (rc < 0) {
            Log(LOG_USB, 14, std::string(Prefix()) + "Frame: " + num(rc));
            SetErrorCode(TARVIK_STATUS_USBIO);
            // The pause keeps a dead bridge from being hammered.
            b.restartFrame();
            sleep_or_stop(kWriteRetryPauseMs);
            return kKeepPending;
        }
        if (rc == 0) {
            sleep_or_stop(1);  // the bridge took nothing this time
            continue;
        }
        const size_t n = std::min<size_t>(static_cast<size_t>(rc), left);
        bytesSent += static_cast<int>(n);
        b.advance(n, 0);
        if (b.whole == b.count()) return TARVIK_STATUS_OK;
    }
    b.restartFrame();
    return kKeepPending;  // stopped halfway: the frame under way was not sent
}

// One pass of the receiver: what the bridge has (it reports every latency
// period); a read error ends the receiver, with last error 9.
long TRV_USBDevice::ReadChunk(Thread& self, uint8_t* buf, size_t cap) {
    const int want = static_cast<int>(std::min<size_t>(cap, kReadChunk));
    const int rc = ftdi->readData(buf, want);
    if (rc > 0) return std::min(rc, want);
    if (rc == 0) {
        // A real read seldom comes back empty at once; this only keeps an
        // idle loop cool.
        self.sleep_or_stop(2);
        return 0;
    }
    Log(LOG_USB, 8, Prefix(), "Critical receive error: ", rc);
    SetErrorCode(TARVIK_STATUS_USBIO);
    return -1;
}

void USBRecvThread::execute() { myDevice.ReceiverLoop(*this); }

}  // namespace trv
