// Encode + decode throughput of the frame codec, for a typical 40-byte
// request frame and a 1 KB frame.
#include <benchmark/benchmark.h>

#include "trvlib_request.h"

using namespace trv;

static void fill(TRV_Request& r, size_t targetBytes) {
    r.token = 0x1234;
    r.cmd_id = 2100;
    size_t n = 0;
    int i = 0;
    while (n + 16 < targetBytes) {
        auto* it = new TRV_DataItem;
        switch (i++ % 4) {
        case 0: it->SetShort(static_cast<uint16_t>(i)); n += 3; break;
        case 1: it->SetString("Article name"); n += 14; break;
        case 2: it->SetCurrency("12.34"); n += 7; break;
        default: it->SetChar(static_cast<uint8_t>(i)); n += 2; break;
        }
        r.items.Add(it);
    }
}

static void EncodeDecode(benchmark::State& st) {
    TRV_Request r;
    fill(r, static_cast<size_t>(st.range(0)));
    size_t frameBytes = 0;
    for (auto _ : st) {
        auto f = r.toFrame(Cipher{});
        DecodedFrame d;
        benchmark::DoNotOptimize(decodeFrame(f.data(), f.size(), Cipher{}, CipherOrder::ItemsFirst, d));
        frameBytes = f.size();
    }
    st.counters["frames/s"] = benchmark::Counter(static_cast<double>(st.iterations()), benchmark::Counter::kIsRate);
    st.counters["frame_bytes"] = static_cast<double>(frameBytes);
}
BENCHMARK(EncodeDecode)->Arg(40)->Arg(1024);

BENCHMARK_MAIN();
