// The simulator on a pty, as a register on a serial port and behind a Hayes
// modem: the modem's own rules (escape guard times, command lines), then the
// library's real serial device dialling and talking to it, then the program.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "sim_client.h"
#include "sim_modem.h"
#include "sim_pty.h"
#include "sim_register.h"
#include "trvlib_devicers232.h"

using namespace trvsim;
using Clock = HayesModem::Clock;
using std::chrono::milliseconds;

namespace {

std::string text(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

HayesModem::Out feed(HayesModem& m, const std::string& s, Clock::time_point at) {
    HayesModem::Out o;
    m.fromLine(reinterpret_cast<const uint8_t*>(s.data()), s.size(), at, o);
    return o;
}

HayesModem::Out tick(HayesModem& m, Clock::time_point at) {
    HayesModem::Out o;
    m.tick(at, o);
    return o;
}

bool eventually(const std::function<bool()>& pred, int ms = 3000) {
    const auto end = Clock::now() + milliseconds(ms);
    while (!pred()) {
        if (Clock::now() >= end) return false;
        std::this_thread::sleep_for(milliseconds(5));
    }
    return true;
}

// Log lines of a register, collected.
struct LogLines {
    std::mutex m;
    std::string all;
    void attach(Register& reg) {
        reg.setLogSink([this](const std::string& l) {
            std::lock_guard lk(m);
            all += l + "\n";
        });
    }
    bool has(const std::string& s) {
        std::lock_guard lk(m);
        return all.find(s) != std::string::npos;
    }
};

// Posts a request on the view (with one Word when word >= 0), waits for
// it; returns its status.
TARVIK_STATUS run(TARVIK_HANDLE view, uint16_t cmd, uint32_t* values = nullptr, int word = -1) {
    TARVIK_HANDLE r = TRV_CreateRequest(view, cmd);
    if (word >= 0) TRV_PushRequestParamWord(r, static_cast<uint16_t>(word));
    EXPECT_EQ(TRV_PostRequest(r, 0), 0u);
    const TARVIK_STATUS w = TRV_WaitForRequestCompleted(r, 5000);
    const TARVIK_STATUS s = w ? w : TRV_GetRequestStatus(r);
    if (values) *values = TRV_GetResponseValueCount(r);
    TRV_DestroyRequest(r);
    return s;
}

double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

}  // namespace

// ---------------------------------------------------------------- the modem alone

TEST(HayesModem, EscapeNeedsTheGuardTimeOnBothSides) {
    ModemConfig cfg;
    cfg.guardMs = 100;
    HayesModem m(cfg);
    const auto t0 = Clock::now();
    auto at = [&](int ms) { return t0 + milliseconds(ms); };

    auto o = feed(m, "ATD1\r", at(0));
    EXPECT_TRUE(o.connected);
    EXPECT_EQ(o.line, "\r\nCONNECT 9600\r\n");
    ASSERT_TRUE(m.online());

    // Too soon after the last byte: data.
    EXPECT_EQ(text(feed(m, "+++", at(50)).data), "+++");
    // Guard before, but a byte follows within the guard time: data, in order.
    EXPECT_TRUE(feed(m, "+++", at(300)).data.empty());
    EXPECT_EQ(text(feed(m, "X", at(350)).data), "+++X");
    // Two, then silence: handed on once the guard time has passed.
    EXPECT_TRUE(feed(m, "++", at(600)).data.empty());
    EXPECT_TRUE(tick(m, at(650)).data.empty());
    EXPECT_EQ(text(tick(m, at(700)).data), "++");
    // A fourth '+' is no escape.
    EXPECT_EQ(text(feed(m, "++++", at(1000)).data), "++++");
    EXPECT_TRUE(m.online());

    // The escape: guard, "+++", guard. The call stays up.
    EXPECT_TRUE(feed(m, "+++", at(1200)).data.empty());
    EXPECT_EQ(m.msUntilTick(at(1250)), 50);
    EXPECT_TRUE(tick(m, at(1250)).line.empty());
    o = tick(m, at(1300));
    EXPECT_EQ(o.line, "\r\nOK\r\n");
    EXPECT_TRUE(o.data.empty());
    EXPECT_EQ(m.mode(), HayesModem::Mode::OnlineCommand);
    EXPECT_TRUE(m.inCall());

    // ATO goes back online; bytes in the same chunk after it are data.
    o = feed(m, "ATO\r\x10\x02", at(1400));
    EXPECT_EQ(o.line, "\r\nCONNECT 9600\r\n");
    EXPECT_EQ(text(o.data), "\x10\x02");
    feed(m, "+++", at(1600));
    tick(m, at(1700));
    o = feed(m, "ATH0\r", at(1800));
    EXPECT_TRUE(o.hungUp);
    EXPECT_EQ(o.line, "\r\nOK\r\n");
    EXPECT_FALSE(m.inCall());
}

TEST(HayesModem, CommandLinesEchoAndOutsideHangUps) {
    ModemConfig cfg;
    cfg.echo = true;
    HayesModem m(cfg);
    const auto t = Clock::now();

    // Echo as typed; E0 silences what follows, not the line that says it.
    EXPECT_EQ(feed(m, "at\r", t).line, "at\r\r\nOK\r\n");
    EXPECT_EQ(feed(m, "ATE0V1\r", t).line, "ATE0V1\r\r\nOK\r\n");
    EXPECT_EQ(feed(m, "AT\r", t).line, "\r\nOK\r\n");
    // Noise before "AT" (a "+++" sent to a modem already in command mode) is
    // skipped; a line without "AT" is ignored, an endless one refused.
    EXPECT_EQ(feed(m, "+++ATH0\r", t).line, "\r\nOK\r\n");
    EXPECT_EQ(feed(m, "hello\r", t).line, "");
    EXPECT_EQ(feed(m, "AT" + std::string(300, 'X') + "\r", t).line, "\r\nERROR\r\n");
    // ATZ restores the configured echo.
    feed(m, "ATZ\r", t);
    EXPECT_EQ(feed(m, "AT\r", t).line, "AT\r\r\nOK\r\n");
    feed(m, "ATE0\r", t);

    // Hang-ups from outside: DTR says nothing, the far end says NO CARRIER.
    EXPECT_TRUE(feed(m, "ATD5\r", t).connected);
    HayesModem::Out o;
    m.hangUp("DTR dropped", o);
    EXPECT_TRUE(o.hungUp);
    EXPECT_EQ(o.line, "");
    EXPECT_TRUE(feed(m, "ATD5\r", t).connected);
    o = {};
    m.remoteHangUp(o);
    EXPECT_TRUE(o.hungUp);
    EXPECT_EQ(o.line, "\r\nNO CARRIER\r\n");
    EXPECT_EQ(m.mode(), HayesModem::Mode::Command);
}

// ---------------------------------------------------------------- the library's serial device

TEST(SimPty, SerialDeviceTalksToTheRegisterAcrossReopens) {
    const std::string link = std::string(TARVIK_BINARY_DIR) + "/test_sim_pty.link";
    ::unlink(link.c_str());
    Register reg;
    PtyOptions opts;
    opts.link = link;
    PtyServer pty(reg, opts);
    const std::string slave = pty.start();
    ASSERT_FALSE(slave.empty());
    char target[256] = {};
    ASSERT_GT(::readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), slave);
    EXPECT_EQ(pty.start(), "");  // already running

