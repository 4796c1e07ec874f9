#include "sim_modem.h"

#include <algorithm>

namespace trvsim {

namespace {

struct DialName {
    const char* word;
    DialAnswer answer;
};
constexpr DialName kDialNames[] = {
    {"connect", DialAnswer::Connect}, {"nocarrier", DialAnswer::NoCarrier}, {"nodialtone", DialAnswer::NoDialtone},
    {"busy", DialAnswer::Busy},       {"silent", DialAnswer::Silent},
};

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) { return c >= 'A' && c <= 'Z'; }

// Where the "AT" prefix starts; characters before it are line noise (a
// stray "+++" included), as a Hayes modem skips them.
size_t findAT(const std::string& s) {
    for (size_t i = 0; i + 1 < s.size(); ++i)
        if (upper(s[i]) == 'A' && upper(s[i + 1]) == 'T') return i;
    return std::string::npos;
}

// Printable form of a command line for the log.
std::string printable(const std::string& s) {
    std::string r;
    for (char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7f) {
            r += c;
        } else {
            static const char hex[] = "0123456789ABCDEF";
            r += "\\x";
            r += hex[u >> 4];
            r += hex[u & 15];
        }
    }
    return r;
}

}  // namespace

bool parseDialAnswer(const std::string& word, DialAnswer& out) {
    for (const DialName& d : kDialNames)
        if (word == d.word) {
            out = d.answer;
            return true;
        }
    return false;
}

const char* dialAnswerName(DialAnswer a) {
    for (const DialName& d : kDialNames)
        if (d.answer == a) return d.word;
    return "?";
}

HayesModem::HayesModem(ModemConfig cfg, std::function<void(const std::string&)> log)
    : cfg_(std::move(cfg)), log_(std::move(log)), echo_(cfg_.echo) {
    cfg_.guardMs = std::max(cfg_.guardMs, 0);
}

void HayesModem::fromLine(const uint8_t* p, size_t n, Clock::time_point now, Out& out) {
    for (size_t i = 0; i < n; ++i) {
        if (mode_ == Mode::Online) onlineByte(p[i], now, out);
        else commandByte(p[i], now, out);
    }
}

void HayesModem::onlineByte(uint8_t b, Clock::time_point now, Out& out) {
    const auto guard = std::chrono::milliseconds(cfg_.guardMs);
    if (plus_ > 0) {
        if (b == '+' && plus_ < 3) {
            ++plus_;
            lastByte_ = now;
            return;
        }
        // Not an escape after all: the held characters are data.
        out.data.insert(out.data.end(), static_cast<size_t>(plus_), '+');
        plus_ = 0;
    } else if (b == '+' && now - lastByte_ >= guard) {
        plus_ = 1;
        lastByte_ = now;
        return;
    }
    out.data.push_back(b);
    lastByte_ = now;
}

void HayesModem::tick(Clock::time_point now, Out& out) {
    if (plus_ == 0 || mode_ != Mode::Online) return;
    if (now - lastByte_ < std::chrono::milliseconds(cfg_.guardMs)) return;
    if (plus_ == 3) {
        plus_ = 0;
        mode_ = Mode::OnlineCommand;
        cmdLine_.clear();
        overflow_ = false;
        log("Escape: command mode, the call stays up");
        result("OK", out);
    } else {
        out.data.insert(out.data.end(), static_cast<size_t>(plus_), '+');
        plus_ = 0;
    }
}

int HayesModem::msUntilTick(Clock::time_point now) const {
    if (plus_ == 0 || mode_ != Mode::Online) return -1;
    const auto left = lastByte_ + std::chrono::milliseconds(cfg_.guardMs) - now;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms <= 0 ? 0 : static_cast<int>(std::min<long long>(ms, 1 << 30));
}

