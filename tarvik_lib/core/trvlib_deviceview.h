// TRV_DeviceView: the per-handle object through which an application talks
// to a shared device. A view holds a reference on its device for as long as
// the view object lives; requests created on the view hold one on the view,
// so a closed view stays alive (detached from the handle registry) while
// requests still point at it. When the device is destroyed first, the view
// loses its device (myDevice null) and answers with the defaults (decimal
// separator ",").
#pragma once

#include <atomic>

#include "trvlib_device.h"

namespace trv {

class TRV_DeviceView : public TRV_DeviceBase {
public:
    static constexpr Kind kKind = Kind::View;
    explicit TRV_DeviceView(TRV_Device* dev);
    ~TRV_DeviceView() override;

    TARVIK_STATUS GetLastError() override;
    void SetErrorCode(TARVIK_STATUS code) override;
    TARVIK_STATUS TakeLastError() override;
    TARVIK_STATUS SetDeviceParam(uint32_t id, void* value) override;
    TARVIK_STATUS GetDeviceParam(uint32_t id, void* value) override;

    // The device, pinned, while the view is attached to it; empty after the
    // device was destroyed. The caller holds a reference on the view.
    Ref<TRV_Device> device() const { return Ref<TRV_Device>::share(myDevice.load(std::memory_order_acquire)); }
    char GetDecimalSeparator() const {
        Ref<TRV_Device> d = device();
        return d ? d->GetDecimalSeparator() : ',';
    }

    // The device while attached; null once the device is destroyed.
    std::atomic<TRV_Device*> myDevice;
    // Set (under the device's output-queue lock) when the view is closed:
    // nothing is posted through it from then on.
    std::atomic<bool> closed{false};
    std::atomic<bool> closing{false};  // a TRV_CloseDevice is under way

private:
    friend class TRV_Device;
    // Holds a reference on the device from construction to destruction;
    // cleared only when a device that is not reference counted (a test's
    // stack object) goes first.
    std::atomic<TRV_Device*> owner_;
};

}  // namespace trv
