// The dial-up modem of a serial device: the modem line path of the
// receiver, the application's calls (dial, hang up, status) and the state
// machine that the sender thread steps through while no connection is up.
//
// Every modem action and state change happens on the sender thread; the
// application's calls only set request flags and watch the state, and the
// receiver only stores lines and sets the lost-carrier flag. Waits for the
// modem's answers look at the sender's stop flag at least every 100 ms.
#include <algorithm>
#include <thread>

#include "trvlib_devicers232.h"

namespace trv {

namespace {

std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

int msLeft(Clock::time_point deadline) {
    const auto d = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return d > 0 ? static_cast<int>(d) : 0;
}

}  // namespace

// ---------------------------------------------------------------- modem line path

void TRV_RS232Device::modemLineBytes(const uint8_t* b, size_t n) {
    // Modem answers are a few dozen characters; text that never ends its
    // line is dropped rather than collected without bound.
    constexpr size_t kMaxLine = 1024;
    FIFO& lines = receiveBuffer();
    lines.push(b, n);
    Log(LOG_DEVICE, 14, "DEVICE_RS232: Data received MODEM: ", n);
    std::string line;
    while (lines.nextLine(line)) {
        Log(LOG_FRAMES, 6, "DEVICE_RS232: LINE Received : ", line);
        // Hayes answers come framed in CR LF, so blank lines are no answers.
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        if (line.size() > kMaxLine) line.resize(kMaxLine);
        {
            MutexLock lk(modemBufferMutex);
            modemBuffer = upper(line);
        }
        modemBufferReady.post();
    }
    if (lines.size() > kMaxLine) {
        Log(LOG_RS232, 8, "DEVICE_RS232: Dropped overlong modem line: ", lines.size());
        lines.flush();
    }
}

// ---------------------------------------------------------------- modem API

TARVIK_STATUS TRV_RS232Device::ModemDial(int wait) {
    if (!modemMode.load()) return TARVIK_STATUS_NOTMODEM;
    const int st = modemState.load();
    if (st != MODEM_STATE_IDLE && st != MODEM_STATE_DISCONN && st != MODEM_STATE_ERROR)
        return TARVIK_STATUS_MODEM_BUSY;
    const uint32_t before = modemAttempts.load();
    int expected = 0;
    if (!modemReqCall.compare_exchange_strong(expected, 1)) return TARVIK_STATUS_MODEM_BUSY;
    if (!wait) return TARVIK_STATUS_OK;
    const auto deadline = Clock::now() + std::chrono::seconds(180);
    while (Clock::now() < deadline && running.load()) {
        // The sender moves the state away first and counts the attempt
        // after, so an old ERROR is never taken for this call's outcome.
        if (modemAttempts.load() != before) {
            const int s = modemState.load();
            if (s == MODEM_STATE_CONNECTED) return TARVIK_STATUS_OK;
            if (s == MODEM_STATE_ERROR) return static_cast<TARVIK_STATUS>(modemError.load());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
    return TARVIK_STATUS_MODEM_OTHERERROR;
}

TARVIK_STATUS TRV_RS232Device::ModemDisconnect(int wait) {
    if (!modemMode.load()) return TARVIK_STATUS_NOTMODEM;
    if (modemState.load() != MODEM_STATE_CONNECTED) return TARVIK_STATUS_MODEM_NOTCONNECTED;
    modemReqDisconnect = 1;
    if (!wait) return TARVIK_STATUS_OK;
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (Clock::now() < deadline && running.load()) {
        const int s = modemState.load();
        if (s == MODEM_STATE_DISCONN) return TARVIK_STATUS_OK;
        if (s == MODEM_STATE_ERROR) return static_cast<TARVIK_STATUS>(modemError.load());
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
    return TARVIK_STATUS_MODEM_OTHERERROR;
}

TARVIK_STATUS TRV_RS232Device::ModemStatus() {
    if (!modemMode.load()) return TARVIK_STATUS_NOTMODEM;
    switch (modemState.load()) {
    case MODEM_STATE_IDLE:
    case MODEM_STATE_DISCONN:
        return modemReqCall.load() ? TARVIK_STATUS_MODEM_CONNECTING : TARVIK_STATUS_MODEM_IDLE;
    case MODEM_STATE_AT1:
    case MODEM_STATE_AT2:
    case MODEM_STATE_ATINIT:
    case MODEM_STATE_ATDIAL:
        return TARVIK_STATUS_MODEM_CONNECTING;
    case MODEM_STATE_CONNECTED:
        return TARVIK_STATUS_MODEM_CONNECTED;
    case MODEM_STATE_DTR:
    case MODEM_STATE_PLUS:
    case MODEM_STATE_PLUS2:
        return TARVIK_STATUS_MODEM_DISCONNECTING;
    case MODEM_STATE_ERROR:
        return modemReqCall.load() ? TARVIK_STATUS_MODEM_CONNECTING
                                   : static_cast<TARVIK_STATUS>(modemError.load());
    default:
        return TARVIK_STATUS_MODEM_OTHERERROR;
    }
}

// ---------------------------------------------------------------- modem state machine

bool TRV_RS232Device::SenderPrePass(Thread& self) {
    if (!modemMode.load()) return false;
    if (modemState.load() != MODEM_STATE_CONNECTED) {
        modemStep(self);
        return true;  // no frames without a connection
    }
    if (modemDCDdrop.load()) {
        modemDCDdrop = 0;
        modemError = TARVIK_STATUS_MODEM_CONNECTIONLOST;
        modemState = MODEM_STATE_ERROR;
        log(10, "Detected lost carrier, going to MODEM_STATE_ERROR, TARVIK_STATUS_MODEM_CONNECTIONLOST");
        return true;
    }
    if (modemReqDisconnect.load()) {
        modemReqDisconnect = 0;
        modemState = MODEM_STATE_DTR;
        log(10, "Requested disconnection, going to disconnect");
        return true;
    }
    return false;
}

void TRV_RS232Device::jump(int state, const std::string& msg) {
    modemState = state;
    log(10, msg);
}

void TRV_RS232Device::fail(int error, const std::string& msg) {
    modemError = error;
    modemState = MODEM_STATE_ERROR;
    log(10, msg);
}

void TRV_RS232Device::abandonStep() {
    // The port is closing, which drops DTR: whatever was under way is gone.
    const int s = modemState.load();
    if (s == MODEM_STATE_DTR || s == MODEM_STATE_PLUS || s == MODEM_STATE_PLUS2) modemState = MODEM_STATE_DISCONN;
    else modemState = MODEM_STATE_IDLE;
}

void TRV_RS232Device::drainLines(Thread& self) {
    // Lines that came before the command do not answer it. Bounded, so a
    // modem that chatters without pause cannot hold the sender here.
    const auto until = Clock::now() + std::chrono::milliseconds(500);
    while (!self.signalled() && Clock::now() < until && modemBufferReady.wait(5)) {
    }
}

TRV_RS232Device::Wait TRV_RS232Device::awaitLine(Thread& self, int ms, const std::string& sent,
                                                  std::string& line) {
    auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    bool echoSeen = false;
    while (true) {
        if (self.signalled()) return Wait::Stopped;
        const int left = msLeft(deadline);
        if (left <= 0) return Wait::None;
        if (!modemBufferReady.wait(std::min(left, 100))) continue;
        {
            MutexLock lk(modemBufferMutex);
            line = modemBuffer;
        }
        if (!sent.empty() && line == sent) {
            // The modem's echo of the command: the answer is still to come.
            // Only the first echo buys the full time again.
            if (!echoSeen) deadline = Clock::now() + std::chrono::milliseconds(ms);
            echoSeen = true;
            continue;
        }
        return Wait::Line;
    }
}

void TRV_RS232Device::modemStep(Thread& self) {
    switch (modemState.load()) {
    case MODEM_STATE_IDLE:
    case MODEM_STATE_DISCONN:
    case MODEM_STATE_ERROR:
        stepIdle(self);
        break;
    case MODEM_STATE_AT1:
        stepAT(self, false);
        break;
    case MODEM_STATE_AT2:
        stepAT(self, true);
        break;
    case MODEM_STATE_ATINIT:
        stepInit(self);
        break;
    case MODEM_STATE_ATDIAL:
        stepDial(self);
        break;
    case MODEM_STATE_DTR:
        stepDTR(self);
        break;
    case MODEM_STATE_PLUS:
        stepPlus(self, false);
        break;
    case MODEM_STATE_PLUS2:
        stepPlus(self, true);
        break;
    default:
        // Not a state of ours (answering is never entered): start over.
        modemState = MODEM_STATE_IDLE;
        self.sleep_or_stop(50);
        break;
    }
}

void TRV_RS232Device::stepIdle(Thread& self) {
    if (modemReqCall.load()) {
        modemError = 0;
        modemReqDisconnect = 0;
        modemDCDdrop = 0;
        modemState = MODEM_STATE_AT1;
        modemReqCall = 0;
        ++modemAttempts;  // after the state: see ModemDial
        log(10, "Call request received, Jump to state: MODEM_STATE_AT1");
    }
    modemRING = 0;
    self.sleep_or_stop(50);
}

void TRV_RS232Device::stepAT(Thread& self, bool second) {
    log(10, second ? "In state: MODEM_STATE_AT2" : "In state: MODEM_STATE_AT1");
    if (!second) {
        setDTR(true);
        if (self.sleep_or_stop(250)) return abandonStep();
    }
    drainLines(self);
    if (SendLine("AT\r") != TARVIK_STATUS_OK) {
        if (self.signalled()) return abandonStep();
        return fail(TARVIK_STATUS_MODEM_NOMODEM,
                    "Could not send AT cmd, Jump to state: MODEM_STATE_ERROR, TARVIK_STATUS_MODEM_NOMODEM");
    }
    std::string line;
    switch (awaitLine(self, timings.atAnswerMs, "AT", line)) {
    case Wait::Stopped:
        return abandonStep();
    case Wait::Line:
        if (line.find("OK") != std::string::npos) {
            self.sleep_or_stop(10);
            return jump(MODEM_STATE_ATINIT, "Received OK, Jump to state: MODEM_STATE_ATINIT");
        }
        if (!second) return jump(MODEM_STATE_AT2, "Wrong answer, Jump to state: MODEM_STATE_AT2");
        return fail(TARVIK_STATUS_MODEM_NOMODEM,
                    "Received other, Jump to state: MODEM_STATE_ERROR, TARVIK_STATUS_MODEM_NOMODEM");
    case Wait::None:
        if (!second) {
            jump(MODEM_STATE_AT2, "No answer, Jump to state: MODEM_STATE_AT2");
            self.sleep_or_stop(50);
            return;
        }
        return fail(TARVIK_STATUS_MODEM_NOMODEM,
                    "No answer, Jump to state: MODEM_STATE_ERROR, TARVIK_STATUS_MODEM_NOMODEM");
    }
}

void TRV_RS232Device::stepInit(Thread& self) {
    log(10, "In state: MODEM_STATE_ATINIT");
    std::string init;
    {
        MutexLock lk(paramMutex);
        init = modemInit;
    }
    if (init.empty()) {
        jump(MODEM_STATE_ATDIAL, "No init string set, Jump to state: MODEM_STATE_ATDIAL");
        self.sleep_or_stop(10);
        return;
    }
    drainLines(self);
    if (SendLine(init + "\r") != TARVIK_STATUS_OK) {
        if (self.signalled()) return abandonStep();
        return fail(TARVIK_STATUS_MODEM_NOMODEM,
                    "Could not send init string, Jump to state: MODEM_STATE_ERROR, TARVIK_STATUS_MODEM_NOMODEM");
    }
    std::string line;
    switch (awaitLine(self, timings.initAnswerMs, init, line)) {
    case Wait::Stopped:
        return abandonStep();
    case Wait::Line:
        if (line.find("OK") != std::string::npos) {
            self.sleep_or_stop(10);
            return jump(MODEM_STATE_ATDIAL, "Received OK, Jump to state: MODEM_STATE_ATDIAL");
        }
        return fail(TARVIK_STATUS_MODEM_BADINIT,
                    "Received other, Jump to state: MODEM_STATE_ERROR, TARVIK_STATUS_MODEM_BADINIT");
    case Wait::None:
        return fail(TARVIK_STATUS_MODEM_NOMODEM,
                    "No answer, Jump to state: MODEM_STATE_ERROR, TARVIK_STATUS_MODEM_NOMODEM");
    }
}

void TRV_RS232Device::stepDial(Thread& self) {
    log(10, "In state: MODEM_STATE_ATDIAL");
    std::string dial;
    {
        MutexLock lk(paramMutex);
        dial = modemCall;
    }
    if (dial.empty())
        return fail(TARVIK_STATUS_MODEM_BADDIAL,
                    "No dial string, Jump to state: MODEM_STATE_ERROR, TARVIK_STATUS_MODEM_BADDIAL");
    drainLines(self);
    if (SendLine(dial + "\r") != TARVIK_STATUS_OK) {
        if (self.signalled()) return abandonStep();
        return fail(TARVIK_STATUS_MODEM_NOMODEM,
                    "Could not send dial string, Jump to state: MODEM_STATE_ERROR, TARVIK_STATUS_MODEM_NOMODEM");
    }
    std::string line;
    switch (awaitLine(self, timings.dialAnswerMs, dial, line)) {
    case Wait::Stopped:
        return abandonStep();
    case Wait::Line:
        if (line.find("CONNECT") != std::string::npos)
            return jump(MODEM_STATE_CONNECTED, "Received CONNECT, Jump to state: MODEM_STATE_CONNECTED");
        if (line.find("NO DIALTONE") != std::string::npos)
            return fail(TARVIK_STATUS_MODEM_NODIALTONE,
                        "Received NO DIALTONE, Jump to state: MODEM_STATE_ERROR, TARVIK_STATUS_MODEM_NODIALTONE");
        if (line.find("NO CARRIER") != std::string::npos)
            return fail(TARVIK_STATUS_MODEM_NOCARRIER,
                        "Received NO CARRIER, Jump to state: MODEM_STATE_ERROR, TARVIK_STATUS_MODEM_NOCARRIER");
        return fail(TARVIK_STATUS_MODEM_OTHERERROR,
                    "Received other, Jump to state: MODEM_STATE_ERROR, TARVIK_STATUS_MODEM_OTHERERROR");
    case Wait::None:
        return fail(TARVIK_STATUS_MODEM_NOMODEM,
                    "No answer, Jump to state: MODEM_STATE_ERROR, TARVIK_STATUS_MODEM_NOMODEM");
    }
}

void TRV_RS232Device::stepDTR(Thread& self) {
    log(10, "In state: MODEM_STATE_DTR");
    modemReqDisconnect = 0;
    setDTR(false);
    const auto start = Clock::now();
    while (true) {
        if (self.sleep_or_stop(100)) {
            abandonStep();
            break;
        }
        if (Clock::now() - start >= std::chrono::milliseconds(timings.dtrHangupMs)) {
            jump(MODEM_STATE_PLUS, "15 sec timeout, Jump to state: MODEM_STATE_PLUS");
            break;
        }
        if (modemDCDdrop.load() || !carrier()) {
            jump(MODEM_STATE_DISCONN, "DCD dropped, Jump to state: MODEM_STATE_DISCONN");
            break;
        }
    }
    setDTR(true);
}

void TRV_RS232Device::stepPlus(Thread& self, bool second) {
    log(10, second ? "In state: MODEM_STATE_PLUS2" : "In state: MODEM_STATE_PLUS");
    // A failure moves on to the second attempt, or after it ends the hang-up.
    auto failed = [&](const char* first, const char* last) {
        if (!second) {
            jump(MODEM_STATE_PLUS2, first);
            self.sleep_or_stop(50);
        } else {
            fail(TARVIK_STATUS_MODEM_ERRORONDISCONNECT, last);
        }
    };
    if (self.sleep_or_stop(timings.guardMs)) return abandonStep();
    if (SendLine("+++") != TARVIK_STATUS_OK) {
        if (self.signalled()) return abandonStep();
        return failed("Could not send +++, Jump to state: MODEM_STATE_PLUS2",
                      "Could not send +++, Jump to state: MODEM_STATE_ERROR, TARVIK_STATUS_MODEM_ERRORONDISCONNECT");
    }
    if (self.sleep_or_stop(timings.guardMs)) return abandonStep();
    drainLines(self);
    if (SendLine("ATH0\r") != TARVIK_STATUS_OK) {
        if (self.signalled()) return abandonStep();
        return failed("Could not send ATH0 Jump to state: MODEM_STATE_PLUS2",
                      "Could not send ATH0, Jump to state: MODEM_STATE_ERROR, TARVIK_STATUS_MODEM_ERRORONDISCONNECT");
    }
    std::string line;
    switch (awaitLine(self, timings.hangupAnswerMs, "ATH0", line)) {
    case Wait::Stopped:
        return abandonStep();
    case Wait::Line:
        if (line.find("OK") != std::string::npos) {
            jump(MODEM_STATE_DISCONN, "Received OK, Jump to state: MODEM_STATE_DISCONN");
            self.sleep_or_stop(10);
            return;
        }
        return failed("Received other, Jump to state: MODEM_STATE_PLUS2",
                      "Received other, Jump to state: MODEM_STATE_ERROR, TARVIK_STATUS_MODEM_ERRORONDISCONNECT");
    case Wait::None:
        return failed("No answer, Jump to state: MODEM_STATE_PLUS2",
                      "No answer, Jump to state: MODEM_STATE_ERROR, TARVIK_STATUS_MODEM_ERRORONDISCONNECT");
    }
}

}  // namespace trv
