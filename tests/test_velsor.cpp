// velsor as a program, on hostile input: it ends with status 0 and writes
// the frames it found (these run under the sanitizers with the rest).
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

struct Result {
    int status = -1;
    std::string out;
};

Result velsor(const std::string& input) {
    // ctest runs the tests of this file side by side: one input file each.
    std::string in = ::testing::TempDir() + "velsor_in_XXXXXX";
    const int fd = mkstemp(in.data());
    if (fd < 0) return Result{};
    close(fd);
    std::ofstream(in, std::ios::binary) << input;
    Result r;
    FILE* p = popen((std::string(VELSOR_PATH) + " < " + in + " 2>&1").c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    r.status = pclose(p);
    std::remove(in.c_str());
    return r;
}

}  // namespace

TEST(Velsor, FramesWithoutBytesAndLinesOfBareMarkers) {
    Result r = velsor("$$I\nx\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Ramka odebrana\n\n");

    r = velsor(std::string(200000, '$') + "\n\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Ramka wys\xB3" "ana\n\n");

    std::string bare;
    for (int i = 0; i < 50000; ++i) bare += "$$O ";
    r = velsor(bare + "\nend\n");
    EXPECT_EQ(r.status, 0);
    // Each of the 16 tokens after the marker and the offset is no hex number: 0.
    EXPECT_EQ(r.out, std::string("Ramka wys\xB3" "ana\n") + std::string(16, '\0') + "\n");
}

TEST(Velsor, BytesOfOneFrameAcrossLines) {
    Result r = velsor("log line\n$$O 0000 10 02 7 41\n$$I 0010 FF 10 03\nnext\n$$O 0000 AA\n");
    EXPECT_EQ(r.status, 0);
    // The "7" ends its line; the last frame is written at the empty read
    // at the end of input.
    EXPECT_EQ(r.out, std::string("Ramka odebrana\n\x10\x02\xFF\x10\x03\n") + "Ramka wys\xB3" "ana\n\xAA\n");
}
