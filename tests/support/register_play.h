// Helpers for tests that play the register against a TestDevice: build the
// register's frames and answer what the sender wrote.
#pragma once

#include <atomic>
#include <thread>

#include "test_device.h"

namespace trv::test {

inline TRV_DataItem B(uint8_t v) { TRV_DataItem i; i.SetChar(v); return i; }
inline TRV_DataItem W(uint16_t v) { TRV_DataItem i; i.SetShort(v); return i; }
inline TRV_DataItem L(uint32_t v) { TRV_DataItem i; i.SetLong(v); return i; }
inline TRV_DataItem S(const std::string& v) { TRV_DataItem i; i.SetString(v); return i; }
inline TRV_DataItem K(const std::string& v) { TRV_DataItem i; i.SetCurrency(v); return i; }

// A frame as the register sends it.
inline std::vector<uint8_t> regFrame(uint32_t token, uint16_t cmd, const std::vector<TRV_DataItem>& values = {},
                                     const Cipher& c = Cipher{}) {
    std::vector<const TRV_DataItem*> p;
    for (const auto& v : values) p.push_back(&v);
    uint16_t flags = 0;
    return encodeFrame(flags, token, cmd, p, c, CipherOrder::CommandFirst);
}

// Waits for the next written frame and decodes it.
inline bool nextSent(TestDevice& dev, DecodedFrame& d, int ms = 2000) {
    std::vector<uint8_t> f;
    if (!dev.nextWritten(f, ms)) return false;
    d = decodeSent(f);
    return true;
}

// Acknowledges and answers one written frame with the given values.
inline void ackAndAnswer(TestDevice& dev, const DecodedFrame& d, const std::vector<TRV_DataItem>& values = {}) {
    dev.feed(regFrame(d.token, 1));
    dev.feed(regFrame(d.token, d.cmd, values));
}

// Waits until the request leaves the given state (the sender marks a frame
// sent only after its write returned).
inline uint32_t waitLeave(TARVIK_HANDLE h, uint32_t state, int ms = 2000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (TRV_GetRequestState(h) == state && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return TRV_GetRequestState(h);
}

inline TRV_Request* R(TARVIK_HANDLE h) { return objectOf<TRV_Request>(h); }

}  // namespace trv::test
