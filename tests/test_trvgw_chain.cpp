// The chain's pieces that decide identity and configuration: a sale
// record's message id (the leaf's de-duplication and head office's unique
// key rest on it), the gateway's chain section and trvsink's reading of
// subjects. The whole chain runs in tests/chain/test_chain.py.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "chain.h"
#include "config.h"
#include "sink.h"

using trvgw::Json;

namespace {

std::string chainError(const Json& j) {
    try {
        trvgw::parseChainConfig(j);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

}  // namespace

TEST(ChainIds, SaleRecordIdIsStableAndTellsRegistersNumbersAndDaysApart) {
    // The record's own date wins over the day it was collected on, so a
    // record collected again later keeps its id.
    const Json finished = {{"typ", 2}, {"numer", 60}, {"data", "2026-12-08 23:59"}};
    const double nextDay = 1796774400.0 + 3600;  // 2026-12-09 01:00 UTC
    EXPECT_EQ(trvgw::recordDate(finished, nextDay), "2026-12-08");
    EXPECT_EQ(trvgw::journalMsgId("ABC123", 61, trvgw::recordDate(finished, nextDay)), "ABC123-61-2026-12-08");
    // A record without a date of its own (an article line) takes the day
    // of its collection, in UTC.
    const Json line = {{"typ", 4}, {"nazwa", "CHLEB"}};
    EXPECT_EQ(trvgw::recordDate(line, nextDay), "2026-12-09");
    EXPECT_EQ(trvgw::recordDate(Json{{"data", "not a date"}}, nextDay), "2026-12-09");
    EXPECT_EQ(trvgw::recordDate(Json(), nextDay), "2026-12-09");
    // Different registers, numbers or days never share an id.
    EXPECT_NE(trvgw::journalMsgId("A1", 12, "2026-12-08"), trvgw::journalMsgId("A", 112, "2026-12-08"));
    EXPECT_NE(trvgw::journalMsgId("A", 1, "2026-12-08"), trvgw::journalMsgId("A", 1, "2026-12-09"));
    EXPECT_EQ(trvgw::chainSubject("shop7", "r1", "journal"), "tarvik.shop7.r1.journal");
    EXPECT_EQ(trvgw::chainStream("shop7"), "TARVIK_shop7");
}

TEST(ChainConfig, SectionIsCheckedWhole) {
    const trvgw::ChainConfig c = trvgw::parseChainConfig(
        {{"url", "nats://127.0.0.1:4222"}, {"shop", "warszawa-01"}, {"user", "gw"}, {"password", "pw"}});
    EXPECT_TRUE(c.enabled);
    EXPECT_EQ(c.shop, "warszawa-01");
    EXPECT_EQ(c.hubDomain, "hub");
    EXPECT_TRUE(c.prices);
    // Off: nothing else is needed.
    EXPECT_FALSE(trvgw::parseChainConfig({{"enabled", false}}).enabled);

    EXPECT_NE(chainError({{"shop", "s1"}}).find("chain.url"), std::string::npos);
    EXPECT_NE(chainError({{"url", "http://x"}, {"shop", "s1"}}).find("nats://"), std::string::npos);
    // A shop id is one subject token, and "prices" is taken.
    for (const char* bad : {"", "a.b", "a*", "a>", "prices", "a b"})
        EXPECT_NE(chainError({{"url", "nats://h:1"}, {"shop", bad}}).find("chain.shop"), std::string::npos) << bad;
    EXPECT_NE(chainError({{"url", "nats://h:1"}, {"shop", "s"}, {"user", "u"}, {"token", "t"}}).find("one of"),
              std::string::npos);
    EXPECT_NE(chainError({{"url", "nats://h:1"}, {"shop", "s"}, {"leaf", "x"}}).find("unknown setting 'leaf'"),
              std::string::npos);
    EXPECT_NE(chainError({{"url", "nats://h:1"}, {"shop", "s"}, {"publish_timeout_ms", 5}}).find("publish_timeout_ms"),
              std::string::npos);
}

TEST(ChainConfig, RegisterIdsAreSubjectTokensWhenTheChainIsOn) {
    const std::string path = ::testing::TempDir() + "chain_config.json";
    auto load = [&](const Json& j) -> std::string {
        std::ofstream(path) << j.dump();
        try {
            const trvgw::Config c = trvgw::loadConfig(path);
            return c.chain.enabled ? "on" : "off";
        } catch (const std::exception& e) {
            return e.what();
        }
    };
    const Json regs = Json::array({{{"id", "kasa.1"}, {"url", "tcp://127.0.0.1:1"}}});
    EXPECT_EQ(load({{"registers", regs}}), "off");
    EXPECT_NE(load({{"registers", regs}, {"chain", {{"url", "nats://h:1"}, {"shop", "s"}}}}).find("no '.'"),
              std::string::npos);
    const Json ok = Json::array({{{"id", "kasa_1"}, {"url", "tcp://127.0.0.1:1"}}});
    EXPECT_EQ(load({{"registers", ok}, {"chain", {{"url", "nats://h:1"}, {"shop", "s"}}}}), "on");
    std::remove(path.c_str());
}

TEST(SinkSubjects, OnlyTheFourTokenFormIsTaken) {
    trvsink::Subject s;
    ASSERT_TRUE(trvsink::parseSubject("tarvik.shop1.r1.journal", s));
    EXPECT_EQ(s.shop, "shop1");
    EXPECT_EQ(s.reg, "r1");
    EXPECT_EQ(s.kind, "journal");
    for (const char* bad : {"tarvik.shop1.r1", "tarvik.shop1.r1.journal.x", "other.shop1.r1.journal", "tarvik..r1.journal",
                            "tarvik.shop1.r1.", ""})
        EXPECT_FALSE(trvsink::parseSubject(bad, s)) << bad;
}

// Against a real PostgreSQL: the chain test runs this with TARVIK_TEST_PG
// set to a database of its own; skipped without.
TEST(SinkWrite, ABatchWrittenAgainWritesNothingAndABadMessageHoldsUpNothing) {
    const char* conninfo = std::getenv("TARVIK_TEST_PG");
    if (!conninfo || !*conninfo) GTEST_SKIP() << "TARVIK_TEST_PG is not set";
    trvsink::Sink sink(conninfo);
    EXPECT_EQ(sink.migrate(), trvsink::Sink::schemaVersion());
    EXPECT_EQ(sink.migrate(), trvsink::Sink::schemaVersion());  // once only
    auto record = [](int64_t number, const std::string& date) {
        return Json{{"serial", "X1"}, {"number", number}, {"date", date}, {"type", 2}, {"type_name", "finished receipt"},
                    {"record", {{"numer", number}}}, {"collected", 1.5}}
            .dump();
    };
    const std::vector<trvsink::Message> batch = {
        {"tarvik.s1.r1.journal", "X1-1-2026-12-09", record(1, "2026-12-09")},
        {"tarvik.s1.r1.journal", "X1-2-2026-12-09", record(2, "2026-12-09")},
        {"tarvik.s1.r1.journal", "X1-3-2026-13-45", record(3, "2026-13-45")},  // no such day: refused by the database
        {"tarvik.s1.r1.fiscal", "s1-r1-j7-succeeded", Json{{"id", "j7"}, {"command", "TRVS_RepFskDaily"}, {"state", "succeeded"}}.dump()},
        {"tarvik.s1.r1.price", "s1:price:pl:r1:0:done", Json{{"list", "pl"}, {"line", 0}, {"plu", 5}, {"outcome", "done"}}.dump()},
        {"tarvik.s1.journal", "bad-subject", "{}"},
        {"tarvik.s1.r1.journal", "not-json", "{"},
    };
    const trvsink::Written first = sink.write(batch);
    EXPECT_EQ(first.rows, 4u);
    EXPECT_EQ(first.rejected, 3u);
    // Delivered again (a sink killed before its acknowledgements got out).
    const trvsink::Written again = sink.write(batch);
    EXPECT_EQ(again.rows, 0u);
    EXPECT_EQ(again.duplicates, 4u);
    EXPECT_EQ(again.rejected, 3u);
    // The same record under another message id is still the same record.
    const trvsink::Written other = sink.write({{"tarvik.s1.r1.journal", "another-id", record(2, "2026-12-09")}});
    EXPECT_EQ(other.rows, 0u);
    pqxx::connection c(conninfo);
    pqxx::work w(c);
    EXPECT_EQ(w.exec1("SELECT count(*) FROM sale_records WHERE serial='X1'")[0].as<int>(), 2);
    EXPECT_EQ(w.exec1("SELECT count(*) FROM rejected_messages")[0].as<int>(), 3);
    EXPECT_EQ(w.exec1("SELECT count(*) FROM registers WHERE serial='X1' AND shop='s1'")[0].as<int>(), 1);
    EXPECT_EQ(w.exec1("SELECT outcome FROM register_prices WHERE plu=5")[0].as<std::string>(), "done");
}
