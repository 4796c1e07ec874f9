// The gateway end to end: the real trvgw daemon, real trvsim registers on
// loopback, and a real HTTP client.
#include <gtest/gtest.h>
#include <httplib.h>

#include <arpa/inet.h>
#include <sys/stat.h>

#include <atomic>
#include <map>
#include <mutex>
#include <regex>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "trvgw_harness.h"

using nlohmann::json;
using namespace trvgw::test;
using namespace std::chrono_literals;

namespace {

const std::string kGw = TRVGW_PATH;
const std::string kSim = TRVSIM_PATH;

httplib::Headers jsonHeaders(const std::string& key = "", const std::string& prefer = "") {
    httplib::Headers h;
    if (!key.empty()) h.emplace("Idempotency-Key", key);
    if (!prefer.empty()) h.emplace("Prefer", prefer);
    return h;
}

struct Reply {
    int status = 0;
    json body;
    std::string raw, contentType;
    httplib::Headers headers;
};

Reply reply(const httplib::Result& r) {
    Reply out;
    if (!r) {
        out.raw = "no response: " + httplib::to_string(r.error());
        return out;
    }
    out.status = r->status;
    out.raw = r->body;
    out.contentType = r->get_header_value("Content-Type");
    out.headers = r->headers;
    out.body = json::parse(r->body, nullptr, false);
    return out;
}

class Client {
public:
    explicit Client(int port, const std::string& token = "") : c_("127.0.0.1", port) {
        c_.set_read_timeout(60, 0);
        c_.set_keep_alive(true);
        if (!token.empty()) c_.set_bearer_token_auth(token);
    }
    Reply get(const std::string& path, const std::string& prefer = "") {
        return reply(c_.Get(path.c_str(), jsonHeaders("", prefer)));
    }
    Reply post(const std::string& path, const json& body, const std::string& key = "", const std::string& prefer = "") {
        return reply(c_.Post(path.c_str(), jsonHeaders(key, prefer), body.dump(), "application/json"));
    }
    Reply put(const std::string& path, const json& body, const std::string& key = "", const std::string& prefer = "") {
        return reply(c_.Put(path.c_str(), jsonHeaders(key, prefer), body.dump(), "application/json"));
    }
    Reply raw(const std::string& method, const std::string& path, const std::string& body, const httplib::Headers& h,
              const std::string& type = "application/json") {
        if (method == "POST") return reply(c_.Post(path.c_str(), h, body, type.c_str()));
        return reply(c_.Get(path.c_str(), h));
    }

private:
    httplib::Client c_;
};

json article(const std::string& name, const std::string& price = "250") {
    return {{"nazwa", name},       {"barcode", ""},   {"cena", price},        {"ilosc_min", "0"},
            {"numer_opakowania", 0}, {"numer_MU", 1},   {"numer_rabatu", 0},    {"numer_grupy", 1},
            {"numer_VAT", 1},        {"format_ilosci", 0}, {"cena_sztywna", 0}, {"czy_rabat", 0},
            {"czy_notatnik", 0}};
}

// Waits for a condition, generously.
template <class F>
bool eventually(F f, std::chrono::milliseconds limit = 20000ms) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (f()) return true;
        std::this_thread::sleep_for(50ms);
    }
    return f();
}

std::string configFor(const std::vector<std::pair<std::string, int>>& regs, const std::string& extra = "",
                      const std::string& regExtra = "") {
    std::string s = "{\"registers\": [";
    for (size_t i = 0; i < regs.size(); ++i)
        s += (i ? "," : "") + std::string("{\"id\": \"") + regs[i].first + "\", \"url\": \"tcp://127.0.0.1:" +
             std::to_string(regs[i].second) + "\"" + regExtra + "}";
    s += "]" + extra + "}";
    return s;
}

// A gateway over one configuration file and database, removed afterwards.
struct Fixture {
    std::string cfg, db;
    std::unique_ptr<Daemon> gw;
    Fixture(const std::string& name, const std::string& config, std::vector<std::string> more = {}) {
        cfg = tempPath(name + ".json");
        db = tempPath(name + ".db");
        removeDb(db);
        writeFile(cfg, config);
        start(more);
    }
    void start(std::vector<std::string> more = {}) {
        std::vector<std::string> a = {"--config", cfg, "--listen", "127.0.0.1:0", "--database", db};
        a.insert(a.end(), more.begin(), more.end());
        gw = std::make_unique<Daemon>(kGw, a);
    }
    ~Fixture() {
        gw.reset();
        std::remove(cfg.c_str());
        removeDb(db);
    }
    int port() const { return gw->port; }
};

}  // namespace

