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
constexpr int kExitUsage = 2;     // bad arguments
constexpr int kExitPartial = 3;   // an import or export left lines or records out

// A failure with the status code of the register or the library.
class Failure : public std::runtime_error {
public:
    Failure(const std::string& what, TARVIK_STATUS status);
    TARVIK_STATUS status() const { return status_; }

private:
    TARVIK_STATUS status_;
};

// Bad arguments: the command's usage help follows the message.
class UsageError : public std::runtime_error {
public:
    explicit UsageError(const std::string& what, bool withHelp = true)
        : std::runtime_error(what), withHelp_(withHelp) {}
    bool withHelp() const { return withHelp_; }

private:
    bool withHelp_;
};

// Any other failure of trvctl itself (a file that cannot be read, a
// simulator that does not start).
class ToolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The language of the status texts ("en" or "pl"). Finds the language files
// as the library does, then beside the executable (installed:
// ../share/tarvik, build tree: lang/).
void setLanguage(const std::string& lang);
const std::string& language();

// "status 0x430068 (4390920): The register reported an execution error: 104,
// no such record"
std::string describeStatus(TARVIK_STATUS status);

// Whether a status says that the register cannot be reached any more (the
// frame was never written, the port or connection failed), so that sending
// more requests is pointless.
bool connectionDown(TARVIK_STATUS status);

// Hex and decimal of a library version number (0x01000486 -> "1.0.1158").
std::string versionText(uint32_t v);

// A progress line on standard error, only when it is a terminal: count,
// total where known, rate and time left. Redrawn at most five times a second.
class Progress {
public:
    Progress(std::string what, uint64_t total = 0);
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