    TARVIK_HANDLE dev = TRV_CreateDeviceHandle(TARVIK_DEVICE_RS232);
    for (const std::string& path : {slave, link}) {
        SCOPED_TRACE(path);
        const std::string port = path + ",9600,8,N,1,N";
        ASSERT_EQ(TRV_SetDeviceParam(dev, TARVIK_PARAM_COMPARAMS, const_cast<char*>(port.c_str())), 0u);
        TARVIK_HANDLE view = TRV_OpenDevice(dev);
        ASSERT_NE(view, nullptr);
        uint32_t values = 0;
        EXPECT_EQ(run(view, 14, &values), 0u);  // the clock: hour, minute, second
        EXPECT_EQ(values, 3u);
        EXPECT_EQ(run(view, 15, &values), 0u);
        ASSERT_EQ(TRV_CloseDevice(view), 0u);

        // Nobody has the slave open: the server waits without spinning.
        const double cpu0 = cpuSeconds();
        std::this_thread::sleep_for(milliseconds(300));
        EXPECT_LT(cpuSeconds() - cpu0, 0.1);
    }
    TRV_DestroyDeviceHandle(dev);
    EXPECT_EQ(reg.stats().connections, 2u);  // one session per open
    EXPECT_EQ(reg.stats().badCrcReceived + reg.stats().malformedReceived, 0u);

