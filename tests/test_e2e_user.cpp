// Cashiers end to end: users written in each layout and read back, looked
// up and deleted; their statistics as the sample journal gives them; the
// remote login against the register's password.
#include <cstdlib>
#include <ctime>
#include <string>

#include "mirtel_sim.h"

namespace {

constexpr TARVIK_STATUS exec(uint16_t code) { return TARVIK_STATUS_EXEC_ERROR + code; }

struct User {
    unsigned short numer = 0;
    char nazwa[64] = "", haslo[64] = "", karta[64] = "", pin[64] = "", limit[64] = "";
    unsigned short prawa16 = 0;
    unsigned long prawa = 0;
    unsigned char raporty = 0, klawisze = 0;
};

}  // namespace

class E2EUser : public trvsim::test::MirtelSimTest {
protected:
    // Sends, waits, and hands the request to the reader (or frees it).
    TARVIK_STATUS run(TARVIK_STATUS sent) { return done(r, sent); }
    TARVIK_STATUS release() { return TRVG_Default(r); }

    TARVIK_STATUS readExEx(unsigned short n, User& u) {
        if (TARVIK_STATUS st = run(TRVS_UserReadExEx(view, &r, n, 0))) return st;
        return TRVG_UserReadExEx(r, &u.numer, u.nazwa, u.haslo, u.karta, u.pin, &u.prawa, &u.raporty, &u.klawisze,
                                 u.limit);
    }

    TARVIK_HANDLE r = nullptr;
};

