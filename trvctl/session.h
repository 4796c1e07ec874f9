// The connection to one register, and requests on it: one at a time or
// pipelined (many posted before the first answer is waited for).
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "calls.h"
#include "util.h"

namespace trvctl {

// Where the register is. The same syntax serves the options and
// TRVCTL_DEVICE: tcp:HOST[:PORT], serial:PORTSTRING, usb:SERIAL,
// modem:PORTSTRING:NUMBER, sim.
struct Target {
    enum class Kind { None, Tcp, Serial, Usb, Modem, Sim } kind = Kind::None;
    std::string host, port;  // TCP (port empty: the library's default)
    std::string portString;  // serial, modem
    std::string serial;      // USB
    std::string dial;        // modem: a number, or a whole dial string starting with AT
    std::string modemInit;
};
// Throws UsageError.
Target parseDevice(const std::string& device);
void parseTcp(const std::string& hostPort, Target& t);

struct SessionOptions {
    Target target;
    std::string log;       // the library's debug log, or ""
    std::string simPaper;  // --sim: the simulator's paper roll, or ""
    uint32_t timeoutMs = 60000;
    uint32_t printTimeoutMs = 600000;  // a printed report
    size_t window = 32;
};

// The simulator started for --sim: trvsim beside this executable, else on
// PATH, on a free loopback port; stopped (SIGTERM) when this goes.
class SimProcess {
public:
    explicit SimProcess(const std::string& paper);
    ~SimProcess();
    int port() const { return port_; }

private:
    void stop();
    int pid_ = -1, out_ = -1, port_ = 0;
    std::thread paper_;  // copies the paper roll to standard output (--sim-paper -)
};

class Session {
public:
    explicit Session(const SessionOptions& o);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    TARVIK_HANDLE view() const { return view_; }
    const std::string& where() const { return where_; }
    uint32_t timeoutMs() const { return timeoutMs_; }
    uint32_t printTimeoutMs() const { return printTimeoutMs_; }
    size_t window() const { return window_; }

private:
    std::string usbReason(const std::string& serial);
    std::unique_ptr<SimProcess> sim_;
    std::string where_;
    TARVIK_HANDLE device_ = nullptr, view_ = nullptr;
    bool modem_ = false;
    uint32_t timeoutMs_, printTimeoutMs_;
    size_t window_;
};

// Reads a finished, successful request: returns the reader's status and
// fills the record. It must leave the request alive exactly when it fails.
using ReadStep = std::function<TARVIK_STATUS(TARVIK_HANDLE, Record&)>;

// The reader, or for a function without one nothing (the request is freed).
ReadStep plainReader(const Call* reader);
// The type reader of a map, then the body reader of the type found; the
// record gets "typ" (and the type reader's other outputs), "rodzaj" (the
// label) and the body reader's outputs.
ReadStep typedReader(const struct TypeMap& map);

// One request: the sending function with its arguments, and how its answer
// is read.
struct Request {
    const Call* send;
    std::shared_ptr<Slots> args;
    ReadStep read;
    // A read that is safe to repeat: sent again this many times when the
    // connection broke after it was written (its answer then comes later
    // than those posted after it).
    int retries = 0;
    uint32_t timeoutMs = 0;  // how long its answer may take; 0: the session's
    bool readOnly = false;   // it changes nothing: an answer lost is only a failure
};

// How often a read is sent again after the connection broke under it.
constexpr int kReadRetries = 5;

// Builds a request from text arguments, in the function's order; throws
// UsageError naming the bad argument.
Request makeRequest(const Call& send, const std::vector<std::string>& args, ReadStep read);
Request makeRequest(const std::string& send, const std::vector<std::string>& args, ReadStep read);

// What became of one request.
struct Result {
    TARVIK_STATUS status = 0;         // 0, the register's or library's status, or the reader's
    Outcome outcome = Outcome::Done;  // Done also when only the reader failed
    bool waitRanOut = false;          // no answer in time: NotDone when its frame never left, else Unknown
    bool read = false;                // the request was a read
};

// A message for a failed result: the status and its text, and for a wait
// that ran out what it means ("no answer within 60 s; ...").
std::string describeResult(const Result& r, uint32_t waitedMs, bool read = false);

// Requests in flight, at most `window` of them; answers are handled in the
// order the requests were posted. `done` gets the result and the record
// read. A `done` may post further requests; they go out without waiting.
//
// A wait that runs out ends the request: a request whose frame never left is
// cancelled (not done); one that was written is given up (outcome unknown;
// cancelling it stops it if the register is still running it). After a
// second SIGINT or SIGTERM no more waiting is done: what has not finished is
// ended in the same way at once.
class Pipeline {
public:
    using Done = std::function<void(const Result&, Record&&)>;
    explicit Pipeline(Session& s, size_t window = 0);
    ~Pipeline();
    void post(Request r, Done done);
    // Waits for every request in flight, and what their answers posted.
    void finish();
    // The register is gone: the requests still in flight get one more second
    // together for their answers (else each would wait the whole time-out in
    // turn).
    void abandon();
    size_t inFlight() const { return inflight_.size(); }

private:
    struct Pending {
        TARVIK_HANDLE handle;
        Request request;
        Done done;
    };
    void completeOldest();
    Session& s_;
    size_t window_;
    int depth_ = 0;  // inside a Done
    bool abandoned_ = false;
    std::chrono::steady_clock::time_point graceEnd_;
    std::deque<Pending> inflight_;
};

// " (argument NAME)" when the status is a sending function's code for one of
// its arguments, else "".
std::string argumentNote(const Call& send, TARVIK_STATUS status);

// Whether the register answers (again), after answers were lost: a quick
// question given at least kSettleWaitMs, as the answers still on their way
// come first.
constexpr uint32_t kSettleWaitMs = 5000;
bool registerAnswers(Session& s);

// One request, waited for; throws Failure when it fails (with the outcome
// Unknown when the register may have run it).
Record runOne(Session& s, Request r);

}  // namespace trvctl
