#include "trvlib_devicebase.h"

namespace trv {

TARVIK_STATUS TRV_DeviceBase::SetDeviceParam(uint32_t id, void* value) {
    if (id != TARVIK_PARAM_STRINGHANDLING || !value) return TARVIK_STATUS_INVALIDARG;
    stringhandling.store(*static_cast<const uint8_t*>(value));
    return TARVIK_STATUS_OK;
}

TARVIK_STATUS TRV_DeviceBase::GetDeviceParam(uint32_t id, void* value) {
    if (id != TARVIK_PARAM_STRINGHANDLING || !value) return TARVIK_STATUS_INVALIDARG;
    *static_cast<uint8_t*>(value) = stringhandling.load();
    return TARVIK_STATUS_OK;
}

}  // namespace trv