    const auto t0 = Clock::now();
    pty.stop();
    EXPECT_LT(Clock::now() - t0, milliseconds(500));
    struct stat st{};
    EXPECT_NE(::lstat(link.c_str(), &st), 0);  // the link is gone
    EXPECT_EQ(reg.openSessions(), 0u);
}

namespace {

// The modem lines a pty lacks, wired to the simulated modem: the carrier is
// up while a call is; dropping DTR hangs up, unless the modem ignores DTR.
class SimLines : public trv::ModemLines {
public:
    SimLines(PtyServer& s, bool dtrHangsUp) : s_(s), dtrHangsUp_(dtrHangsUp) {}
    bool carrier() override { return s_.carrier(); }
    void setDTR(bool on) override {
        if (dtrHangsUp_) s_.setDTR(on);
    }

private:
    PtyServer& s_;
    const bool dtrHangsUp_;
};

// A serial device in modem mode dialling the simulated modem.
struct ModemRig {
    Register reg;
    LogLines log;
    PtyServer pty;
    TARVIK_HANDLE dev = nullptr;  // the device below, as a handle
    trv::TRV_RS232Device* rs = nullptr;
    TARVIK_HANDLE view = nullptr;

    static PtyOptions options(bool echo) {
        PtyOptions o;
        o.modem = true;
        o.modemConfig.echo = echo;
        o.modemConfig.guardMs = 100;
        return o;
    }
    explicit ModemRig(bool echo = false, bool dtrHangsUp = true) : pty(reg, options(echo)) {
        log.attach(reg);
        reg.setBusyMs(20);
        const std::string slave = pty.start();
        EXPECT_FALSE(slave.empty());
        rs = new trv::TRV_RS232Device(std::make_shared<SimLines>(pty, dtrHangsUp));
        dev = rs->handle();
        uint8_t on = 1;
        TRV_SetDeviceParam(dev, TARVIK_PARAM_MODEMMODE, &on);
        // No E0 in it: with echo on the modem keeps echoing the dial string.
        TRV_SetDeviceParam(dev, TARVIK_PARAM_MODEMINIT, const_cast<char*>("atq0v1"));
        TRV_SetDeviceParam(dev, TARVIK_PARAM_MODEMCALL, const_cast<char*>("ATDT123"));
        const std::string port = slave + ",9600,8,N,1,N";
        TRV_SetDeviceParam(dev, TARVIK_PARAM_COMPARAMS, const_cast<char*>(port.c_str()));
        trv::ModemTimings t;
        t.atAnswerMs = 1000;
        t.initAnswerMs = 500;
        t.dialAnswerMs = 1000;
        t.hangupAnswerMs = 500;
        t.dtrHangupMs = 300;
        t.guardMs = 250;  // the library's pause around "+++", above the modem's guard time
        rs->setModemTimings(t);
        view = TRV_OpenDevice(dev);
        EXPECT_NE(view, nullptr);
    }
    ~ModemRig() {
        if (view) TRV_CloseDevice(view);
        TRV_DestroyDeviceHandle(dev);
        pty.stop();
    }
    TARVIK_STATUS status() { return TRV_ModemStatus(dev); }
};

}  // namespace

