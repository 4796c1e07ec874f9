// trvctl keeping data safe, run as a program against a register served in
// this process: interruptions and kills during an import, answers that come
// too late, the files an export writes into, write errors, and the
// operations that cannot be undone.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/types.h>

#include <atomic>
#include <map>
#include <set>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "sim_register.h"
#include "sim_tcp.h"
#include "trvctl_run.h"

namespace {

using Json = nlohmann::ordered_json;
using namespace trvctl_test;
using namespace std::chrono_literals;

// Written as older trvctl versions wrote it (numer_MU, the VAT rate as its
// index), so that the same file shows how those versions fared.
const std::string kHeader =
    "numer_rekordu,nazwa,barcode,cena,ilosc_min,numer_opakowania,numer_MU,numer_rabatu,numer_grupy,numer_VAT,"
    "format_ilosci,cena_sztywna,czy_rabat,czy_notatnik,barcodes";

std::vector<std::string> oldCodes(unsigned k) {
    return {std::to_string(2800000000000ull + k * 10), std::to_string(2800000000000ull + k * 10 + 1),
            std::to_string(2800000000000ull + k * 10 + 2)};
}
std::vector<std::string> newCodes(unsigned k) {
    return {std::to_string(2900000000000ull + k * 10), std::to_string(2900000000000ull + k * 10 + 1),
            std::to_string(2900000000000ull + k * 10 + 2)};
}

class Safety : public ::testing::Test {
protected:
    void SetUp() override {
        reg.setBusyMs(20);
        port = server.start(0);
        ASSERT_GT(port, 0);
        dir = ::testing::TempDir() + "trvctl_safety_" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_";
    }
    void TearDown() override { server.stop(); }

    std::vector<std::string> with(std::vector<std::string> args) const {
        args.insert(args.begin(), {"--tcp", "127.0.0.1:" + std::to_string(port)});
        return args;
    }
    Outcome run(const std::vector<std::string>& args, const RunOptions& o = {}) { return trvctl(with(args), o); }
    std::string path(const std::string& name) const { return dir + name; }

    // Articles 1..n, each with three additional barcodes; and a CSV file
    // that rewrites every one of them with three others.
    std::string seedArticles(unsigned n) {
        std::string csv = kHeader + "\n";
        for (unsigned k = 1; k <= n; ++k) {
            trvsim::Article a;
            a.number = static_cast<uint16_t>(k);
            a.name = "OLD " + std::to_string(k);
            a.barcode = std::to_string(5800000000000ull + k);
            a.barcodes = oldCodes(k);
            a.price = 100;
            a.unit = 1;
            a.group = 1;
            reg.putArticle(a);
            const auto c = newCodes(k);
            csv += std::to_string(k) + ",NEW " + std::to_string(k) + "," + std::to_string(5800000000000ull + k) +
                   ",200,0,0,1,0,1,0,0,0,0,0," + c[0] + ";" + c[1] + ";" + c[2] + "\n";
        }
        writeFile(path("a.csv"), csv);
        return path("a.csv");
    }
    size_t rewritten(unsigned n) const {
        size_t count = 0;
        for (unsigned k = 1; k <= n; ++k)
            if (auto a = reg.article(static_cast<uint16_t>(k)); a && a->name.rfind("NEW", 0) == 0) ++count;
        return count;
    }
    // Record number -> reject_outcome of the rejects file.
    std::map<unsigned, std::string> rejects(const std::string& file) const {
        std::map<unsigned, std::string> out;
        const auto lines = splitLines(readFile(file));
        for (size_t i = 1; i < lines.size(); ++i) {
            const auto cells = csvCells(lines[i]);
            out[static_cast<unsigned>(std::stoul(cells.at(3)))] = cells.at(1);
        }
        return out;
    }

