// Hotkeys end to end: keys of every action kind programmed through the public
// API, read back in two steps from the simulated register, overwritten,
// deleted, and the free keys walked.
#include <string>

#include "mirtel_sim.h"

using E2EHotkey = trvsim::test::MirtelSimTest;

namespace {
constexpr TARVIK_STATUS exec(uint16_t code) { return TARVIK_STATUS_EXEC_ERROR + code; }
}  // namespace

class Hotkeys : public E2EHotkey {
protected:
    // Runs a sending call that has no reader and releases its request.
    TARVIK_STATUS run(TARVIK_HANDLE& r, TARVIK_STATUS sent) {
        const TARVIK_STATUS st = done(r, sent);
        EXPECT_EQ(TRVG_Default(r), 0u);
        return st;
    }
    // Asks for a key and reads its number and type; the request stays for
    // the action's reader.
    TARVIK_HANDLE read(uint16_t key, uint16_t& type) {
        TARVIK_HANDLE r = nullptr;
        unsigned short numer = 0;
        EXPECT_EQ(done(r, TRVS_HotkeyRead(view, &r, key, 0)), 0u);
        EXPECT_EQ(TRVG_HotkeyReadGetType(r, &numer, &type), 0u);
        EXPECT_EQ(numer, key);
        return r;
    }
    uint16_t nextFree(uint16_t from) {
        TARVIK_HANDLE r = nullptr;
        unsigned short numer = 0;
        EXPECT_EQ(done(r, TRVS_HotkeyNextFreeGet(view, &r, from, 0)), 0u);
        EXPECT_EQ(TRVG_HotkeyNextFreeGet(r, &numer), 0u);
        return numer;
    }
    TARVIK_HANDLE r = nullptr;
};

TEST_F(Hotkeys, ActionKeysReadBackAsProgrammed) {
    // The sample keys: 1 sells article 1.
    uint16_t type = 0;
    unsigned short plu = 0;
    char ilosc[32] = "";
    unsigned char platnosc = 9, wazony = 9, numer = 0, tryb = 0;
    ASSERT_EQ(TRVG_v2_HotkeyReadGetQuickSale(read(1, type), &plu, ilosc, &platnosc, &wazony), 0u);
    EXPECT_EQ(type, trvsim::hotkey::kQuickSale);
    EXPECT_EQ(plu, 1);

    ASSERT_EQ(run(r, TRVS_HotkeyDelAll(view, &r, 0)), 0u);
    EXPECT_EQ(nextFree(0), 1);
    ASSERT_EQ(run(r, TRVS_HotkeyPLUIns(view, &r, 1, 2, "3", 1, 0, 0)), 0u);
    ASSERT_EQ(run(r, TRVS_HotkeyPLUInsEx(view, &r, 2, 300, "1500", 2, 0, 1, 0)), 0u);
    ASSERT_EQ(run(r, TRVS_HotkeyPackIns(view, &r, 3, 3, "6", 1, 0, 0)), 0u);
    ASSERT_EQ(run(r, TRVS_HotkeyDiscntIns(view, &r, 4, 7, 0, 0)), 0u);
    ASSERT_EQ(run(r, TRVS_HotkeyFormIns(view, &r, 5, 2, 0, 0)), 0u);
    ASSERT_EQ(run(r, TRVS_HotkeyCurrencyIns(view, &r, 6, 3, 0, 0)), 0u);
    ASSERT_EQ(run(r, TRVS_HotkeyFuncIns(view, &r, 7, 12, 0x01020304ul, 0, 0)), 0u);
    ASSERT_EQ(run(r, TRVS_HotkeyRepSetIns(view, &r, 8, 4, 0, 0)), 0u);

    // Quick sale without and with the weighed-article flag: the short reader
    // takes either answer.
    ASSERT_EQ(TRVG_HotkeyReadGetQuickSale(read(1, type), &plu, ilosc, &platnosc), 0u);
    EXPECT_EQ(type, trvsim::hotkey::kQuickSale);
    EXPECT_EQ(plu, 2);
    EXPECT_STREQ(ilosc, "3");
    EXPECT_EQ(platnosc, 1);
    ASSERT_EQ(TRVG_HotkeyReadGetQuickSale(read(2, type), &plu, ilosc, &platnosc), 0u);
    EXPECT_EQ(plu, 300);
    ASSERT_EQ(TRVG_v2_HotkeyReadGetQuickSale(read(2, type), &plu, ilosc, &platnosc, &wazony), 0u);
    EXPECT_STREQ(ilosc, "1500");
    EXPECT_EQ(platnosc, 2);
    EXPECT_EQ(wazony, 1);

    ASSERT_EQ(TRVG_HotkeyReadGetPack(read(3, type), &numer, ilosc, &tryb), 0u);
    EXPECT_EQ(type, trvsim::hotkey::kPackaging);
    EXPECT_EQ(numer, 3);
    EXPECT_STREQ(ilosc, "6");
    EXPECT_EQ(tryb, 1);
    ASSERT_EQ(TRVG_HotkeyReadGetDiscount(read(4, type), &numer), 0u);
    EXPECT_EQ(type, trvsim::hotkey::kDiscount);
    EXPECT_EQ(numer, 7);
    ASSERT_EQ(TRVG_HotkeyReadGetPayform(read(5, type), &numer), 0u);
    EXPECT_EQ(type, trvsim::hotkey::kPayment);
    EXPECT_EQ(numer, 2);
    ASSERT_EQ(TRVG_HotkeyReadGetCurrency(read(6, type), &numer), 0u);
    EXPECT_EQ(type, trvsim::hotkey::kCurrency);
    EXPECT_EQ(numer, 3);
    unsigned long port = 0;
    ASSERT_EQ(TRVG_HotkeyReadGetFunction(read(7, type), &numer, &port), 0u);
    EXPECT_EQ(type, trvsim::hotkey::kFunction);
    EXPECT_EQ(numer, 12);
    EXPECT_EQ(port, 0x01020304ul);
    ASSERT_EQ(TRVG_HotkeyReadGetRepSet(read(8, type), &plu), 0u);
    EXPECT_EQ(type, trvsim::hotkey::kReportSet);
    EXPECT_EQ(plu, 4);

    // Overwriting needs the flag; a number the answer cannot carry is refused.
    EXPECT_EQ(run(r, TRVS_HotkeyDiscntIns(view, &r, 4, 8, 0, 0)), exec(trvsim::err::kExists));
    ASSERT_EQ(run(r, TRVS_HotkeyDiscntIns(view, &r, 4, 8, 1, 0)), 0u);
    ASSERT_EQ(TRVG_HotkeyReadGetDiscount(read(4, type), &numer), 0u);
    EXPECT_EQ(numer, 8);
    EXPECT_EQ(run(r, TRVS_HotkeyFormIns(view, &r, 9, 256, 0, 0)), exec(trvsim::err::kBadValue));
    EXPECT_EQ(run(r, TRVS_HotkeyFormIns(view, &r, 0, 1, 0, 0)), exec(trvsim::err::kBadValue));
}

