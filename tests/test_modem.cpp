// Dial-up modem mode over a pty: a fake Hayes modem on the master side, a
// fake DCD/DTR pair in place of the modem lines a pty does not have, and
// shortened dialogue time limits so a hang-up takes a second, not 15.
#include <gtest/gtest.h>

#include "pty_far_end.h"

using namespace trv;
using namespace trv::test;
using Clock = std::chrono::steady_clock;

namespace {

ModemTimings quick() {
    ModemTimings t;
    t.atAnswerMs = 1000;
    t.initAnswerMs = 500;
    t.dialAnswerMs = 2000;
    t.hangupAnswerMs = 300;
    t.dtrHangupMs = 300;
    t.guardMs = 100;
    return t;
}

// One serial device in modem mode with a modem on the other end of a pty.
struct ModemLine {
    Pty pty;
    std::shared_ptr<FakeLines> lines = std::make_shared<FakeLines>();
    FarEnd modem{pty.master, true};
    TARVIK_HANDLE dev = nullptr;  // the device below, as a handle
    TRV_RS232Device* rs = nullptr;
    TARVIK_HANDLE view = nullptr;

    // dtrHangsUp: the modem ends the call when DTR drops (a well-behaved one).
    explicit ModemLine(bool dtrHangsUp = true) {
        modem.lines = lines;
        if (dtrHangsUp)
            lines->onDTR = [this](bool on) {
                if (!on) modem.hangUp();
            };
        rs = new TRV_RS232Device(lines);
        dev = handleOf(rs);
    }
    ~ModemLine() {
        if (view) TRV_CloseDevice(view);
        TRV_DestroyDeviceHandle(dev);
    }
    bool open(const char* dial = "atdt123", const char* init = "ate0v1", ModemTimings t = quick()) {
        uint8_t on = 1;
        TRV_SetDeviceParam(dev, TARVIK_PARAM_MODEMMODE, &on);
        TRV_SetDeviceParam(dev, TARVIK_PARAM_MODEMINIT, const_cast<char*>(init));
        TRV_SetDeviceParam(dev, TARVIK_PARAM_MODEMCALL, const_cast<char*>(dial));
        const std::string port = pty.slave + ",19200,8,N,1,H";
        TRV_SetDeviceParam(dev, TARVIK_PARAM_COMPARAMS, const_cast<char*>(port.c_str()));
        rs->setModemTimings(t);
        modem.start();
        view = TRV_OpenDevice(dev);
        return view != nullptr;
    }
    TARVIK_HANDLE post(uint16_t cmd) {
        TARVIK_HANDLE r = TRV_CreateRequest(view, cmd);
        EXPECT_EQ(TRV_PostRequest(r, 0), 0u);
        return r;
    }
    TARVIK_STATUS status() { return TRV_ModemStatus(dev); }
};

long msSince(Clock::time_point t) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

}  // namespace

TEST(Modem, DialsWithAndWithoutEchoAndCarriesFrames) {
    for (bool echo : {false, true}) {
        SCOPED_TRACE(echo ? "echo" : "no echo");
        ModemLine L;
        L.modem.echo = echo;
        ASSERT_TRUE(L.open());
        EXPECT_EQ(L.status(), TARVIK_STATUS_MODEM_IDLE);

        // Posted before the call: held until the line is up.
        TARVIK_HANDLE r = L.post(14);
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        EXPECT_EQ(L.modem.frameCount(), 0u);

        ASSERT_EQ(TRV_ModemDial(L.dev, 1), 0u);
        EXPECT_EQ(L.status(), TARVIK_STATUS_MODEM_CONNECTED);
        EXPECT_EQ(L.modem.commands(), (std::vector<std::string>{"AT", "ATE0V1", "ATDT123"}));
        ASSERT_EQ(TRV_WaitForRequestCompleted(r, 3000), 0u);
        EXPECT_EQ(TRV_GetRequestStatus(r), 0u);
        TRV_DestroyRequest(r);
        EXPECT_EQ(TRV_ModemDial(L.dev, 0), TARVIK_STATUS_MODEM_BUSY);

        if (echo) {
            // Closing hangs up first.
            ASSERT_EQ(TRV_CloseDevice(L.view), 0u);
            L.view = nullptr;
            EXPECT_GE(L.lines->dtrDrops.load(), 1);
            EXPECT_FALSE(L.modem.inDataMode());
        } else {
            ASSERT_EQ(TRV_ModemDisconnect(L.dev, 1), 0u);
            EXPECT_EQ(L.status(), TARVIK_STATUS_MODEM_IDLE);
            EXPECT_TRUE(L.lines->dtr.load());  // raised again after the hang-up
            EXPECT_EQ(TRV_ModemDisconnect(L.dev, 0), TARVIK_STATUS_MODEM_NOTCONNECTED);
        }
    }
}

