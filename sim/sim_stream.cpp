#include "sim_stream.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace trvsim {

namespace {
// Fault delays are short; they are slept in slices so that a stop is seen.
bool pause(int ms, const std::atomic<bool>& stop) {
    const auto until = SteadyClock::now() + std::chrono::milliseconds(ms);
    while (!stop.load()) {
        const auto now = SteadyClock::now();
        if (now >= until) return true;
        std::this_thread::sleep_for(std::min<SteadyClock::duration>(until - now, std::chrono::milliseconds(5)));
    }
    return false;
}

bool writeOut(ByteStream& s, const Output& out, const std::atomic<bool>& stop) {
    return writeChunks(s, out, stop) && !out.drop;
}
}  // namespace

bool writeChunks(ByteStream& s, const Output& out, const std::atomic<bool>& stop) {
    for (const Chunk& c : out.chunks) {
        if (c.delayMs > 0 && !pause(c.delayMs, stop)) return false;
        if (!s.write(c.bytes.data(), c.bytes.size())) return false;
    }
    return true;
}

void serveStream(Register& reg, ByteStream& stream, const std::atomic<bool>& stop) {
    Session session(reg, [&stream] { stream.wake(); });
    uint8_t buf[4096];
    while (!stop.load()) {
        if (!writeOut(stream, session.poll(), stop)) return;
        const int timeout = std::clamp(session.msUntilDue(), 0, 1000);
        const long n = stream.read(buf, sizeof buf, timeout);
        if (n < 0) return;
        if (n > 0 && !writeOut(stream, session.receive(buf, static_cast<size_t>(n)), stop)) return;
    }
}

}  // namespace trvsim
