// TRV_Device: one connection to one register. It owns the four request
// queues (the output and input queues here, trvlib_queues.h; the
// asynchronous and sales queues with the rest of event delivery in its
// DeviceEvents, trvlib_events.h), the receive path's state (ReceiveState,
// trvlib_receive.h), the debug log, the token counter, the cipher state and
// the statistics. A transport derives from it and supplies open,
// close, the write of frames and the read of one chunk through the seam in
// trvlib_transport.h, and reaches the core only through that seam's other
// half (TransportHost); the sender loop (trvlib_sender.cpp) and the receive
// path with the receiver loop (trvlib_receive.cpp) are shared by every
// transport.
//
// Threads. Application threads call in through the exported functions,
// always holding a pin (a counted reference) on the object they name. Each
// open device runs a sender thread (SenderLoop) and a receiver thread
// (ReceiverLoop, which runs the receive path and the event callback).
//
// Lock graph. An arrow means "may be taken while holding"; nothing is taken
// against an arrow, and a mutex not named here is a leaf (nothing is taken
// under it but the log's).
//
//   openCloseMutex  -> viewsMutex, outQueueMutex, and the transport's open
//                      and close paths (USBDevice::openMutex -> the bus
//                      lock; EtherDevice::reopenMutex); held across
//                      DeviceRealOpen (which may wait for the connect
//                      time-out) and DeviceRealClose (which stops the
//                      threads), never across a modem hang-up (PrepareClose)
//   outQueueMutex   -> one of inQueueMutex, events.salesQueueMutex,
//                      events.asyncQueueMutex (never two of them at once),
//                      cipherMutex, events.eventMutex,
//                      viewsMutex (the last reference of a closed view may go
//                      with a request deleted here), the handle registry
//   the transports' own locks: see trvlib_transport.h
//   every mutex     -> the log file's mutex, events.eventMutex, the handle
//                      registry (leaves)
//
// No queue lock is held while calling the application (the event callback)
// or while a transport writes or reads: the request being written is pinned
// (a reference), so whoever deletes it meanwhile only unlinks it and the
// sender's reference frees it. A device's last reference is never dropped
// with one of its own locks held: paths that delete requests or views under
// a device lock run with the device pinned.
//
// Writing. The sender takes its next request from the pending list (the
// pending requests of the output queue, in queue order) in constant time,
// and writes every pending frame it can in one go (FrameBatch): one buffer,
// one write, and each request still gets its own state change, in order.
// A batch stops after a long command and around a status poll or a stop,
// so the busy-register rule holds frame by frame. One thread at a time
// writes (`writer`): the sender, or, on a transport whose writes never
// block, a posting thread that finds the sender idle, nothing pending ahead
// and no long command running; it writes its own frame at once and hands a
// frame it could only partly write over to the sender (`handover`).
//
// Exactly once. A request is on its way from its post until it is finished:
// pending, being written (held by a batch not yet filed: TRV_Request::writing,
// which also covers the time after a cancel took it out of the queue), sent
// or accepted; an answer that arrives before the writer filed the frame
// finishes it, and the writer then leaves it alone (stateSeq). A post of a request on its way is refused
// (32), so the only second frames of one post are the repeats the
// application asks for, the retries the register asks for, and the replays
// of damaged answers, all with the request's own token.
//
// Waiting. Nothing polls on a clock: an idle sender sleeps on senderCv until
// there is something to write (a post, a retry, a stop), a sender holding
// requests back behind a long command sleeps until the next status poll is
// due, the last poll is answered, a stop is posted or the register is no
// longer busy; a thread waiting for a request sleeps on that
// request's own word (TRV_Request::waitChange), which moves when it finishes
// or is deleted; the sales and asynchronous pops sleep on eventCv, which
// every queued sale record and event signals through eventSeq. The time
// limits of the waits are unchanged.
#pragma once

#include <semaphore.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "trvlib_devicebase.h"
#include "trvlib_events.h"
#include "trvlib_protocol.h"
#include "trvlib_queues.h"
#include "trvlib_receive.h"
#include "trvlib_request.h"
#include "trvlib_sync.h"
#include "trvlib_transport.h"

namespace trv {

class TRV_DeviceView;

// Status polls and stops go alone: they are the only commands that pass a
// busy register, and nothing may ride along with them.
inline bool goesAlone(uint16_t cmd) { return proto::passesBusy(cmd); }

class TRV_Device : public TRV_DeviceBase, public TransportHost {
public:
    static constexpr Kind kKind = Kind::Device;
    // A status poll or stop of the library's own written this long ago
    // without an answer is given up, so a lost frame does not hold requests
    // back or stay in the queue for good.
    static constexpr int kStaleOwnMs = 5000;