TEST(Modem, RefusalsAndAMissingDialString) {
    // Not a modem: a TCP device, a serial device without modem mode.
    TARVIK_HANDLE tcp = TRV_CreateDeviceHandle(TARVIK_DEVICE_ETHER);
    TARVIK_HANDLE plain = TRV_CreateDeviceHandle(TARVIK_DEVICE_RS232);
    for (TARVIK_HANDLE h : {tcp, plain}) {
        EXPECT_EQ(TRV_ModemDial(h, 0), TARVIK_STATUS_NOTMODEM);
        EXPECT_EQ(TRV_ModemDisconnect(h, 0), TARVIK_STATUS_NOTMODEM);
        EXPECT_EQ(TRV_ModemStatus(h), TARVIK_STATUS_NOTMODEM);
        EXPECT_EQ(TRV_ModemWrite(h, "AT\r"), TARVIK_STATUS_NOTMODEM);
        TRV_DestroyDeviceHandle(h);
    }
    EXPECT_EQ(TRV_ModemStatus(nullptr), TARVIK_STATUS_NULLHANDLE);

    ModemLine L;
    ASSERT_TRUE(L.open(""));
    EXPECT_EQ(TRV_ModemDisconnect(L.dev, 1), TARVIK_STATUS_MODEM_NOTCONNECTED);
    EXPECT_EQ(TRV_ModemWrite(L.dev, "ATI3\r"), 0u);
    EXPECT_TRUE(FarEnd::eventually([&] { return L.modem.sawCommand("ATI3"); }));

    EXPECT_EQ(TRV_ModemDial(L.dev, 1), TARVIK_STATUS_MODEM_BADDIAL);
    EXPECT_TRUE(L.modem.sawCommand("AT"));  // failed after the AT exchange
    EXPECT_EQ(L.status(), TARVIK_STATUS_MODEM_BADDIAL);

    EXPECT_EQ(TRV_ModemDial(L.dev, 0), 0u);
    EXPECT_EQ(TRV_ModemDial(L.dev, 0), TARVIK_STATUS_MODEM_BUSY);  // one call at a time
    EXPECT_EQ(L.status(), TARVIK_STATUS_MODEM_CONNECTING);
    EXPECT_TRUE(FarEnd::eventually([&] { return L.status() == TARVIK_STATUS_MODEM_BADDIAL; }));
}

TEST(Modem, LostCarrierEndsTheConnection) {
    ModemLine L;
    ASSERT_TRUE(L.open());
    ASSERT_EQ(TRV_ModemDial(L.dev, 1), 0u);
    L.lines->dcd = false;
    ASSERT_TRUE(FarEnd::eventually([&] { return L.status() == TARVIK_STATUS_MODEM_CONNECTIONLOST; }));
    // No frames without a connection.
    TARVIK_HANDLE r = L.post(14);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(L.modem.frameCount(), 0u);
    EXPECT_EQ(TRV_GetRequestState(r), TARVIK_STATE_PENDING);
    TRV_DestroyRequest(r);
}

TEST(Modem, HangUpFallsBackToTheEscapeSequence) {
    ModemLine L(false);  // this modem ignores DTR
    std::atomic<int> hangups{0};
    std::atomic<bool> answerHangup{true};
    L.modem.answer = [&](const std::string& c) -> std::string {
        if (c == "ATH0") {
            if (!answerHangup) return "";
            if (hangups++ == 0) return "ERROR";
            L.modem.hangUp();
            return "OK";
        }
        if (c.rfind("ATD", 0) == 0) return "CONNECT 9600";
        return "OK";
    };
    ASSERT_TRUE(L.open());
    ASSERT_EQ(TRV_ModemDial(L.dev, 1), 0u);
    // DTR does nothing, the first ATH0 is refused, the second attempt works.
    ASSERT_EQ(TRV_ModemDisconnect(L.dev, 1), 0u);
    auto cmds = L.modem.commands();
    ASSERT_GE(cmds.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(cmds.end() - 3, cmds.end()),
              (std::vector<std::string>{"+++", "ATH0", "ATH0"}));
    EXPECT_EQ(L.status(), TARVIK_STATUS_MODEM_IDLE);
    EXPECT_GE(L.lines->dtrDrops.load(), 1);

    // A modem that never confirms the hang-up.
    answerHangup = false;
    ASSERT_EQ(TRV_ModemDial(L.dev, 1), 0u);
    EXPECT_EQ(TRV_ModemDisconnect(L.dev, 1), TARVIK_STATUS_MODEM_ERRORONDISCONNECT);
    EXPECT_EQ(L.status(), TARVIK_STATUS_MODEM_ERRORONDISCONNECT);
}

