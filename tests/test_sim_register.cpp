// The register simulator over loopback TCP: the dialogue of acknowledgement
// and answer, its state (clock, articles, journal, fiscal memory) and the
// busy register after a long command.
#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "sim_client.h"
#include "sim_register.h"
#include "sim_tcp.h"

using namespace trvsim;
using trvsim::test::Client;
using trvsim::test::Frame;

namespace {

class SimTest : public trvsim::test::SimServerTest {
protected:
    SimTest() : SimServerTest(60) {}
};

void expectError(const Frame& fr, uint16_t cmd, uint16_t trans, uint16_t exec) {
    ASSERT_TRUE(fr.ok()) << "rc " << fr.rc;
    ASSERT_EQ(fr.f.cmd, 0);
    ASSERT_EQ(fr.f.items.size(), 4u);
    EXPECT_EQ(fr.f.items[0].GetShort(), cmd);
    EXPECT_EQ(fr.f.items[1].GetShort(), trans);
    EXPECT_EQ(fr.f.items[2].GetShort(), exec);
}

std::string text(const Frame& fr, size_t i) { return fr.f.items.at(i).GetString(','); }

}  // namespace

TEST_F(SimTest, AcknowledgesThenAnswersEveryRequest) {
    Client c(port);
    ASSERT_TRUE(c.connected());
    const uint32_t t = c.send(14);
    Frame ack = c.next();
    ASSERT_TRUE(ack.ok());
    EXPECT_EQ(ack.f.cmd, 1);
    EXPECT_EQ(ack.f.token, t);
    EXPECT_TRUE(ack.f.items.empty());
    Frame ans = c.next();
    ASSERT_TRUE(ans.ok());
    EXPECT_EQ(ans.f.cmd, 14);
    EXPECT_EQ(ans.f.token, t);
    ASSERT_EQ(ans.f.items.size(), 3u);
    EXPECT_EQ(ans.f.items[0].Type(), TARVIK_TYPE_BYTE);

    // A command the register does not model: answered without values.
    Frame other = c.request(777);
    ASSERT_TRUE(other.ok());
    EXPECT_EQ(other.f.cmd, 777);
    EXPECT_TRUE(other.f.items.empty());

    // Answers and errors set by a test take precedence.
    reg.setAnswer(777, Values().word(5).str("x").items);
    other = c.request(777);
    ASSERT_EQ(other.f.items.size(), 2u);
    EXPECT_EQ(text(other, 1), "x");
    reg.setError(14, 42);
    expectError(c.request(14), 14, 0, 42);
    reg.clearAnswers();
    EXPECT_EQ(c.request(14).f.cmd, 14);

    // Wrongly typed parameters are an execution error after the acknowledgement,
    // counted apart from the handlers' own errors and named in the log.
    expectError(c.request(2110, Values().str("1").byte(0).items), 2110, 0, err::kBadLayout);
    EXPECT_EQ(reg.stats().requestMismatches, 1u);
    EXPECT_EQ(reg.lastMismatch(), "request of TRVS_PLURead (command 2110, layout VB): value 1 (numer_rekordu) is S");
    EXPECT_EQ(reg.stats().acks, 6u);
}

TEST_F(SimTest, ClockSetThenGet) {
    reg.setBusyMs(0);
    Client c(port);
    // Time first on the wire: hour, minute, second, day, month, year.
    Frame set = c.request(16, Values().byte(14).byte(5).byte(30).byte(9).byte(3).word(2008).items);
    ASSERT_TRUE(set.ok());
    EXPECT_EQ(set.f.cmd, 16);

    Frame date = c.request(15);
    ASSERT_EQ(date.f.items.size(), 3u);
    EXPECT_EQ(date.f.items[0].GetChar(), 9);
    EXPECT_EQ(date.f.items[1].GetChar(), 3);
    EXPECT_EQ(date.f.items[2].GetShort(), 2008);
    Frame time = c.request(14);
    ASSERT_EQ(time.f.items.size(), 3u);
    EXPECT_EQ(time.f.items[0].GetChar(), 14);
    EXPECT_EQ(time.f.items[1].GetChar(), 5);
    EXPECT_GE(time.f.items[2].GetChar(), 30);
    EXPECT_LE(time.f.items[2].GetChar(), 35);
    EXPECT_EQ(reg.clock().year, 2008);

    // 30 February is refused and the clock left alone.
    expectError(c.request(16, Values().byte(14).byte(5).byte(30).byte(30).byte(2).word(2008).items), 16, 0,
                err::kBadValue);
    EXPECT_EQ(reg.clock().month, 3);

    // VAT rates: date-time first, then seven Words; read back by 20.
    Values rates;
    rates.dateTime(DateTime{2009, 1, 1, 0, 0, 0});
    for (uint16_t r : {2300, 800, 500, 0, 10000, 10001, 10001}) rates.word(r);
    ASSERT_EQ(c.request(21, rates.items).f.cmd, 21);
    Frame vat = c.request(20);
    ASSERT_EQ(vat.f.items.size(), 7u);
    EXPECT_EQ(vat.f.items[1].GetShort(), 800);
}

