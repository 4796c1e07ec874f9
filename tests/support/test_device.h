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

// The frame the sender wrote, decoded as the register decodes it.
inline DecodedFrame decodeSent(const std::vector<uint8_t>& f, const Cipher& c = Cipher{}) {
    DecodedFrame d;
    decodeFrame(f.data(), f.size(), c, CipherOrder::ItemsFirst, d);
    return d;
}

// The test transport: it provides only what the transport seam asks for
// (trvlib_transport.h) and uses only what it offers. The shared sender loop
// runs as for any transport; there is no receiver thread. Every frame
// written is recorded one by one (nextWritten) and every write as a whole,
// with the connection it went out on (nextWrite). A write can be held until
// released, and the connection can be lost part-way through one. By default
// frames go one per write (batchBytes 0); with batchBytes set, pending
// frames go together.
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
        release(true);
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
    // The frames of the next write, decoded, and the connection they went on.
    bool nextWrite(std::vector<DecodedFrame>& frames, uint64_t* on = nullptr) {
        std::unique_lock<std::mutex> lk(m);
        if (!cv.wait_for(lk, std::chrono::seconds(2), [&] { return !writes.empty(); })) return false;
        frames.clear();
        for (const auto& f : writes.front().first) frames.push_back(decodeSent(f));
        if (on) *on = writes.front().second;
        writes.pop_front();
        return true;
    }

    // The next write not yet started waits until release(); its number.
    int holdNext() {
        std::lock_guard<std::mutex> lk(m);
        holdAt = started;
        return holdAt;
    }
    bool waitHeld(int n) {
        std::unique_lock<std::mutex> lk(m);
        return cv.wait_for(lk, std::chrono::seconds(2), [&] { return heldNo == n; });
    }
    // Lets the held write go (andLater: and holds none from now on).
    void release(bool andLater = false) {
        {
            std::lock_guard<std::mutex> lk(m);
            if (andLater) holdAt = -1;
            if (heldNo >= 0) released = true;
        }
        cv.notify_all();
    }
    // The next write of more than this many frames puts them whole and half
    // of the one after on the connection, which then drops; the rest goes on
    // a new one.
    void loseAfter(int frames) {
        std::lock_guard<std::mutex> lk(m);
        lossAfter = frames;
    }

    std::atomic<TARVIK_STATUS> writeResult{0};  // what the next writes report
    bool failOpen = false;
    int busyPause = 250;
    size_t batchBytes = 0;  // set before opening
    std::function<void()> duringWrite;  // runs inside a write, without queue locks
    std::function<void(const std::vector<uint8_t>&)> afterWrite;  // likewise, with the frame written

protected:
    const char* Prefix() const override { return "DEVICE_TEST: "; }
    uint32_t Category() const override { return LOG_DEVICE; }
    int BusyPauseMs() const override { return busyPause; }
    // No receiver thread: the test feeds the receive path itself.
    long ReadChunk(Thread&, uint8_t*, size_t) override { return -1; }
    size_t RecvChunk() const override { return 16; }
    bool writtenOnLostConnection(uint64_t tag) override { return tag != conn.load(); }
    size_t BatchBytes() const override { return batchBytes; }

    TARVIK_STATUS WriteFrames(FrameBatch& b, bool) override {
        int loss = -1;
        {
            std::unique_lock<std::mutex> lk(m);
            const int me = started++;
            if (me == holdAt) {
                heldNo = me;
                cv.notify_all();
                cv.wait(lk, [&] { return released; });
                released = false;
                heldNo = -1;
            }
            if (lossAfter >= 0 && b.whole + static_cast<size_t>(lossAfter) < b.count()) {
                loss = lossAfter;
                lossAfter = -1;
            }
        }
        if (loss >= 0) {
            const TARVIK_STATUS st = writeUpTo(b, b.ends[b.whole + loss - 1]);
            if (st != TARVIK_STATUS_OK) return st;
            const size_t half = (b.ends[b.whole] - b.frameStart(b.whole)) / 2;
            b.advance(half, conn.load());
            // The connection goes: what was written and is awaiting an answer
            // will not be answered; the frame under way starts again.
            ++conn;
            failWritten(TARVIK_STATUS_OUTCOME_UNKNOWN);
            b.restartFrame();
        }
        return writeUpTo(b, b.bytes.size());
    }
    // One whole frame on the wire: recorded here; a test transport on a
    // real wire overrides this.
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
    // Writes the frames of b that end at or before upto, frame by frame,
    // and records them as one write (on the connection of the moment).
    TARVIK_STATUS writeUpTo(FrameBatch& b, size_t upto) {
        std::vector<std::vector<uint8_t>> frames;
        const uint64_t c = conn.load();
        TARVIK_STATUS st = TARVIK_STATUS_OK;
        while (b.whole < b.count() && b.ends[b.whole] <= upto) {
            const size_t from = b.frameStart(b.whole);
            st = WriteFrame(b.bytes.data() + from, b.ends[b.whole] - from);
            if (st != TARVIK_STATUS_OK) break;
            frames.emplace_back(b.bytes.begin() + from, b.bytes.begin() + b.ends[b.whole]);
            b.done = from;
            b.advance(b.ends[b.whole] - from, c);
        }
        if (!frames.empty()) {
            {
                std::lock_guard<std::mutex> lk(m);
                writes.emplace_back(std::move(frames), c);
            }
            cv.notify_all();
        }
        return st;
    }

    std::unique_ptr<LoopThread> sender;
    std::atomic<uint64_t> conn{1};
    std::mutex m;
    std::condition_variable cv;
    std::deque<std::vector<uint8_t>> written;
    std::deque<std::pair<std::vector<std::vector<uint8_t>>, uint64_t>> writes;
    int started = 0, holdAt = -1, heldNo = -1;
    bool released = false;
    int lossAfter = -1;
};

}  // namespace trv::test