    TRV_Device();
    ~TRV_Device() override;

    TARVIK_STATUS SetDeviceParam(uint32_t id, void* value) override;
    TARVIK_STATUS GetDeviceParam(uint32_t id, void* value) override;

    // The new view's handle, or null.
    TARVIK_HANDLE OpenDevice();

    // ---- views and requests (reached through a view) ----
    bool closeMe(TRV_DeviceView* view) EXCLUDES(openCloseMutex);
    bool DeviceHasViews() EXCLUDES(viewsMutex);
    // TRV_DestroyDeviceHandle: 32 while a view is open or closing, 0x10006
    // when retired before; otherwise 0, no view can be opened any more and
    // the device lets go of its queues and views (Teardown).
    TARVIK_STATUS Retire() EXCLUDES(openCloseMutex);
    void viewGone(TRV_DeviceView* view) EXCLUDES(viewsMutex);  // a view object ends
    uint32_t nextToken() { return token.fetch_add(1) + 1; }
    TARVIK_STATUS post(TRV_Request* r, TRV_DeviceView* view, uint8_t mode) EXCLUDES(outQueueMutex);
    TARVIK_STATUS Repeat(TRV_Request* r) EXCLUDES(outQueueMutex);
    TARVIK_STATUS Cancel(TRV_Request* r) EXCLUDES(outQueueMutex);
    void RemoveMe(TRV_Request* r) EXCLUDES(outQueueMutex);
    // Unlinks the request from every queue and ends it as a handle.
    void DestroyRequest(TRV_Request* r) EXCLUDES(outQueueMutex);
    // Runs add() unless the request is on its way: then 32, the request is
    // in use.
    template <class Add>
    TARVIK_STATUS AddParam(TRV_Request* r, Add add) EXCLUDES(outQueueMutex) {
        MutexLock lk(outQueueMutex);
        if (onItsWay(r)) return TARVIK_STATUS_INUSE;
        return add();
    }
    // These hand a request to the application: they give its handle, read
    // while the request is still held.
    TARVIK_HANDLE GetNextResponse(TRV_DeviceView* view) EXCLUDES(inQueueMutex);
    uint32_t GetResponseCount(TRV_DeviceView* view) EXCLUDES(inQueueMutex);
    uint32_t GetRequestCount(TRV_DeviceView* view, bool all) EXCLUDES(outQueueMutex);
    uint32_t getSalesQueueLength(TRV_DeviceView* view, bool all) { return events.salesLength(view, all); }
    uint32_t getAsyncQueueLength() { return events.asyncLength(); }
    TARVIK_STATUS PurgePending(TRV_DeviceView* view, bool all) EXCLUDES(outQueueMutex);
    TARVIK_STATUS PurgeAll(TRV_DeviceView* view, bool all) EXCLUDES(outQueueMutex);
    TARVIK_STATUS purgeSalesQueue(TRV_DeviceView* view, bool all) {
        events.purgeSales(view, all);
        return TARVIK_STATUS_OK;
    }
    TARVIK_STATUS purgeAsyncQueue() {
        events.purgeAsync();
        return TARVIK_STATUS_OK;
    }
    TARVIK_HANDLE cancelExecuting(TRV_DeviceView* view) EXCLUDES(outQueueMutex);
    TARVIK_HANDLE PopAsyncQueue(TRV_DeviceView* view, uint32_t timeout) { return events.popAsync(view, timeout); }
    TARVIK_HANDLE PopSalesQueue(TRV_DeviceView* view, uint32_t timeout) { return events.popSales(view, timeout); }
    void SetCallback(TARVIK_CALLBACK_T cb, TRV_DeviceView* view) { events.setCallback(cb, view); }
    TARVIK_STATUS SetEventHandling(uint32_t mode) { return events.setMode(mode); }
    sem_t* GetSemaphore() { return events.semaphore(); }
    uint8_t GetCryptoStatus() EXCLUDES(cipherMutex);
    char GetDecimalSeparator() const { return decimalsep.load(); }
    TARVIK_STATUS myStats(uint32_t* sent, uint32_t* completed);
    // Waits until the request is completed or failed, within the limit of
    // TRV_WaitForRequestCompleted: 0, 0x10003 (time-out), or 0x10006 when
    // the request was deleted meanwhile (post modes 2 and 3, purges).
    TARVIK_STATUS WaitForRequest(TRV_Request* r, uint32_t timeout);

    // ---- parameters and log ----
    void SetDebugLevel(uint32_t level);
    void ReopenLog(const std::string& name);

    // Statistics.
    // (bytesSent, which the transport counts, is TransportHost's.)
    std::atomic<int> framesSent{0}, bytesReceived{0}, bytesReceivedDropped{0}, framesReceived{0},
        framesCompleted{0};

