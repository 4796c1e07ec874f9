// Cashier statistics: the counts that come before their lists, the time
// texts, the three layouts, and where a reader stops.
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "test_mirtel_fixture.h"

using namespace mirtel_test;

namespace {

// Every output of the statistics readers, preset so that one left alone shows.
struct Stats {
    unsigned short numer = 0xEEEE;
    char rabaty[64] = "preset", narzuty[64] = "preset", logowanie[64] = "preset", wylogowanie[64] = "preset",
         czas[64] = "preset", opak_sprz[64] = "preset", opak_zwr[64] = "preset", wplaty[64] = "preset",
         wyplaty[64] = "preset", sprzedaz[64] = "preset", wart_anul[64] = "preset", wart_storn[64] = "preset",
         wart_autor[64] = "preset";
    unsigned long otwarcia = 99, paragony = 99, anulowane = 99, storna = 99, autoryzacje = 99;
    char numery_form[64] = "preset", kwoty_form[64] = "preset", numery_rab[64] = "preset", kwoty_rab[64] = "preset",
         numery_platn[64] = "preset", kwoty_platn[64] = "preset";
};

// 2001-01-01 01:02:03 and 2001-01-02 03:04:05 as seconds since 2000 (which
// was a leap year), and a day, an hour, a minute and a second of work.
constexpr uint32_t kLogin = 366 * 86400 + 3723, kLogout = 367 * 86400 + 11045, kWork = 90061;

std::vector<V> operator+(std::vector<V> a, const std::vector<V>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The scalar part of a statistics answer with distinct values.
std::vector<V> scalars(bool extended) {
    std::vector<V> v = {V::W(7), V::N("-11"), V::N("12"), V::L(kLogin), V::L(kLogout), V::L(kWork)};
    if (extended) v.push_back(V::L(21));
    v = v + std::vector<V>{V::N("13"), V::N("14"), V::N("15"), V::N("16"), V::N("17"), V::L(22), V::L(23),
                           V::N("18"), V::L(24), V::N("19")};
    if (extended) v = v + std::vector<V>{V::L(25), V::N("20")};
    return v;
}

}  // namespace

class MirtelUser : public MirtelTest {
protected:
    void SetUp() override {
        MirtelTest::SetUp();
        // The login texts are local times.
        setenv("TZ", "UTC", 1);
        tzset();
    }

