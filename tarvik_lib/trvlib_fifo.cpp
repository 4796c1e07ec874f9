#include "trvlib_fifo.h"

namespace trv {

bool FIFO::push(const uint8_t* buffer, size_t len) {
    pl.insert(pl.end(), buffer, buffer + len);
    return true;
}

void FIFO::flush() {
    pl.clear();
    resetScan();
}

void FIFO::resetScan() {
    scan = 0;
    esc = false;
    start = -1;
}

bool FIFO::nextFrame(std::vector<uint8_t>& frame, size_t& dropped) {
    dropped = 0;
    while (true) {
        long end = -1;
        for (; scan < pl.size(); ++scan) {
            const uint8_t b = pl[scan];
            if (!esc) {
                if (b == 0x10) esc = true;
                continue;
            }
            esc = false;
            if (b == 0x02) {
                start = static_cast<long>(scan) - 1;  // a later start moves it forward
            } else if (b == 0x03) {
                end = static_cast<long>(scan);
                break;
            } else if (b == 0x18) {
                start = -1;  // DLE CAN: the started frame is abandoned
            }
        }

        if (start >= 0 && end >= 0) {
            dropped += static_cast<size_t>(start);
            frame.assign(pl.begin() + start, pl.begin() + end + 1);
            pl.erase(pl.begin(), pl.begin() + end + 1);
            resetScan();
            return true;
        }
        if (start < 0 && end < 0) {
            if (pl.size() > kMaxNoStart) {
                dropped += pl.size();
                flush();
            }
            return false;
        }
        if (start < 0) {
            // An end without a start: those bytes go (uncounted), and a whole
            // frame behind them is cut now rather than when more bytes come.
            pl.erase(pl.begin(), pl.begin() + end + 1);
            resetScan();
            continue;
        }
        // a started frame without its end yet
        dropped += static_cast<size_t>(start);
        if (start > 0) {
            pl.erase(pl.begin(), pl.begin() + start);
            scan -= static_cast<size_t>(start);
            start = 0;
        }
        if (pl.size() > kMaxPending) {
            dropped += pl.size();
            flush();
        }
        return false;
    }
}

bool FIFO::nextLine(std::string& line) {
    size_t i = 0;
    while (i < pl.size() && pl[i] != '\n') ++i;
    if (i == pl.size()) return false;
    line.clear();
    for (size_t k = 0; k < i; ++k)
        if (pl[k] != '\r') line += static_cast<char>(pl[k]);
    pl.erase(pl.begin(), pl.begin() + i + 1);
    resetScan();
    return true;
}

}  // namespace trv
