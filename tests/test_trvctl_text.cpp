// trvctl and text: the register's character set, CSV files as spreadsheets
// write them (delimiters, encodings, partial columns), hostile input files,
// and the conventions of a command line (help, exit statuses, --json).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <random>
#include <string>

#include <nlohmann/json.hpp>

#include "sim_register.h"
#include "sim_tcp.h"
#include "trvctl_run.h"

namespace {

using Json = nlohmann::ordered_json;
using namespace trvctl_test;
using namespace std::chrono_literals;

// Polish letters in UTF-8 and in CP1250.
const std::string kUtf8Name = "\xC5\xBB\xC3\x93\xC5\x81TA G\xC4\x98\xC5\x9A"  // ŻÓŁTA GĘŚ
                              "L\xC4\x84";                                  // LĄ
const std::string kCp1250Name = "\xAF\xD3\xA3TA G\xCA\x8CL\xA5";

class Text : public ::testing::Test {
protected:
    void SetUp() override {
        reg.setBusyMs(20);
        port = server.start(0);
        ASSERT_GT(port, 0);
        dir = ::testing::TempDir() + "trvctl_text_" + ::testing::UnitTest::GetInstance()->current_test_info()->name() +
              "_";
    }
    void TearDown() override { server.stop(); }
    Outcome run(std::vector<std::string> args, const RunOptions& o = {}) {
        args.insert(args.begin(), {"--tcp", "127.0.0.1:" + std::to_string(port)});
        return trvctl(args, o);
    }
    std::string path(const std::string& name) const { return dir + name; }