// Every endpoint once, against two simulated registers started by --sim.
TEST(Trvgw, EveryEndpointWithSim) {
    const std::string db = tempPath("sim.db");
    removeDb(db);
    Daemon gw(kGw, {"--sim", "2", "--listen", "127.0.0.1:0", "--database", db});
    EXPECT_TRUE(std::regex_match(gw.first, std::regex("listening on http://127\\.0\\.0\\.1:[0-9]+"))) << gw.first;
    Client c(gw.port);

    Reply h = c.get("/v1/health");
    ASSERT_EQ(h.status, 200);
    EXPECT_EQ(h.body["registers"], 2);
    ASSERT_TRUE(eventually([&] { return c.get("/v1/health").body["online"] == 2; }));

    Reply regs = c.get("/v1/registers");
    ASSERT_EQ(regs.status, 200);
    ASSERT_EQ(regs.body["registers"].size(), 2u);
    EXPECT_EQ(regs.body["registers"][0]["id"], "sim1");
    EXPECT_EQ(c.get("/v1/registers/sim2").body["state"], "online");
    EXPECT_EQ(c.get("/v1/registers/nope").status, 404);
    Reply live = c.get("/v1/registers/sim1/status");
    ASSERT_EQ(live.status, 200) << live.raw;
    EXPECT_TRUE(live.body.contains("numer_unikatowy"));

    // The commands, described from the tables.
    Reply cmds = c.get("/v1/commands");
    ASSERT_EQ(cmds.status, 200);
    EXPECT_GT(cmds.body["commands"].size(), 200u);
    Reply one = c.get("/v1/commands/TRVS_PLURead");
    ASSERT_EQ(one.status, 200);
    EXPECT_EQ(one.body["args"]["properties"]["numer_rekordu"]["maximum"], 65535);
    EXPECT_TRUE(one.body["result"]["properties"].contains("nazwa"));
    EXPECT_EQ(one.body["scope"], "read");
    EXPECT_EQ(c.get("/v1/commands/TRVS_RepFskDaily").body["scope"], "fiscal");
    EXPECT_EQ(c.get("/v1/commands/TRVS_Nothing").status, 404);

    // A command by name, waited for: named results.
    Reply job = c.post("/v1/registers/sim1/commands/TRVS_PLURead", {{"numer_rekordu", 1}, {"z_kodem", 0}}, "read-1",
                       "wait=10");
    ASSERT_EQ(job.status, 201) << job.raw;
    EXPECT_EQ(job.body["state"], "succeeded");
    EXPECT_EQ(job.body["result"]["nazwa"], "CHLEB");
    EXPECT_EQ(job.headers.find("Preference-Applied")->second, "wait=10");
    const std::string id = job.body["id"];
    EXPECT_EQ(c.get("/v1/jobs/" + id).body["state"], "succeeded");
    EXPECT_EQ(c.get("/v1/jobs/j999999").status, 404);
    EXPECT_EQ(c.get("/v1/jobs/x1").status, 404);

    // POST /v1/jobs, the same with the register in the body.
    Reply j2 = c.post("/v1/jobs", {{"register", "sim2"}, {"command", "TRVS_FiscMemStatus"}, {"args", json::object()}},
                      "fm-1", "wait=10");
    ASSERT_EQ(j2.status, 201) << j2.raw;
    EXPECT_EQ(j2.body["register"], "sim2");
    EXPECT_TRUE(j2.body["result"].contains("rap_dobowe"));

    // A register's refusal is a job that failed (not done), with the status.
    Reply bad = c.post("/v1/registers/sim1/commands/TRVS_PluPriceUpdate", {{"numer_rekordu", 999}, {"cena", "100"}},
                       "price-999", "wait=10");
    ASSERT_EQ(bad.status, 201);
    EXPECT_EQ(bad.body["state"], "failed");
    EXPECT_EQ(bad.body["status_hex"], "0x430068");
    EXPECT_FALSE(bad.body["text"].get<std::string>().empty());

    // Articles: read, write (a job), read back; UTF-8 in, the register's set on the wire.
    Reply a1 = c.get("/v1/registers/sim1/articles/1");
    ASSERT_EQ(a1.status, 200);
    EXPECT_EQ(a1.body["nazwa"], "CHLEB");
    Reply put = c.put("/v1/registers/sim1/articles/40", article("ŻÓŁTY SER", "1299"), "art-40", "wait=10");
    ASSERT_EQ(put.status, 201) << put.raw;
    EXPECT_EQ(put.body["state"], "succeeded");
    EXPECT_TRUE(put.body["idempotent"].get<bool>());
    Reply a40 = c.get("/v1/registers/sim1/tables/articles/40");
    ASSERT_EQ(a40.status, 200);
    EXPECT_EQ(a40.body["nazwa"], "ŻÓŁTY SER");
    EXPECT_EQ(a40.body["cena"], "1299");
    EXPECT_EQ(c.get("/v1/registers/sim1/articles/4000").status, 404);
    Reply tables = c.get("/v1/registers/sim1/tables");
    EXPECT_GE(tables.body["tables"].size(), 5u);
    Reply grp = c.put("/v1/registers/sim1/tables/groups/5", {{"nazwa", "NABIAŁ"}}, "grp-5", "wait=10");
    ASSERT_EQ(grp.status, 201) << grp.raw;
    EXPECT_EQ(grp.body["state"], "succeeded");
    EXPECT_EQ(c.get("/v1/registers/sim1/tables/groups/5").body["nazwa"], "NABIAŁ");

    // Batch import: a result per line, bad lines refused alone.
    json recs = json::array();
    for (int i = 50; i < 55; ++i) {
        json r = article("ART " + std::to_string(i));
        r["key"] = i;
        recs.push_back(r);
    }
    json broken = article("BAD");
    broken["key"] = 56;
    broken["cena"] = "1.5";  // an article's price has no decimals
    recs.push_back(broken);
    recs.push_back({{"nazwa", "no key"}});
    Reply imp = c.post("/v1/registers/sim1/tables/articles/import", {{"records", recs}}, "imp-1", "wait=20");
    ASSERT_EQ(imp.status, 200) << imp.raw;
    EXPECT_EQ(imp.body["succeeded"], 5);
    EXPECT_EQ(imp.body["failed"], 2);
    EXPECT_EQ(imp.body["lines"][5]["problem"]["argument"], "cena");
    EXPECT_EQ(imp.body["lines"][6]["problem"]["argument"], "key");
    EXPECT_EQ(c.get("/v1/registers/sim1/articles/53").body["nazwa"], "ART 53");

    // Reports: a printed one and the daily (fiscal) one; the fiscal memory.
    Reply fm0 = c.get("/v1/registers/sim1/fiscal-memory");
    ASSERT_EQ(fm0.status, 200);
    Reply rep = c.post("/v1/registers/sim1/reports/RepPTU", json::object(), "rep-ptu", "wait=20");
    ASSERT_EQ(rep.status, 201) << rep.raw;
    EXPECT_EQ(rep.body["state"], "succeeded");
    Reply daily = c.post("/v1/registers/sim1/reports/daily", {{"czy_z_data", 0}, {"date_time", ""}}, "daily-1", "wait=20");
    ASSERT_EQ(daily.status, 201) << daily.raw;
    EXPECT_EQ(daily.body["state"], "succeeded") << daily.raw;
    Reply fm1 = c.get("/v1/registers/sim1/fiscal-memory");
    EXPECT_EQ(fm1.body["rap_dobowe"].get<int>(), fm0.body["rap_dobowe"].get<int>() + 1);
    Reply rec1 = c.get("/v1/registers/sim1/fiscal-memory/1");
    ASSERT_EQ(rec1.status, 200) << rec1.raw;
    EXPECT_TRUE(rec1.body.contains("type_name"));
    EXPECT_EQ(c.post("/v1/registers/sim1/reports/Nothing", json::object(), "rep-x").status, 404);

    // The sale journal: collected into the database, read with a cursor.
    Reply col = c.post("/v1/registers/sim1/journal/collect", json::object());
    ASSERT_EQ(col.status, 200) << col.raw;
    EXPECT_EQ(col.body["added"], 18);
    EXPECT_EQ(col.body["deleted_on_register"], false);
    Reply again = c.post("/v1/registers/sim1/journal/collect", json::object());
    EXPECT_EQ(again.body["added"], 0);  // nothing taken twice
    Reply page = c.get("/v1/registers/sim1/journal?limit=10");
    ASSERT_EQ(page.status, 200);
    ASSERT_EQ(page.body["records"].size(), 10u);
    Reply page2 = c.get("/v1/journal?register=sim1&after=" + std::to_string(page.body["next"].get<int64_t>()));
    EXPECT_EQ(page2.body["records"].size(), 8u);
    EXPECT_TRUE(page.body["records"][0]["record"].contains("type_name"));

    // Lists and filters.
    Reply list = c.get("/v1/jobs?register=sim1&state=succeeded&limit=2");
    ASSERT_EQ(list.status, 200);
    EXPECT_EQ(list.body["jobs"].size(), 2u);
    Reply rest = c.get("/v1/jobs?register=sim1&state=succeeded&after=" + std::to_string(list.body["next"].get<int64_t>()));
    EXPECT_GT(rest.body["jobs"].size(), 0u);
    for (const json& j : rest.body["jobs"]) EXPECT_EQ(j["state"], "succeeded");
    EXPECT_EQ(c.get("/v1/jobs?state=bogus").status, 400);
    EXPECT_EQ(c.get("/v1/jobs?limit=0").status, 400);

    // Cancel is for queued jobs only; settle for unknown ones only.
    Reply nc = c.post("/v1/jobs/" + id + "/cancel", json::object());
    EXPECT_EQ(nc.status, 409);
    EXPECT_EQ(nc.contentType, "application/problem+json");
    Reply ns = c.post("/v1/jobs/" + id + "/settle", {{"outcome", "done"}});
    EXPECT_EQ(ns.status, 409);
    EXPECT_EQ(c.get("/v1/jobs/" + id + "/settlements").body["settlements"].size(), 0u);

    Reply doc = c.get("/v1/openapi.json");
    ASSERT_EQ(doc.status, 200);
    EXPECT_EQ(doc.body["openapi"], "3.1.0");
    gw.proc.stop(SIGTERM);
    EXPECT_EQ(gw.proc.wait(), 0);
    removeDb(db);
}

