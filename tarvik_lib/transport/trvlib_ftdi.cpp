// The real FtdiBus: one libftdi 0.x context, with libusb 0.1 for reading the
// serial numbers of the bridges found.
#include "trvlib_ftdi.h"

#include <ftdi.h>
#include <usb.h>

#include <cstring>
#include <new>

namespace trv {

namespace {

class LibFtdiBus final : public FtdiBus {
public:
    LibFtdiBus() { std::memset(&ctx_, 0, sizeof ctx_); }
    ~LibFtdiBus() override {
        freeList();
        deinit();
    }

    int init() override { return ftdi_init(&ctx_); }
    bool initialised() const override { return ctx_.readbuffer != nullptr; }
    void deinit() override {
        if (initialised()) ftdi_deinit(&ctx_);
        // Whatever ftdi_deinit leaves behind, the context reads as fresh now.
        std::memset(&ctx_, 0, sizeof ctx_);
    }

    int findAll(int vendor, int product, std::vector<UsbDevice>& devices) override {
        freeList();
        const int rc = ftdi_usb_find_all(&ctx_, &list_, vendor, product);
        if (rc < 0) {
            freeList();
            return rc;
        }
        for (ftdi_device_list* p = list_; p; p = p->next)
            if (p->dev) devices.push_back(p->dev);
        return rc;
    }
    void freeList() override {
        if (list_) ftdi_list_free(&list_);
        list_ = nullptr;
    }

    UsbHandle openUsb(UsbDevice dev) override { return usb_open(static_cast<struct usb_device*>(dev)); }
    int getSerial(UsbHandle h, UsbDevice dev, std::string& serial) override {
        const uint8_t index = static_cast<struct usb_device*>(dev)->descriptor.iSerialNumber;
        // Index 0 means the bridge has no serial-number string at all; asking
        // for string 0 would return the language table instead.
        if (index == 0) return -1;
        char buf[256] = {};
        const int rc = usb_get_string_simple(static_cast<usb_dev_handle*>(h), index, buf, sizeof buf);
        if (rc < 0) return rc;
        serial.assign(buf, strnlen(buf, sizeof buf));
        return rc;
    }
    void closeUsb(UsbHandle h) override {
        if (h) usb_close(static_cast<usb_dev_handle*>(h));
    }

    int openDev(UsbDevice dev) override { return ftdi_usb_open_dev(&ctx_, static_cast<struct usb_device*>(dev)); }
    int disableBitbang() override { return ftdi_disable_bitbang(&ctx_); }
    int setLatencyTimer(unsigned char ms) override { return ftdi_set_latency_timer(&ctx_, ms); }
    int writeData(const uint8_t* data, int size) override {
        // libftdi takes a non-const buffer but only reads it.
        return ftdi_write_data(&ctx_, const_cast<unsigned char*>(data), size);
    }
    int readData(uint8_t* buf, int size) override { return ftdi_read_data(&ctx_, buf, size); }
    int closeDev() override { return ftdi_usb_close(&ctx_); }

private:
    ftdi_context ctx_;
    ftdi_device_list* list_ = nullptr;
};

}  // namespace

std::unique_ptr<FtdiBus> makeLibFtdiBus() { return std::unique_ptr<FtdiBus>(new (std::nothrow) LibFtdiBus()); }

}  // namespace trv
