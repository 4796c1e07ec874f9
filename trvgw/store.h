// The durable journal: jobs, their settlements, events and the collected
// sale journal, in one SQLite database in WAL mode.
//
// Writes go through one writer thread that commits whatever has queued up
// in one transaction (group commit): a caller submits its change and waits
// for the ticket, which is signalled once the change is on disk
// (synchronous=FULL). Changes are applied in the order submitted. Reads use
// a connection of their own and see what has been committed.
#pragma once

#include <sqlite3.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

namespace trvgw {

using Json = nlohmann::json;

struct Job {
    int64_t seq = 0;
    std::string reg, key, bodyHash, kind, command;
    Json args = Json::object();
    bool idempotent = false;
    unsigned scope = 0;
    std::string state = "queued";  // queued sending succeeded failed unknown settled cancelled
    uint32_t status = 0;
    std::string statusText, argument;
    Json result;                   // null until there is one
    Json readback;                 // what a read-back needs (taken before the frame went out)
    std::string outcome;           // settled: "done" or "not_done"
    std::string settledBy, note;
    double created = 0, updated = 0;

    std::string id() const { return "j" + std::to_string(seq); }
    bool final() const { return state == "succeeded" || state == "failed" || state == "settled" || state == "cancelled"; }
};

// A prepared statement cache over one connection (writer side).
class Db {
public:
    explicit Db(sqlite3* db) : db_(db) {}
    ~Db();
    // Runs sql with the values bound in order (int64, double, text or null).
    void exec(const std::string& sql, const std::vector<Json>& values);

private:
    sqlite3* db_;
    std::map<std::string, sqlite3_stmt*> cache_;
};

class Store {
public:
    class Ticket {
    public:
        // Waits for the commit; false when it failed.
        bool wait();

    private:
        friend class Store;
        std::mutex m;
        std::condition_variable cv;
        bool done = false, ok = false;
    };
    using TicketPtr = std::shared_ptr<Ticket>;

    // Opens (creates) the database; throws std::runtime_error.
    explicit Store(const std::string& path);
    ~Store();

    TicketPtr submit(std::function<void(Db&)> change);

    // Writes for the common changes (each inside a submitted change).
    static void insertJob(Db& db, const Job& j);
    static void updateJob(Db& db, const Job& j);
    static void insertEvent(Db& db, int64_t seq, const std::string& type, const std::string& reg, const Json& data);

    // Reads (committed data).
    std::optional<Job> job(int64_t seq);
    std::optional<Job> jobByKey(const std::string& key);
    std::vector<Job> jobs(const std::string& reg, const std::string& state, int64_t after, size_t limit);
    std::vector<Job> jobsInStates(const std::vector<std::string>& states);  // for the start
    struct Event {
        int64_t seq;
        std::string type, reg;
        Json data;
    };
    std::vector<Event> events(int64_t after, size_t limit);
    struct JournalRecord {
        int64_t seq;
        std::string reg;
        Json record;
        double collected;
    };
    std::vector<JournalRecord> journal(const std::string& reg, int64_t after, size_t limit);
    int64_t journalTaken(const std::string& reg);
    // The number, less one, of the first record on the register now: the
    // records cleared from it so far.
    int64_t journalBase(const std::string& reg);

    // Messages for head office, kept until the shop's message server has
    // acknowledged them (chain.h).
    struct OutMsg {
        int64_t seq = 0;
        std::string reg, kind, subject, msgid, payload;
    };
    static void insertOutbox(Db& db, const OutMsg& m);
    std::vector<OutMsg> outbox(const std::string& reg, size_t limit);  // reg empty: all
    int64_t outboxCount(const std::string& reg, const std::string& kind);
    std::vector<Json> settlements(int64_t job);

    int64_t maxJobSeq() const { return maxJob_; }
    int64_t maxEventSeq() const { return maxEvent_; }
    int64_t maxJournalSeq() const { return maxJournal_; }
    // Commits so far and changes in them (for the benchmark's notes).
    uint64_t commits() const { return commits_; }

    // Start-up: every job still "sending" becomes "unknown" (its frame may
    // have gone out before the gateway stopped). Returns those jobs.
    std::vector<Job> recoverSending(double now);

private:
    void writer();
    Job rowToJob(sqlite3_stmt* st);

    sqlite3* wdb_ = nullptr;  // the writer's connection
    sqlite3* rdb_ = nullptr;  // readers', under readMutex_
    std::mutex readMutex_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::pair<std::function<void(Db&)>, TicketPtr>> queue_;  // guarded by mutex_
    bool stop_ = false;                                                 // guarded by mutex_
    std::thread thread_;
    int64_t maxJob_ = 0, maxEvent_ = 0, maxJournal_ = 0;
    std::atomic<uint64_t> commits_{0};
};

double nowSeconds();

}  // namespace trvgw