TEST_F(SimTest, HeaderAndFooterLines) {
    reg.setBusyMs(0);
    Client c(port);
    ASSERT_EQ(c.request(19, Values().byte(1).str("ONE").byte(0).str("TWO").items).f.cmd, 19);
    Frame h = c.request(18);
    ASSERT_EQ(h.f.items.size(), 5u);
    EXPECT_EQ(h.f.items[0].GetChar(), 2);
    EXPECT_EQ(h.f.items[1].GetChar(), 1);
    EXPECT_EQ(text(h, 4), "TWO");
    Values four;
    for (int i = 0; i < 4; ++i) four.byte(0).str("L");
    expectError(c.request(31, four.items), 31, 0, err::kBadValue);
    EXPECT_EQ(reg.footer().size(), 1u);
}

TEST_F(SimTest, ArticlesWithBarcodes) {
    Client c(port);
    auto ins = [](uint16_t n, const std::string& name, const std::string& code, uint8_t overwrite) {
        return Values().word(n).str(name).str(code).num(1250).num(3).byte(4).byte(1).byte(2).byte(3).byte(1)
            .byte(0).byte(1).byte(0).byte(1).byte(overwrite).byte(0).items;
    };
    ASSERT_EQ(c.request(2100, ins(100, "KAWA", "5901234123457", 0)).f.cmd, 2100);
    ASSERT_EQ(c.request(2300, Values().word(100).str("111").str("222").items).f.cmd, 2300);

    // By number, with barcodes: 14 fixed values, then the count and the codes.
    Frame r = c.request(2110, Values().word(100).byte(1).items);
    ASSERT_TRUE(r.ok());
    ASSERT_EQ(r.f.items.size(), 17u);
    EXPECT_EQ(r.f.items[0].GetShort(), 100);
    EXPECT_EQ(text(r, 1), "KAWA");
    EXPECT_EQ(text(r, 2), "5901234123457");
    EXPECT_EQ(text(r, 3), "3");     // minimum stock before the price
    EXPECT_EQ(r.f.items[4].GetChar(), 0);
    EXPECT_EQ(r.f.items[5].GetChar(), 1);  // VAT
    EXPECT_EQ(text(r, 6), "1250");
    EXPECT_EQ(r.f.items[7].GetChar(), 4);  // packaging
    EXPECT_EQ(r.f.items[11].GetChar(), 2);  // discount
    EXPECT_EQ(r.f.items[14].GetShort(), 2);
    EXPECT_EQ(text(r, 16), "222");
    EXPECT_EQ(c.request(2110, Values().word(100).byte(0).items).f.items.size(), 14u);

    // By an additional barcode: the code asked for first, no record number.
    Frame b = c.request(2111, Values().str("222").byte(0).items);
    ASSERT_EQ(b.f.items.size(), 14u);
    EXPECT_EQ(text(b, 0), "222");
    EXPECT_EQ(text(b, 1), "KAWA");
    Frame ex = c.request(2112, Values().word(0).str("111").byte(1).items);
    ASSERT_EQ(ex.f.items.size(), 18u);  // one more: the notepad flag
    EXPECT_EQ(ex.f.items[0].GetShort(), 100);
    EXPECT_EQ(ex.f.items[17].GetChar(), 1);
    EXPECT_EQ(c.request(2131, Values().str("5901234123457").items).f.items.at(0).GetShort(), 100);
    EXPECT_EQ(c.request(2130, Values().str("KAWA").items).f.items.at(0).GetShort(), 100);
    EXPECT_EQ(c.request(2120, Values().word(100).items).f.items.at(0).GetShort(), 101);

    // Conflicts: the record exists; a barcode belongs to another article.
    expectError(c.request(2100, ins(100, "KAWA 2", "", 0)), 2100, 0, err::kExists);
    expectError(c.request(2100, ins(101, "HERBATA", "222", 0)), 2100, 0, err::kBarcodeUsed);
    expectError(c.request(2300, Values().word(2).str("111").items), 2300, 0, err::kBarcodeUsed);
    ASSERT_EQ(c.request(2100, ins(100, "KAWA 2", "5901234123457", 1)).f.cmd, 2100);
    ASSERT_TRUE(reg.article(100));
    EXPECT_EQ(reg.article(100)->name, "KAWA 2");
    EXPECT_EQ(reg.article(100)->barcodes.size(), 2u);  // kept over the rewrite

    // Barcode list and deletion.
    ASSERT_EQ(c.request(2340, Values().str("111").items).f.cmd, 2340);
    Frame list = c.request(2310, Values().word(100).items);
    ASSERT_EQ(list.f.items.size(), 2u);
    EXPECT_EQ(text(list, 1), "222");
    expectError(c.request(2111, Values().str("111").byte(0).items), 2111, 0, err::kNotFound);
    ASSERT_EQ(c.request(2140, Values().word(100).byte(0).byte(0).items).f.cmd, 2140);
    expectError(c.request(2110, Values().word(100).byte(0).items), 2110, 0, err::kNotFound);
    EXPECT_FALSE(reg.articleByBarcode("222"));
}

