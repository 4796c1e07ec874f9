// The device core: views, parameters, posting and the queues, waits and
// pops, purges and cancels, the statistics dump. The receive path is in
// trvlib_receive.cpp, the sender loop in trvlib_sender.cpp.
#include "trvlib_device.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "trvlib_deviceview.h"

namespace trv {

// ---- TransportHost: the services a transport reaches (trvlib_transport.h)

TRV_Device& TransportHost::core() { return static_cast<TRV_Device&>(*this); }
void TransportHost::ProcessRecvBytes(const uint8_t* buffer, size_t read) { core().receiveBytes(buffer, read); }
FIFO& TransportHost::receiveBuffer() { return core().received.fifo; }
void TransportHost::SenderLoop(Thread& self) { core().runSenderLoop(self); }
void TransportHost::ReceiverLoop(Thread& self) { core().runReceiverLoop(self); }
void TransportHost::wakeSender() { core().wakeSenderNow(); }
void TransportHost::failWritten(TARVIK_STATUS status) { core().failWrittenRequests(status); }
void TransportHost::allowDirectWrites(bool on) { core().setDirectWrites(on); }

namespace {


bool isLive(uint32_t s) {
    return s == TARVIK_STATE_PENDING || s == TARVIK_STATE_SENT || s == TARVIK_STATE_ACCEPTED;
}

}  // namespace

TRV_Device::TRV_Device() : TRV_DeviceBase(kKind) {}

TRV_Device::~TRV_Device() {
    // Here for good: views that are still around (a device that is not
    // reference counted) forget it altogether.
    {
        MutexLock lk(viewsMutex);
        for (TRV_DeviceView* v : liveViews) v->owner_.store(nullptr);
    }
    Teardown();
}

void TRV_Device::Teardown() {
    {
        MutexLock lk(viewsMutex);
        for (TRV_DeviceView* v : liveViews) v->myDevice.store(nullptr, std::memory_order_release);
        liveViews.clear();
        device_views.EraseAll();
    }
    // Requests still queued for output, events and sale records go with the
    // device; finished requests in the input queue belong to the application.
    std::unique_ptr<FrameBatch> left;  // goes after the lock, with its references
    std::vector<Ref<TRV_Request>> own;  // likewise
    {
        MutexLock lk(outQueueMutex);
        gone = true;
        left = std::move(handover);
        if (left) dropBatch(*left);
        own.swap(ownRequests);
        outQueue.KillAll();
    }
    events.killQueued();
    {
        MutexLock lk(inQueueMutex);
        inQueue.EraseAll();
    }
    events.dropCallback();
    events.notify();  // waiters on deleted requests
    lfile.close();
}

TARVIK_STATUS TRV_Device::Retire() {
    {
        MutexLock oc(openCloseMutex);
        if (retired) return TARVIK_STATUS_NULLHANDLE;
        if (closing > 0 || DeviceHasViews()) return TARVIK_STATUS_INUSE;
        retired = true;  // OpenDevice refuses from now on
    }
    Teardown();
    return TARVIK_STATUS_OK;
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
        wakeSender();  // requests held back for a busy register may go now
        return TARVIK_STATUS_OK;
    case TARVIK_PARAM_DECIMALSEP:
        decimalsep.store(*static_cast<const char*>(value));
        return TARVIK_STATUS_OK;
    default:
        return TARVIK_STATUS_INVALIDARG;
    }
}

TARVIK_STATUS TRV_Device::GetDeviceParam(uint32_t id, void* value) {
    Log(LOG_DEVICE, 10, "DEVICE: SetDeviceParam ", id);
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
    MutexLock lk(cipherMutex);
    return cipher_;
}

uint8_t TRV_Device::GetCryptoStatus() {
    MutexLock lk(cipherMutex);
    return static_cast<uint8_t>(cipher_.method);
}

void TRV_Device::failWrittenRequests(TARVIK_STATUS status) {
    MutexLock lk(outQueueMutex);
    for (int i = 0; i < outQueue.Count();) {
        TRV_Request* r = outQueue[i];
        const uint32_t s = r->state.load();
        if (s == TARVIK_STATE_SENT || s == TARVIK_STATE_ACCEPTED)
            failLocked(r, status);  // leaves the queue
        else
            ++i;
    }
}

