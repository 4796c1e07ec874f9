#include "sink.h"

#include <nlohmann/json.hpp>
#include <pqxx/pqxx>

namespace trvsink {

using Json = nlohmann::json;

namespace {

// Each step takes the schema from the version before it to its own.
const char* const kSteps[] = {
    // 1: the first schema.
    R"SQL(
CREATE TABLE registers(
  serial TEXT PRIMARY KEY,
  shop TEXT NOT NULL,
  register TEXT NOT NULL,
  first_seen TIMESTAMPTZ NOT NULL DEFAULT now(),
  last_seen TIMESTAMPTZ NOT NULL DEFAULT now());
CREATE TABLE sale_records(
  id BIGSERIAL PRIMARY KEY,
  serial TEXT NOT NULL,
  number BIGINT NOT NULL,
  record_date DATE NOT NULL,
  type INTEGER NOT NULL,
  type_name TEXT NOT NULL,
  shop TEXT NOT NULL,
  register TEXT NOT NULL,
  record JSONB NOT NULL,
  msgid TEXT NOT NULL,
  collected DOUBLE PRECISION NOT NULL,
  received TIMESTAMPTZ NOT NULL DEFAULT clock_timestamp(),
  UNIQUE(serial, number, record_date));
CREATE INDEX sale_records_by_type ON sale_records(type, record_date);
CREATE INDEX sale_records_by_shop ON sale_records(shop, register, record_date);
CREATE VIEW daily_records AS SELECT * FROM sale_records WHERE type = 1;
CREATE VIEW receipts AS SELECT * FROM sale_records WHERE type = 2;
CREATE VIEW cancelled_receipts AS SELECT * FROM sale_records WHERE type = 3;
CREATE VIEW article_lines AS SELECT * FROM sale_records WHERE type IN (4, 5);
CREATE VIEW payments AS SELECT * FROM sale_records WHERE type IN (7, 8);
CREATE TABLE fiscal_events(
  msgid TEXT PRIMARY KEY,
  shop TEXT NOT NULL,
  register TEXT NOT NULL,
  serial TEXT NOT NULL,
  job TEXT NOT NULL,
  command TEXT NOT NULL,
  state TEXT NOT NULL,
  status BIGINT NOT NULL,
  data JSONB NOT NULL,
  received TIMESTAMPTZ NOT NULL DEFAULT clock_timestamp());
CREATE TABLE register_health(
  msgid TEXT PRIMARY KEY,
  shop TEXT NOT NULL,
  register TEXT NOT NULL,
  state TEXT NOT NULL,
  status BIGINT NOT NULL,
  text TEXT NOT NULL,
  at DOUBLE PRECISION NOT NULL,
  received TIMESTAMPTZ NOT NULL DEFAULT clock_timestamp());
CREATE TABLE price_outcomes(
  msgid TEXT PRIMARY KEY,
  list TEXT NOT NULL,
  shop TEXT NOT NULL,
  register TEXT NOT NULL,
  line INTEGER NOT NULL,
  plu BIGINT,
  outcome TEXT NOT NULL,
  status BIGINT NOT NULL,
  text TEXT NOT NULL,
  job TEXT NOT NULL,
  received TIMESTAMPTZ NOT NULL DEFAULT clock_timestamp());
CREATE INDEX price_outcomes_by_list ON price_outcomes(list, shop, register, line);
-- The latest outcome of each article on each register.
CREATE VIEW register_prices AS
  SELECT DISTINCT ON (shop, register, plu) shop, register, plu, list, outcome, status, text, received
  FROM price_outcomes ORDER BY shop, register, plu, received DESC;
CREATE TABLE rejected_messages(
  subject TEXT NOT NULL,
  msgid TEXT NOT NULL,
  data TEXT NOT NULL,
  why TEXT NOT NULL,
  received TIMESTAMPTZ NOT NULL DEFAULT clock_timestamp(),
  PRIMARY KEY(subject, msgid));
)SQL",
};

constexpr int kVersions = static_cast<int>(sizeof kSteps / sizeof kSteps[0]);

std::string str(const Json& j, const char* key) {
    auto it = j.find(key);
    if (it == j.end() || it->is_null()) return "";
    return it->is_string() ? it->get<std::string>() : it->dump();
}

int64_t num(const Json& j, const char* key) {
    auto it = j.find(key);
    return it != j.end() && it->is_number() ? it->get<int64_t>() : 0;
}

// One message's rows; false (with why) for a message that cannot be read.
bool writeOne(pqxx::work& w, const Message& m, size_t& rows, std::string& why) {
    Subject s;
    if (!parseSubject(m.subject, s)) {
        why = "the subject is not tarvik.<shop>.<register>.<kind>";
        return false;
    }
    const Json p = Json::parse(m.data, nullptr, false);
    if (!p.is_object()) {
        why = "the body is not a JSON object";
        return false;
    }
    if (m.msgid.empty()) {
        why = "no message id";
        return false;
    }
    pqxx::result r;
    if (s.kind == "journal") {
        const std::string serial = str(p, "serial"), date = str(p, "date");
        if (serial.empty() || date.size() != 10 || !p.contains("number") || !p["number"].is_number_integer()) {
            why = "a sale record without serial, number or date";
            return false;
        }
        w.exec_params("INSERT INTO registers(serial, shop, register) VALUES($1, $2, $3) "
                      "ON CONFLICT(serial) DO UPDATE SET shop=excluded.shop, register=excluded.register, last_seen=now()",
                      serial, s.shop, s.reg);
        r = w.exec_params(
            "INSERT INTO sale_records(serial, number, record_date, type, type_name, shop, register, record, msgid, collected) "
            "VALUES($1, $2, $3::date, $4, $5, $6, $7, $8::jsonb, $9, $10) ON CONFLICT DO NOTHING",
            serial, num(p, "number"), date, num(p, "type"), str(p, "type_name"), s.shop, s.reg,
            p.value("record", Json::object()).dump(), m.msgid, p.value("collected", 0.0));
    } else if (s.kind == "fiscal") {
        r = w.exec_params(
            "INSERT INTO fiscal_events(msgid, shop, register, serial, job, command, state, status, data) "
            "VALUES($1, $2, $3, $4, $5, $6, $7, $8, $9::jsonb) ON CONFLICT DO NOTHING",
            m.msgid, s.shop, s.reg, str(p, "serial"), str(p, "id"), str(p, "command"), str(p, "state"), num(p, "status"),
            m.data);
    } else if (s.kind == "health") {
        r = w.exec_params(
            "INSERT INTO register_health(msgid, shop, register, state, status, text, at) "
            "VALUES($1, $2, $3, $4, $5, $6, $7) ON CONFLICT DO NOTHING",
            m.msgid, s.shop, s.reg, str(p, "state"), num(p, "status"), str(p, "text"), p.value("at", 0.0));
    } else if (s.kind == "price") {
        const std::string plu = p.contains("plu") && p["plu"].is_number_integer() ? p["plu"].dump() : "";
        r = w.exec_params(
            "INSERT INTO price_outcomes(msgid, list, shop, register, line, plu, outcome, status, text, job) "
            "VALUES($1, $2, $3, $4, $5, NULLIF($6, '')::bigint, $7, $8, $9, $10) ON CONFLICT DO NOTHING",
            m.msgid, str(p, "list"), s.shop, s.reg, num(p, "line"), plu, str(p, "outcome"), num(p, "status"),
            str(p, "text"), str(p, "job"));
    } else {
        why = "unknown kind " + s.kind;
        return false;
    }
    rows = r.affected_rows();
    return true;
}

}  // namespace

