#include "store.h"

#include <chrono>
#include <stdexcept>

namespace trvgw {

namespace {

const char kSchema[] = R"SQL(
CREATE TABLE IF NOT EXISTS jobs(
  seq INTEGER PRIMARY KEY,
  register TEXT NOT NULL,
  idem_key TEXT NOT NULL UNIQUE,
  body_hash TEXT NOT NULL,
  kind TEXT NOT NULL,
  command TEXT NOT NULL,
  args TEXT NOT NULL,
  idempotent INTEGER NOT NULL,
  scope INTEGER NOT NULL,
  state TEXT NOT NULL,
  status INTEGER NOT NULL DEFAULT 0,
  status_text TEXT NOT NULL DEFAULT '',
  argument TEXT NOT NULL DEFAULT '',
  result TEXT,
  readback TEXT,
  outcome TEXT NOT NULL DEFAULT '',
  settled_by TEXT NOT NULL DEFAULT '',
  note TEXT NOT NULL DEFAULT '',
  created REAL NOT NULL,
  updated REAL NOT NULL);
CREATE INDEX IF NOT EXISTS jobs_by_register ON jobs(register, state, seq);
CREATE INDEX IF NOT EXISTS jobs_by_state ON jobs(state, seq);
CREATE TABLE IF NOT EXISTS settlements(
  seq INTEGER PRIMARY KEY, job INTEGER NOT NULL, outcome TEXT NOT NULL, how TEXT NOT NULL,
  by TEXT NOT NULL, note TEXT NOT NULL, at REAL NOT NULL);
CREATE TABLE IF NOT EXISTS events(
  seq INTEGER PRIMARY KEY, type TEXT NOT NULL, register TEXT NOT NULL, data TEXT NOT NULL, at REAL NOT NULL);
CREATE TABLE IF NOT EXISTS journal(
  seq INTEGER PRIMARY KEY, register TEXT NOT NULL, record TEXT NOT NULL, collected REAL NOT NULL);
CREATE INDEX IF NOT EXISTS journal_by_register ON journal(register, seq);
CREATE TABLE IF NOT EXISTS journal_pos(register TEXT PRIMARY KEY, taken INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS journal_base(register TEXT PRIMARY KEY, base INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS outbox(
  seq INTEGER PRIMARY KEY, register TEXT NOT NULL, kind TEXT NOT NULL, subject TEXT NOT NULL,
  msgid TEXT NOT NULL, payload TEXT NOT NULL, at REAL NOT NULL);
CREATE INDEX IF NOT EXISTS outbox_by_register ON outbox(register, kind, seq);
)SQL";

void check(int rc, sqlite3* db, const std::string& what) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw std::runtime_error(what + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)));
}

void bindAll(sqlite3_stmt* st, const std::vector<Json>& values) {
    for (size_t i = 0; i < values.size(); ++i) {
        const int k = static_cast<int>(i + 1);
        const Json& v = values[i];
        if (v.is_null()) sqlite3_bind_null(st, k);
        else if (v.is_number_integer() || v.is_boolean()) sqlite3_bind_int64(st, k, v.is_boolean() ? v.get<bool>() : v.get<int64_t>());
        else if (v.is_number()) sqlite3_bind_double(st, k, v.get<double>());
        else if (v.is_string()) sqlite3_bind_text(st, k, v.get_ref<const std::string&>().c_str(), -1, SQLITE_TRANSIENT);
        else {
            const std::string s = v.dump();
            sqlite3_bind_text(st, k, s.c_str(), -1, SQLITE_TRANSIENT);
        }
    }
}

std::string col(sqlite3_stmt* st, int i) {
    const unsigned char* t = sqlite3_column_text(st, i);
    return t ? reinterpret_cast<const char*>(t) : "";
}

Json jsonCol(sqlite3_stmt* st, int i) {
    if (sqlite3_column_type(st, i) == SQLITE_NULL) return nullptr;
    return Json::parse(col(st, i), nullptr, false);
}

// A read statement on the reader connection, finalized on scope exit.
struct Query {
    Query(sqlite3* db, const std::string& sql, const std::vector<Json>& values) : db_(db) {
        check(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), db, "prepare");
        bindAll(st, values);
    }
    ~Query() { sqlite3_finalize(st); }
    bool step() {
        const int rc = sqlite3_step(st);
        check(rc, db_, "query");
        return rc == SQLITE_ROW;
    }
    sqlite3* db_;
    sqlite3_stmt* st = nullptr;
};

