// The seam between the device core and a transport (serial port and modem,
// USB, TCP, a test's fake). A transport derives from TRV_Device and reaches
// the core only through this header's two halves:
//
//   TRV_Transport   what a transport provides: open and close, the write of
//                   frames, the read of one chunk, its log prefix and pauses,
//                   and the modem operations;
//   TransportHost   what the device offers a transport: the log, the receive
//                   path, the shared sender and receiver loops, the wake of
//                   the sender, the end of requests written on a lost
//                   connection, and the byte count it keeps.
//
// The queues, posting, purges, the pending list, batches being filed and the
// receive path's state stay private to the core (trvlib_device.h).
//
// Threads. Each open device runs a sender thread and a receiver thread; the
// transport starts them in DeviceRealOpen, running SenderLoop and
// ReceiverLoop (or a loop of its own that calls ProcessRecvBytes), and stops
// them in DeviceRealClose.
//
// Locks. The core calls into a transport without any lock of the device's
// queues, except for the constant look-ups (Prefix, Category, BusyPauseMs,
// BatchBytes) and writtenOnLostConnection, which run under the output
// queue's lock and take no lock. DeviceRealOpen and DeviceRealClose run
// under the device's open/close lock, which comes before every lock a
// transport has (USBDevice::openMutex -> the bus lock;
// EtherDevice::reopenMutex). The transports' own locks:
//
//   EtherDevice::reopenMutex -> EtherDevice::sendMutex (a leaf, held for
//                      one non-blocking send or one switch of the socket);
//                      released before a dropped connection's requests are
//                      ended (failWritten takes the output queue's lock) and
//                      before resolving a name or connecting
//   RS232Device::writeMutex: held for one write to the port (at most the
//                      send time-out); only the log is written under it
//
// The services that take the output queue's lock (wakeSender, failWritten,
// allowDirectWrites) are called without the transport's send locks
// (EtherDevice::reopenMutex and sendMutex, RS232Device::writeMutex); a
// transport's open/close lock (USBDevice::openMutex) may be held, as it
// comes before the output queue's lock like the device's own.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "trvlib_fifo.h"
#include "trvlib_global.h"
#include "trvlib_log.h"
#include "trvlib_request.h"

namespace trv {

class TRV_Device;

inline void appendLogPart(std::string& s, const std::string& part) { s += part; }
inline void appendLogPart(std::string& s, const char* part) { s += part; }
template <class N, class = std::enable_if_t<std::is_integral_v<N>>>
void appendLogPart(std::string& s, N n) {
    s += std::to_string(static_cast<long long>(n));
}

// Log categories and the frame-dump bit.
constexpr uint32_t LOG_DEVICE = 0x1000;
constexpr uint32_t LOG_RS232 = 0x2000;
constexpr uint32_t LOG_ETHER = 0x4000;
constexpr uint32_t LOG_USB = 0x8000;
constexpr uint32_t LOG_FRAMES = 0x10000;
constexpr uint32_t LOG_QUEUES = 0x800000;

// A transport's write result that leaves the request pending for another try.
constexpr TARVIK_STATUS kKeepPending = 0xFFFFFFFFu;
// A write that may not block could not go on (a posting thread's write):
// the sender takes over from where it stopped.
constexpr TARVIK_STATUS kWouldBlock = 0xFFFFFFFDu;

// Frames written in one go: their bytes back to back, where each one ends,
// and how far the write has come. Filled by the sender (or a posting thread)
// under the output queue's lock, written without it.
struct FrameBatch {
    std::vector<uint8_t> bytes;
    std::vector<size_t> ends;            // ends[i]: one past the last byte of frame i
    std::vector<uint64_t> conn;          // conn[i]: the connection (transport's tag) frame i was wholly written on
    size_t done = 0;                     // bytes written
    size_t whole = 0;                    // frames wholly written
    uint64_t connNow = 0;                // the connection bytes [frameStart(whole), done) went out on
    std::vector<Ref<TRV_Request>> reqs;  // kept valid while written (a purge only unlinks them)
    std::vector<uint32_t> seqs;          // each request's stateSeq when it was taken

