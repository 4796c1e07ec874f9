// trvsim: a simulated tarvik register on a loopback TCP port and/or a pty
// (optionally behind a Hayes modem), for the demo, the benchmarks and manual
// tests. See --help.
#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "sim_pty.h"
#include "sim_register.h"
#include "sim_tcp.h"

namespace {

const char kUsage[] =
    "Usage: trvsim [options]\n"
    "A simulated tarvik fiscal cash register serving the frame protocol on\n"
    "127.0.0.1 and, with --pty, on a pseudo-terminal as if on a serial port.\n"
    "Standard output gets \"port N\", the port it listens on, then with --pty\n"
    "\"pty PATH\", the slave to open (\"PATH,9600,8,N,1,N\" for the library).\n"
    "It stops on SIGINT or SIGTERM.\n"
    "\n"
    "  --port N               listen on port N; 0 (the default) picks a free port;\n"
    "                         -1 serves no TCP (the same as --no-tcp)\n"
    "  --no-tcp               serve no TCP port (then no \"port\" line)\n"
    "  --pty                  also serve a pty; each open of the slave is a new\n"
    "                         connection, and the simulator waits while it is closed\n"
    "  --pty-link PATH        make a symbolic link PATH to the slave (removed on\n"
    "                         exit); implies --pty. An existing PATH is replaced\n"
    "                         only when it is a symbolic link\n"
    "  --modem                put a Hayes modem between the pty and the register:\n"
    "                         \"AT...\" lines get \"OK\", a dial (ATD...) gets the\n"
    "                         answer below, then frames flow until \"+++\" with the\n"
    "                         guard time, after which ATH/ATH0 hangs up and ATO goes\n"
    "                         back online; closing the slave hangs up. A pty has no\n"
    "                         DTR or carrier lines. Implies --pty\n"
    "  --modem-echo           the modem echoes commands (E1) until told ATE0\n"
    "  --modem-dial-answer A  the answer to a dial: connect (the default),\n"
    "                         nocarrier, nodialtone, busy, or silent (no answer)\n"
    "  --modem-connect TEXT   the connect answer; default \"CONNECT 9600\"\n"
    "  --modem-guard-ms MS    silence needed before and after \"+++\"; default 1000\n"
    "                         (the modem options imply --modem)\n"
    "  --log FILE             write every frame received and sent to FILE in the\n"
    "                         library's frame-dump form (readable by velsor); the\n"
    "                         modem's commands and state changes are lines\n"
    "                         starting \"SIM: MODEM \"\n"
    "  --paper FILE           write what the register prints (its reports) to FILE\n"
    "                         as text, one printout after another; - is standard\n"
    "                         output (after the \"port\" and \"pty\" lines)\n"
    "  --busy-ms MS           stay busy MS milliseconds after a long command (a\n"
    "                         report, clock, rates, header, footer); default 300\n"
    "  --card-every-ms MS     send a card event (command 2) every MS milliseconds\n"
    "  --sales-every-ms MS    ring up a receipt every MS milliseconds (an article\n"
    "                         line, a cash payment and the finished receipt: three\n"
    "                         sale journal records), whether or not anyone is connected\n"
    "  --sales-count N        stop after N such receipts (default: no end); then\n"
    "                         \"sales done N\" goes to standard output. At the start\n"
    "                         \"sales start MS R\": the first receipt, R+1, comes at\n"
    "                         MS (milliseconds since 1970), the next ones every MS\n"
    "  --unique-number TEXT   the register's unique number (default ABC12345678)\n"
    "SIGUSR1 rings up five receipts at once (as --sales-every-ms does, without a schedule).\n"
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
    "  --quit-after-idle-ms MS  exit when nothing arrived, no connection opened\n"
    "                         or closed and the modem was quiet for MS milliseconds\n"
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
    long port = 0, busyMs = 300, cardMs = 0, idleMs = 0, salesMs = 0, salesCount = -1;
    std::string uniqueNumber;
    std::string logPath, paperPath;
    uint8_t cipherMethod = 0;
    std::string cipherKey;
    trvsim::Faults faults;
    bool tcp = true;
    trvsim::PtyOptions pty;
    bool usePty = false;

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
        if (opt == "--no-tcp") {
            tcp = false;
            continue;
        }
        if (opt == "--pty" || opt == "--modem" || opt == "--modem-echo") {
            usePty = true;  // each modem option implies --modem, which implies --pty
            pty.modem = pty.modem || opt != "--pty";
            pty.modemConfig.echo = pty.modemConfig.echo || opt == "--modem-echo";
            continue;
        }
        static const char* const kWithValue[] = {
            "--port", "--log", "--paper", "--busy-ms", "--card-every-ms", "--quit-after-idle-ms",
            "--crc-error-every", "--crc-error-rate", "--trans-error-rate", "--trans-error-code", "--drop-every",
            "--split-bytes", "--chunk-delay-ms", "--answer-delay-ms", "--seed", "--cipher", "--pty-link",
            "--modem-dial-answer", "--modem-connect", "--modem-guard-ms", "--sales-every-ms", "--sales-count",
            "--unique-number"};
        bool known = false;
        for (const char* k : kWithValue) known = known || opt == k;
        if (!known) return usageError("unknown option " + opt);
        if (i + 1 >= argc) return usageError("missing value for " + opt);
        const char* val = argv[++i];
        long n = 0;
        bool ok = true;
        if (opt == "--port") ok = toLong(val, -1, 65535, port), tcp = tcp && port >= 0;
        else if (opt == "--pty-link") ok = *val != '\0', pty.link = val, usePty = true;
        else if (opt == "--modem-dial-answer") ok = trvsim::parseDialAnswer(val, pty.modemConfig.dial);
        else if (opt == "--modem-connect") ok = *val != '\0', pty.modemConfig.connectText = val;
        else if (opt == "--modem-guard-ms") ok = toLong(val, 0, 60000, n), pty.modemConfig.guardMs = static_cast<int>(n);
        else if (opt == "--log") logPath = val;
        else if (opt == "--paper") ok = *val != '\0', paperPath = val;
        else if (opt == "--busy-ms") ok = toLong(val, 0, 3600000, busyMs);
        else if (opt == "--card-every-ms") ok = toLong(val, 0, 3600000, cardMs);
        else if (opt == "--sales-every-ms") ok = toLong(val, 1, 3600000, salesMs);
        else if (opt == "--sales-count") ok = toLong(val, 0, 100000000, salesCount);
        else if (opt == "--unique-number") ok = *val != '\0' && std::strlen(val) <= 63, uniqueNumber = val;
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
        if (opt.rfind("--modem", 0) == 0) pty.modem = usePty = true;
    }
    if (!tcp && !usePty) return usageError("nothing to serve: --no-tcp without --pty");

    // Signals are taken by sigtimedwait below; every thread inherits the mask.
    sigset_t sigs;
    sigemptyset(&sigs);
    sigaddset(&sigs, SIGINT);
    sigaddset(&sigs, SIGTERM);
    sigaddset(&sigs, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &sigs, nullptr);
    signal(SIGPIPE, SIG_IGN);

    trvsim::Register reg;
    if (!logPath.empty() && !reg.setLogFile(logPath)) {
        std::fprintf(stderr, "trvsim: cannot open %s: %s\n", logPath.c_str(), std::strerror(errno));
        return 1;
    }
    if (!paperPath.empty() && !reg.setPaperFile(paperPath)) {
        std::fprintf(stderr, "trvsim: cannot open %s: %s\n", paperPath.c_str(), std::strerror(errno));
        return 1;
    }
    reg.setBusyMs(static_cast<int>(busyMs));
    reg.setFaults(faults);
    if (cipherMethod) reg.setCipherOnConnect(cipherMethod, cipherKey);
    if (cardMs > 0) reg.setCardEveryMs(static_cast<int>(cardMs));
    if (!uniqueNumber.empty()) reg.setUniqueNumber(uniqueNumber);

    trvsim::TcpServer server(reg);
    if (tcp) {
        const int bound = server.start(static_cast<uint16_t>(port));
        if (bound < 0) {
            std::fprintf(stderr, "trvsim: cannot listen on 127.0.0.1:%ld: %s\n", port, std::strerror(errno));
            return 1;
        }
        std::printf("port %d\n", bound);
        std::fflush(stdout);
    }
    trvsim::PtyServer ptyServer(reg, pty);
    if (usePty) {
        const std::string slave = ptyServer.start();
        if (slave.empty()) {
            std::fprintf(stderr, "trvsim: cannot open a pty%s%s: %s\n", pty.link.empty() ? "" : " linked at ",
                         pty.link.c_str(), std::strerror(errno));
            server.stop();
            return 1;
        }
        std::printf("pty %s\n", slave.c_str());
        std::fflush(stdout);
    }

    // Receipts are rung up on their schedule; a late wake-up catches up.
    long rungUp = 0;
    if (salesMs > 0) {
        // When receipt n (from the one after the last) is rung up: start + (n-1) * MS.
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::system_clock::now().time_since_epoch() + std::chrono::milliseconds(salesMs))
                            .count();
        std::printf("sales start %lld %u\n", static_cast<long long>(ms), reg.lastReceipt());
        std::fflush(stdout);
    }
    auto nextSale = trvsim::SteadyClock::now() + std::chrono::milliseconds(salesMs);
    for (;;) {
        long waitMs = 100;
        if (salesMs > 0 && (salesCount < 0 || rungUp < salesCount)) {
            const auto now = trvsim::SteadyClock::now();
            while (now >= nextSale && (salesCount < 0 || rungUp < salesCount)) {
                reg.ringUpReceipt();
                ++rungUp;
                nextSale += std::chrono::milliseconds(salesMs);
            }
            if (rungUp == salesCount) {
                std::printf("sales done %ld\n", rungUp);
                std::fflush(stdout);
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(nextSale - now).count();
            waitMs = std::max<long>(1, std::min<long>(waitMs, left));
        }
        timespec ts{waitMs / 1000, (waitMs % 1000) * 1000 * 1000};
        const int sig = sigtimedwait(&sigs, nullptr, &ts);
        if (sig == SIGINT || sig == SIGTERM) break;
        if (sig == SIGUSR1)
            for (int i = 0; i < 5; ++i) reg.ringUpReceipt();
        if (idleMs > 0 && trvsim::SteadyClock::now() - reg.lastActivity() >= std::chrono::milliseconds(idleMs)) {
            std::fprintf(stderr, "trvsim: idle for %ld ms, quitting\n", idleMs);
            break;
        }
    }
    ptyServer.stop();
    server.stop();
    return 0;
}
