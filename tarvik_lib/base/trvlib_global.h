// Small shared pieces of libtarvik: handles and their registry, our thread
// base, a timed semaphore, clocks; stringtoi (trvlib_stringtoi.h).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <new>
#include <mutex>
#include <string>
#include <thread>

#include "tarvik/tarvik.h"
#include "trvlib_stringtoi.h"
#include "trvlib_sync.h"

namespace trv {

// Handles.
//
// Every object handed out as a TARVIK_HANDLE (request, view, device) is a
// Tagged: it is entered in the process-wide handle registry when it is
// constructed and leaves it when it is killed (destroyed as a handle) or
// destructed. The application never sees the object's address: it holds the
// handle value the registry gave the object (handle()), and every exported
// function resolves that value through the registry, which answers only for
// a live object of the asked kind and pins it (one reference) for the length
// of the call. So a destroyed handle, a value the library never issued, or a
// handle of another kind is answered like a null handle, and no memory is
// read through it.
//
// Handle values are never reused while the process lives. A value is a
// registry slot and that slot's generation; the generation moves on every
// time the slot is given up, so once an object is gone its value stays dead
// for good, even when the allocator hands the object's memory to a new
// request straight away (see HandleRegistry in trvlib_global.cpp for the
// layout and its limits). A value is never 0.
//
// Lifetime is reference counted. The object's owner (the application's
// handle; the library for requests it deletes itself) holds one reference,
// a pin holds one, a request holds one on its view, a view one on its
// device. kill() ends the handle at once (every later look-up fails) and
// drops the owner's reference; the memory goes with the last reference, so
// a thread still working on the object (a waiter, the sender writing it)
// finishes on valid memory and sees alive() false.
//
// Inside the library objects are passed by pointer; a pointer becomes a
// handle only where it is handed to the application, by handle(), read while
// the object is known to be alive (under the lock of the queue it is taken
// from, or before anyone else can know it).
enum class Kind : uint32_t { Request = 1, Device = 2, View = 4 };

class Tagged {
public:
    explicit Tagged(Kind k);
    virtual ~Tagged();
    Tagged(const Tagged&) = delete;
    Tagged& operator=(const Tagged&) = delete;

    Kind kind() const { return kind_; }
    // The value the application holds for this object; null only for an
    // object the registry could not take (newTagged gives it up).
    TARVIK_HANDLE handle() const { return reinterpret_cast<TARVIK_HANDLE>(handle_); }
    // The handle is live: registered and not killed.
    bool alive() const { return alive_.load(std::memory_order_acquire); }
    void acquire() { refs_.fetch_add(1, std::memory_order_relaxed); }
    void release() {
        if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }
    // Ends the handle and drops the owner's reference; true for the one call
    // that ended it (a second kill, or a kill racing another, does nothing).
    bool kill();

protected:
    // Runs once, when kill() ends the handle (before the owner's reference
    // goes): whoever waits on the object is told.
    virtual void onKilled() {}

private:
    friend class HandleRegistry;
    const Kind kind_;
    uintptr_t handle_ = 0;  // set once by the registry, while constructing
    std::atomic<int> refs_{1};
    std::atomic<bool> alive_{false};
};

// A counted reference (a pin) to a Tagged object.
template <class T>
class Ref {
public:
    Ref() = default;
    explicit Ref(T* adopted) : p_(adopted) {}  // takes over one reference
    Ref(Ref&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    Ref& operator=(Ref&& o) noexcept {
        if (this != &o) {
            reset();
            p_ = o.p_;
            o.p_ = nullptr;
        }
        return *this;
    }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    ~Ref() { reset(); }
    // A new reference to an object the caller knows to be alive.
    static Ref share(T* p) {
        if (p) p->acquire();
        return Ref(p);
    }
    void reset() {
        if (p_) p_->release();
        p_ = nullptr;
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

// Looks the handle value h up among the live objects of the kinds in
// kindMask and pins it; null for anything else. h is only a number here: no
// memory is read through it.
Tagged* pinHandle(const void* h, uint32_t kindMask);

template <class T>
Ref<T> lookup(const void* h) {
    return Ref<T>(static_cast<T*>(pinHandle(h, static_cast<uint32_t>(T::kKind))));
}

// new (std::nothrow) for Tagged objects: null when either the memory or the
// registry entry cannot be had.
template <class T, class... Args>
T* newTagged(Args&&... args) {
    T* p = new (std::nothrow) T(std::forward<Args>(args)...);
    if (p && !p->alive()) {
        delete p;
        return nullptr;
    }
    return p;
}


// Seconds since the epoch.
uint32_t now_seconds();

using Clock = std::chrono::steady_clock;

// The thread base of our transports: start / signal / wait for end /
// signalled, and a stop-aware sleep so a stop is seen at once instead of
// after the current sleep.
class Thread {
public:
    virtual ~Thread();
    void start();
    void signal();              // ask the thread to stop
    void waitfor();             // join
    bool signalled() const { return stop_.load(std::memory_order_acquire); }
    bool running() const { return th_.joinable(); }
    // Sleeps up to ms; returns true when the thread was signalled meanwhile.
    bool sleep_or_stop(int ms);

protected:
    virtual void execute() = 0;
    virtual void cleanup() {}
    // Called by signal(), so blocked I/O can be woken as well.
    virtual void on_signal() {}

private:
    std::thread th_;
    std::atomic<bool> stop_{false};
    Mutex m_;  // leaf: only for the stop-aware sleep
    CondVar cv_;
};

// A thread whose body is a function (the sender loop of a transport).
class FunctionThread : public Thread {
public:
    explicit FunctionThread(std::function<void(Thread&)> body) : body_(std::move(body)) {}
    ~FunctionThread() override { signal(); waitfor(); }

protected:
    void execute() override { body_(*this); }

private:
    std::function<void(Thread&)> body_;
};

// A futex on a 32-bit word: sleeps while the word still holds `seen`, until
// woken or the deadline; wakeAll wakes every sleeper on the word.
void futexWait(std::atomic<uint32_t>& word, uint32_t seen, Clock::time_point deadline);
void futexWakeAll(std::atomic<uint32_t>& word);

// A counting semaphore with a time-out (the modem's line semaphore).
class TimedSem {
public:
    void post();
    // true when taken before ms passed.
    bool wait(int ms);

private:
    Mutex m_;  // leaf
    CondVar cv_;
    unsigned count_ GUARDED_BY(m_) = 0;
};

}  // namespace trv