// The same key with the same body is the same job; with another body 409;
// without a key 400. Concurrent duplicates make one job.
TEST(Trvgw, IdempotencyKeys) {
    Sim sim(kSim);
    Fixture f("idem", configFor({{"r1", sim.port}}));
    Client c(f.port());
    const json body = {{"numer_rekordu", 60}, {"cena", "500"}};
    Reply first = c.post("/v1/registers/r1/commands/TRVS_PluPriceUpdate", body, "k-1", "wait=10");
    ASSERT_EQ(first.status, 201) << first.raw;
    Reply second = c.post("/v1/registers/r1/commands/TRVS_PluPriceUpdate", body, "k-1", "wait=10");
    EXPECT_EQ(second.status, 200);
    EXPECT_EQ(second.body["id"], first.body["id"]);
    Reply other = c.post("/v1/registers/r1/commands/TRVS_PluPriceUpdate", {{"numer_rekordu", 60}, {"cena", "501"}}, "k-1");
    EXPECT_EQ(other.status, 409);
    EXPECT_EQ(other.contentType, "application/problem+json");
    EXPECT_EQ(other.body["status"], 409);
    Reply elsewhere = c.post("/v1/registers/r1/commands/TRVS_PLURead", {{"numer_rekordu", 1}, {"z_kodem", 0}}, "k-1");
    EXPECT_EQ(elsewhere.status, 409);
    EXPECT_EQ(c.post("/v1/registers/r1/commands/TRVS_PluPriceUpdate", body).status, 400);

    // 20 clients with one key at once: one job.
    std::vector<std::thread> ts;
    std::mutex m;
    std::set<std::string> ids;
    std::atomic<int> created{0};
    for (int i = 0; i < 20; ++i)
        ts.emplace_back([&] {
            Client cc(f.port());
            Reply r = cc.put("/v1/registers/r1/articles/61", article("RACE"), "race-key", "wait=10");
            std::lock_guard<std::mutex> l(m);
            if (r.status == 201) ++created;
            ids.insert(r.body.value("id", "?"));
        });
    for (auto& t : ts) t.join();
    EXPECT_EQ(created.load(), 1);
    EXPECT_EQ(ids.size(), 1u);

    // The key outlives a restart.
    f.gw->proc.stop(SIGTERM);
    f.start();
    Client c2(f.port());
    Reply after = c2.post("/v1/registers/r1/commands/TRVS_PluPriceUpdate", body, "k-1");
    EXPECT_EQ(after.status, 200);
    EXPECT_EQ(after.body["id"], first.body["id"]);
}

// 50 clients at once over two registers: every job ends, none is lost.
TEST(Trvgw, FiftyConcurrentClients) {
    Sim a(kSim), b(kSim);
    Fixture f("fifty", configFor({{"a", a.port}, {"b", b.port}}));
    std::atomic<int> ok{0}, bad{0};
    std::vector<std::thread> ts;
    for (int i = 0; i < 50; ++i)
        ts.emplace_back([&, i] {
            Client c(f.port());
            for (int k = 0; k < 4; ++k) {
                const std::string reg = (i + k) % 2 ? "a" : "b";
                Reply r = c.put("/v1/registers/" + reg + "/articles/" + std::to_string(100 + i),
                                article("C" + std::to_string(i) + "-" + std::to_string(k)),
                                "c" + std::to_string(i) + "-" + std::to_string(k), "wait=30");
                if (r.status == 201 && r.body["state"] == "succeeded") {
                    ++ok;
                } else {
                    ++bad;
                    ADD_FAILURE() << "client " << i << " request " << k << ": " << r.status << " " << r.raw;
                }
                if (c.get("/v1/registers/" + reg).status != 200) ++bad;
            }
        });
    for (auto& t : ts) t.join();
    EXPECT_EQ(ok.load(), 200);
    EXPECT_EQ(bad.load(), 0);
    Client c(f.port());
    EXPECT_EQ(c.get("/v1/jobs?state=succeeded&limit=1000").body["jobs"].size(), 200u);
}

// A register that goes away and comes back: its state shows it, jobs wait
// queued (not failed, not lost) and go once it is back.
TEST(Trvgw, RegisterVanishesAndReturns) {
    const int port = freePort();
    auto sim = std::make_unique<Sim>(kSim, std::vector<std::string>{}, port);
    Fixture f("vanish", configFor({{"r1", port}}));
    Client c(f.port());
    ASSERT_TRUE(eventually([&] { return c.get("/v1/registers/r1").body["state"] == "online"; }));
    sim.reset();  // SIGKILL
    // The next job finds it gone; the register goes offline.
    Reply j = c.put("/v1/registers/r1/articles/70", article("BACK"), "v-1", "wait=3");
    ASSERT_TRUE(j.status == 201 || j.status == 202) << j.raw;
    ASSERT_TRUE(eventually([&] { return c.get("/v1/registers/r1").body["state"] == "offline"; }));
    Reply r = c.get("/v1/registers/r1");
    EXPECT_NE(r.body["last_status"], 0);
    EXPECT_EQ(c.get("/v1/registers/r1/articles/1").status, 503);
    Reply queued = c.put("/v1/registers/r1/articles/71", article("LATER"), "v-2", "wait=1");
    EXPECT_EQ(queued.status, 202);
    EXPECT_EQ(queued.body["state"], "queued");
    sim = std::make_unique<Sim>(kSim, std::vector<std::string>{}, port);
    ASSERT_TRUE(eventually([&] { return c.get("/v1/registers/r1").body["state"] == "online"; }));
    Reply done = c.get("/v1/jobs/" + queued.body["id"].get<std::string>(), "wait=20");
    EXPECT_EQ(done.body["state"], "succeeded") << done.raw;
    EXPECT_GE(c.get("/v1/registers/r1").body["reopens"].get<int>(), 1);
    // The first job: never sent (failed, safe to retry), or sent after the return.
    Reply first = c.get("/v1/jobs/" + j.body["id"].get<std::string>(), "wait=20");
    EXPECT_TRUE(first.body["state"] == "failed" || first.body["state"] == "succeeded") << first.raw;
}

