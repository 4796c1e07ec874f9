// Discounts end to end: the three kinds written and read back, looked up,
// their statistics as the sample journal gives them, automatic discounts,
// deleting with and without related records, and the discounts the
// computer hands over.
#include <string>

#include "mirtel_sim.h"

namespace {

constexpr TARVIK_STATUS exec(uint16_t code) { return TARVIK_STATUS_EXEC_ERROR + code; }

struct Discount {
    unsigned short numer = 0;
    char nazwa[64] = "", wartosci[64] = "", progi[64] = "";
    unsigned char narzuty = 9, rabaty = 9, rodzaj = 9, typ = 9, m = 9, n = 9;
};

}  // namespace

class E2EDiscnt : public trvsim::test::MirtelSimTest {
protected:
    TARVIK_STATUS run(TARVIK_STATUS sent) { return done(r, sent); }
    TARVIK_STATUS release() { return TRVG_Default(r); }

    TARVIK_STATUS read(unsigned short n, Discount& d) {
        if (TARVIK_STATUS st = run(TRVS_DiscntRead(view, &r, n, 0))) return st;
        return TRVG_DiscntRead(r, &d.numer, d.nazwa, &d.narzuty, &d.rabaty, &d.rodzaj, &d.typ, d.wartosci, d.progi,
                               &d.m, &d.n);
    }

    TARVIK_HANDLE r = nullptr;
};

TEST_F(E2EDiscnt, ThreeKindsWrittenAndReadBack) {
    // Standard: a percentage surcharge (type 2 of this register).
    ASSERT_EQ(run(TRVS_StdDiscntIns(view, &r, 10, "NARZUT", 0, 1, "5", 1, 0, 0, 0, 0)), 0u);
    release();
    Discount s;
    ASSERT_EQ(read(10, s), 0u);
    EXPECT_EQ(s.numer, 10);
    EXPECT_STREQ(s.nazwa, "NARZUT");
    EXPECT_EQ(std::vector<int>({s.narzuty, s.rabaty, s.rodzaj, s.typ, s.m}), std::vector<int>({1, 0, 0, 2, 9}));
    EXPECT_STREQ(s.wartosci, "5");

    // Programmed: the register uses as many of the six pairs as the count says.
    ASSERT_EQ(run(TRVS_ProgDiscntIns(view, &r, 11, "PROGI", 1, 0, 2, "100\n250", "1000\n5000", 0, 1, 0, 0, 0)), 0u);
    release();
    Discount p;
    ASSERT_EQ(read(11, p), 0u);
    EXPECT_EQ(std::vector<int>({p.rodzaj, p.typ, p.rabaty}), std::vector<int>({1, 1, 1}));
    EXPECT_STREQ(p.wartosci, "100\n250");
    EXPECT_STREQ(p.progi, "1000\n5000");

    // Promotional M for N; an existing record is rewritten only when asked.
    EXPECT_EQ(run(TRVS_PromoDiscntIns(view, &r, 11, "4 ZA 3", 4, 3, 0, 0, 0, 0, 0)), exec(105));
    release();
    ASSERT_EQ(run(TRVS_PromoDiscntIns(view, &r, 11, "4 ZA 3", 4, 3, 0, 0, 1, 0, 0)), 0u);
    release();
    Discount m;
    ASSERT_EQ(read(11, m), 0u);
    EXPECT_STREQ(m.nazwa, "4 ZA 3");
    EXPECT_EQ(std::vector<int>({m.rodzaj, m.m, m.n, m.typ}), std::vector<int>({2, 4, 3, 9}));
    EXPECT_STREQ(m.wartosci, "");  // left as it was
    EXPECT_EQ(run(TRVS_PromoDiscntIns(view, &r, 12, "ZLE", 2, 3, 0, 0, 0, 0, 0)), exec(103));
    release();

    unsigned short n = 0;
    ASSERT_EQ(run(TRVS_DiscntGetByName(view, &r, "PROMOCJA MLEKO", 0)), 0u);
    ASSERT_EQ(TRVG_DiscntGetByName(r, &n), 0u);
    EXPECT_EQ(n, 5);
    ASSERT_EQ(run(TRVS_DiscntNextFreeGet(view, &r, 4, 0)), 0u);
    ASSERT_EQ(TRVG_DiscntNextFreeGet(r, &n), 0u);
    EXPECT_EQ(n, 7);
}

