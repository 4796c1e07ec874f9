#include "chain.h"

#include <nats/nats.h>

#include <ctime>
#include <regex>
#include <set>
#include <stdexcept>

#include "config.h"
#include "gateway.h"

namespace trvgw {

namespace {

std::string text(const Json& j, const std::string& key, const std::string& dflt) {
    if (!j.contains(key)) return dflt;
    if (!j[key].is_string()) throw std::runtime_error("chain." + key + " must be a text");
    return j[key].get<std::string>();
}

uint32_t number(const Json& j, const std::string& key, uint32_t dflt, uint32_t lo, uint32_t hi) {
    if (!j.contains(key)) return dflt;
    const Json& v = j[key];
    if (!v.is_number_integer() || v.get<int64_t>() < lo || v.get<int64_t>() > hi)
        throw std::runtime_error("chain." + key + " must be an integer from " + std::to_string(lo) + " to " +
                                 std::to_string(hi));
    return static_cast<uint32_t>(v.get<int64_t>());
}

std::string utcDay(double t) {
    const time_t s = static_cast<time_t>(t);
    tm u{};
    gmtime_r(&s, &u);
    char b[64];
    std::snprintf(b, sizeof b, "%04d-%02d-%02d", u.tm_year + 1900, u.tm_mon + 1, u.tm_mday);
    return b;
}

}  // namespace

bool validShopId(const std::string& id) {
    static const std::regex re("[A-Za-z0-9_-]{1,32}");
    // "prices" is where head office's price lists travel.
    return std::regex_match(id, re) && id != "prices";
}

ChainConfig parseChainConfig(const Json& j) {
    if (!j.is_object()) throw std::runtime_error("chain must be an object");
    static const std::set<std::string> keys = {"enabled", "url", "shop", "user", "password", "token", "creds",
                                               "hub_domain", "prices", "publish_timeout_ms", "price_wait_s",
                                               "keep_days"};
    for (auto it = j.begin(); it != j.end(); ++it)
        if (!keys.count(it.key())) throw std::runtime_error("chain: unknown setting '" + it.key() + "'");
    ChainConfig c;
    if (j.contains("enabled") && !j["enabled"].is_boolean()) throw std::runtime_error("chain.enabled must be true or false");
    c.enabled = j.value("enabled", true);
    c.url = text(j, "url", "");
    c.shop = text(j, "shop", "");
    c.user = text(j, "user", "");
    c.password = text(j, "password", "");
    c.token = text(j, "token", "");
    c.creds = text(j, "creds", "");
    c.hubDomain = text(j, "hub_domain", c.hubDomain);
    if (j.contains("prices") && !j["prices"].is_boolean()) throw std::runtime_error("chain.prices must be true or false");
    c.prices = j.value("prices", true);
    c.publishTimeoutMs = number(j, "publish_timeout_ms", c.publishTimeoutMs, 100, 600000);
    c.priceWaitS = number(j, "price_wait_s", c.priceWaitS, 1, 86400);
    c.keepDays = number(j, "keep_days", c.keepDays, 1, 3650);
    if (!c.enabled) return c;
    if (c.url.empty()) throw std::runtime_error("chain.url is needed (the shop's leaf node, nats://HOST:PORT)");
    if (c.url.find("nats://") != 0 && c.url.find("tls://") != 0)
        throw std::runtime_error("chain.url must start with nats:// or tls://");
    if (!validShopId(c.shop)) throw std::runtime_error("chain.shop must be 1 to 32 letters, digits, - or _ (not \"prices\")");
    if (!c.hubDomain.empty() && !validShopId(c.hubDomain)) throw std::runtime_error("chain.hub_domain: letters, digits, - or _");
    if (!c.user.empty() + !c.token.empty() + !c.creds.empty() > 1)
        throw std::runtime_error("chain: give one of user/password, token or creds");
    return c;
}

std::string chainStream(const std::string& shop) { return "TARVIK_" + shop; }

std::string chainSubject(const std::string& shop, const std::string& reg, const std::string& kind) {
    return "tarvik." + shop + "." + reg + "." + kind;
}

std::string journalMsgId(const std::string& serial, int64_t number, const std::string& date) {
    return serial + "-" + std::to_string(number) + "-" + date;
}

std::string recordDate(const Json& record, double collected) {
    static const std::regex day("([0-9]{4}-[0-9]{2}-[0-9]{2}).*");
    std::smatch m;
    if (record.is_object() && record.contains("data") && record["data"].is_string()) {
        const std::string d = record["data"].get<std::string>();
        if (std::regex_match(d, m, day)) return m[1];
    }
    return utcDay(collected);
}

Chain::Chain(const ChainConfig& cfg, Store& store) : cfg_(cfg), store_(store) {}

Chain::~Chain() { stop(); }

void Chain::start(Gateway& gw) {
    gw_ = &gw;
    connect();
    pubThread_ = std::thread([this] { publisher(); });
    if (cfg_.prices) priceThread_ = std::thread([this] { pricer(); });
}

void Chain::stop() {
    {
        std::lock_guard<std::mutex> l(mutex_);
        stopping_ = true;
    }
    cv_.notify_all();
    if (pubThread_.joinable()) pubThread_.join();
    if (priceThread_.joinable()) priceThread_.join();
    std::lock_guard<std::mutex> l(pubMutex_);
    if (hub_) jsCtx_Destroy(hub_);
    if (js_) jsCtx_Destroy(js_);
    if (nc_) {
        natsConnection_Close(nc_);
        natsConnection_Destroy(nc_);
    }
    hub_ = js_ = nullptr;
    nc_ = nullptr;
}

void Chain::wake() {
    std::lock_guard<std::mutex> l(mutex_);
    woken_ = true;
    cv_.notify_all();
}

bool Chain::connect() {
    natsOptions* o = nullptr;
    if (natsOptions_Create(&o) != NATS_OK) return false;
    natsStatus s = natsOptions_SetURL(o, cfg_.url.c_str());
    if (s == NATS_OK) s = natsOptions_SetName(o, ("trvgw " + cfg_.shop).c_str());
    if (s == NATS_OK && !cfg_.user.empty()) s = natsOptions_SetUserInfo(o, cfg_.user.c_str(), cfg_.password.c_str());
    if (s == NATS_OK && !cfg_.token.empty()) s = natsOptions_SetToken(o, cfg_.token.c_str());
    if (s == NATS_OK && !cfg_.creds.empty()) s = natsOptions_SetUserCredentialsFromFiles(o, cfg_.creds.c_str(), nullptr);
    // The leaf may be down when the gateway starts, or go away later: the
    // client keeps trying for as long as the gateway runs.
    if (s == NATS_OK) s = natsOptions_SetMaxReconnect(o, -1);
    if (s == NATS_OK) s = natsOptions_SetReconnectWait(o, 500);
    // With a callback the first connection is tried in the background too
    // (without one the call would wait for it).
    if (s == NATS_OK) s = natsOptions_SetRetryOnFailedConnect(o, true, [](natsConnection*, void*) {}, nullptr);
    if (s == NATS_OK) {
        s = natsConnection_Connect(&nc_, o);
        if (s == NATS_NOT_YET_CONNECTED) s = NATS_OK;
    }
    natsOptions_Destroy(o);
    if (s != NATS_OK) {
        std::fprintf(stderr, "trvgw: chain: cannot use %s: %s\n", cfg_.url.c_str(), natsStatus_GetText(s));
        return false;
    }
    jsOptions jo;
    jsOptions_Init(&jo);
    jo.Wait = cfg_.publishTimeoutMs;
    // Records go out in batches, each acknowledged on its own (onPubAck).
    jo.PublishAsync.AckHandler = &Chain::onPubAck;
    jo.PublishAsync.AckHandlerClosure = this;
    jo.PublishAsync.MaxPending = 1024;
    if (natsConnection_JetStream(&js_, nc_, &jo) != NATS_OK) return false;
    jsOptions ho;
    jsOptions_Init(&ho);
    ho.Domain = cfg_.hubDomain.empty() ? nullptr : cfg_.hubDomain.c_str();
    ho.Wait = 5000;
    return natsConnection_JetStream(&hub_, nc_, &ho) == NATS_OK;
}

// The shop's stream on the leaf: created when it is not there.
bool Chain::ensureStream() {
    if (streamReady_) return true;
    if (!js_) return false;
    const std::string name = chainStream(cfg_.shop);
    jsStreamInfo* si = nullptr;
    jsErrCode jerr = static_cast<jsErrCode>(0);
    natsStatus s = js_GetStreamInfo(&si, js_, name.c_str(), nullptr, &jerr);
    if (s == NATS_OK) {
        jsStreamInfo_Destroy(si);
        streamReady_ = true;
        return true;
    }
    if (s != NATS_NOT_FOUND) return false;
    const std::string subj = "tarvik." + cfg_.shop + ".>";
    const char* subjects[] = {subj.c_str()};
    jsStreamConfig sc;
    jsStreamConfig_Init(&sc);
    sc.Name = name.c_str();
    sc.Subjects = subjects;
    sc.SubjectsLen = 1;
    sc.Storage = js_FileStorage;
    // A gateway that stopped between the leaf's acknowledgement and its
    // own commit publishes again when it starts: well within this window.
    sc.Duplicates = static_cast<int64_t>(3600) * 1000000000;
    // Head office sources the stream as messages come; what stays on the
    // leaf is for an outage, and goes after keep_days.
    sc.MaxAge = static_cast<int64_t>(cfg_.keepDays) * 86400 * 1000000000;
    s = js_AddStream(&si, js_, &sc, nullptr, &jerr);
    if (s == NATS_OK) jsStreamInfo_Destroy(si);
    streamReady_ = s == NATS_OK || jerr == JSStreamNameExistErr;
    return streamReady_;
}

void Chain::onPubAck(jsCtx*, natsMsg* msg, jsPubAck* pa, jsPubAckErr* pae, void* closure) {
    auto* c = static_cast<Chain*>(closure);
    const char* id = nullptr;
    if (pa && !pae && natsMsgHeader_Get(msg, "Nats-Msg-Id", &id) == NATS_OK && id) {
        std::lock_guard<std::mutex> l(c->ackMutex_);
        c->acked_.insert(id);
    }
    natsMsg_Destroy(msg);
}

Store::OutMsg Chain::message(const std::string& reg, const std::string& kind, const std::string& msgid,
                             const Json& payload) const {
    Store::OutMsg m;
    m.reg = reg;
    m.kind = kind;
    m.subject = chainSubject(cfg_.shop, reg, kind);
    m.msgid = msgid;
    m.payload = payload.dump();
    return m;
}

void Chain::health(const std::string& reg, const std::string& state, uint32_t status, const std::string& text) {
    const double now = nowSeconds();
    const std::string id = cfg_.shop + "-" + reg + "-health-" + std::to_string(static_cast<int64_t>(now * 1000));
    Store::OutMsg m = message(reg, "health", id,
                              {{"shop", cfg_.shop}, {"register", reg}, {"state", state}, {"status", status},
                               {"text", text}, {"at", now}});
    store_.submit([m](Db& db) { Store::insertOutbox(db, m); });
    wake();
}

// Publishes up to `limit` rows; returns how many were acknowledged, -1
// when the leaf could not be reached.
int Chain::publishPending(const std::string& reg, size_t limit) {
    std::lock_guard<std::mutex> l(pubMutex_);
    if (!js_ || natsConnection_Status(nc_) != NATS_CONN_STATUS_CONNECTED) {
        connected_ = false;
        return -1;
    }
    if (!ensureStream()) return -1;
    connected_ = true;
    std::vector<Store::OutMsg> rows = store_.outbox(reg, limit);
    if (rows.empty()) return 0;
    {
        std::lock_guard<std::mutex> a(ackMutex_);
        acked_.clear();
    }
    for (const Store::OutMsg& m : rows) {
        jsPubOptions po;
        jsPubOptions_Init(&po);
        po.MsgId = m.msgid.c_str();
        po.MaxWait = cfg_.publishTimeoutMs;
        if (js_PublishAsync(js_, m.subject.c_str(), m.payload.data(), static_cast<int>(m.payload.size()), &po) !=
            NATS_OK)
            break;
    }
    jsPubOptions wo;
    jsPubOptions_Init(&wo);
    wo.MaxWait = cfg_.publishTimeoutMs + 1000;
    js_PublishAsyncComplete(js_, &wo);
    // Only what the leaf acknowledged leaves the outbox; the rest goes
    // again (under the same message id) next time.
    std::vector<int64_t> done;
    {
        std::lock_guard<std::mutex> a(ackMutex_);
        for (const Store::OutMsg& m : rows)
            if (acked_.count(m.msgid)) done.push_back(m.seq);
    }
    const bool failed = done.size() < rows.size();
    if (failed) {
        ++failures_;
        // The stream may have been deleted under us: look again next time.
        if (done.empty()) streamReady_ = false;
    }
    if (!done.empty()) {
        auto t = store_.submit([done](Db& db) {
            for (int64_t seq : done) db.exec("DELETE FROM outbox WHERE seq=?", {seq});
        });
        if (!t->wait()) return -1;
        published_ += done.size();
    }
    return failed && done.empty() ? -1 : static_cast<int>(done.size());
}

bool Chain::flush(const std::string& reg) {
    for (;;) {
        const int n = publishPending(reg, 500);
        if (n <= 0) break;
    }
    return store_.outboxCount(reg, "journal") == 0;
}

void Chain::publisher() {
    unsigned idleMs = 200;
    for (;;) {
        {
            std::unique_lock<std::mutex> l(mutex_);
            cv_.wait_for(l, std::chrono::milliseconds(idleMs), [&] { return stopping_ || woken_; });
            if (stopping_) return;
            woken_ = false;
        }
        int n;
        while ((n = publishPending("", 500)) == 500) {
            std::lock_guard<std::mutex> l(mutex_);
            if (stopping_) return;
        }
        idleMs = n < 0 ? 1000 : 200;
    }
}

Json Chain::statusJson() {
    return {{"shop", cfg_.shop},
            {"url", cfg_.url},
            {"connected", connected_.load()},
            {"published", published_.load()},
            {"publish_failures", failures_.load()},
            {"price_lists", priceLists_.load()}};
}

// ---- price lists --------------------------------------------------------

namespace {

// A price list line as the register's article write.
Json articleArgs(const Json& line) {
    Json a = {{"numer_rekordu", line.at("plu")},
              {"nazwa", line.at("name")},
              {"barcode", line.value("barcode", "")},
              {"cena", line.at("price")},
              {"ilosc_min", "0"},
              {"numer_opakowania", 0},
              {"numer_MU", 1},
              {"numer_rabatu", 0},
              {"numer_grupy", line.value("group", 1)},
              {"numer_VAT", line.value("vat", 1)},
              {"format_ilosci", 0},
              {"cena_sztywna", 0},
              {"czy_rabat", 0},
              {"czy_notatnik", 0},
              {"czy_nadpisac", 1},
              {"czy_nadpisac_niezerowy", 1}};
    if (line.contains("args") && line["args"].is_object())
        for (auto it = line["args"].begin(); it != line["args"].end(); ++it) a[it.key()] = it.value();
    return a;
}

}  // namespace

bool Chain::applyPriceList(const std::string& data, const std::string& subject) {
    Json list = Json::parse(data, nullptr, false);
    const std::string listId = list.is_object() ? list.value("list", "") : "";
    if (listId.empty() || !list.contains("lines") || !list["lines"].is_array()) {
        std::fprintf(stderr, "trvgw: chain: a price list on %s without \"list\" or \"lines\" is passed over\n",
                     subject.c_str());
        return true;  // it will never be anything else
    }
    std::set<std::string> only;
    if (list.contains("registers") && list["registers"].is_array())
        for (const Json& r : list["registers"])
            if (r.is_string()) only.insert(r.get<std::string>());
    struct Line {
        std::string reg;
        size_t index;
        int64_t seq;
        Json plu;
    };
    std::vector<Line> lines;
    std::vector<Store::OutMsg> outcomes;
    for (const auto& r : gw_->registers()) {
        if (!only.empty() && !only.count(r->id())) continue;
        for (size_t i = 0; i < list["lines"].size(); ++i) {
            const Json& line = list["lines"][i];
            Gateway::NewJob nj;
            nj.reg = r->id();
            nj.kind = "price";
            nj.command = "TRVS_PLUIns";
            nj.key = "price:" + listId + ":" + r->id() + ":" + std::to_string(i);
            // Message ids are unique across the chain: the shop is in them.
            const std::string msgid = cfg_.shop + ":" + nj.key;
            nj.idempotent = true;  // a whole article record: writing it again changes nothing more
            nj.scope = kOperate;
            Json outcome = {{"shop", cfg_.shop}, {"register", r->id()}, {"list", listId}, {"line", i},
                            {"plu", line.is_object() ? line.value("plu", Json()) : Json()}};
            try {
                nj.args = articleArgs(line);
            } catch (const std::exception& e) {
                outcome["outcome"] = "refused";
                outcome["status"] = TARVIK_STATUS_INVALIDARG;
                outcome["text"] = std::string("bad line: ") + e.what();
                outcomes.push_back(message(r->id(), "price", msgid + ":refused", outcome));
                continue;
            }
            nj.bodyHash = sha256Hex(nj.command + "\n" + nj.args.dump());
            Job job;
            std::string why;
            const Gateway::Created c = gw_->create(nj, job, why);
            if (c == Gateway::Created::Refused) return false;  // stopping or full: the list comes again
            if (c == Gateway::Created::Conflict) {
                outcome["outcome"] = "refused";
                outcome["status"] = TARVIK_STATUS_INVALIDARG;
                outcome["text"] = why;
                outcomes.push_back(message(r->id(), "price", msgid + ":conflict", outcome));
                continue;
            }
            lines.push_back({r->id(), i, job.seq, outcome});
        }
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(cfg_.priceWaitS);
    for (const Line& ln : lines) {
        std::optional<Job> j;
        for (;;) {
            {
                std::lock_guard<std::mutex> l(mutex_);
                if (stopping_) return false;
            }
            j = gw_->wait(ln.seq, 1.0);
            if (!j) break;
            if (j->final() || j->state == "unknown") break;
            if (std::chrono::steady_clock::now() >= deadline) return false;
        }
        if (!j) continue;
        Json outcome = ln.plu;
        outcome["job"] = j->id();
        outcome["status"] = j->status;
        outcome["text"] = j->statusText;
        std::string o;
        if (j->state == "succeeded" || (j->state == "settled" && j->outcome == "done")) o = "done";
        else if (j->state == "unknown") o = "unknown";
        else o = "refused";
        outcome["outcome"] = o;
        outcomes.push_back(message(
            ln.reg, "price", cfg_.shop + ":price:" + listId + ":" + ln.reg + ":" + std::to_string(ln.index) + ":" + o,
            outcome));
    }
    auto t = store_.submit([outcomes](Db& db) {
        for (const Store::OutMsg& m : outcomes) Store::insertOutbox(db, m);
    });
    if (!t->wait()) return false;
    wake();
    ++priceLists_;
    return true;
}

void Chain::pricer() {
    const std::string durable = "prices_" + cfg_.shop;
    const std::string subjects[2] = {"tarvik.prices." + cfg_.shop, "tarvik.prices.all"};
    const std::string durables[2] = {durable, durable + "_all"};
    natsSubscription* subs[2] = {nullptr, nullptr};
    auto sleeping = [&](int ms) {
        std::unique_lock<std::mutex> l(mutex_);
        cv_.wait_for(l, std::chrono::milliseconds(ms), [&] { return stopping_; });
        return stopping_;
    };
    for (;;) {
        {
            std::lock_guard<std::mutex> l(mutex_);
            if (stopping_) break;
        }
        bool idle = true;
        for (int k = 0; k < 2; ++k) {
            if (!subs[k]) {
                if (!hub_ || natsConnection_Status(nc_) != NATS_CONN_STATUS_CONNECTED) continue;
                // The consumer is made here and bound to, so that dropping the
                // subscription never deletes it (and its place in the stream).
                jsConsumerConfig cc;
                jsConsumerConfig_Init(&cc);
                cc.Durable = durables[k].c_str();
                cc.FilterSubject = subjects[k].c_str();
                cc.AckPolicy = js_AckExplicit;
                cc.AckWait = static_cast<int64_t>(cfg_.priceWaitS + 60) * 1000000000;
                cc.MaxAckPending = 1;
                jsConsumerInfo* ci = nullptr;
                jsErrCode jerr = static_cast<jsErrCode>(0);
                if (js_AddConsumer(&ci, hub_, "TARVIK_PRICES", &cc, nullptr, &jerr) != NATS_OK) continue;
                jsConsumerInfo_Destroy(ci);
                jsSubOptions so;
                jsSubOptions_Init(&so);
                so.Stream = "TARVIK_PRICES";
                so.Consumer = durables[k].c_str();
                if (js_PullSubscribe(&subs[k], hub_, subjects[k].c_str(), durables[k].c_str(), nullptr, &so, &jerr) !=
                    NATS_OK)
                    subs[k] = nullptr;
                if (!subs[k]) continue;
            }
            natsMsgList ml{};
            jsErrCode jerr = static_cast<jsErrCode>(0);
            const natsStatus s = natsSubscription_Fetch(&ml, subs[k], 1, 500, &jerr);
            if (s == NATS_OK) {
                idle = false;
                for (int i = 0; i < ml.Count; ++i) {
                    natsMsg* m = ml.Msgs[i];
                    const std::string data(natsMsg_GetData(m), static_cast<size_t>(natsMsg_GetDataLength(m)));
                    if (applyPriceList(data, natsMsg_GetSubject(m))) natsMsg_AckSync(m, nullptr, nullptr);
                    else natsMsg_Nak(m, nullptr);
                }
                natsMsgList_Destroy(&ml);
            } else if (s != NATS_TIMEOUT) {
                // The link to head office is down or the consumer went: subscribe again later.
                natsSubscription_Destroy(subs[k]);
                subs[k] = nullptr;
            }
        }
        if (idle && sleeping(subs[0] && subs[1] ? 0 : 1000)) break;
    }
    for (natsSubscription* s : subs)
        if (s) natsSubscription_Destroy(s);
}

}  // namespace trvgw
