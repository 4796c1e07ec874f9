#include "trvlib_global.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>
#include <ctime>
#include <unordered_map>

namespace trv {

// ---------------------------------------------------------------- handles

// The live objects, in shards chosen by address so that threads working on
// different handles seldom meet on one lock. Each shard's mutex is a leaf:
// nothing else is locked under it, and no object is released under it.
class HandleRegistry {
public:
    static HandleRegistry& instance() {
        // Never destroyed: a thread still calling in while the process exits
        // must find it.
        static HandleRegistry* r = new HandleRegistry;
        return *r;
    }

    void add(Tagged* t) {
        Shard& s = shard(t);
        MutexLock lk(s.m);
        try {
            s.live.emplace(t, t);
            t->alive_.store(true, std::memory_order_release);
        } catch (const std::bad_alloc&) {
            // Left unregistered: newTagged() gives the object up.
        }
    }

    bool remove(Tagged* t) {
        Shard& s = shard(t);
        MutexLock lk(s.m);
        if (!t->alive_.load(std::memory_order_relaxed)) return false;
        t->alive_.store(false, std::memory_order_release);
        s.live.erase(t);
        return true;
    }

    Tagged* pin(const void* h, uint32_t kindMask) {
        Shard& s = shard(h);
        MutexLock lk(s.m);
        auto it = s.live.find(h);
        if (it == s.live.end()) return nullptr;
        Tagged* t = it->second;
        if (!(static_cast<uint32_t>(t->kind_) & kindMask)) return nullptr;
        // Registered means the owner's reference has not been dropped yet
        // (kill() removes the entry first), so the count is above 0 here.
        t->acquire();
        return t;
    }

private:
    static constexpr size_t kShards = 64;
    struct alignas(64) Shard {
        Mutex m;
        std::unordered_map<const void*, Tagged*> live GUARDED_BY(m);
    };
    Shard& shard(const void* p) {
        const uint64_t a = reinterpret_cast<uintptr_t>(p) >> 4;
        return shards_[(a * 0x9E3779B97F4A7C15ull) >> 58];
    }
    Shard shards_[kShards];
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

int stringtoi(const std::string& s) {
    if (s.empty()) return -1;
    long long v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return -1;
        v = v * 10 + (c - '0');
        if (v > INT_MAX) return -1;
    }
    return static_cast<int>(v);
}

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
