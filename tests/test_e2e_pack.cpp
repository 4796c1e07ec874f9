// Packagings end to end: records written, found by number, barcode and name,
// counted and stocked, and deleted under the rules for totals and for the
// articles that refer to them.
#include <string>

#include "mirtel_sim.h"

namespace {
constexpr TARVIK_STATUS exec(uint16_t code) { return TARVIK_STATUS_EXEC_ERROR + code; }
}  // namespace

class Packagings : public trvsim::test::MirtelSimTest {
protected:
    TARVIK_STATUS run(TARVIK_STATUS sent) {
        const TARVIK_STATUS st = done(r, sent);
        EXPECT_EQ(TRVG_Default(r), 0u);
        return st;
    }
    bool exists(uint16_t n) {
        bool found = false;
        reg.withState([&](trvsim::State& s) { found = s.packagings.count(n) != 0; });
        return found;
    }
    // The packaging number of an article, as the article reader gives it.
    unsigned char packagingOf(uint16_t article) {
        unsigned char opak = 99;
        EXPECT_EQ(done(r, TRVS_PLURead(view, &r, article, 0, 0)), 0u);
        EXPECT_EQ(TRVG_PLURead(r, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &opak, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
                  0u);
        return opak;
    }
    TARVIK_HANDLE r = nullptr;
};

TEST_F(Packagings, WrittenFoundAndCounted) {
    ASSERT_EQ(run(TRVS_PackIns(view, &r, 10, "KEG 30L", "5900000010009", "15000", "2", 1, 0, 0, 0)), 0u);
    EXPECT_EQ(run(TRVS_PackIns(view, &r, 10, "KEG 50L", "", "1", "1", 0, 0, 0, 0)), exec(trvsim::err::kExists));
    // Another packaging's or an article's barcode is taken.
    EXPECT_EQ(run(TRVS_PackIns(view, &r, 11, "X", "5900000010009", "1", "1", 0, 0, 0, 0)),
              exec(trvsim::err::kBarcodeUsed));
    EXPECT_EQ(run(TRVS_PackIns(view, &r, 11, "X", "5900000000017", "1", "1", 0, 0, 0, 0)),
              exec(trvsim::err::kBarcodeUsed));

    unsigned short numer = 0;
    unsigned char sztywna = 0;
    char nazwa[64], kod[64], cena[32], stan_min[32];
    ASSERT_EQ(done(r, TRVS_PackRead(view, &r, 10, 0)), 0u);
    ASSERT_EQ(TRVG_PackRead(r, &numer, nazwa, kod, cena, stan_min, &sztywna), 0u);
    EXPECT_EQ(numer, 10);
    EXPECT_STREQ(nazwa, "KEG 30L");
    EXPECT_STREQ(kod, "5900000010009");
    EXPECT_STREQ(cena, "15000");
    EXPECT_STREQ(stan_min, "2");
    EXPECT_EQ(sztywna, 1);
    ASSERT_EQ(done(r, TRVS_PackReadByBarcode(view, &r, "5900000010009", 0)), 0u);
    ASSERT_EQ(TRVG_PackReadByBarcode(r, kod, nazwa, nullptr, nullptr, nullptr), 0u);
    EXPECT_STREQ(kod, "5900000010009");
    EXPECT_STREQ(nazwa, "KEG 30L");

    auto lookup = [&](TARVIK_STATUS sent, TARVIK_STATUS (*get)(TARVIK_HANDLE, unsigned short*)) {
        unsigned short n = 0;
        EXPECT_EQ(done(r, sent), 0u);
        EXPECT_EQ(get(r, &n), 0u);
        return n;
    };
    EXPECT_EQ(lookup(TRVS_PackGetByName(view, &r, "KEG 30L", 0), TRVG_PackGetByName), 10);
    EXPECT_EQ(lookup(TRVS_PackGetByBarcode(view, &r, "5900000010009", 0), TRVG_PackGetByBarcode), 10);
    EXPECT_EQ(lookup(TRVS_PackNextFreeGet(view, &r, 1, 0), TRVG_PackNextFreeGet), 2);  // 1 and 3 are samples
    EXPECT_EQ(lookup(TRVS_PackNextFreeGet(view, &r, 10, 0), TRVG_PackNextFreeGet), 11);
    ASSERT_EQ(done(r, TRVS_PackGetByName(view, &r, "NIE MA", 0)), exec(trvsim::err::kNotFound));
    EXPECT_EQ(TRVG_Default(r), 0u);

    // Price, minimum stock and stock.
    ASSERT_EQ(run(TRVS_PackPriceUpdate(view, &r, 10, "16000", 0)), 0u);
    ASSERT_EQ(run(TRVS_PackPriceUpdateByBarcode(view, &r, "5900000010009", "17000", 0)), 0u);
    ASSERT_EQ(run(TRVS_PackStockMinQntSet(view, &r, 10, "4", 0)), 0u);
    ASSERT_EQ(run(TRVS_PackStockQntModify(view, &r, 10, "5", 1, 0)), 0u);
    ASSERT_EQ(run(TRVS_PackStockQntModify(view, &r, 10, "2", 0, 0)), 0u);
    ASSERT_EQ(done(r, TRVS_PackRead(view, &r, 10, 0)), 0u);
    ASSERT_EQ(TRVG_PackRead(r, nullptr, nullptr, nullptr, cena, stan_min, nullptr), 0u);
    EXPECT_STREQ(cena, "17000");
    EXPECT_STREQ(stan_min, "4");

    char sprzedane[32], zwrocone[32], wart_sprz[32], wart_zwr[32], stan[32];
    ASSERT_EQ(done(r, TRVS_PackStatRead(view, &r, 10, 0, 0)), 0u);
    ASSERT_EQ(TRVG_PackStatRead(r, &numer, sprzedane, zwrocone, wart_sprz, wart_zwr, stan), 0u);
    EXPECT_STREQ(sprzedane, "0");
    EXPECT_STREQ(stan, "3");

    // The sample bottle was sold twice; reading with clearing clears the
    // totals, not the stock.
    ASSERT_EQ(done(r, TRVS_PackStatReadByBarcode(view, &r, "5900000000307", 1, 0)), 0u);
    ASSERT_EQ(TRVG_PackStatReadByBarcode(r, kod, sprzedane, zwrocone, wart_sprz, wart_zwr, stan), 0u);
    EXPECT_STREQ(kod, "5900000000307");
    EXPECT_STREQ(sprzedane, "2");
    EXPECT_STREQ(wart_sprz, "100");
    EXPECT_STREQ(stan, "240");
    ASSERT_EQ(done(r, TRVS_PackStatRead(view, &r, 3, 0, 0)), 0u);
    ASSERT_EQ(TRVG_PackStatRead(r, &numer, sprzedane, nullptr, wart_sprz, nullptr, stan), 0u);
    EXPECT_EQ(numer, 3);
    EXPECT_STREQ(sprzedane, "0");
    EXPECT_STREQ(wart_sprz, "0");
    EXPECT_STREQ(stan, "240");

    ASSERT_EQ(run(TRVS_PackStoreClr(view, &r, 0)), 0u);
    ASSERT_EQ(run(TRVS_PackStatClearAll(view, &r, 1, 0)), 0u);
    ASSERT_EQ(done(r, TRVS_PackStatRead(view, &r, 10, 0, 0)), 0u);
    ASSERT_EQ(TRVG_PackStatRead(r, nullptr, nullptr, nullptr, nullptr, nullptr, stan), 0u);
    EXPECT_STREQ(stan, "0");
}

TEST_F(Packagings, ArticlesFindTheirPackagingAndHoldItOnDelete) {
    // The sample article 2 comes in the sample bottle 3.
    const unsigned char opak = packagingOf(2);
    ASSERT_EQ(opak, 3);
    char nazwa[64];
    ASSERT_EQ(done(r, TRVS_PackRead(view, &r, opak, 0)), 0u);
    ASSERT_EQ(TRVG_PackRead(r, nullptr, nazwa, nullptr, nullptr, nullptr, nullptr), 0u);
    EXPECT_STREQ(nazwa, "BUTELKA 0,5L");

    // The bottle has totals and an article: each needs its own flag.
    EXPECT_EQ(run(TRVS_PackDel(view, &r, 3, 1, 0, 0)), exec(trvsim::err::kNonZero));
    EXPECT_EQ(run(TRVS_PackDel(view, &r, 3, 0, 1, 0)), exec(trvsim::err::kRelated));
    EXPECT_TRUE(exists(3));
    ASSERT_EQ(run(TRVS_PackDel(view, &r, 3, 1, 1, 0)), 0u);
    EXPECT_FALSE(exists(3));
    EXPECT_EQ(packagingOf(2), 0);  // unlinked, the article stays
    EXPECT_EQ(run(TRVS_PackDel(view, &r, 3, 1, 1, 0)), exec(trvsim::err::kNotFound));

    // A new article in a new packaging; deleting by barcode holds the same way.
    ASSERT_EQ(run(TRVS_PackIns(view, &r, 20, "SLOIK", "5900000020008", "30", "0", 0, 0, 0, 0)), 0u);
    ASSERT_EQ(run(TRVS_PLUIns(view, &r, 400, "MIOD", "5900000004008", "1899", "1", 20, 1, 0, 0, 1, 0, 0, 0, 0, 0,
                              0, 0)),
              0u);
    EXPECT_EQ(packagingOf(400), 20);
    EXPECT_EQ(run(TRVS_PackDelByBarcode(view, &r, "5900000020008", 0, 0, 0)), exec(trvsim::err::kRelated));

    // Deleting all: flags 0 keep what an article names, bit 1 takes it too.
    ASSERT_EQ(run(TRVS_PackDelAll(view, &r, 0, 0)), 0u);
    EXPECT_FALSE(exists(1));
    EXPECT_TRUE(exists(20));
    ASSERT_EQ(run(TRVS_PackDelAll(view, &r, 2, 0)), 0u);
    EXPECT_FALSE(exists(20));
    EXPECT_EQ(packagingOf(400), 0);
}
