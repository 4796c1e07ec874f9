// TRV_Device: one connection to one register. It owns the four request
// queues, the receive buffer, the debug log, the token counter, the cipher
// state and the statistics. A transport derives from it, supplies open,
// close and the write of one frame, and runs the shared sender loop and its
// own receiver thread, which hands every chunk to ProcessRecvBytes.
//
// Locking. Each queue has its own mutex. Lock order: outQueueMutex first,
// then at most one of inQueueMutex, salesQueueMutex, asyncQueueMutex. No
// queue lock is held while calling the application (the event callback) or
// while a transport writes: the request being written is marked inFlight,
// and whoever deletes it meanwhile leaves the deletion to the sender.
//
// Waiting. Nothing polls on a clock: the sender sleeps on senderCv (a post
// wakes it), and application waits (request completion, the sales and
// asynchronous pops) sleep on eventCv, which every finished request and
// every queued event signals. The time limits of the waits are unchanged.
#pragma once

#include <semaphore.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

#include "trvlib_devicebase.h"
#include "trvlib_fifo.h"
#include "trvlib_frame.h"
#include "trvlib_log.h"
#include "trvlib_reportlist.h"

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
    void Add(TRV_Request* r) { list_.Add(r); r->queued[id_] = true; }
    void Push(TRV_Request* r) { list_.Push(r); r->queued[id_] = true; }
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
    void Clear() {  // deletes the members
        for (TRV_Request* r = list_.First(); r; r = list_.Next()) r->queued[id_] = false;
        list_.Clear();
    }

private:
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
    TRV_Device();
    ~TRV_Device() override;

    TARVIK_STATUS SetDeviceParam(uint32_t id, void* value) override;
    TARVIK_STATUS GetDeviceParam(uint32_t id, void* value) override;

    // Opens the connection (starting the transport's threads); true on success.
    virtual bool DeviceRealOpen() = 0;
    // Stops the threads and closes the connection; true on success.
    virtual bool DeviceRealClose() = 0;
    TRV_DeviceView* OpenDevice();

    // Modem operations; only the serial transport in modem mode has them.
    virtual TARVIK_STATUS ModemDial(int) { return TARVIK_STATUS_NOTMODEM; }
    virtual TARVIK_STATUS ModemDisconnect(int) { return TARVIK_STATUS_NOTMODEM; }
    virtual TARVIK_STATUS ModemStatus() { return TARVIK_STATUS_NOTMODEM; }
    virtual TARVIK_STATUS WriteBuffer(const char*) { return TARVIK_STATUS_NOTMODEM; }

    // ---- views and requests (reached through a view) ----
    bool closeMe(TRV_DeviceView* view);
    bool DeviceHasViews();
    void viewGone(TRV_DeviceView* view);  // a view's last reference went
    uint32_t nextToken() { return token.fetch_add(1) + 1; }
    TARVIK_STATUS post(TRV_Request* r, uint8_t mode);
    TARVIK_STATUS Repeat(TRV_Request* r);
    void RemoveMe(TRV_Request* r);
    // Unlinks the request from every queue and deletes it, or leaves the
    // deletion to the sender when it is being written right now.
    void DestroyRequest(TRV_Request* r);
    TRV_Request* GetNextResponse(TRV_DeviceView* view);
    uint32_t GetResponseCount(TRV_DeviceView* view);
    uint32_t GetRequestCount(TRV_DeviceView* view, bool all);
    uint32_t getSalesQueueLength(TRV_DeviceView* view, bool all);
    uint32_t getAsyncQueueLength();
    TARVIK_STATUS PurgePending(TRV_DeviceView* view, bool all);
    TARVIK_STATUS PurgeAll(TRV_DeviceView* view, bool all);
    TARVIK_STATUS purgeSalesQueue(TRV_DeviceView* view, bool all);
    TARVIK_STATUS purgeAsyncQueue();
    TRV_Request* cancelExecuting(TRV_DeviceView* view);
    TRV_Request* PopAsyncQueue(TRV_DeviceView* view, uint32_t timeout);
    TRV_Request* PopSalesQueue(TRV_DeviceView* view, uint32_t timeout);
    void SetCallback(TARVIK_CALLBACK_T cb, TRV_DeviceView* view);
    TARVIK_STATUS SetEventHandling(uint32_t mode);
    sem_t* GetSemaphore() { return &qsem; }
    uint8_t GetCryptoStatus();
    char GetDecimalSeparator() const { return decimalsep.load(); }
    TARVIK_STATUS myStats(uint32_t* sent, uint32_t* completed);
    // Waits until the request is completed or failed, within the limit of
    // TRV_WaitForRequestCompleted; true when it is.
    bool WaitForRequest(TRV_Request* r, uint32_t timeout);

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

    // Statistics.
    std::atomic<int> framesSent{0}, bytesSent{0}, bytesReceived{0}, bytesReceivedDropped{0},
        framesReceived{0}, framesCompleted{0};

    // Long-command state and its bypass switch.
    std::atomic<bool> was_last_long{false}, last_long_done{true}, nosync{false};

    Cipher cipherState();
    // The connection broke: requests written on it will not be answered.
    // They end with `status` (mode 3 ones are deleted).
    void failWritten(TARVIK_STATUS status);
    FIFO fifo;  // receiver thread only (and the modem path of the serial sender)