TEST(SimPty, ModemDialsCarriesFramesAndHangsUpOnDTR) {
    for (bool echo : {false, true}) {
        SCOPED_TRACE(echo ? "echo" : "no echo");
        ModemRig r(echo);
        ASSERT_NE(r.view, nullptr);
        EXPECT_FALSE(r.pty.carrier());
        for (int call = 1; call <= 2; ++call) {
            SCOPED_TRACE(call);
            ASSERT_EQ(TRV_ModemDial(r.dev, 1), 0u);
            EXPECT_EQ(r.status(), TARVIK_STATUS_MODEM_CONNECTED);
            EXPECT_TRUE(r.pty.carrier());
            EXPECT_EQ(run(r.view, 14), 0u);
            EXPECT_EQ(run(r.view, 1161), 0u);  // a long command, then busy polling
            EXPECT_EQ(run(r.view, 15), 0u);
            ASSERT_EQ(TRV_ModemDisconnect(r.dev, 1), 0u);
            EXPECT_EQ(r.status(), TARVIK_STATUS_MODEM_IDLE);
            EXPECT_FALSE(r.pty.carrier());
        }
        EXPECT_EQ(r.reg.stats().connections, 2u);  // a session per call
        EXPECT_EQ(r.reg.stats().errorAnswers, 0u);
        EXPECT_TRUE(r.log.has("SIM: MODEM Command: ATQ0V1\n"));
        EXPECT_TRUE(r.log.has("SIM: MODEM Answer: CONNECT 9600\n"));
        EXPECT_TRUE(r.log.has("SIM: MODEM Hung up (DTR dropped)\n"));
    }
}

TEST(SimPty, ModemIgnoringDTRIsHungUpByTheEscapeAndATH0) {
    ModemRig r(false, false);
    ASSERT_EQ(TRV_ModemDial(r.dev, 1), 0u);
    EXPECT_EQ(run(r.view, 14), 0u);
    ASSERT_EQ(TRV_ModemDisconnect(r.dev, 1), 0u);
    EXPECT_FALSE(r.pty.carrier());
    EXPECT_TRUE(r.log.has("SIM: MODEM Escape: command mode, the call stays up\n"));
    EXPECT_TRUE(r.log.has("SIM: MODEM Hung up (ATH)\n"));

    // The register ends the next call: the modem says NO CARRIER, the
    // carrier drops and the library reports the lost connection.
    ASSERT_EQ(TRV_ModemDial(r.dev, 1), 0u);
    r.reg.dropConnections();
    EXPECT_TRUE(eventually([&] { return r.status() == TARVIK_STATUS_MODEM_CONNECTIONLOST; }));
    EXPECT_FALSE(r.pty.carrier());
}

TEST(SimPty, DialAnswersBecomeTheLibrarysModemStatuses) {
    ModemRig r;
    const std::pair<DialAnswer, TARVIK_STATUS> cases[] = {
        {DialAnswer::NoCarrier, TARVIK_STATUS_MODEM_NOCARRIER},
        {DialAnswer::NoDialtone, TARVIK_STATUS_MODEM_NODIALTONE},
        {DialAnswer::Busy, TARVIK_STATUS_MODEM_OTHERERROR},
        {DialAnswer::Silent, TARVIK_STATUS_MODEM_NOMODEM},
        {DialAnswer::Connect, 0},
    };
    for (const auto& [answer, status] : cases) {
        SCOPED_TRACE(dialAnswerName(answer));
        r.pty.setDialAnswer(answer);
        EXPECT_EQ(TRV_ModemDial(r.dev, 1), status);
        EXPECT_EQ(r.pty.carrier(), status == 0);
    }
    EXPECT_EQ(run(r.view, 14), 0u);
    EXPECT_EQ(r.reg.stats().connections, 1u);
}

// ---------------------------------------------------------------- the program

