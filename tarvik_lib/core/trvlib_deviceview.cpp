#include "trvlib_deviceview.h"

namespace trv {

TRV_DeviceView::TRV_DeviceView(TRV_Device* dev) : TRV_DeviceBase(kKind), myDevice(dev), owner_(dev) {
    if (dev) dev->acquire();
}

TRV_DeviceView::~TRV_DeviceView() {
    TRV_Device* d = owner_.exchange(nullptr);
    if (d && myDevice.load()) d->viewGone(this);
    if (d) d->release();
}

// One error slot per connection: a view reports its device's.
TARVIK_STATUS TRV_DeviceView::GetLastError() {
    Ref<TRV_Device> d = device();
    return d ? d->GetLastError() : last_error.load();
}

void TRV_DeviceView::SetErrorCode(TARVIK_STATUS code) {
    if (Ref<TRV_Device> d = device()) d->SetErrorCode(code);
    else last_error.store(code);
}

TARVIK_STATUS TRV_DeviceView::TakeLastError() {
    Ref<TRV_Device> d = device();
    return d ? d->TakeLastError() : last_error.exchange(0);
}

TARVIK_STATUS TRV_DeviceView::SetDeviceParam(uint32_t id, void* value) {
    Ref<TRV_Device> d = device();
    if (d) d->Log(LOG_DEVICE, 10, "DEVICE: SetDeviceParam ", id);
    if (id == TARVIK_PARAM_STRINGHANDLING) return TRV_DeviceBase::SetDeviceParam(id, value);
    if (!d) return TARVIK_STATUS_INVALIDARG;
    return d->SetDeviceParam(id, value) ? TARVIK_STATUS_INVALIDARG : TARVIK_STATUS_OK;
}

TARVIK_STATUS TRV_DeviceView::GetDeviceParam(uint32_t id, void* value) {
    if (id == TARVIK_PARAM_STRINGHANDLING) return TRV_DeviceBase::GetDeviceParam(id, value);
    Ref<TRV_Device> d = device();
    if (!d) return TARVIK_STATUS_INVALIDARG;
    return d->GetDeviceParam(id, value) ? TARVIK_STATUS_INVALIDARG : TARVIK_STATUS_OK;
}

}  // namespace trv
