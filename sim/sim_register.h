// The simulated register: its state and the register's side of the frame
// dialogue, independent of how the bytes travel.
//
//   Register  one register: database, settings, busy state, faults, cipher,
//             pushed events. Thread-safe; shared by all connections.
//   Session   one byte stream to the register (a TCP connection, later a
//             pty): cuts frames out of the received bytes and returns the
//             bytes to send. Used by one thread at a time.
//
// A transport feeds Session::receive() with what it reads and writes the
// returned chunks; between reads it calls Session::poll() for frames the
// register sends on its own (card events, cipher setup, the final answer of
// a long command). serveStream() in sim_stream.h is that loop, written once.
//
// Lock order: Register::mu_ only; the wake callbacks that the register calls
// under it must not block or call back into the register.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "sim_state.h"
#include "trvlib_fifo.h"
#include "trvlib_frame.h"
#include "trvlib_protocol.h"

namespace trvsim {

using SteadyClock = std::chrono::steady_clock;

// Faults the register can be told to make. All off by default.
struct Faults {
    unsigned crcErrorEvery = 0;   // corrupt the CRC of every Nth final answer (0: never)
    double crcErrorRate = 0;      // or corrupt each final answer with this probability
    double transErrorRate = 0;    // answer a request frame with a transmission error with this probability
    uint16_t transErrorCode = trans::kInjected;
    unsigned dropEvery = 0;       // close the connection on every Nth request frame (0: never)
    size_t splitBytes = 0;        // send in chunks of at most this many bytes (0: whole frames)
    int chunkDelayMs = 0;         // pause before every chunk after the first of a frame
    int answerDelayMs = 0;        // pause between acknowledgement and final answer
    bool garbage = false;         // noise and a cancelled frame start (DLE STX .. DLE CAN) before each frame
    bool silent = false;          // take frames without answering at all
    uint32_t seed = 1;            // for the rates and the noise
};

struct Stats {
    uint64_t framesReceived = 0;   // request frames cut out of the stream
    uint64_t badCrcReceived = 0;   // ... of them with a wrong CRC
    uint64_t malformedReceived = 0;
    uint64_t framesSent = 0;       // every frame sent, events included
    uint64_t acks = 0;
    uint64_t answers = 0;          // final answers with the request's command
    uint64_t errorAnswers = 0;     // command 0
    uint64_t corruptedSent = 0;
    uint64_t cardEvents = 0;
    uint64_t cipherSetups = 0;
    uint64_t connections = 0;      // sessions ever started
    uint64_t drops = 0;            // connections closed by the register
    uint64_t answerMismatches = 0; // answers that no reader of the command table could read
    uint64_t requestMismatches = 0;  // requests refused as fitting no layout of the table (115)
    uint64_t execErrors = 0;       // other execution errors the commands' handlers raised
};

// A piece of output: bytes to write after waiting delayMs.
struct Chunk {
    std::vector<uint8_t> bytes;
    int delayMs = 0;
};
struct Output {
    std::vector<Chunk> chunks;
    bool drop = false;  // close the connection after writing the chunks
};

class Session;

// Outlives every Session and TcpServer that uses it.
class Register {
public:
    Register();
    ~Register();
    Register(const Register&) = delete;
    Register& operator=(const Register&) = delete;

    // ---- behaviour
    // How long the register stays busy after a long command (its final
    // answer comes when the time is up). Default 300 ms.
    void setBusyMs(int ms);
    int busyMs() const;
    // Send a card event every ms milliseconds (0: off).
    void setCardEveryMs(int ms);
    // Send a cipher setup (unenciphered) at the start of every connection
    // and encipher from then on; method 0 turns this off.
    void setCipherOnConnect(uint8_t method, const std::string& hexKey);
    // The register's unique number (fiscal memory status, 501).
    void setUniqueNumber(const std::string& number);
    // Rings up one receipt as a cashier would: an article line, a cash
    // payment and the finished receipt (three journal records). Returns its
    // receipt number.
    uint32_t ringUpReceipt();
    uint32_t lastReceipt() const;

