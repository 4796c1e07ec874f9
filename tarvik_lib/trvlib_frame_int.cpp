// The exported request functions: create, fill, post, read and destroy.
#include <cstring>
#include <new>
#include <thread>

#include "trvlib_boundary.h"
#include "trvlib_deviceview.h"

using namespace trv;

namespace {

TRV_Request* req(TARVIK_HANDLE h) { return handle_cast<TRV_Request>(h); }

TRV_Device* deviceOf(TRV_Request* r) { return r->myDevice ? r->myDevice->myDevice : nullptr; }

template <class Setter>
TARVIK_STATUS pushItem(TARVIK_HANDLE h, Setter set) {
    TRV_Request* r = req(h);
    if (!r) return TARVIK_STATUS_NULLHANDLE;
    return guarded([&]() -> TARVIK_STATUS {
        auto* item = new (std::nothrow) TRV_DataItem();
        if (!item) return TARVIK_STATUS_NOMEMORY;
        if (!set(*item)) {
            delete item;
            return TARVIK_STATUS_INVALIDARG;
        }
        r->items.Add(item);
        return TARVIK_STATUS_OK;
    });
}

bool textOk(const char* p) { return p && strnlen(p, 65536) < 65536; }

TARVIK_STATUS pushText(TARVIK_HANDLE h, const char* p, bool (TRV_DataItem::*parse)(const std::string&)) {
    return pushItem(h, [&](TRV_DataItem& it) { return textOk(p) && (it.*parse)(p); });
}

// The value at the read pointer, after the checks common to every pop.
template <class Out>
TARVIK_STATUS popChecks(TARVIK_HANDLE h, Out* out, TRV_Request*& r, TRV_DataItem*& item, TARVIK_DATA_TYPE type) {
    r = req(h);
    if (!r) return TARVIK_STATUS_NULLHANDLE;
    if (!out) return TARVIK_STATUS_INVALIDARG;
    item = r->response[static_cast<int>(r->read_ptr)];
    if (!item) return TARVIK_STATUS_NOMOREVALUES;
    if (item->Type() != type) return TARVIK_STATUS_BADDATA;
    return TARVIK_STATUS_OK;
}

TARVIK_STATUS popText(TARVIK_HANDLE h, char* retVal, uint32_t retValLen, TARVIK_DATA_TYPE type) {
    TRV_Request* r = req(h);
    if (!r) return TARVIK_STATUS_NULLHANDLE;
    if (!retVal) return TARVIK_STATUS_INVALIDARG;
    if (retValLen == 0) return TARVIK_STATUS_MISSINGVALUE;
    return guarded([&]() -> TARVIK_STATUS {
        TRV_DataItem* item = nullptr;
        TARVIK_STATUS st = popChecks(h, retVal, r, item, type);
        if (st) return st;
        const char sep = r->myDevice ? r->myDevice->GetDecimalSeparator() : ',';
        const std::string s = item->GetString(sep);
        if (s.size() >= retValLen) return TARVIK_STATUS_BUFFERTOOSMALL;
        std::memcpy(retVal, s.c_str(), s.size() + 1);
        ++r->read_ptr;
        return TARVIK_STATUS_OK;
    });
}

}  // namespace

