// Fiscal memory, printed reports and contexts end to end: the exported
// functions against the simulated register, which prints its reports on a
// paper roll that the tests read.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "mirtel_sim.h"
#include "sim_client.h"

namespace {

class E2EFiscal : public trvsim::test::MirtelSimTest {
protected:
    void SetUp() override {
        MirtelSimTest::SetUp();
        reg.setBusyMs(20);
        reg.setPaperSink([this](const std::string& p) {
            std::lock_guard lk(paperMu_);
            paper_.push_back(p);
        });
    }

    // The printouts since the last call.
    std::vector<std::string> printed() {
        std::lock_guard lk(paperMu_);
        return std::exchange(paper_, {});
    }
    // Waits for the report sent on req; its printout ("" when it printed none).
    std::string report(TARVIK_STATUS sent, TARVIK_STATUS expected = 0) {
        EXPECT_EQ(done(req, sent), expected);
        TRVG_Default(req);
        const std::vector<std::string> p = printed();
        EXPECT_LE(p.size(), 1u);
        return p.empty() ? std::string() : p.front();
    }

    struct Daily {
        char data[32] = "";
        unsigned short numer = 0, paragonow = 0, anulowanych = 0;
        char totals[128] = "", wartosc[64] = "";
        unsigned long zmian = 0;
    };
    // Reads record n, which must be a daily report.
    Daily readDaily(unsigned short n) {
        Daily d;
        TARVIK_HANDLE r = nullptr;
        unsigned short type = 0;
        EXPECT_EQ(done(r, TRVS_FiscMemRead(view, &r, n, 0)), 0u);
        EXPECT_EQ(TRVG_FiscMemReadType(r, &type), 0u);
        EXPECT_EQ(type, 1);
        EXPECT_EQ(TRVG_FiscMemReadDaily(r, d.data, &d.numer, &d.paragonow, &d.anulowanych, d.totals, d.wartosc,
                                        &d.zmian),
                  0u);
        return d;
    }
    unsigned short last(unsigned short type) {
        TARVIK_HANDLE r = nullptr;
        unsigned short t = 0, n = 0;
        EXPECT_EQ(done(r, TRVS_FiscMemLast(view, &r, type, 0)), 0u);
        EXPECT_EQ(TRVG_FiscMemLast(r, &t, &n), 0u);
        return n;
    }