// A register that never answers keeps its jobs queued, up to the configured
// number; beyond it a job is refused (503, not written), and a cancelled one
// makes room.
TEST(Trvgw, QueueLimitPerRegister) {
    Fixture f("qlimit", configFor({{"r1", freePort()}}, R"(, "max_jobs_queued": 2)"));
    Client c(f.port());
    Reply a = c.put("/v1/registers/r1/articles/80", article("A"), "q-1");
    Reply b = c.put("/v1/registers/r1/articles/81", article("B"), "q-2");
    ASSERT_EQ(a.status, 202) << a.raw;
    ASSERT_EQ(b.status, 202) << b.raw;
    Reply full = c.put("/v1/registers/r1/articles/82", article("C"), "q-3");
    EXPECT_EQ(full.status, 503) << full.raw;
    EXPECT_EQ(full.contentType, "application/problem+json");
    EXPECT_EQ(c.get("/v1/jobs?register=r1").body["jobs"].size(), 2u);  // nothing written for it
    Reply cancel = c.post("/v1/jobs/" + a.body["id"].get<std::string>() + "/cancel", json::object());
    ASSERT_EQ(cancel.status, 200) << cancel.raw;
    EXPECT_EQ(cancel.body["state"], "cancelled");
    EXPECT_EQ(c.put("/v1/registers/r1/articles/82", article("C"), "q-3").status, 202);
}

// A slow register: the wait runs out after the frame went out, so the job is
// unknown; it holds later jobs of that register until a person settles it,
// and it is never sent again.
TEST(Trvgw, SlowRegisterUnknownHoldsAndSettles) {
    Sim sim(kSim, {"--answer-delay-ms", "1500"});
    Fixture f("slow", configFor({{"r1", sim.port}}, "", R"(, "timeouts": {"answer_ms": 3000})"));
    Client c(f.port());
    ASSERT_TRUE(eventually([&] { return c.get("/v1/registers/r1").body["state"] == "online"; }));
    // Answers within the time still work, however slow.
    Reply ok = c.post("/v1/registers/r1/commands/TRVS_PLURead", {{"numer_rekordu", 1}, {"z_kodem", 0}}, "s-0", "wait=10");
    EXPECT_EQ(ok.body["state"], "succeeded") << ok.raw;
    f.gw.reset();
    // Now with a time-out shorter than the answer.
    writeFile(f.cfg, configFor({{"r1", sim.port}}, "", R"(, "timeouts": {"answer_ms": 500})"));
    f.start();
    Client c2(f.port());
    Reply u = c2.post("/v1/registers/r1/commands/TRVS_PluPriceUpdate", {{"numer_rekordu", 1}, {"cena", "999"}}, "s-1",
                      "wait=10");
    ASSERT_EQ(u.status, 201) << u.raw;
    EXPECT_EQ(u.body["state"], "unknown") << u.raw;
    EXPECT_EQ(u.body["status_hex"], "0x1000B");
    const std::string uid = u.body["id"];
    // Later jobs of the register wait; the unknown job holds them.
    Reply later = c2.put("/v1/registers/r1/articles/80", article("HELD"), "s-2", "wait=2");
    EXPECT_EQ(later.status, 202);
    EXPECT_EQ(later.body["state"], "queued");
    Reply reg = c2.get("/v1/registers/r1");
    ASSERT_EQ(reg.body["held_by"].size(), 1u);
    EXPECT_EQ(reg.body["held_by"][0], uid);
    // A queued job can be cancelled.
    Reply later2 = c2.put("/v1/registers/r1/articles/81", article("DROP"), "s-3");
    Reply cancelled = c2.post("/v1/jobs/" + later2.body["id"].get<std::string>() + "/cancel", json::object());
    EXPECT_EQ(cancelled.status, 200) << cancelled.raw;
    EXPECT_EQ(cancelled.body["state"], "cancelled");
    // Bad settlements are refused; a good one is audited and frees the register.
    EXPECT_EQ(c2.post("/v1/jobs/" + uid + "/settle", {{"outcome", "maybe"}}).status, 422);
    EXPECT_EQ(c2.post("/v1/jobs/" + uid + "/settle", {{"outcome", "done"}, {"extra", 1}}).status, 422);
    Reply s = c2.post("/v1/jobs/" + uid + "/settle", {{"outcome", "not_done"}, {"note", "price checked on the display"}});
    ASSERT_EQ(s.status, 200) << s.raw;
    EXPECT_EQ(s.body["state"], "settled");
    EXPECT_EQ(s.body["outcome"], "not_done");
    Reply audit = c2.get("/v1/jobs/" + uid + "/settlements");
    ASSERT_EQ(audit.body["settlements"].size(), 1u);
    EXPECT_EQ(audit.body["settlements"][0]["how"], "operator");
    EXPECT_EQ(audit.body["settlements"][0]["note"], "price checked on the display");
    // The held job now goes (it may be unknown again: the register is still slow).
    Reply went = c2.get("/v1/jobs/" + later.body["id"].get<std::string>(), "wait=10");
    EXPECT_NE(went.body["state"], "queued") << went.raw;
    EXPECT_EQ(c2.post("/v1/jobs/" + uid + "/settle", {{"outcome", "done"}}).status, 409);
}

// An unknown job with a read-back is settled by the gateway itself.
TEST(Trvgw, UnknownSettledByReadBack) {
    // Every 3rd request frame closes the connection before the answer.
    Sim sim(kSim, {"--drop-every", "3"});
    Fixture f("readback", configFor({{"r1", sim.port}}));
    Client c(f.port());
    ASSERT_TRUE(eventually([&] { return c.get("/v1/registers/r1").body["state"] == "online"; }));
    std::string unknownId;
    for (int i = 0; i < 6 && unknownId.empty(); ++i) {
        Reply r = c.post("/v1/registers/r1/commands/TRVS_PluPriceUpdate",
                         {{"numer_rekordu", 1}, {"cena", std::to_string(400 + i)}}, "rb-" + std::to_string(i), "wait=10");
        ASSERT_TRUE(r.status == 201) << r.raw;
        if (r.body["state"] == "unknown") unknownId = r.body["id"];
    }
    ASSERT_FALSE(unknownId.empty());
    // A price update has no read-back: it waits for a person...
    std::this_thread::sleep_for(3s);
    EXPECT_EQ(c.get("/v1/jobs/" + unknownId).body["state"], "unknown");
    ASSERT_EQ(c.post("/v1/jobs/" + unknownId + "/settle", {{"outcome", "done"}}).status, 200);
    // ...an article written whole has one.
    std::string artUnknown;
    for (int i = 0; i < 6 && artUnknown.empty(); ++i) {
        Reply r = c.put("/v1/registers/r1/articles/90", article("RB " + std::to_string(i)), "rba-" + std::to_string(i),
                        "wait=10");
        if (r.body["state"] == "unknown") artUnknown = r.body["id"];
    }
    ASSERT_FALSE(artUnknown.empty());
    Reply settled;
    ASSERT_TRUE(eventually([&] {
        settled = c.get("/v1/jobs/" + artUnknown);
        return settled.body["state"] == "settled";
    }));
    EXPECT_EQ(settled.body["settled_by"], "gateway");
    EXPECT_TRUE(settled.body["outcome"] == "done" || settled.body["outcome"] == "not_done");
    Reply audit = c.get("/v1/jobs/" + artUnknown + "/settlements");
    EXPECT_EQ(audit.body["settlements"][0]["how"], "read-back");
}

