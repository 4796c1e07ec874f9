#include "trvlib_global.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>
#include <ctime>
#include <memory>
#include <utility>
#include <vector>

namespace trv {

// ---------------------------------------------------------------- handles

// The live objects, by handle value. A value packs three fields:
//
//     bits 0-5             the shard (64 shards, each with its own lock)
//     the next kIndexBits  the slot within the shard
//     the bits above       the slot's generation, from 1 up
//
// Each slot remembers the value of its last occupant. When the object leaves,
// the slot goes on the shard's free list and its next occupant gets the next
// generation, so the old value matches nothing any more. A look-up is a
// shift, a mask, one lock and one compare: it never searches and never reads
// the memory of the object it is asked about.
//
// Limits. On a 64-bit system a shard has 2^20 slots (64 M live handles in
// all) and a slot 2^38 - 1 generations; a slot that has used them all is
// retired rather than wrapped, so no value is ever issued twice (2^58 values
// in all: centuries of creating handles at ten million a second). On a 32-bit
// system a shard has 2^12 slots and a slot's generation wraps after 16383
// reuses (skipping 0): there a value can come back, but only after its slot
// was reused that many times.
//
// New objects go to the shards in turn, so that threads working on different
// handles seldom meet on one lock. Each shard's mutex is a leaf: nothing
// else is locked under it, and no object is released under it.
class HandleRegistry {
public:
    static HandleRegistry& instance() {
        // Never destroyed: a thread still calling in while the process exits
        // must find it.
        static HandleRegistry* r = new HandleRegistry;
        return *r;
    }

    // Gives t a slot and its handle value; leaves t unregistered (alive()
    // false) when no slot can be had.
    void add(Tagged* t) {
        const size_t first = next_.fetch_add(1, std::memory_order_relaxed);
        for (size_t k = 0; k < kShards; ++k) {
            const uintptr_t shardNo = (first + k) & kShardMask;
            Shard& s = shards_[shardNo];
            MutexLock lk(s.m);
            uintptr_t idx, gen;
            if (s.freeHead != kNoSlot) {
                idx = s.freeHead;
                Slot& slot = s.at(idx);
                s.freeHead = slot.nextFree;
                gen = nextGeneration(slot.value >> kGenShift);
            } else if (s.used < kSlotsPerShard) {
                if (s.used % kChunkSlots == 0) {
                    try {
                        auto chunk = std::make_unique<Slot[]>(kChunkSlots);
                        s.chunks.push_back(std::move(chunk));
                    } catch (const std::bad_alloc&) {
                        return;  // newTagged() gives the object up
                    }
                }
                idx = s.used++;
                gen = 1;
            } else {
                continue;  // this shard is full: the next one
            }
            Slot& slot = s.at(idx);
            slot.obj = t;
            slot.value = (gen << kGenShift) | (idx << kShardBits) | shardNo;
            t->handle_ = slot.value;
            t->alive_.store(true, std::memory_order_release);
            return;
        }
    }

    // Ends t's handle; false when it was not live (killed before, or never
    // registered).
    bool remove(Tagged* t) {
        const uintptr_t h = t->handle_;
        if (!h) return false;
        Shard& s = shards_[h & kShardMask];
        MutexLock lk(s.m);
        if (!t->alive_.load(std::memory_order_relaxed)) return false;
        t->alive_.store(false, std::memory_order_release);
        const uintptr_t idx = (h >> kShardBits) & kIndexMask;
        Slot& slot = s.at(idx);
        slot.obj = nullptr;
        if (kWrap || (h >> kGenShift) != kGenLast) {
            slot.nextFree = s.freeHead;
            s.freeHead = static_cast<uint32_t>(idx);
        }
        return true;
    }