    TARVIK_HANDLE req = nullptr;

private:
    std::mutex paperMu_;
    std::vector<std::string> paper_;  // guarded by paperMu_
};

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST_F(E2EFiscal, WalkTheFiscalMemoryAndReadEveryRecordType) {
    TARVIK_HANDLE r = nullptr;
    unsigned short type = 0, n = 0;
    ASSERT_EQ(done(r, TRVS_FiscMemFirst(view, &r, 0, 0)), 0u);
    ASSERT_EQ(TRVG_FiscMemFirst(r, &type, &n), 0u);
    EXPECT_EQ(n, 1);

    std::set<unsigned short> types;
    char data[32] = "", nip[64] = "";
    for (int guard = 0; guard < 50; ++guard) {
        SCOPED_TRACE(n);
        ASSERT_EQ(done(r, TRVS_FiscMemRead(view, &r, n, 0)), 0u);
        unsigned short t = 0, a = 0, b = 0, c = 0;
        ASSERT_EQ(TRVG_FiscMemReadType(r, &t), 0u);
        EXPECT_EQ(t, type);  // the type the walk found
        types.insert(t);
        switch (t) {
        case 1: {
            char totals[128];
            ASSERT_EQ(TRVG_FiscMemReadDaily(r, data, &a, nullptr, nullptr, totals, nullptr, nullptr), 0u);
            EXPECT_EQ(std::count(totals, totals + std::strlen(totals), '\n'), 6);
            break;
        }
        case 2: ASSERT_EQ(TRVG_FiscMemReadFiscal(r, data, nip), 0u); break;
        case 3:
            ASSERT_EQ(TRVG_FiscMemReadPTUChange(r, data, &a, &b, nullptr, nullptr, nullptr, nullptr, nullptr, &c), 0u);
            break;
        case 4: ASSERT_EQ(TRVG_FiscMemReadClearRAM(r, data, &a, &b, &c), 0u); break;
        case 5: ASSERT_EQ(TRVG_FiscMemReadSaleStart(r, data), 0u); break;
        default: ASSERT_EQ(TRVG_Default(r), 0u);
        }
        EXPECT_EQ(std::strlen(data), 16u) << data;  // YYYY-MM-DD HH:MM
        const TARVIK_STATUS st = done(r, TRVS_FiscMemNext(view, &r, 0, n, 0));
        if (st != 0) {
            EXPECT_EQ(st, TARVIK_STATUS_EXEC_ERROR + 104);  // after the last record
            TRVG_Default(r);
            break;
        }
        ASSERT_EQ(TRVG_FiscMemNext(r, &type, &n), 0u);
    }
    EXPECT_EQ(types, (std::set<unsigned short>{1, 2, 3, 4, 5}));
    EXPECT_EQ(n, 8);

    // Backwards by type: the daily reports before the last one.
    EXPECT_EQ(last(1), 8);
    ASSERT_EQ(done(r, TRVS_FiscMemPrev(view, &r, 1, 8, 0)), 0u);
    ASSERT_EQ(TRVG_FiscMemPrev(r, &type, &n), 0u);
    EXPECT_EQ(type, 1);
    EXPECT_EQ(n, 6);

    char unique[64], statusNip[64];
    unsigned short used[6] = {};
    ASSERT_EQ(done(r, TRVS_FiscMemStatus(view, &r, 0)), 0u);
    ASSERT_EQ(TRVG_FiscMemStatus(r, unique, statusNip, &used[0], &used[1], &used[2], &used[3], &used[4], &used[5]),
              0u);
    EXPECT_STREQ(statusNip, nip);  // as written at fiscalisation
    EXPECT_EQ(std::vector<unsigned short>(used, used + 6), (std::vector<unsigned short>{4, 2100, 1, 30, 1, 200}));
}

TEST_F(E2EFiscal, DailyReportsGrowTheFiscalMemoryAndStartANewDay) {
    const std::string first = report(TRVS_RepFskDaily(view, &req, 1, "2030-05-06 21:15", 0));
    const unsigned short n = last(1);
    EXPECT_EQ(n, 9);
    Daily d = readDaily(n);
    EXPECT_STREQ(d.data, "2030-05-06 21:15");
    EXPECT_EQ(d.numer, 5);
    EXPECT_EQ(d.paragonow, 3);
    EXPECT_EQ(d.anulowanych, 1);
    EXPECT_STREQ(d.totals, "1050\n1395\n0\n0\n0\n0\n0");
    EXPECT_STREQ(d.wartosc, "350");
    EXPECT_EQ(d.zmian, 0u);
    for (const char* line : {"SKLEP TESTOWY", "NIP 5250001009", "RAPORT DOBOWY FISKALNY", "date_time", "DZIEKUJEMY"})
        EXPECT_TRUE(has(first, line)) << line << " in\n" << first;
    EXPECT_TRUE(has(first, "RAPORT NR                              5")) << first;
    EXPECT_TRUE(has(first, "SPRZEDAZ B                          1395")) << first;

    // The next day starts empty; an article written meanwhile is counted.
    TARVIK_HANDLE r = nullptr;
    ASSERT_EQ(done(r, TRVS_PLUIns(view, &r, 300, "SER", "5900000003001", "2599", "2", 0, 1, 0, 3, 1, 0, 0, 1, 0, 0, 0,
                                  0)),
              0u);
    TRVG_Default(r);
    report(TRVS_RepFskDaily(view, &req, 1, "2030-05-07 21:00", 0));
    d = readDaily(last(1));
    EXPECT_EQ(d.numer, 6);
    EXPECT_EQ(d.paragonow, 0);
    EXPECT_STREQ(d.totals, "0\n0\n0\n0\n0\n0\n0");
    EXPECT_EQ(d.zmian, 1u);

    // The fiscal memory keeps the order of time: an earlier date is refused
    // and prints nothing.
    EXPECT_EQ(report(TRVS_RepFskDaily(view, &req, 1, "2030-05-07 20:59", 0), TARVIK_STATUS_EXEC_ERROR + 103), "");
    EXPECT_EQ(reg.fiscalMemorySize(), 10u);

    unsigned short daily = 0;
    ASSERT_EQ(done(r, TRVS_FiscMemStatus(view, &r, 0)), 0u);
    ASSERT_EQ(TRVG_FiscMemStatus(r, nullptr, nullptr, &daily, nullptr, nullptr, nullptr, nullptr, nullptr), 0u);
    EXPECT_EQ(daily, 6);

    // The non-fiscal daily report shows the day without closing it.
    const std::string nonFiscal = report(TRVS_RepNoFskDaily(view, &req, 0));
    EXPECT_TRUE(has(nonFiscal, "RAPORT DOBOWY NIEFISKALNY")) << nonFiscal;
    EXPECT_TRUE(has(nonFiscal, "NIEFISKALNY\n")) << nonFiscal;
    EXPECT_EQ(reg.fiscalMemorySize(), 10u);
}

TEST_F(E2EFiscal, FiscalPeriodReportsSumTheirDailyReports) {
    // Four daily reports in March 2008 (turnover A 10000, 20000, 30000, 52000),
    // a RAM clearing on the 4th.
    std::string p = report(TRVS_RepFskMonthly(view, &req, "2008-03", 0, 0));
    for (const char* line : {"RAPORT MIESIECZNY", "RAPORT DOBOWY NR 1", "RAPORT DOBOWY NR 4", "ZEROWANIE RAM",
                             "FISKALIZACJA", "PODSUMOWANIE"})
        EXPECT_TRUE(has(p, line)) << line << " in\n" << p;
    EXPECT_TRUE(has(p, "SPRZEDAZ A                        112000")) << p;

    p = report(TRVS_RepFskPeriodByNum(view, &req, 2, 3, 1, 0));
    EXPECT_TRUE(has(p, "RAPORTY DOBOWE                         2")) << p;
    EXPECT_TRUE(has(p, "SPRZEDAZ A                         50000")) << p;
    EXPECT_FALSE(has(p, "RAPORT DOBOWY NR")) << "only the summary was asked for\n" << p;

    p = report(TRVS_RepFskPeriodByDate(view, &req, "2008-03-04", "2008-03-04", 0, 0));
    EXPECT_TRUE(has(p, "ZEROWANIE RAM") && has(p, "RAPORT DOBOWY NR 4") && !has(p, "NR 3")) << p;

    p = report(TRVS_RepFskMonthly(view, &req, "2007-12-24", 0, 0));
    EXPECT_TRUE(has(p, "BRAK DANYCH")) << p;
    EXPECT_EQ(report(TRVS_RepFskPeriodByNum(view, &req, 3, 2, 0, 0), TARVIK_STATUS_EXEC_ERROR + 103), "");
}

TEST_F(E2EFiscal, ReportsPrintWhatTheRegisterHolds) {
    TARVIK_HANDLE r = nullptr;
    ASSERT_EQ(done(r, TRVS_VATSet(view, &r, "2026-01-01 00:00:00", 2200, 700, 500, 0, 10000, 10001, 10001, 0)), 0u);
    TRVG_Default(r);
    printed();
    std::string p = report(TRVS_RepPTU(view, &req, 0));
    EXPECT_TRUE(has(p, "PTU A                            22.00 %")) << p;
    EXPECT_TRUE(has(p, "PTU E                                 ZW")) << p;
    EXPECT_TRUE(has(p, "PTU G                         NIEAKTYWNA")) << p;

    // Articles 1 CHLEB (rate B) and 2 MLEKO (rate C, extra barcode 2000000000022).
    p = report(TRVS_RepPLUByRecRange(view, &req, 1, 2, 3, 1, 2, 0));
    for (const char* line : {"RAPORT PLU WG NUMEROW", "identyfikator                          1",
                             "zakres_raportu                         3", "numer_konc                             2",
                             "PLU 1                              CHLEB", "5900000000024", "LICZBA PLU"})
        EXPECT_TRUE(has(p, line)) << line << " in\n" << p;
    p = report(TRVS_RepPLUByNameRange(view, &req, 0, 0, 0, "M", "", 0));
    EXPECT_TRUE(has(p, "MLEKO") && !has(p, "CHLEB")) << p;
    p = report(TRVS_RepPluByCode(view, &req, 0, 0, 0, "2000000000022", 0));
    EXPECT_TRUE(has(p, "MLEKO") && !has(p, "CHLEB")) << p;
    p = report(TRVS_RepPLUByVAT(view, &req, 0, 0, 0, 1, 0));
    EXPECT_TRUE(has(p, "CHLEB") && !has(p, "MLEKO")) << p;
    p = report(TRVS_RepPLUByGroup(view, &req, 0, 0, 0, 9, 0));
    EXPECT_TRUE(has(p, "BRAK DANYCH")) << p;
    EXPECT_EQ(report(TRVS_RepPLUByRecNo(view, &req, 0, 0, 0, 4000, 0), TARVIK_STATUS_EXEC_ERROR + 104), "");

    // A table this register does not keep: the title and the selectors.
    p = report(TRVS_RepUser(view, &req, 4, 5, 6, 0));
    EXPECT_TRUE(has(p, "RAPORT KASJEROW") && has(p, "numer_rekordu                          6")) << p;
    p = report(TRVS_RepCashReg(view, &req, 0));
    EXPECT_TRUE(has(p, "TRV00012345") && has(p, "RAPORTY DOBOWE                    4/2100")) << p;

    // Every printout: the header first, the footer last, then the cut.
    const std::string header = "             SKLEP TESTOWY\n";
    EXPECT_EQ(p.compare(0, header.size(), header), 0) << p;
    const std::string tail = "          DZIEKUJEMY ZA ZAKUPY\n" + std::string(40, '=') + "\n";
    ASSERT_GE(p.size(), tail.size());
    EXPECT_EQ(p.substr(p.size() - tail.size()), tail);
}

TEST_F(E2EFiscal, ContextsKeepTheirFlagsAndDate) {
    TARVIK_HANDLE r = nullptr;
    ASSERT_EQ(done(r, TRVS_CntxPLUInactiveInit(view, &r, 1, 2, "2008-02-29", 0)), 0u);
    TRVG_Default(r);
    ASSERT_EQ(done(r, TRVS_CntxGroupInit(view, &r, 3, 0, 0)), 0u);
    TRVG_Default(r);
    reg.withState([](trvsim::State& s) {
        ASSERT_EQ(s.contexts.count(2011), 1u);
        EXPECT_EQ(s.contexts[2011].flag2, 2);
        EXPECT_EQ(s.contexts[2011].date, (trvsim::DateTime{2008, 2, 29}));
        EXPECT_EQ(s.contexts[2004].flag1, 3);
        EXPECT_FALSE(s.contexts[2004].date.has_value());
    });
}

// The program writes the paper roll to standard output after its port line;
// a report stopped by command 10 is marked as cut short.
TEST(SimProgramPaper, PrintoutsOnStandardOutput) {
    const std::string exe = std::string(TARVIK_BINARY_DIR) + "/trvsim";
    if (access(exe.c_str(), X_OK) != 0) GTEST_SKIP() << "trvsim not built";
    FILE* f = nullptr;
    const pid_t pid = trvsim::test::spawnTrvsim(exe, {"--port", "0", "--paper", "-", "--busy-ms", "3000"}, &f);
    ASSERT_GT(pid, 0);
    int port = 0;
    ASSERT_EQ(fscanf(f, "port %d", &port), 1);
    {
        trvsim::test::Client c(port);
        ASSERT_TRUE(c.connected());
        c.send(1161);
        EXPECT_EQ(c.next().f.cmd, 1);  // acknowledged; the answer comes when the register is done
        EXPECT_EQ(c.request(10).f.cmd, 0);  // the report ends with "stopped"
    }
    kill(pid, SIGTERM);
    std::string paper;
    char buf[512];
    while (fgets(buf, sizeof buf, f)) paper += buf;
    fclose(f);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(has(paper, "RAPORT STAWEK PTU\n")) << paper;
    EXPECT_TRUE(has(paper, "PTU A                            23.00 %\n")) << paper;
    EXPECT_TRUE(has(paper, std::string(40, '=') + "\n*** WYDRUK PRZERWANY ***\n")) << paper;
}