TEST_F(SimTest, ArticleTypesSetsAndStock) {
    Client c(port);
    // E-service article: VAT, unit and the e-service Word in its block.
    ASSERT_EQ(c.request(2101, Values().word(7).str("DOLADOWANIE").str("").byte(1).byte(0).byte(0).byte(2)
                                  .word(321).byte(0).byte(0).byte(0).byte(0).items).f.cmd, 2101);
    Frame e = c.request(2110, Values().word(7).byte(0).items);
    ASSERT_EQ(e.f.items.size(), 11u);
    EXPECT_EQ(e.f.items[7].GetShort(), 321);

    // A set of articles 1 and 2: no type block; members read back by 2210.
    ASSERT_EQ(c.request(2200, Values().word(10).str("ZESTAW").str("").num(0).byte(0).byte(0).byte(0).byte(0)
                                  .byte(0).byte(0).word(1).num(2).num(300).word(2).num(1).num(250).items).f.cmd, 2200);
    EXPECT_EQ(c.request(2110, Values().word(10).byte(0).items).f.items.size(), 8u);
    Frame members = c.request(2210, Values().word(10).items);
    ASSERT_EQ(members.f.items.size(), 7u);
    EXPECT_EQ(members.f.items[4].GetShort(), 2);
    expectError(c.request(2140, Values().word(1).byte(0).byte(0).items), 2140, 0, err::kInSet);

    // Stock: add 5 to the sample article 1 (stock 40), read the store.
    ASSERT_EQ(c.request(2180, Values().word(1).num(5).byte(1).items).f.cmd, 2180);
    Frame store = c.request(2183, Values().word(1).items);
    ASSERT_EQ(store.f.items.size(), 7u);
    EXPECT_EQ(text(store, 3), "45");
}