bool parseSubject(const std::string& subject, Subject& out) {
    std::vector<std::string> parts;
    size_t i = 0;
    for (;;) {
        const size_t dot = subject.find('.', i);
        parts.push_back(subject.substr(i, dot == std::string::npos ? std::string::npos : dot - i));
        if (dot == std::string::npos) break;
        i = dot + 1;
    }
    if (parts.size() != 4 || parts[0] != "tarvik") return false;
    for (const std::string& p : parts)
        if (p.empty()) return false;
    out = {parts[1], parts[2], parts[3]};
    return true;
}

Sink::Sink(const std::string& conninfo) : c_(std::make_unique<pqxx::connection>(conninfo)) {}

Sink::~Sink() = default;

int Sink::schemaVersion() { return kVersions; }

int Sink::migrate() {
    pqxx::work w(*c_);
    w.exec("SELECT pg_advisory_xact_lock(7401029)");
    w.exec("CREATE TABLE IF NOT EXISTS schema_version(version INTEGER NOT NULL, applied TIMESTAMPTZ NOT NULL DEFAULT now())");
    int v = w.exec1("SELECT coalesce(max(version), 0) FROM schema_version")[0].as<int>();
    if (v > kVersions) throw std::runtime_error("the database's schema (version " + std::to_string(v) +
                                                ") is newer than this trvsink knows (" + std::to_string(kVersions) + ")");
    for (; v < kVersions; ++v) {
        w.exec(kSteps[v]);
        w.exec_params("INSERT INTO schema_version(version) VALUES($1)", v + 1);
    }
    w.commit();
    return v;
}

Written Sink::write(const std::vector<Message>& batch) {
    try {
        return writeBatch(batch);
    } catch (const pqxx::broken_connection&) {
        throw;
    } catch (const pqxx::sql_error& e) {
        // A message the database refuses (a date that is no date...) must
        // not hold up the rest: one at a time, and that one kept aside.
        if (batch.size() > 1) {
            Written out;
            for (const Message& m : batch) {
                const Written one = write({m});
                out.rows += one.rows;
                out.duplicates += one.duplicates;
                out.rejected += one.rejected;
            }
            return out;
        }
        pqxx::work w(*c_);
        w.exec_params("INSERT INTO rejected_messages(subject, msgid, data, why) VALUES($1, $2, $3, $4) "
                      "ON CONFLICT DO NOTHING",
                      batch[0].subject, batch[0].msgid, batch[0].data, std::string("refused: ") + e.what());
        w.commit();
        Written out;
        out.rejected = 1;
        return out;
    }
}

Written Sink::writeBatch(const std::vector<Message>& batch) {
    Written out;
    pqxx::work w(*c_);
    for (const Message& m : batch) {
        size_t rows = 0;
        std::string why;
        if (writeOne(w, m, rows, why)) {
            out.rows += rows;
            if (rows == 0) ++out.duplicates;
        } else {
            w.exec_params("INSERT INTO rejected_messages(subject, msgid, data, why) VALUES($1, $2, $3, $4) "
                          "ON CONFLICT DO NOTHING",
                          m.subject, m.msgid, m.data, why);
            ++out.rejected;
        }
    }
    w.commit();
    return out;
}

}  // namespace trvsink
