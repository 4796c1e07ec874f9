// Helpers of the C boundary: handle look-ups by kind, and a guard so that no
// exception crosses into the application.
//
// Every exported function resolves its handle here: the registry answers
// only for a live object of the kind the function takes, pinned for the
// call (see Tagged in trvlib_global.h). Anything else is answered like a
// null handle.
#pragma once

#include <new>
#include <type_traits>

#include "trvlib_deviceview.h"

namespace trv {

// An open view with its device, both pinned for the call.
struct OpenView {
    Ref<TRV_DeviceView> view;
    Ref<TRV_Device> device;
    explicit operator bool() const { return static_cast<bool>(device); }
    TRV_DeviceView* v() const { return view.get(); }
    TRV_Device* d() const { return device.get(); }
};

// A live view that is not closed and still has its device.
inline OpenView openView(TARVIK_HANDLE h) {
    OpenView o;
    o.view = lookup<TRV_DeviceView>(h);
    if (!o.view || o.view->closed.load()) return {};
    o.device = o.view->device();
    return o;
}

// Device or view, for the functions that take either.
inline Ref<TRV_DeviceBase> anyDevice(TARVIK_HANDLE h) {
    return Ref<TRV_DeviceBase>(static_cast<TRV_DeviceBase*>(
        pinHandle(h, static_cast<uint32_t>(Kind::Device) | static_cast<uint32_t>(Kind::View))));
}

// The device a request was created on, pinned; empty when its view lost it.
// The caller holds a reference on the request, which holds its view.
inline Ref<TRV_Device> deviceOf(const TRV_Request* r) {
    return r->myDevice ? r->myDevice->device() : Ref<TRV_Device>();
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
