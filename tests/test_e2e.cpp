// The whole stack end to end: the exported functions of both libraries over
// a real TCP device against the simulated register on loopback.
#include <gtest/gtest.h>
#include <semaphore.h>

#include <cstring>
#include <set>
#include <string>

#include "mirtel_sim.h"
#include "tarvik/mirtel.h"
#include "tarvik/tarvik.h"

using E2E = trvsim::test::MirtelSimTest;

TEST_F(E2E, ArticlesWithBarcodesReadBackByNumberAndBarcode) {
    TARVIK_HANDLE r = nullptr;
    ASSERT_EQ(done(r, TRVS_PLUIns(view, &r, 300, "SER GOUDA", "5900000003001", "2599", "2", 0, 1, 0, 3, 1, 0, 0, 1,
                                  0, 0, 0, 0)),
              0u);
    EXPECT_EQ(TRVG_Default(r), 0u);
    ASSERT_EQ(done(r, TRVS_BarcodeIns(view, &r, 300, "2000000003004\n2000000003011", 0)), 0u);
    TRVG_Default(r);
    ASSERT_TRUE(reg.article(300).has_value());
    EXPECT_EQ(reg.article(300)->barcodes.size(), 2u);

    unsigned short number = 0;
    unsigned char type = 9, vat = 9;
    char name[64], code[64], price[32], barcodes[256];
    ASSERT_EQ(done(r, TRVS_PLURead(view, &r, 300, 1, 0)), 0u);
    ASSERT_EQ(TRVG_PLURead(r, &number, name, code, price, nullptr, &type, nullptr, nullptr, &vat, nullptr, nullptr,
                           nullptr, nullptr, nullptr, barcodes),
              0u);
    EXPECT_EQ(number, 300);
    EXPECT_STREQ(name, "SER GOUDA");
    EXPECT_STREQ(code, "5900000003001");
    EXPECT_STREQ(price, "2599");
    EXPECT_EQ(type, 0);
    EXPECT_EQ(vat, 1);
    EXPECT_STREQ(barcodes, "2000000003004\n2000000003011");

    char asked[] = "2000000003011";  // an additional barcode finds the article too
    ASSERT_EQ(done(r, TRVS_PLUReadByBarcode(view, &r, asked, 0, 0)), 0u);
    ASSERT_EQ(TRVG_PLUReadByBarcode(r, nullptr, name, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
              0u);
    EXPECT_STREQ(name, "SER GOUDA");

    // A missing record: the register's error reaches the caller, the request stays.
    EXPECT_EQ(done(r, TRVS_PLURead(view, &r, 4000, 0, 0)) & 0xFFFF0000u, 0x430000u);
    EXPECT_NE(TRVG_PLURead(r, &number, name, code, price, nullptr, &type, nullptr, nullptr, &vat, nullptr, nullptr,
                           nullptr, nullptr, nullptr, barcodes),
              0u);
    EXPECT_EQ(TRVG_Default(r), 0u);
}

TEST_F(E2E, ClockAndVatRates) {
    TARVIK_HANDLE r = nullptr;
    ASSERT_EQ(done(r, TRVS_DateTimeSet(view, &r, "2008-03-09 14:05:30", 0)), 0u);
    TRVG_Default(r);
    trvsim::DateTime c = reg.clock();  // the register's clock runs on
    EXPECT_LE(c.second - 30, 2);
    c.second = 30;
    EXPECT_EQ(c, (trvsim::DateTime{2008, 3, 9, 14, 5, 30}));
    char date[16], time[16];
    ASSERT_EQ(done(r, TRVS_DateGet(view, &r, 0)), 0u);
    ASSERT_EQ(TRVG_DateGet(r, date), 0u);
    EXPECT_STREQ(date, "2008-03-09");
    ASSERT_EQ(done(r, TRVS_TimeGet(view, &r, 0)), 0u);
    ASSERT_EQ(TRVG_TimeGet(r, time), 0u);
    EXPECT_EQ(std::string(time).substr(0, 5), "14:05");
    EXPECT_EQ(TRVS_DateTimeSet(view, &r, "2008-02-30 14:05:30", 0), 0x10103u);  // nothing posted
    TRVG_Default(r);

    ASSERT_EQ(done(r, TRVS_VATSet(view, &r, "2026-01-01 00:00:00", 2300, 800, 500, 0, 10000, 10001, 10001, 0)), 0u);
    TRVG_Default(r);
    unsigned short v[7] = {};
    ASSERT_EQ(done(r, TRVS_VATGet(view, &r, 0)), 0u);
    ASSERT_EQ(TRVG_VATGet(r, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]), 0u);
    EXPECT_EQ(v[0], 2300);
    EXPECT_EQ(v[1], 800);
    EXPECT_EQ(v[6], 10001);
}

