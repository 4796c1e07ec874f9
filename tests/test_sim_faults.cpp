// The register simulator's events and faults over loopback TCP: cipher
// setup, card events, corrupted and refused frames, split and noisy output,
// dropped connections; and the trvsim program around it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "sim_client.h"
#include "sim_register.h"
#include "sim_tcp.h"

using namespace trvsim;
using trvsim::test::Client;
using trvsim::test::Frame;

namespace {

class SimFaults : public trvsim::test::SimServerTest {
protected:
    SimFaults() : SimServerTest(0) {}
};

Items article(uint16_t n) {
    return Values().word(n).str("A" + std::to_string(n)).str("").num(100).num(0).byte(0).byte(0).byte(0).byte(0)
        .byte(0).byte(0).byte(0).byte(0).byte(0).byte(0).byte(0).items;
}

}  // namespace

TEST_F(SimFaults, CipherSetupThenEncipheredRoundTrip) {
    Client c(port);
    auto takeSetup = [](Client& cl, uint8_t method) {
        Frame setup = cl.next();
        ASSERT_TRUE(setup.ok());
        ASSERT_EQ(setup.f.cmd, 3);
        ASSERT_EQ(setup.f.items.size(), 2u);
        EXPECT_EQ(setup.f.items[0].GetChar(), method);
        cl.cipher.method = setup.f.items[0].GetChar();
        cl.cipher.haveKey = trv::Hex2Key(setup.f.items[1].GetString(','), cl.cipher.key);
    };
    auto roundTrip = [](Client& cl, uint16_t n) {
        Frame ins = cl.request(2100, article(n));
        ASSERT_TRUE(ins.ok());
        EXPECT_EQ(ins.f.cmd, 2100);
        Frame r = cl.request(2110, Values().word(n).byte(0).items);
        ASSERT_TRUE(r.ok());
        EXPECT_TRUE(r.f.flags & trv::kFlagEnciphered);
        EXPECT_EQ(r.f.items.at(1).GetString(','), "A" + std::to_string(n));
        // Without the key the same bytes do not read as the article.
        trv::DecodedFrame plain;
        const int rc = trv::decodeFrame(r.raw.data(), r.raw.size(), trv::Cipher{}, trv::CipherOrder::CommandFirst, plain);
        EXPECT_FALSE(rc == trv::FRAME_OK && plain.cmd == 2110);
    };

    reg.pushCipherSetup(1, "A1B2C3");
    takeSetup(c, 1);
    EXPECT_EQ(c.cipher.key, "\xA1\xB2\xC3");
    roundTrip(c, 51);
    // Re-keying: the new setup travels under the old cipher.
    reg.pushCipherSetup(2, "0710FF");
    takeSetup(c, 2);
    roundTrip(c, 52);
    // The library keeps its key over a reconnection, and so does the register.
    Client d(port);
    d.cipher = c.cipher;
    roundTrip(d, 53);
    EXPECT_EQ(reg.cipher().method, 2);
    // Set up per connection: every connection starts plain with the announcement.
    reg.setCipherOnConnect(1, "55");
    Client e(port);
    takeSetup(e, 1);
    roundTrip(e, 54);
}

TEST_F(SimFaults, CardEventsArePushedWithRunningTokens) {
    Client c(port);
    reg.pushCardEvent("6006490000123", 2);
    reg.pushCardEvent("6006490000124");
    Frame a = c.next(), b = c.next();
    ASSERT_TRUE(a.ok());
    ASSERT_TRUE(b.ok());
    EXPECT_EQ(a.f.cmd, 2);
    ASSERT_EQ(a.f.items.size(), 2u);
    EXPECT_EQ(a.f.items[0].GetString(','), "6006490000123");
    EXPECT_EQ(a.f.items[1].GetChar(), 2);
    EXPECT_EQ(b.f.token, a.f.token + 1);

    reg.setCardEveryMs(20);
    Frame timed = c.next();
    EXPECT_EQ(timed.f.cmd, 2);
    reg.setCardEveryMs(0);
    EXPECT_GE(reg.stats().cardEvents, 3u);
}

TEST_F(SimFaults, CorruptedAnswersAndRepeatedFrames) {
    Client c(port);
    Faults f;
    f.crcErrorEvery = 1;
    reg.setFaults(f);
    const uint32_t t = c.send(2100, article(60));
    Frame ack = c.next();
    EXPECT_TRUE(ack.ok());  // acknowledgements stay intact
    Frame bad = c.next();
    EXPECT_EQ(bad.rc, trv::FRAME_CRC);
    EXPECT_EQ(bad.f.token, t);  // the token still reads, so the library can replay

    // The replay (flag 0x0004) is answered from the cache, not inserted twice.
    reg.setFaults(Faults{});
    c.sendRaw(c.frame(t, 2100, article(60), trv::kFlagRepeated));
    EXPECT_EQ(c.next().f.cmd, 1);
    Frame again = c.next();
    ASSERT_TRUE(again.ok());
    EXPECT_EQ(again.f.cmd, 2100);
    // Without the flag it is a new request, and the record exists by now.
    c.sendRaw(c.frame(t, 2100, article(60)));
    c.next();
    EXPECT_EQ(c.next().f.cmd, 0);

    // A frame with a wrong CRC from the library: 3002, no acknowledgement.
    c.sendRaw(Client::withBadCrc(c.frame(++c.token, 14)));
    Frame e = c.next();
    ASSERT_TRUE(e.ok());
    ASSERT_EQ(e.f.cmd, 0);
    EXPECT_EQ(e.f.token, c.token);
    EXPECT_EQ(e.f.items[0].GetShort(), 14);
    EXPECT_EQ(e.f.items[1].GetShort(), trans::kCrc);
    EXPECT_EQ(reg.stats().badCrcReceived, 1u);
}

