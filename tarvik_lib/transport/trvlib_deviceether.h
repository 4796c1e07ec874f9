// TRV_EtherDevice: a register listening on a TCP port.
//
// The socket keeps one descriptor number from open to close. Reconnecting
// connects a new socket and dup2()s it onto that number, so the other
// thread simply continues on the new connection and never touches a closed
// or reused descriptor. While no connection is up the number holds an
// unconnected socket.
//
// While the threads run, the receiver is the one that reconnects: it may
// sleep in poll() on the socket with no time limit, and poll() keeps
// watching the socket it started on, so the socket must not be replaced
// under it. The sender, finding the connection broken, drops it (a shutdown,
// which wakes the receiver on that same socket) and waits for the
// receiver's attempt (awaitReconnect).
//
// Name resolution and the connect (up to kConnectTimeoutMs) run without any
// lock held: reopenMutex only guards who makes the attempt and the switch to
// the new socket, and a thread that finds an attempt under way waits for its
// outcome. Both give up as soon as the device stops.
//
// Writes never block in send(): every pending frame goes out in one send()
// (up to kBatchBytes), and a posting thread may write its own frame when the
// sender is idle (TRV_Device::writeNow). Reads take up to kRecvChunk bytes
// at a time. An idle device's threads sleep until something happens: the
// sender on its condition, the receiver in poll() on the socket and the
// stop descriptor. Per open device: two threads and two descriptors (the
// socket and one eventfd), plus a short-lived thread while a host name is
// being resolved.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "trvlib_device.h"     // the base class
#include "trvlib_transport.h"  // the seam: what a transport provides and uses

namespace trv {

class TRV_EtherDevice : public TRV_Device {
public:
    TRV_EtherDevice();
    ~TRV_EtherDevice() override;

    TARVIK_STATUS SetDeviceParam(uint32_t id, void* value) override;
    bool DeviceRealOpen() override;
    bool DeviceRealClose() override;

    // Drops the current connection and connects anew (serialised). When the
    // connection was already replaced since `generation` was read, that new
    // connection is used. On failure the last error is the raw system error.
    bool Reopen(uint64_t generation);
    // The sender's side of a broken connection: drops it unless it was
    // replaced since `generation` was read, and waits for the receiver's
    // next attempt; true when connected.
    bool awaitReconnect(uint64_t generation) EXCLUDES(reopenMutex);
    static TARVIK_STATUS openErrorStatus(int err);

    static constexpr int kConnectTimeoutMs = 3000;

protected:
    const char* Prefix() const override { return "DEVICE_Ether: "; }
    const char* LoopPrefix() const override { return "DEVICE_ETHER: "; }
    uint32_t Category() const override { return LOG_ETHER; }
    int BusyPauseMs() const override { return 150; }
    TARVIK_STATUS WriteFrames(FrameBatch& b, bool mayBlock) override;
    // A frame's tag is the connection (epoch) it was wholly written on.
    bool writtenOnLostConnection(uint64_t tag) override { return tag != epoch.load(); }
    size_t BatchBytes() const override { return kBatchBytes; }
    long ReadChunk(Thread& self, uint8_t* buf, size_t cap) override;
    size_t RecvChunk() const override { return kRecvChunk; }

    static constexpr size_t kBatchBytes = 65536;
    static constexpr size_t kRecvChunk = 65536;

private:
    // Connects a new socket; its descriptor, or -1 with errno-like err.
    int connectSocket(int& err);
    // The first IPv4 address of a host name, looked up on a helper thread
    // so that a stop need not wait for a slow resolver; false with err on
    // failure or stop.
    bool resolve(const std::string& host, in_addr& out, int& err);
    // Waits for fd (and the stop descriptor); poll()-style result.
    int waitFor(int fd, short events, int ms);

    Mutex paramMutex;  // leaf
    std::string targ_ip GUARDED_BY(paramMutex) = "127.0.0.1";
    std::atomic<uint16_t> port{1000};
    std::atomic<uint32_t> timeoutsec{10};

    Mutex reopenMutex ACQUIRED_BEFORE(sendMutex);  // never held while resolving, connecting or ending requests
    // Held for one non-blocking send() with the look at the connection
    // before it, and for each switch of the connection (drop, dup2), so a
    // frame is always counted to the connection it went out on. A leaf.
    Mutex sendMutex;
    CondVar reopenCv;                                   // an attempt ended
    bool connecting GUARDED_BY(reopenMutex) = false;    // an attempt is under way
    std::atomic<bool> stopping{false};                  // closing: attempts give up
    int mysocket = -1;                       // stable descriptor number while open
    std::atomic<bool> connected{false};
    std::atomic<uint64_t> generation{0};     // bumped when a reconnect attempt ends
    std::atomic<uint64_t> epoch{0};          // bumped when an established connection is dropped
    int stopfd = -1;                         // eventfd: wakes both threads for stop
    bool fullRead = false;                   // the last read filled the buffer (receiver only)

    std::unique_ptr<FunctionThread> sender;
    std::unique_ptr<FunctionThread> recv;
};

}  // namespace trv