TEST_F(E2E, SaleJournalRecordsArriveInTheSalesQueue) {
    std::set<unsigned short> types;
    unsigned short next = 1;
    for (int i = 0; next > 0 && i < 40; ++i) {
        ASSERT_EQ(TRVS_SaleRecGet(view, nullptr, i == 0 ? 1 : 0, 0), 0u);
        TARVIK_HANDLE rec = TRV_PopSalesQueue(view, 5000);
        ASSERT_NE(rec, nullptr);
        EXPECT_EQ(TRV_GetResponseCount(view), 0u);  // never the input queue
        unsigned char full = 0;
        unsigned short type = 0;
        ASSERT_EQ(TRVG_SaleRecGetType(rec, &full, &next, &type), 0u);
        types.insert(type);
        TARVIK_STATUS st = 0;
        char a[256], b[256], c[256], d[256];
        unsigned short w = 0;
        unsigned char byte = 0;
        unsigned long l = 0;
        switch (type) {
        case 1:
            st = TRVG_SaleRecGetFiscal(rec, a, &w, &w, &w, b, c, &l);
            EXPECT_EQ(std::strlen(a), 10u) << a;  // YYYY-MM-DD
            break;
        case 2:
            st = TRVG_v2_SaleRecGetFinished(rec, &l, a, b, c, &w, d, d, &l);
            break;
        case 4:
        case 5:
            st = TRVG_v2_SaleRecGetPLUSet(rec, &byte, &w, a, b, c, d, d);
            break;
        default:
            st = TRVG_Default(rec);
        }
        EXPECT_EQ(st, 0u) << "record type " << type;
    }
    EXPECT_EQ(next, 0);
    EXPECT_GE(types.size(), 10u);
}

TEST_F(E2E, CardEventsCipherAndBusyRegister) {
    // Events: first through the queue and the semaphore, then the callback.
    ASSERT_EQ(TRV_SetEventHandlingMode(view, TARVIK_EVENT_SEMAPHORE), 0u);
    reg.pushCardEvent("1234567890123", 2);
    timespec until{};
    clock_gettime(CLOCK_REALTIME, &until);
    until.tv_sec += 5;
    ASSERT_EQ(sem_timedwait(TRV_GetSemaphore(view), &until), 0);
    TARVIK_HANDLE ev = TRV_PopAsyncData(view, 0);
    ASSERT_NE(ev, nullptr);
    char number[32];
    unsigned char type = 0;
    EXPECT_EQ(TRV_PopResponseValueString(ev, number, sizeof number), 0u);
    EXPECT_EQ(TRV_PopResponseValueByte(ev, &type), 0u);
    EXPECT_STREQ(number, "1234567890123");
    EXPECT_EQ(type, 2);
    TRV_DestroyRequest(ev);

    // The register switches the cipher on; traffic goes on enciphered.
    reg.pushCipherSetup(1, "5AC3F0");
    for (int i = 0; i < 100 && TRV_GetCryptoStatus(view) != 1; ++i) usleep(10000);
    EXPECT_EQ(TRV_GetCryptoStatus(view), 1);
    TARVIK_HANDLE r = nullptr;
    char date[16];
    ASSERT_EQ(done(r, TRVS_DateGet(view, &r, 0)), 0u);
    EXPECT_EQ(TRVG_DateGet(r, date), 0u);

    // A printed report keeps the register busy; the next request waits for it.
    const auto polls0 = reg.stats().framesReceived;
    TARVIK_HANDLE report = TRV_CreateRequest(view, 1165);
    ASSERT_EQ(TRV_PostRequest(report, 0), 0u);
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(done(r, TRVS_DateGet(view, &r, 0)), 0u);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(150));
    EXPECT_EQ(TRVG_DateGet(r, date), 0u);
    EXPECT_EQ(TRV_GetRequestStatus(report), 0u);
    EXPECT_GE(reg.stats().framesReceived - polls0, 3u);  // report, at least one status poll, the date
    TRV_DestroyRequest(report);
}
