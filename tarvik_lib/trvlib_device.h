// TRV_Device: one connection to one register. It owns the four request
// queues, the receive buffer, the debug log, the token counter, the cipher
// state and the statistics. A transport derives from it and supplies open,
// close, the write of one frame and the read of one chunk; the sender loop
// (trvlib_sender.cpp) and the receive path with the receiver loop
// (trvlib_receive.cpp) are shared by every transport.
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
//   outQueueMutex   -> one of inQueueMutex, salesQueueMutex, asyncQueueMutex
//                      (never two of them at once), cipherMutex, eventMutex,
//                      viewsMutex (the last reference of a closed view may go
//                      with a request deleted here), the handle registry
//   EtherDevice::reopenMutex: a leaf; released before a dropped
//                      connection's requests are ended (outQueueMutex) and
//                      before resolving a name or connecting
//   RS232Device::writeMutex: held for one write to the port (at most the
//                      send time-out); only the log is written under it
//   every mutex     -> the log file's mutex, eventMutex, the handle registry
//                      (leaves)
//
// No queue lock is held while calling the application (the event callback)
// or while a transport writes or reads: the request being written is pinned
// (a reference), so whoever deletes it meanwhile only unlinks it and the
// sender's reference frees it. A device's last reference is never dropped
// with one of its own locks held: paths that delete requests or views under
// a device lock run with the device pinned.
//
// Waiting. Nothing polls on a clock: the sender sleeps on senderCv (a post
// wakes it), and application waits (request completion, the sales and
// asynchronous pops) sleep on eventCv, which every finished or deleted
// request and every queued event signals through eventSeq. The time limits
// of the waits are unchanged.
#pragma once

#include <semaphore.h>

#include <atomic>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "trvlib_devicebase.h"
#include "trvlib_fifo.h"
#include "trvlib_frame.h"
#include "trvlib_log.h"
#include "trvlib_reportlist.h"
#include "trvlib_sync.h"

namespace trv {

class TRV_DeviceView;

inline void appendLogPart(std::string& s, const std::string& part) { s += part; }
inline void appendLogPart(std::string& s, const char* part) { s += part; }
template <class N, class = std::enable_if_t<std::is_integral_v<N>>>
void appendLogPart(std::string& s, N n) {
    s += std::to_string(static_cast<long long>(n));
}

// One of the device's four request queues: a linking CReportList that also
// marks its members, so that a request can be unlinked (or found not to be
// there) without walking the whole list. Not synchronised: used under the
// queue's own mutex.
class RequestQueue {
public:
    explicit RequestQueue(int id) : id_(id) {}
    ~RequestQueue() { EraseAll(); }
    bool Add(TRV_Request* r) { return link(r, false); }
    bool Push(TRV_Request* r) { return link(r, true); }
    bool Contains(const TRV_Request* r) const { return r->queued[id_]; }
    void Erase(TRV_Request* r) {
        if (!r->queued[id_]) return;
        list_.Erase(r);
        r->queued[id_] = false;
    }
    int Count() const { return list_.Count(); }
    TRV_Request* operator[](int i) { return list_[i]; }
    TRV_Request* First() { return list_.First(); }
    TRV_Request* Next() { return list_.Next(); }
    void EraseAll() {
        for (TRV_Request* r = list_.First(); r; r = list_.Next()) r->queued[id_] = false;
        list_.EraseAll();
    }
    // Unlinks every member and ends it as a handle (see Tagged::kill).
    void KillAll() {
        std::vector<TRV_Request*> all;
        for (TRV_Request* r = list_.First(); r; r = list_.Next()) all.push_back(r);
        EraseAll();
        for (TRV_Request* r : all) r->kill();
    }

private:
    bool link(TRV_Request* r, bool front) {
        const int before = list_.Count();
        if (front) list_.Push(r); else list_.Add(r);
        if (list_.Count() == before) return false;  // no memory for the node
        r->queued[id_] = true;
        return true;
    }
    int id_;
    CReportList<TRV_Request> list_;
};

// Log categories and the frame-dump bit.
constexpr uint32_t LOG_DEVICE = 0x1000;
constexpr uint32_t LOG_RS232 = 0x2000;
constexpr uint32_t LOG_ETHER = 0x4000;
constexpr uint32_t LOG_USB = 0x8000;
constexpr uint32_t LOG_FRAMES = 0x10000;
constexpr uint32_t LOG_QUEUES = 0x800000;

// A transport's write result that leaves the request pending for another try.
constexpr TARVIK_STATUS kKeepPending = 0xFFFFFFFFu;

class TRV_Device : public TRV_DeviceBase {
public:
    static constexpr Kind kKind = Kind::Device;
    // A status poll written this long ago without an answer is given up and
    // replaced, so a lost poll frame does not hold requests back for good.
    static constexpr int kStalePollMs = 5000;