TEST_F(Hotkeys, ReportKeysAndTheWalkOverFreeKeys) {
    ASSERT_EQ(run(r, TRVS_HotkeyDelAll(view, &r, 0)), 0u);
    ASSERT_EQ(run(r, TRVS_HotkeyRepPLUByRecRangeIns(view, &r, 10, 1, 2, 3, 100, 200, 0, 0)), 0u);
    ASSERT_EQ(run(r, TRVS_HotkeyRepPLUByVATIns(view, &r, 11, 1, 2, 4, 5, 0, 0)), 0u);
    ASSERT_EQ(run(r, TRVS_HotkeyRepMUIns(view, &r, 12, 33, 0, 0)), 0u);
    ASSERT_EQ(run(r, TRVS_HotkeyRepRepSetIns(view, &r, 13, 6, 0, 0)), 0u);
    ASSERT_EQ(run(r, TRVS_HotkeyRepFskDailyIns(view, &r, 14, 0, 0)), 0u);
    ASSERT_EQ(run(r, TRVS_HotkeyRepInactivePLUIns(view, &r, 15, "2009-03-05", 0, 0)), 0u);
    EXPECT_EQ(run(r, TRVS_HotkeyRepInactivePLUIns(view, &r, 16, "1900-03-05", 0, 0)), exec(trvsim::err::kBadValue));

    struct Expect {
        uint16_t key, report;
        uint8_t range, kind;
        unsigned short from, to;
    };
    for (const Expect& e : {Expect{10, 3402, 3, 2, 100, 200}, Expect{11, 3403, 4, 4, 5, 5},
                            Expect{12, 3414, 0, 1, 33, 33}, Expect{13, 3416, 0, 7, 6, 6},
                            Expect{14, 3465, 0, 0, 999, 999}, Expect{15, 3460, 0, 0, 999, 999}}) {
        SCOPED_TRACE(e.key);
        uint16_t type = 0;
        unsigned short raport = 0, od = 999, do_ = 999;
        unsigned char zakres = 9, rekordy = 9;
        ASSERT_EQ(TRVG_HotkeyReadGetReport(read(e.key, type), &raport, &zakres, &rekordy, &od, &do_), 0u);
        EXPECT_EQ(type, trvsim::hotkey::kReport);
        EXPECT_EQ(raport, e.report);
        EXPECT_EQ(zakres, e.range);
        EXPECT_EQ(rekordy, e.kind);
        EXPECT_EQ(od, e.from);
        EXPECT_EQ(do_, e.to);
    }

    // The walk skips programmed keys; a deleted key is free again and no
    // longer reads.
    EXPECT_EQ(nextFree(10), 16);
    EXPECT_EQ(nextFree(1), 1);
    ASSERT_EQ(run(r, TRVS_HotkeyDel(view, &r, 12, 0)), 0u);
    EXPECT_EQ(nextFree(10), 12);
    EXPECT_EQ(run(r, TRVS_HotkeyDel(view, &r, 12, 0)), exec(trvsim::err::kNotFound));
    ASSERT_EQ(done(r, TRVS_HotkeyRead(view, &r, 12, 0)), exec(trvsim::err::kNotFound));
    EXPECT_EQ(TRVG_HotkeyReadGetType(r, nullptr, nullptr), exec(trvsim::err::kNotFound));
    EXPECT_EQ(TRVG_Default(r), 0u);

    // A full table has no free key.
    reg.withState([](trvsim::State& s) { s.hotkeyCapacity = 16; });
    ASSERT_EQ(run(r, TRVS_HotkeyRepCashRegIns(view, &r, 16, 0, 0)), 0u);
    ASSERT_EQ(done(r, TRVS_HotkeyNextFreeGet(view, &r, 16, 0)), exec(trvsim::err::kFull));
    EXPECT_EQ(TRVG_Default(r), 0u);
}
