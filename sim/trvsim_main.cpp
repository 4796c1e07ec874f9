// trvsim: a simulated tarvik register on a loopback TCP port, for the demo,
// the benchmarks and manual tests. See --help.
#include <signal.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "sim_register.h"
#include "sim_tcp.h"

namespace {

const char kUsage[] =
    "Usage: trvsim [options]\n"
    "A simulated tarvik fiscal cash register serving the frame protocol on\n"
    "127.0.0.1. The first line on standard output is \"port N\", the port it\n"
    "listens on. It stops on SIGINT or SIGTERM.\n"
    "\n"
    "  --port N               listen on port N; 0 (the default) picks a free port\n"
    "  --log FILE             write every frame received and sent to FILE in the\n"
    "                         library's frame-dump form (readable by velsor)\n"
    "  --busy-ms MS           stay busy MS milliseconds after a long command (a\n"
    "                         report, clock, rates, header, footer); default 300\n"
    "  --card-every-ms MS     send a card event (command 2) every MS milliseconds\n"
    "  --cipher M:HEXKEY      on every connection first send a cipher setup\n"
    "                         (command 3) with method M (1 XOR, 2 additive) and\n"
    "                         the key HEXKEY, then encipher and decipher frames\n"
    "  --crc-error-every N    send every Nth final answer with a wrong CRC\n"
    "  --crc-error-rate P     send each final answer with a wrong CRC with\n"
    "                         probability P (0 to 1)\n"
    "  --trans-error-rate P   answer a request with a transmission error instead\n"
    "                         of executing it, with probability P\n"
    "  --trans-error-code C   the transmission error to use; default 3006\n"
    "  --drop-every N         close the connection on every Nth request frame\n"
    "  --split-bytes N        write frames in chunks of at most N bytes\n"
    "  --chunk-delay-ms MS    pause MS milliseconds between those chunks\n"
    "  --answer-delay-ms MS   pause between acknowledgement and final answer\n"
    "  --garbage              put noise and a cancelled frame start (DLE CAN)\n"
    "                         before every frame\n"
    "  --seed S               seed of the fault generator; default 1\n"
    "  --quit-after-idle-ms MS  exit when nothing arrived and no connection\n"
    "                         opened or closed for MS milliseconds\n"
    "  --help                 show this text\n";

bool toLong(const char* s, long lo, long hi, long& out) {
    const char* end = s + std::strlen(s);
    auto [p, ec] = std::from_chars(s, end, out);
    return ec == std::errc() && p == end && out >= lo && out <= hi;
}

bool toRate(const char* s, double& out) {
    char* end = nullptr;
    errno = 0;
    out = std::strtod(s, &end);
    return errno == 0 && end && *end == '\0' && end != s && out >= 0 && out <= 1;
}

int usageError(const std::string& msg) {
    std::fprintf(stderr, "trvsim: %s\nTry 'trvsim --help'.\n", msg.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    long port = 0, busyMs = 300, cardMs = 0, idleMs = 0;
    std::string logPath;
    uint8_t cipherMethod = 0;
    std::string cipherKey;
    trvsim::Faults faults;

    for (int i = 1; i < argc; ++i) {
        const std::string opt = argv[i];
        if (opt == "--help" || opt == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (opt == "--garbage") {
            faults.garbage = true;
            continue;
        }
        static const char* const kWithValue[] = {
            "--port", "--log", "--busy-ms", "--card-every-ms", "--quit-after-idle-ms", "--crc-error-every",
            "--crc-error-rate", "--trans-error-rate", "--trans-error-code", "--drop-every", "--split-bytes",
            "--chunk-delay-ms", "--answer-delay-ms", "--seed", "--cipher"};
        bool known = false;
        for (const char* k : kWithValue) known = known || opt == k;
        if (!known) return usageError("unknown option " + opt);
        if (i + 1 >= argc) return usageError("missing value for " + opt);
        const char* val = argv[++i];
        long n = 0;
        bool ok = true;
        if (opt == "--port") ok = toLong(val, 0, 65535, port);
        else if (opt == "--log") logPath = val;
        else if (opt == "--busy-ms") ok = toLong(val, 0, 3600000, busyMs);
        else if (opt == "--card-every-ms") ok = toLong(val, 0, 3600000, cardMs);
        else if (opt == "--quit-after-idle-ms") ok = toLong(val, 0, 86400000, idleMs);
        else if (opt == "--crc-error-every") ok = toLong(val, 0, 1000000, n), faults.crcErrorEvery = static_cast<unsigned>(n);
        else if (opt == "--crc-error-rate") ok = toRate(val, faults.crcErrorRate);
        else if (opt == "--trans-error-rate") ok = toRate(val, faults.transErrorRate);
        else if (opt == "--trans-error-code") ok = toLong(val, 0, 65535, n), faults.transErrorCode = static_cast<uint16_t>(n);
        else if (opt == "--drop-every") ok = toLong(val, 0, 1000000, n), faults.dropEvery = static_cast<unsigned>(n);
        else if (opt == "--split-bytes") ok = toLong(val, 0, 65536, n), faults.splitBytes = static_cast<size_t>(n);
        else if (opt == "--chunk-delay-ms") ok = toLong(val, 0, 60000, n), faults.chunkDelayMs = static_cast<int>(n);
        else if (opt == "--answer-delay-ms") ok = toLong(val, 0, 60000, n), faults.answerDelayMs = static_cast<int>(n);
        else if (opt == "--seed") ok = toLong(val, 0, 0xFFFFFFFFL, n), faults.seed = static_cast<uint32_t>(n);
        else if (opt == "--cipher") {
            const std::string v = val;
            const size_t colon = v.find(':');
            std::string key;
            ok = colon != std::string::npos && toLong(v.substr(0, colon).c_str(), 1, 2, n) &&
                 trv::Hex2Key(v.substr(colon + 1), key);
            cipherMethod = static_cast<uint8_t>(n);
            cipherKey = v.substr(colon == std::string::npos ? 0 : colon + 1);
        }
        if (!ok) return usageError("bad value for " + opt + ": " + val);
    }

    // Signals are taken by sigtimedwait below; every thread inherits the mask.
    sigset_t sigs;
    sigemptyset(&sigs);
    sigaddset(&sigs, SIGINT);
    sigaddset(&sigs, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &sigs, nullptr);
    signal(SIGPIPE, SIG_IGN);

    trvsim::Register reg;
    if (!logPath.empty() && !reg.setLogFile(logPath)) {
        std::fprintf(stderr, "trvsim: cannot open %s: %s\n", logPath.c_str(), std::strerror(errno));
        return 1;
    }
    reg.setBusyMs(static_cast<int>(busyMs));
    reg.setFaults(faults);
    if (cipherMethod) reg.setCipherOnConnect(cipherMethod, cipherKey);
    if (cardMs > 0) reg.setCardEveryMs(static_cast<int>(cardMs));

    trvsim::TcpServer server(reg);
    const int bound = server.start(static_cast<uint16_t>(port));
    if (bound < 0) {
        std::fprintf(stderr, "trvsim: cannot listen on 127.0.0.1:%ld: %s\n", port, std::strerror(errno));
        return 1;
    }
    std::printf("port %d\n", bound);
    std::fflush(stdout);

    for (;;) {
        timespec ts{0, 100 * 1000 * 1000};
        const int sig = sigtimedwait(&sigs, nullptr, &ts);
        if (sig == SIGINT || sig == SIGTERM) break;
        if (idleMs > 0 && trvsim::SteadyClock::now() - reg.lastActivity() >= std::chrono::milliseconds(idleMs)) {
            std::fprintf(stderr, "trvsim: idle for %ld ms, quitting\n", idleMs);
            break;
        }
    }
    server.stop();
    return 0;
}