    TRV_Device();
    ~TRV_Device() override;

    TARVIK_STATUS SetDeviceParam(uint32_t id, void* value) override;
    TARVIK_STATUS GetDeviceParam(uint32_t id, void* value) override;

    // Opens the connection (starting the transport's threads); true on success.
    virtual bool DeviceRealOpen() = 0;
    // Stops the threads and closes the connection; true on success.
    virtual bool DeviceRealClose() = 0;
    // Runs before the last view closes, without the open/close lock: what may
    // block for long at close (a modem hang-up) goes here.
    virtual void PrepareClose() {}
    TRV_DeviceView* OpenDevice();

    // Modem operations; only the serial transport in modem mode has them.
    virtual TARVIK_STATUS ModemDial(int) { return TARVIK_STATUS_NOTMODEM; }
    virtual TARVIK_STATUS ModemDisconnect(int) { return TARVIK_STATUS_NOTMODEM; }
    virtual TARVIK_STATUS ModemStatus() { return TARVIK_STATUS_NOTMODEM; }
    virtual TARVIK_STATUS WriteBuffer(const char*) { return TARVIK_STATUS_NOTMODEM; }

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
    // Runs add() unless the request is queued for output (or being written):
    // then 32, the request is in use.
    template <class Add>
    TARVIK_STATUS AddParam(TRV_Request* r, Add add) EXCLUDES(outQueueMutex) {
        MutexLock lk(outQueueMutex);
        if (outQueue.Contains(r)) return TARVIK_STATUS_INUSE;
        return add();
    }
    TRV_Request* GetNextResponse(TRV_DeviceView* view) EXCLUDES(inQueueMutex);
    uint32_t GetResponseCount(TRV_DeviceView* view) EXCLUDES(inQueueMutex);
    uint32_t GetRequestCount(TRV_DeviceView* view, bool all) EXCLUDES(outQueueMutex);
    uint32_t getSalesQueueLength(TRV_DeviceView* view, bool all) EXCLUDES(salesQueueMutex);
    uint32_t getAsyncQueueLength() EXCLUDES(asyncQueueMutex);
    TARVIK_STATUS PurgePending(TRV_DeviceView* view, bool all) EXCLUDES(outQueueMutex);
    TARVIK_STATUS PurgeAll(TRV_DeviceView* view, bool all) EXCLUDES(outQueueMutex);
    TARVIK_STATUS purgeSalesQueue(TRV_DeviceView* view, bool all) EXCLUDES(salesQueueMutex);
    TARVIK_STATUS purgeAsyncQueue() EXCLUDES(asyncQueueMutex);
    TRV_Request* cancelExecuting(TRV_DeviceView* view) EXCLUDES(outQueueMutex);
    TRV_Request* PopAsyncQueue(TRV_DeviceView* view, uint32_t timeout);
    TRV_Request* PopSalesQueue(TRV_DeviceView* view, uint32_t timeout);
    void SetCallback(TARVIK_CALLBACK_T cb, TRV_DeviceView* view) EXCLUDES(callbackMutex);
    TARVIK_STATUS SetEventHandling(uint32_t mode);
    sem_t* GetSemaphore() { return &qsem; }
    uint8_t GetCryptoStatus() EXCLUDES(cipherMutex);
    char GetDecimalSeparator() const { return decimalsep.load(); }
    TARVIK_STATUS myStats(uint32_t* sent, uint32_t* completed);
    // Waits until the request is completed or failed, within the limit of
    // TRV_WaitForRequestCompleted: 0, 0x10003 (time-out), or 0x10006 when
    // the request was deleted meanwhile (post modes 2 and 3, purges).
    TARVIK_STATUS WaitForRequest(TRV_Request* r, uint32_t timeout) EXCLUDES(eventMutex);