namespace {

// The request frames a simulator logged, as (command, first Word argument).
std::vector<std::pair<int, int>> loggedRequests(const std::string& path) {
    std::ifstream f(path);
    std::string line;
    std::vector<std::pair<int, int>> out;
    std::vector<int> bytes;
    bool in = false;
    auto flush = [&] {
        if (bytes.size() < 4) return;
        // Unstuff DLE DLE after the frame start.
        std::vector<int> u;
        for (size_t i = 2; i < bytes.size(); ++i) {
            u.push_back(bytes[i]);
            if (bytes[i] == 0x10 && i + 1 < bytes.size() && bytes[i + 1] == 0x10) ++i;
        }
        if (u.size() > 14) {
            const int cmd = u[10] | (u[11] << 8);
            const int word = u[12] == 0x56 ? (u[13] | (u[14] << 8)) : -1;
            out.emplace_back(cmd, word);
        }
    };
    while (std::getline(f, line)) {
        if (line.rfind("SIM: FRAME Received", 0) == 0) {
            flush();
            bytes.clear();
            in = true;
            continue;
        }
        if (line.rfind("$$I ", 0) == 0 && in) {
            std::istringstream s(line.substr(9));
            std::string h;
            while (s >> h) bytes.push_back(std::stoi(h, nullptr, 16));
            continue;
        }
        if (in && line.rfind("$$I", 0) != 0) {
            flush();
            bytes.clear();
            in = false;
        }
    }
    if (in) flush();
    return out;
}

}  // namespace

// SIGKILL in the middle of a load, then a restart: no acknowledged job is
// lost, none is sent twice, every job that was being sent is unknown.
TEST(Trvgw, SigkillAndRestart) {
    const std::string log = tempPath("kill-sim.log");
    std::remove(log.c_str());
    Sim sim(kSim, {"--answer-delay-ms", "40", "--log", log});
    Fixture f("kill", configFor({{"r1", sim.port}}, "", R"(, "hold_after_unknown": true)"));
    std::mutex m;
    std::map<std::string, int> acked;  // job id: its record number
    std::atomic<bool> stop{false};
    std::vector<std::thread> ts;
    std::atomic<int> next{1};
    for (int i = 0; i < 8; ++i)
        ts.emplace_back([&] {
            Client c(f.port());
            while (!stop) {
                int n = next++;
                if ((n & 0xFF) == 0x10 || (n >> 8) == 0x10) continue;  // no stuffed bytes in the word
                Reply r = c.post("/v1/registers/r1/commands/TRVS_PluPriceUpdate", {{"numer_rekordu", n}, {"cena", "100"}},
                                 "kill-" + std::to_string(n), "wait=5");
                if (r.status == 201 || r.status == 202) {
                    std::lock_guard<std::mutex> l(m);
                    acked[r.body["id"]] = n;
                }
            }
        });
    std::this_thread::sleep_for(1500ms);
    f.gw->proc.signal(SIGKILL);
    f.gw->proc.wait();
    stop = true;
    for (auto& t : ts) t.join();
    ASSERT_GT(acked.size(), 5u);

    f.start();
    Client c(f.port());
    size_t unknown = 0;
    for (const auto& [id, n] : acked) {
        Reply j = c.get("/v1/jobs/" + id);
        ASSERT_EQ(j.status, 200) << id << " was acknowledged and is lost";
        EXPECT_NE(j.body["state"], "sending");
        if (j.body["state"] == "unknown") {
            ++unknown;
            EXPECT_EQ(j.body["status_hex"], "0x1000B");
        }
    }
    // Nothing in "sending" anywhere, and at most one job was in flight.
    EXPECT_EQ(c.get("/v1/jobs?state=sending").body["jobs"].size(), 0u);
    Reply unknowns = c.get("/v1/jobs?state=unknown&limit=1000");
    EXPECT_LE(unknowns.body["jobs"].size(), 1u);
    // Settle it; the queued ones then run, and nothing goes out twice.
    for (const json& j : unknowns.body["jobs"])
        ASSERT_EQ(c.post("/v1/jobs/" + j["id"].get<std::string>() + "/settle", {{"outcome", "not_done"}}).status, 200);
    for (const auto& [id, n] : acked) {
        Reply j = c.get("/v1/jobs/" + id, "wait=30");
        EXPECT_NE(j.body["state"], "queued") << id;
    }
    f.gw->proc.stop(SIGTERM);
    sim.proc.stop(SIGTERM);
    std::map<int, int> sent;
    for (auto [cmd, word] : loggedRequests(log))
        if (cmd == 2181) ++sent[word];
    size_t total = 0;
    for (auto [word, count] : sent) {
        EXPECT_EQ(count, 1) << "record " << word << " was sent " << count << " times";
        total += static_cast<size_t>(count);
    }
    EXPECT_GE(total, acked.size() - unknown);
    std::remove(log.c_str());
}

// SIGTERM drains: the job in flight finishes, queued ones stay queued for
// the next start, and the process ends cleanly.
TEST(Trvgw, SigtermDrains) {
    Sim sim(kSim, {"--answer-delay-ms", "800"});
    Fixture f("drain", configFor({{"r1", sim.port}}));
    Client c(f.port());
    ASSERT_TRUE(eventually([&] { return c.get("/v1/registers/r1").body["state"] == "online"; }));
    Reply a = c.put("/v1/registers/r1/articles/20", article("A"), "d-1");
    Reply b = c.put("/v1/registers/r1/articles/21", article("B"), "d-2");
    Reply b2 = c.put("/v1/registers/r1/articles/22", article("C"), "d-3");
    std::this_thread::sleep_for(200ms);
    f.gw->proc.signal(SIGTERM);
    EXPECT_EQ(f.gw->proc.wait(), 0);
    f.start();
    Client c2(f.port());
    Reply ja = c2.get("/v1/jobs/" + a.body["id"].get<std::string>());
    EXPECT_EQ(ja.body["state"], "succeeded") << ja.raw;
    for (const Reply* r : {&b, &b2}) {
        Reply j = c2.get("/v1/jobs/" + r->body["id"].get<std::string>(), "wait=20");
        EXPECT_EQ(j.body["state"], "succeeded") << j.raw;
    }
}

