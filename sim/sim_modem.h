// A Hayes-compatible dial-up modem between the line (the library's serial
// port) and the simulated register. Pure logic: the transport feeds it the
// bytes from the line with the time they arrived and writes what it returns;
// it never touches a descriptor or a clock of its own.
//
//   command mode    "AT..." lines ending in CR are answered "\r\nOK\r\n" and
//                   so on; characters are echoed while echo is on (E1).
//   online          after CONNECT: bytes go to the register, the register's
//                   bytes go to the line. "+++" with a guard time of silence
//                   before and after it returns to command mode (the call
//                   stays up: "ATO" goes back online, "ATH" hangs up).
//
// A pty has no DTR or DCD: a test that wants them wires its stand-in modem
// lines to PtyServer::carrier() and PtyServer::setDTR(), which end here in
// inCall() and hangUp().
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace trvsim {

// What the modem says to a dial command.
enum class DialAnswer {
    Connect,     // the configured CONNECT text; the call is up
    NoCarrier,   // "NO CARRIER"
    NoDialtone,  // "NO DIALTONE"
    Busy,        // "BUSY"
    Silent,      // nothing at all
};

// "connect", "nocarrier", "nodialtone", "busy", "silent".
bool parseDialAnswer(const std::string& word, DialAnswer& out);
const char* dialAnswerName(DialAnswer a);

struct ModemConfig {
    bool echo = false;                       // E1 at power-on and after ATZ
    DialAnswer dial = DialAnswer::Connect;
    std::string connectText = "CONNECT 9600";
    int guardMs = 1000;                      // escape guard time before and after "+++"
};

class HayesModem {
public:
    using Clock = std::chrono::steady_clock;
    enum class Mode { Command, Online, OnlineCommand };

    // What one step produced.
    struct Out {
        std::string line;           // to the line: echo and result codes
        std::vector<uint8_t> data;  // to the register (online only)
        bool connected = false;     // a call came up
        bool hungUp = false;        // the call ended
    };

    // log gets each state change and command, without a prefix.
    explicit HayesModem(ModemConfig cfg, std::function<void(const std::string&)> log = {});

    // Bytes from the line, arrived at `now`.
    void fromLine(const uint8_t* p, size_t n, Clock::time_point now, Out& out);
    // Time passing: ends the guard time after "+++", or gives back '+'
    // characters that turned out not to be an escape.
    void tick(Clock::time_point now, Out& out);
    // Milliseconds until tick() has something to do; -1 for nothing pending.
    int msUntilTick(Clock::time_point now) const;

    // The call ends without a word to the line: DTR dropped, port closed.
    void hangUp(const std::string& why, Out& out);
    // The far end hung up: "NO CARRIER" and command mode.
    void remoteHangUp(Out& out);

    void setDialAnswer(DialAnswer a) { cfg_.dial = a; }
    Mode mode() const { return mode_; }
    bool online() const { return mode_ == Mode::Online; }
    bool inCall() const { return mode_ != Mode::Command; }
    bool echo() const { return echo_; }

private:
    static constexpr size_t kMaxLine = 255;  // longer command lines get ERROR

    void commandByte(uint8_t b, Clock::time_point now, Out& out);
    void onlineByte(uint8_t b, Clock::time_point now, Out& out);
    void execute(const std::string& line, Clock::time_point now, Out& out);
    void result(const std::string& text, Out& out);
    void endCall(const std::string& why, Out& out);
    void log(const std::string& text) const {
        if (log_) log_(text);
    }

    ModemConfig cfg_;
    std::function<void(const std::string&)> log_;
    Mode mode_ = Mode::Command;
    bool echo_;
    std::string cmdLine_;
    bool overflow_ = false;
    // Escape detection while online: '+' held back after a guard time of
    // silence, and when the line last carried a byte.
    int plus_ = 0;
    Clock::time_point lastByte_{};
};

}  // namespace trvsim
