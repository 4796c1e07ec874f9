// FtdiBus: the few libftdi / libusb 0.1 operations the USB transport needs,
// behind an interface so the transport runs over a fake bus in the tests.
//
// One FtdiBus is one libftdi context. Results are those of the library call
// named beside each operation. Who may call what, and when:
//  - init, deinit, findAll, freeList, openUsb, getSerial, closeUsb, openDev,
//    disableBitbang, setLatencyTimer and closeDev run on one thread at a time
//    while no reader or writer is running on the same context (opening,
//    closing, listing).
//  - writeData (sender thread) and readData (receiver thread) run at the same
//    time on an open context; nothing else touches the context meanwhile.
//  - findAll rescans the bus, which libusb 0.1 keeps in global lists: the
//    caller serialises bus scans (and the use of the devices they return)
//    across all contexts of the process.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace trv {

// A device found by findAll (a libusb `struct usb_device*`); valid until the
// list is freed or the bus is scanned again.
using UsbDevice = void*;
// A handle of usbOpen (a libusb `usb_dev_handle*`), independent of the
// context's own connection.
using UsbHandle = void*;

class FtdiBus {
public:
    virtual ~FtdiBus() = default;

    // ftdi_init: 0 on success.
    virtual int init() = 0;
    // True once the context has been initialised (libftdi's read buffer exists).
    virtual bool initialised() const = 0;
    // ftdi_deinit when initialised; the context is uninitialised afterwards.
    virtual void deinit() = 0;

    // ftdi_usb_find_all for vendor/product: the list entries that carry a
    // device, in bus order. Negative on failure. The list is kept until
    // freeList, the next findAll or the end of the context.
    virtual int findAll(int vendor, int product, std::vector<UsbDevice>& devices) = 0;
    // ftdi_list_free.
    virtual void freeList() = 0;

    // usb_open: a handle for reading the serial number, or null.
    virtual UsbHandle openUsb(UsbDevice dev) = 0;
    // usb_get_string_simple with the device's serial-number index into a
    // 256-byte buffer: the length, negative when there is no readable serial.
    virtual int getSerial(UsbHandle h, UsbDevice dev, std::string& serial) = 0;
    // usb_close.
    virtual void closeUsb(UsbHandle h) = 0;

    // ftdi_usb_open_dev: opens the bridge as the context's connection;
    // negative on failure.
    virtual int openDev(UsbDevice dev) = 0;
    // ftdi_disable_bitbang.
    virtual int disableBitbang() = 0;
    // ftdi_set_latency_timer in ms; negative on failure.
    virtual int setLatencyTimer(unsigned char ms) = 0;
    // ftdi_write_data: bytes written, negative on failure. Blocks at most for
    // libftdi's USB write time-out.
    virtual int writeData(const uint8_t* data, int size) = 0;
    // ftdi_read_data: bytes read, 0 when nothing arrived (the bridge answers
    // every latency period), negative on failure.
    virtual int readData(uint8_t* buf, int size) = 0;
    // ftdi_usb_close.
    virtual int closeDev() = 0;
};

// Makes a new, uninitialised context; may return null when out of memory.
using FtdiBusFactory = std::function<std::unique_ptr<FtdiBus>()>;

// The real bus: libftdi 0.x over libusb 0.1.
std::unique_ptr<FtdiBus> makeLibFtdiBus();

}  // namespace trv
