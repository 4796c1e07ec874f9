// trvsink: head office's end of the chain. Reads the stream that gathers
// every shop's stream (sourced across the leaf links) with a durable pull
// consumer and writes PostgreSQL; a batch is acknowledged only after its
// transaction committed, so a sink killed at any point loses nothing, and
// what it wrote before its acknowledgements got out is written again as
// nothing (unique keys). Also publishes price lists to the shops. See --help.
#include <nats/nats.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>
#include <pqxx/pqxx>

#include "sink.h"

namespace {

const char kUsage[] =
    "Usage: trvsink [options]                 move the shops' messages into PostgreSQL\n"
    "       trvsink --prices FILE --to SHOP   publish a price list (SHOP or all) and exit\n"
    "Options:\n"
    "  --nats URL        head office's NATS server (the hub); default nats://127.0.0.1:4222\n"
    "  --user U --password P | --token T | --creds FILE   NATS credentials\n"
    "  --pg CONNINFO     the PostgreSQL database (libpq connection string); default \"\"\n"
    "  --shop ID         a shop whose stream TARVIK_<ID> (on the leaf's JetStream domain\n"
    "                    ID) the hub's stream sources; repeatable. Shops already sourced\n"
    "                    stay sourced\n"
    "  --stream NAME     the hub's stream; default TARVIK\n"
    "  --durable NAME    the consumer's name; default trvsink\n"
    "  --batch N         messages per transaction; default 256\n"
    "  --ack-wait-s S    redelivery of messages not acknowledged in time; default 30\n"
    "The schema is created or brought up to date at start. \"ready\" goes to standard\n"
    "output once the consumer is bound; SIGTERM or SIGINT stops after the batch in hand.\n";

std::atomic<bool> gStop{false};
void onSignal(int) { gStop = true; }

int usage(const std::string& msg) {
    std::fprintf(stderr, "trvsink: %s\nTry 'trvsink --help'.\n", msg.c_str());
    return 2;
}

bool ok(natsStatus s, const char* what, jsErrCode jerr = static_cast<jsErrCode>(0)) {
    if (s == NATS_OK) return true;
    std::fprintf(stderr, "trvsink: %s: %s (%d)\n", what, natsStatus_GetText(s), static_cast<int>(jerr));
    return false;
}

struct Options {
    std::string nats = "nats://127.0.0.1:4222", user, password, token, creds, pg, stream = "TARVIK",
                durable = "trvsink", prices, to;
    std::vector<std::string> shops;
    int batch = 256;
    int ackWaitS = 30;
};

natsConnection* connectNats(const Options& o) {
    natsOptions* no = nullptr;
    natsConnection* nc = nullptr;
    natsStatus s = natsOptions_Create(&no);
    if (s == NATS_OK) s = natsOptions_SetURL(no, o.nats.c_str());
    if (s == NATS_OK) s = natsOptions_SetName(no, "trvsink");
    if (s == NATS_OK && !o.user.empty()) s = natsOptions_SetUserInfo(no, o.user.c_str(), o.password.c_str());
    if (s == NATS_OK && !o.token.empty()) s = natsOptions_SetToken(no, o.token.c_str());
    if (s == NATS_OK && !o.creds.empty()) s = natsOptions_SetUserCredentialsFromFiles(no, o.creds.c_str(), nullptr);
    if (s == NATS_OK) s = natsOptions_SetMaxReconnect(no, -1);
    if (s == NATS_OK) s = natsOptions_SetReconnectWait(no, 250);
    if (s == NATS_OK) s = natsOptions_SetRetryOnFailedConnect(no, true, [](natsConnection*, void*) {}, nullptr);
    if (s == NATS_OK) {
        s = natsConnection_Connect(&nc, no);
        if (s == NATS_NOT_YET_CONNECTED) s = NATS_OK;
    }
    natsOptions_Destroy(no);
    return ok(s, "connect") ? nc : nullptr;
}

// Creates a stream or, when it is there, keeps it; retries while the server
// is not reachable yet.
bool ensureStream(jsCtx* js, jsStreamConfig& sc, bool update) {
    for (int attempt = 0; attempt < 120 && !gStop; ++attempt) {
        jsStreamInfo* si = nullptr;
        jsErrCode jerr = static_cast<jsErrCode>(0);
        natsStatus s = js_GetStreamInfo(&si, js, sc.Name, nullptr, &jerr);
        if (s == NATS_OK) {
            jsStreamInfo_Destroy(si);
            if (!update) return true;
            s = js_UpdateStream(&si, js, &sc, nullptr, &jerr);
            if (s == NATS_OK) jsStreamInfo_Destroy(si);
            return ok(s, "update the stream", jerr);
        }
        if (s == NATS_NOT_FOUND) {
            s = js_AddStream(&si, js, &sc, nullptr, &jerr);
            if (s == NATS_OK) {
                jsStreamInfo_Destroy(si);
                return true;
            }
            if (jerr == JSStreamNameExistErr) continue;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    std::fprintf(stderr, "trvsink: cannot set up the stream %s\n", sc.Name);
    return false;
}

bool pricesStream(jsCtx* js) {
    const char* subjects[] = {"tarvik.prices.>"};
    jsStreamConfig sc;
    jsStreamConfig_Init(&sc);
    sc.Name = "TARVIK_PRICES";
    sc.Subjects = subjects;
    sc.SubjectsLen = 1;
    sc.Storage = js_FileStorage;
    sc.Duplicates = static_cast<int64_t>(3600) * 1000000000;
    return ensureStream(js, sc, false);
}

// The hub's stream: the shops' streams it sources (those it had and those
// named now).
bool hubStream(jsCtx* js, const Options& o) {
    std::set<std::string> shops(o.shops.begin(), o.shops.end());
    jsStreamInfo* si = nullptr;
    jsErrCode jerr = static_cast<jsErrCode>(0);
    for (int attempt = 0; attempt < 120 && !gStop; ++attempt) {
        const natsStatus s = js_GetStreamInfo(&si, js, o.stream.c_str(), nullptr, &jerr);
        if (s == NATS_OK || s == NATS_NOT_FOUND) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    bool had = false;
    if (si) {
        had = true;
        for (int i = 0; i < si->Config->SourcesLen; ++i) {
            const std::string name = si->Config->Sources[i]->Name;
            if (name.rfind("TARVIK_", 0) == 0) shops.insert(name.substr(7));
        }
        const bool same = static_cast<size_t>(si->Config->SourcesLen) == shops.size();
        jsStreamInfo_Destroy(si);
        if (same) return true;
    }
    if (shops.empty() && !had) {
        std::fprintf(stderr, "trvsink: the stream %s is not there yet: name the shops with --shop\n", o.stream.c_str());
        return false;
    }
    std::vector<std::string> names, apis, delivers;
    for (const std::string& shop : shops) {
        names.push_back("TARVIK_" + shop);
        apis.push_back("$JS." + shop + ".API");
        delivers.push_back("tarvik_deliver." + shop);
    }
    std::vector<jsExternalStream> ext(shops.size());
    std::vector<jsStreamSource> src(shops.size());
    std::vector<jsStreamSource*> ptrs;
    for (size_t i = 0; i < names.size(); ++i) {
        src[i] = jsStreamSource{};
        ext[i] = jsExternalStream{};
        ext[i].APIPrefix = apis[i].c_str();
        ext[i].DeliverPrefix = delivers[i].c_str();
        src[i].Name = names[i].c_str();
        src[i].External = &ext[i];
        ptrs.push_back(&src[i]);
    }
    jsStreamConfig sc;
    jsStreamConfig_Init(&sc);
    sc.Name = o.stream.c_str();
    sc.Storage = js_FileStorage;
    sc.Sources = ptrs.data();
    sc.SourcesLen = static_cast<int>(ptrs.size());
    // The shops' leaf nodes drop duplicates and PostgreSQL's unique keys
    // make a record delivered twice a no-op, so this stream needs no
    // window of its own; and nats-server 2.9 stops sourcing a shop at a
    // message it takes for a duplicate. The shortest window it takes.
    sc.Duplicates = static_cast<int64_t>(100) * 1000000;
    return ensureStream(js, sc, had);
}

int publishPrices(const Options& o) {
    std::ifstream f(o.prices);
    if (!f) return usage("cannot read " + o.prices);
    std::stringstream ss;
    ss << f.rdbuf();
    const nlohmann::json list = nlohmann::json::parse(ss.str(), nullptr, false);
    if (!list.is_object() || !list.contains("list") || !list["list"].is_string() || !list.contains("lines") ||
        !list["lines"].is_array())
        return usage(o.prices + ": a price list is {\"list\": ID, \"lines\": [{\"plu\", \"name\", \"price\", ...}]}");
    natsConnection* nc = connectNats(o);
    if (!nc) return 1;
    jsCtx* js = nullptr;
    int rc = 1;
    if (ok(natsConnection_JetStream(&js, nc, nullptr), "JetStream") && pricesStream(js)) {
        const std::string subject = "tarvik.prices." + o.to;
        const std::string id = "prices-" + o.to + "-" + list["list"].get<std::string>();
        const std::string body = list.dump();
        jsPubOptions po;
        jsPubOptions_Init(&po);
        po.MsgId = id.c_str();
        jsPubAck* pa = nullptr;
        jsErrCode jerr = static_cast<jsErrCode>(0);
        if (ok(js_Publish(&pa, js, subject.c_str(), body.data(), static_cast<int>(body.size()), &po, &jerr),
               "publish the price list", jerr)) {
            std::printf("published %s to %s (sequence %llu%s)\n", list["list"].get<std::string>().c_str(),
                        subject.c_str(), static_cast<unsigned long long>(pa->Sequence),
                        pa->Duplicate ? ", a duplicate" : "");
            jsPubAck_Destroy(pa);
            rc = 0;
        }
    }
    if (js) jsCtx_Destroy(js);
    natsConnection_Destroy(nc);
    return rc;
}

int run(const Options& o) {
    std::unique_ptr<trvsink::Sink> sink;
    for (;;) {
        try {
            sink = std::make_unique<trvsink::Sink>(o.pg);
            const int v = sink->migrate();
            std::fprintf(stderr, "trvsink: schema version %d\n", v);
            break;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "trvsink: PostgreSQL: %s\n", e.what());
            if (gStop) return 1;
            std::this_thread::sleep_for(std::chrono::seconds(1));
        }
    }
    natsConnection* nc = connectNats(o);
    if (!nc) return 1;
    jsCtx* js = nullptr;
    if (!ok(natsConnection_JetStream(&js, nc, nullptr), "JetStream")) return 1;
    if (!pricesStream(js) || !hubStream(js, o)) return 1;

    natsSubscription* sub = nullptr;
    auto bind = [&]() {
        jsConsumerConfig cc;
        jsConsumerConfig_Init(&cc);
        cc.Durable = o.durable.c_str();
        cc.AckPolicy = js_AckExplicit;
        cc.AckWait = static_cast<int64_t>(o.ackWaitS) * 1000000000;
        cc.MaxAckPending = std::max(1000, o.batch * 4);
        cc.DeliverPolicy = js_DeliverAll;
        jsConsumerInfo* ci = nullptr;
        jsErrCode jerr = static_cast<jsErrCode>(0);
        if (!ok(js_AddConsumer(&ci, js, o.stream.c_str(), &cc, nullptr, &jerr), "add the consumer", jerr)) return false;
        jsConsumerInfo_Destroy(ci);
        jsSubOptions so;
        jsSubOptions_Init(&so);
        so.Stream = o.stream.c_str();
        so.Consumer = o.durable.c_str();
        return ok(js_PullSubscribe(&sub, js, nullptr, o.durable.c_str(), nullptr, &so, &jerr), "subscribe", jerr);
    };
    while (!bind()) {
        if (gStop) return 1;
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    std::printf("ready\n");
    std::fflush(stdout);

    uint64_t total = 0, dups = 0;
    int idle = 0;
    while (!gStop) {
        natsMsgList ml{};
        jsErrCode jerr = static_cast<jsErrCode>(0);
        // What is there now, up to a batch; when nothing is, wait for the
        // next message (a plain fetch of a whole batch would wait for the
        // batch to fill, or for its time-out).
        jsFetchRequest fr;
        jsFetchRequest_Init(&fr);
        fr.Batch = o.batch;
        fr.NoWait = true;
        fr.Expires = static_cast<int64_t>(500) * 1000000;
        natsStatus s = natsSubscription_FetchRequest(&ml, sub, &fr);
        if (s == NATS_TIMEOUT || s == NATS_NOT_FOUND || (s == NATS_OK && ml.Count == 0)) {
            if (s == NATS_OK) natsMsgList_Destroy(&ml);
            s = natsSubscription_Fetch(&ml, sub, 1, 500, &jerr);
        }
        // After an error, and after ten quiet seconds (a hub that restarted
        // may have left the pull subscription waiting where nothing comes),
        // the subscription is bound again; the durable consumer keeps its
        // place.
        if (s == NATS_TIMEOUT && ++idle < 20) continue;
        if (s != NATS_OK) {
            if (s != NATS_TIMEOUT)
                std::fprintf(stderr, "trvsink: fetch: %s (%d); binding again\n", natsStatus_GetText(s),
                             static_cast<int>(jerr));
            idle = 0;
            natsSubscription_Destroy(sub);
            sub = nullptr;
            while (!gStop && !bind()) std::this_thread::sleep_for(std::chrono::milliseconds(500));
            if (s != NATS_TIMEOUT) std::this_thread::sleep_for(std::chrono::milliseconds(200));
            continue;
        }
        idle = 0;
        std::vector<trvsink::Message> batch;
        for (int i = 0; i < ml.Count; ++i) {
            natsMsg* m = ml.Msgs[i];
            const char* id = nullptr;
            natsMsgHeader_Get(m, "Nats-Msg-Id", &id);
            batch.push_back({natsMsg_GetSubject(m), id ? id : "",
                             std::string(natsMsg_GetData(m), static_cast<size_t>(natsMsg_GetDataLength(m)))});
        }
        bool committed = false;
        while (!committed && !gStop) {
            try {
                const trvsink::Written w = sink->write(batch);
                total += w.rows;
                dups += w.duplicates;
                committed = true;
            } catch (const std::exception& e) {
                // Not committed: nothing of the batch is written. Reconnect
                // and write it again (the messages stay unacknowledged).
                std::fprintf(stderr, "trvsink: PostgreSQL: %s\n", e.what());
                std::this_thread::sleep_for(std::chrono::seconds(1));
                try {
                    sink = std::make_unique<trvsink::Sink>(o.pg);
                } catch (const std::exception&) {
                }
            }
        }
        // Acknowledged only now: the rows are committed.
        if (committed)
            for (int i = 0; i < ml.Count; ++i) natsMsg_Ack(ml.Msgs[i], nullptr);
        natsMsgList_Destroy(&ml);
    }
    std::fprintf(stderr, "trvsink: stopping; %llu rows written, %llu duplicates passed over\n",
                 static_cast<unsigned long long>(total), static_cast<unsigned long long>(dups));
    if (sub) natsSubscription_Destroy(sub);
    jsCtx_Destroy(js);
    natsConnection_Close(nc);
    natsConnection_Destroy(nc);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (i + 1 >= argc) return usage(a == "--nats" || a.rfind("--", 0) == 0 ? "missing value for " + a : "unknown argument " + a);
        const std::string v = argv[++i];
        if (a == "--nats") o.nats = v;
        else if (a == "--user") o.user = v;
        else if (a == "--password") o.password = v;
        else if (a == "--token") o.token = v;
        else if (a == "--creds") o.creds = v;
        else if (a == "--pg") o.pg = v;
        else if (a == "--stream") o.stream = v;
        else if (a == "--durable") o.durable = v;
        else if (a == "--prices") o.prices = v;
        else if (a == "--to") o.to = v;
        else if (a == "--shop") {
            if (v.empty() || v.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-") !=
                                 std::string::npos)
                return usage("bad shop id " + v);
            o.shops.push_back(v);
        } else if (a == "--batch" || a == "--ack-wait-s") {
            char* end = nullptr;
            const long n = std::strtol(v.c_str(), &end, 10);
            if (!end || *end || n < 1 || n > 100000) return usage("bad value for " + a + ": " + v);
            (a == "--batch" ? o.batch : o.ackWaitS) = static_cast<int>(n);
        } else {
            return usage("unknown option " + a);
        }
    }
    if (!o.prices.empty() && o.to.empty()) return usage("--prices needs --to SHOP (or all)");
    if (!o.to.empty() && o.to != "all" &&
        o.to.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-") != std::string::npos)
        return usage("bad shop id " + o.to);
    signal(SIGTERM, onSignal);
    signal(SIGINT, onSignal);
    signal(SIGPIPE, SIG_IGN);
    const int rc = o.prices.empty() ? run(o) : publishPrices(o);
    nats_Close();
    return rc;
}