protected:
    // ---- the shared sender loop and the transport's part in it ----
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
    // The sender thread body shared by every transport.
    void SenderLoop(Thread& self);
    // Encodes and writes one request; the status as WriteFrame gives it.
    TARVIK_STATUS SendFrame(TRV_Request* r);
    // Wakes the sender (a post, a retry, a stop).
    void wakeSender();

    std::atomic<uint32_t> debuglevel{0};
    TRV_Log lfile{"TRV_DBG.txt"};

private:
    friend class TRV_DeviceView;
    TRV_Request* FindWithToken(uint32_t tok);  // outQueueMutex held
    TRV_Request* FindFirstPending();           // outQueueMutex held
    void deleteLocked(TRV_Request* r);  // outQueueMutex held
    void finishLocked(TRV_Request* r, uint32_t state, bool sales);  // outQueueMutex held
    void notifyEvent();
    void ProcessAccept(const DecodedFrame& a);
    void ProcessComplete(DecodedFrame& a);
    void ProcessError(DecodedFrame& a);
    void ProcessCrypt(DecodedFrame& a);
    void ProcessCard(DecodedFrame& a);
    void dumpQueue(RequestQueue& q, std::mutex& m, const char* name, const char* tag);
    template <class Pred>
    uint32_t purge(RequestQueue& q, std::mutex& m, const char* what, Pred pred);

    std::atomic<uint32_t> token{0};
    std::atomic<uint32_t> outQueueMaxLen{256};
    std::atomic<char> decimalsep{','};
    std::atomic<uint32_t> event_Mode{0};

    std::mutex openCloseMutex;  // one open or close of the hardware at a time
    std::mutex viewsMutex;
    CReportList<TRV_DeviceView> device_views;  // open views, guarded by viewsMutex
    std::vector<TRV_DeviceView*> liveViews;    // every view still alive, guarded by viewsMutex

    std::mutex outQueueMutex;
    RequestQueue outQueue{0};             // guarded by outQueueMutex
    std::condition_variable senderCv;     // with outQueueMutex
    std::mutex inQueueMutex;
    RequestQueue inQueue{1};              // guarded by inQueueMutex
    std::mutex asyncQueueMutex;
    RequestQueue asyncQueue{2};           // guarded by asyncQueueMutex
    std::mutex salesQueueMutex;
    RequestQueue salesQueue{3};           // guarded by salesQueueMutex

    std::mutex eventMutex;
    std::condition_variable eventCv;      // a request finished or an event arrived

    std::mutex callbackMutex;
    TARVIK_CALLBACK_T in_callback = nullptr;  // guarded by callbackMutex
    TRV_DeviceView* in_view = nullptr;        // guarded by callbackMutex, counted reference
    sem_t qsem;

    std::mutex cipherMutex;
    Cipher cipher_;  // guarded by cipherMutex
};

}  // namespace trv