namespace {

// A raw exchange on a new connection: what the server answers, "" when it
// closes without answering.
std::string rawExchange(int port, const std::string& send, int readMs = 5000) {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(s);
        return "connect failed";
    }
    size_t off = 0;
    while (off < send.size()) {
        const ssize_t n = ::send(s, send.data() + off, send.size() - off, MSG_NOSIGNAL);
        if (n <= 0) break;
        off += static_cast<size_t>(n);
    }
    std::string out;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(readMs);
    while (std::chrono::steady_clock::now() < end) {
        pollfd p{s, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        char b[4096];
        const ssize_t n = recv(s, b, sizeof b, 0);
        if (n <= 0) break;
        out.append(b, static_cast<size_t>(n));
    }
    close(s);
    return out;
}

}  // namespace

// Hostile HTTP: huge and chunked bodies, malformed and deep JSON, unknown
// fields, values out of range, path tricks, too many headers, slow clients.
// Each gets a 4xx problem; the gateway keeps serving.
TEST(Trvgw, HostileHttp) {
    Sim sim(kSim);
    Fixture f("hostile", configFor({{"r1", sim.port}}, R"(, "http": {"max_body": 65536, "threads": 16, "read_timeout_s": 2})"));
    Client c(f.port());
    const std::string path = "/v1/registers/r1/commands/TRVS_PLURead";

    // Bodies.
    Reply huge = c.raw("POST", path, std::string(200000, 'x'), jsonHeaders("h-1"));
    EXPECT_EQ(huge.status, 413);
    EXPECT_EQ(huge.contentType, "application/problem+json");
    const std::string chunked = rawExchange(
        f.port(), "POST " + path + " HTTP/1.1\r\nHost: x\r\nIdempotency-Key: h-2\r\nContent-Type: application/json\r\n"
                  "Transfer-Encoding: chunked\r\n\r\n10000\r\n" + std::string(5000, 'a'), 2000);
    EXPECT_NE(chunked.find("HTTP/1.1 411"), std::string::npos) << chunked;
    EXPECT_NE(chunked.find("problem+json"), std::string::npos);
    EXPECT_EQ(c.raw("POST", path, "{\"numer_rekordu\": 1,", jsonHeaders("h-3")).status, 400);
    EXPECT_EQ(c.raw("POST", path, std::string(10000, '[') + std::string(10000, ']'), jsonHeaders("h-4")).status, 400);
    EXPECT_EQ(c.raw("POST", path, "[1,2]", jsonHeaders("h-5")).status, 400);
    EXPECT_EQ(c.raw("POST", path, "{}", jsonHeaders("h-6"), "text/plain").status, 415);
    Reply unknown = c.post(path, {{"numer_rekordu", 1}, {"z_kodem", 0}, {"evil", 1}}, "h-7");
    EXPECT_EQ(unknown.status, 422);
    EXPECT_EQ(unknown.body["argument"], "evil");
    Reply range = c.post(path, {{"numer_rekordu", 70000}, {"z_kodem", 0}}, "h-8");
    EXPECT_EQ(range.status, 422);
    EXPECT_EQ(range.body["argument"], "numer_rekordu");
    EXPECT_EQ(range.body["library_status_hex"], "0x10103");
    EXPECT_EQ(c.post(path, {{"numer_rekordu", -1}, {"z_kodem", 0}}, "h-9").status, 422);
    EXPECT_EQ(c.post(path, {{"numer_rekordu", "1"}, {"z_kodem", 0}}, "h-10").status, 422);
    EXPECT_EQ(c.post(path, {{"numer_rekordu", 1.5}, {"z_kodem", 0}}, "h-11").status, 422);
    EXPECT_EQ(c.post("/v1/jobs", {{"register", "r1"}, {"command", "TRVS_PLURead"}, {"args", {{"numer_rekordu", 1}}}}, "h-12").status, 422);
    EXPECT_EQ(c.post("/v1/jobs", {{"register", 5}, {"command", "TRVS_PLURead"}}, "h-13").status, 422);
    EXPECT_EQ(c.post("/v1/jobs", {{"register", "r1"}, {"command", "TRVG_PLURead"}}, "h-14").status, 404);
    EXPECT_EQ(c.put("/v1/registers/r1/articles/99999", article("X"), "h-15").status, 400);
    json withKey = article("X");
    withKey["numer_rekordu"] = 6;
    Reply key = c.put("/v1/registers/r1/articles/5", withKey, "h-16");
    EXPECT_EQ(key.status, 422);
    EXPECT_EQ(key.body["argument"], "numer_rekordu");
    // Nothing of the refused requests became a job.
    EXPECT_EQ(c.get("/v1/jobs").body["jobs"].size(), 0u);

    // Paths.
    for (const char* p : {"/v1/registers/..%2F..%2Fetc%2Fpasswd", "/v1/registers/%2e%2e", "/v1/../v1/health",
                          "/v1/registers/r1/articles/%zz", "/v1/registers/r1%00/articles/1", "/v1/registers/./r1"}) {
        Reply r = c.get(p);
        EXPECT_TRUE(r.status == 400 || r.status == 404) << p << " " << r.status;
        EXPECT_EQ(r.contentType, "application/problem+json") << p;
    }
    EXPECT_EQ(reply(httplib::Client("127.0.0.1", f.port()).Delete("/v1/health")).status, 405);

    // Headers.
    std::string many = "GET /v1/health HTTP/1.1\r\nHost: x\r\n";
    for (int i = 0; i < 100; ++i) many += "X-H" + std::to_string(i) + ": v\r\n";
    EXPECT_NE(rawExchange(f.port(), many + "\r\n", 2000).find("HTTP/1.1 431"), std::string::npos);
    const std::string longLine = rawExchange(f.port(), "GET /v1/health HTTP/1.1\r\nX-Long: " + std::string(20000, 'a') + "\r\n\r\n", 2000);
    EXPECT_EQ(longLine.find("HTTP/1.1 200"), std::string::npos);
    EXPECT_EQ(rawExchange(f.port(), "BLAH\r\n\r\n", 2000).find("HTTP/1.1 200"), std::string::npos);

    // Slow clients hold a thread each, until the read time-out; others are
    // still served meanwhile.
    std::vector<std::thread> slow;
    for (int i = 0; i < 8; ++i)
        slow.emplace_back([&] { rawExchange(f.port(), "GET /v1/health HTTP/1.1\r\nHost: x\r\nX-Slow:", 4000); });
    std::this_thread::sleep_for(300ms);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(Client(f.port()).get("/v1/health").status, 200);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 3s);
    for (auto& t : slow) t.join();
    EXPECT_EQ(c.get("/v1/health").status, 200);
    EXPECT_TRUE(f.gw->proc.running());
}