TEST_F(E2EDiscnt, StatisticsAndDeletingRelatedRecords) {
    // The sample receipts gave 1.50 off with discount 4 and 1.16 with 5.
    unsigned short n = 0;
    char total[32];
    ASSERT_EQ(run(TRVS_DiscntStatRead(view, &r, 5, 1, 0)), 0u);
    ASSERT_EQ(TRVG_DiscntStatRead(r, &n, total), 0u);
    EXPECT_EQ(n, 5);
    EXPECT_STREQ(total, "-116");
    ASSERT_EQ(run(TRVS_DiscntStatRead(view, &r, 5, 0, 0)), 0u);
    ASSERT_EQ(TRVG_DiscntStatRead(r, nullptr, total), 0u);
    EXPECT_STREQ(total, "0");

    // Discount 4 has statistics, discount 5 an automatic discount.
    EXPECT_EQ(run(TRVS_DiscntDel(view, &r, 4, 0, 0, 0)), exec(109));
    release();
    EXPECT_EQ(run(TRVS_DiscntDel(view, &r, 5, 0, 0, 0)), exec(114));
    release();
    ASSERT_EQ(run(TRVS_DiscntDel(view, &r, 5, 1, 0, 0)), 0u);
    release();
    EXPECT_EQ(run(TRVS_AutoDiscntRead(view, &r, 1, 0)), exec(104));  // went with it
    release();

    // Deleting all keeps what has statistics unless asked.
    ASSERT_EQ(run(TRVS_DiscntDelAll(view, &r, 0, 0)), 0u);
    release();
    Discount d;
    ASSERT_EQ(read(4, d), 0u);
    EXPECT_EQ(read(6, d), exec(104));
    release();
    ASSERT_EQ(run(TRVS_DiscntStatClearAll(view, &r, 0)), 0u);
    release();
    ASSERT_EQ(run(TRVS_DiscntDelAll(view, &r, 0, 0)), 0u);
    release();
    EXPECT_EQ(read(4, d), exec(104));
    release();
}

TEST_F(E2EDiscnt, AutomaticDiscounts) {
    ASSERT_EQ(run(TRVS_AutoDiscntInsEx(view, &r, 2, 6, 1, "2010-02-01", "08:00", "2010-02-28", "18:30", 0, 0)), 0u);
    release();
    unsigned short numer = 0, rabat = 0;
    unsigned char rodzaj = 9;
    char dataOd[16], od[16], dataDo[16], doGodz[16];
    ASSERT_EQ(run(TRVS_AutoDiscntReadEx(view, &r, 2, 0)), 0u);
    ASSERT_EQ(TRVG_AutoDiscntReadEx(r, &numer, &rabat, &rodzaj, dataOd, od, dataDo, doGodz), 0u);
    EXPECT_EQ(numer, 2);
    EXPECT_EQ(rabat, 6);
    EXPECT_EQ(rodzaj, 1);
    EXPECT_EQ(std::string(dataOd) + " " + od + " " + dataDo + " " + doGodz, "2010-02-01 08:00 2010-02-28 18:30");

    // Hours alone: every day; the extended answer shows the whole range.
    EXPECT_EQ(run(TRVS_AutoDiscntIns(view, &r, 2, 6, "09:15", "10:45", 0, 0)), exec(105));
    release();
    EXPECT_EQ(run(TRVS_AutoDiscntIns(view, &r, 3, 99, "09:15", "10:45", 0, 0)), exec(104));  // no such discount
    release();
    ASSERT_EQ(run(TRVS_AutoDiscntIns(view, &r, 2, 6, "09:15", "10:45", 1, 0)), 0u);
    release();
    ASSERT_EQ(run(TRVS_AutoDiscntRead(view, &r, 2, 0)), 0u);
    ASSERT_EQ(TRVG_AutoDiscntRead(r, nullptr, &rabat, od, doGodz), 0u);
    EXPECT_EQ(std::string(od) + "-" + doGodz, "09:15-10:45");
    ASSERT_EQ(run(TRVS_AutoDiscntReadEx(view, &r, 2, 0)), 0u);
    ASSERT_EQ(TRVG_AutoDiscntReadEx(r, nullptr, nullptr, &rodzaj, dataOd, nullptr, dataDo, nullptr), 0u);
    EXPECT_EQ(rodzaj, 0);
    EXPECT_EQ(std::string(dataOd) + " " + dataDo, "2000-01-01 2099-12-31");

    ASSERT_EQ(run(TRVS_AutoDiscntNextFreeGet(view, &r, 1, 0)), 0u);
    ASSERT_EQ(TRVG_AutoDiscntNextFreeGet(r, &numer), 0u);
    EXPECT_EQ(numer, 3);
    ASSERT_EQ(run(TRVS_AutoDiscntDel(view, &r, 2, 0)), 0u);
    release();
    EXPECT_EQ(run(TRVS_AutoDiscntDel(view, &r, 2, 0)), exec(104));
    release();
}

TEST_F(E2EDiscnt, DiscountsHandedOverByTheComputer) {
    ASSERT_EQ(run(TRVS_ManualDiscntPCSet(view, &r, 0, "RABAT Z PC", 1, "250", 0, 1, 0)), 0u);
    release();
    reg.withState([](trvsim::State& s) {
        ASSERT_TRUE(s.pcDiscount.has_value());
        EXPECT_EQ(s.pcDiscount->name, "RABAT Z PC");
        EXPECT_EQ(s.pcDiscount->value, 250);
        EXPECT_EQ(s.pcDiscount->withDiscounts, 1);
    });
    EXPECT_EQ(run(TRVS_DBDiscntPCSet(view, &r, 0, 99, 0)), exec(104));
    release();
    ASSERT_EQ(run(TRVS_DBDiscntPCSet(view, &r, 0, 4, 0)), 0u);
    release();
    ASSERT_EQ(run(TRVS_DBDiscntPCSet(view, &r, 17, 99, 0)), 0u);  // the computer's own error
    release();
    reg.withState([](trvsim::State& s) {
        EXPECT_EQ(s.pcDiscount->command, 333);
        EXPECT_EQ(s.pcDiscount->errorCode, 17);
    });
}
