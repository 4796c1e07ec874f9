#include "util.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <thread>

#include "codes.h"

namespace trvctl {

namespace {

std::string g_language = "en";

std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%" PRIx32, v);
    return buf;
}

const char* text(TARVIK_STATUS st) { return TRV_GetErrorString(st, g_language.c_str()); }

}  // namespace

Failure::Failure(const std::string& what, TARVIK_STATUS status, Outcome outcome, bool described)
    : std::runtime_error(what), status_(status), outcome_(outcome), described_(described) {}

Outcome outcomeOf(TARVIK_STATUS st) {
    if (st == 0) return Outcome::Done;
    if (st > TARVIK_STATUS_EXEC_ERROR && st < TARVIK_STATUS_EXEC_ERROR + 0x10000) return Outcome::Refused;
    if (st > TARVIK_STATUS_TRANS_ERROR && st < TARVIK_STATUS_TRANS_ERROR + 0x10000) return Outcome::Refused;
    // Ended before any frame of it went out: the serial port took nothing,
    // reconnecting failed before the write, cancelled while pending, or
    // refused by libmirtel's checks before posting.
    if (st == TARVIK_STATUS_TIMEOUT || st == TARVIK_STATUS_CANCELLED || st == TARVIK_STATUS_NULLHANDLE ||
        st == TARVIK_STATUS_BADMODE || st == TARVIK_STATUS_NOMEMORY ||
        (st >= TARVIK_STATUS_ARG(1) && st < TARVIK_STATUS_ARG(0x100)))
        return Outcome::NotDone;
    // Everything else may have happened after the frame was written.
    return Outcome::Unknown;
}

const char* outcomeWord(Outcome o) {
    switch (o) {
    case Outcome::Done: return "done";
    case Outcome::Refused: return "refused";
    case Outcome::NotDone: return "not done";
    case Outcome::Unknown: return "unknown";
    }
    return "unknown";
}

// ---- quiet

namespace {
bool g_quiet = false;
}

void setQuiet(bool on) { g_quiet = on; }
bool quiet() { return g_quiet; }

void note(const std::string& text) {
    if (!g_quiet) std::cerr << "trvctl: " << text << "\n";
}

// ---- signals

namespace {

std::atomic<int> g_interrupts{0};
std::atomic<int> g_graceful{0};
std::mutex g_cleanupMutex;
std::string g_cleanup;  // guarded by g_cleanupMutex

void say(const char* text) {
    const ssize_t n = write(STDERR_FILENO, text, std::strlen(text));
    (void)n;
}

void signalLoop(sigset_t set) {
    while (true) {
        int sig = 0;
        if (sigwait(&set, &sig) != 0) continue;
        if (g_graceful.load() > 0) {
            const int n = ++g_interrupts;
            if (n == 1)
                say("\ntrvctl: interrupted: nothing new is sent; waiting for the answers to what was sent "
                    "(interrupt again to stop waiting)\n");
            else if (n == 2)
                say("\ntrvctl: interrupted again: no longer waiting for answers\n");
            continue;
        }
        {
            std::lock_guard<std::mutex> l(g_cleanupMutex);
            if (!g_cleanup.empty()) unlink(g_cleanup.c_str());
        }
        // End as the signal would have ended us.
        signal(sig, SIG_DFL);
        sigset_t one;
        sigemptyset(&one);
        sigaddset(&one, sig);
        pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
        pthread_kill(pthread_self(), sig);
        _exit(128 + sig);
    }
}

}  // namespace

void startSignalThread() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    // Blocked here, so in every thread started later (the library's too):
    // only the signal thread takes them.
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread(signalLoop, set).detach();
}

int interrupts() { return g_interrupts.load(); }

Graceful::Graceful() { ++g_graceful; }
Graceful::~Graceful() { --g_graceful; }

void setCleanupFile(const std::string& path) {
    std::lock_guard<std::mutex> l(g_cleanupMutex);
    g_cleanup = path;
}

bool finishStandardOutput() {
    errno = 0;
    std::cout.flush();
    const bool streamFailed = std::cout.fail();
    int err = errno;
    const bool flushFailed = std::fflush(stdout) != 0 || std::ferror(stdout);
    if (!err) err = errno;
    const bool closeFailed = std::fclose(stdout) != 0;
    if (!err) err = errno;
    if (!streamFailed && !flushFailed && !closeFailed) return true;
    std::cerr << "trvctl: cannot write to standard output" << (err ? std::string(": ") + std::strerror(err) : "")
              << "\n";
    return false;
}