// ---------------------------------------------------------------- views

TARVIK_HANDLE TRV_Device::OpenDevice() {
    MutexLock oc(openCloseMutex);
    if (retired) return nullptr;
    // The hardware is open while a view is, or while the last one is being
    // closed (a hang-up under way): then the new view shares it.
    bool first;
    {
        MutexLock lk(viewsMutex);
        first = device_views.Count() == 0 && closing == 0;
    }
    if (first && !DeviceRealOpen()) return nullptr;
    auto* v = newTagged<TRV_DeviceView>(this);
    if (!v) {
        SetErrorCode(TARVIK_STATUS_NOMEMORY);
        if (first) DeviceRealClose();
        return nullptr;
    }
    MutexLock lk(viewsMutex);
    device_views.Add(v);
    liveViews.push_back(v);
    return v->handle();
}

bool TRV_Device::DeviceHasViews() {
    MutexLock lk(viewsMutex);
    return device_views.Count() > 0;
}

void TRV_Device::viewGone(TRV_DeviceView* view) {
    MutexLock lk(viewsMutex);
    auto it = std::find(liveViews.begin(), liveViews.end(), view);
    if (it != liveViews.end()) liveViews.erase(it);
}

bool TRV_Device::closeMe(TRV_DeviceView* view) {
    {
        MutexLock oc(openCloseMutex);
        {
            MutexLock lk(viewsMutex);
            if (device_views.IndexOf(view) < 0) {
                Log(LOG_DEVICE, 4, "DEVICE: Attempt to close non-existant view");
                return true;
            }
        }
        {
            // From here on nothing is posted through the view.
            MutexLock lk(outQueueMutex);
            view->closed.store(true);
        }
        {
            MutexLock lk(viewsMutex);
            Log(LOG_DEVICE, 10, "DEVICE: Removing deviceView from device scope");
            device_views.Erase(view);
            if (device_views.Count() > 0) return true;
        }
        ++closing;
    }
    // The last view: what may take long (a modem hang-up) runs without the
    // open/close lock, so other calls on the device are not held up. The
    // device counts as open meanwhile: it cannot be destroyed, and a view
    // opened now shares the connection, which then stays open.
    PrepareClose();
    MutexLock oc(openCloseMutex);
    --closing;
    if (DeviceHasViews() || closing > 0) return true;

    Log(LOG_DEVICE, 8, "DEVICE: All views removed, closing the hardware device.");
    const bool ok = DeviceRealClose();
    Log(LOG_DEVICE, 8, "DEVICE: Device closed. ");

    Log(LOG_DEVICE, 10, "DEVICE: Statistics Dump Started");
    Log(LOG_DEVICE, 10, "DEVICE: Frames sent       : ", framesSent.load());
    Log(LOG_DEVICE, 10, "DEVICE: Bytes sent        : ", bytesSent.load());
    Log(LOG_DEVICE, 10, "DEVICE: Bytes recv        : ", bytesReceived.load());
    Log(LOG_DEVICE, 10, "DEVICE: Bytes recv dropped: ", bytesReceivedDropped.load());
    Log(LOG_DEVICE, 10, "DEVICE: Frames recv       : ", framesReceived.load());
    Log(LOG_DEVICE, 10, "DEVICE: Frames completed  : ", framesCompleted.load());
    int n;
    {
        MutexLock lk(outQueueMutex);
        n = outQueue.Count();
    }
    Log(LOG_DEVICE, 10, "DEVICE: Frames in Output queue  : ", n);
    {
        MutexLock lk(inQueueMutex);
        n = inQueue.Count();
    }
    Log(LOG_DEVICE, 10, "DEVICE: Frames in Input queue   : ", n);
    {
        MutexLock lk(events.asyncQueueMutex);
        n = events.asyncQueue.Count();
    }
    Log(LOG_DEVICE, 10, "DEVICE: Frames in Async queue   : ", n);
    {
        MutexLock lk(events.salesQueueMutex);
        n = events.salesQueue.Count();
    }
    Log(LOG_DEVICE, 10, "DEVICE: Frames in Sales queue   : ", n);
    if (logOn(LOG_QUEUES, 14)) {
        char line[96];
        std::snprintf(line, sizeof line, "DEVICE: Current internal Time: %ld", static_cast<long>(std::time(nullptr)));
        Log(LOG_QUEUES, 14, line);
        {
            MutexLock lk(outQueueMutex);
            dumpQueue(outQueue, "OUT", "OUTQ");
        }
        {
            MutexLock lk(inQueueMutex);
            dumpQueue(inQueue, "IN", "INQ");
        }
        {
            MutexLock lk(events.asyncQueueMutex);
            dumpQueue(events.asyncQueue, "ASYNC", "ASYNCQ");
        }
        {
            MutexLock lk(events.salesQueueMutex);
            dumpQueue(events.salesQueue, "SALES", "SALES");
        }
    }
    Log(LOG_DEVICE, 10, "DEVICE: Statistics Dump Stopped");
    return ok;
}