// Tokens and scopes: read, operate, fiscal; hashed in the file, compared in
// constant time; health and the description need none.
TEST(Trvgw, TokensAndScopes) {
    Sim sim(kSim);
    auto hash = [](const std::string& t) {
        Proc p({kGw, "--hash-token", t});
        return p.line();
    };
    const std::string tokens = R"(, "tokens": [
        {"name": "reader", "sha256": ")" + hash("r-token") + R"(", "scopes": ["read"]},
        {"name": "cashier", "sha256": ")" + hash("o-token") + R"(", "scopes": ["read", "operate"]},
        {"name": "manager", "sha256": ")" + hash("f-token") + R"(", "scopes": ["read", "operate", "fiscal"]}])";
    Fixture f("tokens", configFor({{"r1", sim.port}}, tokens));
    Client none(f.port()), wrong(f.port(), "nope"), reader(f.port(), "r-token"), cashier(f.port(), "o-token"),
        manager(f.port(), "f-token");
    EXPECT_EQ(none.get("/v1/health").status, 200);
    EXPECT_EQ(none.get("/v1/openapi.json").status, 200);
    Reply r401 = none.get("/v1/registers");
    EXPECT_EQ(r401.status, 401);
    EXPECT_EQ(r401.headers.find("WWW-Authenticate")->second, "Bearer realm=\"trvgw\"");
    EXPECT_EQ(wrong.get("/v1/registers").status, 401);
    EXPECT_EQ(reader.get("/v1/registers").status, 200);
    EXPECT_EQ(reader.get("/v1/registers/r1/articles/1").status, 200);
    // A read by name needs only read.
    EXPECT_EQ(reader.post("/v1/registers/r1/commands/TRVS_PLURead", {{"numer_rekordu", 1}, {"z_kodem", 0}}, "t-1").status / 100, 2);
    Reply r403 = reader.put("/v1/registers/r1/articles/30", article("NO"), "t-2");
    EXPECT_EQ(r403.status, 403);
    EXPECT_EQ(r403.body["scope"], "operate");
    EXPECT_EQ(cashier.put("/v1/registers/r1/articles/30", article("YES"), "t-3", "wait=10").status, 201);
    EXPECT_EQ(cashier.post("/v1/registers/r1/reports/daily", {{"czy_z_data", 0}, {"date_time", ""}}, "t-4").status, 403);
    EXPECT_EQ(cashier.post("/v1/registers/r1/commands/TRVS_SaleRecDelAll", json::object(), "t-5").status, 403);
    EXPECT_EQ(manager.post("/v1/registers/r1/reports/daily", {{"czy_z_data", 0}, {"date_time", ""}}, "t-6", "wait=10").status, 201);
    EXPECT_EQ(reader.post("/v1/registers/r1/journal/collect", json::object()).status, 403);
    EXPECT_EQ(reader.raw("GET", "/v1/events", "", {{"Authorization", "Bearer nope"}}).status, 401);
    f.gw.reset();

    // --sim with --token: the token is needed, and gives every scope.
    const std::string db = tempPath("simtok.db");
    removeDb(db);
    Daemon gw(kGw, {"--sim", "--token", "s3cret", "--database", db});
    EXPECT_EQ(Client(gw.port).get("/v1/registers").status, 401);
    EXPECT_EQ(Client(gw.port, "s3cret").get("/v1/registers").status, 200);
    EXPECT_EQ(Client(gw.port, "s3cret").post("/v1/registers/sim1/reports/daily", {{"czy_z_data", 0}, {"date_time", ""}}, "t-7").status / 100, 2);
    Daemon open(kGw, {"--sim", "--database", db + "2"});
    EXPECT_EQ(Client(open.port).get("/v1/registers").status, 200);
}

// Server-Sent Events: job changes and card events; Last-Event-ID resumes.
TEST(Trvgw, EventsWithLastEventId) {
    Sim sim(kSim, {"--card-every-ms", "300"});
    Fixture f("events", configFor({{"r1", sim.port}}));
    Client c(f.port());
    ASSERT_TRUE(eventually([&] { return c.get("/v1/registers/r1").body["state"] == "online"; }));
    Reply job = c.put("/v1/registers/r1/articles/33", article("EV"), "e-1", "wait=10");
    ASSERT_EQ(job.body["state"], "succeeded");

    // Read the stream from the start for a while.
    auto readStream = [&](const httplib::Headers& h, const std::string& query, int ms) {
        std::string got;
        httplib::Client sc("127.0.0.1", f.port());
        sc.set_read_timeout(ms / 1000 + 1, 0);
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        sc.Get(("/v1/events" + query).c_str(), h, [&](const char* data, size_t n) {
            got.append(data, n);
            return std::chrono::steady_clock::now() < end;
        });
        return got;
    };
    const std::string all = readStream({{"Last-Event-ID", "0"}}, "", 1500);
    EXPECT_NE(all.find("event: job"), std::string::npos);
    EXPECT_NE(all.find("\"id\":\"" + job.body["id"].get<std::string>() + "\""), std::string::npos);
    EXPECT_NE(all.find("\"state\":\"succeeded\""), std::string::npos);
    EXPECT_NE(all.find("event: card"), std::string::npos) << all;
    // Resume after the last id seen: only newer events, ids increasing.
    std::vector<long> ids;
    std::regex idLine("id: ([0-9]+)");
    for (std::sregex_iterator it(all.begin(), all.end(), idLine), e; it != e; ++it) ids.push_back(std::stol((*it)[1]));
    ASSERT_GT(ids.size(), 2u);
    EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));
    const long last = ids.back();
    c.put("/v1/registers/r1/articles/34", article("EV2"), "e-2", "wait=10");
    const std::string more = readStream({{"Last-Event-ID", std::to_string(last)}}, "?types=job&register=r1", 1000);
    std::vector<long> ids2;
    for (std::sregex_iterator it(more.begin(), more.end(), idLine), e; it != e; ++it) ids2.push_back(std::stol((*it)[1]));
    ASSERT_FALSE(ids2.empty()) << more;
    EXPECT_GT(ids2.front(), last);
    EXPECT_EQ(more.find("event: card"), std::string::npos);
    EXPECT_NE(more.find("EV2"), std::string::npos);
}