void setLanguage(const std::string& lang) {
    g_language = lang;
    if (TRV_GetErrorString(0, lang.c_str())) return;  // the library found its file
    const char* env = std::getenv("TARVIK_LIB_SHARE_DIR");
    if (env && *env) return;  // the directory the user chose has none: say so through missing texts
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return;
    const std::string file = "tarvik_" + lang + ".lng";
    for (const auto& dir : {exe.parent_path().parent_path() / "share" / "tarvik", exe.parent_path() / "lang"}) {
        if (std::filesystem::is_regular_file(dir / file, ec)) {
            setenv("TARVIK_LIB_SHARE_DIR", dir.c_str(), 1);
            return;
        }
    }
}

const std::string& language() { return g_language; }

std::string statusText(TARVIK_STATUS st) {
    const char* t = text(st);
    std::string detail;
    if (!t && st > TARVIK_STATUS_EXEC_ERROR && st < TARVIK_STATUS_EXEC_ERROR + 0x10000) {
        t = text(TARVIK_STATUS_EXEC_ERROR);
        const unsigned code = st - TARVIK_STATUS_EXEC_ERROR;
        detail = std::to_string(code);
        const std::string e = executionErrorText(code, g_language);
        if (!e.empty()) detail += ", " + e;
    } else if (!t && st > TARVIK_STATUS_TRANS_ERROR && st < TARVIK_STATUS_TRANS_ERROR + 0x10000) {
        t = text(TARVIK_STATUS_TRANS_ERROR);
        detail = std::to_string(st - TARVIK_STATUS_TRANS_ERROR);
    }
    std::string out = t ? std::string(t) : "(no text for this code in tarvik_" + g_language + ".lng)";
    if (!detail.empty()) out += ": " + detail;
    return out;
}

std::string describeStatus(TARVIK_STATUS st) {
    return "status " + hex(st) + " (" + std::to_string(st) + "): " + statusText(st);
}

bool connectionDown(TARVIK_STATUS st) {
    return st == TARVIK_STATUS_TIMEOUT || st == TARVIK_STATUS_OPENFAILED || st == TARVIK_STATUS_SELECTFAILED ||
           st == TARVIK_STATUS_USBIO || (st >= TARVIK_STATUS_TCP_EINTR && st <= TARVIK_STATUS_TCP_EHOSTUNREACH) ||
           st == TARVIK_STATUS_MODEM_CONNECTIONLOST;
}

std::string versionText(uint32_t v) {
    return std::to_string(v >> 24) + "." + std::to_string((v >> 16) & 0xFF) + "." + std::to_string(v & 0xFFFF);
}

Progress::Progress(std::string what, uint64_t total)
    : what_(std::move(what)), total_(total), enabled_(isatty(STDERR_FILENO) == 1),
      start_(std::chrono::steady_clock::now()), last_(start_) {}

Progress::~Progress() { finish(); }

void Progress::advance(uint64_t n) {
    count_ += n;
    draw(false);
}

void Progress::draw(bool force) {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - last_ < std::chrono::milliseconds(200)) return;
    last_ = now;
    const double secs = std::chrono::duration<double>(now - start_).count();
    const double rate = secs > 0 ? static_cast<double>(count_) / secs : 0;
    char line[160];
    if (total_ > 0) {
        const double left = rate > 0 && total_ > count_ ? static_cast<double>(total_ - count_) / rate : 0;
        std::snprintf(line, sizeof line, "\r%s: %" PRIu64 " of %" PRIu64 ", %.0f/s, %.0f s left\033[K", what_.c_str(),
                      count_, total_, rate, left);
    } else {
        std::snprintf(line, sizeof line, "\r%s: %" PRIu64 ", %.0f/s\033[K", what_.c_str(), count_, rate);
    }
    std::fputs(line, stderr);
    std::fflush(stderr);
    drawn_ = true;
}

void Progress::finish() {
    if (drawn_) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        drawn_ = false;
    }
    enabled_ = false;
}

}  // namespace trvctl