void TRV_Device::dumpQueue(RequestQueue& q, const char* name, const char* tag) {
    Log(LOG_QUEUES, 14, "DEVICE: Begin ", name, " Queue Dump");
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
    Log(LOG_QUEUES, 14, "DEVICE: End ", name, " Queue Dump");
}

// ---------------------------------------------------------------- queues

TRV_Request* TRV_Device::FindWithToken(uint32_t tok) {
    for (TRV_Request* r = outQueue.First(); r; r = outQueue.Next())
        if (r->token == tok) return r;
    return nullptr;
}

TRV_Request* TRV_Device::FindAnswered(uint32_t tok) {
    TRV_Request* r = FindWithToken(tok);
    if (r && r->state.load(std::memory_order_relaxed) == TARVIK_STATE_PENDING && !r->writing &&
        !(r->flags & kFlagRepeated))
        return nullptr;
    return r;
}

TRV_Request* TRV_Device::FindFirstPending() {
    while (TRV_Request* r = outQueue.pending.front()) {
        if (r->state.load(std::memory_order_relaxed) == TARVIK_STATE_PENDING) return r;
        outQueue.pending.unlink(r);
    }
    return nullptr;
}

void PendingList::insertAfter(TRV_Request* after, TRV_Request* r) {
    TRV_Request* next = after ? after->pendNext : head_;
    r->pendPrev = after;
    r->pendNext = next;
    if (after) after->pendNext = r; else head_ = r;
    if (next) next->pendPrev = r; else tail_ = r;
    r->pendLinked = true;
}

void PendingList::unlink(TRV_Request* r) {
    if (!r->pendLinked) return;
    if (r->pendPrev) r->pendPrev->pendNext = r->pendNext; else head_ = r->pendNext;
    if (r->pendNext) r->pendNext->pendPrev = r->pendPrev; else tail_ = r->pendPrev;
    r->pendPrev = r->pendNext = nullptr;
    r->pendLinked = false;
}

void PendingList::clear() {
    while (head_) unlink(head_);
}

void OutputQueue::Relink(TRV_Request* r) {
    pending.unlink(r);
    TRV_Request* after = nullptr;  // the last pending request ahead of r in the queue
    for (TRV_Request* q = list_.First(); q && q != r; q = list_.Next())
        if (q->pendLinked) after = q;
    pending.insertAfter(after, r);
}

void TRV_Device::wakeSenderNow() {
    { MutexLock lk(outQueueMutex); }
    senderCv.notify_all();
}

void TRV_Device::setDirectWrites(bool on) {
    MutexLock lk(outQueueMutex);
    directWrites = on;
    while (!on && writer == Writer::Poster) posterDoneCv.wait(outQueueMutex);
}

