#include "trvlib_device.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "trvlib_deviceview.h"

namespace trv {

namespace {
const uint16_t kRetryCodes[] = {3002, 3003, 3005, 3006, 3008, 3009, 3011, 3014, 3017};

bool isRetryCode(uint16_t t) {
    for (uint16_t c : kRetryCodes)
        if (c == t) return true;
    return false;
}

bool isFrontCommand(uint16_t cmd) { return cmd == 332 || cmd == 333 || cmd == 8 || cmd == 9 || cmd == 10; }

bool isLive(uint32_t s) {
    return s == TARVIK_STATE_PENDING || s == TARVIK_STATE_SENT || s == TARVIK_STATE_ACCEPTED;
}

std::string num(long long v) { return std::to_string(v); }
}  // namespace

TRV_Device::TRV_Device() : TRV_DeviceBase(kKind) { sem_init(&qsem, 0, 0); }

TRV_Device::~TRV_Device() {
    // Requests still queued for output, events and sale records go with the
    // device; finished requests in the input queue belong to the application.
    {
        std::lock_guard<std::mutex> lk(outQueueMutex);
        outQueue.Clear();
    }
    {
        std::lock_guard<std::mutex> lk(asyncQueueMutex);
        asyncQueue.Clear();
    }
    {
        std::lock_guard<std::mutex> lk(salesQueueMutex);
        salesQueue.Clear();
    }
    {
        std::lock_guard<std::mutex> lk(inQueueMutex);
        inQueue.EraseAll();
    }
    TRV_DeviceView* cbView;
    {
        std::lock_guard<std::mutex> lk(callbackMutex);
        cbView = in_view;
        in_view = nullptr;
    }
    if (cbView) cbView->release();
    std::vector<TRV_DeviceView*> views;
    {
        std::lock_guard<std::mutex> lk(viewsMutex);
        views.swap(liveViews);
        device_views.EraseAll();
    }
    for (TRV_DeviceView* v : views) v->myDevice = nullptr;  // detached from now on
    sem_destroy(&qsem);
}

// ---------------------------------------------------------------- parameters

TARVIK_STATUS TRV_Device::SetDeviceParam(uint32_t id, void* value) {
    if (!value) return TARVIK_STATUS_INVALIDARG;
    switch (id) {
    case TARVIK_PARAM_STRINGHANDLING:
        return TRV_DeviceBase::SetDeviceParam(id, value);
    case TARVIK_PARAM_OUTQUEUEMAXLEN: {
        const uint32_t v = *static_cast<const uint32_t*>(value);
        if (v == 0) return TARVIK_STATUS_INVALIDARG;
        outQueueMaxLen.store(v);
        return TARVIK_STATUS_OK;
    }
    case TARVIK_PARAM_NOSYNC:
        nosync.store(*static_cast<const uint8_t*>(value) != 0);
        return TARVIK_STATUS_OK;
    case TARVIK_PARAM_DECIMALSEP:
        decimalsep.store(*static_cast<const char*>(value));
        return TARVIK_STATUS_OK;
    default:
        return TARVIK_STATUS_INVALIDARG;
    }
}

TARVIK_STATUS TRV_Device::GetDeviceParam(uint32_t id, void* value) {
    Log(LOG_DEVICE, 10, "DEVICE: SetDeviceParam " + num(id));
    return TRV_DeviceBase::GetDeviceParam(id, value);
}

void TRV_Device::SetDebugLevel(uint32_t level) {
    const uint32_t old = debuglevel.load();
    if (level != 0 && old == 0) {
        debuglevel.store(level);
        lfile.open();
    } else if (level != 0) {
        debuglevel.store(level);
    } else if (old != 0) {
        debuglevel.store(0);
        lfile.close();
    }
}

void TRV_Device::ReopenLog(const std::string& name) {
    lfile.close();
    lfile.setName(name);
    if (debuglevel.load() != 0) lfile.open();
}

Cipher TRV_Device::cipherState() {
    std::lock_guard<std::mutex> lk(cipherMutex);
    return cipher_;
}

void TRV_Device::failWritten(TARVIK_STATUS status) {
    bool any = false;
    {
        std::lock_guard<std::mutex> lk(outQueueMutex);
        for (int i = 0; i < outQueue.Count();) {
            TRV_Request* r = outQueue[i];
            const uint32_t s = r->state.load();
            if (s != TARVIK_STATE_SENT && s != TARVIK_STATE_ACCEPTED) {
                ++i;
                continue;
            }
            if (r->post_mode == 3) {
                deleteLocked(r);
            } else {
                r->other_error = status;
                finishLocked(r, TARVIK_STATE_ERROR, false);
                any = true;
            }
        }
    }
    if (any) notifyEvent();
}

uint8_t TRV_Device::GetCryptoStatus() {
    std::lock_guard<std::mutex> lk(cipherMutex);
    return static_cast<uint8_t>(cipher_.method);
}

// ---------------------------------------------------------------- views

TRV_DeviceView* TRV_Device::OpenDevice() {
    std::lock_guard<std::mutex> oc(openCloseMutex);
    bool first;
    {
        std::lock_guard<std::mutex> lk(viewsMutex);
        first = device_views.Count() == 0;
    }
    if (first && !DeviceRealOpen()) return nullptr;
    auto* v = new (std::nothrow) TRV_DeviceView(this);
    if (!v) {
        SetErrorCode(TARVIK_STATUS_NOMEMORY);
        if (first) DeviceRealClose();
        return nullptr;
    }
    std::lock_guard<std::mutex> lk(viewsMutex);
    device_views.Add(v);
    liveViews.push_back(v);
    return v;
}

bool TRV_Device::DeviceHasViews() {
    std::lock_guard<std::mutex> lk(viewsMutex);
    return device_views.Count() > 0;
}

void TRV_Device::viewGone(TRV_DeviceView* view) {
    std::lock_guard<std::mutex> lk(viewsMutex);
    for (auto it = liveViews.begin(); it != liveViews.end(); ++it)
        if (*it == view) {
            liveViews.erase(it);
            break;
        }
}

bool TRV_Device::closeMe(TRV_DeviceView* view) {
    std::lock_guard<std::mutex> oc(openCloseMutex);
    {
        std::lock_guard<std::mutex> lk(viewsMutex);
        if (device_views.IndexOf(view) < 0) {
            Log(LOG_DEVICE, 4, "DEVICE: Attempt to close non-existant view");
            return true;
        }
        Log(LOG_DEVICE, 10, "DEVICE: Removing deviceView from device scope");
        device_views.Erase(view);
        if (device_views.Count() > 0) return true;
    }
    Log(LOG_DEVICE, 8, "DEVICE: All views removed, closing the hardware device.");
    const bool ok = DeviceRealClose();
    Log(LOG_DEVICE, 8, "DEVICE: Device closed. ");

    Log(LOG_DEVICE, 10, "DEVICE: Statistics Dump Started");
    Log(LOG_DEVICE, 10, "DEVICE: Frames sent       : " + num(framesSent));
    Log(LOG_DEVICE, 10, "DEVICE: Bytes sent        : " + num(bytesSent));
    Log(LOG_DEVICE, 10, "DEVICE: Bytes recv        : " + num(bytesReceived));
    Log(LOG_DEVICE, 10, "DEVICE: Bytes recv dropped: " + num(bytesReceivedDropped));
    Log(LOG_DEVICE, 10, "DEVICE: Frames recv       : " + num(framesReceived));
    Log(LOG_DEVICE, 10, "DEVICE: Frames completed  : " + num(framesCompleted));
    auto len = [](std::mutex& m, RequestQueue& q) {
        std::lock_guard<std::mutex> lk(m);
        return q.Count();
    };
    Log(LOG_DEVICE, 10, "DEVICE: Frames in Output queue  : " + num(len(outQueueMutex, outQueue)));
    Log(LOG_DEVICE, 10, "DEVICE: Frames in Input queue   : " + num(len(inQueueMutex, inQueue)));
    Log(LOG_DEVICE, 10, "DEVICE: Frames in Async queue   : " + num(len(asyncQueueMutex, asyncQueue)));
    Log(LOG_DEVICE, 10, "DEVICE: Frames in Sales queue   : " + num(len(salesQueueMutex, salesQueue)));
    if (logOn(LOG_QUEUES, 14)) {
        char line[96];
        std::snprintf(line, sizeof line, "DEVICE: Current internal Time: %ld", static_cast<long>(std::time(nullptr)));
        Log(LOG_QUEUES, 14, line);
        dumpQueue(outQueue, outQueueMutex, "OUT", "OUTQ");
        dumpQueue(inQueue, inQueueMutex, "IN", "INQ");
        dumpQueue(asyncQueue, asyncQueueMutex, "ASYNC", "ASYNCQ");
        dumpQueue(salesQueue, salesQueueMutex, "SALES", "SALES");
    }
    Log(LOG_DEVICE, 10, "DEVICE: Statistics Dump Stopped");
    return ok;
}

void TRV_Device::dumpQueue(RequestQueue& q, std::mutex& m, const char* name, const char* tag) {
    std::lock_guard<std::mutex> lk(m);
    Log(LOG_QUEUES, 14, std::string("DEVICE: Begin ") + name + " Queue Dump");
    int i = 0;
    for (TRV_Request* r = q.First(); r; r = q.Next(), ++i) {
        char line[256];
        std::snprintf(line, sizeof line,
                      "DEVICE: %s - Index: %d, Token: %d, Command=%d, Retry=%d, State=%d, Flags=%d, Start Time: %ld",
                      tag, i, static_cast<int>(r->token), static_cast<int>(r->cmd_id), r->max_retry_count,
                      static_cast<int>(r->state.load()), static_cast<int>(r->flags),
                      static_cast<long>(r->start_time.load()));
        Log(LOG_QUEUES, 14, line);
    }
    Log(LOG_QUEUES, 14, std::string("DEVICE: End ") + name + " Queue Dump");
}

// ---------------------------------------------------------------- queues

TRV_Request* TRV_Device::FindWithToken(uint32_t tok) {
    for (TRV_Request* r = outQueue.First(); r; r = outQueue.Next())
        if (r->token == tok) return r;
    return nullptr;
}

TRV_Request* TRV_Device::FindFirstPending() {
    for (TRV_Request* r = outQueue.First(); r; r = outQueue.Next())
        if (r->state.load(std::memory_order_relaxed) == TARVIK_STATE_PENDING) return r;
    return nullptr;
}

void TRV_Device::wakeSender() { senderCv.notify_all(); }

void TRV_Device::notifyEvent() {
    { std::lock_guard<std::mutex> lk(eventMutex); }
    eventCv.notify_all();
}

TARVIK_STATUS TRV_Device::post(TRV_Request* r, uint8_t mode) {
    {
        std::lock_guard<std::mutex> lk(outQueueMutex);
        Log(LOG_DEVICE, 8, "DEVICE: Posted request");
        Log(LOG_DEVICE, 14, "DEVICE: Command post mode: ", mode);
        // A request already on its way is not queued a second time.
        if (outQueue.Contains(r)) return TARVIK_STATUS_INUSE;
        r->post_mode = mode;
        r->setState(TARVIK_STATE_PENDING);
        const bool front = isFrontCommand(r->cmd_id);
        if (!front && (mode == 1 || static_cast<uint32_t>(outQueue.Count()) >= outQueueMaxLen.load())) {
            for (TRV_Request* q = outQueue.First(); q; q = outQueue.Next())
                if (isLive(q->state.load(std::memory_order_relaxed))) return TARVIK_STATUS_INUSE;
        }
        // A finished request that is posted again leaves the queue it waited
        // in. This happens before it is queued: once it is, an answer may
        // delete it (post modes 2 and 3) on the receiver thread.
        {
            std::lock_guard<std::mutex> in(inQueueMutex);
            inQueue.Erase(r);
        }
        {
            std::lock_guard<std::mutex> sales(salesQueueMutex);
            salesQueue.Erase(r);
        }
        r->start_time.store(now_seconds());
        if (front)
            outQueue.Push(r);
        else
            outQueue.Add(r);
    }
    wakeSender();
    return TARVIK_STATUS_OK;
}

TARVIK_STATUS TRV_Device::Repeat(TRV_Request* r) {
    {
        std::lock_guard<std::mutex> lk(outQueueMutex);
        Log(LOG_DEVICE, 12, "DEVICE: Begin repeat call. ");
        const uint32_t s = r->state.load();
        if ((s != TARVIK_STATE_SENT && s != TARVIK_STATE_ACCEPTED) || !outQueue.Contains(r)) {
            Log(LOG_DEVICE, 12, "DEVICE: Repeat call aborted on invalid state. ");
            return TARVIK_STATUS_CANNOTREPEAT;
        }
        r->flags |= kFlagRepeated;
        r->setState(TARVIK_STATE_PENDING);
        Log(LOG_DEVICE, 12, "DEVICE: Repeat call finished with success. ");
    }
    wakeSender();
    return TARVIK_STATUS_OK;
}

void TRV_Device::RemoveMe(TRV_Request* r) {
    Log(LOG_DEVICE, 10, "DEVICE: Called RemoveMe");
    {
        std::lock_guard<std::mutex> lk(outQueueMutex);
        outQueue.Erase(r);
    }
    {
        std::lock_guard<std::mutex> lk(inQueueMutex);
        inQueue.Erase(r);
    }
    {
        std::lock_guard<std::mutex> lk(salesQueueMutex);
        salesQueue.Erase(r);
    }
    {
        std::lock_guard<std::mutex> lk(asyncQueueMutex);
        asyncQueue.Erase(r);
    }
}

void TRV_Device::deleteLocked(TRV_Request* r) {
    outQueue.Erase(r);
    {
        std::lock_guard<std::mutex> lk(inQueueMutex);
        inQueue.Erase(r);
    }
    {
        std::lock_guard<std::mutex> lk(salesQueueMutex);
        salesQueue.Erase(r);
    }
    {
        std::lock_guard<std::mutex> lk(asyncQueueMutex);
        asyncQueue.Erase(r);
    }
    if (r->inFlight) {
        r->deleteAfterWrite = true;  // the sender frees it when its write returns
        r->kind_.store(Kind::Dead);
    } else {
        delete r;
    }
}

void TRV_Device::DestroyRequest(TRV_Request* r) {
    Log(LOG_DEVICE, 10, "DEVICE: Called RemoveMe");
    std::lock_guard<std::mutex> lk(outQueueMutex);
    deleteLocked(r);
}

// Moves a finished request from the output queue to the input (or sales)
// queue; the state changes while the target queue's lock is held.
void TRV_Device::finishLocked(TRV_Request* r, uint32_t state, bool sales) {
    std::mutex& m = sales ? salesQueueMutex : inQueueMutex;
    RequestQueue& q = sales ? salesQueue : inQueue;
    {
        std::lock_guard<std::mutex> lk(m);
        q.Add(r);
        outQueue.Erase(r);
        r->setState(state);
    }
}

TRV_Request* TRV_Device::GetNextResponse(TRV_DeviceView* view) {
    Log(LOG_DEVICE, 10, "DEVICE: Called GetNextResponse");
    std::lock_guard<std::mutex> lk(inQueueMutex);
    for (TRV_Request* r = inQueue.First(); r; r = inQueue.Next())
        if (r->myDevice == view) {
            inQueue.Erase(r);
            return r;
        }
    return nullptr;
}

uint32_t TRV_Device::GetResponseCount(TRV_DeviceView* view) {
    Log(LOG_DEVICE, 10, "DEVICE: Called GetResponseCount");
    uint32_t n = 0;
    {
        std::lock_guard<std::mutex> lk(inQueueMutex);
        for (TRV_Request* r = inQueue.First(); r; r = inQueue.Next())
            if (r->myDevice == view) ++n;
    }
    Log(LOG_DEVICE, 10, "DEVICE: Found: " + num(n));
    return n;
}

uint32_t TRV_Device::GetRequestCount(TRV_DeviceView* view, bool all) {
    Log(LOG_DEVICE, 10, "DEVICE: Called GetRequestCount");
    uint32_t n = 0;
    {
        std::lock_guard<std::mutex> lk(outQueueMutex);
        for (TRV_Request* r = outQueue.First(); r; r = outQueue.Next())
            if (all || r->myDevice == view) ++n;
    }
    Log(LOG_DEVICE, 10, "DEVICE: Found: " + num(n));
    return n;
}

uint32_t TRV_Device::getSalesQueueLength(TRV_DeviceView* view, bool all) {
    Log(LOG_DEVICE, 10, "DEVICE: Called SalesQueueLength");
    uint32_t n = 0;
    std::lock_guard<std::mutex> lk(salesQueueMutex);
    for (TRV_Request* r = salesQueue.First(); r; r = salesQueue.Next())
        if (all || r->myDevice == view) ++n;
    return n;
}

uint32_t TRV_Device::getAsyncQueueLength() {
    Log(LOG_DEVICE, 10, "DEVICE: Called AsyncQueueLength");
    std::lock_guard<std::mutex> lk(asyncQueueMutex);
    return static_cast<uint32_t>(asyncQueue.Count());
}

template <class Pred>
uint32_t TRV_Device::purge(RequestQueue& q, std::mutex& m, const char* what, Pred pred) {
    Log(LOG_DEVICE, 10, std::string("DEVICE: Called ") + what);
    uint32_t n = 0;
    std::lock_guard<std::mutex> lk(m);
    for (int i = 0; i < q.Count();) {
        TRV_Request* r = q[i];
        if (pred(r)) {
            q.Erase(r);
            delete r;
            ++n;
        } else {
            ++i;
        }
    }
    Log(LOG_DEVICE, 10, "DEVICE: Purged: " + num(n));
    return n;
}

TARVIK_STATUS TRV_Device::PurgePending(TRV_DeviceView* view, bool all) {
    Log(LOG_DEVICE, 10, "DEVICE: Called PendingQueuePurge");
    uint32_t n = 0;
    {
        std::lock_guard<std::mutex> lk(outQueueMutex);
        for (int i = 0; i < outQueue.Count();) {
            TRV_Request* r = outQueue[i];
            if ((all || r->myDevice == view) && r->state.load() == TARVIK_STATE_PENDING) {
                deleteLocked(r);
                ++n;
            } else {
                ++i;
            }
        }
    }
    Log(LOG_DEVICE, 10, "DEVICE: Purged: " + num(n));
    return TARVIK_STATUS_OK;
}

TARVIK_STATUS TRV_Device::PurgeAll(TRV_DeviceView* view, bool all) {
    Log(LOG_DEVICE, 10, "DEVICE: Called PendingQueuePurge");
    uint32_t n = 0;
    {
        std::lock_guard<std::mutex> lk(outQueueMutex);
        for (int i = 0; i < outQueue.Count();) {
            TRV_Request* r = outQueue[i];
            if (all || r->myDevice == view) {
                deleteLocked(r);
                ++n;
            } else {
                ++i;
            }
        }
    }
    Log(LOG_DEVICE, 10, "DEVICE: Purged: " + num(n));
    return TARVIK_STATUS_OK;
}

TARVIK_STATUS TRV_Device::purgeSalesQueue(TRV_DeviceView* view, bool all) {
    purge(salesQueue, salesQueueMutex, "SalesQueuePurge", [&](TRV_Request* r) { return all || r->myDevice == view; });
    return TARVIK_STATUS_OK;
}

TARVIK_STATUS TRV_Device::purgeAsyncQueue() {
    purge(asyncQueue, asyncQueueMutex, "AsyncQueuePurge", [](TRV_Request*) { return true; });
    return TARVIK_STATUS_OK;
}

TRV_Request* TRV_Device::cancelExecuting(TRV_DeviceView* view) {
    TRV_Request* executing = nullptr;
    {
        std::lock_guard<std::mutex> lk(outQueueMutex);
        for (TRV_Request* r = outQueue.First(); r; r = outQueue.Next())
            if (r->state.load() == TARVIK_STATE_ACCEPTED) {
                executing = r;
                break;
            }
        auto* stop = new (std::nothrow) TRV_Request();
        if (!stop) {
            SetErrorCode(TARVIK_STATUS_NOMEMORY);
            return nullptr;
        }
        stop->cmd_id = 10;
        stop->post_mode = 3;
        stop->token = nextToken();
        if (view) {
            view->acquire();
            stop->myDevice = view;
        }
        stop->setState(TARVIK_STATE_PENDING);
        stop->start_time.store(now_seconds());
        outQueue.Push(stop);
    }
    wakeSender();
    return executing;
}

// Number of waits the polling loops of the pops would make, as a deadline.
static Clock::time_point popDeadline(uint32_t timeout, uint32_t step, bool async) {
    uint64_t k;
    if (async)
        k = timeout < 51 ? 1 : (static_cast<uint64_t>(timeout) - 50 + 49) / 50 + 1;
    else
        k = timeout <= 10 ? 1 : (static_cast<uint64_t>(timeout) + 9) / 10;
    return Clock::now() + std::chrono::milliseconds(k * step);
}

TRV_Request* TRV_Device::PopAsyncQueue(TRV_DeviceView* view, uint32_t timeout) {
    Log(LOG_DEVICE, 10, "DEVICE: Called AsyncPop");
    const auto deadline = popDeadline(timeout, 50, true);
    while (true) {
        TRV_Request* r = nullptr;
        {
            std::lock_guard<std::mutex> lk(asyncQueueMutex);
            r = asyncQueue.First();
            if (r) asyncQueue.Erase(r);
        }
        if (r) {
            Log(LOG_DEVICE, 10, "DEVICE: Found Async Item");
            if (view) view->acquire();
            if (r->myDevice) r->myDevice->release();
            r->myDevice = view;
            return r;
        }
        std::unique_lock<std::mutex> lk(eventMutex);
        if (timeout == 0 || Clock::now() >= deadline) break;
        eventCv.wait_until(lk, deadline, [&] {
            std::lock_guard<std::mutex> q(asyncQueueMutex);
            return asyncQueue.Count() > 0;
        });
    }
    Log(LOG_DEVICE, 10, "DEVICE: Async Pop Timeout");
    return nullptr;
}

TRV_Request* TRV_Device::PopSalesQueue(TRV_DeviceView* view, uint32_t timeout) {
    Log(LOG_DEVICE, 10, "DEVICE: Called SalesPopSales");
    const auto deadline = popDeadline(timeout, 10, false);
    auto take = [&]() -> TRV_Request* {
        std::lock_guard<std::mutex> lk(salesQueueMutex);
        for (TRV_Request* r = salesQueue.First(); r; r = salesQueue.Next())
            if (r->myDevice == view) {
                salesQueue.Erase(r);
                return r;
            }
        return nullptr;
    };
    auto has = [&]() {
        std::lock_guard<std::mutex> lk(salesQueueMutex);
        for (TRV_Request* r = salesQueue.First(); r; r = salesQueue.Next())
            if (r->myDevice == view) return true;
        return false;
    };
    while (true) {
        if (TRV_Request* r = take()) {
            Log(LOG_DEVICE, 10, "DEVICE: Found Sales Item");
            return r;
        }
        std::unique_lock<std::mutex> lk(eventMutex);
        if (Clock::now() >= deadline) break;
        eventCv.wait_until(lk, deadline, has);
    }
    Log(LOG_DEVICE, 10, "DEVICE: Sales Item Timeout");
    return nullptr;
}

bool TRV_Device::WaitForRequest(TRV_Request* r, uint32_t timeout) {
    auto done = [r] {
        const uint32_t s = r->state.load();
        return s == TARVIK_STATE_COMPLETED || s == TARVIK_STATE_ERROR;
    };
    if (done()) return true;
    const uint64_t k = timeout < 50 ? 1 : std::max<uint64_t>(1, (static_cast<uint64_t>(timeout) - 50 + 49) / 50);
    const auto deadline = Clock::now() + std::chrono::milliseconds(50 * k);
    std::unique_lock<std::mutex> lk(eventMutex);
    return eventCv.wait_until(lk, deadline, done);
}

void TRV_Device::SetCallback(TARVIK_CALLBACK_T cb, TRV_DeviceView* view) {
    if (view) view->acquire();
    TRV_DeviceView* old;
    {
        std::lock_guard<std::mutex> lk(callbackMutex);
        old = in_view;
        in_callback = cb;
        in_view = view;
    }
    if (old) old->release();
}

TARVIK_STATUS TRV_Device::SetEventHandling(uint32_t mode) {
    if (mode != TARVIK_EVENT_DISABLE && mode != TARVIK_EVENT_QUEUE && mode != TARVIK_EVENT_CALLBACK &&
        mode != TARVIK_EVENT_SEMAPHORE)
        return TARVIK_STATUS_INVALIDARG;
    event_Mode.store(mode);
    return TARVIK_STATUS_OK;
}

TARVIK_STATUS TRV_Device::myStats(uint32_t* sent, uint32_t* completed) {
    if (sent) *sent = static_cast<uint32_t>(framesSent.load());
    if (completed) *completed = static_cast<uint32_t>(framesCompleted.load());
    return TARVIK_STATUS_OK;
}

// ---------------------------------------------------------------- receive path

void TRV_Device::ProcessRecvBytes(const uint8_t* buffer, size_t read) {
    bytesReceived += static_cast<int>(read);
    fifo.push(buffer, read);
    if (logOn(LOG_DEVICE, 14)) Log(LOG_DEVICE, 14, "DEVICE: Data received : ", FrameDump(buffer, read, 0));
    std::vector<uint8_t> frame;
    while (true) {
        size_t dropped = 0;
        const bool got = fifo.nextFrame(frame, dropped);
        if (got) {
            if (logOn(LOG_FRAMES, 6)) Log(LOG_FRAMES, 6, "FRAME Received : " + FrameDump(frame.data(), frame.size(), 2));
            ProcessFrame(frame.data(), frame.size());
            ++framesReceived;
        }
        if (dropped) {
            Log(LOG_DEVICE, 14, "DEVICE: Dropped recv bytes : ", dropped);
            bytesReceivedDropped += static_cast<int>(dropped);
        }
        if (!got) break;
    }
}

void TRV_Device::ProcessFrame(const uint8_t* frame, size_t len) {
    DecodedFrame a;
    const int rc = decodeFrame(frame, len, cipherState(), CipherOrder::CommandFirst, a);
    if (rc != FRAME_OK) {
        // A damaged answer whose header arrived names the request it belongs
        // to: that request is sent again rather than left waiting for an
        // answer that will not come (the register answers a repeated frame
        // once more).
        if (rc == FRAME_CRC || (rc == FRAME_MALFORMED && a.header)) {
            Log(LOG_DEVICE, 14, "DEVICE: CRC Error detected.");
            bool replay = false;
            {
                std::lock_guard<std::mutex> lk(outQueueMutex);
                if (TRV_Request* r = FindWithToken(a.token)) {
                    r->setState(TARVIK_STATE_PENDING);
                    r->flags = kFlagRepeated;
                    outQueue.Erase(r);
                    outQueue.Push(r);
                    Log(LOG_DEVICE, 14, "DEVICE: CRC Error detected - frame replay sent.");
                    replay = true;
                }
            }
            if (replay) wakeSender();
        }
        Log(LOG_DEVICE, 14, "DEVICE: Frame is unreadable.: ", rc);
        return;
    }
    Log(LOG_DEVICE, 14, "DEVICE: Frame is an answer to: .", a.token, " with code: ", a.cmd, " and fields: ",
        a.items.size());
    switch (a.cmd) {
    case 1:
        ProcessAccept(a);
        break;
    case 0:
        ProcessError(a);
        ++framesCompleted;
        break;
    case 3:
        ProcessCrypt(a);
        break;
    case 2:
        ProcessCard(a);
        break;
    default:
        ProcessComplete(a);
        ++framesCompleted;
        break;
    }
}

void TRV_Device::ProcessAccept(const DecodedFrame& a) {
    std::lock_guard<std::mutex> lk(outQueueMutex);
    TRV_Request* r = FindWithToken(a.token);
    if (!r) {
        Log(LOG_DEVICE, 14, "DEVICE: Command accepted but not in queue??");
        return;
    }
    r->setState(TARVIK_STATE_ACCEPTED);
    Log(LOG_DEVICE, 14, "DEVICE: Command accepted :", a.token, " ");
}

static void moveValues(std::vector<TRV_DataItem>& from, CReportList<TRV_DataItem>& to) {
    for (TRV_DataItem& it : from) {
        auto* p = new (std::nothrow) TRV_DataItem(std::move(it));
        if (p) to.Add(p);
    }
    from.clear();
}

void TRV_Device::ProcessComplete(DecodedFrame& a) {
    Log(LOG_DEVICE, 12, "DEVICE: Start processing command complete");
    if (IsLongCommand(a.cmd)) {
        Log(LOG_DEVICE, 12, "DEVICE: Long command finished ");
        last_long_done = true;
        was_last_long = false;
    }
    bool finished = false;
    {
        std::lock_guard<std::mutex> lk(outQueueMutex);
        TRV_Request* r = FindWithToken(a.token);
        if (!r) {
            Log(LOG_DEVICE, 14, "DEVICE: Command finished but not in queue??");
            return;
        }
        if (r->cmd_id != a.cmd) {
            Log(LOG_DEVICE, 14, "DEVICE: Command completed, but token differs from sent!!!");
            return;
        }
        if (a.cmd == 8) {
            Log(LOG_DEVICE, 14, "DEVICE: Received WAITSTATUSGET.");
            const uint8_t busy = a.items.size() > 0 ? a.items[0].GetChar() : 0;
            const uint16_t code = a.items.size() > 1 ? a.items[1].GetShort() : 0;
            if (busy) {
                SetErrorCode(32u + code);
                last_long_done = false;
                Log(LOG_DEVICE, 14, "DEVICE: Device is busy working - code: " + num(code));
            } else {
                uint32_t e = last_error.load();
                while (e >= 32 && e <= 47 && !last_error.compare_exchange_weak(e, 0)) {
                }
                last_long_done = true;
                Log(LOG_DEVICE, 14, "DEVICE: Device is not busy ");
            }
        }
        Log(LOG_DEVICE, 14, "DEVICE: Command completed");
        Log(LOG_DEVICE, 14, "DEVICE: Command post mode: ", r->post_mode);
        if (r->post_mode == 3 || (r->post_mode == 2 && a.items.empty())) {
            Log(LOG_DEVICE, 14, "DEVICE: AUTOCLEAR Request for Data Object");
            deleteLocked(r);
        } else {
            moveValues(a.items, r->response);
            const bool sales = a.cmd == 451;
            Log(LOG_DEVICE, 14, "DEVICE: Request state changed to COMPLETED");
            finishLocked(r, TARVIK_STATE_COMPLETED, sales);
            if (!sales) Log(LOG_DEVICE, 14, "DEVICE: Request moved form OUT queue to IN queue");
            finished = true;
        }
    }
    if (finished) notifyEvent();
    wakeSender();  // a busy poll may have released held requests
    Log(LOG_DEVICE, 14, "DEVICE: Request reception completed.");
}

void TRV_Device::ProcessError(DecodedFrame& a) {
    Log(LOG_DEVICE, 8, "DEVICE: Error response for command :", a.token, " ");
    if (a.items.size() != 4) {
        Log(LOG_DEVICE, 8, "DEVICE: Error response with invalid field count! ");
        return;
    }
    const uint16_t v0 = a.items[0].GetShort(), v1 = a.items[1].GetShort(), v2 = a.items[2].GetShort(),
                   v3 = a.items[3].GetShort();
    Log(LOG_DEVICE, 8, "DEVICE: Dump error data: [cmdid] " + num(v0) + " [trans] " + num(v1) + " [exec] " + num(v2) +
                           " [other] " + num(v3) + " ");
    bool finished = false, retry = false;
    {
        std::lock_guard<std::mutex> lk(outQueueMutex);
        TRV_Request* r = FindWithToken(a.token);
        if (!r) {
            Log(LOG_DEVICE, 14, "DEVICE: Command finished but not in queue??");
            return;
        }
        if (r->cmd_id != v0) {
            Log(LOG_DEVICE, 14, "DEVICE: Command error-completed, but token differs from sent!!!");
            return;
        }
        if (IsLongCommand(v0)) {
            Log(LOG_DEVICE, 12, "DEVICE: Long command finished ");
            last_long_done = true;
            was_last_long = false;
        }
        Log(LOG_DEVICE, 14, "DEVICE: Command error completed");
        if (isRetryCode(v1) && --r->max_retry_count != -1) {
            r->setState(TARVIK_STATE_PENDING);
            outQueue.Erase(r);
            outQueue.Push(r);
            Log(LOG_DEVICE, 14, "DEVICE: Repeating PUSH after CRC ERROR");
            retry = true;
        } else if (r->post_mode == 3) {
            Log(LOG_DEVICE, 14, "DEVICE: AUTOCLEAR Request for Error Object");
            deleteLocked(r);
        } else {
            r->response.Clear();
            r->read_ptr = 0;
            moveValues(a.items, r->response);
            finishLocked(r, TARVIK_STATE_ERROR, false);
            finished = true;
        }
    }
    if (finished) notifyEvent();
    if (retry || IsLongCommand(v0)) wakeSender();
}

void TRV_Device::ProcessCrypt(DecodedFrame& a) {
    if (a.items.size() < 2) {
        Log(LOG_DEVICE, 14, "DEVICE: Invalid crypto request");
        return;
    }
    Log(LOG_DEVICE, 14, "DEVICE: Crypto method set");
    std::string key;
    const bool ok = Hex2Key(a.items[1].GetString(','), key);
    {
        std::lock_guard<std::mutex> lk(cipherMutex);
        cipher_.method = a.items[0].GetChar();
        cipher_.haveKey = ok;
        cipher_.key = ok ? key : std::string();
    }
    if (!ok) Log(LOG_DEVICE, 14, "DEVICE: Key decode error");
}

void TRV_Device::ProcessCard(DecodedFrame& a) {
    Log(LOG_DEVICE, 14, "DEVICE: Card info received");
    const uint32_t mode = event_Mode.load();
    if (mode == TARVIK_EVENT_DISABLE) {
        Log(LOG_DEVICE, 14, "DEVICE: Card info discarded due to TARVIK_EVENT_DISABLE");
        return;
    }
    auto* ev = new (std::nothrow) TRV_Request();
    if (!ev) {
        SetErrorCode(TARVIK_STATUS_NOMEMORY);
        return;
    }
    moveValues(a.items, ev->response);
    ev->cmd_id = 2;
    ev->token = a.token;
    ev->flags = a.flags;
    ev->start_time.store(now_seconds());
    ev->setState(TARVIK_STATE_COMPLETED);

    TARVIK_CALLBACK_T cb = nullptr;
    if (mode == TARVIK_EVENT_CALLBACK) {
        std::lock_guard<std::mutex> lk(callbackMutex);
        cb = in_callback;
        if (cb && in_view) {
            in_view->acquire();
            ev->myDevice = in_view;
        }
    }
    if (cb) {
        cb(ev);  // on the receiver thread, no lock held; the event is the application's now
        return;
    }
    {
        std::lock_guard<std::mutex> lk(asyncQueueMutex);
        asyncQueue.Add(ev);
    }
    if (mode == TARVIK_EVENT_SEMAPHORE) sem_post(&qsem);
    notifyEvent();
}

// ---------------------------------------------------------------- sender

void TRV_Device::SenderLoop(Thread& self) {
    const std::string P = Prefix();
    const std::string LP = LoopPrefix();
    const uint32_t C = Category();
    Log(C, 8, P + "Starting sender thread");
    while (!self.signalled()) {
        if (SenderPrePass(self)) continue;

        std::unique_lock<std::mutex> lk(outQueueMutex);
        TRV_Request* r = FindFirstPending();
        if (!r) {
            // Nothing to send: sleep until a post wakes us.
            senderCv.wait_for(lk, std::chrono::milliseconds(IdleWaitMs()));
            continue;
        }
        Log(C, 10, P, "Got a frame: ", r->cmd_id, ", TOKEN: ", r->token);

        if (r->cmd_id != 8 && r->cmd_id != 10 && !last_long_done.load() && !nosync.load()) {
            // The register is busy with a long command: ask for its status first.
            Log(C, 8, LP + "Resheduling WAITSTATUSGET");
            auto* poll = new (std::nothrow) TRV_Request();
            if (!poll) {
                SetErrorCode(TARVIK_STATUS_NOMEMORY);
                break;
            }
            poll->cmd_id = 8;
            poll->post_mode = 3;
            poll->token = nextToken();
            poll->start_time.store(now_seconds());
            poll->setState(TARVIK_STATE_PENDING);
            outQueue.Push(poll);
            lk.unlock();
            self.sleep_or_stop(BusyPauseMs());
            continue;
        }

        Log(C, 10, P, "Sending frame CMD: ", r->cmd_id, ", TOKEN: ", r->token);
        // Encoded under the lock (the receive path changes the flags under it),
        // written without it.
        std::vector<uint8_t> frame = r->toFrame(cipherState());
        if (logOn(LOG_FRAMES, 6)) Log(LOG_FRAMES, 6, "FRAME Sent: " + FrameDump(frame.data(), frame.size(), 1));
        TARVIK_STATUS st;
        const uint32_t seq = r->stateSeq;
        if (frame.empty()) {
            Log(C, 4, P + "Tried to send 0 bytes length frame.");
            st = TARVIK_STATUS_BADDATA;
        } else {
            was_last_long = IsLongCommand(r->cmd_id);
            r->inFlight = true;
            lk.unlock();
            st = WriteFrame(frame.data(), frame.size());
            if (st == TARVIK_STATUS_OK) {
                ++framesSent;
                Log(C, 10, P + "Frame sent.");
                if (was_last_long.load()) last_long_done = false;
            }
            lk.lock();
            r->inFlight = false;
            if (r->deleteAfterWrite) {  // purged, cancelled or destroyed meanwhile
                delete r;
                continue;
            }
        }
        // The answer may already have been processed while the lock was free:
        // only a request nobody touched meanwhile changes state here.
        if (r->stateSeq != seq || !outQueue.Contains(r)) continue;
        if (st == TARVIK_STATUS_OK && writtenOnLostConnection()) st = TARVIK_STATUS_TIMEOUT;
        if (st == TARVIK_STATUS_OK) {
            r->setState(TARVIK_STATE_SENT);
        } else if (st != kKeepPending) {
            if (r->post_mode == 3) {
                deleteLocked(r);  // nobody holds its handle, so nobody would collect it
            } else {
                r->other_error = st;
                finishLocked(r, TARVIK_STATE_ERROR, false);
                lk.unlock();
                notifyEvent();
            }
        }
    }
    Log(C, 8, P + "Device sender thread finished");
}

}  // namespace trv
