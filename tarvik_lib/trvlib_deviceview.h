// TRV_DeviceView: the per-handle object through which an application talks
// to a shared device. It is reference counted: the open handle holds one
// reference and every request created on the view holds one, so a closed
// view stays alive (detached) while requests still point at it. When the
// device is destroyed first, the view loses its device and answers with the
// defaults (decimal separator ",").
#pragma once

#include <atomic>

#include "trvlib_device.h"

namespace trv {

class TRV_DeviceView : public TRV_DeviceBase {
public:
    static constexpr Kind kKind = Kind::View;
    explicit TRV_DeviceView(TRV_Device* dev) : TRV_DeviceBase(kKind), myDevice(dev) {}

    TARVIK_STATUS GetLastError() override;
    void SetErrorCode(TARVIK_STATUS code) override;
    TARVIK_STATUS TakeLastError() override;
    TARVIK_STATUS SetDeviceParam(uint32_t id, void* value) override;
    TARVIK_STATUS GetDeviceParam(uint32_t id, void* value) override;

    char GetDecimalSeparator() const { return myDevice ? myDevice->GetDecimalSeparator() : ','; }

    void acquire() { refs.fetch_add(1, std::memory_order_relaxed); }
    void release();

    TRV_Device* myDevice;        // null once the device is destroyed
    std::atomic<bool> closed{false};

    ~TRV_DeviceView() override = default;  // only through release()

private:
    std::atomic<int> refs{1};  // the handle's own reference
};

}  // namespace trv