// The configuration check: what is fine is summarised, mistakes are named.
TEST(Trvgw, CheckConfig) {
    const std::string p = tempPath("check.json");
    writeFile(p, R"({"listen": "127.0.0.1:9000", "registers": [
        {"id": "shop1", "url": "tcp://10.0.0.5:1000", "charset": "CP1250", "timeouts": {"answer_ms": 5000},
         "journal": {"collect": true, "delete_after_commit": true}},
        {"id": "shop2", "url": "serial:///dev/ttyS0?baud=19200"},
        {"id": "shop3", "url": "modem:///dev/ttyS1?number=123456"},
        {"id": "shop4", "url": "usb://A1B2C3"}]})");
    Proc ok({kGw, "--check-config", p});
    EXPECT_NE(ok.line().find("fine"), std::string::npos);
    EXPECT_EQ(ok.wait(), 0);
    const std::vector<std::pair<std::string, std::string>> bad = {
        {R"({"registers": [{"id": "a", "url": "ftp://x"}]})", "unknown connection kind"},
        {R"({"registers": [{"id": "a", "url": "tcp://x:99999"}]})", "bad port"},
        {R"({"registers": [{"id": "a", "url": "tcp://x", "colour": 1}]})", "unknown setting 'colour'"},
        {R"({"registers": [{"id": "a", "url": "tcp://x"}, {"id": "a", "url": "tcp://y"}]})", "given twice"},
        {R"({"registers": [{"id": "../a", "url": "tcp://x"}]})", "register id"},
        {R"({"registers": [{"id": "a", "url": "tcp://x", "charset": "NOPE-1"}]})", "unknown character set"},
        {R"({"registers": [{"id": "a", "url": "modem:///dev/ttyS1"}]})", "number="},
        {R"({"tokens": [{"name": "t", "sha256": "abc", "scopes": ["read"]}], "registers": [{"id": "a", "url": "tcp://x"}]})", "sha256"},
        {R"({"registers": []})", "at least one"},
        {R"({"registers": [{"id": "a", "url": "tcp://x"}], "http": {"threads": 8, "max_streams": 8}})", "max_streams"},
        {"not json", "not JSON"},
    };
    for (const auto& [text, why] : bad) {
        writeFile(p, text);
        Proc pr({kGw, "--check-config", p}, true);
        EXPECT_EQ(pr.wait(), 1) << text;
    }
    // The reason is named on standard error.
    writeFile(p, bad[2].first);
    const std::string err = tempPath("check.err");
    EXPECT_NE(system(("\"" + kGw + "\" --check-config " + p + " 2>" + err).c_str()), 0);
    std::ifstream e(err);
    std::string text((std::istreambuf_iterator<char>(e)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("colour"), std::string::npos) << text;
    std::remove(p.c_str());
    std::remove(err.c_str());
}

// The Unix socket: its permissions as configured, every scope without a token.
TEST(Trvgw, UnixSocket) {
    Sim sim(kSim);
    const std::string sock = tempPath("gw.sock");
    auto hash = Proc({kGw, "--hash-token", "x"}).line();
    Fixture f("unix", configFor({{"r1", sim.port}}, R"(, "unix_socket": {"path": ")" + sock + R"(", "mode": "0600"},
        "tokens": [{"name": "t", "sha256": ")" + hash + R"(", "scopes": ["read"]}])"));
    EXPECT_EQ(f.gw->proc.line(), "listening on unix:" + sock);
    struct stat st {};
    ASSERT_EQ(stat(sock.c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    httplib::Client uc(sock);
    uc.set_address_family(AF_UNIX);
    auto r = uc.Put("/v1/registers/r1/articles/44", {{"Idempotency-Key", "u-1"}, {"Prefer", "wait=10"}},
                    article("UNIX").dump(), "application/json");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 201) << r->body;
    EXPECT_EQ(Client(f.port()).put("/v1/registers/r1/articles/45", article("TCP"), "u-2").status, 401);
}

// TLS from Debian's OpenSSL, and with a client certificate required.
TEST(Trvgw, TlsAndClientCertificates) {
    const std::string dir = tempPath("tls");
    ASSERT_EQ(system(("rm -rf " + dir + " && mkdir -p " + dir).c_str()), 0);
    const std::string sh =
        "cd " + dir + " && "
        "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=test-ca -keyout ca.key -out ca.pem && "
        "openssl req -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -keyout server.key -out server.csr && "
        "printf 'subjectAltName=IP:127.0.0.1\\n' > san.ext && "
        "openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile san.ext -out server.pem && "
        "openssl req -newkey rsa:2048 -nodes -subj /CN=pos-terminal -keyout client.key -out client.csr && "
        "openssl x509 -req -in client.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -out client.pem";
    ASSERT_EQ(system(("(" + sh + ") >/dev/null 2>&1").c_str()), 0) << "openssl could not make the certificates";
    Sim sim(kSim);
    {
        Fixture f("tls", configFor({{"r1", sim.port}}, R"(, "tls": {"cert": ")" + dir + R"(/server.pem", "key": ")" + dir +
                                                         R"(/server.key"})"));
        EXPECT_EQ(f.gw->first.rfind("listening on https://127.0.0.1:", 0), 0u) << f.gw->first;
        httplib::SSLClient c("127.0.0.1", f.port());
        c.set_ca_cert_path((dir + "/ca.pem").c_str());
        c.enable_server_certificate_verification(true);
        auto r = c.Get("/v1/registers/r1");
        ASSERT_TRUE(r) << httplib::to_string(r.error());
        EXPECT_EQ(r->status, 200);
        // Plain HTTP on the TLS port gets nothing useful.
        httplib::Client plain("127.0.0.1", f.port());
        plain.set_read_timeout(3, 0);
        auto p = plain.Get("/v1/health");
        EXPECT_TRUE(!p || p->status != 200);
    }
    {
        Fixture f("mtls", configFor({{"r1", sim.port}}, R"(, "tls": {"cert": ")" + dir + R"(/server.pem", "key": ")" + dir +
                                                          R"(/server.key", "client_ca": ")" + dir + R"(/ca.pem"})"));
        httplib::SSLClient anon("127.0.0.1", f.port());
        anon.set_ca_cert_path((dir + "/ca.pem").c_str());
        auto a = anon.Get("/v1/health");
        EXPECT_FALSE(a && a->status == 200);
        httplib::SSLClient withCert("127.0.0.1", f.port(), dir + "/client.pem", dir + "/client.key");
        withCert.set_ca_cert_path((dir + "/ca.pem").c_str());
        auto w = withCert.Get("/v1/health");
        ASSERT_TRUE(w) << httplib::to_string(w.error());
        EXPECT_EQ(w->status, 200);
    }
    // A missing certificate file is a configuration mistake.
    const std::string p = tempPath("tlsbad.json");
    writeFile(p, configFor({{"r1", 1}}, R"(, "tls": {"cert": "/nonexistent.pem", "key": "/nonexistent.key"})"));
    EXPECT_EQ(Proc({kGw, "--check-config", p}).wait(), 1);
    std::remove(p.c_str());
    ASSERT_EQ(system(("rm -rf " + dir).c_str()), 0);
}

// The description is valid OpenAPI 3.1 as far as JSON Schema can tell, every
// served route is in it, and real answers match their schemas (a Python
// check with Debian's python3-jsonschema).
TEST(Trvgw, OpenApiDescribesTheApi) {
    const std::string db = tempPath("openapi.db");
    removeDb(db);
    Daemon gw(kGw, {"--sim", "--database", db});
    const std::string cmd = "python3 " + std::string(TARVIK_SOURCE_DIR) + "/tests/trvgw_openapi_check.py http://127.0.0.1:" +
                            std::to_string(gw.port);
    EXPECT_EQ(system(cmd.c_str()), 0);
}
