// Arbitrary bytes fed to a device that holds requests in every state and
// post mode: the receive path must stay consistent, leak nothing and lose no
// request the application holds.
#include <set>

#include "register_play.h"

using namespace trv;
using namespace trv::test;

namespace {
// A device without threads: the fuzzer plays both the sender and the register.
class QuietDevice : public TRV_Device {
public:
    using TransportHost::ProcessRecvBytes;  // the fuzzer is the receiver thread
    bool DeviceRealOpen() override { return true; }
    bool DeviceRealClose() override { return true; }
protected:
    const char* Prefix() const override { return "DEVICE_FUZZ: "; }
    uint32_t Category() const override { return LOG_DEVICE; }
    TARVIK_STATUS WriteFrame(const uint8_t*, size_t) override { return 0; }
    long ReadChunk(Thread&, uint8_t*, size_t) override { return -1; }
    size_t RecvChunk() const override { return 16; }
};
void onCard(void* h) { TRV_DestroyRequest(h); }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    auto* dev = new QuietDevice;
    TARVIK_HANDLE view = dev->OpenDevice();
    const uint8_t ctl = data[0];
    const uint32_t modes[] = {0, 3, 4, 5};
    TRV_SetEventHandlingMode(view, modes[ctl & 3]);
    TRV_SetCallback(view, onCard);

    // Tokens 1..12: commands and modes mixed, states pending / sent / accepted.
    const uint16_t cmds[] = {14, 2110, 451, 8, 1165, 20};
    std::vector<TARVIK_HANDLE> held;
    for (int i = 0; i < 12; ++i) {
        TARVIK_HANDLE r = TRV_CreateRequest(view, cmds[i % 6]);
        TRV_PushRequestParamWord(r, static_cast<uint16_t>(i));
        const uint8_t mode = (i % 4 == 3) ? 3 : (i % 4 == 2) ? 2 : 0;
        TRV_PostRequest(r, mode);
        const uint32_t st[] = {TARVIK_STATE_PENDING, TARVIK_STATE_SENT, TARVIK_STATE_ACCEPTED};
        objectOf<TRV_Request>(r)->state.store(st[i % 3]);
        if (mode == 0) held.push_back(r);
    }
    // The rest arrives in chunks whose sizes the input chooses.
    size_t pos = 2, chunk = (data[1] % 64) + 1;
    while (pos < size) {
        const size_t n = std::min(chunk, size - pos);
        dev->ProcessRecvBytes(data + pos, n);
        pos += n;
    }
    std::set<TARVIK_HANDLE> finished;
    while (TARVIK_HANDLE r = TRV_GetNextResponse(view)) finished.insert(r);
    while (TRV_SalesQueueLength(view, 0) > 0) finished.insert(TRV_PopSalesQueue(view, 0));
    for (TARVIK_HANDLE r : held) {
        const uint32_t s = TRV_GetRequestState(r);
        if (s < TARVIK_STATE_PENDING || s > TARVIK_STATE_ERROR) __builtin_trap();
        finished.insert(r);
    }
    for (TARVIK_HANDLE r : finished) TRV_DestroyRequest(r);
    TRV_CloseDevice(view);
    delete dev;
    return 0;
}
