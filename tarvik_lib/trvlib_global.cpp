#include "trvlib_global.h"

#include <climits>
#include <ctime>

namespace trv {

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
        std::lock_guard<std::mutex> lk(m_);
        stop_.store(true, std::memory_order_release);
    }
    cv_.notify_all();
    on_signal();
}

void Thread::waitfor() {
    if (th_.joinable() && th_.get_id() != std::this_thread::get_id()) th_.join();
}

bool Thread::sleep_or_stop(int ms) {
    std::unique_lock<std::mutex> lk(m_);
    return cv_.wait_for(lk, std::chrono::milliseconds(ms), [this] { return signalled(); });
}

void TimedSem::post() {
    {
        std::lock_guard<std::mutex> lk(m_);
        ++count_;
    }
    cv_.notify_one();
}

bool TimedSem::wait(int ms) {
    std::unique_lock<std::mutex> lk(m_);
    if (!cv_.wait_for(lk, std::chrono::milliseconds(ms), [this] { return count_ > 0; })) return false;
    --count_;
    return true;
}

}  // namespace trv