    // ---- faults
    // Also reseeds the generator and restarts the counts of crcErrorEvery and dropEvery.
    void setFaults(const Faults& f);
    Faults faults() const;
    // The next n request frames get an error answer with this transmission
    // error instead of being executed (no acknowledgement).
    void failNextFrames(unsigned n, uint16_t transError = trans::kInjected);
    // The next n request frames get no answer at all.
    void silenceNextFrames(unsigned n);
    // Close every open connection now.
    void dropConnections();

    // ---- answers configured by a test; they take precedence over the
    // register's own handling of the command (busy rules still apply).
    void setAnswer(uint16_t cmd, Items values);
    void setError(uint16_t cmd, uint16_t execError, uint16_t transError = 0, uint16_t other = 0);
    void clearAnswer(uint16_t cmd);
    void clearAnswers();

    // ---- frames the register sends on its own, delivered by the next
    // connection that polls (at once to an open one).
    void pushCardEvent(const std::string& number, uint8_t type = 1);
    // Cipher setup (command 3) with a method (1 XOR, 2 additive) and a key in
    // hexadecimal. The frame itself travels under the old cipher; the frames
    // after it under the new one.
    void pushCipherSetup(uint8_t method, const std::string& hexKey);

    // ---- state, for tests (copies, taken under the lock)
    DateTime clock() const;
    void setClock(const DateTime& t);
    std::array<uint16_t, 7> vatRates() const;
    std::vector<std::pair<uint8_t, std::string>> header() const;
    std::vector<std::pair<uint8_t, std::string>> footer() const;
    std::optional<Article> article(uint16_t number) const;
    std::optional<Article> articleByBarcode(const std::string& code) const;
    size_t articleCount() const;
    void putArticle(const Article& a);
    size_t journalSize() const;
    void addJournalRecord(const Record& r);
    size_t fiscalMemorySize() const;
    bool busy() const;
    trv::Cipher cipher() const;  // the cipher of new connections
    Stats stats() const;
    // What the last request or answer that did not fit the command table
    // did wrong (CommandTable::requestMismatch), or empty.
    std::string lastMismatch() const;
    size_t openSessions() const;
    // Last time bytes arrived or a connection opened or closed.
    SteadyClock::time_point lastActivity() const;
    // Runs f on the state under the lock, for what the accessors miss.
    void withState(const std::function<void(State&)>& f);

    // ---- log in the library's frame-dump form, readable by velsor
    bool setLogFile(const std::string& path);
    void setLogSink(std::function<void(const std::string&)> sink);
    // A line of a transport's own (the modem's, say) for the log; it also
    // counts as activity for lastActivity().
    void note(const std::string& line);

    // ---- the paper roll: what the register prints (its reports), as text,
    // one printout after another. A file ("-" for standard output) gets each
    // printout when it is made; the sink gets one whole printout per call,
    // under the register's lock (it must not call back into the register).
    bool setPaperFile(const std::string& path);
    void setPaperSink(std::function<void(const std::string&)> sink);

private:
    friend class Session;
    struct Canned {
        bool error = false;
        Items values;
        std::array<uint16_t, 4> err{};
    };
    struct Event {
        uint16_t cmd;
        uint32_t token;
        Items values;
        std::optional<trv::Cipher> newCipher;  // a cipher setup switches after sending
    };
    // The final answer of the running long command, sent when the busy time
    // is over by the session that took the command.
    struct LongAnswer {
        uint64_t session;
        uint32_t token;
        uint16_t cmd;
        Items values;
        bool stopped = false;
    };

    // The frame dumps are only built when someone reads them.
    bool loggingLocked() const { return logFile_ || logSink_; }
    void logLocked(const std::string& line);
    // Hands the printouts the last command made to the paper.
    void paperLocked();
    void printLocked(const std::string& printout);
    void wakeAllLocked();
    bool busyLocked(SteadyClock::time_point now) const;
    bool chance(double p);  // under the lock
    Event cardEventLocked();