extern "C" {

TARVIK_API TARVIK_HANDLE TRV_CreateRequest(TARVIK_HANDLE hDevice, TARVIK_CMD command) {
    TRV_DeviceView* v = openView(hDevice);
    if (!v) return nullptr;
    auto* r = new (std::nothrow) TRV_Request();
    if (!r) {
        v->SetErrorCode(TARVIK_STATUS_NOMEMORY);
        return nullptr;
    }
    r->cmd_id = command;
    v->acquire();
    r->myDevice = v;
    r->token = v->myDevice->nextToken();
    r->start_time.store(now_seconds());
    return r;
}

TARVIK_API TARVIK_STATUS TRV_DestroyRequest(TARVIK_HANDLE hRequest) {
    TRV_Request* r = req(hRequest);
    if (!r) return TARVIK_STATUS_NULLHANDLE;
    if (TRV_Device* d = deviceOf(r))
        d->DestroyRequest(r);
    else
        delete r;
    return TARVIK_STATUS_OK;
}

TARVIK_API TARVIK_STATUS TRV_RepeatRequest(TARVIK_HANDLE hRequest) {
    TRV_Request* r = req(hRequest);
    if (!r) return TARVIK_STATUS_NULLHANDLE;
    TRV_Device* d = deviceOf(r);
    return d ? d->Repeat(r) : TARVIK_STATUS_CANNOTREPEAT;
}

TARVIK_API TARVIK_STATUS TRV_PostRequest(TARVIK_HANDLE hRequest, unsigned char mode) {
    TRV_Request* r = req(hRequest);
    if (!r) return TARVIK_STATUS_NULLHANDLE;
    TRV_Device* d = deviceOf(r);
    if (!d) return TARVIK_STATUS_NULLHANDLE;
    return guarded([&] { return d->post(r, mode); });
}

TARVIK_API TARVIK_STATUS TRV_PushRequestParamByte(TARVIK_HANDLE h, unsigned char param) {
    return pushItem(h, [&](TRV_DataItem& it) { it.SetChar(param); return true; });
}
TARVIK_API TARVIK_STATUS TRV_PushRequestParamWord(TARVIK_HANDLE h, unsigned short param) {
    return pushItem(h, [&](TRV_DataItem& it) { it.SetShort(param); return true; });
}
TARVIK_API TARVIK_STATUS TRV_PushRequestParamLong(TARVIK_HANDLE h, uint32_t param) {
    return pushItem(h, [&](TRV_DataItem& it) { it.SetLong(param); return true; });
}
TARVIK_API TARVIK_STATUS TRV_PushRequestParamString(TARVIK_HANDLE h, const char* param) {
    return pushItem(h, [&](TRV_DataItem& it) {
        if (!textOk(param)) return false;
        it.SetString(param);
        return true;
    });
}
TARVIK_API TARVIK_STATUS TRV_PushRequestParamNumeric(TARVIK_HANDLE h, const char* param) {
    return pushText(h, param, &TRV_DataItem::SetNumeric);
}
TARVIK_API TARVIK_STATUS TRV_PushRequestParamCurrency(TARVIK_HANDLE h, const char* param) {
    return pushText(h, param, &TRV_DataItem::SetCurrency);
}
TARVIK_API TARVIK_STATUS TRV_PushRequestParamQuantity(TARVIK_HANDLE h, const char* param) {
    return pushText(h, param, &TRV_DataItem::SetQuantity);
}

TARVIK_API uint32_t TRV_GetResponseValueCount(TARVIK_HANDLE h) {
    TRV_Request* r = req(h);
    return r ? static_cast<uint32_t>(r->response.Count()) : TARVIK_STATUS_NULLHANDLE;
}

TARVIK_API TARVIK_DATA_TYPE TRV_GetResponseValueType(TARVIK_HANDLE h) {
    TRV_Request* r = req(h);
    if (!r) return TARVIK_TYPE_NONE;
    TRV_DataItem* item = r->response[static_cast<int>(r->read_ptr)];
    return item ? item->Type() : TARVIK_TYPE_NONE;
}

TARVIK_API TARVIK_STATUS TRV_ResponseRewind(TARVIK_HANDLE h) {
    TRV_Request* r = req(h);
    if (!r) return TARVIK_STATUS_NULLHANDLE;
    r->read_ptr = 0;
    return TARVIK_STATUS_OK;
}

TARVIK_API TARVIK_STATUS TRV_PopResponseValueByte(TARVIK_HANDLE h, unsigned char* retVal) {
    TRV_Request* r;
    TRV_DataItem* item;
    if (TARVIK_STATUS st = popChecks(h, retVal, r, item, TARVIK_TYPE_BYTE)) return st;
    *retVal = item->GetChar();
    ++r->read_ptr;
    return TARVIK_STATUS_OK;
}

TARVIK_API TARVIK_STATUS TRV_PopResponseValueWord(TARVIK_HANDLE h, unsigned short* retVal) {
    TRV_Request* r;
    TRV_DataItem* item;
    if (TARVIK_STATUS st = popChecks(h, retVal, r, item, TARVIK_TYPE_WORD)) return st;
    *retVal = item->GetShort();
    ++r->read_ptr;
    return TARVIK_STATUS_OK;
}

TARVIK_API TARVIK_STATUS TRV_PopResponseValueLong(TARVIK_HANDLE h, uint32_t* retVal) {
    TRV_Request* r;
    TRV_DataItem* item;
    if (TARVIK_STATUS st = popChecks(h, retVal, r, item, TARVIK_TYPE_LONG)) return st;
    *retVal = item->GetLong();
    ++r->read_ptr;
    return TARVIK_STATUS_OK;
}

TARVIK_API TARVIK_STATUS TRV_PopResponseValueString(TARVIK_HANDLE h, char* retVal, uint32_t len) {
    return popText(h, retVal, len, TARVIK_TYPE_STRING);
}
TARVIK_API TARVIK_STATUS TRV_PopResponseValueNumeric(TARVIK_HANDLE h, char* retVal, uint32_t len) {
    return popText(h, retVal, len, TARVIK_TYPE_NUMERIC);
}
TARVIK_API TARVIK_STATUS TRV_PopResponseValueCurrency(TARVIK_HANDLE h, char* retVal, uint32_t len) {
    return popText(h, retVal, len, TARVIK_TYPE_CURRENCY);
}
TARVIK_API TARVIK_STATUS TRV_PopResponseValueQuantity(TARVIK_HANDLE h, char* retVal, uint32_t len) {
    return popText(h, retVal, len, TARVIK_TYPE_QUANTITY);
}

TARVIK_API TARVIK_STATE TRV_GetRequestState(TARVIK_HANDLE h) {
    TRV_Request* r = req(h);
    return r ? r->state.load() : TARVIK_STATUS_NULLHANDLE;
}

TARVIK_API TARVIK_STATUS TRV_GetRequestStatus(TARVIK_HANDLE h) {
    TRV_Request* r = req(h);
    if (!r) return TARVIK_STATUS_NULLHANDLE;
    switch (r->state.load()) {
    case TARVIK_STATE_NEW:
    case TARVIK_STATE_PENDING:
    case TARVIK_STATE_SENT:
    case TARVIK_STATE_ACCEPTED:
        return TARVIK_STATUS_NOTANSWERED;
    case TARVIK_STATE_COMPLETED:
        return TARVIK_STATUS_OK;
    case TARVIK_STATE_ERROR:
        if (r->response.Count() > 2) {
            const uint16_t t = r->response[1]->GetShort();
            if (t) return TARVIK_STATUS_TRANS_ERROR + t;
            return TARVIK_STATUS_EXEC_ERROR + r->response[2]->GetShort();
        }
        return r->other_error ? r->other_error : TARVIK_STATUS_BADDATA;
    default:
        return TARVIK_STATUS_OK;
    }
}

TARVIK_API uint32_t TRV_GetRequestAge(TARVIK_HANDLE h) {
    TRV_Request* r = req(h);
    return r ? now_seconds() - r->start_time.load() : 0;
}

TARVIK_API uint32_t TRV_GetRequestCommandID(TARVIK_HANDLE h) {
    TRV_Request* r = req(h);
    return r ? r->cmd_id : TARVIK_STATUS_NOCOMMAND;
}

TARVIK_API uint32_t TRV_GetRequestCommandSerial(TARVIK_HANDLE h) {
    TRV_Request* r = req(h);
    return r ? r->token : 0;
}

TARVIK_API TARVIK_HANDLE TRV_RequestDevice(TARVIK_HANDLE h) {
    TRV_Request* r = req(h);
    return r ? r->myDevice : nullptr;
}

TARVIK_API TARVIK_STATUS TRV_WaitForRequestCompleted(TARVIK_HANDLE h, uint32_t timeout) {
    TRV_Request* r = req(h);
    if (!r) return TARVIK_STATUS_NULLHANDLE;
    const auto done = [r] {
        const uint32_t s = r->state.load();
        return s == TARVIK_STATE_COMPLETED || s == TARVIK_STATE_ERROR;
    };
    if (done()) return TARVIK_STATUS_OK;
    if (TRV_Device* d = deviceOf(r)) return d->WaitForRequest(r, timeout) ? TARVIK_STATUS_OK : TARVIK_STATUS_TIMEOUT;
    // A request without a device cannot change any more: one look after the first pause.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return done() ? TARVIK_STATUS_OK : TARVIK_STATUS_TIMEOUT;
}

}  // extern "C"