TEST_F(SimFaults, TransmissionErrorsAndSilence) {
    Client c(port);
    reg.failNextFrames(2);
    for (int i = 0; i < 2; ++i) {
        const uint32_t t = c.send(14);
        Frame e = c.next();  // no acknowledgement before a transmission error
        ASSERT_EQ(e.f.cmd, 0);
        EXPECT_EQ(e.f.token, t);
        EXPECT_EQ(e.f.items.at(1).GetShort(), 3006);
    }
    EXPECT_EQ(c.request(14).f.cmd, 14);

    reg.silenceNextFrames(1);
    c.send(14);
    EXPECT_EQ(c.next(150).rc, -1);
    EXPECT_EQ(c.request(15).f.cmd, 15);
}

TEST_F(SimFaults, SplitDelayedAndNoisyOutputReassembles) {
    Client c(port);
    Faults f;
    f.splitBytes = 3;
    f.chunkDelayMs = 1;
    f.garbage = true;
    f.seed = 7;
    reg.setFaults(f);
    for (int i = 0; i < 3; ++i) {
        Frame r = c.request(2110, Values().word(2).byte(1).items);
        ASSERT_TRUE(r.ok()) << r.rc;
        EXPECT_EQ(r.f.items.at(1).GetString(','), "MLEKO");
    }
    EXPECT_GT(c.chunksRead, 12u);
    EXPECT_GT(c.droppedBytes, 0u);  // the noise and the cancelled starts
}

TEST_F(SimFaults, DroppedConnectionsAreAcceptedAgain) {
    {
        Client c(port);
        ASSERT_EQ(c.request(14).f.cmd, 14);
        reg.dropConnections();
        EXPECT_TRUE(c.closedByPeer());
    }
    Faults f;
    f.dropEvery = 2;
    reg.setFaults(f);
    Client c(port);
    EXPECT_EQ(c.request(14).f.cmd, 14);  // frame 1 of this setting
    c.send(14);                           // frame 2: the line goes dead
    EXPECT_TRUE(c.closedByPeer());
    reg.setFaults(Faults{});
    Client d(port);
    EXPECT_EQ(d.request(15).f.cmd, 15);
    EXPECT_GE(reg.stats().drops, 2u);
    EXPECT_GE(reg.stats().connections, 3u);
}

TEST(SimServer, StopJoinsConnectionsAndRestarts) {
    Register reg;
    TcpServer server(reg);
    const int p = server.start(0);
    ASSERT_GT(p, 0);
    EXPECT_EQ(server.start(0), -1);  // already running
    Client a(p), b(p);
    ASSERT_EQ(a.request(14).f.cmd, 14);
    ASSERT_EQ(b.request(14).f.cmd, 14);
    EXPECT_EQ(server.connections(), 2u);
    server.stop();
    EXPECT_TRUE(a.closedByPeer(500));
    EXPECT_EQ(reg.openSessions(), 0u);
    const int p2 = server.start(0);
    ASSERT_GT(p2, 0);
    Client c(p2);
    EXPECT_EQ(c.request(14).f.cmd, 14);
}

// The program: prints its port, serves, logs frames for velsor, stops on SIGTERM.
TEST(SimProgram, ServesLogsAndExitsOnSigterm) {
    const std::string exe = std::string(TARVIK_BINARY_DIR) + "/trvsim";
    if (access(exe.c_str(), X_OK) != 0) GTEST_SKIP() << "trvsim not built";
    const std::string log = std::string(TARVIK_BINARY_DIR) + "/test_sim_program.log";
    FILE* f = nullptr;
    const pid_t pid = trvsim::test::spawnTrvsim(exe, {"--port", "0", "--log", log, "--busy-ms", "10"}, &f);
    ASSERT_GT(pid, 0);
    int p = 0;
    ASSERT_EQ(fscanf(f, "port %d", &p), 1);
    {
        Client c(p);
        ASSERT_TRUE(c.connected());
        EXPECT_EQ(c.request(14).f.cmd, 14);
    }
    kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    fclose(f);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    std::ifstream in(log);
    std::stringstream all;
    all << in.rdbuf();
    const std::string s = all.str();
    EXPECT_NE(s.find("SIM: FRAME Received : \n$$I 0000 10 02 "), std::string::npos);
    EXPECT_NE(s.find("SIM: FRAME Sent: \n$$O 0000 10 02 "), std::string::npos);

    // velsor turns the log back into the frames: request, acknowledgement, answer.
    FILE* v = popen((std::string(VELSOR_PATH) + " < " + log).c_str(), "r");
    ASSERT_NE(v, nullptr);
    std::string listing;
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, v)) > 0) listing.append(buf, n);
    pclose(v);
    size_t blocks = 0;
    for (size_t at = 0; (at = listing.find("Ramka ", at)) != std::string::npos; ++at) ++blocks;
    EXPECT_EQ(blocks, 3u);
    EXPECT_NE(listing.find("Ramka odebrana\n\x10\x02"), std::string::npos);
    std::remove(log.c_str());
}