TARVIK_STATUS TRV_Device::post(TRV_Request* r, TRV_DeviceView* view, uint8_t mode) {
    bool wake;
    bool wrote = false;
    {
        MutexLock lk(outQueueMutex);
        Log(LOG_DEVICE, 8, "DEVICE: Posted request");
        Log(LOG_DEVICE, 14, "DEVICE: Command post mode: ", mode);
        // Through a closed view, or to a device that is gone: nobody could
        // ever collect the answer.
        if (gone || !view || view->closed.load()) return TARVIK_STATUS_NULLHANDLE;
        // Destroyed by another thread since the caller looked its handle up
        // (under this lock): queued now, it would be freed with the caller's
        // reference while the receive path still finds it in the queue.
        if (!r->alive()) return TARVIK_STATUS_NULLHANDLE;
        // A request already on its way is not queued a second time.
        if (onItsWay(r)) return TARVIK_STATUS_INUSE;
        r->post_mode = mode;
        // A post starts afresh: no answer, no status of the library's own, the
        // whole retry budget, no repetition flag.
        r->response.Clear();
        r->read_ptr = 0;
        r->other_error = 0;
        r->max_retry_count = TRV_Request::kRetries;
        r->crcReplays = 0;
        r->cancelledInWrite = false;
        r->flags = 0;
        r->setState(TARVIK_STATE_PENDING);
        const bool front = proto::isFrontCommand(r->cmd_id);
        if (!front && (mode == 1 || static_cast<uint32_t>(outQueue.Count()) >= outQueueMaxLen.load())) {
            for (TRV_Request* q = outQueue.First(); q; q = outQueue.Next())
                if (isLive(q->state.load(std::memory_order_relaxed))) return TARVIK_STATUS_INUSE;
        }
        // A finished request that is posted again leaves the queue it waited
        // in. This happens before it is queued: once it is, an answer may
        // delete it (post modes 2 and 3) on the receiver thread. (Only the
        // receive path, under this lock, puts a request into those queues.)
        if (RequestQueue::Holds(r, RequestQueue::In)) {
            MutexLock in(inQueueMutex);
            inQueue.Erase(r);
        }
        if (RequestQueue::Holds(r, RequestQueue::Sales)) {
            MutexLock sales(events.salesQueueMutex);
            events.salesQueue.Erase(r);
        }
        r->start_time.store(now_seconds());
        const bool idle = outQueue.pending.empty();
        if (!(front ? outQueue.Push(r) : outQueue.Add(r))) return TARVIK_STATUS_NOMEMORY;
        if (idle && mayWriteNow(r)) {
            writeNow(r);
            wrote = true;
        }
        // With requests pending already, or a write under way, whoever is
        // writing looks at the list again before it sleeps; a sender holding
        // requests back for a busy register is woken for a poll or a stop.
        wake = !wrote && ((idle && writer == Writer::None) || goesAlone(r->cmd_id));
    }
    if (wrote) releaseWritten();
    if (wake) notifySender();
    return TARVIK_STATUS_OK;
}

TARVIK_STATUS TRV_Device::Repeat(TRV_Request* r) {
    {
        MutexLock lk(outQueueMutex);
        Log(LOG_DEVICE, 12, "DEVICE: Begin repeat call. ");
        const uint32_t s = r->state.load();
        if ((s != TARVIK_STATE_SENT && s != TARVIK_STATE_ACCEPTED) || !outQueue.Contains(r)) {
            Log(LOG_DEVICE, 12, "DEVICE: Repeat call aborted on invalid state. ");
            return TARVIK_STATUS_CANNOTREPEAT;
        }
        r->flags |= kFlagRepeated;
        r->setState(TARVIK_STATE_PENDING);
        outQueue.Relink(r);  // it keeps its place in the queue
        Log(LOG_DEVICE, 12, "DEVICE: Repeat call finished with success. ");
    }
    notifySender();
    return TARVIK_STATUS_OK;
}

