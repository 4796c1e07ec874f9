// Fiscal memory records: the type reader and the record reader share one
// request, the record date text, the joined totals.
#include <cstring>

#include "test_mirtel_fixture.h"

using namespace mirtel_test;

namespace {

// Type 1, then a daily record: date, number, receipts, cancelled receipts,
// seven totals, the value of the cancelled receipts and the article changes.
std::vector<V> dailyRecord() {
    std::vector<V> v = {V::W(1), V::B(1), V::B(2), V::W(2008), V::B(9), V::B(5), V::W(7), V::W(30), V::W(2)};
    for (int i = 1; i <= 7; ++i) v.push_back(V::N(std::to_string(111 * i)));
    v.push_back(V::N("250"));
    v.push_back(V::L(70000));
    return v;
}

}  // namespace

using MirtelFiscal = MirtelTest;

TEST_F(MirtelFiscal, TypeThenDailyRecordOnOneRequest) {
    ASSERT_EQ(TRVS_FiscMemRead(view, nullptr, 513, 0), 0u);
    EXPECT_EQ(sent(405), "V513");

    TARVIK_HANDLE h = answer(405, dailyRecord());
    unsigned short typ = 0, numer = 0, paragonow = 0, anulowanych = 0;
    unsigned long zmian = 0;
    char data[32], totals[128], wartosc[64];
    ASSERT_EQ(TRVG_FiscMemReadType(h, &typ), 0u);
    EXPECT_EQ(typ, 1);
    EXPECT_EQ(TRV_GetRequestState(h), TARVIK_STATE_COMPLETED);  // kept for the record reader
    ASSERT_EQ(TRVG_FiscMemReadDaily(h, data, &numer, &paragonow, &anulowanych, totals, wartosc, &zmian), 0u);
    EXPECT_STREQ(data, "2008-02-01 09:05");
    EXPECT_EQ(numer, 7);
    EXPECT_EQ(paragonow, 30);
    EXPECT_EQ(anulowanych, 2);
    EXPECT_STREQ(totals, "111\n222\n333\n444\n555\n666\n777");
    EXPECT_STREQ(wartosc, "250");
    EXPECT_EQ(zmian, 70000u);

    // Without an output for the totals they are still taken: the values
    // after them land where they belong.
    h = answer(405, dailyRecord());
    ASSERT_EQ(TRVG_FiscMemReadType(h, nullptr), 0u);
    zmian = 0;
    ASSERT_EQ(TRVG_FiscMemReadDaily(h, nullptr, nullptr, nullptr, nullptr, nullptr, wartosc, &zmian), 0u);
    EXPECT_STREQ(wartosc, "250");
    EXPECT_EQ(zmian, 70000u);

    // A record reader without the type reader first reads the type Word as
    // the day Byte: the request stays for TRVG_Default.
    h = answer(405, dailyRecord());
    EXPECT_EQ(TRVG_FiscMemReadDaily(h, data, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
              TARVIK_STATUS_BADDATA);  // a Word where a Byte was asked for
    EXPECT_EQ(TRVG_Default(h), 0u);
}

TEST_F(MirtelFiscal, TypeReaderChecksTheCommandAndDatesNeedSeventeenBytes) {
    TARVIK_HANDLE h = answer(403, {V::W(1), V::W(4)});
    unsigned short typ = 9;
    EXPECT_EQ(TRVG_FiscMemReadType(h, &typ), 0x10005u);
    EXPECT_EQ(typ, 9);
    EXPECT_EQ(TRVG_Default(h), 0u);

    // "YYYY-MM-DD HH:MM" is 16 characters and its NUL.
    const std::vector<V> fiscalisation = {V::W(2), V::B(31), V::B(12), V::W(2009), V::B(23), V::B(59),
                                          V::S("5250001009")};
    stringMode(1);
    char data[32] = {16}, nip[64] = {64};
    h = answer(405, fiscalisation);
    ASSERT_EQ(TRVG_FiscMemReadType(h, &typ), 0u);
    EXPECT_EQ(TRVG_FiscMemReadFiscal(h, data, nip), 0x10007u);
    EXPECT_EQ(TRV_GetRequestState(h), TARVIK_STATE_COMPLETED);
    EXPECT_EQ(TRVG_Default(h), 0u);

    data[0] = 17;
    h = answer(405, fiscalisation);
    ASSERT_EQ(TRVG_FiscMemReadType(h, &typ), 0u);
    ASSERT_EQ(TRVG_FiscMemReadFiscal(h, data, nip), 0u);
    EXPECT_STREQ(data, "2009-12-31 23:59");
    EXPECT_STREQ(nip, "5250001009");
}