    TARVIK_STATUS read2560(TARVIK_HANDLE h, Stats& s) {
        return TRVG_UserStatRead(h, &s.numer, s.rabaty, s.narzuty, s.logowanie, s.wylogowanie, s.czas, s.opak_sprz,
                                 s.opak_zwr, s.wplaty, s.wyplaty, s.sprzedaz, &s.paragony, &s.anulowane, s.wart_anul,
                                 &s.storna, s.wart_storn, s.numery_form, s.kwoty_form, s.numery_rab, s.kwoty_rab);
    }
    TARVIK_STATUS read2562(TARVIK_HANDLE h, Stats& s) {
        return TRVG_UserStatReadExEx(h, &s.numer, s.rabaty, s.narzuty, s.logowanie, s.wylogowanie, s.czas,
                                     &s.otwarcia, s.opak_sprz, s.opak_zwr, s.wplaty, s.wyplaty, s.sprzedaz,
                                     &s.paragony, &s.anulowane, s.wart_anul, &s.storna, s.wart_storn, &s.autoryzacje,
                                     s.wart_autor, s.numery_form, s.kwoty_form, s.numery_rab, s.kwoty_rab,
                                     s.numery_platn, s.kwoty_platn);
    }
};

TEST_F(MirtelUser, ShortLayoutWithListsAfterBothCounts) {
    // Two payment forms (1 and 3) and one discount: both counts first.
    Stats s;
    const auto answer2560 = scalars(false) + std::vector<V>{V::B(2), V::B(1), V::W(1), V::N("250"), V::W(3),
                                                            V::N("125"), V::W(40), V::N("-5")};
    ASSERT_EQ(read2560(answer(2560, answer2560), s), 0u);
    EXPECT_EQ(s.numer, 7);
    EXPECT_STREQ(s.rabaty, "-11");
    EXPECT_STREQ(s.narzuty, "12");
    EXPECT_STREQ(s.logowanie, "2001-01-01 01-02-03");
    EXPECT_STREQ(s.wylogowanie, "2001-01-02 03-04-05");
    EXPECT_STREQ(s.czas, "1:01:01:01");
    EXPECT_EQ(std::string(s.opak_sprz) + s.opak_zwr + s.wplaty + s.wyplaty + s.sprzedaz, "1314151617");
    EXPECT_EQ(std::vector<unsigned long>({s.paragony, s.anulowane, s.storna}), std::vector<unsigned long>({22, 23, 24}));
    EXPECT_STREQ(s.wart_anul, "18");
    EXPECT_STREQ(s.wart_storn, "19");
    EXPECT_STREQ(s.numery_form, "1\n3");
    EXPECT_STREQ(s.kwoty_form, "250\n125");
    EXPECT_STREQ(s.numery_rab, "40");
    EXPECT_STREQ(s.kwoty_rab, "-5");
    EXPECT_EQ(s.otwarcia, 99u);  // not in this layout

    // Empty lists give empty texts.
    Stats e;
    ASSERT_EQ(read2560(answer(2560, scalars(false) + std::vector<V>{V::B(0), V::B(0)}), e), 0u);
    EXPECT_EQ(std::string(e.numery_form) + e.kwoty_form + e.numery_rab + e.kwoty_rab, "");

    // A count that promises more pairs than came: the pop's status, request kept.
    TARVIK_HANDLE h = answer(2560, scalars(false) + std::vector<V>{V::B(1), V::B(2), V::W(1), V::N("1"), V::W(2),
                                                                   V::N("2")});
    Stats c;
    EXPECT_EQ(read2560(h, c), 0x10008u);
    EXPECT_STREQ(c.numery_form, "1");  // the first list was complete
    EXPECT_STREQ(c.numery_rab, "preset");
    EXPECT_EQ(TRVG_Default(h), 0u);
}

TEST_F(MirtelUser, ExtendedLayoutsAndPayments) {
    const auto lists = std::vector<V>{V::B(1), V::B(0), V::W(2), V::N("300")};
    Stats s;
    ASSERT_EQ(read2562(answer(2562, scalars(true) + lists + std::vector<V>{V::B(2), V::W(5), V::N("60"), V::W(6),
                                                                            V::N("70")}),
                       s),
              0u);
    EXPECT_EQ(std::vector<unsigned long>({s.otwarcia, s.paragony, s.anulowane, s.storna, s.autoryzacje}),
              std::vector<unsigned long>({21, 22, 23, 24, 25}));
    EXPECT_STREQ(s.sprzedaz, "17");
    EXPECT_STREQ(s.wart_storn, "19");
    EXPECT_STREQ(s.wart_autor, "20");
    EXPECT_STREQ(s.numery_form, "2");
    EXPECT_STREQ(s.kwoty_rab, "");
    EXPECT_STREQ(s.numery_platn, "5\n6");
    EXPECT_STREQ(s.kwoty_platn, "60\n70");

    Stats q;  // no payments
    ASSERT_EQ(read2562(answer(2562, scalars(true) + lists + std::vector<V>{V::B(0)}), q), 0u);
    EXPECT_STREQ(q.numery_platn, "");
    EXPECT_STREQ(q.kwoty_platn, "");

    // 2561: both names of the reader take the same answer, without payments.
    for (auto reader : {TRVG_XEL_UserStatReadEx, TRVG_UserStatReadEx}) {
        Stats x;
        ASSERT_EQ(reader(answer(2561, scalars(true) + lists), &x.numer, nullptr, nullptr, x.logowanie, nullptr,
                         nullptr, &x.otwarcia, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, &x.autoryzacje, x.wart_autor, x.numery_form, x.kwoty_form, nullptr,
                         nullptr),
                  0u);
        EXPECT_STREQ(x.logowanie, "2001-01-01 01-02-03");
        EXPECT_EQ(x.otwarcia, 21u);
        EXPECT_EQ(x.autoryzacje, 25u);
        EXPECT_STREQ(x.kwoty_form, "300");
    }
    // A 2561 answer is not one of 2562.
    TARVIK_HANDLE h = answer(2561, scalars(true) + lists);
    Stats w;
    EXPECT_EQ(read2562(h, w), 0x10005u);
    TRVG_Default(h);
}

TEST_F(MirtelUser, ReaderStopsWhereATextDoesNotFit) {
    stringMode(1);
    const auto values = scalars(false) + std::vector<V>{V::B(2), V::B(0), V::W(1), V::N("250"), V::W(3), V::N("125")};
    // The numbers text "1\n3" needs four bytes: a buffer of four takes it, the
    // amounts text then does not fit a buffer of seven.
    // The other buffers start with 'p', a capacity of 112.
    Stats s;
    s.numery_form[0] = 4;
    s.kwoty_form[0] = 7;
    TARVIK_HANDLE h = answer(2560, values);
    EXPECT_EQ(read2560(h, s), 0x10007u);
    EXPECT_STREQ(s.numery_form, "1\n3");
    EXPECT_EQ(s.kwoty_form[0], 7);  // untouched
    EXPECT_STREQ(s.numery_rab, "preset");  // the reader stopped before it
    EXPECT_EQ(TRVG_Default(h), 0u);

    // A date text needs twenty bytes.
    Stats t;
    t.logowanie[0] = 19;
    h = answer(2560, values);
    EXPECT_EQ(TRVG_UserStatRead(h, &t.numer, nullptr, nullptr, t.logowanie, nullptr, nullptr, nullptr, nullptr,
                                nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                nullptr, nullptr, nullptr),
              0x10007u);
    EXPECT_EQ(t.numer, 7);
    EXPECT_EQ(TRVG_Default(h), 0u);
}