TEST_F(SimTest, SaleJournalAndFiscalMemory) {
    Client c(port);
    const size_t n = reg.journalSize();
    ASSERT_GT(n, 5u);
    Frame first = c.request(451, Values().byte(1).items);
    ASSERT_TRUE(first.ok());
    EXPECT_EQ(first.f.cmd, 451);
    EXPECT_EQ(first.f.items[1].GetShort(), n - 1);  // records after this one
    EXPECT_EQ(first.f.items[2].GetShort(), journal::kDaily);
    size_t read = 1;
    std::set<uint16_t> types;
    for (uint16_t more = first.f.items[1].GetShort(); more; ++read) {
        Frame r = c.request(451, Values().byte(0).items);
        ASSERT_TRUE(r.ok());
        more = r.f.items[1].GetShort();
        types.insert(r.f.items[2].GetShort());
    }
    EXPECT_EQ(read, n);
    EXPECT_GE(types.size(), 8u);
    expectError(c.request(451, Values().byte(0).items), 451, 0, err::kNoRecord);
    ASSERT_EQ(c.request(453).f.cmd, 453);
    EXPECT_EQ(reg.journalSize(), 0u);
    expectError(c.request(451, Values().byte(1).items), 451, 0, err::kNoRecord);

    // Fiscal memory: the last daily report, read by number.
    Frame last = c.request(402, Values().word(fiscal::kDaily).items);
    ASSERT_EQ(last.f.items.size(), 2u);
    EXPECT_EQ(last.f.items[1].GetShort(), reg.fiscalMemorySize());
    Frame prev = c.request(404, Values().word(fiscal::kDaily).word(last.f.items[1].GetShort()).items);
    EXPECT_EQ(prev.f.items.at(1).GetShort(), last.f.items[1].GetShort() - 2);  // a RAM clearing in between
    Frame rec = c.request(405, Values().word(last.f.items[1].GetShort()).items);
    ASSERT_EQ(rec.f.items.size(), 1u + 5 + 3 + 7 + 2);
    EXPECT_EQ(rec.f.items[0].GetShort(), fiscal::kDaily);
    expectError(c.request(405, Values().word(999).items), 405, 0, err::kNotFound);
}

TEST_F(SimTest, BusyAfterLongCommandThenNotBusy) {
    reg.setBusyMs(300);
    Client c(port);
    const uint32_t rep = c.send(1101, Values().byte(0).byte(0).byte(0).word(1).items);  // article 1
    Frame ack = c.next();
    ASSERT_EQ(ack.f.cmd, 1);
    EXPECT_EQ(ack.f.token, rep);

    Frame st = c.request(8);
    ASSERT_EQ(st.f.items.size(), 2u);
    EXPECT_EQ(st.f.items[0].GetChar(), 1);
    EXPECT_EQ(st.f.items[1].GetShort(), busy::kReport);
    Frame seq = c.request(9, Values().byte(0).items);
    ASSERT_EQ(seq.f.items.size(), 3u);
    EXPECT_EQ(seq.f.items[0].GetShort(), 1101);
    EXPECT_EQ(seq.f.items[2].GetLong(), rep);
    expectError(c.request(14), 14, 0, err::kBusy);

    // The report's answer comes when the register is done.
    Frame done = c.next(3000);
    ASSERT_TRUE(done.ok());
    EXPECT_EQ(done.f.cmd, 1101);
    EXPECT_EQ(done.f.token, rep);
    st = c.request(8);
    EXPECT_EQ(st.f.items[0].GetChar(), 0);
    EXPECT_EQ(st.f.items[1].GetShort(), 0);
    EXPECT_EQ(c.request(14).f.cmd, 14);

    // Stopped by command 10: the report ends with an error, the stop is answered.
    reg.setBusyMs(5000);
    const uint32_t rep2 = c.send(1161);
    ASSERT_EQ(c.next().f.cmd, 1);
    const uint32_t stop = c.send(10);
    ASSERT_EQ(c.next().f.token, stop);  // acknowledgement of the stop
    Frame stopped = c.next();
    EXPECT_EQ(stopped.f.token, rep2);
    expectError(stopped, 1161, 0, err::kStopped);
    Frame stopAns = c.next();
    EXPECT_EQ(stopAns.f.cmd, 10);
    EXPECT_FALSE(reg.busy());
}

TEST_F(SimTest, OversizedRequestsAreRefusedAndServingGoesOn) {
    Client c(port);
    // 16,000 header lines in one frame: the register holds ten.
    Values header;
    for (int i = 0; i < 16000; ++i) header.byte(1).str("");
    expectError(c.request(19, header.items), 19, 0, err::kBadValue);
    // 7,000 further barcodes for article 1, and 4,000 display entries.
    Values codes;
    codes.word(1);
    for (int i = 0; i < 7000; ++i) codes.str(std::to_string(100000 + i));
    expectError(c.request(2300, codes.items), 2300, 0, err::kFull);
    Values display;
    display.byte(0);
    for (int i = 0; i < 4000; ++i) display.byte(0).str("").byte(0).byte(0).byte(0).byte(0);
    expectError(c.request(381, display.items), 381, 0, err::kBadValue);
    // The register still answers.
    Frame clock = c.request(14);
    ASSERT_TRUE(clock.ok());
    EXPECT_EQ(clock.f.cmd, 14);
}
