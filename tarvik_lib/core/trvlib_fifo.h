// FIFO: received bytes not yet consumed, cut into frames (or, for the modem,
// text lines). Only the receiver thread touches it.
//
// Cutting moves an offset (head) instead of erasing the front of the buffer
// for every frame; the consumed front is dropped when new bytes arrive and it
// is at least as large as what is left, so a byte is moved at most about
// once. The frame scan resumes where the previous call stopped, so a large
// frame arriving in small chunks is not rescanned from the start each time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace trv {

class FIFO {
public:
    // Bytes kept while waiting for the end of a started frame; a frame is at
    // most 64 KB escaped, so anything beyond this is not a frame.
    static constexpr size_t kMaxPending = 2 * 65536 + 64;
    static constexpr size_t kMaxNoStart = 32768;

    bool push(const uint8_t* buffer, size_t len);
    void flush();
    // Cuts the next complete frame (DLE STX ... DLE ETX); dropped gets the
    // number of bytes discarded by this call. The frame is left in place:
    // data stays valid until the next push or flush.
    bool nextFrame(const uint8_t*& data, size_t& len, size_t& dropped);
    // The same, copied into frame.
    bool nextFrame(std::vector<uint8_t>& frame, size_t& dropped);
    // Cuts the next line (up to a line feed, carriage returns left out).
    bool nextLine(std::string& line);
    // Bytes not consumed yet.
    size_t size() const { return pl.size() - head; }

private:
    void resetScan();
    std::vector<uint8_t> pl;
    size_t head = 0;   // pl[0, head) is consumed
    size_t scan = 0;   // pl[head, scan) has been scanned
    bool esc = false;  // scan state at `scan`
    long start = -1;   // index in pl of the frame start found, if any
};

}  // namespace trv
