#include "trvlib_deviceview.h"

namespace trv {

// One error slot per connection: a view reports its device's.
TARVIK_STATUS TRV_DeviceView::GetLastError() { return myDevice ? myDevice->GetLastError() : last_error.load(); }

void TRV_DeviceView::SetErrorCode(TARVIK_STATUS code) {
    if (myDevice) myDevice->SetErrorCode(code); else last_error.store(code);
}

TARVIK_STATUS TRV_DeviceView::TakeLastError() {
    return myDevice ? myDevice->TakeLastError() : last_error.exchange(0);
}

TARVIK_STATUS TRV_DeviceView::SetDeviceParam(uint32_t id, void* value) {
    if (myDevice) myDevice->Log(LOG_DEVICE, 10, "DEVICE: SetDeviceParam " + std::to_string(id));
    if (id == TARVIK_PARAM_STRINGHANDLING) return TRV_DeviceBase::SetDeviceParam(id, value);
    if (!myDevice) return TARVIK_STATUS_INVALIDARG;
    return myDevice->SetDeviceParam(id, value) ? TARVIK_STATUS_INVALIDARG : TARVIK_STATUS_OK;
}

TARVIK_STATUS TRV_DeviceView::GetDeviceParam(uint32_t id, void* value) {
    if (id == TARVIK_PARAM_STRINGHANDLING) return TRV_DeviceBase::GetDeviceParam(id, value);
    if (!myDevice) return TARVIK_STATUS_INVALIDARG;
    return myDevice->GetDeviceParam(id, value) ? TARVIK_STATUS_INVALIDARG : TARVIK_STATUS_OK;
}

void TRV_DeviceView::release() {
    if (refs.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    if (myDevice) myDevice->viewGone(this);
    delete this;
}

}  // namespace trv
