// TRV_RS232Device: a register on a serial port, optionally behind a Hayes
// dial-up modem.
//
// Threads. The sender runs the shared sender loop; in modem mode every pass
// first runs one step of the modem state machine (SenderPrePass, in
// trvlib_modem.cpp), and frames go out only while connected. The receiver
// (RS232RecvThread) runs the shared receiver loop, reading the port 16 bytes
// at a time; the bytes go to the frame path, or, in modem mode while not
// connected, to the modem line path. Outside modem mode an idle port's
// threads sleep until there is something to do; in modem mode the sender
// steps every 50 ms and the receiver samples the carrier every 100 ms.
//
// Pending frames go out together, as many as the line carries in about
// 100 ms (baud / 100 bytes; at least one frame), each with the whole send
// time-out to itself.
//
// Writing. Every write to the port (frames, modem commands, TRV_ModemWrite)
// runs under writeMutex, so a modem text never lands inside a frame. The
// descriptor stays non-blocking: a write never blocks beyond what poll()
// reported, so the send time-out and a stop are always noticed.
//
// Stopping. stopfd (an eventfd) wakes the receiver and a waiting writer; the
// modem waits and sleeps look at the sender's stop flag at least every
// 100 ms, so closing never waits for a modem time limit to run out.
//
// Locks: outQueueMutex (core) is never held while writing. writeMutex is
// held for the length of one write (at most the send time-out) and only the
// log is written under it; paramMutex and modemBufferMutex are leaves.
#pragma once

#include <termios.h>

#include <atomic>
#include <memory>
#include <string>

#include "trvlib_device.h"     // the base class
#include "trvlib_transport.h"  // the seam: what a transport provides and uses

namespace trv {

// The modem lines of the port: DCD in, DTR out. The real ones are ioctls on
// the descriptor; a pty has none, so tests hand the device a fake instead.
class ModemLines {
public:
    virtual ~ModemLines() = default;
    // Carrier detect; false when the line is low or cannot be read.
    virtual bool carrier() = 0;
    virtual void setDTR(bool on) = 0;
};

// Time limits of the modem dialogue, in milliseconds. The defaults are what
// a Hayes modem needs; tests shorten them so a hang-up does not take 15 s.
struct ModemTimings {
    int atAnswerMs = 10000;      // answer to "AT"
    int initAnswerMs = 2000;     // answer to the init string
    int dialAnswerMs = 120000;   // answer to the dial string
    int hangupAnswerMs = 2000;   // answer to "ATH0"
    int dtrHangupMs = 15000;     // DTR held low before falling back to "+++"
    int guardMs = 3000;          // silence before and after "+++"
};

// Applies a port string ("path,baud,bits,parity,stop,handshake"; missing
// fields from kDefaultPort) to settings read from the port: speed, character
// format, handshake and raw mode. Returns 0, or the status of the first bad
// field with its log text in `bad`. `path` gets the first field.
TARVIK_STATUS ApplyPortString(const std::string& text, bool modem, termios& t, std::string& path,
                              std::string& bad);

enum ModemState : int {
    MODEM_STATE_IDLE = 0,
    MODEM_STATE_AT1 = 1,
    MODEM_STATE_AT2 = 2,
    MODEM_STATE_ATINIT = 3,
    MODEM_STATE_ATDIAL = 4,
    MODEM_STATE_CONNECTED = 5,
    MODEM_STATE_DTR = 6,
    MODEM_STATE_PLUS = 7,
    MODEM_STATE_PLUS2 = 8,
    MODEM_STATE_DISCONN = 9,
    MODEM_STATE_ERROR = 10,
    MODEM_STATE_ANSWER = 11,  // incoming calls are not answered: never entered
};

class RS232RecvThread;

class TRV_RS232Device : public TRV_Device {
public:
    static constexpr const char* kDefaultPort = "/dev/ttyS0,9600,8,N,1,H";

    // lines: modem lines to use instead of the port's own (tests); null for
    // the real ioctls.
    explicit TRV_RS232Device(std::shared_ptr<ModemLines> lines = nullptr);
    ~TRV_RS232Device() override;

    TARVIK_STATUS SetDeviceParam(uint32_t id, void* value) override;
    TARVIK_STATUS GetDeviceParam(uint32_t id, void* value) override;
    bool DeviceRealOpen() override;
    bool DeviceRealClose() override;
    void PrepareClose() override;

    TARVIK_STATUS ModemDial(int wait) override;
    TARVIK_STATUS ModemDisconnect(int wait) override;
    TARVIK_STATUS ModemStatus() override;
    // Raw text to the port in any state; 20 while a frame or line is being
    // written.
    TARVIK_STATUS WriteBuffer(const char* text) override;
    // Writes one text as it is (the caller adds any carriage return).
    TARVIK_STATUS SendLine(const std::string& text);

