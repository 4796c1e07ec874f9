// The gateway's core: registers, jobs and events, without HTTP. The API
// handlers (api.cpp) call only this.
//
// A job is written to the store before its frame is posted, and every state
// it reaches is committed before anyone is told:
//   queued -> sending -> succeeded | failed | unknown -> settled
//   queued -> cancelled
// "failed" means not done (the register refused it, or it never left);
// "unknown" means the frame was written and the answer was lost: it is never
// sent again by itself, and while a register has an unknown job that is not
// idempotent its later jobs wait, until a read-back or a person settles it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "calls.h"
#include "chain.h"
#include "config.h"
#include "store.h"
#include "tarvik/tarvik.h"

namespace trvgw {

class Gateway;

// What one call to the register came to.
struct Outcome {
    enum Kind { Done, NotDone, Unknown } kind = NotDone;
    uint32_t status = 0;
    std::string text;      // the status's text
    std::string argument;  // the argument at fault, for 0x10100 + n
    Json result;           // named results (Done and status 0)
    bool acked = false;    // the register acknowledged the frame (the link works)
};

// A problem found before anything was sent (bad arguments).
struct ArgError {
    std::string argument, detail;
};

// Turns named JSON arguments into the call's slots, texts in the register's
// character set. Unknown, missing or out-of-range arguments are refused.
std::optional<ArgError> fillSlots(const Call& call, const Json& args, const std::string& charset, Slots& slots);

// The text of a status (the library's language file, English).
std::string statusText(uint32_t status);

class Register {
public:
    Register(Gateway& gw, const RegisterConfig& cfg);
    ~Register();
    void start();
    // Takes no further job; the one in flight gets until `deadline` to end.
    void drain(std::chrono::steady_clock::time_point deadline);
    void stop();

    const RegisterConfig& config() const { return cfg_; }
    const std::string& id() const { return cfg_.id; }
    // The register's unique number, once read (empty before).
    std::string serial();

    void enqueue(int64_t seq);
    void unqueue(int64_t seq);
    size_t queued();
    // A read on the register's thread, between jobs (never journaled: it
    // changes nothing). NotDone with 0x10003 when it could not be run in time.
    Outcome read(const Call& send, const Json& args, uint32_t waitMs);
    // Collects the sale journal now; returns records added.
    Json collectJournal();
    Json statusJson();
    // A job of this register was settled: later jobs may go again.
    void settled(int64_t seq);
    void unknownJob(int64_t seq, bool holds);
    bool idle();

private:
    void run();
    bool open();
    void close();
    void runJob(int64_t seq);
    Outcome execute(const Call& send, Slots& slots, uint32_t timeoutMs);
    Outcome readNow(const Call& send, const Json& args);
    void trySettle();
    bool settleByReadBack(Job& j, std::string& how);
    Json collectNow();
    void setState(const std::string& s, uint32_t status, const std::string& error);
    uint32_t timeoutFor(const Call& send) const;
    static void onEvent(void* request);

    Gateway& gw_;
    RegisterConfig cfg_;
    TARVIK_HANDLE device_ = nullptr, view_ = nullptr;  // the worker's
    std::thread thread_;

    struct Direct {
        std::function<void()> fn;
        bool done = false;
    };
    std::mutex mutex_;
    std::condition_variable cv_, doneCv_;
    std::deque<int64_t> queue_;                      // guarded by mutex_
    std::deque<std::shared_ptr<Direct>> directs_;    // guarded by mutex_
    std::set<int64_t> unsettled_;                    // unknown jobs; guarded by mutex_
    std::set<int64_t> blocking_;                     // those that hold later jobs; guarded by mutex_
    bool stopping_ = false, draining_ = false;       // guarded by mutex_
    bool busy_ = false;                              // a job in flight; guarded by mutex_
    std::chrono::steady_clock::time_point deadline_{};  // drain
    std::string state_ = "opening";                  // guarded by mutex_
    uint32_t lastStatus_ = 0;
    std::string lastError_;
    double since_ = 0;
    unsigned reopens_ = 0;
    std::atomic<bool> abort_{false};
    std::chrono::steady_clock::time_point nextJournal_{}, nextSettle_{};
    std::string serial_;  // guarded by mutex_
};

class Gateway {
public:
    Gateway(const Config& cfg, Store& store);
    ~Gateway();
    void start();
    // SIGTERM: no new jobs; in-flight ones end within the time-out.
    void drain();
    void stop();
    bool draining() const { return draining_; }

    const Config& config() const { return cfg_; }
    Store& store() { return store_; }
    Register* reg(const std::string& id);
    // The link to head office, or null when the configuration has none.
    Chain* chain() { return chain_.get(); }
    const std::vector<std::unique_ptr<Register>>& registers() const { return registers_; }

    struct NewJob {
        std::string reg, kind, command, key, bodyHash;
        Json args;
        bool idempotent = false;
        unsigned scope = kOperate;
        Json readback;  // what the read-back needs, or null
    };
    enum class Created { New, Same, Conflict, Refused };
    // Writes the job (committed before this returns) and queues it.
    Created create(const NewJob& nj, Job& out, std::string& why);
    std::optional<Job> job(int64_t seq);
    // Waits until the job is final or unknown, or the time is up.
    std::optional<Job> wait(int64_t seq, double seconds);
    // Cancels a queued job; false with the job's state when it is not queued.
    bool cancel(int64_t seq, Job& out);
    // Settles an unknown job (a person's decision, audited).
    bool settle(int64_t seq, bool done, const std::string& by, const std::string& how, const std::string& note,
                Job& out, std::string& why);

    // Jobs for the register thread.
    std::shared_ptr<struct LiveJob> live(int64_t seq);
    // Commits the job's new state, then tells waiters and event listeners.
    bool commit(const std::shared_ptr<LiveJob>& lj, const Job& j, std::function<void(Db&)> extra = nullptr);

    // Events: job changes and card events.
    struct Event {
        int64_t seq;
        std::string type, reg;
        Json data;
    };
    void publish(const std::string& type, const std::string& reg, const Json& data, bool persist = true);
    // Events after `after` (from memory, else the store); waits up to `ms`
    // for one when there is none.
    std::vector<Event> eventsAfter(int64_t after, int ms);
    int64_t lastEvent();
    void wakeStreams();

    static Json jobJson(const Job& j);

private:
    Config cfg_;
    Store& store_;
    std::vector<std::unique_ptr<Register>> registers_;
    std::map<std::string, Register*> byId_;
    std::atomic<bool> draining_{false};
    std::unique_ptr<Chain> chain_;

    std::mutex createMutex_;
    std::map<std::string, std::pair<int64_t, std::string>> keys_;  // guarded by createMutex_
    std::atomic<int64_t> jobSeq_{0};

    std::mutex liveMutex_;
    std::map<int64_t, std::shared_ptr<LiveJob>> live_;  // guarded by liveMutex_

    std::mutex eventMutex_;
    std::condition_variable eventCv_;
    std::deque<Event> ring_;  // guarded by eventMutex_
    int64_t eventSeq_ = 0;    // guarded by eventMutex_
    bool stopped_ = false;    // guarded by eventMutex_
};

struct LiveJob {
    std::mutex m;
    std::condition_variable cv;
    Job job;  // guarded by m
};

}  // namespace trvgw
