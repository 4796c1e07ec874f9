// The cost of the handle registry per exported call. Every exported function
// looks its handle up among the live objects and pins it for the call; these
// measure that against reading the same field without it:
//   RawStateRead         the field read alone (what a call cost before the
//                        registry, bar the call itself)
//   GetRequestState      TRV_GetRequestState: one look-up, pin and release
//   Lookup/<live>        the look-up alone with that many live requests
//   GetRequestState/threads:N  N threads, each on its own request
//   GetStateDestroyed    TRV_GetRequestState on a destroyed handle (refused)
//   PopWord              a pop (look-up plus the value)
//   CreateDestroy        TRV_CreateRequest + TRV_DestroyRequest (entering and
//                        leaving the registry, queues unlinked)
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "test_device.h"

using namespace trv;
using namespace trv::test;

namespace {

// One device with one view for the whole run; its sender idles.
struct Fixture {
    TestDevice dev;
    TARVIK_HANDLE view = dev.OpenDevice();
    ~Fixture() { TRV_CloseDevice(view); }
};
Fixture& fx() {
    static Fixture* f = new Fixture;
    return *f;
}

TARVIK_HANDLE answered() {
    TARVIK_HANDLE r = TRV_CreateRequest(fx().view, 14);
    auto* item = new TRV_DataItem;
    item->SetShort(7);
    objectOf<TRV_Request>(r)->response.Add(item);
    objectOf<TRV_Request>(r)->state = TARVIK_STATE_COMPLETED;
    return r;
}

}  // namespace

static void RawStateRead(benchmark::State& st) {
    TARVIK_HANDLE h = answered();
    auto* r = objectOf<TRV_Request>(h);
    for (auto _ : st) benchmark::DoNotOptimize(r->state.load());
    TRV_DestroyRequest(h);
}
BENCHMARK(RawStateRead);

static void GetRequestState(benchmark::State& st) {
    TARVIK_HANDLE h = answered();
    for (auto _ : st) benchmark::DoNotOptimize(TRV_GetRequestState(h));
    TRV_DestroyRequest(h);
}
BENCHMARK(GetRequestState);
BENCHMARK(GetRequestState)->Threads(2)->Threads(4)->UseRealTime();

static void Lookup(benchmark::State& st) {
    std::vector<TARVIK_HANDLE> live;
    for (int64_t i = 0; i < st.range(0); ++i) live.push_back(TRV_CreateRequest(fx().view, 14));
    TARVIK_HANDLE h = answered();
    for (auto _ : st) benchmark::DoNotOptimize(lookup<TRV_Request>(h));
    TRV_DestroyRequest(h);
    for (TARVIK_HANDLE r : live) TRV_DestroyRequest(r);
}
BENCHMARK(Lookup)->Arg(1)->Arg(1000)->Arg(100000);

static void GetStateDestroyed(benchmark::State& st) {
    TARVIK_HANDLE h = answered();
    TRV_DestroyRequest(h);
    TARVIK_HANDLE reuse = answered();  // likely in the memory h had
    for (auto _ : st) benchmark::DoNotOptimize(TRV_GetRequestState(h));
    TRV_DestroyRequest(reuse);
}
BENCHMARK(GetStateDestroyed);

static void PopWord(benchmark::State& st) {
    TARVIK_HANDLE h = answered();
    unsigned short w;
    for (auto _ : st) {
        TRV_ResponseRewind(h);
        benchmark::DoNotOptimize(TRV_PopResponseValueWord(h, &w));
    }
    TRV_DestroyRequest(h);
}
BENCHMARK(PopWord);

static void CreateDestroy(benchmark::State& st) {
    for (auto _ : st) TRV_DestroyRequest(TRV_CreateRequest(fx().view, 14));
}
BENCHMARK(CreateDestroy);

BENCHMARK_MAIN();