    // Set before opening; the sender reads them.
    void setModemTimings(const ModemTimings& t) { timings = t; }
    int modemStateNow() const { return modemState.load(); }

protected:
    const char* Prefix() const override { return "DEVICE_RS232: "; }
    uint32_t Category() const override { return LOG_RS232; }
    int BusyPauseMs() const override { return 250; }
    // The modem steps and the connected-line checks run once per pass.
    int IdleWaitMs() const override { return modemMode.load() ? 50 : -1; }
    TARVIK_STATUS WriteFrames(FrameBatch& b, bool mayBlock) override;
    size_t BatchBytes() const override { return batchBytes.load(); }
    bool SenderPrePass(Thread& self) override;
    long ReadChunk(Thread& self, uint8_t* buf, size_t cap) override;
    size_t RecvChunk() const override { return 16; }
    void DeliverBytes(const uint8_t* buf, size_t n) override;

private:
    friend class RS232RecvThread;

    enum class Wait { Line, None, Stopped };
    // Outcome of the write loop when the device stops half-way.
    static constexpr TARVIK_STATUS kStopped = 0xFFFFFFFEu;

    void log(unsigned threshold, const std::string& text) { Log(LOG_RS232, threshold, "DEVICE_RS232: " + text); }
    // The write loop shared by frames and lines; for frames, batch follows
    // which of them are out.
    TARVIK_STATUS writeAll(const uint8_t* data, size_t len, bool isLine, FrameBatch* batch) REQUIRES(writeMutex);
    TARVIK_STATUS sendLocked(const uint8_t* data, size_t len, bool isLine, FrameBatch* batch) EXCLUDES(writeMutex);
    // A copy of one of the text parameters below.
    std::string param(std::string TRV_RS232Device::*field) EXCLUDES(paramMutex) {
        MutexLock lk(paramMutex);
        return this->*field;
    }

    // ---- receiver
    void modemLineBytes(const uint8_t* buf, size_t n);  // the modem line path
    void sampleCarrier(bool afterFailedRead);

    // ---- modem state machine (sender thread)
    void modemStep(Thread& self);
    void stepIdle(Thread& self);
    void stepAT(Thread& self, bool second);
    void stepInit(Thread& self);
    void stepDial(Thread& self);
    void stepDTR(Thread& self);
    void stepPlus(Thread& self, bool second);
    void drainLines(Thread& self);
    // Waits up to ms for a line other than the echo of `sent` (the first
    // echo restarts the wait with its full time).
    Wait awaitLine(Thread& self, int ms, const std::string& sent, std::string& line);
    void fail(int error, const std::string& msg);
    void jump(int state, const std::string& msg);
    // A step that stopped half-way: the port closes (and drops DTR).
    void abandonStep();
    bool carrier();
    void setDTR(bool on);
    // Waiting forms of dial and disconnect poll the state this often.
    static constexpr int kPollMs = 20;

    std::unique_ptr<RS232RecvThread> recv;
    std::unique_ptr<FunctionThread> sender;
    std::atomic<bool> running{false};  // threads up (open)
    std::atomic<int> stopfd{-1};       // eventfd: the device is stopping
    std::atomic<bool> stopping{false};

    static constexpr size_t kMinBatch = 16;
    std::atomic<size_t> batchBytes{96};  // set from the baud rate at open

    Mutex writeMutex;  // serialises every write to the port
    int fd = -1;       // written under writeMutex while no thread runs; read by the threads while open
    std::atomic<bool> deviceIsBusySending{false};

    std::shared_ptr<ModemLines> injectedLines;  // tests
    std::shared_ptr<ModemLines> lines;          // set while open

    Mutex paramMutex;
    std::string comparams GUARDED_BY(paramMutex) = kDefaultPort;
    std::string modemInit GUARDED_BY(paramMutex);  // upper case
    std::string modemCall GUARDED_BY(paramMutex);  // upper case
    std::atomic<uint32_t> timeoutsec{10};
    std::atomic<bool> modemMode{false};

    ModemTimings timings;
    std::atomic<int> modemState{MODEM_STATE_IDLE};
    std::atomic<int> modemError{0};
    std::atomic<int> modemReqDisconnect{0};
    std::atomic<int> modemReqCall{0};
    std::atomic<int> modemDCDdrop{0};
    std::atomic<int> modemRING{0};  // nothing sets it: calls are not answered
    std::atomic<uint32_t> modemAttempts{0};  // calls started by the sender

    Mutex modemBufferMutex;
    std::string modemBuffer GUARDED_BY(modemBufferMutex);  // the last line, upper case
    TimedSem modemBufferReady;
};

}  // namespace trv