    size_t count() const { return ends.size(); }
    size_t frameStart(size_t i) const { return i ? ends[i - 1] : 0; }
    // n more bytes went out on connection tag.
    void advance(size_t n, uint64_t tag) {
        done += n;
        while (whole < ends.size() && ends[whole] <= done) conn[whole++] = tag;
    }
    // The frame in progress starts again from its first byte.
    void restartFrame() { done = frameStart(whole); }
    void clear() {
        bytes.clear();
        ends.clear();
        conn.clear();
        reqs.clear();
        seqs.clear();
        done = whole = 0;
        connNow = 0;
    }
};

// What a transport provides. Pure where every transport has to say
// something; the defaults are what a transport without that feature means.
class TRV_Transport {
public:
    virtual ~TRV_Transport() = default;

    // Opens the connection and starts the sender and receiver threads; true
    // on success (on failure the last error says why). Called under the
    // device's open/close lock, no queue lock; may block for the connect
    // time-out.
    virtual bool DeviceRealOpen() = 0;
    // Stops the threads (they have ended when it returns) and closes the
    // connection; true on success. Called under the open/close lock, no
    // queue lock; blocks until the threads have seen the stop.
    virtual bool DeviceRealClose() = 0;
    // Runs before the last view closes, without the open/close lock or any
    // queue lock: what may block for long at close (a modem hang-up) goes
    // here.
    virtual void PrepareClose() {}

    // Modem operations (TRV_ModemDial, TRV_ModemDisconnect, TRV_ModemStatus,
    // TRV_ModemWrite), called on the application's thread with no device
    // lock. Only the serial transport in modem mode has them; otherwise
    // TARVIK_STATUS_NOTMODEM. The waiting forms of dial and disconnect
    // block until the modem reached the state (or gave up).
    virtual TARVIK_STATUS ModemDial(int) { return TARVIK_STATUS_NOTMODEM; }
    virtual TARVIK_STATUS ModemDisconnect(int) { return TARVIK_STATUS_NOTMODEM; }
    virtual TARVIK_STATUS ModemStatus() { return TARVIK_STATUS_NOTMODEM; }
    virtual TARVIK_STATUS WriteBuffer(const char*) { return TARVIK_STATUS_NOTMODEM; }

protected:
    // The prefix of the loops' log lines ("DEVICE_RS232: " ...); the
    // sender's lines may use another spelling (LoopPrefix). Constant; may be
    // called under any lock.
    virtual const char* Prefix() const = 0;
    virtual const char* LoopPrefix() const { return Prefix(); }
    // The log category of the transport (LOG_RS232 ...). Constant.
    virtual uint32_t Category() const = 0;
    // Pause after a status poll found the register busy before the next one,
    // in milliseconds. Constant; called under the output queue's lock.
    virtual int BusyPauseMs() const { return 250; }
    // Longest sleep of an idle sender, or -1 for none: every change that
    // gives it work wakes it at once. A transport whose sender has to look
    // at something each pass (the modem) asks for a bound.
    virtual int IdleWaitMs() const { return -1; }
    // Writes the frames of b from b.done on and advances b (b.advance) as
    // bytes go out. Returns 0 when every frame is written; otherwise the
    // outcome for frame b.whole, the first one not wholly written: a status
    // that fails it, kKeepPending (it stays pending), or, when mayBlock is
    // false and the write could not go on, kWouldBlock. The frames after it
    // stay pending. Runs without any queue lock, on one thread at a time
    // (the sender, or a posting thread: see allowDirectWrites). With
    // mayBlock it may block up to the send time-out per frame, and has to
    // return soon after the sender is stopped; without it, it never blocks.
    // The default writes frame by frame with WriteFrame.
    virtual TARVIK_STATUS WriteFrames(FrameBatch& b, bool mayBlock);
    // Writes one whole frame: 0, a status that fails the request, or
    // kKeepPending. A transport provides this or WriteFrames; the default
    // fails every frame (TARVIK_STATUS_SELECTFAILED).
    virtual TARVIK_STATUS WriteFrame(const uint8_t* data, size_t len);
    // True when a frame wholly written on connection `tag` (FrameBatch::conn)
    // went out on a connection that has been dropped since. Called under the
    // output queue's lock: reads, takes no lock, never blocks.
    virtual bool writtenOnLostConnection(uint64_t) { return false; }
    // Bytes the sender puts in one batch; at least one frame goes, and with
    // 0 (a transport that writes frame by frame) exactly one. Called under
    // the output queue's lock; reads only.
    virtual size_t BatchBytes() const { return 0; }
    // Runs first in every pass of the sender loop, on the sender thread with
    // no queue lock; true skips frame sending for this pass. May block for a
    // step of the transport's own (the modem dialogue) but looks at the stop
    // at least every 100 ms.
    virtual bool SenderPrePass(Thread&) { return false; }
    // Reads what has arrived into buf (at most cap bytes), on the receiver
    // thread with no device lock, waiting a short while (and no longer than
    // a stop takes to be seen) when nothing has: the number of bytes, 0 for
    // none this time, or -1 when the receiver has to end. Errors and
    // reconnects are the transport's business.
    virtual long ReadChunk(Thread& self, uint8_t* buf, size_t cap) = 0;
    // Largest chunk ReadChunk is asked for. Constant.
    virtual size_t RecvChunk() const = 0;
    // Where received bytes go, on the receiver thread with no device lock:
    // the frame path (TransportHost's default: ProcessRecvBytes), unless the
    // transport has another use for them (the modem's command lines).
    virtual void DeliverBytes(const uint8_t* buf, size_t n) = 0;
};

// What the device offers a transport. Only TRV_Device is one; its services
// are implemented by the core (trvlib_device.cpp, trvlib_sender.cpp,
// trvlib_receive.cpp). The device's last error (SetErrorCode,
// GetLastError) and its parameters (SetDeviceParam / GetDeviceParam, which
// a transport extends and hands on) come from TRV_DeviceBase and TRV_Device.
class TransportHost : public TRV_Transport {
public:
    // Whether a message of this category and level is written; any thread,
    // any lock, never blocks.
    bool logOn(uint32_t category, unsigned threshold) const {
        const uint32_t l = debuglevel.load(std::memory_order_relaxed);
        return l && (l & category) && (l & 0xF) >= threshold;
    }
    // Writes the parts of a message (texts and numbers, numbers in decimal);
    // nothing is formatted unless the message is going to be written. Any
    // thread, any lock (the log file's mutex is a leaf); blocks for one
    // write to the log file.
    template <class... Parts>
    void Log(uint32_t category, unsigned threshold, const Parts&... parts) {
        if (!logOn(category, threshold)) return;
        std::string text;
        (appendLogPart(text, parts), ...);
        lfile.write(text);
    }

