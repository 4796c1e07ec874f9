// A device whose "wire" is the test itself: the shared sender loop runs as for
// any transport, frames it writes are recorded, and the test plays the
// register by feeding bytes to the receive path.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

#include "trvlib_boundary.h"
#include "trvlib_device.h"
#include "trvlib_deviceview.h"

namespace trv::test {

// A handle is a value, not the object's address: tests that hold an object
// give its handle to the exported functions, and tests that look inside the
// object behind a handle resolve it through the registry. objectOf gives the
// live object of kind T (or a class derived from it) or null; the caller's
// handle keeps it alive.
inline TARVIK_HANDLE handleOf(const Tagged& t) { return t.handle(); }
inline TARVIK_HANDLE handleOf(const Tagged* t) { return t ? t->handle() : nullptr; }
template <class T>
T* objectOf(TARVIK_HANDLE h) {
    return lookup<T>(h).get();
}

using LoopThread = FunctionThread;

class TestDevice : public TRV_Device {
public:
    ~TestDevice() override { DeviceRealClose(); }

    bool DeviceRealOpen() override {
        if (failOpen) return false;
        sender = std::make_unique<LoopThread>([this](Thread& t) { SenderLoop(t); });
        sender->start();
        return true;
    }
    bool DeviceRealClose() override {
        if (sender) {
            sender->signal();
            wakeSender();
            sender->waitfor();
            sender.reset();
        }
        return true;
    }

    // Plays the register: bytes arrive as if the receiver thread read them.
    void feed(const std::vector<uint8_t>& bytes) { ProcessRecvBytes(bytes.data(), bytes.size()); }

    // Waits for the next frame the sender wrote.
    bool nextWritten(std::vector<uint8_t>& frame, int ms = 2000) {
        std::unique_lock<std::mutex> lk(m);
        if (!cv.wait_for(lk, std::chrono::milliseconds(ms), [&] { return !written.empty(); })) return false;
        frame = std::move(written.front());
        written.pop_front();
        return true;
    }
    size_t writtenCount() {
        std::lock_guard<std::mutex> lk(m);
        return written.size();
    }

    using TRV_Device::staleOwnMs;  // shortened by tests of the library's own polls and stops
    std::atomic<TARVIK_STATUS> writeResult{0};  // what the next writes report
    bool failOpen = false;
    int busyPause = 250;
    std::function<void()> duringWrite;  // runs inside a write, without queue locks
    std::function<void(const std::vector<uint8_t>&)> afterWrite;  // likewise, with the frame written

protected:
    const char* Prefix() const override { return "DEVICE_TEST: "; }
    uint32_t Category() const override { return LOG_DEVICE; }
    int BusyPauseMs() const override { return busyPause; }
    // No receiver thread: the test feeds the receive path itself.
    long ReadChunk(Thread&, uint8_t*, size_t) override { return -1; }
    size_t RecvChunk() const override { return 16; }
    TARVIK_STATUS WriteFrame(const uint8_t* data, size_t len) override {
        if (duringWrite) duringWrite();
        if (writeResult) return writeResult;
        bytesSent += static_cast<int>(len);
        {
            std::lock_guard<std::mutex> lk(m);
            written.emplace_back(data, data + len);
        }
        cv.notify_all();
        if (afterWrite) afterWrite(std::vector<uint8_t>(data, data + len));
        return 0;
    }

private:
    std::unique_ptr<LoopThread> sender;
    std::mutex m;
    std::condition_variable cv;
    std::deque<std::vector<uint8_t>> written;
};

}  // namespace trv::test