    mutable std::mutex mu_;
    State state_;                        // guarded by mu_
    int busyMs_ = 300;                   // guarded by mu_
    int cardEveryMs_ = 0;                // guarded by mu_
    SteadyClock::time_point nextCard_;   // guarded by mu_
    uint32_t cardSeq_ = 0;               // guarded by mu_
    std::optional<Event> connectSetup_;  // guarded by mu_
    trv::Cipher cipher_;                 // guarded by mu_; inherited by new sessions
    Faults faults_;                      // guarded by mu_
    std::mt19937 rng_{1};                // guarded by mu_
    unsigned failNext_ = 0;              // guarded by mu_
    uint16_t failNextCode_ = trans::kInjected;
    unsigned silenceNext_ = 0;           // guarded by mu_
    uint64_t dropGen_ = 0;               // guarded by mu_
    std::map<uint16_t, Canned> canned_;  // guarded by mu_
    std::deque<Event> events_;           // guarded by mu_
    SteadyClock::time_point busyUntil_;  // guarded by mu_
    uint16_t busyCode_ = 0;              // guarded by mu_
    std::optional<LongAnswer> long_;     // guarded by mu_
    uint16_t seqCmd_ = 0, seqStatus_ = 0;
    uint32_t seqToken_ = 0;              // guarded by mu_
    Stats stats_;                        // guarded by mu_
    std::string lastMismatch_;           // guarded by mu_
    uint64_t finalSent_ = 0;             // guarded by mu_; final answers since setFaults, for crcErrorEvery
    uint64_t framesSeen_ = 0;            // guarded by mu_; request frames since setFaults, for dropEvery
    uint64_t nextSession_ = 1;           // guarded by mu_
    std::map<uint64_t, std::function<void()>> wakers_;  // guarded by mu_
    SteadyClock::time_point lastActivity_;              // guarded by mu_
    std::FILE* logFile_ = nullptr;                      // guarded by mu_
    std::function<void(const std::string&)> logSink_;   // guarded by mu_
    std::FILE* paperFile_ = nullptr;                    // guarded by mu_
    bool paperIsStdout_ = false;                        // guarded by mu_
    std::function<void(const std::string&)> paperSink_; // guarded by mu_
};

// Busy codes answered by command 8 while a long command runs.
namespace busy {
constexpr uint16_t kReport = 1;    // printing a report
constexpr uint16_t kSettings = 2;  // storing clock, rates, header or footer
}  // namespace busy

class Session {
public:
    // wake is called (from any thread, possibly under the register's lock)
    // when poll() has something new; it must only signal, e.g. write an eventfd.
    explicit Session(Register& reg, std::function<void()> wake = {});
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Bytes from the library; returns what the register sends back.
    Output receive(const uint8_t* data, size_t n);
    // Frames the register sends on its own that are due now.
    Output poll();
    // How long the caller may wait before poll() has something due (ms),
    // not counting events pushed later (those call wake).
    int msUntilDue() const;
    uint64_t id() const { return id_; }

private:
    struct Cached {
        uint32_t token;
        uint16_t cmd;
        bool answered = false;
        bool error = false;
        Items values;  // of the final answer
    };

    void handleFrame(const std::vector<uint8_t>& frame, Output& out);
    void execute(const trv::DecodedFrame& req, Output& out);
    void emitSetup(Output& out);
    void emitDue(SteadyClock::time_point now, Output& out);
    void emitEvents(Output& out);
    void sendFrame(Output& out, uint32_t token, uint16_t cmd, const Items& values, bool finalAnswer,
                   int delayMs = 0);
    void sendAck(Output& out, uint32_t token);
    void sendAnswer(Output& out, uint32_t token, uint16_t cmd, const Items& values, int delayMs);
    void sendError(Output& out, uint32_t token, uint16_t cmd, uint16_t trans, uint16_t exec,
                   uint16_t other = 0, int delayMs = 0);
    Cached* cached(uint32_t token, uint16_t cmd);
    void remember(uint32_t token, uint16_t cmd, bool answered, bool error, const Items& values);

    Register& reg_;
    uint64_t id_;
    uint64_t dropGen_;
    trv::FIFO fifo_;
    trv::Cipher cipher_;
    bool needSetup_ = false;    // the per-connection cipher setup is still to be sent
    std::deque<Cached> cache_;  // final answers by token, for repeated frames
};

}  // namespace trvsim
