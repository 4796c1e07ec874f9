// Status texts from language files: file format, where files are found, the
// cache, and that the shipped files know every status of the public header.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <thread>

#include "tarvik/tarvik.h"

namespace fs = std::filesystem;

namespace {

// The cache lives as long as the process, so every test uses languages of
// its own names.
class LangFiles : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/tarvik_lang_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        setenv("TARVIK_LIB_SHARE_DIR", dir.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("TARVIK_LIB_SHARE_DIR");
        fs::remove_all(dir);
    }
    void write(const std::string& lang, const std::string& content) {
        std::ofstream(dir / ("tarvik_" + lang + ".lng"), std::ios::binary) << content;
    }
    fs::path dir;
};

}  // namespace

TEST_F(LangFiles, FileFormat) {
    write("fmt", "# comment 1\n"
                 "\n"
                 "65542\tNull handle\n"
                 "65542\tsecond line of the same code\n"
                 "123   \n"
                 "7 \t  Seven, with  inner  blanks\r\n"
                 "x8\tnot a code\n"
                 "99999999999\ttoo large\n"
                 "  9\tindented\n"
                 "0\tZero");  // no line end at the very end
    EXPECT_STREQ(TRV_GetErrorString(0x10006, "fmt"), "Null handle");
    EXPECT_STREQ(TRV_GetErrorString(123, "fmt"), "");
    EXPECT_STREQ(TRV_GetErrorString(7, "fmt"), "Seven, with  inner  blanks");
    EXPECT_STREQ(TRV_GetErrorString(0, "fmt"), "Zero");
    EXPECT_EQ(TRV_GetErrorString(8, "fmt"), nullptr);
    EXPECT_EQ(TRV_GetErrorString(9, "fmt"), nullptr);
    EXPECT_EQ(TRV_GetErrorString(1, "fmt"), nullptr);
    EXPECT_EQ(TRV_GetErrorString(1, nullptr), nullptr);
}

TEST_F(LangFiles, CacheAndLookUp) {
    write("pl1", "65542\tzly uchwyt\n");
    write("PL1", "65542\tBAD HANDLE\n");
    const char* text = TRV_GetErrorString(65542, "pl1");
    ASSERT_STREQ(text, "zly uchwyt");
    EXPECT_STREQ(TRV_GetErrorString(65542, "PL1"), "BAD HANDLE");  // names are case-sensitive

    // Loaded once: later edits and a removed file change nothing, and the
    // text stays where it was while other languages are loaded.
    write("pl1", "65542\tchanged\n1\tnew\n");
    EXPECT_EQ(TRV_GetErrorString(1, "pl1"), nullptr);
    fs::remove(dir / "tarvik_pl1.lng");
    for (int i = 0; i < 20; ++i) {
        write("more" + std::to_string(i), "65542\tx\n");
        TRV_GetErrorString(65542, ("more" + std::to_string(i)).c_str());
    }
    EXPECT_EQ(TRV_GetErrorString(65542, "pl1"), text);
    EXPECT_STREQ(text, "zly uchwyt");

    // A missing file is looked for again on every call.
    EXPECT_EQ(TRV_GetErrorString(5, "late"), nullptr);
    write("late", "5\topen failed\n");
    EXPECT_STREQ(TRV_GetErrorString(5, "late"), "open failed");

    // A directory named with its trailing slash is the same directory.
    setenv("TARVIK_LIB_SHARE_DIR", (dir.string() + "/").c_str(), 1);
    write("slash", "5\tx\n");
    EXPECT_STREQ(TRV_GetErrorString(5, "slash"), "x");

    // Threads loading one language at once all see the same text.
    write("race", "19\tcannot repeat\n");
    const char* seen[4] = {};
    std::vector<std::thread> threads;
    for (auto& s : seen) threads.emplace_back([&s] { s = TRV_GetErrorString(19, "race"); });
    for (auto& t : threads) t.join();
    for (const char* s : seen) EXPECT_EQ(s, seen[0]);
    EXPECT_STREQ(seen[0], "cannot repeat");
}

TEST_F(LangFiles, WithoutTheVariableTheWorkingDirectoryIsSearched) {
    unsetenv("TARVIK_LIB_SHARE_DIR");
    write("cwd", "20\tbusy writing\n");
    const fs::path old = fs::current_path();
    fs::current_path(dir);
    EXPECT_STREQ(TRV_GetErrorString(20, "cwd"), "busy writing");
    fs::current_path(old);

    setenv("TARVIK_LIB_SHARE_DIR", "", 1);  // empty counts as unset
    write("cwd2", "20\tbusy\n");
    fs::current_path(dir);
    EXPECT_STREQ(TRV_GetErrorString(20, "cwd2"), "busy");
    fs::current_path(old);
}

TEST(LangShipped, EveryStatusOfThePublicHeaderHasATextInEachLanguage) {
    std::ifstream header(std::string(TARVIK_SOURCE_DIR) + "/include/tarvik/tarvik.h");
    ASSERT_TRUE(header.is_open());
    const std::regex constant(R"(^#define\s+TARVIK_STATUS_(\w+)\s+(0x[0-9A-Fa-f]+|\d+)u)");
    std::set<uint32_t> codes;
    for (std::string line; std::getline(header, line);) {
        std::smatch m;
        if (std::regex_search(line, m, constant)) codes.insert(static_cast<uint32_t>(std::stoul(m[2], nullptr, 0)));
    }
    ASSERT_GT(codes.size(), 60u);
    // Every argument position libmirtel reports, too.
    for (uint32_t n = 2; n <= 18; ++n) codes.insert(0x10100u + n);

    setenv("TARVIK_LIB_SHARE_DIR", (std::string(TARVIK_SOURCE_DIR) + "/lang").c_str(), 1);
    for (const char* lang : {"en", "pl"})
        for (uint32_t code : codes) {
            const char* text = TRV_GetErrorString(code, lang);
            ASSERT_NE(text, nullptr) << lang << " " << code;
            EXPECT_GT(std::strlen(text), 2u) << lang << " " << code;
        }
    EXPECT_STREQ(TRV_GetErrorString(0, "en"), "Success");
    EXPECT_STREQ(TRV_GetErrorString(0, "pl"), "Sukces");
    unsetenv("TARVIK_LIB_SHARE_DIR");
}

TEST_F(LangFiles, OnlyRegularFilesAreRead) {
    write("cached", "19\tcannot repeat\n");
    ASSERT_STREQ(TRV_GetErrorString(19, "cached"), "cannot repeat");
    // A FIFO without a writer, named like a language file: opening it for
    // reading would block until someone writes.
    const fs::path fifo = dir / "tarvik_fifo.lng";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::atomic<bool> done{false};
    const char* text = "unset";
    std::thread asker([&] {
        text = TRV_GetErrorString(19, "fifo");
        done = true;
    });
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!done && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(done.load()) << "the look-up blocked on a FIFO";
    // Meanwhile a cached language answers at once.
    std::atomic<bool> cachedDone{false};
    std::thread other([&] {
        TRV_GetErrorString(19, "cached");
        cachedDone = true;
    });
    const auto until2 = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (!cachedDone && std::chrono::steady_clock::now() < until2)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(cachedDone.load()) << "a cached language waited for another thread's file";
    if (!done) {
        // Release a blocked reader so the test can end.
        const int w = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (w >= 0) ::close(w);
    }
    asker.join();
    other.join();
    EXPECT_EQ(text, nullptr);

    // A directory named like a language file is no language either.
    fs::create_directory(dir / "tarvik_dir.lng");
    EXPECT_EQ(TRV_GetErrorString(19, "dir"), nullptr);
}