    trvsim::Register reg;
    trvsim::TcpServer server{reg};
    int port = 0;
    std::string dir;
};

TEST_F(Safety, SigtermDuringAnImportFinishesWhatIsInFlightAndWritesTheRejects) {
    const unsigned n = 600;
    const std::string csv = seedArticles(n);
    trvsim::Faults f;
    f.answerDelayMs = 1;  // slowed, so that the signal comes in the middle
    reg.setFaults(f);
    Child c(with({"articles", "import", csv}));
    ASSERT_TRUE(waitFor([&] { return rewritten(n) >= 40; }));
    c.signal(SIGTERM);
    const Outcome r = c.wait();
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.err.find("interrupted"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("written, 0 unchanged"), std::string::npos) << r.err;  // the summary
    const auto left = rejects(path("a.rejects.csv"));
    ASSERT_FALSE(left.empty());
    size_t done = 0;
    for (unsigned k = 1; k <= n; ++k) {
        const auto a = reg.article(static_cast<uint16_t>(k));
        ASSERT_TRUE(a) << k;
        if (a->name == "NEW " + std::to_string(k)) {
            // Finished, not half-written, and not in the rejects file.
            EXPECT_EQ(a->barcodes, newCodes(k)) << k;
            EXPECT_EQ(left.count(k), 0u) << k;
            ++done;
        } else {
            EXPECT_EQ(a->name, "OLD " + std::to_string(k));
            EXPECT_EQ(a->barcodes, oldCodes(k)) << k;
            EXPECT_EQ(left.at(k), "not done") << k;
        }
    }
    EXPECT_GE(done, 40u);
    EXPECT_EQ(done + left.size(), n);
}

TEST_F(Safety, ASecondSignalStopsWaitingAndWhatWasInFlightIsUnknown) {
    const std::string csv = seedArticles(30);
    trvsim::Faults f;
    f.answerDelayMs = 700;  // each answer 0.7 s after the one before
    reg.setFaults(f);
    Child c(with({"--window", "8", "articles", "import", csv}));
    ASSERT_TRUE(waitFor([&] { return rewritten(30) >= 1; }));
    c.signal(SIGINT);
    std::this_thread::sleep_for(300ms);
    const auto second = std::chrono::steady_clock::now();
    c.signal(SIGINT);
    const Outcome r = c.wait();
    // Several answers (seconds of them) were still on their way.
    EXPECT_LT(std::chrono::steady_clock::now() - second, 3s);
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.err.find("no longer waiting"), std::string::npos) << r.err;
    const auto left = rejects(path("a.rejects.csv"));
    std::set<std::string> outcomes;
    for (const auto& [k, o] : left) outcomes.insert(o);
    EXPECT_TRUE(outcomes.count("unknown")) << readFile(path("a.rejects.csv"));
    EXPECT_TRUE(outcomes.count("not done")) << readFile(path("a.rejects.csv"));
    // Whatever is not said to be unknown is as the rejects file says.
    for (unsigned k = 1; k <= 30; ++k) {
        const auto a = reg.article(static_cast<uint16_t>(k));
        if (!left.count(k)) {
            EXPECT_EQ(a->name, "NEW " + std::to_string(k));
        } else if (left.at(k) == "not done") {
            EXPECT_EQ(a->name, "OLD " + std::to_string(k));
        }
    }
}

TEST_F(Safety, AKilledImportNeverStripsAnArticleOfItsBarcodes) {
    const unsigned n = 400;
    const std::string csv = seedArticles(n);
    trvsim::Faults f;
    f.answerDelayMs = 1;
    reg.setFaults(f);
    Child c(with({"articles", "import", csv}));
    ASSERT_TRUE(waitFor([&] { return rewritten(n) >= 60; }));
    c.signal(SIGKILL);
    EXPECT_EQ(c.wait().status, 128 + SIGKILL);
    for (unsigned k = 1; k <= n; ++k) {
        const auto a = reg.article(static_cast<uint16_t>(k));
        ASSERT_TRUE(a) << k;
        const std::set<std::string> have(a->barcodes.begin(), a->barcodes.end());
        auto holds = [&](const std::vector<std::string>& codes) {
            for (const std::string& b : codes)
                if (!have.count(b)) return false;
            return true;
        };
        EXPECT_TRUE(holds(oldCodes(k)) || holds(newCodes(k))) << "article " << k << " lost its barcodes";
    }
    // The rejects file was written before anything was sent: every line is
    // accounted for, as unknown.
    const auto left = rejects(path("a.rejects.csv"));
    EXPECT_EQ(left.size(), n);
    for (const auto& [k, o] : left) EXPECT_EQ(o, "unknown") << k;
}