void HayesModem::commandByte(uint8_t b, Clock::time_point now, Out& out) {
    if (echo_) out.line.push_back(static_cast<char>(b));
    if (b == '\r') {
        std::string line;
        line.swap(cmdLine_);
        const bool overflow = overflow_;
        overflow_ = false;
        if (!overflow) {
            execute(line, now, out);
        } else if (findAT(line) != std::string::npos) {
            log("Command line too long");
            result("ERROR", out);
        }
        return;
    }
    if (b == '\n') return;
    if (b == 0x08 || b == 0x7f) {
        if (!cmdLine_.empty() && !overflow_) cmdLine_.pop_back();
        return;
    }
    if (cmdLine_.size() >= kMaxLine) {
        overflow_ = true;
        return;
    }
    cmdLine_.push_back(static_cast<char>(b));
}

void HayesModem::execute(const std::string& line, Clock::time_point now, Out& out) {
    const size_t at = findAT(line);
    if (at == std::string::npos) {
        if (!line.empty()) log("Ignored line without AT: " + printable(line));
        return;
    }
    std::string c;
    for (size_t i = at + 2; i < line.size(); ++i) c += upper(line[i]);
    log("Command: AT" + printable(c));

    size_t i = 0;
    auto number = [&] {
        int v = 0;
        while (i < c.size() && isDigit(c[i])) {
            v = std::min(v * 10 + (c[i] - '0'), 99999);
            ++i;
        }
        return v;
    };
    while (i < c.size()) {
        const char ch = c[i++];
        switch (ch) {
        case ' ':
            break;
        case 'D': {  // the rest of the line is the number
            if (inCall()) {
                result("ERROR", out);
                return;
            }
            log(std::string("Dialling ") + printable(c.substr(i)) + ", answer " + dialAnswerName(cfg_.dial));
            switch (cfg_.dial) {
            case DialAnswer::Connect:
                result(cfg_.connectText, out);
                mode_ = Mode::Online;
                plus_ = 0;
                lastByte_ = now;
                out.connected = true;
                log("Online: call up");
                break;
            case DialAnswer::NoCarrier: result("NO CARRIER", out); break;
            case DialAnswer::NoDialtone: result("NO DIALTONE", out); break;
            case DialAnswer::Busy: result("BUSY", out); break;
            case DialAnswer::Silent: log("Dial left unanswered"); break;
            }
            return;
        }
        case 'H':
            number();
            if (inCall()) endCall("ATH", out);
            break;
        case 'O':
            number();
            if (mode_ != Mode::OnlineCommand) {
                result("NO CARRIER", out);
                return;
            }
            result(cfg_.connectText, out);
            mode_ = Mode::Online;
            plus_ = 0;
            lastByte_ = now;
            log("Online again");
            return;
        case 'E': {
            const int v = number();
            if (v > 1) {
                result("ERROR", out);
                return;
            }
            echo_ = v == 1;
            break;
        }
        case 'Z':
            number();
            if (inCall()) endCall("ATZ", out);
            echo_ = cfg_.echo;
            break;
        case 'A':  // nobody is ringing
            result(inCall() ? "ERROR" : "NO CARRIER", out);
            return;
        case '&':
            if (i < c.size()) ++i;
            number();
            break;
        case 'S':  // S-register set or query: accepted, not kept
            number();
            if (i < c.size() && c[i] == '=') {
                ++i;
                number();
            } else if (i < c.size() && c[i] == '?') {
                ++i;
            }
            break;
        default:
            if (!isLetter(ch)) {
                result("ERROR", out);
                return;
            }
            number();  // any other setting: accepted, not modelled
            break;
        }
    }
    result("OK", out);
}

void HayesModem::result(const std::string& text, Out& out) {
    out.line += "\r\n" + text + "\r\n";
    log("Answer: " + text);
}

void HayesModem::endCall(const std::string& why, Out& out) {
    mode_ = Mode::Command;
    plus_ = 0;
    out.hungUp = true;
    log("Hung up (" + why + ")");
}

void HayesModem::hangUp(const std::string& why, Out& out) {
    cmdLine_.clear();
    overflow_ = false;
    if (inCall()) endCall(why, out);
}

void HayesModem::remoteHangUp(Out& out) {
    if (!inCall()) return;
    endCall("by the far end", out);
    result("NO CARRIER", out);
}

}  // namespace trvsim
