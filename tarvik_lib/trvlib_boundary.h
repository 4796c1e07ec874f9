// Helpers of the C boundary: handle lookups by kind, and a guard so that no
// exception crosses into the application.
#pragma once

#include <new>
#include <type_traits>

#include "trvlib_deviceview.h"

namespace trv {

// A view that is open and still has its device; anything else is answered
// like a null handle.
inline TRV_DeviceView* openView(TARVIK_HANDLE h) {
    TRV_DeviceView* v = handle_cast<TRV_DeviceView>(h);
    return v && !v->closed.load() && v->myDevice ? v : nullptr;
}

// Device or view, for the functions that take either.
inline TRV_DeviceBase* anyDevice(TARVIK_HANDLE h) {
    if (TRV_Device* d = handle_cast<TRV_Device>(h)) return d;
    return handle_cast<TRV_DeviceView>(h);
}

template <class F>
auto guarded(F f) noexcept -> decltype(f()) {
    using R = decltype(f());
    try {
        return f();
    } catch (...) {
        if constexpr (std::is_pointer_v<R>) return nullptr;
        else if constexpr (std::is_void_v<R>) return;
        else return static_cast<R>(TARVIK_STATUS_NOMEMORY);
    }
}

}  // namespace trv