    // Long-command state and its bypass switch.
    std::atomic<bool> was_last_long{false}, last_long_done{true}, nosync{false};

    // A status poll or stop of the library's own written this long ago
    // without an answer is given up; set before the device opens (tests
    // shorten it).
    int staleOwnMs = kStaleOwnMs;

private:
    friend class TransportHost;  // its services are the core's
    // ---- the services of TransportHost (trvlib_transport.h)
    void runSenderLoop(Thread& self) EXCLUDES(outQueueMutex);
    void runReceiverLoop(Thread& self);
    void receiveBytes(const uint8_t* buffer, size_t read);
    void wakeSenderNow() EXCLUDES(outQueueMutex);
    void failWrittenRequests(TARVIK_STATUS status) EXCLUDES(outQueueMutex);
    void setDirectWrites(bool on) EXCLUDES(outQueueMutex);

    // ---- receive path (receiver thread only)
    void ProcessFrame(const uint8_t* frame, size_t len);
    Cipher cipherState() EXCLUDES(cipherMutex);
    // Wakes the sender after a change made under the output queue's lock.
    void notifySender() { senderCv.notify_all(); }
    // Ends the queues and views of a device that is going: requests queued
    // for output, events and sale records are deleted (finished requests
    // belong to the application), views are detached, the log is closed.
    // Called by Retire and by the destructor; idempotent.
    void Teardown() EXCLUDES(outQueueMutex, viewsMutex);

    ReceiveState received;  // receiver thread only

    friend class TRV_DeviceView;
    TRV_Request* FindWithToken(uint32_t tok) REQUIRES(outQueueMutex);
    // The request an answer with this token belongs to: FindWithToken,
    // unless that request has not been written since its post (pending,
    // not being written, not waiting for a repeat): then the answer is a
    // late one to a frame of an earlier post, and belongs to nothing.
    TRV_Request* FindAnswered(uint32_t tok) REQUIRES(outQueueMutex);
    // Pending, being written, sent or accepted: a post of it is refused, so
    // that no frame of one post goes out twice. A request cancelled while
    // its frame is being written is still on its way until the write is
    // filed; one answered meanwhile is not (the register has its frame).
    bool onItsWay(const TRV_Request* r) REQUIRES(outQueueMutex) {
        return outQueue.Contains(r) || (r->writing && r->cancelledInWrite);
    }
    // The first pending request of the output queue: the head of the
    // pending list (requests moved on while linked are dropped on the way).
    TRV_Request* FindFirstPending() REQUIRES(outQueueMutex);
    // ---- the sender's steps (trvlib_sender.cpp)
    // Encodes first and the pending requests after it that may go with it
    // into b; requests whose values do not fit a frame fail on the way.
    void collectBatch(FrameBatch& b, TRV_Request* first, std::string& scratch) REQUIRES(outQueueMutex);
    // Writes b (without the lock) and counts what went out.
    TARVIK_STATUS writeBatch(FrameBatch& b, bool mayBlock) EXCLUDES(outQueueMutex);
    // Files the outcome of a write: sent, written on a lost connection,
    // failed, or left pending.
    void finishBatch(FrameBatch& b, TARVIK_STATUS st) REQUIRES(outQueueMutex);
    // Lets go of a batch that will not be written on (the device stops):
    // its requests stay where they are, pending.
    void dropBatch(FrameBatch& b) REQUIRES(outQueueMutex);
    // A posting thread writes r, just queued, itself (see Writing above);
    // the lock is let go for the write. releaseWritten, called after the
    // post let go of the lock, drops the batch's references.
    void writeNow(TRV_Request* r) REQUIRES(outQueueMutex);
    static void releaseWritten();
    bool mayWriteNow(const TRV_Request* r) REQUIRES(outQueueMutex);
    // Unlinks from every queue; the request stays alive.
    void unlinkLocked(TRV_Request* r) REQUIRES(outQueueMutex);
    void deleteLocked(TRV_Request* r) REQUIRES(outQueueMutex);
    void finishLocked(TRV_Request* r, uint32_t state, bool sales) REQUIRES(outQueueMutex);
    // Ends a request with the library's own status (a failed write, a lost
    // connection, damaged answers); a mode 3 request is deleted instead.
    void failLocked(TRV_Request* r, TARVIK_STATUS status) REQUIRES(outQueueMutex);
    // ---- the busy register (trvlib_sender.cpp)
    // The first pending request that may pass a busy register (a status
    // poll or a stop), wherever it stands: it goes before anything held back.
    TRV_Request* FirstPassing() REQUIRES(outQueueMutex);
    // The sender holds requests back: queues the next status poll when one is
    // due (and returns now, so it is written at once), or returns when to
    // look again: the end of the pause after the last poll's answer, or the
    // moment an unanswered poll is given up. False when no poll could be
    // made.
    bool PollStep(Clock::time_point& lookAgain) REQUIRES(outQueueMutex);
    // The library's own requests: status polls (8) and stops (10), posted
    // in mode 3 with no handle given out. At most one of each is
    // outstanding (queued, or written and not answered yet).
    // The outstanding one with command cmd, or null.
    TRV_Request* ownOutstanding(uint16_t cmd) REQUIRES(outQueueMutex);
    // A new one at the head of the output queue; null without memory.
    TRV_Request* queueOwn(uint16_t cmd, TRV_DeviceView* view) REQUIRES(outQueueMutex);
    // Forgets those that have ended and gives up those written staleOwnMs
    // ago without an answer; returns when the next one would be stale, or
    // Clock::time_point::max().
    Clock::time_point sweepOwn() REQUIRES(outQueueMutex);
    // The last status poll was answered (or a long command written): the
    // next one is due a pause from now.
    void pollAnswered() REQUIRES(outQueueMutex) {
        nextPollAt = Clock::now() + std::chrono::milliseconds(BusyPauseMs());
    }
    // r, answered with a request to send it again (a retry code, a damaged
    // answer), goes out again next: pending, at the front of the queue.
    void sendAgain(TRV_Request* r) REQUIRES(outQueueMutex);
    // The answer or error of a long command came: the register is free.
    void longCommandFinished();
    void ProcessAccept(const DecodedFrame& a) EXCLUDES(outQueueMutex);
    void ProcessComplete(DecodedFrame& a) EXCLUDES(outQueueMutex);
    void ProcessError(DecodedFrame& a) EXCLUDES(outQueueMutex);
    void ProcessDamaged(const DecodedFrame& a, int rc) EXCLUDES(outQueueMutex);
    void ProcessCrypt(DecodedFrame& a) EXCLUDES(cipherMutex);
    void ProcessCard(DecodedFrame& a);
    // Logs the members of q; the caller holds the mutex that guards it.
    void dumpQueue(RequestQueue& q, const char* name, const char* tag);
    // PurgePending (pendingOnly) and PurgeAll.
    uint32_t purgeOutput(TRV_DeviceView* view, bool all, bool pendingOnly) EXCLUDES(outQueueMutex);

