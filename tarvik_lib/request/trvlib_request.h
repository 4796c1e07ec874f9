// TRV_Request: one command for the register with its values, from its
// creation through its post, its frame and its answer to its end; its states
// (TARVIK_STATE_*), the bookkeeping the device core keeps in it, and waiting
// for it to finish. The frame itself is the codec's (trvlib_frame.h): a
// request only hands it its values.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "trvlib_dataitem.h"
#include "trvlib_frame.h"
#include "trvlib_global.h"
#include "trvlib_reportlist.h"

namespace trv {

class TRV_DeviceView;

class TRV_Request : public Tagged {
public:
    static constexpr Kind kKind = Kind::Request;
    // Automatic repetitions a post may use up (transmission errors, damaged
    // answers).
    static constexpr int kRetries = 5;
    // Replays after answers with a CRC error a post may use up: line noise
    // is not counted against the retries, but a line that damages every
    // answer must not keep a request alive for good.
    static constexpr int kCrcReplays = 50;
    TRV_Request();
    ~TRV_Request() override;

    std::vector<uint8_t> toFrame(const Cipher& c);
    // Appends the frame to out (scratch: room for the encoded values);
    // false, with out unchanged, when the values do not fit a frame.
    bool appendFrame(std::vector<uint8_t>& out, const Cipher& c, std::string& scratch);
    int fromFrame(const uint8_t* frame, size_t len, const Cipher& c);

    CReportList<TRV_DataItem> items;     // parameters (owning)
    CReportList<TRV_DataItem> response;  // answer values (owning)
    uint32_t read_ptr = 0;
    uint32_t token = 0;
    uint16_t flags = 0;
    uint16_t cmd_id = 0;
    uint8_t post_mode = 0;
    // The view (not the device) the request was created on: a counted
    // reference, see TRV_DeviceView.
    TRV_DeviceView* myDevice = nullptr;
    std::atomic<uint32_t> state{TARVIK_STATE_NEW};
    std::atomic<uint32_t> start_time{0};
    TARVIK_STATUS other_error = 0;
    int max_retry_count = kRetries;  // retries left, not a maximum: counts down

    // Bookkeeping of the device core, guarded by the output queue's mutex.
    uint32_t stateSeq = 0;           // bumped on every state change by the core
    int crcReplays = 0;              // replays after CRC errors since the post
    // Batches that hold its frame and have not been filed yet: while one
    // does, the frame may be on the wire even if the request has left the
    // output queue (cancelled, or answered before the writer filed it).
    uint16_t writing = 0;
    bool cancelledInWrite = false;   // cancelled while a batch held its frame
    Clock::time_point sentAt{};      // when its frame was last written
    // Link in the device's list of pending requests (the order the sender
    // takes them in), see PendingList in trvlib_device.h.
    TRV_Request* pendPrev = nullptr;
    TRV_Request* pendNext = nullptr;
    bool pendLinked = false;
    // Membership of the device's four queues, each flag written under the
    // lock of its queue, so nobody walks a queue to find a request that is
    // not in it (and nobody takes a queue's lock to find that out).
    std::atomic<bool> queued[4] = {false, false, false, false};

    void setState(uint32_t s) {
        state.store(s, std::memory_order_release);
        ++stateSeq;
        if (s == TARVIK_STATE_COMPLETED || s == TARVIK_STATE_ERROR) wakeWaiters();
    }

    // Waiting for this request: a thread that waits sleeps on the request's
    // own word, which moves when the request finishes or is deleted, so a
    // completion wakes only those who wait for it (and nobody at all when
    // nobody waits). Waits until the word moves past `seen` or the deadline.
    uint32_t waitSeq() const { return wakeSeq_.load(std::memory_order_acquire); }
    void waitChange(uint32_t seen, Clock::time_point deadline);
    // Moves the word; a sleeper is woken at once, or, inside a DeferWakes
    // scope on this thread, when the scope ends.
    void wakeWaiters();

protected:
    void onKilled() override { wakeWaiters(); }

private:
    friend class DeferWakes;
    std::atomic<uint32_t> wakeSeq_{0};
    std::atomic<uint32_t> waiters_{0};
};

// Holds back the wakes of requests finished on this thread until the scope
// ends. The receive path finishes a request under the queue locks; a waiter
// woken there would run straight into those locks (its next call, a destroy
// say, takes them). Declared before the locks are taken, the scope ends
// after they are let go.
class DeferWakes {
public:
    DeferWakes();
    ~DeferWakes();
    DeferWakes(const DeferWakes&) = delete;
    DeferWakes& operator=(const DeferWakes&) = delete;
    // The scope open on this thread, if any.
    static DeferWakes* current();
    void add(TRV_Request* r);

private:
    DeferWakes* outer_;
    Ref<TRV_Request> few_[4];  // usually one: no allocation
    size_t n_ = 0;
    std::vector<Ref<TRV_Request>> more_;
};

}  // namespace trv
