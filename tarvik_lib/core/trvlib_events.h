// DeviceEvents: how one device hands the application what the register
// sends without being asked and what ends in the sales queue: the
// asynchronous queue (card events, or the callback, or the semaphore), the
// sales queue (finished sale records), and the sequence number the pops
// sleep on (eventSeq, moved by every queued sale record and event).
//
// Owned by TRV_Device. The device moves requests into the sales queue and
// out of both queues under its output queue's lock (which comes before
// these queues' locks, see trvlib_device.h), so it reaches the queues and
// their locks directly; the pops, lengths, purges, the callback and the
// event mode are here.
#pragma once

#include <semaphore.h>

#include <atomic>
#include <cstdint>

#include "trvlib_queues.h"
#include "trvlib_sync.h"

namespace trv {

class TransportHost;
class TRV_Device;
class TRV_DeviceView;

// The deadline a polling loop of `step` ms sleeps would reach: as many
// sleeps as fit the time-out, rounded up, less `fewer` (a loop that stops
// one sleep early), at least one. The pops sleep ceil(timeout / step) times,
// TRV_WaitForRequestCompleted one time less.
Clock::time_point pollDeadline(uint32_t timeout, uint32_t step, uint32_t fewer);

class DeviceEvents {
public:
    // log: where the pops and purges write their lines (the device's log).
    explicit DeviceEvents(TransportHost& log);
    ~DeviceEvents();
    DeviceEvents(const DeviceEvents&) = delete;
    DeviceEvents& operator=(const DeviceEvents&) = delete;

    // ---- the application's side
    uint32_t salesLength(TRV_DeviceView* view, bool all) EXCLUDES(salesQueueMutex);
    uint32_t asyncLength() EXCLUDES(asyncQueueMutex);
    void purgeSales(TRV_DeviceView* view, bool all) EXCLUDES(salesQueueMutex);
    void purgeAsync() EXCLUDES(asyncQueueMutex);
    // The next event (handed to view) or the next sale record of view,
    // waiting up to timeout ms; null when none came.
    TARVIK_HANDLE popAsync(TRV_DeviceView* view, uint32_t timeout) EXCLUDES(asyncQueueMutex, eventMutex);
    TARVIK_HANDLE popSales(TRV_DeviceView* view, uint32_t timeout) EXCLUDES(salesQueueMutex, eventMutex);
    void setCallback(TARVIK_CALLBACK_T cb, TRV_DeviceView* view) EXCLUDES(callbackMutex);
    TARVIK_STATUS setMode(uint32_t mode);
    uint32_t mode() const { return event_Mode.load(); }
    sem_t* semaphore() { return &qsem; }

    // ---- the receive path's side
    // A card event, complete, goes to the callback or the queue (see
    // trvlib_receive.cpp); mode is the event mode it was received under.
    void deliverCard(TRV_Request* ev, uint32_t mode) EXCLUDES(callbackMutex, asyncQueueMutex, eventMutex);
    // A sale record or event was queued, or requests were deleted: the pops
    // look again.
    void notify() EXCLUDES(eventMutex);
    // The device is going: every queued event and sale record is deleted;
    // then (after the device's input queue) the callback is let go.
    void killQueued() EXCLUDES(asyncQueueMutex, salesQueueMutex);
    void dropCallback() EXCLUDES(callbackMutex);

    Mutex asyncQueueMutex;
    RequestQueue asyncQueue GUARDED_BY(asyncQueueMutex){RequestQueue::Async};
    Mutex salesQueueMutex;
    RequestQueue salesQueue GUARDED_BY(salesQueueMutex){RequestQueue::Sales};
    Mutex eventMutex;  // leaf

private:
    uint64_t seqNow() EXCLUDES(eventMutex);
    // Waits until eventSeq moves past seen or the deadline passes; the new
    // value, or seen at the deadline.
    uint64_t wait(uint64_t seen, Clock::time_point deadline) EXCLUDES(eventMutex);
    // Deletes the members of a queue for which pred holds; the queue is
    // named with its own mutex, which is held for the walk.
    template <class Pred>
    void purge(RequestQueue DeviceEvents::*queue, Mutex DeviceEvents::*mutex, const char* what, Pred pred);

    TransportHost& log_;
    std::atomic<uint32_t> event_Mode{0};
    CondVar eventCv;
    uint64_t eventSeq GUARDED_BY(eventMutex) = 0;  // moves on every queued sale record and event

    Mutex callbackMutex;
    TARVIK_CALLBACK_T in_callback GUARDED_BY(callbackMutex) = nullptr;
    TRV_DeviceView* in_view GUARDED_BY(callbackMutex) = nullptr;  // counted reference
    sem_t qsem;
};

}  // namespace trv
