// The small tables: the statistics readers whose layout depends on the
// answer, the local buffer sizes of the names, and the wire layouts where a
// Word sits between Bytes.
#include <cstring>
#include <string>

#include "test_mirtel_fixture.h"

using namespace mirtel_test;

namespace {

std::vector<V> numerics(int from, int n) {
    std::vector<V> v;
    for (int i = 0; i < n; ++i) v.push_back(V::N(std::to_string(from + i)));
    return v;
}
std::vector<V> operator+(std::vector<V> a, const std::vector<V>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Outputs preset so that one left alone shows.
struct GroupStat {
    unsigned short numer = 0xEEEE;
    char ogolnie[64] = "preset", dni[256] = "preset", miesiace[256] = "preset";
};

std::string lines(int from, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += (i ? "\n" : "") + std::to_string(from + i);
    return s;
}

}  // namespace

class MirtelDict : public MirtelTest {
protected:
    TARVIK_STATUS groupStat(TARVIK_HANDLE h, GroupStat& g) {
        return TRVG_GroupStatRead(h, &g.numer, g.ogolnie, g.dni, g.miesiace);
    }
};

TEST_F(MirtelDict, GroupStatisticsByValueCount) {
    const std::vector<V> head = {V::W(7), V::N("1234")};

    // An older register: the total alone; the lists stay as they were.
    GroupStat a;
    ASSERT_EQ(groupStat(answer(2860, head), a), 0u);
    EXPECT_EQ(a.numer, 7);
    EXPECT_STREQ(a.ogolnie, "1234");
    EXPECT_STREQ(a.dni, "preset");
    EXPECT_STREQ(a.miesiace, "preset");

    // Days of the week, no months.
    GroupStat b;
    ASSERT_EQ(groupStat(answer(2860, head + numerics(10, 7)), b), 0u);
    EXPECT_EQ(b.dni, lines(10, 7));
    EXPECT_STREQ(b.miesiace, "preset");

    // Both lists; null outputs drop their values and the rest still line up.
    GroupStat c;
    ASSERT_EQ(groupStat(answer(2860, head + numerics(10, 7) + numerics(100, 12)), c), 0u);
    EXPECT_EQ(c.dni, lines(10, 7));
    EXPECT_EQ(c.miesiace, lines(100, 12));
    GroupStat d;
    ASSERT_EQ(TRVG_GroupStatRead(answer(2860, head + numerics(10, 7) + numerics(100, 12)), nullptr, nullptr, nullptr,
                                 d.miesiace),
              0u);
    EXPECT_EQ(d.miesiace, lines(100, 12));

    // A list cut short: the pop's failure, the request stays, the list is
    // not written in part.
    for (const auto& cut : {head + numerics(10, 4), head + numerics(10, 7) + numerics(100, 5)}) {
        GroupStat e;
        TARVIK_HANDLE h = answer(2860, cut);
        EXPECT_EQ(groupStat(h, e), TARVIK_STATUS_NOMOREVALUES);
        EXPECT_EQ(e.ogolnie, std::string("1234"));
        EXPECT_STREQ(e.miesiace, "preset");
        EXPECT_EQ(TRV_GetRequestState(h), TARVIK_STATE_COMPLETED);
        EXPECT_EQ(TRVG_Default(h), 0u);
    }
}

TEST_F(MirtelDict, HourlyStatisticsAsThreeColumns) {
    std::vector<V> day;
    std::string values, positions, receipts;
    for (int h = 0; h < 24; ++h) {
        day.push_back(V::N(std::to_string(1000 + h)));
        day.push_back(V::L(static_cast<uint32_t>(h)));
        day.push_back(V::L(static_cast<uint32_t>(50 + h)));
        values += (h ? "\n" : "") + std::to_string(1000 + h);
        positions += (h ? "\n" : "") + std::to_string(h);
        receipts += (h ? "\n" : "") + std::to_string(50 + h);
    }
    char w[256] = "", p[256] = "", r[256] = "";
    ASSERT_EQ(TRVG_HoursStatRead(answer(3700, day), w, p, r), 0u);
    EXPECT_EQ(w, values);
    EXPECT_EQ(p, positions);
    EXPECT_EQ(r, receipts);

    // The texts are copied positions first, then receipts, then values; the
    // first that does not fit ends the call and leaves the later ones alone.
    stringMode(1);
    char w2[256], p2[256], r2[256];
    w2[0] = static_cast<char>(200), strcpy(w2 + 1, "w");
    p2[0] = static_cast<char>(200), strcpy(p2 + 1, "p");
    r2[0] = 10, strcpy(r2 + 1, "r");
    TARVIK_HANDLE h = answer(3700, day);
    EXPECT_EQ(TRVG_HoursStatRead(h, w2, p2, r2), 0x10007u);
    EXPECT_EQ(p2, positions);
    EXPECT_STREQ(r2 + 1, "r");
    EXPECT_STREQ(w2 + 1, "w");
    EXPECT_EQ(TRV_GetRequestState(h), TARVIK_STATE_COMPLETED);
    TRVG_Default(h);
    stringMode(0);

    // 23 hours: nothing is written at all.
    day.resize(day.size() - 3);
    char w3[256] = "preset";
    h = answer(3700, day);
    EXPECT_EQ(TRVG_HoursStatRead(h, w3, nullptr, nullptr), TARVIK_STATUS_NOMOREVALUES);
    EXPECT_STREQ(w3, "preset");
    TRVG_Default(h);
}

TEST_F(MirtelDict, GroupNamesTakeTheLongBufferTheOthersTheShort) {
    const std::string n255(255, 'g'), n63(63, 'u');
    char out[512];
    unsigned char rabat = 0;
    ASSERT_EQ(TRVG_GroupRead(answer(2810, {V::W(1), V::S(n255)}), nullptr, out), 0u);
    EXPECT_EQ(out, n255);
    ASSERT_EQ(TRVG_GroupReadEx(answer(2811, {V::W(1), V::S(n255), V::B(3)}), nullptr, out, &rabat), 0u);
    EXPECT_EQ(rabat, 3);
    ASSERT_EQ(TRVG_GroupReadExEx(answer(2812, {V::W(1), V::S(n255), V::B(3), V::N("1"), V::B(0), V::B(0)}), nullptr,
                                 out, nullptr, nullptr, nullptr, nullptr),
              0u);
    ASSERT_EQ(TRVG_MURead(answer(2610, {V::W(1), V::S(n63), V::S("kg")}), nullptr, out, nullptr), 0u);
    EXPECT_EQ(out, n63);

    // One byte more does not fit the local buffer (even though the caller's
    // would take it): the request stays.
    TARVIK_HANDLE h = answer(2810, {V::W(1), V::S(n255 + "g")});
    EXPECT_EQ(TRVG_GroupRead(h, nullptr, out), TARVIK_STATUS_BUFFERTOOSMALL);
    EXPECT_EQ(TRV_GetRequestState(h), TARVIK_STATE_COMPLETED);
    TRVG_Default(h);
    const std::string n64(64, 'x');
    h = answer(2610, {V::W(1), V::S(n64), V::S("kg")});
    EXPECT_EQ(TRVG_MURead(h, nullptr, out, nullptr), TARVIK_STATUS_BUFFERTOOSMALL);
    TRVG_Default(h);
    h = answer(2910, {V::W(1), V::S("EURO"), V::B(5), V::W(1), V::S(n64), V::N("4")});
    EXPECT_EQ(TRVG_PayformRead(h, nullptr, nullptr, nullptr, nullptr, out, nullptr), TARVIK_STATUS_BUFFERTOOSMALL);
    TRVG_Default(h);
    h = answer(3530, {V::W(1), V::W(104), V::W(0), V::S(n64)});
    EXPECT_EQ(TRVG_ErrMsgRead(h, nullptr, nullptr, nullptr, out), TARVIK_STATUS_BUFFERTOOSMALL);
    TRVG_Default(h);
}

TEST_F(MirtelDict, WordsBetweenBytesAndTheMessageCode) {
    TARVIK_HANDLE r = nullptr;
    ASSERT_EQ(TRVS_PayformIns(view, &r, 4, "EURO", 5, 0x0102, "EUR", "43125", 1, 0, 0), 0u);
    EXPECT_EQ(sent(2900), "V4 S'EURO' B5 V258 S'EUR' N43125 B1 B0");
    TRV_DestroyRequest(r);
    ASSERT_EQ(TRVS_GroupInsExEx(view, &r, 12, "OWOCE", 3, "990", 1, 2, 0, 1, 0), 0u);
    EXPECT_EQ(sent(2802), "V12 S'OWOCE' B3 N990 B1 B2 B0 B1");
    TRV_DestroyRequest(r);
    ASSERT_EQ(TRVS_ErrMsgIns(view, &r, 9, 104, 2, "SPRAWDZ KOD", 0), 0u);
    EXPECT_EQ(sent(3510), "V9 V104 V2 S'SPRAWDZ KOD'");
    TRV_DestroyRequest(r);

    // The message is the fourth parameter.
    EXPECT_EQ(TRVS_ErrMsgIns(view, &r, 9, 104, 2, nullptr, 0), 65798u);
    EXPECT_TRUE(keptUnposted(r));
    TRVG_Default(r);
    EXPECT_TRUE(nothingSent());
}