const char kJobColumns[] =
    "seq, register, idem_key, body_hash, kind, command, args, idempotent, scope, state, status, status_text, "
    "argument, result, readback, outcome, settled_by, note, created, updated";

int64_t maxOf(sqlite3* db, const char* table) {
    Query q(db, std::string("SELECT COALESCE(MAX(seq), 0) FROM ") + table, {});
    q.step();
    return sqlite3_column_int64(q.st, 0);
}

}  // namespace

double nowSeconds() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

Db::~Db() {
    for (auto& [k, st] : cache_) sqlite3_finalize(st);
}

void Db::exec(const std::string& sql, const std::vector<Json>& values) {
    sqlite3_stmt*& st = cache_[sql];
    if (!st) check(sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr), db_, "prepare");
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    bindAll(st, values);
    const int rc = sqlite3_step(st);
    sqlite3_reset(st);
    check(rc, db_, "write");
}

bool Store::Ticket::wait() {
    std::unique_lock<std::mutex> l(m);
    cv.wait(l, [&] { return done; });
    return ok;
}

Store::Store(const std::string& path) {
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    check(sqlite3_open_v2(path.c_str(), &wdb_, flags, nullptr), wdb_, "open " + path);
    sqlite3_busy_timeout(wdb_, 5000);
    char* err = nullptr;
    // WAL with a sync on every commit: a committed job survives a crash of
    // the gateway and of the machine.
    for (const char* sql : {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=FULL", kSchema}) {
        if (sqlite3_exec(wdb_, sql, nullptr, nullptr, &err) != SQLITE_OK) {
            std::string m = err ? err : "?";
            sqlite3_free(err);
            sqlite3_close(wdb_);
            throw std::runtime_error("database " + path + ": " + m);
        }
    }
    check(sqlite3_open_v2(path.c_str(), &rdb_, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr), rdb_, "open " + path);
    sqlite3_busy_timeout(rdb_, 5000);
    maxJob_ = maxOf(rdb_, "jobs");
    maxEvent_ = maxOf(rdb_, "events");
    maxJournal_ = maxOf(rdb_, "journal");
    thread_ = std::thread([this] { writer(); });
}

Store::~Store() {
    {
        std::lock_guard<std::mutex> l(mutex_);
        stop_ = true;
    }
    cv_.notify_all();
    thread_.join();
    sqlite3_close(rdb_);
    sqlite3_close(wdb_);
}

Store::TicketPtr Store::submit(std::function<void(Db&)> change) {
    auto t = std::make_shared<Ticket>();
    {
        std::lock_guard<std::mutex> l(mutex_);
        if (stop_) {
            t->done = true;
            return t;
        }
        queue_.emplace_back(std::move(change), t);
    }
    cv_.notify_one();
    return t;
}

void Store::writer() {
    Db db(wdb_);
    for (;;) {
        std::deque<std::pair<std::function<void(Db&)>, TicketPtr>> batch;
        {
            std::unique_lock<std::mutex> l(mutex_);
            cv_.wait(l, [&] { return stop_ || !queue_.empty(); });
            if (queue_.empty() && stop_) return;
            batch.swap(queue_);
        }
        bool ok = sqlite3_exec(wdb_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
        // One failing change is rolled back alone (a savepoint each), so that
        // the others of the batch still commit.
        std::vector<bool> each(batch.size(), false);
        for (size_t i = 0; ok && i < batch.size(); ++i) {
            sqlite3_exec(wdb_, "SAVEPOINT c", nullptr, nullptr, nullptr);
            try {
                batch[i].first(db);
                each[i] = true;
                sqlite3_exec(wdb_, "RELEASE c", nullptr, nullptr, nullptr);
            } catch (const std::exception&) {
                sqlite3_exec(wdb_, "ROLLBACK TO c", nullptr, nullptr, nullptr);
                sqlite3_exec(wdb_, "RELEASE c", nullptr, nullptr, nullptr);
            }
        }
        if (ok) ok = sqlite3_exec(wdb_, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
        if (!ok) sqlite3_exec(wdb_, "ROLLBACK", nullptr, nullptr, nullptr);
        ++commits_;
        for (size_t i = 0; i < batch.size(); ++i) {
            auto& t = batch[i].second;
            {
                std::lock_guard<std::mutex> l(t->m);
                t->done = true;
                t->ok = ok && each[i];
            }
            t->cv.notify_all();
        }
    }
}

void Store::insertJob(Db& db, const Job& j) {
    db.exec(
        "INSERT INTO jobs(seq, register, idem_key, body_hash, kind, command, args, idempotent, scope, state, status, "
        "status_text, argument, result, readback, outcome, settled_by, note, created, updated) "
        "VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
        {j.seq, j.reg, j.key, j.bodyHash, j.kind, j.command, j.args.dump(), j.idempotent ? 1 : 0, j.scope, j.state,
         j.status, j.statusText, j.argument, j.result.is_null() ? Json() : Json(j.result.dump()),
         j.readback.is_null() ? Json() : Json(j.readback.dump()), j.outcome, j.settledBy, j.note, j.created,
         j.updated});
}

void Store::updateJob(Db& db, const Job& j) {
    db.exec(
        "UPDATE jobs SET state=?, status=?, status_text=?, argument=?, result=?, readback=?, outcome=?, "
        "settled_by=?, note=?, updated=? WHERE seq=?",
        {j.state, j.status, j.statusText, j.argument, j.result.is_null() ? Json() : Json(j.result.dump()),
         j.readback.is_null() ? Json() : Json(j.readback.dump()), j.outcome, j.settledBy, j.note, j.updated, j.seq});
}

void Store::insertEvent(Db& db, int64_t seq, const std::string& type, const std::string& reg, const Json& data) {
    db.exec("INSERT INTO events(seq, type, register, data, at) VALUES(?,?,?,?,?)",
            {seq, type, reg, data.dump(), nowSeconds()});
}

Job Store::rowToJob(sqlite3_stmt* st) {
    Job j;
    j.seq = sqlite3_column_int64(st, 0);
    j.reg = col(st, 1);
    j.key = col(st, 2);
    j.bodyHash = col(st, 3);
    j.kind = col(st, 4);
    j.command = col(st, 5);
    j.args = Json::parse(col(st, 6), nullptr, false);
    j.idempotent = sqlite3_column_int(st, 7) != 0;
    j.scope = static_cast<unsigned>(sqlite3_column_int(st, 8));
    j.state = col(st, 9);
    j.status = static_cast<uint32_t>(sqlite3_column_int64(st, 10));
    j.statusText = col(st, 11);
    j.argument = col(st, 12);
    j.result = jsonCol(st, 13);
    j.readback = jsonCol(st, 14);
    j.outcome = col(st, 15);
    j.settledBy = col(st, 16);
    j.note = col(st, 17);
    j.created = sqlite3_column_double(st, 18);
    j.updated = sqlite3_column_double(st, 19);
    return j;
}

std::optional<Job> Store::job(int64_t seq) {
    std::lock_guard<std::mutex> l(readMutex_);
    Query q(rdb_, std::string("SELECT ") + kJobColumns + " FROM jobs WHERE seq=?", {seq});
    if (!q.step()) return std::nullopt;
    return rowToJob(q.st);
}

std::optional<Job> Store::jobByKey(const std::string& key) {
    std::lock_guard<std::mutex> l(readMutex_);
    Query q(rdb_, std::string("SELECT ") + kJobColumns + " FROM jobs WHERE idem_key=?", {key});
    if (!q.step()) return std::nullopt;
    return rowToJob(q.st);
}

std::vector<Job> Store::jobs(const std::string& reg, const std::string& state, int64_t after, size_t limit) {
    std::string sql = std::string("SELECT ") + kJobColumns + " FROM jobs WHERE seq > ?";
    std::vector<Json> v{after};
    if (!reg.empty()) sql += " AND register = ?", v.push_back(reg);
    if (!state.empty()) sql += " AND state = ?", v.push_back(state);
    sql += " ORDER BY seq LIMIT ?";
    v.push_back(static_cast<int64_t>(limit));
    std::lock_guard<std::mutex> l(readMutex_);
    Query q(rdb_, sql, v);
    std::vector<Job> out;
    while (q.step()) out.push_back(rowToJob(q.st));
    return out;
}

std::vector<Job> Store::jobsInStates(const std::vector<std::string>& states) {
    std::vector<Job> out;
    for (const std::string& s : states) {
        std::lock_guard<std::mutex> l(readMutex_);
        Query q(rdb_, std::string("SELECT ") + kJobColumns + " FROM jobs WHERE state=? ORDER BY seq", {s});
        while (q.step()) out.push_back(rowToJob(q.st));
    }
    std::sort(out.begin(), out.end(), [](const Job& a, const Job& b) { return a.seq < b.seq; });
    return out;
}

std::vector<Store::Event> Store::events(int64_t after, size_t limit) {
    std::lock_guard<std::mutex> l(readMutex_);
    Query q(rdb_, "SELECT seq, type, register, data FROM events WHERE seq > ? ORDER BY seq LIMIT ?",
            {after, static_cast<int64_t>(limit)});
    std::vector<Event> out;
    while (q.step())
        out.push_back({sqlite3_column_int64(q.st, 0), col(q.st, 1), col(q.st, 2), Json::parse(col(q.st, 3), nullptr, false)});
    return out;
}

std::vector<Store::JournalRecord> Store::journal(const std::string& reg, int64_t after, size_t limit) {
    std::string sql = "SELECT seq, register, record, collected FROM journal WHERE seq > ?";
    std::vector<Json> v{after};
    if (!reg.empty()) sql += " AND register = ?", v.push_back(reg);
    sql += " ORDER BY seq LIMIT ?";
    v.push_back(static_cast<int64_t>(limit));
    std::lock_guard<std::mutex> l(readMutex_);
    Query q(rdb_, sql, v);
    std::vector<JournalRecord> out;
    while (q.step())
        out.push_back({sqlite3_column_int64(q.st, 0), col(q.st, 1), Json::parse(col(q.st, 2), nullptr, false),
                       sqlite3_column_double(q.st, 3)});
    return out;
}

int64_t Store::journalTaken(const std::string& reg) {
    std::lock_guard<std::mutex> l(readMutex_);
    Query q(rdb_, "SELECT taken FROM journal_pos WHERE register=?", {reg});
    return q.step() ? sqlite3_column_int64(q.st, 0) : 0;
}

int64_t Store::journalBase(const std::string& reg) {
    std::lock_guard<std::mutex> l(readMutex_);
    Query q(rdb_, "SELECT base FROM journal_base WHERE register=?", {reg});
    return q.step() ? sqlite3_column_int64(q.st, 0) : 0;
}

void Store::insertOutbox(Db& db, const OutMsg& m) {
    db.exec("INSERT INTO outbox(register, kind, subject, msgid, payload, at) VALUES(?,?,?,?,?,?)",
            {m.reg, m.kind, m.subject, m.msgid, m.payload, nowSeconds()});
}

std::vector<Store::OutMsg> Store::outbox(const std::string& reg, size_t limit) {
    std::string sql = "SELECT seq, register, kind, subject, msgid, payload FROM outbox";
    std::vector<Json> v;
    if (!reg.empty()) sql += " WHERE register = ?", v.push_back(reg);
    sql += " ORDER BY seq LIMIT ?";
    v.push_back(static_cast<int64_t>(limit));
    std::lock_guard<std::mutex> l(readMutex_);
    Query q(rdb_, sql, v);
    std::vector<OutMsg> out;
    while (q.step())
        out.push_back({sqlite3_column_int64(q.st, 0), col(q.st, 1), col(q.st, 2), col(q.st, 3), col(q.st, 4), col(q.st, 5)});
    return out;
}

int64_t Store::outboxCount(const std::string& reg, const std::string& kind) {
    std::lock_guard<std::mutex> l(readMutex_);
    Query q(rdb_, "SELECT count(*) FROM outbox WHERE register=? AND kind=?", {reg, kind});
    return q.step() ? sqlite3_column_int64(q.st, 0) : 0;
}

std::vector<Json> Store::settlements(int64_t job) {
    std::lock_guard<std::mutex> l(readMutex_);
    Query q(rdb_, "SELECT outcome, how, by, note, at FROM settlements WHERE job=? ORDER BY seq", {job});
    std::vector<Json> out;
    while (q.step())
        out.push_back({{"outcome", col(q.st, 0)}, {"how", col(q.st, 1)}, {"by", col(q.st, 2)}, {"note", col(q.st, 3)},
                       {"at", sqlite3_column_double(q.st, 4)}});
    return out;
}

std::vector<Job> Store::recoverSending(double now) {
    std::vector<Job> found = jobsInStates({"sending"});
    if (found.empty()) return found;
    for (Job& j : found) {
        j.state = "unknown";
        j.status = 0x1000bu;
        j.statusText = "the gateway stopped while the job was being sent: the register may have run it";
        j.updated = now;
    }
    auto t = submit([found](Db& db) {
        for (const Job& j : found) updateJob(db, j);
    });
    if (!t->wait()) throw std::runtime_error("cannot mark the jobs that were being sent as unknown");
    return found;
}

}  // namespace trvgw