TARVIK_STATUS TRV_Device::Cancel(TRV_Request* r) {
    Log(LOG_DEVICE, 10, "DEVICE: Called RemoveMe");
    uint32_t s;
    {
        MutexLock lk(outQueueMutex);
        unlinkLocked(r);
        s = r->state.load();
        // A finished request keeps the status it finished with.
        if (s == TARVIK_STATE_COMPLETED || s == TARVIK_STATE_ERROR) return TARVIK_STATUS_ALREADYCOMPLETED;
        // Cancelled before any frame of it went out, it is not done; once a
        // frame was written (being written, sent, accepted, or waiting for a
        // repeat or a replay of a frame that went out), the register may
        // have executed it: its outcome is unknown.
        const bool written = r->writing || s == TARVIK_STATE_SENT || s == TARVIK_STATE_ACCEPTED ||
                             (r->flags & kFlagRepeated);
        r->other_error = written ? TARVIK_STATUS_OUTCOME_UNKNOWN : TARVIK_STATUS_CANCELLED;
        r->cancelledInWrite = r->writing > 0;
        // A cancelled request ends in error (0x1000a) rather than waiting
        // forever, and whoever waits for it is woken (by the state change).
        if (s != TARVIK_STATE_NEW) r->setState(TARVIK_STATE_ERROR);
    }
    if (s == TARVIK_STATE_ACCEPTED) cancelExecuting(r->myDevice);
    return TARVIK_STATUS_OK;
}

void TRV_Device::RemoveMe(TRV_Request* r) {
    Log(LOG_DEVICE, 10, "DEVICE: Called RemoveMe");
    {
        MutexLock lk(outQueueMutex);
        outQueue.Erase(r);
    }
    {
        MutexLock lk(inQueueMutex);
        inQueue.Erase(r);
    }
    {
        MutexLock lk(events.salesQueueMutex);
        events.salesQueue.Erase(r);
    }
    {
        MutexLock lk(events.asyncQueueMutex);
        events.asyncQueue.Erase(r);
    }
}

void TRV_Device::unlinkLocked(TRV_Request* r) {
    outQueue.Erase(r);
    // Requests enter the input and sales queues only under this lock (the
    // receive path), and the asynchronous queue takes only new event
    // requests that nobody else holds yet: a request found in none of them
    // here cannot be entering one.
    if (RequestQueue::Holds(r, RequestQueue::In)) {
        MutexLock lk(inQueueMutex);
        inQueue.Erase(r);
    }
    if (RequestQueue::Holds(r, RequestQueue::Sales)) {
        MutexLock lk(events.salesQueueMutex);
        events.salesQueue.Erase(r);
    }
    if (RequestQueue::Holds(r, RequestQueue::Async)) {
        MutexLock lk(events.asyncQueueMutex);
        events.asyncQueue.Erase(r);
    }
}

void TRV_Device::deleteLocked(TRV_Request* r) {
    unlinkLocked(r);
    // Gone as a handle at once (its waiters are woken); a thread still
    // working on it (the sender writing it, a waiter) holds a reference and
    // frees it when done.
    r->kill();
}

void TRV_Device::DestroyRequest(TRV_Request* r) {
    Log(LOG_DEVICE, 10, "DEVICE: Called RemoveMe");
    MutexLock lk(outQueueMutex);
    deleteLocked(r);
}

// Moves a finished request from the output queue to the input (or sales)
// queue; the state changes while the target queue's lock is held.
void TRV_Device::finishLocked(TRV_Request* r, uint32_t state, bool sales) {
    if (sales) {
        {
            MutexLock lk(events.salesQueueMutex);
            events.salesQueue.Add(r);
            outQueue.Erase(r);
            r->setState(state);
        }
        events.notify();  // the sales pops
    } else {
        MutexLock lk(inQueueMutex);
        inQueue.Add(r);
        outQueue.Erase(r);
        r->setState(state);  // wakes whoever waits for r
    }
}

void TRV_Device::failLocked(TRV_Request* r, TARVIK_STATUS status) {
    if (r->post_mode == TARVIK_POST_DELETE) {
        deleteLocked(r);  // nobody holds its handle, so nobody would collect it
        return;
    }
    r->response.Clear();
    r->read_ptr = 0;
    r->other_error = status;
    finishLocked(r, TARVIK_STATE_ERROR, false);
}

TARVIK_HANDLE TRV_Device::GetNextResponse(TRV_DeviceView* view) {
    Log(LOG_DEVICE, 10, "DEVICE: Called GetNextResponse");
    MutexLock lk(inQueueMutex);
    for (TRV_Request* r = inQueue.First(); r; r = inQueue.Next())
        if (r->myDevice == view) {
            inQueue.Erase(r);
            return r->handle();
        }
    return nullptr;
}

