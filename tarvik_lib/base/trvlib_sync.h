// Locks of libtarvik with clang's thread-safety annotations.
//
// Every mutex of the library is a trv::Mutex, so that clang's
// -Wthread-safety checks (CI builds the library with it, warnings as errors)
// that guarded fields are only touched with their lock held, that a function
// documented as called under a lock is, and that scoped locks are released.
// Under GCC the annotations are empty.
//
// CondVar waits on a Mutex held through a MutexLock (or a REQUIRES function);
// predicates are written as loops around wait() in the caller, where the
// analysis can see the lock.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#if defined(__clang__)
#define TRV_TSA(x) __attribute__((x))
#else
#define TRV_TSA(x)
#endif

#define CAPABILITY(x) TRV_TSA(capability(x))
#define SCOPED_CAPABILITY TRV_TSA(scoped_lockable)
#define GUARDED_BY(x) TRV_TSA(guarded_by(x))
#define PT_GUARDED_BY(x) TRV_TSA(pt_guarded_by(x))
#define ACQUIRED_BEFORE(...) TRV_TSA(acquired_before(__VA_ARGS__))
#define ACQUIRED_AFTER(...) TRV_TSA(acquired_after(__VA_ARGS__))
#define REQUIRES(...) TRV_TSA(requires_capability(__VA_ARGS__))
#define EXCLUDES(...) TRV_TSA(locks_excluded(__VA_ARGS__))
#define ACQUIRE(...) TRV_TSA(acquire_capability(__VA_ARGS__))
#define RELEASE(...) TRV_TSA(release_capability(__VA_ARGS__))
#define TRY_ACQUIRE(...) TRV_TSA(try_acquire_capability(__VA_ARGS__))
#define RETURN_CAPABILITY(x) TRV_TSA(lock_returned(x))
#define NO_THREAD_SAFETY_ANALYSIS TRV_TSA(no_thread_safety_analysis)

namespace trv {

class CAPABILITY("mutex") Mutex {
public:
    Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;
    void lock() ACQUIRE() { m_.lock(); }
    void unlock() RELEASE() { m_.unlock(); }
    bool try_lock() TRY_ACQUIRE(true) { return m_.try_lock(); }

private:
    friend class CondVar;
    std::mutex m_;
};

// Holds a Mutex for its scope; unlock() / lock() in between are allowed.
class SCOPED_CAPABILITY MutexLock {
public:
    explicit MutexLock(Mutex& m) ACQUIRE(m) : m_(m) { m_.lock(); }
    ~MutexLock() RELEASE() {
        if (held_) m_.unlock();
    }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;
    void unlock() RELEASE() {
        m_.unlock();
        held_ = false;
    }
    void lock() ACQUIRE() {
        m_.lock();
        held_ = true;
    }

private:
    Mutex& m_;
    bool held_ = true;
};

class CondVar {
public:
    using Clock = std::chrono::steady_clock;
    void notify_one() { cv_.notify_one(); }
    void notify_all() { cv_.notify_all(); }
    // One wait, woken by a notification, spuriously, or at the deadline;
    // false when the deadline has passed.
    bool wait_until(Mutex& m, Clock::time_point deadline) REQUIRES(m) {
        std::unique_lock<std::mutex> lk(m.m_, std::adopt_lock);
        const bool inTime = cv_.wait_until(lk, deadline) == std::cv_status::no_timeout;
        lk.release();
        return inTime || Clock::now() < deadline;
    }
    bool wait_for(Mutex& m, std::chrono::milliseconds d) REQUIRES(m) { return wait_until(m, Clock::now() + d); }
    void wait(Mutex& m) REQUIRES(m) {
        std::unique_lock<std::mutex> lk(m.m_, std::adopt_lock);
        cv_.wait(lk);
        lk.release();
    }

private:
    std::condition_variable cv_;
};

}  // namespace trv
