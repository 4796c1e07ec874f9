// The exported device-handle functions: devices, views, parameters, the
// modem, queues and events.
#include <string>

#include "trvlib_boundary.h"
#include "trvlib_transports.h"

using namespace trv;

namespace {
TRV_Device* device(TARVIK_HANDLE h) { return handle_cast<TRV_Device>(h); }
TRV_Request* req(TARVIK_HANDLE h) { return handle_cast<TRV_Request>(h); }

// The modem functions run only on a serial device in modem mode.
TRV_Device* modemDevice(TARVIK_HANDLE h) {
    TRV_Device* d = device(h);
    if (!d) return nullptr;
    uint8_t on = 0;
    return d->GetDeviceParam(TARVIK_PARAM_MODEMMODE, &on) == TARVIK_STATUS_OK && on ? d : nullptr;
}
}  // namespace

extern "C" {

TARVIK_API TARVIK_HANDLE TRV_CreateDeviceHandle(uint32_t deviceType) {
    return guarded([&] { return makeTransport(deviceType); });
}

TARVIK_API TARVIK_HANDLE TRV_OpenDevice(TARVIK_HANDLE hDevice) {
    TRV_Device* d = device(hDevice);
    if (!d) return nullptr;
    return guarded([&] { return d->OpenDevice(); });
}

TARVIK_API TARVIK_STATUS TRV_CloseDevice(TARVIK_HANDLE hDevice) {
    TRV_DeviceView* v = handle_cast<TRV_DeviceView>(hDevice);
    if (!v || !v->myDevice) return TARVIK_STATUS_NULLHANDLE;
    if (v->closed.exchange(true)) return TARVIK_STATUS_NULLHANDLE;  // closed before
    if (!v->myDevice->closeMe(v)) {
        v->closed.store(false);
        return TARVIK_STATUS_INUSE;
    }
    v->release();  // the handle's reference; requests may still hold the view
    return TARVIK_STATUS_OK;
}

TARVIK_API TARVIK_STATUS TRV_DestroyDeviceHandle(TARVIK_HANDLE hDevice) {
    TRV_Device* d = device(hDevice);
    if (!d) return TARVIK_STATUS_NULLHANDLE;
    if (d->DeviceHasViews()) return TARVIK_STATUS_INUSE;
    delete d;
    return TARVIK_STATUS_OK;
}

TARVIK_API TARVIK_STATUS TRV_GetError(TARVIK_HANDLE hDevice) {
    TRV_DeviceBase* b = anyDevice(hDevice);
    return b ? b->TakeLastError() : TARVIK_STATUS_NULLHANDLE;
}

TARVIK_API TARVIK_STATUS TRV_SetDeviceParam(TARVIK_HANDLE hDevice, uint32_t paramCode, void* paramValue) {
    TRV_DeviceBase* b = anyDevice(hDevice);
    if (!b) return TARVIK_STATUS_NULLHANDLE;
    return guarded([&] { return b->SetDeviceParam(paramCode, paramValue); });
}

TARVIK_API TARVIK_STATUS TRV_GetDeviceParam(TARVIK_HANDLE hDevice, uint32_t paramCode, void* paramValue) {
    TRV_DeviceBase* b = anyDevice(hDevice);
    if (!b) return TARVIK_STATUS_NULLHANDLE;
    return guarded([&] { return b->GetDeviceParam(paramCode, paramValue); });
}

TARVIK_API TARVIK_STATUS TRV_ModemDial(TARVIK_HANDLE h, int wait) {
    if (!device(h)) return TARVIK_STATUS_NULLHANDLE;
    TRV_Device* d = modemDevice(h);
    return d ? d->ModemDial(wait) : TARVIK_STATUS_NOTMODEM;
}

TARVIK_API TARVIK_STATUS TRV_ModemDisconnect(TARVIK_HANDLE h, int wait) {
    if (!device(h)) return TARVIK_STATUS_NULLHANDLE;
    TRV_Device* d = modemDevice(h);
    return d ? d->ModemDisconnect(wait) : TARVIK_STATUS_NOTMODEM;
}

TARVIK_API TARVIK_STATUS TRV_ModemStatus(TARVIK_HANDLE h) {
    if (!device(h)) return TARVIK_STATUS_NULLHANDLE;
    TRV_Device* d = modemDevice(h);
    return d ? d->ModemStatus() : TARVIK_STATUS_NOTMODEM;
}

TARVIK_API TARVIK_STATUS TRV_ModemWrite(TARVIK_HANDLE h, const char* buffer) {
    if (!device(h)) return TARVIK_STATUS_NULLHANDLE;
    TRV_Device* d = modemDevice(h);
    if (!d) return TARVIK_STATUS_NOTMODEM;
    if (!buffer) return TARVIK_STATUS_INVALIDARG;
    return d->WriteBuffer(buffer);
}

TARVIK_API sem_t* TRV_GetSemaphore(TARVIK_HANDLE h) {
    TRV_DeviceView* v = openView(h);
    return v ? v->myDevice->GetSemaphore() : nullptr;
}

TARVIK_API TARVIK_STATUS TRV_SetCallback(TARVIK_HANDLE h, TARVIK_CALLBACK_T callback) {
    TRV_DeviceView* v = openView(h);
    if (!v) return TARVIK_STATUS_NULLHANDLE;
    if (!callback) return TARVIK_STATUS_INVALIDARG;
    v->myDevice->SetCallback(callback, v);
    return TARVIK_STATUS_OK;
}

TARVIK_API TARVIK_HANDLE TRV_CancelExecuting(TARVIK_HANDLE h) {
    TRV_DeviceView* v = openView(h);
    return v ? v->myDevice->cancelExecuting(v) : nullptr;
}

TARVIK_API TARVIK_STATUS TRV_CancelRequest(TARVIK_HANDLE hRequest) {
    TRV_Request* r = req(hRequest);
    if (!r) return TARVIK_STATUS_NULLHANDLE;
    TRV_DeviceView* v = r->myDevice;
    TRV_Device* d = v ? v->myDevice : nullptr;
    r->other_error = TARVIK_STATUS_CANCELLED;
    if (d) d->RemoveMe(r);
    const uint32_t s = r->state.load();
    if (s == TARVIK_STATE_COMPLETED || s == TARVIK_STATE_ERROR) return TARVIK_STATUS_ALREADYCOMPLETED;
    // A cancelled request ends in error (0x1000a) rather than waiting forever.
    if (s != TARVIK_STATE_NEW) r->state.store(TARVIK_STATE_ERROR);
    if (s == TARVIK_STATE_ACCEPTED && d) d->cancelExecuting(v);
    return TARVIK_STATUS_OK;
}

TARVIK_API TARVIK_STATUS TRV_RequestQueueStats(TARVIK_HANDLE h, uint32_t* sent, uint32_t* completed) {
    TRV_DeviceView* v = openView(h);
    return v ? v->myDevice->myStats(sent, completed) : TARVIK_STATUS_NULLHANDLE;
}

TARVIK_API TARVIK_HANDLE TRV_GetNextResponse(TARVIK_HANDLE h) {
    TRV_DeviceView* v = openView(h);
    return v ? v->myDevice->GetNextResponse(v) : nullptr;
}

TARVIK_API uint32_t TRV_GetResponseCount(TARVIK_HANDLE h) {
    TRV_DeviceView* v = openView(h);
    return v ? v->myDevice->GetResponseCount(v) : 0;
}

TARVIK_API uint32_t TRV_GetRequestCount(TARVIK_HANDLE h, unsigned char globalnie) {
    TRV_DeviceView* v = openView(h);
    return v ? v->myDevice->GetRequestCount(v, globalnie != 0) : 0;
}

TARVIK_API TARVIK_HANDLE TRV_PopAsyncData(TARVIK_HANDLE h, uint32_t timeout) {
    TRV_DeviceView* v = openView(h);
    return v ? v->myDevice->PopAsyncQueue(v, timeout) : nullptr;
}

TARVIK_API TARVIK_HANDLE TRV_PopSalesQueue(TARVIK_HANDLE h, uint32_t timeout) {
    TRV_DeviceView* v = openView(h);
    return v ? v->myDevice->PopSalesQueue(v, timeout) : nullptr;
}

TARVIK_API TARVIK_STATUS TRV_AsyncDataWaiting(TARVIK_HANDLE h) {
    TRV_DeviceView* v = openView(h);
    if (!v) return TARVIK_STATUS_NULLHANDLE;
    return v->myDevice->getAsyncQueueLength() ? TARVIK_STATUS_OK : TARVIK_STATUS_NOASYNCDATA;
}

TARVIK_API uint32_t TRV_AsyncQueueLength(TARVIK_HANDLE h) {
    TRV_DeviceView* v = openView(h);
    return v ? v->myDevice->getAsyncQueueLength() : 0;
}

TARVIK_API TARVIK_STATUS TRV_AsyncQueuePurge(TARVIK_HANDLE h) {
    TRV_DeviceView* v = openView(h);
    return v ? v->myDevice->purgeAsyncQueue() : TARVIK_STATUS_NULLHANDLE;
}

TARVIK_API uint32_t TRV_SalesQueueLength(TARVIK_HANDLE h, unsigned char globalnie) {
    TRV_DeviceView* v = openView(h);
    return v ? v->myDevice->getSalesQueueLength(v, globalnie != 0) : 0;
}

TARVIK_API TARVIK_STATUS TRV_SalesQueuePurge(TARVIK_HANDLE h, unsigned char globalnie) {
    TRV_DeviceView* v = openView(h);
    return v ? v->myDevice->purgeSalesQueue(v, globalnie != 0) : TARVIK_STATUS_NULLHANDLE;
}

TARVIK_API TARVIK_STATUS TRV_RequestQueueCancelAll(TARVIK_HANDLE h, unsigned char globalnie) {
    TRV_DeviceView* v = openView(h);
    return v ? v->myDevice->PurgeAll(v, globalnie != 0) : TARVIK_STATUS_NULLHANDLE;
}

TARVIK_API TARVIK_STATUS TRV_RequestQueueCancelPending(TARVIK_HANDLE h, unsigned char globalnie) {
    TRV_DeviceView* v = openView(h);
    return v ? v->myDevice->PurgePending(v, globalnie != 0) : TARVIK_STATUS_NULLHANDLE;
}

TARVIK_API unsigned char TRV_GetCryptoStatus(TARVIK_HANDLE h) {
    TRV_DeviceView* v = openView(h);
    return v ? v->myDevice->GetCryptoStatus() : 0;
}

TARVIK_API TARVIK_STATUS TRV_SetEventHandlingMode(TARVIK_HANDLE h, uint32_t eventMode) {
    TRV_DeviceView* v = openView(h);
    return v ? v->myDevice->SetEventHandling(eventMode) : TARVIK_STATUS_NULLHANDLE;
}

TARVIK_API void TRV_SetDebugLevel(TARVIK_HANDLE h, uint32_t debugLevel) {
    if (TRV_Device* d = device(h)) d->SetDebugLevel(debugLevel);
}

TARVIK_API void TRV_SetDebugFileName(TARVIK_HANDLE h, const char* fileName) {
    TRV_Device* d = device(h);
    if (!d) return;
    if (!fileName) {
        d->SetErrorCode(TARVIK_STATUS_INVALIDARG);
        return;
    }
    guarded([&] { d->ReopenLog(fileName); });
}

}  // extern "C"