    Tagged* pin(const void* p, uint32_t kindMask) {
        const uintptr_t h = reinterpret_cast<uintptr_t>(p);
        Shard& s = shards_[h & kShardMask];
        const uintptr_t idx = (h >> kShardBits) & kIndexMask;
        MutexLock lk(s.m);
        if (idx >= s.used) return nullptr;
        const Slot& slot = s.at(idx);
        Tagged* t = slot.obj;
        if (!t || slot.value != h) return nullptr;
        if (!(static_cast<uint32_t>(t->kind_) & kindMask)) return nullptr;
        // Registered means the owner's reference has not been dropped yet
        // (kill() removes the entry first), so the count is above 0 here.
        t->acquire();
        return t;
    }

private:
    static constexpr bool kWide = sizeof(uintptr_t) >= 8;
    static constexpr unsigned kShardBits = 6;
    static constexpr size_t kShards = size_t(1) << kShardBits;
    static constexpr uintptr_t kShardMask = kShards - 1;
    static constexpr unsigned kIndexBits = kWide ? 20 : 12;
    static constexpr uintptr_t kIndexMask = (uintptr_t(1) << kIndexBits) - 1;
    static constexpr uint32_t kSlotsPerShard = uint32_t(1) << kIndexBits;
    static constexpr unsigned kGenShift = kShardBits + kIndexBits;
    static constexpr uintptr_t kGenLast = ~uintptr_t(0) >> kGenShift;  // the highest generation
    static constexpr bool kWrap = !kWide;  // see Limits above
    static constexpr uint32_t kChunkSlots = 128;
    static constexpr uint32_t kNoSlot = ~uint32_t(0);

    static uintptr_t nextGeneration(uintptr_t gen) { return gen == kGenLast ? 1 : gen + 1; }

    struct Slot {
        Tagged* obj = nullptr;   // the live occupant, or null
        uintptr_t value = 0;     // the handle value of the last occupant
        uint32_t nextFree = kNoSlot;
    };
    // Slots live in chunks that never move, allocated as the shard grows.
    struct alignas(64) Shard {
        Mutex m;
        std::vector<std::unique_ptr<Slot[]>> chunks GUARDED_BY(m);
        uint32_t used GUARDED_BY(m) = 0;          // slots ever handed out
        uint32_t freeHead GUARDED_BY(m) = kNoSlot;  // given-up slots, last one first
        Slot& at(uintptr_t idx) REQUIRES(m) { return chunks[idx / kChunkSlots][idx % kChunkSlots]; }
    };
    Shard shards_[kShards];
    std::atomic<size_t> next_{0};
};

Tagged::Tagged(Kind k) : kind_(k) { HandleRegistry::instance().add(this); }

Tagged::~Tagged() {
    if (alive_.load(std::memory_order_acquire)) HandleRegistry::instance().remove(this);
}

bool Tagged::kill() {
    if (!HandleRegistry::instance().remove(this)) return false;
    onKilled();
    release();
    return true;
}

Tagged* pinHandle(const void* h, uint32_t kindMask) {
    if (!h) return nullptr;
    return HandleRegistry::instance().pin(h, kindMask);
}

// ---------------------------------------------------------------- helpers

uint32_t now_seconds() { return static_cast<uint32_t>(std::time(nullptr)); }

Thread::~Thread() {
    // A derived destructor must have stopped the thread; this is a last guard.
    if (th_.joinable()) {
        signal();
        th_.join();
    }
}

void Thread::start() {
    stop_.store(false, std::memory_order_release);
    th_ = std::thread([this] {
        execute();
        cleanup();
    });
}

void Thread::signal() {
    {
        MutexLock lk(m_);
        stop_.store(true, std::memory_order_release);
    }
    cv_.notify_all();
    on_signal();
}

void Thread::waitfor() {
    if (th_.joinable() && th_.get_id() != std::this_thread::get_id()) th_.join();
}

bool Thread::sleep_or_stop(int ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    MutexLock lk(m_);
    while (!signalled())
        if (!cv_.wait_until(m_, deadline)) break;
    return signalled();
}

static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t) && std::atomic<uint32_t>::is_always_lock_free,
              "a futex word is a plain 32-bit word");

void futexWait(std::atomic<uint32_t>& word, uint32_t seen, Clock::time_point deadline) {
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return;
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    timespec ts{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    // Returns at once when the word moved already (EAGAIN), on a wake, a
    // signal or the time-out; the caller looks again in every case.
    ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAIT_PRIVATE, seen, &ts, nullptr, 0);
}

void futexWakeAll(std::atomic<uint32_t>& word) {
    ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
}

void TimedSem::post() {
    {
        MutexLock lk(m_);
        ++count_;
    }
    cv_.notify_one();
}

bool TimedSem::wait(int ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    MutexLock lk(m_);
    while (count_ == 0)
        if (!cv_.wait_until(m_, deadline)) break;
    if (count_ == 0) return false;
    --count_;
    return true;
}

}  // namespace trv