TEST(SimPty, ProgramServesAModemOnALinkedPty) {
    const std::string exe = std::string(TARVIK_BINARY_DIR) + "/trvsim";
    if (access(exe.c_str(), X_OK) != 0) GTEST_SKIP() << "trvsim not built";
    const std::string log = std::string(TARVIK_BINARY_DIR) + "/test_sim_pty_program.log";
    const std::string link = std::string(TARVIK_BINARY_DIR) + "/test_sim_pty_program.link";
    ::unlink(link.c_str());
    FILE* f = nullptr;
    const pid_t pid = trvsim::test::spawnTrvsim(
        exe, {"--no-tcp", "--modem-echo", "--modem-guard-ms", "50", "--pty-link", link, "--log", log}, &f);
    ASSERT_GT(pid, 0);
    char slave[256] = {};
    ASSERT_EQ(fscanf(f, "pty %255s", slave), 1);  // the first line without TCP

    const int fd = ::open(link.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    // Reads until `want` has arrived or a second passed.
    auto expect = [fd](const std::string& send, const std::string& want) {
        EXPECT_EQ(::write(fd, send.data(), send.size()), static_cast<ssize_t>(send.size()));
        std::string got;
        const auto end = Clock::now() + milliseconds(1000);
        while (got.find(want) == std::string::npos && Clock::now() < end) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            char b[256];
            const ssize_t n = ::read(fd, b, sizeof b);
            if (n > 0) got.append(b, static_cast<size_t>(n));
        }
        EXPECT_NE(got.find(want), std::string::npos) << got;
    };
    expect("AT\r", "AT\r\r\nOK\r\n");
    expect("ATDT1\r", "ATDT1\r\r\nCONNECT 9600\r\n");
    ::close(fd);  // hangs up

    std::string all;
    ASSERT_TRUE(eventually([&] {
        std::ifstream in(log);
        std::stringstream s;
        s << in.rdbuf();
        all = s.str();
        return all.find("SIM: MODEM Hung up (port closed)") != std::string::npos;
    })) << all;
    kill(pid, SIGTERM);
    int st = 0;
    ASSERT_EQ(waitpid(pid, &st, 0), pid);
    fclose(f);
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
    struct stat sb{};
    EXPECT_NE(::lstat(link.c_str(), &sb), 0);
    std::remove(log.c_str());
}

// A pty has no modem lines: the port's own line reading cannot see a
// carrier, which must not count as a lost one, and the hang-up falls back to
// "+++" and "ATH0".
TEST(SimPty, ModemOnAPortWithoutModemLines) {
    Register reg;
    PtyServer pty(reg, ModemRig::options(false));
    const std::string slave = pty.start();
    ASSERT_FALSE(slave.empty());
    auto* rs = new trv::TRV_RS232Device();  // the real line access
    const TARVIK_HANDLE dev = rs->handle();
    uint8_t on = 1;
    TRV_SetDeviceParam(dev, TARVIK_PARAM_MODEMMODE, &on);
    TRV_SetDeviceParam(dev, TARVIK_PARAM_MODEMCALL, const_cast<char*>("ATDT123"));
    const std::string port = slave + ",9600,8,N,1,N";
    TRV_SetDeviceParam(dev, TARVIK_PARAM_COMPARAMS, const_cast<char*>(port.c_str()));
    trv::ModemTimings t;
    t.dtrHangupMs = 200;
    t.guardMs = 250;
    rs->setModemTimings(t);
    TARVIK_HANDLE view = TRV_OpenDevice(dev);
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(TRV_ModemDial(dev, 1), 0u);
    std::this_thread::sleep_for(milliseconds(300));  // several quiet periods
    EXPECT_EQ(TRV_ModemStatus(dev), TARVIK_STATUS_MODEM_CONNECTED);
    EXPECT_EQ(run(view, 14), 0u);
    EXPECT_EQ(TRV_ModemDisconnect(dev, 1), 0u);
    EXPECT_FALSE(pty.carrier());
    TRV_CloseDevice(view);
    TRV_DestroyDeviceHandle(dev);
    pty.stop();
}