TEST(Modem, EachDialEndsInItsOwnOutcome) {
    // Per attempt, what the modem says to "AT", to the init string and to
    // the dial string ("" is silence).
    struct Attempt {
        std::string at, init, dial;
        TARVIK_STATUS outcome;
    };
    const std::vector<Attempt> script = {
        {"#", "", "", TARVIK_STATUS_MODEM_NOMODEM},  // an endless line, then nonsense
        {"OK", "ERROR", "", TARVIK_STATUS_MODEM_BADINIT},
        {"OK", "OK", "BUSY", TARVIK_STATUS_MODEM_OTHERERROR},
        {"OK", "OK", "NO CARRIER", TARVIK_STATUS_MODEM_NOCARRIER},
        {"OK", "OK", "NO DIALTONE", TARVIK_STATUS_MODEM_NODIALTONE},  // not the previous 105
        {"OK", "OK", "", TARVIK_STATUS_MODEM_NOMODEM},
        {"OK", "OK", "CONNECT 2400", 0},
    };
    ModemLine L;
    std::atomic<size_t> attempt{0};
    std::atomic<int> ats{0};
    L.modem.answer = [&](const std::string& c) -> std::string {
        const Attempt& a = script[attempt];
        if (c == "AT" && a.at == "#") {
            if (ats++ > 0) return "XYZZY";
            L.modem.sendText(std::string(5000, '#'));  // far more than any line, never ended
            return "";
        }
        if (c == "AT") return a.at;
        if (c == "ATE0V1") return a.init;
        return a.dial;
    };
    ASSERT_TRUE(L.open());
    const auto t0 = Clock::now();
    for (size_t i = 0; i < script.size(); ++i) {
        attempt = i;
        EXPECT_EQ(TRV_ModemDial(L.dev, 1), script[i].outcome) << i;
        EXPECT_EQ(L.status(), script[i].outcome ? script[i].outcome : TARVIK_STATUS_MODEM_CONNECTED) << i;
    }
    EXPECT_LE(msSince(t0), 20000);
}

TEST(Modem, ClosingWhileDiallingReturnsQuickly) {
    ModemLine L;
    L.modem.answer = [](const std::string& c) -> std::string { return c.rfind("ATD", 0) == 0 ? "" : "OK"; };
    ModemTimings t = quick();
    t.dialAnswerMs = ModemTimings{}.dialAnswerMs;  // the full two minutes
    ASSERT_TRUE(L.open("atdt123", "ate0v1", t));
    ASSERT_EQ(TRV_ModemDial(L.dev, 0), 0u);
    ASSERT_TRUE(FarEnd::eventually([&] { return L.modem.sawCommand("ATDT123"); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto t0 = Clock::now();
    ASSERT_EQ(TRV_CloseDevice(L.view), 0u);
    L.view = nullptr;
    EXPECT_LE(msSince(t0), 1500);
    EXPECT_EQ(L.status(), TARVIK_STATUS_MODEM_IDLE);  // the abandoned call is gone
}

TEST(Modem, AHangUpAtCloseDoesNotHoldTheDevice) {
    ModemLine L(false);  // ignores DTR: the hang-up takes the escape sequence
    ModemTimings t = quick();
    t.dtrHangupMs = 1500;
    ASSERT_TRUE(L.open("atdt123", "ate0v1", t));
    ASSERT_EQ(TRV_ModemDial(L.dev, 1), 0u);
    std::atomic<bool> closed{false};
    std::thread closer([&] {
        EXPECT_EQ(TRV_CloseDevice(L.view), 0u);
        closed = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_FALSE(closed.load());  // still hanging up
    // Opening another view is not held up meanwhile, and the device cannot
    // be destroyed under the close.
    const auto t0 = Clock::now();
    TARVIK_HANDLE second = TRV_OpenDevice(L.dev);
    EXPECT_NE(second, nullptr);
    EXPECT_EQ(TRV_DestroyDeviceHandle(L.dev), TARVIK_STATUS_INUSE);
    EXPECT_LE(msSince(t0), 600);  // not the whole hang-up
    closer.join();
    EXPECT_EQ(L.status(), TARVIK_STATUS_MODEM_IDLE);  // hung up, still open
    L.view = second;
}
