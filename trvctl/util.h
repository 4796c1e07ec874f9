// Errors, status texts and the progress line.
#pragma once

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "tarvik/tarvik.h"

namespace trvctl {

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;   // the register or the library reported a failure
constexpr int kExitUsage = 2;     // bad arguments, an input file that cannot be read
constexpr int kExitPartial = 3;   // lines or records left out, an outcome unknown, interrupted

// What became of something sent to the register.
enum class Outcome {
    Done,     // executed: the register answered it without an error
    Refused,  // the register answered with an error: nothing changed
    NotDone,  // it never reached the register: safe to send again
    Unknown,  // written, its answer lost: the register may have run it
};
// The outcome of a request that ended with this status (TRV_GetRequestStatus).
Outcome outcomeOf(TARVIK_STATUS status);
// "done", "refused", "not done", "unknown".
const char* outcomeWord(Outcome o);

// A failure with the status code of the register or the library. With the
// outcome Unknown the register may have run the request (exit status 3).
class Failure : public std::runtime_error {
public:
    // `described`: the message says all there is (else the status and its
    // text follow it).
    Failure(const std::string& what, TARVIK_STATUS status, Outcome outcome = Outcome::Refused, bool described = false);
    TARVIK_STATUS status() const { return status_; }
    Outcome outcome() const { return outcome_; }
    bool described() const { return described_; }

private:
    TARVIK_STATUS status_;
    Outcome outcome_;
    bool described_;
};

// Bad arguments or input (exit status 2). `withHint` adds "see trvctl CMD
// --help".
class UsageError : public std::runtime_error {
public:
    explicit UsageError(const std::string& what, bool withHint = true)
        : std::runtime_error(what), withHint_(withHint) {}
    bool withHint() const { return withHint_; }

private:
    bool withHint_;
};

// Any other failure of trvctl itself (a file that cannot be written, a
// simulator that does not start): exit status 1.
class ToolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// --quiet: no notes, summaries or progress on standard error; errors still.
void setQuiet(bool on);
bool quiet();
// A note on standard error ("trvctl: " + text), unless --quiet.
void note(const std::string& text);

// ---- signals
//
// SIGINT and SIGTERM are taken by a thread of their own. While a Graceful
// object lives (a command that writes to the register), the first signal
// asks the command to stop sending and to let what is in flight finish, the
// second to stop waiting; otherwise a signal ends the process at once, with
// the signal's usual status, after removing the file named with
// setCleanupFile.
void startSignalThread();  // first thing in main, before any other thread
int interrupts();          // signals received while graceful
class Graceful {
public:
    Graceful();
    ~Graceful();
    Graceful(const Graceful&) = delete;
    Graceful& operator=(const Graceful&) = delete;
};
void setCleanupFile(const std::string& path);  // "" for none

// Flushes and closes standard output; false (with a message on standard
// error) when anything written to it was lost.
bool finishStandardOutput();

// The language of the status texts ("en" or "pl"). Finds the language files
// as the library does, then beside the executable (installed:
// ../share/tarvik, build tree: lang/).
void setLanguage(const std::string& lang);
const std::string& language();

// "status 0x430068 (4390920): The register reported an execution error: 104,
// no such record"
std::string describeStatus(TARVIK_STATUS status);
// Only the text: "The register reported an execution error: 104, no such record".
std::string statusText(TARVIK_STATUS status);

// Whether a status says that the register cannot be reached any more (the
// port or connection failed, or its answers stopped), so that sending more
// requests is pointless.
bool connectionDown(TARVIK_STATUS status);

// Hex and decimal of a library version number (0x01000486 -> "1.0.1158").
std::string versionText(uint32_t v);

// A progress line on standard error, only when it is a terminal: count,
// total where known, rate and time left. Redrawn at most five times a second.
class Progress {
public:
    explicit Progress(std::string what, uint64_t total = 0);
    ~Progress();
    void setTotal(uint64_t total) { total_ = total; }
    void advance(uint64_t n = 1);
    void finish();

private:
    void draw(bool force);
    std::string what_;
    uint64_t total_, count_ = 0;
    bool enabled_, drawn_ = false;
    std::chrono::steady_clock::time_point start_, last_;
};

}  // namespace trvctl