uint32_t TRV_Device::GetResponseCount(TRV_DeviceView* view) {
    Log(LOG_DEVICE, 10, "DEVICE: Called GetResponseCount");
    uint32_t n = 0;
    {
        MutexLock lk(inQueueMutex);
        for (TRV_Request* r = inQueue.First(); r; r = inQueue.Next())
            if (r->myDevice == view) ++n;
    }
    Log(LOG_DEVICE, 10, "DEVICE: Found: ", n);
    return n;
}

uint32_t TRV_Device::GetRequestCount(TRV_DeviceView* view, bool all) {
    Log(LOG_DEVICE, 10, "DEVICE: Called GetRequestCount");
    uint32_t n = 0;
    {
        MutexLock lk(outQueueMutex);
        for (TRV_Request* r = outQueue.First(); r; r = outQueue.Next())
            if (all || r->myDevice == view) ++n;
    }
    Log(LOG_DEVICE, 10, "DEVICE: Found: ", n);
    return n;
}

uint32_t TRV_Device::purgeOutput(TRV_DeviceView* view, bool all, bool pendingOnly) {
    Log(LOG_DEVICE, 10, "DEVICE: Called PendingQueuePurge");
    uint32_t n = 0;
    {
        MutexLock lk(outQueueMutex);
        for (int i = 0; i < outQueue.Count();) {
            TRV_Request* r = outQueue[i];
            if ((all || r->myDevice == view) && (!pendingOnly || r->state.load() == TARVIK_STATE_PENDING)) {
                deleteLocked(r);
                ++n;
            } else {
                ++i;
            }
        }
    }
    Log(LOG_DEVICE, 10, "DEVICE: Purged: ", n);
    return n;
}

TARVIK_STATUS TRV_Device::PurgePending(TRV_DeviceView* view, bool all) {
    purgeOutput(view, all, true);
    return TARVIK_STATUS_OK;
}

TARVIK_STATUS TRV_Device::PurgeAll(TRV_DeviceView* view, bool all) {
    purgeOutput(view, all, false);
    return TARVIK_STATUS_OK;
}

TARVIK_HANDLE TRV_Device::cancelExecuting(TRV_DeviceView* view) {
    TARVIK_HANDLE executing = nullptr;
    {
        MutexLock lk(outQueueMutex);
        if (gone) return nullptr;
        for (TRV_Request* r = outQueue.First(); r; r = outQueue.Next())
            if (r->state.load() == TARVIK_STATE_ACCEPTED) {
                executing = r->handle();
                break;
            }
        // One stop on its way stops whatever runs: a register that never
        // answers command 10 does not collect one stop per cancel until
        // every post is refused.
        if (ownOutstanding(proto::kCmplxSeqStop)) return executing;
        if (!queueOwn(proto::kCmplxSeqStop, view)) {
            SetErrorCode(TARVIK_STATUS_NOMEMORY);
            return nullptr;
        }
    }
    notifySender();
    return executing;
}

TARVIK_STATUS TRV_Device::WaitForRequest(TRV_Request* r, uint32_t timeout) {
    auto done = [r] {
        const uint32_t s = r->state.load();
        return s == TARVIK_STATE_COMPLETED || s == TARVIK_STATE_ERROR;
    };
    const auto deadline = pollDeadline(timeout, 50, 1);
    while (true) {
        // Read before looking: a change after the look moves it, and the
        // wait then returns at once.
        const uint32_t seen = r->waitSeq();
        // The caller's reference keeps the memory; alive() tells whether the
        // library (or another thread) deleted the request meanwhile.
        if (!r->alive()) return TARVIK_STATUS_NULLHANDLE;
        if (done()) return TARVIK_STATUS_OK;
        if (Clock::now() >= deadline) return TARVIK_STATUS_TIMEOUT;
        r->waitChange(seen, deadline);
    }
}

TARVIK_STATUS TRV_Device::myStats(uint32_t* sent, uint32_t* completed) {
    if (sent) *sent = static_cast<uint32_t>(framesSent.load());
    if (completed) *completed = static_cast<uint32_t>(framesCompleted.load());
    return TARVIK_STATUS_OK;
}

}  // namespace trv