    // ---- parameters and log ----
    void SetDebugLevel(uint32_t level);
    void ReopenLog(const std::string& name);
    bool logOn(uint32_t category, unsigned threshold) const {
        const uint32_t l = debuglevel.load(std::memory_order_relaxed);
        return l && (l & category) && (l & 0xF) >= threshold;
    }
    // Writes the parts of a message (texts and numbers, numbers in decimal);
    // nothing is formatted unless the message is going to be written.
    template <class... Parts>
    void Log(uint32_t category, unsigned threshold, const Parts&... parts) {
        if (!logOn(category, threshold)) return;
        std::string text;
        (appendLogPart(text, parts), ...);
        lfile.write(text);
    }

    // ---- receive path (receiver thread only) ----
    void ProcessRecvBytes(const uint8_t* buffer, size_t read);
    void ProcessFrame(const uint8_t* frame, size_t len);
    // The receiver thread body shared by every transport: read a chunk
    // (ReadChunk), hand it on (DeliverBytes), until stopped or the
    // transport gives up.
    void ReceiverLoop(Thread& self);

    // Statistics.
    std::atomic<int> framesSent{0}, bytesSent{0}, bytesReceived{0}, bytesReceivedDropped{0},
        framesReceived{0}, framesCompleted{0};

    // Long-command state and its bypass switch.
    std::atomic<bool> was_last_long{false}, last_long_done{true}, nosync{false};

    Cipher cipherState() EXCLUDES(cipherMutex);
    // The connection broke: requests written on it will not be answered.
    // They end with `status` (mode 3 ones are deleted).
    void failWritten(TARVIK_STATUS status) EXCLUDES(outQueueMutex);
    FIFO fifo;  // receiver thread only (and the modem path of the serial sender)

protected:
    // ---- the transport's part in the shared loops ----
    virtual const char* Prefix() const = 0;          // "DEVICE_RS232: " ...
    virtual const char* LoopPrefix() const { return Prefix(); }
    virtual uint32_t Category() const = 0;           // LOG_RS232 ...
    virtual int BusyPauseMs() const { return 250; }
    // Longest sleep of an idle sender. Every change that gives it work wakes
    // it at once, so this is only a safety net; a transport whose sender has
    // to look at something each pass (the modem) asks for shorter.
    virtual int IdleWaitMs() const { return 1000; }
    // Writes one whole frame: 0, a status that fails the request, or
    // kKeepPending. Runs without any queue lock.
    virtual TARVIK_STATUS WriteFrame(const uint8_t* data, size_t len) = 0;
    // True when the frame just written went out on a connection that has
    // been dropped since (checked under the output queue's lock).
    virtual bool writtenOnLostConnection() { return false; }
    // Runs first in every pass; true skips frame sending for this pass.
    virtual bool SenderPrePass(Thread&) { return false; }
    // Reads what has arrived into buf, waiting a short while (and no longer
    // than a stop takes to be seen) when nothing has: the number of bytes,
    // 0 for none this time, or -1 when the receiver has to end. Errors and
    // reconnects are the transport's business.
    virtual long ReadChunk(Thread& self, uint8_t* buf, size_t cap) = 0;
    // Largest chunk ReadChunk is asked for.
    virtual size_t RecvChunk() const = 0;
    // Where received bytes go: the frame path, unless the transport has
    // another use for them (the modem's command lines).
    virtual void DeliverBytes(const uint8_t* buf, size_t n) { ProcessRecvBytes(buf, n); }
    // The sender thread body shared by every transport.
    void SenderLoop(Thread& self) EXCLUDES(outQueueMutex);
    // Wakes the sender (a post, a retry, a stop).
    void wakeSender();
    // Ends the queues and views of a device that is going: requests queued
    // for output, events and sale records are deleted (finished requests
    // belong to the application), views are detached, the log is closed.
    // Called by Retire and by the destructor; idempotent.
    void Teardown() EXCLUDES(outQueueMutex, viewsMutex);

