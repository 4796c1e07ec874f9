#include "util.h"

#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

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

Failure::Failure(const std::string& what, TARVIK_STATUS status) : std::runtime_error(what), status_(status) {}

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

std::string describeStatus(TARVIK_STATUS st) {
    std::string out = "status " + hex(st) + " (" + std::to_string(st) + ")";
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
    if (t) out += ": " + std::string(t);
    else out += ": (no text for this code in tarvik_" + g_language + ".lng)";
    if (!detail.empty()) out += ": " + detail;
    return out;
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