    // Bytes the transport put on the wire; the transport counts them.
    std::atomic<int> bytesSent{0};

protected:
    // The frame path: received bytes are cut into frames, and every whole
    // frame is handled (answers end requests, events are queued and the
    // application's callback runs). Receiver thread only (or, for a
    // transport without one, a single thread of its own); no lock of the
    // transport's write path may be held. Blocks for the callback.
    void ProcessRecvBytes(const uint8_t* buffer, size_t read);
    void DeliverBytes(const uint8_t* buf, size_t n) override { ProcessRecvBytes(buf, n); }
    // The receive buffer the frame path cuts frames from; the modem's line
    // path cuts its command lines from it while no call is connected, so
    // what follows a CONNECT line is the frame path's. Receiver thread only.
    FIFO& receiveBuffer();
    // The sender thread body: waits for work, builds batches and writes them
    // with WriteFrames, runs SenderPrePass each pass, until `self` is
    // signalled (then woken with wakeSender). Call with no lock held.
    void SenderLoop(Thread& self);
    // The receiver thread body: ReadChunk, then DeliverBytes, until `self`
    // is signalled or ReadChunk returns -1. Call with no lock held.
    void ReceiverLoop(Thread& self);
    // Wakes the sender after a change the core cannot see (a stop, the
    // connection back): takes the output queue's lock for a moment, so the
    // wake cannot slip in between the sender's look and its sleep.
    void wakeSender();
    // The connection broke: requests written on it will not be answered.
    // They end with `status` (mode 3 ones are deleted). Takes the output
    // queue's lock; call without the transport's send locks.
    void failWritten(TARVIK_STATUS status);
    // While on (between the transport's open and close), a posting thread
    // may write its own frame when the sender is idle: only for a transport
    // whose WriteFrames honours mayBlock = false. Turning it off waits for
    // such a write under way. Takes the output queue's lock.
    void allowDirectWrites(bool on);

private:
    friend class TRV_Device;
    TransportHost() = default;
    TRV_Device& core();

    std::atomic<uint32_t> debuglevel{0};
    TRV_Log lfile{"TRV_DBG.txt"};
};

}  // namespace trv
