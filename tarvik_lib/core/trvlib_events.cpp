#include "trvlib_events.h"

#include <algorithm>

#include "trvlib_deviceview.h"
#include "trvlib_transport.h"

namespace trv {

Clock::time_point pollDeadline(uint32_t timeout, uint32_t step, uint32_t fewer) {
    const uint64_t sleeps = (static_cast<uint64_t>(timeout) + step - 1) / step;
    const uint64_t k = sleeps > fewer ? std::max<uint64_t>(1, sleeps - fewer) : 1;
    return Clock::now() + std::chrono::milliseconds(k * step);
}

DeviceEvents::DeviceEvents(TransportHost& log) : log_(log) { sem_init(&qsem, 0, 0); }

DeviceEvents::~DeviceEvents() { sem_destroy(&qsem); }

void DeviceEvents::notify() {
    {
        MutexLock lk(eventMutex);
        ++eventSeq;
    }
    eventCv.notify_all();
}

uint64_t DeviceEvents::seqNow() {
    MutexLock lk(eventMutex);
    return eventSeq;
}

uint64_t DeviceEvents::wait(uint64_t seen, Clock::time_point deadline) {
    MutexLock lk(eventMutex);
    while (eventSeq == seen)
        if (!eventCv.wait_until(eventMutex, deadline)) break;
    return eventSeq;
}

uint32_t DeviceEvents::salesLength(TRV_DeviceView* view, bool all) {
    log_.Log(LOG_DEVICE, 10, "DEVICE: Called SalesQueueLength");
    uint32_t n = 0;
    MutexLock lk(salesQueueMutex);
    for (TRV_Request* r = salesQueue.First(); r; r = salesQueue.Next())
        if (all || r->myDevice == view) ++n;
    return n;
}

uint32_t DeviceEvents::asyncLength() {
    log_.Log(LOG_DEVICE, 10, "DEVICE: Called AsyncQueueLength");
    MutexLock lk(asyncQueueMutex);
    return static_cast<uint32_t>(asyncQueue.Count());
}

template <class Pred>
void DeviceEvents::purge(RequestQueue DeviceEvents::*queue, Mutex DeviceEvents::*mutex, const char* what, Pred pred) {
    log_.Log(LOG_DEVICE, 10, "DEVICE: Called ", what);
    RequestQueue& q = this->*queue;
    uint32_t n = 0;
    {
        Mutex& m = this->*mutex;
        MutexLock lk(m);
        for (int i = 0; i < q.Count();) {
            TRV_Request* r = q[i];
            if (pred(r)) {
                q.Erase(r);
                r->kill();
                ++n;
            } else {
                ++i;
            }
        }
    }
    log_.Log(LOG_DEVICE, 10, "DEVICE: Purged: ", n);
}

void DeviceEvents::purgeSales(TRV_DeviceView* view, bool all) {
    purge(&DeviceEvents::salesQueue, &DeviceEvents::salesQueueMutex, "SalesQueuePurge", [&](TRV_Request* r) { return all || r->myDevice == view; });
}

void DeviceEvents::purgeAsync() {
    purge(&DeviceEvents::asyncQueue, &DeviceEvents::asyncQueueMutex, "AsyncQueuePurge", [](TRV_Request*) { return true; });
}

TARVIK_HANDLE DeviceEvents::popAsync(TRV_DeviceView* view, uint32_t timeout) {
    log_.Log(LOG_DEVICE, 10, "DEVICE: Called AsyncPop");
    const auto deadline = pollDeadline(timeout, 50, 0);
    uint64_t seen = seqNow();
    while (true) {
        TRV_Request* r = nullptr;
        {
            MutexLock lk(asyncQueueMutex);
            r = asyncQueue.First();
            if (r) asyncQueue.Erase(r);
        }
        if (r) {
            log_.Log(LOG_DEVICE, 10, "DEVICE: Found Async Item");
            if (view) view->acquire();
            if (r->myDevice) r->myDevice->release();
            r->myDevice = view;
            return r->handle();
        }
        if (timeout == 0 || Clock::now() >= deadline) break;
        seen = wait(seen, deadline);
    }
    log_.Log(LOG_DEVICE, 10, "DEVICE: Async Pop Timeout");
    return nullptr;
}

TARVIK_HANDLE DeviceEvents::popSales(TRV_DeviceView* view, uint32_t timeout) {
    log_.Log(LOG_DEVICE, 10, "DEVICE: Called SalesPopSales");
    const auto deadline = pollDeadline(timeout, 10, 0);
    uint64_t seen = seqNow();
    while (true) {
        {
            MutexLock lk(salesQueueMutex);
            for (TRV_Request* r = salesQueue.First(); r; r = salesQueue.Next())
                if (r->myDevice == view) {
                    salesQueue.Erase(r);
                    log_.Log(LOG_DEVICE, 10, "DEVICE: Found Sales Item");
                    return r->handle();
                }
        }
        if (Clock::now() >= deadline) break;
        seen = wait(seen, deadline);
    }
    log_.Log(LOG_DEVICE, 10, "DEVICE: Sales Item Timeout");
    return nullptr;
}

void DeviceEvents::setCallback(TARVIK_CALLBACK_T cb, TRV_DeviceView* view) {
    if (view) view->acquire();
    TRV_DeviceView* old;
    {
        MutexLock lk(callbackMutex);
        old = in_view;
        in_callback = cb;
        in_view = view;
    }
    if (old) old->release();
}

TARVIK_STATUS DeviceEvents::setMode(uint32_t mode) {
    if (mode != TARVIK_EVENT_DISABLE && mode != TARVIK_EVENT_QUEUE && mode != TARVIK_EVENT_CALLBACK &&
        mode != TARVIK_EVENT_SEMAPHORE)
        return TARVIK_STATUS_INVALIDARG;
    event_Mode.store(mode);
    return TARVIK_STATUS_OK;
}

// The queue holds at most TARVIK_ASYNC_QUEUE_MAX events: a register that
// floods events while nobody pops them must not grow memory without end, so
// beyond that the new event is dropped (and logged); the ones already
// queued are kept.
void DeviceEvents::deliverCard(TRV_Request* ev, uint32_t mode) {
    TARVIK_CALLBACK_T cb = nullptr;
    if (mode == TARVIK_EVENT_CALLBACK) {
        MutexLock lk(callbackMutex);
        cb = in_callback;
        if (cb && in_view) {
            in_view->acquire();
            ev->myDevice = in_view;
        }
    }
    if (cb) {
        cb(ev->handle());  // on the receiver thread, no lock held; the event is the application's now
        return;
    }
    bool queued;
    {
        MutexLock lk(asyncQueueMutex);
        queued = static_cast<uint32_t>(asyncQueue.Count()) < TARVIK_ASYNC_QUEUE_MAX && asyncQueue.Add(ev);
    }
    if (!queued) {
        log_.Log(LOG_DEVICE, 8, "DEVICE: Event queue full, card event dropped");
        ev->kill();
        return;
    }
    if (mode == TARVIK_EVENT_SEMAPHORE) sem_post(&qsem);
    notify();
}

void DeviceEvents::killQueued() {
    {
        MutexLock lk(asyncQueueMutex);
        asyncQueue.KillAll();
    }
    {
        MutexLock lk(salesQueueMutex);
        salesQueue.KillAll();
    }
}

void DeviceEvents::dropCallback() { setCallback(nullptr, nullptr); }

}  // namespace trv
