#include "trvlib_request.h"

#include <algorithm>
#include <thread>

#include "trvlib_deviceview.h"

namespace trv {

TRV_Request::TRV_Request() : Tagged(kKind) {
    items.SetMode(0);
    response.SetMode(0);
}

TRV_Request::~TRV_Request() {
    if (myDevice) myDevice->release();
}

namespace {
// An answer on a fast connection arrives within tens of microseconds, less
// than putting a thread to sleep and waking it costs: a waiter looks for a
// short while before it sleeps. Not on one processor, where looking only
// keeps the receiver from running.
constexpr auto kSpinBeforeSleep = std::chrono::microseconds(50);
const bool kMaySpin = std::thread::hardware_concurrency() > 1;

inline void cpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}
}  // namespace

// The sleeper counts itself in before it looks at the word a last time, and
// the waker moves the word before it looks at the count (both sequentially
// consistent): either the sleeper sees the new word and does not sleep, or
// the waker sees the sleeper and wakes it.
void TRV_Request::waitChange(uint32_t seen, Clock::time_point deadline) {
    if (kMaySpin) {
        const auto until = std::min(deadline, Clock::now() + kSpinBeforeSleep);
        while (wakeSeq_.load(std::memory_order_acquire) == seen) {
            if (Clock::now() >= until) break;
            cpuRelax();
        }
        if (wakeSeq_.load(std::memory_order_acquire) != seen) return;
    }
    waiters_.fetch_add(1);
    if (wakeSeq_.load() == seen) futexWait(wakeSeq_, seen, deadline);
    waiters_.fetch_sub(1);
}

void TRV_Request::wakeWaiters() {
    wakeSeq_.fetch_add(1);
    if (waiters_.load() == 0) return;
    if (DeferWakes* d = DeferWakes::current()) d->add(this);
    else futexWakeAll(wakeSeq_);
}

namespace {
thread_local DeferWakes* openScope = nullptr;
}

DeferWakes::DeferWakes() : outer_(openScope) { openScope = this; }

DeferWakes::~DeferWakes() {
    openScope = outer_;
    for (size_t i = 0; i < n_; ++i) futexWakeAll(few_[i]->wakeSeq_);
    for (auto& r : more_) futexWakeAll(r->wakeSeq_);
    // The references go last: the request may have been deleted meanwhile.
}

DeferWakes* DeferWakes::current() { return openScope; }

void DeferWakes::add(TRV_Request* r) {
    // The request stays valid until the wake even if it is deleted first.
    if (n_ < 4) {
        few_[n_++] = Ref<TRV_Request>::share(r);
        return;
    }
    try {
        more_.push_back(Ref<TRV_Request>::share(r));
    } catch (const std::bad_alloc&) {
        futexWakeAll(r->wakeSeq_);  // no room to wait with it: now
    }
}

std::vector<uint8_t> TRV_Request::toFrame(const Cipher& c) {
    std::vector<const TRV_DataItem*> list;
    list.reserve(items.Count());
    for (TRV_DataItem* it = items.First(); it; it = items.Next()) list.push_back(it);
    return encodeFrame(flags, token, cmd_id, list, c, CipherOrder::ItemsFirst);
}

bool TRV_Request::appendFrame(std::vector<uint8_t>& out, const Cipher& c, std::string& scratch) {
    scratch.clear();
    bool ok = true;
    for (TRV_DataItem* it = items.First(); it && ok; it = items.Next()) ok = it->toBinary(scratch);
    if (!ok) {
        if (c.active()) flags |= kFlagEnciphered;
        return false;
    }
    return appendEncodedFrame(out, flags, token, cmd_id, scratch, static_cast<size_t>(items.Count()), c,
                              CipherOrder::ItemsFirst);
}

int TRV_Request::fromFrame(const uint8_t* frame, size_t len, const Cipher& c) {
    DecodedFrame d;
    int rc = decodeFrame(frame, len, c, CipherOrder::CommandFirst, d);
    flags = d.flags;
    token = d.token;
    cmd_id = d.cmd;
    for (TRV_DataItem& it : d.items) {
        auto* p = new (std::nothrow) TRV_DataItem(std::move(it));
        if (!p) return FRAME_NOMEM;
        items.Add(p);
    }
    return rc;
}

}  // namespace trv