    std::atomic<uint32_t> token{0};
    std::atomic<uint32_t> outQueueMaxLen{256};
    std::atomic<char> decimalsep{','};

    Mutex openCloseMutex ACQUIRED_BEFORE(viewsMutex, outQueueMutex);
    bool retired GUARDED_BY(openCloseMutex) = false;  // TRV_DestroyDeviceHandle went through
    int closing GUARDED_BY(openCloseMutex) = 0;      // last-view closes hanging up

    Mutex viewsMutex;
    CReportList<TRV_DeviceView> device_views GUARDED_BY(viewsMutex);  // open views
    std::vector<TRV_DeviceView*> liveViews GUARDED_BY(viewsMutex);    // every view still attached

    Mutex outQueueMutex ACQUIRED_BEFORE(inQueueMutex, events.salesQueueMutex, events.asyncQueueMutex, cipherMutex,
                                        events.eventMutex);
    OutputQueue outQueue GUARDED_BY(outQueueMutex);
    bool gone GUARDED_BY(outQueueMutex) = false;  // torn down: nothing is queued any more
    Clock::time_point nextPollAt GUARDED_BY(outQueueMutex){};  // no status poll before this
    std::vector<Ref<TRV_Request>> ownRequests GUARDED_BY(outQueueMutex);  // polls and stops still around
    CondVar senderCv;  // with outQueueMutex: something to write, a stop, the register no longer busy
    enum class Writer { None, Sender, Poster };
    Writer writer GUARDED_BY(outQueueMutex) = Writer::None;  // who is writing to the transport
    bool directWrites GUARDED_BY(outQueueMutex) = false;     // see allowDirectWrites
    std::unique_ptr<FrameBatch> handover GUARDED_BY(outQueueMutex);  // a posting thread's partly written frame
    CondVar posterDoneCv;  // with outQueueMutex: a posting thread's write ended (close waits for it)
    Mutex inQueueMutex;
    RequestQueue inQueue GUARDED_BY(inQueueMutex){RequestQueue::In};
    // Events and sale records: their queues, the callback, the semaphore
    // and the pops.
    DeviceEvents events{*this};

    Mutex cipherMutex;  // leaf
    Cipher cipher_ GUARDED_BY(cipherMutex);
};

}  // namespace trv
