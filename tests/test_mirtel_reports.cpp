// Report commands whose dates are optional, cut to a month, or checked
// together before anything is sent; and the inactive articles' context date.
#include "test_mirtel_fixture.h"

using namespace mirtel_test;

class MirtelReports : public MirtelTest {
protected:
    // What a request left unposted after a failed call carries: posted by
    // hand, its frame shows the values pushed so far.
    std::string pushedSoFar(TARVIK_HANDLE req, uint16_t cmd) {
        EXPECT_TRUE(keptUnposted(req));
        EXPECT_EQ(TRV_PostRequest(req, 0), 0u);
        std::string values = sent(cmd);
        TRV_DestroyRequest(req);
        return values;
    }
};

TEST_F(MirtelReports, MonthlyReportTakesAMonthOrAFullDate) {
    TARVIK_HANDLE req = nullptr;
    ASSERT_EQ(TRVS_RepFskMonthly(view, &req, "2008-03", 1, 0), 0u);
    EXPECT_EQ(sent(1168), "B3 V2008 B1");
    TRV_DestroyRequest(req);
    ASSERT_EQ(TRVS_RepFskMonthly(view, &req, "2008-03-15", 0, 0), 0u);
    EXPECT_EQ(sent(1168), "B3 V2008 B0");  // the day is not sent
    TRV_DestroyRequest(req);

    for (const char* bad : {"2008-13", "2008-3", "2008-02-30", "", "2008-03 "}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(TRVS_RepFskMonthly(view, &req, bad, 0, 0), 0x10103u);
        EXPECT_EQ(pushedSoFar(req, 1168), "");
    }
    EXPECT_EQ(TRVS_RepFskMonthly(view, &req, nullptr, 0, 0), 0x10103u);
    TRVG_Default(req);
}

TEST_F(MirtelReports, DailyReportSendsItsDateOnlyWhenAsked) {
    TARVIK_HANDLE req = nullptr;
    ASSERT_EQ(TRVS_RepFskDaily(view, &req, 0, nullptr, 0), 0u);
    EXPECT_EQ(sent(1165), "");
    TRV_DestroyRequest(req);
    ASSERT_EQ(TRVS_RepFskDaily(view, &req, 0, "not a date", 0), 0u);  // not looked at
    EXPECT_EQ(sent(1165), "");
    TRV_DestroyRequest(req);
    ASSERT_EQ(TRVS_RepFskDaily(view, &req, 2, "2009-03-05 21:30", 0), 0u);
    EXPECT_EQ(sent(1165), "B5 B3 V2009 B21 B30");  // czy_z_data itself is not sent
    TRV_DestroyRequest(req);

    EXPECT_EQ(TRVS_RepFskDaily(view, &req, 1, nullptr, 0), 0x10104u);
    EXPECT_EQ(pushedSoFar(req, 1165), "");
    EXPECT_EQ(TRVS_RepFskDaily(view, &req, 1, "2009-02-29 21:30", 0), 0x10104u);
    TRVG_Default(req);
    EXPECT_EQ(TRVS_RepFskDaily(view, &req, 1, "2009-03-05 24:00", 0), 0x10104u);
    TRVG_Default(req);
}

TEST_F(MirtelReports, RangesLookAtBothTextsBeforeSendingEither) {
    TARVIK_HANDLE req = nullptr;
    ASSERT_EQ(TRVS_RepFskPeriodByDate(view, &req, "2008-03-01", "2008-03-31", 1, 0), 0u);
    EXPECT_EQ(sent(1167), "B1 B3 V2008 B31 B3 V2008 B1");
    TRV_DestroyRequest(req);

    EXPECT_EQ(TRVS_RepFskPeriodByDate(view, &req, nullptr, nullptr, 0, 0), 0x10103u);
    EXPECT_EQ(pushedSoFar(req, 1167), "");
    EXPECT_EQ(TRVS_RepFskPeriodByDate(view, &req, nullptr, "2008-03-31", 0, 0), 0x10103u);
    EXPECT_EQ(pushedSoFar(req, 1167), "");
    EXPECT_EQ(TRVS_RepFskPeriodByDate(view, &req, "2008-03-01", nullptr, 0, 0), 0x10104u);
    EXPECT_EQ(pushedSoFar(req, 1167), "");
    // Texts that are there are read one after the other.
    EXPECT_EQ(TRVS_RepFskPeriodByDate(view, &req, "2008-03-32", "2008-03-31", 0, 0), 0x10103u);
    EXPECT_EQ(pushedSoFar(req, 1167), "");
    EXPECT_EQ(TRVS_RepFskPeriodByDate(view, &req, "2008-03-01", "2008-04-31", 0, 0), 0x10104u);
    EXPECT_EQ(pushedSoFar(req, 1167), "B1 B3 V2008");

    ASSERT_EQ(TRVS_RepPLUByNameRange(view, &req, 1, 2, 3, "CHLEB", "MLEKO", 0), 0u);
    EXPECT_EQ(sent(1103), "B1 B2 B3 S'CHLEB' S'MLEKO'");
    TRV_DestroyRequest(req);
    EXPECT_EQ(TRVS_RepPLUByNameRange(view, &req, 1, 2, 3, "CHLEB", nullptr, 0), 0x10107u);
    EXPECT_EQ(pushedSoFar(req, 1103), "B1 B2 B3");
    EXPECT_EQ(TRVS_RepPLUByNameRange(view, &req, 1, 2, 3, nullptr, nullptr, 0), 0x10106u);
    EXPECT_EQ(pushedSoFar(req, 1103), "B1 B2 B3");

    // The barcode range looks at each text just before it is sent.
    EXPECT_EQ(TRVS_RepPluByCodeRange(view, &req, 1, 2, 3, "590", nullptr, 0), 0x10107u);
    EXPECT_EQ(pushedSoFar(req, 1108), "B1 B2 B3 S'590'");
}

TEST_F(MirtelReports, LibrarySuppliedZerosAndTheInactiveArticlesContextDate) {
    TARVIK_HANDLE req = nullptr;
    ASSERT_EQ(TRVS_RepHotkey(view, &req, 77, 0), 0u);
    EXPECT_EQ(sent(1115), "B0 B0 V77");
    TRV_DestroyRequest(req);

    ASSERT_EQ(TRVS_CntxPLUInactiveInit(view, &req, 1, 0, "2008-02-29", 0), 0u);
    EXPECT_EQ(sent(2011), "B1 B0 B29 B2 V2008");
    TRV_DestroyRequest(req);
    EXPECT_EQ(TRVS_CntxPLUInactiveInit(view, &req, 1, 0, "2009-02-29", 0), 0x10105u);
    EXPECT_EQ(pushedSoFar(req, 2011), "B1 B0");
    // Without a handle for the caller the unposted request is freed at once
    // (the leak checker would see it otherwise).
    EXPECT_EQ(TRVS_CntxPLUInactiveInit(view, nullptr, 1, 0, nullptr, 0), 0x10105u);
    EXPECT_TRUE(nothingSent());
}
