// The byte-stream side of a connection to the simulated register, and the
// loop that serves one. A transport (TCP here; a pty, with or without a
// modem in front, elsewhere) implements ByteStream and runs serveStream on a
// thread of its own.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "sim_register.h"

namespace trvsim {

class ByteStream {
public:
    virtual ~ByteStream() = default;
    // Waits up to timeoutMs for bytes. Returns the number read (> 0), 0 on
    // time-out or after wake(), -1 when the stream is closed or failed.
    virtual long read(uint8_t* buf, size_t cap, int timeoutMs) = 0;
    // Writes every byte; false when the stream failed.
    virtual bool write(const uint8_t* data, size_t n) = 0;
    // Makes a read() in progress, or the next one, return 0 at once. Called
    // from any thread, possibly under the register's lock: must not block.
    virtual void wake() = 0;
};

// Serves the register on the stream until the peer closes it, a write fails,
// the register drops the connection, or stop is set (then call wake() so the
// loop notices at once). Does not close the stream.
void serveStream(Register& reg, ByteStream& stream, const std::atomic<bool>& stop);

// Writes the chunks of out with their delays (slept in slices, so a stop is
// seen). False when a write failed or stop was set; out.drop is the
// caller's to act on.
bool writeChunks(ByteStream& stream, const Output& out, const std::atomic<bool>& stop);

}  // namespace trvsim