    trvsim::Register reg;
    trvsim::TcpServer server{reg};
    int port = 0;
    std::string dir;
};

TEST_F(Text, ASemicolonCp1250FileComesBackByteForByteThroughTheRegister) {
    // As a Polish spreadsheet saves it: semicolons, CP1250, CRLF.
    const std::string header =
        "numer_rekordu;nazwa;barcode;cena;ilosc_min;numer_opakowania;numer_mu;numer_rabatu;numer_grupy;numer_vat;"
        "format_ilosci;cena_sztywna;czy_rabat;czy_notatnik;barcodes\r\n";
    std::string csv = header;
    csv += "11;" + kCp1250Name + ";5901234123457;1299;0;0;1;0;1;A;0;0;0;0;\r\n";
    csv += "12;\"" + std::string("\x9C\x9F\xB9\xEA, \"\"\xB3\xF3\"\"") + "\";5901234123464;50;0;0;1;0;1;C;0;0;0;0;"
           "2900000000120\r\n";  // śźąę, "łó"
    writeFile(path("pl.csv"), csv);
    Outcome r = run({"articles", "import", path("pl.csv"), "--encoding", "cp1250"});
    ASSERT_EQ(r.status, 0) << r.err;
    // The register holds its own bytes.
    EXPECT_EQ(reg.article(11)->name, kCp1250Name);
    EXPECT_EQ(reg.article(12)->name, "\x9C\x9F\xB9\xEA, \"\xB3\xF3\"");
    r = run({"articles", "export", path("back.csv"), "--from", "11", "--to", "12", "--encoding", "cp1250",
             "--delimiter", ";"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(path("back.csv")), csv);
    // And the same letters as UTF-8 on the terminal and in JSON.
    r = run({"--json", "article", "get", "11"});
    EXPECT_EQ(Json::parse(r.out).at("nazwa"), kUtf8Name);
}

TEST_F(Text, TextsAreConvertedToTheRegistersCharacterSetAndMeasuredInItsBytes) {
    // 32 letters Ł are 32 bytes in CP1250: they fit; 64 do not.
    std::string l32, l64;
    for (int i = 0; i < 32; ++i) l32 += "\xC5\x81";
    l64 = l32 + l32;
    Outcome r = run({"article", "set", "20", "nazwa=" + l32});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(reg.article(20)->name, std::string(32, '\xA3'));
    r = run({"article", "set", "20", "nazwa=" + l64});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("64 bytes in CP1250, at most 63"), std::string::npos) << r.err;
    // What CP1250 cannot hold is refused, with the line it is on.
    writeFile(path("emoji.csv"), "numer_rekordu,nazwa\n1,OK\n2,KAWA \xE2\x98\x95\n");
    r = run({"articles", "import", path("emoji.csv")});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("emoji.csv:3: invalid: nazwa: '\xE2\x98\x95' (U+2615) cannot be written in the register's "
                         "character set CP1250"),
              std::string::npos)
        << r.err;
    // CP1250 bytes given as if they were UTF-8.
    writeFile(path("raw.csv"), "numer_rekordu,nazwa\n1,\xA3\xD3\n");
    r = run({"articles", "import", path("raw.csv")});
    EXPECT_NE(r.err.find("raw.csv:2: invalid: byte 3 is not valid UTF-8"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--encoding cp1250"), std::string::npos) << r.err;
    // Another character set for the register: the option, or TARVIK_CHARSET.
    r = run({"--charset", "UTF-8", "article", "set", "21", "nazwa=" + kUtf8Name});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(reg.article(21)->name, kUtf8Name);
    RunOptions o;
    o.env = {{"TARVIK_CHARSET", "ISO-8859-2"}};
    r = run({"article", "set", "22", "nazwa=\xC5\x81"}, o);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(reg.article(22)->name, "\xA3");
    EXPECT_EQ(run({"--charset", "NO-SUCH-SET", "status"}).status, 2);
}

TEST_F(Text, PartialColumnsDryRunTabsAndHeaderNamesInAnyCase) {
    // A price list: record number and price, tab-separated, found by itself.
    writeFile(path("prices.tsv"), "Numer_Rekordu\tCENA\tuwagi\n1\t333\tpromocja\n2\t279\tbez zmian\n9\t5\tnowy?\n");
    Outcome r = run({"articles", "import", path("prices.tsv"), "--dry-run"});
    EXPECT_EQ(r.status, 3) << r.err;  // record 9 does not exist and the file is no full record
    EXPECT_NE(r.out.find("prices.tsv:2: article 1: update: cena '350' -> '333'"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("prices.tsv:3: article 2: unchanged"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("prices.tsv:4: invalid: record 9 does not exist"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("column 'uwagi' is no field of articles: ignored"), std::string::npos) << r.err;
    EXPECT_EQ(reg.article(1)->price, 350);  // nothing written
    EXPECT_FALSE(std::ifstream(path("prices.rejects.csv")).good());

    const size_t framesBefore = reg.stats().framesReceived;
    r = run({"--json", "articles", "import", path("prices.tsv")});
    EXPECT_EQ(r.status, 3) << r.err;
    const Json j = Json::parse(r.out);
    EXPECT_EQ(j.at("written"), 1);
    EXPECT_EQ(j.at("unchanged"), 1);
    EXPECT_EQ(j.at("left_out_by_outcome").at("invalid"), 1);
    EXPECT_EQ(reg.article(1)->price, 333);
    EXPECT_EQ(reg.article(1)->name, "CHLEB");  // the rest kept
    EXPECT_EQ(reg.article(2)->barcodes, (std::vector<std::string>{"2000000000022"}));
    EXPECT_FALSE(reg.article(9));
    // Three reads and one write: the unchanged record is not written.
    EXPECT_EQ(reg.stats().framesReceived - framesBefore, 4u);

    // `set` on a new record gives the fields not named their defaults.
    r = run({"article", "set", "30", "nazwa=NOWY", "cena=10"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Json a = Json::parse(run({"--json", "article", "get", "30"}).out);
    EXPECT_EQ(a.at("numer_vat"), "A");
    EXPECT_EQ(a.at("ilosc_min"), "0");
    EXPECT_EQ(a.at("barcodes").size(), 0u);
}

TEST_F(Text, OneNameForEachFieldEverywhere) {
    ASSERT_EQ(run({"articles", "export", path("a.csv")}).status, 0);
    const std::vector<std::string> header = csvCells(splitLines(readFile(path("a.csv")))[0]);
    const Json got = Json::parse(run({"--json", "article", "get", "2"}).out);
    const Json listed = Json::parse(run({"--json", "articles", "list"}).out).at("records").at(1);
    for (const std::string& h : header) {
        EXPECT_TRUE(got.contains(h)) << h;
        EXPECT_TRUE(listed.contains(h)) << h;
        EXPECT_EQ(got.at(h), listed.at(h)) << h;
    }
    // set takes the same names, and the register's own.
    EXPECT_EQ(run({"article", "set", "2", "numer_vat=D", "stawka_PTU=D"}).status, 0);
    EXPECT_EQ(reg.article(2)->vat, 3);
    // Every table's first field is numer_rekordu.
    for (const char* t : {"users", "discounts", "packagings", "groups", "units", "payment-forms", "hotkeys",
                          "barcode-formats", "messages", "auto-discounts"}) {
        ASSERT_EQ(run({t, "export", path("t.csv")}).status, 0) << t;
        EXPECT_EQ(readFile(path("t.csv")).rfind("numer_rekordu,", 0), 0u) << t;
    }
    // header prints what header set reads.
    const std::string shown = run({"header"}).out;
    writeFile(path("h.txt"), shown);
    Outcome r = run({"header", "set", path("h.txt")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, shown);
    EXPECT_NE(r.err.find("nothing written"), std::string::npos) << r.err;
}

TEST_F(Text, HostileInputFilesEndSoonWithExitStatus2) {
    struct Case {
        std::string file, expect;
    };
    std::string noLineFeed(3 << 20, 'x');
    writeFile(path("long.csv"), "numer_rekordu,nazwa\n" + noLineFeed);
    writeFile(path("quote.csv"), "numer_rekordu,nazwa\n1,A\n2,\"open\n3,B\n");
    writeFile(path("bigcell.csv"), "numer_rekordu,nazwa\n1,\"" + std::string(70000, 'y') + "\"\n");
    writeFile(path("empty.csv"), "");
    mkdir(path("dir").c_str(), 0755);
    for (const Case& c : std::vector<Case>{
             {"/dev/zero", "/dev/zero: line 1: a NUL byte"},
             {path("long.csv"), "line 2 is longer than 1048576 bytes"},
             {path("quote.csv"), "line 3: a quoted cell starts here and is never closed"},
             {path("bigcell.csv"), "line 2: a cell longer than 65536 bytes"},
             {path("empty.csv"), "no header line"},
             {path("dir"), "is a directory"},
             {path("none.csv"), "No such file or directory"},
         }) {
        const auto start = std::chrono::steady_clock::now();
        const Outcome r = run({"articles", "import", c.file});
        EXPECT_LT(std::chrono::steady_clock::now() - start, 20s) << c.file;
        EXPECT_EQ(r.status, 2) << c.file << r.err;
        EXPECT_NE(r.err.find(c.expect), std::string::npos) << c.file << ": " << r.err;
    }
    EXPECT_EQ(reg.article(1)->name, "CHLEB");
    // Old Mac line ends (CR alone) are line ends.
    writeFile(path("cr.csv"), "numer_rekordu,nazwa\r1,CR ONE\r2,CR TWO\r");
    Outcome r = run({"articles", "import", path("cr.csv")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(reg.article(2)->name, "CR TWO");
    // Random lines: the summary counts records and lines as they are.
    std::mt19937 rng(7);
    std::string junk = "numer_rekordu,nazwa\n";
    for (int i = 0; i < 2000; ++i) {
        std::string l;
        for (int k = static_cast<int>(rng() % 40); k > 0; --k) l += static_cast<char>(' ' + rng() % 95);
        junk += l + "\n";
    }
    writeFile(path("junk.csv"), junk);
    r = run({"articles", "import", path("junk.csv")});
    EXPECT_NE(r.status, 0);
    if (r.status != 2) {  // a quote left open ends it with 2; else every line is accounted for
        EXPECT_NE(r.err.find("on 2001 lines"), std::string::npos) << r.err.substr(r.err.size() - 300);
        EXPECT_NE(r.err.find("more messages"), std::string::npos);
    }
}

TEST_F(Text, ConventionsOfTheCommandLine) {
    Outcome r = trvctl({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("trvctl 1.", 0), 0u) << r.out;
    r = trvctl({"help", "articles", "import"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("--dry-run"), std::string::npos);
    EXPECT_NE(r.out.find("smallest currency unit"), std::string::npos);
    r = trvctl({"foo"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "trvctl: unknown command 'foo'; see trvctl --help\n");
    r = trvctl({"articles", "frobnicate"});
    EXPECT_EQ(r.err, "trvctl: unknown command 'articles frobnicate'; see trvctl articles --help\n");
    // Completion, as the shell scripts ask for it.
    r = trvctl({"__complete", "art"});
    EXPECT_EQ(r.out, "articles\n");
    r = trvctl({"__complete", "articles", "set", "1", "numer_v"});
    EXPECT_EQ(r.out, "numer_vat=\n");
    r = trvctl({"__complete", "articles", "im"});
    EXPECT_EQ(r.out, "import\n");
    // Values are quoted as given, not as an internal function saw them.
    r = run({"articles", "list", "--to", "99999"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("99999"), std::string::npos) << r.err;
    r = run({"report", "FskPeriodByDate", "2026-13-01", "2026-12-31", "0"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("selector data_od: '2026-13-01' is not valid; the register wants a date YYYY-MM-DD"),
              std::string::npos)
        << r.err;
    // --quiet leaves errors only.
    r = run({"--quiet", "articles", "export", path("q.csv")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    // --json: one document, errors included.
    r = run({"--json", "article", "get", "77"});
    EXPECT_EQ(r.status, 1);
    const Json e = Json::parse(r.out);
    EXPECT_EQ(e.at("error").at("code"), "0x430068");
    EXPECT_EQ(e.at("error").at("outcome"), "refused");
    EXPECT_EQ(e.at("exit_status"), 1);
    r = trvctl({"--json", "nosuch"});
    EXPECT_EQ(Json::parse(r.out).at("exit_status"), 2);
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--json", "articles", "export", path("j.csv")},
             {"--json", "clock", "set", "2099-01-01 10:00:00"},
             {"--json", "report", "PTU"},
             {"--json", "vat"},
             {"--json", "ping"},
             {"--json", "journal"},
             {"--json", "report", "--list"},
             {"--json", "call", "--list", "PLU"}}) {
        r = run(args);
        EXPECT_EQ(r.status, 0) << testing::PrintToString(args) << r.err;
        EXPECT_NO_THROW(Json::parse(r.out)) << testing::PrintToString(args) << r.out;
    }
    const Json journal = Json::parse(run({"--json", "journal"}).out).at("records");
    EXPECT_EQ(journal.at(0).at("numer_rekordu"), 1);
    EXPECT_EQ(journal.at(5).at("numer_rekordu"), 6);
}

TEST_F(Text, PingAnswersQuicklyEitherWay) {
    Outcome r = run({"ping"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("TRV00012345"), std::string::npos);
    trvsim::Faults f;
    f.silent = true;
    reg.setFaults(f);
    const auto start = std::chrono::steady_clock::now();
    r = run({"ping"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no answer within 2 s"), std::string::npos) << r.err;
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);  // not the 60 s of long operations
    r = trvctl({"--tcp", "127.0.0.1:1", "ping"});
    EXPECT_EQ(r.status, 1);
}

}  // namespace
