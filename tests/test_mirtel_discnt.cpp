// Discounts: the programmed discount's six threshold pairs, the discount
// answer by kind, and the time and date texts of automatic discounts.
#include <string>

#include "test_mirtel_fixture.h"

using namespace mirtel_test;

namespace {

// Everything TRVG_DiscntRead can hand out, preset so that one left alone shows.
struct Discount {
    unsigned short numer = 0xEEEE;
    char nazwa[64] = "preset", wartosci[64] = "preset", progi[64] = "preset";
    unsigned char narzuty = 99, rabaty = 99, rodzaj = 99, typ = 99, m = 99, n = 99;
};

}  // namespace

class MirtelDiscnt : public MirtelTest {
protected:
    TARVIK_STATUS prog(const char* wartosci, const char* kwoty, TARVIK_HANDLE* req = nullptr, const char* nazwa = "P") {
        return TRVS_ProgDiscntIns(view, req, 9, nazwa, 1, 0, 2, wartosci, kwoty, 3, 4, 5, 6, 0);
    }
    TARVIK_STATUS read(const std::vector<V>& values, Discount& d) {
        return TRVG_DiscntRead(answer(3010, values), &d.numer, d.nazwa, &d.narzuty, &d.rabaty, &d.rodzaj, &d.typ,
                               d.wartosci, d.progi, &d.m, &d.n);
    }
};

TEST_F(MirtelDiscnt, ProgrammedDiscountAlwaysSendsSixPairs) {
    ASSERT_EQ(prog("5\n10", "500\n1000"), 0u);
    EXPECT_EQ(sent(3001), "V9 S'P' B1 B0 B2 N5 N500 N10 N1000 N0 N0 N0 N0 N0 N0 N0 N0 B3 B4 B5 B6");
    ASSERT_EQ(prog("", ""), 0u);
    EXPECT_EQ(sent(3001), "V9 S'P' B1 B0 B2 N0 N0 N0 N0 N0 N0 N0 N0 N0 N0 N0 N0 B3 B4 B5 B6");

    // Too many pairs, lists of unequal length, missing lists: the code of the
    // values (or of the amounts when only they are missing); nothing posted.
    TARVIK_HANDLE req = nullptr;
    EXPECT_EQ(prog("1\n2\n3\n4\n5\n6\n7", "1\n2\n3\n4\n5\n6\n7", &req), 0x10108u);
    EXPECT_TRUE(keptUnposted(req));
    TRVG_Default(req);
    EXPECT_EQ(prog("1\n2", "1\n2\n3"), 0x10108u);
    EXPECT_EQ(prog("1\n2", ""), 0x10108u);
    EXPECT_EQ(prog(nullptr, nullptr), 0x10108u);
    EXPECT_EQ(prog("1", nullptr), 0x10109u);
    // An entry that is no number: the code of its list.
    EXPECT_EQ(prog("1\nx", "1\n2"), 0x10108u);
    EXPECT_EQ(prog("1\n2", "1\nx"), 0x10109u);
    // The first failure wins over a later one.
    EXPECT_EQ(prog(nullptr, "1", nullptr, nullptr), 0x10104u);
    EXPECT_TRUE(nothingSent());
}

