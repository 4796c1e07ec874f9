// The exported request functions: create, fill, post, read and destroy.
// Each pins its request for the call (see trvlib_boundary.h).
#include <cstring>
#include <new>
#include <thread>

#include "trvlib_boundary.h"
#include "trvlib_deviceview.h"

using namespace trv;

namespace {

Ref<TRV_Request> req(TARVIK_HANDLE h) { return lookup<TRV_Request>(h); }

// Appends a parameter unless the request is queued for output: the sender
// may be encoding it right now.
template <class Setter>
TARVIK_STATUS pushItem(TARVIK_HANDLE h, Setter set) {
    Ref<TRV_Request> r = req(h);
    if (!r) return TARVIK_STATUS_NULLHANDLE;
    return guarded([&]() -> TARVIK_STATUS {
        auto add = [&]() -> TARVIK_STATUS {
            auto* item = new (std::nothrow) TRV_DataItem();
            if (!item) return TARVIK_STATUS_NOMEMORY;
            if (!set(*item)) {
                delete item;
                return TARVIK_STATUS_INVALIDARG;
            }
            const int before = r->items.Count();
            r->items.Add(item);
            if (r->items.Count() == before) {
                delete item;
                return TARVIK_STATUS_NOMEMORY;
            }
            return TARVIK_STATUS_OK;
        };
        if (Ref<TRV_Device> d = deviceOf(r.get())) return d->AddParam(r.get(), add);
        return add();
    });
}

bool textOk(const char* p) { return p && strnlen(p, 65536) < 65536; }

TARVIK_STATUS pushText(TARVIK_HANDLE h, const char* p, bool (TRV_DataItem::*parse)(const std::string&)) {
    return pushItem(h, [&](TRV_DataItem& it) { return textOk(p) && (it.*parse)(p); });
}

// The value at the read pointer, after the checks common to every pop.
template <class Out>
TARVIK_STATUS popChecks(TRV_Request* r, Out* out, TRV_DataItem*& item, TARVIK_DATA_TYPE type) {
    if (!out) return TARVIK_STATUS_INVALIDARG;
    item = r->response[static_cast<int>(r->read_ptr)];
    if (!item) return TARVIK_STATUS_NOMOREVALUES;
    if (item->Type() != type) return TARVIK_STATUS_BADDATA;
    return TARVIK_STATUS_OK;
}

template <class V, class Get>
TARVIK_STATUS popNumber(TARVIK_HANDLE h, V* retVal, TARVIK_DATA_TYPE type, Get get) {
    Ref<TRV_Request> r = req(h);
    if (!r) return TARVIK_STATUS_NULLHANDLE;
    TRV_DataItem* item = nullptr;
    if (TARVIK_STATUS st = popChecks(r.get(), retVal, item, type)) return st;
    *retVal = get(*item);
    ++r->read_ptr;
    return TARVIK_STATUS_OK;
}

TARVIK_STATUS popText(TARVIK_HANDLE h, char* retVal, uint32_t retValLen, TARVIK_DATA_TYPE type) {
    Ref<TRV_Request> r = req(h);
    if (!r) return TARVIK_STATUS_NULLHANDLE;
    if (!retVal) return TARVIK_STATUS_INVALIDARG;
    if (retValLen == 0) return TARVIK_STATUS_MISSINGVALUE;
    return guarded([&]() -> TARVIK_STATUS {
        TRV_DataItem* item = nullptr;
        TARVIK_STATUS st = popChecks(r.get(), retVal, item, type);
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

TARVIK_API TARVIK_HANDLE TRV_CreateRequest(TARVIK_HANDLE hView, TARVIK_CMD command) {
    OpenView o = openView(hView);
    if (!o) return nullptr;
    auto* r = newTagged<TRV_Request>();
    if (!r) {
        o.v()->SetErrorCode(TARVIK_STATUS_NOMEMORY);
        return nullptr;
    }
    r->cmd_id = command;
    o.v()->acquire();
    r->myDevice = o.v();
    r->token = o.d()->nextToken();
    r->start_time.store(now_seconds());
    return r->handle();
}

TARVIK_API TARVIK_STATUS TRV_DestroyRequest(TARVIK_HANDLE hRequest) {
    Ref<TRV_Request> r = req(hRequest);
    if (!r) return TARVIK_STATUS_NULLHANDLE;
    if (Ref<TRV_Device> d = deviceOf(r.get()))
        d->DestroyRequest(r.get());
    else
        r->kill();
    return TARVIK_STATUS_OK;
}

TARVIK_API TARVIK_STATUS TRV_RepeatRequest(TARVIK_HANDLE hRequest) {
    Ref<TRV_Request> r = req(hRequest);
    if (!r) return TARVIK_STATUS_NULLHANDLE;
    Ref<TRV_Device> d = deviceOf(r.get());
    return d ? d->Repeat(r.get()) : TARVIK_STATUS_CANNOTREPEAT;
}

TARVIK_API TARVIK_STATUS TRV_PostRequest(TARVIK_HANDLE hRequest, unsigned char mode) {
    Ref<TRV_Request> r = req(hRequest);
    if (!r) return TARVIK_STATUS_NULLHANDLE;
    Ref<TRV_Device> d = deviceOf(r.get());
    if (!d) return TARVIK_STATUS_NULLHANDLE;
    return guarded([&] { return d->post(r.get(), r->myDevice, mode); });
}

TARVIK_API TARVIK_STATUS TRV_PushRequestParamByte(TARVIK_HANDLE hRequest, unsigned char param) {
    return pushItem(hRequest, [&](TRV_DataItem& it) { it.SetChar(param); return true; });
}
TARVIK_API TARVIK_STATUS TRV_PushRequestParamWord(TARVIK_HANDLE hRequest, unsigned short param) {
    return pushItem(hRequest, [&](TRV_DataItem& it) { it.SetShort(param); return true; });
}
TARVIK_API TARVIK_STATUS TRV_PushRequestParamLong(TARVIK_HANDLE hRequest, uint32_t param) {
    return pushItem(hRequest, [&](TRV_DataItem& it) { it.SetLong(param); return true; });
}
TARVIK_API TARVIK_STATUS TRV_PushRequestParamString(TARVIK_HANDLE hRequest, const char* param) {
    return pushItem(hRequest, [&](TRV_DataItem& it) {
        if (!textOk(param)) return false;
        it.SetString(param);
        return true;
    });
}
TARVIK_API TARVIK_STATUS TRV_PushRequestParamNumeric(TARVIK_HANDLE hRequest, const char* param) {
    return pushText(hRequest, param, &TRV_DataItem::SetNumeric);
}
TARVIK_API TARVIK_STATUS TRV_PushRequestParamCurrency(TARVIK_HANDLE hRequest, const char* param) {
    return pushText(hRequest, param, &TRV_DataItem::SetCurrency);
}
TARVIK_API TARVIK_STATUS TRV_PushRequestParamQuantity(TARVIK_HANDLE hRequest, const char* param) {
    return pushText(hRequest, param, &TRV_DataItem::SetQuantity);
}

TARVIK_API uint32_t TRV_GetResponseValueCount(TARVIK_HANDLE hRequest) {
    Ref<TRV_Request> r = req(hRequest);
    return r ? static_cast<uint32_t>(r->response.Count()) : TARVIK_STATUS_NULLHANDLE;
}

TARVIK_API TARVIK_DATA_TYPE TRV_GetResponseValueType(TARVIK_HANDLE hRequest) {
    Ref<TRV_Request> r = req(hRequest);
    if (!r) return TARVIK_TYPE_NONE;
    TRV_DataItem* item = r->response[static_cast<int>(r->read_ptr)];
    return item ? item->Type() : TARVIK_TYPE_NONE;
}

TARVIK_API TARVIK_STATUS TRV_ResponseRewind(TARVIK_HANDLE hRequest) {
    Ref<TRV_Request> r = req(hRequest);
    if (!r) return TARVIK_STATUS_NULLHANDLE;
    r->read_ptr = 0;
    return TARVIK_STATUS_OK;
}

TARVIK_API TARVIK_STATUS TRV_PopResponseValueByte(TARVIK_HANDLE hRequest, unsigned char* retVal) {
    return popNumber(hRequest, retVal, TARVIK_TYPE_BYTE, [](const TRV_DataItem& it) { return it.GetChar(); });
}

TARVIK_API TARVIK_STATUS TRV_PopResponseValueWord(TARVIK_HANDLE hRequest, unsigned short* retVal) {
    return popNumber(hRequest, retVal, TARVIK_TYPE_WORD, [](const TRV_DataItem& it) { return it.GetShort(); });
}

TARVIK_API TARVIK_STATUS TRV_PopResponseValueLong(TARVIK_HANDLE hRequest, uint32_t* retVal) {
    return popNumber(hRequest, retVal, TARVIK_TYPE_LONG, [](const TRV_DataItem& it) { return it.GetLong(); });
}

TARVIK_API TARVIK_STATUS TRV_PopResponseValueString(TARVIK_HANDLE hRequest, char* retVal, uint32_t retValLen) {
    return popText(hRequest, retVal, retValLen, TARVIK_TYPE_STRING);
}
TARVIK_API TARVIK_STATUS TRV_PopResponseValueNumeric(TARVIK_HANDLE hRequest, char* retVal, uint32_t retValLen) {
    return popText(hRequest, retVal, retValLen, TARVIK_TYPE_NUMERIC);
}
TARVIK_API TARVIK_STATUS TRV_PopResponseValueCurrency(TARVIK_HANDLE hRequest, char* retVal, uint32_t retValLen) {
    return popText(hRequest, retVal, retValLen, TARVIK_TYPE_CURRENCY);
}
TARVIK_API TARVIK_STATUS TRV_PopResponseValueQuantity(TARVIK_HANDLE hRequest, char* retVal, uint32_t retValLen) {
    return popText(hRequest, retVal, retValLen, TARVIK_TYPE_QUANTITY);
}

TARVIK_API TARVIK_STATE TRV_GetRequestState(TARVIK_HANDLE hRequest) {
    Ref<TRV_Request> r = req(hRequest);
    return r ? r->state.load() : TARVIK_STATUS_NULLHANDLE;
}

TARVIK_API TARVIK_STATUS TRV_GetRequestStatus(TARVIK_HANDLE hRequest) {
    Ref<TRV_Request> r = req(hRequest);
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

TARVIK_API uint32_t TRV_GetRequestAge(TARVIK_HANDLE hRequest) {
    Ref<TRV_Request> r = req(hRequest);
    return r ? now_seconds() - r->start_time.load() : 0;
}

TARVIK_API uint32_t TRV_GetRequestCommandID(TARVIK_HANDLE hRequest) {
    Ref<TRV_Request> r = req(hRequest);
    return r ? r->cmd_id : TARVIK_STATUS_NOCOMMAND;
}

TARVIK_API uint32_t TRV_GetRequestCommandSerial(TARVIK_HANDLE hRequest) {
    Ref<TRV_Request> r = req(hRequest);
    return r ? r->token : 0;
}

TARVIK_API TARVIK_HANDLE TRV_RequestDevice(TARVIK_HANDLE hRequest) {
    Ref<TRV_Request> r = req(hRequest);
    // The request's reference keeps its view (closed or not) in memory.
    return r && r->myDevice ? r->myDevice->handle() : nullptr;
}

TARVIK_API TARVIK_STATUS TRV_WaitForRequestCompleted(TARVIK_HANDLE hRequest, uint32_t timeout) {
    Ref<TRV_Request> r = req(hRequest);
    if (!r) return TARVIK_STATUS_NULLHANDLE;
    const auto done = [&r] {
        const uint32_t s = r->state.load();
        return s == TARVIK_STATE_COMPLETED || s == TARVIK_STATE_ERROR;
    };
    if (done()) return TARVIK_STATUS_OK;
    if (Ref<TRV_Device> d = deviceOf(r.get())) return d->WaitForRequest(r.get(), timeout);
    // A request without a device cannot change any more: one look after the first pause.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return done() ? TARVIK_STATUS_OK : TARVIK_STATUS_TIMEOUT;
}

}  // extern "C"
