// The exported device-handle functions: devices, views, parameters, the
// modem, queues and events. Each pins the object its handle names for the
// call (see trvlib_boundary.h).
#include <string>

#include "trvlib_boundary.h"
#include "trvlib_transports.h"

using namespace trv;

namespace {
Ref<TRV_Device> device(TARVIK_HANDLE h) { return lookup<TRV_Device>(h); }

// The modem functions run only on a serial device in modem mode.
bool modemMode(TRV_Device* d) {
    uint8_t on = 0;
    return d->GetDeviceParam(TARVIK_PARAM_MODEMMODE, &on) == TARVIK_STATUS_OK && on;
}
}  // namespace

extern "C" {

TARVIK_API TARVIK_HANDLE TRV_CreateDeviceHandle(uint32_t deviceType) {
    return guarded([&]() -> TARVIK_HANDLE {
        TRV_Device* d = makeTransport(deviceType);
        return d ? d->handle() : nullptr;
    });
}

TARVIK_API TARVIK_HANDLE TRV_OpenDevice(TARVIK_HANDLE hDevice) {
    Ref<TRV_Device> d = device(hDevice);
    if (!d) return nullptr;
    return guarded([&] { return d->OpenDevice(); });
}

TARVIK_API TARVIK_STATUS TRV_CloseDevice(TARVIK_HANDLE hView) {
    OpenView o = openView(hView);
    if (!o) return TARVIK_STATUS_NULLHANDLE;
    if (o.v()->closing.exchange(true)) return TARVIK_STATUS_NULLHANDLE;  // closed meanwhile
    if (!o.d()->closeMe(o.v())) {
        o.v()->closing.store(false);
        return TARVIK_STATUS_INUSE;
    }
    o.v()->kill();  // the handle's reference; requests may still hold the view
    return TARVIK_STATUS_OK;
}

TARVIK_API TARVIK_STATUS TRV_DestroyDeviceHandle(TARVIK_HANDLE hDevice) {
    Ref<TRV_Device> d = device(hDevice);
    if (!d) return TARVIK_STATUS_NULLHANDLE;
    const TARVIK_STATUS st = d->Retire();
    // The memory goes with the last reference: this call's, or that of a
    // closed view still held by a request.
    if (st == TARVIK_STATUS_OK) d->kill();
    return st;
}

TARVIK_API TARVIK_STATUS TRV_GetError(TARVIK_HANDLE hDevice) {
    Ref<TRV_DeviceBase> b = anyDevice(hDevice);
    return b ? b->TakeLastError() : TARVIK_STATUS_NULLHANDLE;
}

TARVIK_API TARVIK_STATUS TRV_SetDeviceParam(TARVIK_HANDLE hDevice, uint32_t paramCode, void* paramValue) {
    Ref<TRV_DeviceBase> b = anyDevice(hDevice);
    if (!b) return TARVIK_STATUS_NULLHANDLE;
    return guarded([&] { return b->SetDeviceParam(paramCode, paramValue); });
}

TARVIK_API TARVIK_STATUS TRV_GetDeviceParam(TARVIK_HANDLE hDevice, uint32_t paramCode, void* paramValue) {
    Ref<TRV_DeviceBase> b = anyDevice(hDevice);
    if (!b) return TARVIK_STATUS_NULLHANDLE;
    return guarded([&] { return b->GetDeviceParam(paramCode, paramValue); });
}

TARVIK_API TARVIK_STATUS TRV_ModemDial(TARVIK_HANDLE hDevice, int wait) {
    Ref<TRV_Device> d = device(hDevice);
    if (!d) return TARVIK_STATUS_NULLHANDLE;
    return modemMode(d.get()) ? d->ModemDial(wait) : TARVIK_STATUS_NOTMODEM;
}

TARVIK_API TARVIK_STATUS TRV_ModemDisconnect(TARVIK_HANDLE hDevice, int wait) {
    Ref<TRV_Device> d = device(hDevice);
    if (!d) return TARVIK_STATUS_NULLHANDLE;
    return modemMode(d.get()) ? d->ModemDisconnect(wait) : TARVIK_STATUS_NOTMODEM;
}

TARVIK_API TARVIK_STATUS TRV_ModemStatus(TARVIK_HANDLE hDevice) {
    Ref<TRV_Device> d = device(hDevice);
    if (!d) return TARVIK_STATUS_NULLHANDLE;
    return modemMode(d.get()) ? d->ModemStatus() : TARVIK_STATUS_NOTMODEM;
}

TARVIK_API TARVIK_STATUS TRV_ModemWrite(TARVIK_HANDLE hDevice, const char* buffer) {
    Ref<TRV_Device> d = device(hDevice);
    if (!d) return TARVIK_STATUS_NULLHANDLE;
    if (!modemMode(d.get())) return TARVIK_STATUS_NOTMODEM;
    if (!buffer) return TARVIK_STATUS_INVALIDARG;
    return d->WriteBuffer(buffer);
}

TARVIK_API sem_t* TRV_GetSemaphore(TARVIK_HANDLE hView) {
    OpenView o = openView(hView);
    return o ? o.d()->GetSemaphore() : nullptr;
}

TARVIK_API TARVIK_STATUS TRV_SetCallback(TARVIK_HANDLE hView, TARVIK_CALLBACK_T callback) {
    OpenView o = openView(hView);
    if (!o) return TARVIK_STATUS_NULLHANDLE;
    if (!callback) return TARVIK_STATUS_INVALIDARG;
    o.d()->SetCallback(callback, o.v());
    return TARVIK_STATUS_OK;
}

TARVIK_API TARVIK_HANDLE TRV_CancelExecuting(TARVIK_HANDLE hView) {
    OpenView o = openView(hView);
    return o ? o.d()->cancelExecuting(o.v()) : nullptr;
}

TARVIK_API TARVIK_STATUS TRV_CancelRequest(TARVIK_HANDLE hRequest) {
    Ref<TRV_Request> r = lookup<TRV_Request>(hRequest);
    if (!r) return TARVIK_STATUS_NULLHANDLE;
    if (Ref<TRV_Device> d = deviceOf(r.get())) return d->Cancel(r.get());
    // No device any more: the request is in no queue and cannot move.
    const uint32_t s = r->state.load();
    if (s == TARVIK_STATE_COMPLETED || s == TARVIK_STATE_ERROR) return TARVIK_STATUS_ALREADYCOMPLETED;
    r->other_error = TARVIK_STATUS_CANCELLED;
    if (s != TARVIK_STATE_NEW) r->setState(TARVIK_STATE_ERROR);
    return TARVIK_STATUS_OK;
}

TARVIK_API TARVIK_STATUS TRV_RequestQueueStats(TARVIK_HANDLE hView, uint32_t* sent, uint32_t* completed) {
    OpenView o = openView(hView);
    return o ? o.d()->myStats(sent, completed) : TARVIK_STATUS_NULLHANDLE;
}

TARVIK_API TARVIK_HANDLE TRV_GetNextResponse(TARVIK_HANDLE hView) {
    OpenView o = openView(hView);
    return o ? o.d()->GetNextResponse(o.v()) : nullptr;
}

TARVIK_API uint32_t TRV_GetResponseCount(TARVIK_HANDLE hView) {
    OpenView o = openView(hView);
    return o ? o.d()->GetResponseCount(o.v()) : 0;
}

TARVIK_API uint32_t TRV_GetRequestCount(TARVIK_HANDLE hView, unsigned char globalnie) {
    OpenView o = openView(hView);
    return o ? o.d()->GetRequestCount(o.v(), globalnie != 0) : 0;
}

TARVIK_API TARVIK_HANDLE TRV_PopAsyncData(TARVIK_HANDLE hView, uint32_t timeout) {
    OpenView o = openView(hView);
    return o ? o.d()->PopAsyncQueue(o.v(), timeout) : nullptr;
}

TARVIK_API TARVIK_HANDLE TRV_PopSalesQueue(TARVIK_HANDLE hView, uint32_t timeout) {
    OpenView o = openView(hView);
    return o ? o.d()->PopSalesQueue(o.v(), timeout) : nullptr;
}

TARVIK_API TARVIK_STATUS TRV_AsyncDataWaiting(TARVIK_HANDLE hView) {
    OpenView o = openView(hView);
    if (!o) return TARVIK_STATUS_NULLHANDLE;
    return o.d()->getAsyncQueueLength() ? TARVIK_STATUS_OK : TARVIK_STATUS_NOASYNCDATA;
}

TARVIK_API uint32_t TRV_AsyncQueueLength(TARVIK_HANDLE hView) {
    OpenView o = openView(hView);
    return o ? o.d()->getAsyncQueueLength() : 0;
}

TARVIK_API TARVIK_STATUS TRV_AsyncQueuePurge(TARVIK_HANDLE hView) {
    OpenView o = openView(hView);
    return o ? o.d()->purgeAsyncQueue() : TARVIK_STATUS_NULLHANDLE;
}

TARVIK_API uint32_t TRV_SalesQueueLength(TARVIK_HANDLE hView, unsigned char globalnie) {
    OpenView o = openView(hView);
    return o ? o.d()->getSalesQueueLength(o.v(), globalnie != 0) : 0;
}

TARVIK_API TARVIK_STATUS TRV_SalesQueuePurge(TARVIK_HANDLE hView, unsigned char globalnie) {
    OpenView o = openView(hView);
    return o ? o.d()->purgeSalesQueue(o.v(), globalnie != 0) : TARVIK_STATUS_NULLHANDLE;
}

TARVIK_API TARVIK_STATUS TRV_RequestQueueCancelAll(TARVIK_HANDLE hView, unsigned char globalnie) {
    OpenView o = openView(hView);
    return o ? o.d()->PurgeAll(o.v(), globalnie != 0) : TARVIK_STATUS_NULLHANDLE;
}

TARVIK_API TARVIK_STATUS TRV_RequestQueueCancelPending(TARVIK_HANDLE hView, unsigned char globalnie) {
    OpenView o = openView(hView);
    return o ? o.d()->PurgePending(o.v(), globalnie != 0) : TARVIK_STATUS_NULLHANDLE;
}

TARVIK_API unsigned char TRV_GetCryptoStatus(TARVIK_HANDLE hView) {
    OpenView o = openView(hView);
    return o ? o.d()->GetCryptoStatus() : 0;
}

TARVIK_API TARVIK_STATUS TRV_SetEventHandlingMode(TARVIK_HANDLE hView, uint32_t eventMode) {
    OpenView o = openView(hView);
    return o ? o.d()->SetEventHandling(eventMode) : TARVIK_STATUS_NULLHANDLE;
}

TARVIK_API void TRV_SetDebugLevel(TARVIK_HANDLE hDevice, uint32_t debugLevel) {
    if (Ref<TRV_Device> d = device(hDevice)) d->SetDebugLevel(debugLevel);
}

TARVIK_API void TRV_SetDebugFileName(TARVIK_HANDLE hDevice, const char* fileName) {
    Ref<TRV_Device> d = device(hDevice);
    if (!d) return;
    if (!fileName) {
        d->SetErrorCode(TARVIK_STATUS_INVALIDARG);
        return;
    }
    guarded([&] { d->ReopenLog(fileName); });
}

}  // extern "C"
