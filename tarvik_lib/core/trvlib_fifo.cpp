#include "trvlib_fifo.h"

#include <cstring>

namespace trv {

bool FIFO::push(const uint8_t* buffer, size_t len) {
    if (head == pl.size()) {
        pl.clear();
        head = 0;
        resetScan();
    } else if (head > 0 && head >= pl.size() - head) {
        // Drop the consumed front; positions move down with the bytes.
        const size_t n = pl.size() - head;
        std::memmove(pl.data(), pl.data() + head, n);
        pl.resize(n);
        scan -= head;
        if (start >= 0) start -= static_cast<long>(head);
        head = 0;
    }
    pl.insert(pl.end(), buffer, buffer + len);
    return true;
}

void FIFO::flush() {
    pl.clear();
    head = 0;
    resetScan();
}

void FIFO::resetScan() {
    scan = head;
    esc = false;
    start = -1;
}

bool FIFO::nextFrame(const uint8_t*& data, size_t& len, size_t& dropped) {
    dropped = 0;
    while (true) {
        long end = -1;
        while (scan < pl.size()) {
            if (!esc) {
                // Only what follows a DLE means anything: jump to the next one.
                const void* d = std::memchr(pl.data() + scan, 0x10, pl.size() - scan);
                if (!d) {
                    scan = pl.size();
                    break;
                }
                scan = static_cast<size_t>(static_cast<const uint8_t*>(d) - pl.data()) + 1;
                esc = true;
                continue;
            }
            esc = false;
            const uint8_t b = pl[scan];
            if (b == 0x02) {
                start = static_cast<long>(scan) - 1;  // a later start moves it forward
            } else if (b == 0x03) {
                end = static_cast<long>(scan);
                break;
            } else if (b == 0x18) {
                start = -1;  // DLE CAN: the started frame is abandoned
            }
            ++scan;
        }

        if (start >= 0 && end >= 0) {
            dropped += static_cast<size_t>(start) - head;
            data = pl.data() + start;
            len = static_cast<size_t>(end - start) + 1;
            head = static_cast<size_t>(end) + 1;
            resetScan();
            return true;
        }
        if (start < 0 && end < 0) {
            if (size() > kMaxNoStart) {
                dropped += size();
                flush();
            }
            return false;
        }
        if (start < 0) {
            // An end without a start: those bytes go (uncounted), and a whole
            // frame behind them is cut now rather than when more bytes come.
            head = static_cast<size_t>(end) + 1;
            resetScan();
            continue;
        }
        // a started frame without its end yet: what lies before it goes
        dropped += static_cast<size_t>(start) - head;
        head = static_cast<size_t>(start);
        if (size() > kMaxPending) {
            dropped += size();
            flush();
        }
        return false;
    }
}

bool FIFO::nextFrame(std::vector<uint8_t>& frame, size_t& dropped) {
    const uint8_t* p = nullptr;
    size_t n = 0;
    if (!nextFrame(p, n, dropped)) return false;
    frame.assign(p, p + n);
    return true;
}

bool FIFO::nextLine(std::string& line) {
    size_t i = head;
    while (i < pl.size() && pl[i] != '\n') ++i;
    if (i == pl.size()) return false;
    line.clear();
    for (size_t k = head; k < i; ++k)
        if (pl[k] != '\r') line += static_cast<char>(pl[k]);
    head = i + 1;
    resetScan();
    return true;
}

}  // namespace trv
