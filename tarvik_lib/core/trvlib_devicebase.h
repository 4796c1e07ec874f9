// TRV_DeviceBase: what device handles and view handles share, the last
// error and the string-handling mode.
#pragma once

#include <atomic>
#include <cstdint>

#include "trvlib_global.h"

namespace trv {

class TRV_DeviceBase : public Tagged {
public:
    explicit TRV_DeviceBase(Kind k) : Tagged(k) {}
    virtual ~TRV_DeviceBase() = default;

    virtual TARVIK_STATUS GetLastError() { return last_error.load(); }
    virtual void SetErrorCode(TARVIK_STATUS code) { last_error.store(code); }
    // Reads and clears the last error in one step (TRV_GetError).
    virtual TARVIK_STATUS TakeLastError() { return last_error.exchange(0); }
    virtual TARVIK_STATUS SetDeviceParam(uint32_t id, void* value);
    virtual TARVIK_STATUS GetDeviceParam(uint32_t id, void* value);

    std::atomic<uint32_t> last_error{0};
    std::atomic<uint8_t> stringhandling{0};
};

}  // namespace trv
