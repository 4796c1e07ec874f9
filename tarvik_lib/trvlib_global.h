// Small shared pieces of libtarvik: handle kinds, our thread base, a timed
// semaphore, PTypes-style string-to-integer, clocks.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "tarvik/tarvik.h"

namespace trv {

// Every object handed out as a TARVIK_HANDLE starts with one of these tags,
// so a handle of the wrong kind is told apart and answered as a null handle.
// The tag is overwritten when the object dies, which catches most (not all)
// uses of a destroyed handle.
enum class Kind : uint32_t {
    Dead = 0,
    Request = 0x52515354,  // "RQST"
    Device = 0x44455643,   // "DEVC"
    View = 0x56494557,     // "VIEW"
};

struct Tagged {
    explicit Tagged(Kind k) : kind_(k) {}
    ~Tagged() { kind_.store(Kind::Dead, std::memory_order_relaxed); }
    Tagged(const Tagged&) = delete;
    Tagged& operator=(const Tagged&) = delete;
    bool is(Kind k) const { return kind_.load(std::memory_order_relaxed) == k; }
    std::atomic<Kind> kind_;
};

template <class T>
T* handle_cast(TARVIK_HANDLE h) {
    if (!h) return nullptr;
    return static_cast<T*>(h)->is(T::kKind) ? static_cast<T*>(h) : nullptr;
}

// PTypes' string-to-integer rule: decimal digits only; empty text, any other
// character or overflow of a 32-bit int gives -1.
int stringtoi(const std::string& s);

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
    std::mutex m_;
    std::condition_variable cv_;
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

// A counting semaphore with a time-out (the modem's line semaphore).
class TimedSem {
public:
    void post();
    // true when taken before ms passed.
    bool wait(int ms);

private:
    std::mutex m_;
    std::condition_variable cv_;
    unsigned count_ = 0;
};

}  // namespace trv