TEST_F(E2EUser, UsersWrittenReadLookedUpAndDeleted) {
    // Long rights come back whole from 2512 and cut to 16 bits from 2510.
    ASSERT_EQ(run(TRVS_UserInsExEx(view, &r, 7, "EWA", "pass7", "CARD7", "0707", 0x12345, 3, 5, "50000", 0, 0, 0)), 0u);
    release();
    User u;
    ASSERT_EQ(readExEx(7, u), 0u);
    EXPECT_EQ(u.numer, 7);
    EXPECT_EQ(std::string(u.nazwa) + "|" + u.haslo + "|" + u.karta + "|" + u.pin, "EWA|pass7|CARD7|0707");
    EXPECT_EQ(u.prawa, 0x12345ul);
    EXPECT_EQ(u.raporty, 3);
    EXPECT_EQ(u.klawisze, 5);
    EXPECT_STREQ(u.limit, "50000");
    ASSERT_EQ(run(TRVS_UserRead(view, &r, 7, 0)), 0u);
    ASSERT_EQ(TRVG_UserRead(r, nullptr, nullptr, nullptr, nullptr, nullptr, &u.prawa16, nullptr, nullptr), 0u);
    EXPECT_EQ(u.prawa16, 0x2345);

    // Overwriting needs its flag; 2500 carries no limit and keeps the old one.
    EXPECT_EQ(run(TRVS_UserIns(view, &r, 7, "EWA K", "p", "", "1", 0x0F, 1, 1, 0, 0, 0)), exec(105));
    release();
    ASSERT_EQ(run(TRVS_UserIns(view, &r, 7, "EWA K", "p", "", "1", 0x0F, 1, 1, 1, 0, 0)), 0u);
    release();
    ASSERT_EQ(run(TRVS_XEL_UserReadEx(view, &r, 7, 0)), 0u);
    ASSERT_EQ(TRVG_XEL_UserReadEx(r, nullptr, u.nazwa, nullptr, nullptr, nullptr, &u.prawa16, nullptr, nullptr,
                                  u.limit),
              0u);
    EXPECT_STREQ(u.nazwa, "EWA K");
    EXPECT_EQ(u.prawa16, 0x0F);
    EXPECT_STREQ(u.limit, "50000");
    ASSERT_EQ(run(TRVS_UserInsEx(view, &r, 8, "OLA", "", "", "", 1, 0, 0, "0", 0, 0, 0)), 0u);
    release();
    ASSERT_EQ(run(TRVS_UserReadEx(view, &r, 8, 0)), 0u);
    ASSERT_EQ(TRVG_UserReadEx(r, &u.numer, u.nazwa, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
              0u);
    EXPECT_STREQ(u.nazwa, "OLA");
    ASSERT_EQ(run(TRVS_XEL_UserInsEx(view, &r, 33, "X", "", "", "", 1, 0, 0, "0", 0, 0, 0)), exec(103));  // beyond 32
    release();

    // Looking up: by name, and the first free number from a start.
    unsigned short n = 0;
    ASSERT_EQ(run(TRVS_UserGetByName(view, &r, "OLA", 0)), 0u);
    ASSERT_EQ(TRVG_UserGetByName(r, &n), 0u);
    EXPECT_EQ(n, 8);
    ASSERT_EQ(run(TRVS_UserNextFreeGet(view, &r, 7, 0)), 0u);
    ASSERT_EQ(TRVG_UserNextFreeGet(r, &n), 0u);
    EXPECT_EQ(n, 9);

    // Deleting: one, then all those without statistics (the sample cashiers stay).
    ASSERT_EQ(run(TRVS_UserDel(view, &r, 8, 0, 0)), 0u);
    release();
    EXPECT_EQ(readExEx(8, u), exec(104));
    release();
    ASSERT_EQ(run(TRVS_UserDelAll(view, &r, 0, 0)), 0u);
    release();
    EXPECT_EQ(readExEx(7, u), exec(104));
    release();
    ASSERT_EQ(readExEx(1, u), 0u);
    EXPECT_STREQ(u.nazwa, "ANNA");
    ASSERT_EQ(run(TRVS_UserDelAll(view, &r, 1, 0)), 0u);
    release();
    EXPECT_EQ(readExEx(1, u), exec(104));
    release();
}

TEST_F(E2EUser, StatisticsAgreeWithTheSaleJournal) {
    setenv("TZ", "UTC", 1);
    tzset();
    // ANNA sold two receipts (22.28 cash; 10.00 in euro, 50.00 cashback) and
    // had one cancelled; discounts 4 and 5 were given on her receipts.
    char first[32], logout[32], work[32], packs[16], cashIn[16], sales[16], cancelled[16], voided[16];
    char forms[32], formAmounts[32], discounts[32], discountAmounts[32], payments[32], paymentAmounts[32];
    unsigned long openings = 0, receipts = 0, cancels = 0, voids = 0, auths = 9;
    unsigned short n = 0;
    ASSERT_EQ(run(TRVS_UserStatReadExEx(view, &r, 1, 0, 0)), 0u);
    ASSERT_EQ(TRVG_UserStatReadExEx(r, &n, nullptr, nullptr, first, logout, work, &openings, packs, nullptr, cashIn,
                                    nullptr, sales, &receipts, &cancels, cancelled, &voids, voided, &auths, nullptr,
                                    forms, formAmounts, discounts, discountAmounts, payments, paymentAmounts),
              0u);
    EXPECT_EQ(n, 1);
    EXPECT_STREQ(first, "2009-03-05 08-55-00");
    EXPECT_STREQ(logout, "2009-03-05 11-00-00");
    EXPECT_STREQ(work, "0:02:05:00");
    EXPECT_STREQ(packs, "100");
    EXPECT_STREQ(cashIn, "20000");
    EXPECT_STREQ(sales, "3228");
    EXPECT_EQ(std::vector<unsigned long>({openings, receipts, cancels, voids, auths}),
              std::vector<unsigned long>({2, 2, 1, 1, 0}));
    EXPECT_STREQ(cancelled, "350");
    EXPECT_STREQ(voided, "350");
    EXPECT_STREQ(forms, "1\n2");
    EXPECT_STREQ(formAmounts, "2228\n1000");
    EXPECT_STREQ(discounts, "4\n5");
    EXPECT_STREQ(discountAmounts, "-150\n-116");
    EXPECT_STREQ(payments, "3");
    EXPECT_STREQ(paymentAmounts, "5000");

    // The manager authorised the cancellation; 2561 answers the last login.
    char last[32], authValue[16];
    ASSERT_EQ(run(TRVS_XEL_UserStatReadEx(view, &r, 2, 0, 0)), 0u);
    ASSERT_EQ(TRVG_XEL_UserStatReadEx(r, nullptr, nullptr, nullptr, last, nullptr, nullptr, nullptr, nullptr, nullptr,
                                      nullptr, nullptr, nullptr, &receipts, nullptr, nullptr, nullptr, nullptr, &auths,
                                      authValue, forms, nullptr, nullptr, nullptr),
              0u);
    EXPECT_STREQ(last, "2009-03-05 09-18-00");
    EXPECT_EQ(auths, 1u);
    EXPECT_STREQ(authValue, "350");
    EXPECT_EQ(receipts, 0u);
    EXPECT_STREQ(forms, "");

    // A cashier with statistics is deleted only when asked to; reading with
    // the clearing flag leaves nothing to count.
    EXPECT_EQ(run(TRVS_UserDel(view, &r, 1, 0, 0)), exec(109));
    release();
    ASSERT_EQ(run(TRVS_UserStatRead(view, &r, 1, 1, 0)), 0u);
    ASSERT_EQ(TRVG_UserStatRead(r, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                nullptr, sales, &receipts, nullptr, nullptr, nullptr, nullptr, forms, nullptr, nullptr,
                                nullptr),
              0u);
    EXPECT_STREQ(sales, "3228");
    ASSERT_EQ(run(TRVS_UserStatReadEx(view, &r, 1, 0, 0)), 0u);
    ASSERT_EQ(TRVG_UserStatReadEx(r, nullptr, nullptr, nullptr, first, nullptr, work, nullptr, nullptr, nullptr,
                                  nullptr, nullptr, sales, &receipts, nullptr, nullptr, nullptr, nullptr, nullptr,
                                  nullptr, forms, nullptr, discounts, nullptr),
              0u);
    EXPECT_STREQ(sales, "0");
    EXPECT_EQ(receipts, 0u);
    EXPECT_STREQ(first, "2000-01-01 00-00-00");
    EXPECT_STREQ(work, "0:00:00:00");
    EXPECT_EQ(std::string(forms) + discounts, "");
    ASSERT_EQ(run(TRVS_UserDel(view, &r, 1, 0, 0)), 0u);
    release();

    // A receipt recorded now counts too; clearing all starts afresh.
    trvsim::Values line, end;
    line.word(1).str("GOTOWKA").byte(0).num(500).str("").str("KASA 1").str("KIEROWNIK").word(2);
    end.dword(60).dateHM(trvsim::DateTime{2009, 3, 5, 12, 0, 0}).str("KASA 1").str("KIEROWNIK").word(2).num(500)
        .num(500).dword(1060);
    reg.addJournalRecord({trvsim::journal::kPayment, line.items});
    reg.addJournalRecord({trvsim::journal::kFinished, end.items});
    ASSERT_EQ(run(TRVS_UserStatReadEx(view, &r, 2, 0, 0)), 0u);
    ASSERT_EQ(TRVG_UserStatReadEx(r, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                  nullptr, nullptr, sales, &receipts, nullptr, nullptr, nullptr, nullptr, nullptr,
                                  nullptr, forms, formAmounts, nullptr, nullptr),
              0u);
    EXPECT_STREQ(sales, "500");
    EXPECT_EQ(receipts, 1u);
    EXPECT_STREQ(formAmounts, "500");
    ASSERT_EQ(run(TRVS_UserStatClearAll(view, &r, 0, 0)), 0u);
    release();
    ASSERT_EQ(run(TRVS_UserDel(view, &r, 2, 0, 0)), 0u);  // nothing left to keep it
    release();
}

TEST_F(E2EUser, RemoteLoginChecksTheRegistersPassword) {
    EXPECT_EQ(run(TRVS_RemoteLogin(view, &r, "0000", 0)), exec(120));
    release();
    ASSERT_EQ(run(TRVS_RemoteLogin(view, &r, "1234", 0)), 0u);
    release();
    ASSERT_EQ(run(TRVS_RemoteLoginParamSet(view, &r, 3, "nowe haslo", 0)), 0u);
    release();
    unsigned char flagi = 0;
    char haslo[64];
    ASSERT_EQ(run(TRVS_RemoteLoginParamGet(view, &r, 0)), 0u);
    ASSERT_EQ(TRVG_RemoteLoginParamGet(r, &flagi, haslo), 0u);
    EXPECT_EQ(flagi, 3);
    EXPECT_STREQ(haslo, "nowe haslo");
    ASSERT_EQ(run(TRVS_RemoteLogout(view, &r, 0)), 0u);
    release();
    EXPECT_EQ(run(TRVS_RemoteLogin(view, &r, "1234", 0)), exec(120));
    release();
    ASSERT_EQ(run(TRVS_RemoteLogin(view, &r, "nowe haslo", 0)), 0u);
    release();
    reg.withState([](trvsim::State& s) { EXPECT_TRUE(s.remoteLoggedIn); });
}