    std::atomic<uint32_t> debuglevel{0};
    TRV_Log lfile{"TRV_DBG.txt"};

private:
    friend class TRV_DeviceView;
    TRV_Request* FindWithToken(uint32_t tok) REQUIRES(outQueueMutex);
    TRV_Request* FindFirstPending() REQUIRES(outQueueMutex);
    // Unlinks from every queue; the request stays alive.
    void unlinkLocked(TRV_Request* r) REQUIRES(outQueueMutex);
    void deleteLocked(TRV_Request* r) REQUIRES(outQueueMutex);
    void finishLocked(TRV_Request* r, uint32_t state, bool sales) REQUIRES(outQueueMutex);
    // Ends a request with the library's own status (a failed write, a lost
    // connection, damaged answers); a mode 3 request is deleted instead.
    void failLocked(TRV_Request* r, TARVIK_STATUS status) REQUIRES(outQueueMutex);
    // A new busy-status poll at the head of the output queue, unless one is
    // still outstanding; false when none could be made.
    bool queueStatusPoll() REQUIRES(outQueueMutex);
    void notifyEvent() EXCLUDES(eventMutex);
    uint64_t eventSeqNow() EXCLUDES(eventMutex);
    // Waits until eventSeq moves past seen or the deadline passes; the new
    // value, or seen at the deadline.
    uint64_t waitEvent(uint64_t seen, Clock::time_point deadline) EXCLUDES(eventMutex);
    void ProcessAccept(const DecodedFrame& a) EXCLUDES(outQueueMutex);
    void ProcessComplete(DecodedFrame& a) EXCLUDES(outQueueMutex);
    void ProcessError(DecodedFrame& a) EXCLUDES(outQueueMutex);
    void ProcessDamaged(const DecodedFrame& a, int rc) EXCLUDES(outQueueMutex);
    void ProcessCrypt(DecodedFrame& a) EXCLUDES(cipherMutex);
    void ProcessCard(DecodedFrame& a);
    // A queue with the mutex that guards it, as member pointers.
    void dumpQueue(RequestQueue TRV_Device::*queue, Mutex TRV_Device::*mutex, const char* name, const char* tag);
    template <class Pred>
    uint32_t purge(RequestQueue TRV_Device::*queue, Mutex TRV_Device::*mutex, const char* what, Pred pred);

    std::atomic<uint32_t> token{0};
    std::atomic<uint32_t> outQueueMaxLen{256};
    std::atomic<char> decimalsep{','};
    std::atomic<uint32_t> event_Mode{0};

    Mutex openCloseMutex ACQUIRED_BEFORE(viewsMutex, outQueueMutex);
    bool retired GUARDED_BY(openCloseMutex) = false;  // TRV_DestroyDeviceHandle went through
    int closing GUARDED_BY(openCloseMutex) = 0;      // last-view closes hanging up

    Mutex viewsMutex;
    CReportList<TRV_DeviceView> device_views GUARDED_BY(viewsMutex);  // open views
    std::vector<TRV_DeviceView*> liveViews GUARDED_BY(viewsMutex);    // every view still attached

    Mutex outQueueMutex ACQUIRED_BEFORE(inQueueMutex, salesQueueMutex, asyncQueueMutex, cipherMutex, eventMutex);
    RequestQueue outQueue GUARDED_BY(outQueueMutex){0};
    bool gone GUARDED_BY(outQueueMutex) = false;  // torn down: nothing is queued any more
    CondVar senderCv;  // with outQueueMutex
    Mutex inQueueMutex;
    RequestQueue inQueue GUARDED_BY(inQueueMutex){1};
    Mutex asyncQueueMutex;
    RequestQueue asyncQueue GUARDED_BY(asyncQueueMutex){2};
    Mutex salesQueueMutex;
    RequestQueue salesQueue GUARDED_BY(salesQueueMutex){3};

    Mutex eventMutex;  // leaf
    CondVar eventCv;
    uint64_t eventSeq GUARDED_BY(eventMutex) = 0;  // moves on every finished request and queued event

    Mutex callbackMutex;
    TARVIK_CALLBACK_T in_callback GUARDED_BY(callbackMutex) = nullptr;
    TRV_DeviceView* in_view GUARDED_BY(callbackMutex) = nullptr;  // counted reference
    sem_t qsem;

    Mutex cipherMutex;  // leaf
    Cipher cipher_ GUARDED_BY(cipherMutex);
};

}  // namespace trv
