// The shop's side of a chain of shops: what the gateway collects goes to
// head office through the shop's NATS leaf node (JetStream), and price lists
// come back from head office.
//
// Out: every sale journal record, the outcome of every fiscal job (daily
// reports), register health and the outcome of every price line is first
// written to the gateway's database (the outbox, in the same transaction as
// the record itself), then published to the stream TARVIK_<shop> on the
// leaf with a message id that stays the same however often it is published
// (the leaf drops a duplicate), and removed from the outbox only once the
// leaf has acknowledged it. The leaf keeps the stream while the link to
// head office is down; head office's stream sources it across the link.
// A register's journal is cleared only when none of its records is left
// in the outbox.
//
// In: price lists arrive on tarvik.prices.<shop> and tarvik.prices.all
// (head office's stream TARVIK_PRICES, read with durable consumers through
// the hub's JetStream domain). Each line becomes an ordinary job per
// register with an idempotency key made of the list, the register and the
// line, so a list delivered twice runs once; each line's outcome goes back
// through the outbox, and the list is acknowledged after that.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "store.h"

struct __natsConnection;
struct __natsMsg;
struct __jsCtx;
struct jsPubAck;
struct jsPubAckErr;

namespace trvgw {

class Gateway;

struct ChainConfig {
    bool enabled = false;
    std::string url;          // the shop's leaf node, nats://HOST:PORT (several: comma-separated)
    std::string shop;         // letters, digits, - _
    std::string user, password, token, creds;
    std::string hubDomain = "hub";  // head office's JetStream domain (price lists)
    bool prices = true;
    uint32_t publishTimeoutMs = 5000;
    uint32_t priceWaitS = 600;      // how long a price line's job may take before the list is given back
    uint32_t keepDays = 30;         // the leaf's stream keeps a message this long (head office has it long before)
};

// Throws std::runtime_error naming what is wrong.
ChainConfig parseChainConfig(const nlohmann::json& j);

// The names and ids on the wire.
std::string chainStream(const std::string& shop);
std::string chainSubject(const std::string& shop, const std::string& reg, const std::string& kind);
// A sale record's message id: the register's unique number, the record's
// number on that register and its date (YYYY-MM-DD).
std::string journalMsgId(const std::string& serial, int64_t number, const std::string& date);
// The record's own date (its "data" field) when it has one, else the UTC
// day of `collected`.
std::string recordDate(const nlohmann::json& record, double collected);
bool validShopId(const std::string& id);

class Chain {
public:
    Chain(const ChainConfig& cfg, Store& store);
    ~Chain();
    Chain(const Chain&) = delete;
    Chain& operator=(const Chain&) = delete;

    const ChainConfig& config() const { return cfg_; }
    void start(Gateway& gw);
    void stop();

    // Publishes what the outbox holds for a register now; true when none of
    // its sale records is left unacknowledged.
    bool flush(const std::string& reg);
    void wake();

    // Outbox rows (inside a store change).
    Store::OutMsg message(const std::string& reg, const std::string& kind, const std::string& msgid,
                          const nlohmann::json& payload) const;
    // Register health: queued in the outbox (not waited for).
    void health(const std::string& reg, const std::string& state, uint32_t status, const std::string& text);

    nlohmann::json statusJson();

private:
    bool connect();
    bool ensureStream();
    int publishPending(const std::string& reg, size_t limit);
    static void onPubAck(__jsCtx* js, __natsMsg* msg, jsPubAck* pa, jsPubAckErr* pae, void* closure);
    void publisher();
    void pricer();
    bool applyPriceList(const std::string& data, const std::string& subject);

    ChainConfig cfg_;
    Store& store_;
    Gateway* gw_ = nullptr;
    __natsConnection* nc_ = nullptr;
    __jsCtx* js_ = nullptr;   // the leaf's own JetStream
    __jsCtx* hub_ = nullptr;  // head office's, across the leaf link
    std::mutex pubMutex_;     // one publisher at a time
    std::mutex ackMutex_;
    std::set<std::string> acked_;  // message ids the leaf acknowledged; guarded by ackMutex_
    bool streamReady_ = false;  // guarded by pubMutex_
    std::mutex mutex_;
    std::condition_variable cv_;
    bool stopping_ = false, woken_ = false;  // guarded by mutex_
    std::thread pubThread_, priceThread_;
    std::atomic<uint64_t> published_{0}, failures_{0}, priceLists_{0};
    std::atomic<bool> connected_{false};
};

}  // namespace trvgw
