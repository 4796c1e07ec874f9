// Clock, VAT rates, register status and control: wire orders and answers.
#include <cstring>

#include "test_mirtel_fixture.h"

using namespace mirtel_test;

class MirtelConfig : public MirtelTest {};

TEST_F(MirtelConfig, DateTimeParametersAndTheirOrder) {
    TARVIK_HANDLE req = nullptr;
    // The clock takes the time first; VAT and maintenance dates come first.
    ASSERT_EQ(TRVS_DateTimeSet(view, nullptr, "2008-03-09 14:05:30", 0), 0u);
    EXPECT_EQ(sent(16), "B14 B5 B30 B9 B3 V2008");
    ASSERT_EQ(TRVS_VATSet(view, nullptr, "2008-03-09 14:05:30", 2300, 800, 500, 0, 0, 0, 0, 0), 0u);
    EXPECT_EQ(sent(21), "B9 B3 V2008 B14 B5 B30 V2300 V800 V500 V0 V0 V0 V0");
    ASSERT_EQ(TRVS_MaintenanceSet(view, nullptr, "2010-12-31", "Serwis 1", 0), 0u);
    EXPECT_EQ(sent(329), "B31 B12 V2010 S'Serwis 1'");

    EXPECT_EQ(TRVS_DateTimeSet(view, &req, "2008-02-30 14:05:30", 0), 0x10103u);
    EXPECT_TRUE(keptUnposted(req));
    EXPECT_EQ(trv::test::objectOf<trv::TRV_Request>(req)->items.Count(), 0);
    TRVG_Default(req);
    EXPECT_EQ(TRVS_DateTimeSet(view, nullptr, nullptr, 0), 0x10103u);
    EXPECT_EQ(TRVS_VATSet(view, nullptr, "2008-03-09", 1, 2, 3, 4, 5, 6, 7, 0), 0x10103u);
    EXPECT_EQ(TRVS_MaintenanceSet(view, nullptr, "2010-12-31", nullptr, 0), 0x10104u);
    EXPECT_EQ(TRVS_CashregParSet(view, nullptr, nullptr, 0), 0x10103u);
    EXPECT_TRUE(nothingSent());
}

TEST_F(MirtelConfig, TimeoutsCarryAFillerByte) {
    ASSERT_EQ(TRVS_TimeoutsSet(view, nullptr, 5, 9, 0), 0u);
    EXPECT_EQ(sent(311), "B5 B0 B9");
    ASSERT_EQ(TRVS_v2_TimeoutsSet(view, nullptr, 5, 9, 1, 600, 0), 0u);
    EXPECT_EQ(sent(311), "B5 B0 B9 B1 V600");

    unsigned char wyl = 0, off = 0, lock = 0;
    unsigned short hour = 0;
    EXPECT_EQ(TRVG_TimeoutsGet(answer(310, {V::B(5), V::B(7), V::B(9)}), &wyl, &off), 0u);
    EXPECT_EQ(wyl, 5);
    EXPECT_EQ(off, 9);
    EXPECT_EQ(TRVG_TimeoutsGetEx(answer(346, {V::B(1), V::B(7), V::B(2), V::B(1), V::W(630)}), &wyl, &off, &lock,
                                 &hour), 0u);
    EXPECT_EQ(std::vector<int>({wyl, off, lock, hour}), std::vector<int>({1, 2, 1, 630}));
}

TEST_F(MirtelConfig, VATRatesAreAllRequired) {
    unsigned short r[7] = {};
    TARVIK_HANDLE h = answer(20, {V::W(2300), V::W(800), V::W(500), V::W(0), V::W(1), V::W(2), V::W(3)});
    EXPECT_EQ(TRVG_VATGet(h, &r[0], &r[1], &r[2], nullptr, &r[4], &r[5], &r[6]), 0x10105u);
    EXPECT_EQ(std::vector<int>(r, r + 4), std::vector<int>({2300, 800, 500, 0}));
    EXPECT_EQ(TRV_GetRequestState(h), TARVIK_STATE_COMPLETED);  // still alive
    EXPECT_EQ(TRVG_Default(h), 0u);

    h = answer(20, {V::W(1), V::W(2), V::W(3), V::W(4), V::W(5), V::W(6), V::W(7)});
    EXPECT_EQ(TRVG_VATGet(h, nullptr, &r[1], &r[2], &r[3], &r[4], &r[5], &r[6]), 0x10102u);
    EXPECT_EQ(TRVG_Default(h), 0u);
    h = answer(20, {V::W(1), V::W(2), V::W(3), V::W(4), V::W(5), V::W(6), V::W(7)});
    EXPECT_EQ(TRVG_VATGet(h, &r[0], &r[1], &r[2], &r[3], &r[4], &r[5], &r[6]), 0u);
    EXPECT_EQ(r[6], 7);
}

TEST_F(MirtelConfig, ClockAndStatusTexts) {
    char t[32], d[32];
    EXPECT_EQ(TRVG_TimeGet(answer(14, {V::B(9), V::B(5), V::B(7)}), t), 0u);
    EXPECT_STREQ(t, "09:05:07");
    EXPECT_EQ(TRVG_DateGet(answer(15, {V::B(9), V::B(3), V::W(2008)}), d), 0u);
    EXPECT_STREQ(d, "2008-03-09");

    unsigned char typ = 0, tryb = 0, tot = 0, nag = 0, trans = 0;
    unsigned short kasjer = 0;
    char numer[64], fisk[32], zegar[32], nip[64], unik[64], wersja[64];
    TARVIK_HANDLE h = answer(501, {V::B(3), V::S("ABC123"), V::W(4), V::B(1), V::B(0), V::B(1), V::B(0),
                                   V::B(1), V::B(2), V::W(2007), V::B(8), V::B(0), V::B(9),
                                   V::B(31), V::B(12), V::W(2009), V::B(23), V::B(59), V::B(58),
                                   V::S("5260001234"), V::S("XYZ"), V::S("1.02")});
    EXPECT_EQ(TRVG_CashRegStatusGet(h, &typ, numer, &kasjer, &tryb, &tot, &nag, &trans, fisk, zegar, nip, unik,
                                    wersja), 0u);
    EXPECT_STREQ(fisk, "2007-02-01 08:00:09");
    EXPECT_STREQ(zegar, "2009-12-31 23:59:58");
    EXPECT_STREQ(wersja, "1.02");
    EXPECT_EQ(kasjer, 4);
}

TEST_F(MirtelConfig, DatabaseStatusJoinsColumns) {
    std::vector<V> values = {V::B(2), V::B(1)};
    for (int i = 0; i < 10; ++i) {
        values.push_back(V::W(static_cast<uint16_t>(100 + i)));
        values.push_back(V::W(0));
    }
    unsigned char typ = 0, tot = 0;
    char sizes[128], counts[128];
    EXPECT_EQ(TRVG_DBStatusGet(answer(502, values), &typ, &tot, sizes, counts), 0u);
    EXPECT_STREQ(sizes, "100\n101\n102\n103\n104\n105\n106\n107\n108\n109");
    EXPECT_STREQ(counts, "0\n0\n0\n0\n0\n0\n0\n0\n0\n0");

    // The extended form wants thirteen pairs; ten are not enough.
    TARVIK_HANDLE h = answer(512, values);
    EXPECT_EQ(TRVG_DBStatusGetEx(h, &typ, &tot, sizes, counts), 0x10008u);
    EXPECT_EQ(TRVG_Default(h), 0u);
}