TEST_F(MirtelDiscnt, AnswerLayoutFollowsTheKind) {
    const std::vector<V> head = {V::W(4), V::S("RABAT"), V::B(1), V::B(0)};
    auto with = [&](std::vector<V> tail) {
        std::vector<V> v = head;
        v.insert(v.end(), tail.begin(), tail.end());
        return v;
    };

    Discount s;  // standard: type and one value
    ASSERT_EQ(read(with({V::B(0), V::B(1), V::N("150")}), s), 0u);
    EXPECT_EQ(s.numer, 4);
    EXPECT_STREQ(s.nazwa, "RABAT");
    EXPECT_EQ(std::vector<int>({s.narzuty, s.rabaty, s.rodzaj, s.typ, s.m, s.n}),
              std::vector<int>({1, 0, 0, 1, 99, 99}));
    EXPECT_STREQ(s.wartosci, "150");
    EXPECT_STREQ(s.progi, "preset");

    Discount p;  // programmed: type, count, then (value, threshold) pairs
    ASSERT_EQ(read(with({V::B(1), V::B(2), V::B(2), V::N("5"), V::N("500"), V::N("10"), V::N("1000")}), p), 0u);
    EXPECT_EQ(p.typ, 2);
    EXPECT_STREQ(p.wartosci, "5\n10");
    EXPECT_STREQ(p.progi, "500\n1000");
    EXPECT_EQ(p.m, 99);
    Discount p0;
    ASSERT_EQ(read(with({V::B(1), V::B(0), V::B(0)}), p0), 0u);
    EXPECT_STREQ(p0.wartosci, "");
    EXPECT_STREQ(p0.progi, "");

    Discount m;  // promotional: M and N only
    ASSERT_EQ(read(with({V::B(2), V::B(3), V::B(2)}), m), 0u);
    EXPECT_EQ(std::vector<int>({m.rodzaj, m.m, m.n, m.typ}), std::vector<int>({2, 3, 2, 99}));
    EXPECT_STREQ(m.wartosci, "preset");
    EXPECT_STREQ(m.progi, "preset");

    Discount u;  // a kind we do not know: nothing after it
    ASSERT_EQ(read(with({V::B(7)}), u), 0u);
    EXPECT_EQ(std::vector<int>({u.rodzaj, u.typ, u.m}), std::vector<int>({7, 99, 99}));

    // Thresholds that do not fit: the values were copied, the request stays.
    stringMode(1);
    Discount t;
    t.progi[0] = 5;  // "500\n1000" needs nine bytes
    TARVIK_HANDLE h = answer(3010, with({V::B(1), V::B(2), V::B(2), V::N("5"), V::N("500"), V::N("10"), V::N("1000")}));
    EXPECT_EQ(TRVG_DiscntRead(h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, t.wartosci, t.progi, nullptr,
                              nullptr),
              0x10007u);
    EXPECT_STREQ(t.wartosci, "5\n10");
    EXPECT_EQ(TRVG_Default(h), 0u);
}

TEST_F(MirtelDiscnt, AutomaticDiscountTimesAndDates) {
    // Hours and minutes only; seconds are not sent.
    ASSERT_EQ(TRVS_AutoDiscntIns(view, nullptr, 1, 5, "08:00:30", " 9: 5", 1, 0), 0u);
    EXPECT_EQ(sent(3300), "V1 V5 B8 B0 B9 B5 B1");
    ASSERT_EQ(TRVS_AutoDiscntInsEx(view, nullptr, 1, 5, 1, "2010-02-01", "08:00", "2010-12-31", "22:30", 0, 0), 0u);
    EXPECT_EQ(sent(3301), "V1 V5 B1 B1 B2 V2010 B8 B0 B31 B12 V2010 B22 B30 B0");

    EXPECT_EQ(TRVS_AutoDiscntIns(view, nullptr, 1, 5, "25:00", "10:00", 1, 0), 0x10105u);
    EXPECT_EQ(TRVS_AutoDiscntIns(view, nullptr, 1, 5, "08:00", "10:60", 1, 0), 0x10106u);
    EXPECT_EQ(TRVS_AutoDiscntInsEx(view, nullptr, 1, 5, 1, "2010-02-30", "08:00", "2010-12-31", "22:30", 0, 0),
              0x10106u);
    EXPECT_EQ(TRVS_AutoDiscntInsEx(view, nullptr, 1, 5, 1, "2010-02-01", "8", "2010-12-31", "22:30", 0, 0), 0x10107u);
    EXPECT_EQ(TRVS_AutoDiscntInsEx(view, nullptr, 1, 5, 1, "2010-02-01", "08:00", "", "22:30", 0, 0), 0x10108u);
    EXPECT_EQ(TRVS_AutoDiscntInsEx(view, nullptr, 1, 5, 1, "2010-02-01", "08:00", "2010-12-31", "xx", 0, 0), 0x10109u);
    EXPECT_TRUE(nothingSent());

    char od[16], data[16];
    ASSERT_EQ(TRVG_AutoDiscntReadEx(answer(3311, {V::W(1), V::W(5), V::B(0), V::B(1), V::B(2), V::W(2010), V::B(8),
                                                  V::B(0), V::B(31), V::B(12), V::W(2010), V::B(22), V::B(30)}),
                                    nullptr, nullptr, nullptr, data, od, nullptr, nullptr),
              0u);
    EXPECT_STREQ(data, "2010-02-01");
    EXPECT_STREQ(od, "08:00");
}