TEST_F(Safety, AnAnswerThatComesTooLateIsUnknownAndSettledByReadingBack) {
    // The register takes the second frame (the write after the read), then
    // stalls before running it: trvctl's wait runs out with the frame
    // written, and the register runs it afterwards.
    std::atomic<int> frames{0}, stallOn{2};
    std::atomic<int> stallMs{1500};
    reg.setLogSink([&](const std::string& line) {
        if (line.rfind("SIM: FRAME Received", 0) == 0 && ++frames == stallOn)
            std::this_thread::sleep_for(std::chrono::milliseconds(stallMs.load()));
    });
    Outcome r = run({"--timeout", "0.5", "article", "set", "1", "nazwa=LATE"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("outcome unknown"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("confirmed by reading it back"), std::string::npos) << r.err;
    EXPECT_EQ(reg.article(1)->name, "LATE");

    // A register that stays silent longer than trvctl waits for it: the line
    // stays unknown, in words and in the rejects file, and exit status 3.
    frames = 0;
    stallMs = 7000;
    writeFile(path("late.csv"), "numer_rekordu,nazwa\n2,LATER\n");
    r = run({"--timeout", "0.5", "--window", "1", "articles", "import", path("late.csv")});
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.err.find("late.csv:2: unknown: TRVS_PLUIns: no answer within 0.5 s after it was sent"),
              std::string::npos)
        << r.err;
    const auto lines = splitLines(readFile(path("late.rejects.csv")));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(csvCells(lines[1]).at(1), "unknown");
    EXPECT_TRUE(waitFor([&] { return reg.article(2)->name == "LATER"; }, 10s));  // it did run
}

TEST_F(Safety, ALateDailyReportIsSettledByTheFiscalMemory) {
    // The register answers a report when it has printed it: here after the
    // wait ran out. The fiscal memory says whether it was made.
    reg.setBusyMs(1500);
    const size_t before = reg.fiscalMemorySize();
    Outcome r = run({"--timeout", "0.5", "report", "FskDaily", "0", "", "--yes"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("outcome unknown"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("the report was made"), std::string::npos) << r.err;
    EXPECT_EQ(reg.fiscalMemorySize(), before + 1);  // once, and not stopped half-way
}

TEST_F(Safety, ExportReplacesRegularFilesOnlyAndKeepsTheirMode) {
    // A read-only file keeps its mode.
    writeFile(path("ro.csv"), "old\n");
    chmod(path("ro.csv").c_str(), 0444);
    ASSERT_EQ(run({"articles", "export", path("ro.csv")}).status, 0);
    struct stat st {};
    ASSERT_EQ(stat(path("ro.csv").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
    const std::string expected = readFile(path("ro.csv"));
    EXPECT_EQ(expected.rfind("numer_rekordu,", 0), 0u);

    // A symbolic link stays a link; its target gets the export.
    writeFile(path("target.csv"), "old\n");
    unlink(path("link.csv").c_str());
    ASSERT_EQ(symlink(path("target.csv").c_str(), path("link.csv").c_str()), 0);
    ASSERT_EQ(run({"articles", "export", path("link.csv")}).status, 0);
    ASSERT_EQ(lstat(path("link.csv").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(readFile(path("target.csv")), expected);

    // A FIFO stays a FIFO and is written into.
    unlink(path("fifo").c_str());
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
    std::string got;
    std::thread reader([&] { got = readFile(path("fifo")); });
    EXPECT_EQ(run({"articles", "export", path("fifo")}).status, 0);
    reader.join();
    EXPECT_EQ(got, expected);
    ASSERT_EQ(lstat(path("fifo").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    // /dev/stdout is the standard output.
    Outcome r = run({"articles", "export", "/dev/stdout"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, expected);

    // A device node (a full disk) stays a device, and the failure is told.
    unlink(path("full").c_str());
    if (mknod(path("full").c_str(), S_IFCHR | 0666, makedev(1, 7)) == 0) {
        r = run({"articles", "export", path("full")});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
        ASSERT_EQ(lstat(path("full").c_str(), &st), 0);
        EXPECT_TRUE(S_ISCHR(st.st_mode));
    }
}

TEST_F(Safety, WriteErrorsOnStandardOutputFail) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"articles", "list"}, {"articles", "export", "-"}, {"--json", "status"}, {"vat"}}) {
        const Outcome r = run(args, withStdout("/dev/full"));
        EXPECT_EQ(r.status, 1) << testing::PrintToString(args);
        EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << testing::PrintToString(args) << r.err;
    }
}

TEST_F(Safety, VatSetWritesTheFiscalMemoryOnlyForAChange) {
    const size_t before = reg.fiscalMemorySize();
    const uint16_t a = reg.vatRates()[0];
    Outcome r = run({"vat", "set", "A=" + std::to_string(a / 100) + "." + std::to_string(a % 100), "--yes"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("nothing written"), std::string::npos) << r.err;
    EXPECT_EQ(reg.fiscalMemorySize(), before);
    r = run({"vat", "set", "A=21"});  // a change needs --yes
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(reg.fiscalMemorySize(), before);
    r = run({"vat", "set", "A=21", "--yes"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(reg.fiscalMemorySize(), before + 1);
    EXPECT_EQ(reg.vatRates()[0], 2100);
}

TEST_F(Safety, UsersExportsArePrivate) {
    const mode_t old = umask(022);
    Outcome r = run({"users", "export", path("u.csv")});
    writeFile(path("shared.csv"), "x\n");
    chmod(path("shared.csv").c_str(), 0644);
    Outcome r2 = run({"users", "export", path("shared.csv")});
    umask(old);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("holds passwords and PINs"), std::string::npos) << r.err;
    struct stat st {};
    ASSERT_EQ(stat(path("u.csv").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(r2.status, 0) << r2.err;
    ASSERT_EQ(stat(path("shared.csv").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_NE(readFile(path("u.csv")).find("KIEROWNIK,9999"), std::string::npos);
}

TEST_F(Safety, WhatCannotBeUndoneNeedsYes) {
    const size_t fiscal = reg.fiscalMemorySize();
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"article", "delete", "2"},
             {"report", "FskDaily", "0", ""},
             {"clock", "set", "2001-01-01 00:00:00"},
             {"vat", "set", "B=7"}}) {
        const Outcome r = run(args);
        EXPECT_EQ(r.status, 2) << testing::PrintToString(args) << r.err;
        EXPECT_NE(r.err.find("give --yes"), std::string::npos) << r.err;
    }
    EXPECT_TRUE(reg.article(2));
    EXPECT_EQ(reg.fiscalMemorySize(), fiscal);
    EXPECT_GT(reg.clock().year, 2001);
    // Forward needs nothing.
    EXPECT_EQ(run({"clock", "set", "2099-01-01 00:00:00"}).status, 0);
    EXPECT_EQ(run({"article", "delete", "2", "--yes"}).status, 0);
    EXPECT_FALSE(reg.article(2));
    EXPECT_EQ(run({"report", "FskDaily", "0", "", "--yes"}).status, 0);
    EXPECT_EQ(reg.fiscalMemorySize(), fiscal + 1);
}

}  // namespace
