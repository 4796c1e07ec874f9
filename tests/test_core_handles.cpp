// Handles that are not (or no longer) what they claim: destroyed requests,
// views and devices, pointers the library never issued, and requests the
// library deletes itself while a thread still waits on them. Every exported
// function answers them like a null handle without touching the memory
// behind them (the AddressSanitizer build checks the "without touching").
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "register_play.h"

using namespace trv;
using namespace trv::test;

namespace {

// Every request function on h: all answer as for a null handle.
void expectDeadRequest(TARVIK_HANDLE h) {
    unsigned char b;
    unsigned short w;
    uint32_t l;
    char buf[8];
    EXPECT_EQ(TRV_DestroyRequest(h), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_RepeatRequest(h), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_PostRequest(h, 0), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_CancelRequest(h), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_WaitForRequestCompleted(h, 0), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_PushRequestParamByte(h, 1), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_PushRequestParamWord(h, 1), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_PushRequestParamLong(h, 1), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_PushRequestParamString(h, "x"), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_PushRequestParamNumeric(h, "1"), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_PushRequestParamCurrency(h, "1"), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_PushRequestParamQuantity(h, "1"), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_GetResponseValueCount(h), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_GetResponseValueType(h), TARVIK_TYPE_NONE);
    EXPECT_EQ(TRV_ResponseRewind(h), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_PopResponseValueByte(h, &b), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_PopResponseValueWord(h, &w), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_PopResponseValueLong(h, &l), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_PopResponseValueString(h, buf, sizeof buf), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_PopResponseValueNumeric(h, buf, sizeof buf), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_PopResponseValueCurrency(h, buf, sizeof buf), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_PopResponseValueQuantity(h, buf, sizeof buf), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_GetRequestState(h), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_GetRequestStatus(h), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_GetRequestAge(h), 0u);
    EXPECT_EQ(TRV_GetRequestCommandID(h), TARVIK_STATUS_NOCOMMAND);
    EXPECT_EQ(TRV_GetRequestCommandSerial(h), 0u);
    EXPECT_EQ(TRV_RequestDevice(h), nullptr);
}

// Every view function on h.
void expectDeadView(TARVIK_HANDLE h) {
    uint32_t n;
    unsigned char b;
    EXPECT_EQ(TRV_CreateRequest(h, 14), nullptr);
    EXPECT_EQ(TRV_CloseDevice(h), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_GetSemaphore(h), nullptr);
    EXPECT_EQ(TRV_SetCallback(h, [](void*) {}), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_CancelExecuting(h), nullptr);
    EXPECT_EQ(TRV_RequestQueueStats(h, &n, &n), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_GetNextResponse(h), nullptr);
    EXPECT_EQ(TRV_GetResponseCount(h), 0u);
    EXPECT_EQ(TRV_GetRequestCount(h, 1), 0u);
    EXPECT_EQ(TRV_PopAsyncData(h, 0), nullptr);
    EXPECT_EQ(TRV_PopSalesQueue(h, 0), nullptr);
    EXPECT_EQ(TRV_AsyncDataWaiting(h), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_AsyncQueueLength(h), 0u);
    EXPECT_EQ(TRV_AsyncQueuePurge(h), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_SalesQueueLength(h, 1), 0u);
    EXPECT_EQ(TRV_SalesQueuePurge(h, 1), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_RequestQueueCancelAll(h, 1), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_RequestQueueCancelPending(h, 1), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_GetCryptoStatus(h), 0u);
    EXPECT_EQ(TRV_SetEventHandlingMode(h, 3), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_GetError(h), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_SetDeviceParam(h, TARVIK_PARAM_STRINGHANDLING, &b), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_GetDeviceParam(h, TARVIK_PARAM_STRINGHANDLING, &b), TARVIK_STATUS_NULLHANDLE);
}

// Every device function on h.
void expectDeadDevice(TARVIK_HANDLE h) {
    unsigned char b;
    EXPECT_EQ(TRV_OpenDevice(h), nullptr);
    EXPECT_EQ(TRV_DestroyDeviceHandle(h), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_GetError(h), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_SetDeviceParam(h, TARVIK_PARAM_STRINGHANDLING, &b), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_GetDeviceParam(h, TARVIK_PARAM_STRINGHANDLING, &b), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_ModemDial(h, 0), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_ModemDisconnect(h, 0), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_ModemStatus(h), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_ModemWrite(h, "AT\r"), TARVIK_STATUS_NULLHANDLE);
    TRV_SetDebugLevel(h, 0x100F);        // ignored
    TRV_SetDebugFileName(h, "x.txt");    // ignored
}

}  // namespace

TEST(Handles, DestroyedHandlesAreAnsweredLikeNullOnes) {
    TARVIK_HANDLE dev = TRV_CreateDeviceHandle(TARVIK_DEVICE_ETHER);
    ASSERT_NE(dev, nullptr);
    ASSERT_EQ(TRV_DestroyDeviceHandle(dev), 0u);
    expectDeadDevice(dev);
    expectDeadView(dev);

    auto* test = new TestDevice;
    const TARVIK_HANDLE device = handleOf(test);
    TARVIK_HANDLE view = test->OpenDevice();
    TARVIK_HANDLE r = TRV_CreateRequest(view, 14);
    ASSERT_EQ(TRV_DestroyRequest(r), 0u);
    expectDeadRequest(r);

    TARVIK_HANDLE kept = TRV_CreateRequest(view, 14);  // outlives its view and device
    ASSERT_EQ(TRV_CloseDevice(view), 0u);
    expectDeadView(view);
    EXPECT_EQ(TRV_PostRequest(kept, 0), TARVIK_STATUS_NULLHANDLE);
    ASSERT_EQ(TRV_DestroyDeviceHandle(device), 0u);
    expectDeadDevice(device);
    EXPECT_EQ(TRV_GetRequestState(kept), TARVIK_STATE_NEW);
    EXPECT_EQ(TRV_DestroyRequest(kept), 0u);
}

TEST(Handles, PointersNeverIssuedAreNotRead) {
    // Memory that looks like a live object of each kind to anything that
    // trusts a tag in it.
    for (uint32_t tag : {0x52515354u, 0x44455643u, 0x56494557u}) {
        alignas(64) uint32_t fake[64];
        for (uint32_t& w : fake) w = tag;
        expectDeadRequest(fake);
        expectDeadView(fake);
        expectDeadDevice(fake);
    }
    // Freed memory.
    auto* block = new uint32_t[64];
    volatile uintptr_t address = reinterpret_cast<uintptr_t>(block);
    delete[] block;
    TARVIK_HANDLE gone = reinterpret_cast<TARVIK_HANDLE>(address);
    expectDeadRequest(gone);
    expectDeadView(gone);
    expectDeadDevice(gone);
}

TEST(Handles, AWaiterOnARequestTheLibraryDeletesReturns) {
    TestDevice dev;
    TARVIK_HANDLE view = dev.OpenDevice();
    for (uint8_t mode : {2, 3}) {
        TARVIK_HANDLE r = TRV_CreateRequest(view, 14);
        ASSERT_EQ(TRV_PostRequest(r, mode), 0u);
        DecodedFrame d;
        ASSERT_TRUE(nextSent(dev, d));
        TARVIK_STATUS waited = 0;
        long ms = 0;
        std::thread waiter([&] {
            const auto t0 = Clock::now();
            waited = TRV_WaitForRequestCompleted(r, 3000);
            ms = static_cast<long>(
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count());
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ackAndAnswer(dev, d);  // no values: deleted in both modes
        waiter.join();
        EXPECT_EQ(waited, TARVIK_STATUS_NULLHANDLE) << int(mode);
        EXPECT_LT(ms, 1500);
        expectDeadRequest(r);
    }
    TRV_CloseDevice(view);
}

TEST(Handles, AQueueThatIsPurgedWhileWaitedOn) {
    TestDevice dev;
    dev.writeResult = kKeepPending;
    TARVIK_HANDLE view = dev.OpenDevice();
    TARVIK_HANDLE r = TRV_CreateRequest(view, 14);
    ASSERT_EQ(TRV_PostRequest(r, 0), 0u);
    TARVIK_STATUS waited = 0;
    std::thread waiter([&] { waited = TRV_WaitForRequestCompleted(r, 3000); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(TRV_RequestQueueCancelAll(view, 0), 0u);
    waiter.join();
    EXPECT_EQ(waited, TARVIK_STATUS_NULLHANDLE);
    TRV_CloseDevice(view);
}

TEST(Handles, KindsAreNotMixed) {
    TestDevice dev;
    TARVIK_HANDLE view = dev.OpenDevice();
    TARVIK_HANDLE r = TRV_CreateRequest(view, 14);
    TARVIK_HANDLE device = handleOf(dev);
    expectDeadView(r);
    expectDeadDevice(r);
    expectDeadRequest(view);
    EXPECT_EQ(TRV_OpenDevice(view), nullptr);
    EXPECT_EQ(TRV_CreateRequest(device, 14), nullptr);
    EXPECT_EQ(TRV_GetRequestCount(device, 1), 0u);
    EXPECT_EQ(TRV_DestroyRequest(r), 0u);
    TRV_CloseDevice(view);
}

// Handles are values, not addresses: the allocator hands the memory of
// destroyed objects straight to new ones, and the old handles must not
// answer for them.
TEST(Handles, DestroyedHandlesStayDeadWhenTheirMemoryIsReused) {
    constexpr int kN = 2000;
    TestDevice dev;
    TARVIK_HANDLE view = dev.OpenDevice();  // kept open: the others come and go beside it

    std::vector<TARVIK_HANDLE> gone, live;
    for (int i = 0; i < kN; ++i) gone.push_back(TRV_CreateRequest(view, 14));
    for (TARVIK_HANDLE h : gone) ASSERT_EQ(TRV_DestroyRequest(h), 0u);
    for (int i = 0; i < kN; ++i) live.push_back(TRV_CreateRequest(view, 15));
    int answered = 0;
    for (TARVIK_HANDLE h : gone) answered += TRV_GetRequestState(h) != TARVIK_STATUS_NULLHANDLE;
    EXPECT_EQ(answered, 0);
    std::set<TARVIK_HANDLE> values(gone.begin(), gone.end());
    values.insert(live.begin(), live.end());
    EXPECT_EQ(values.size(), 2u * kN);  // never reissued
    EXPECT_EQ(values.count(nullptr), 0u);
    for (TARVIK_HANDLE h : live) {
        EXPECT_EQ(TRV_GetRequestCommandID(h), 15u);
        TRV_DestroyRequest(h);
    }
    expectDeadRequest(gone.front());

    std::vector<TARVIK_HANDLE> closed, open;
    for (int i = 0; i < kN; ++i) closed.push_back(dev.OpenDevice());
    for (TARVIK_HANDLE v : closed) ASSERT_EQ(TRV_CloseDevice(v), 0u);
    for (int i = 0; i < kN; ++i) open.push_back(dev.OpenDevice());
    answered = 0;
    for (TARVIK_HANDLE v : closed) answered += TRV_AsyncDataWaiting(v) != TARVIK_STATUS_NULLHANDLE;
    EXPECT_EQ(answered, 0);
    for (TARVIK_HANDLE v : open) EXPECT_EQ(TRV_CloseDevice(v), 0u);
    expectDeadView(closed.back());

    std::vector<TARVIK_HANDLE> destroyed, devices;
    for (int i = 0; i < kN; ++i) destroyed.push_back(TRV_CreateDeviceHandle(TARVIK_DEVICE_ETHER));
    for (TARVIK_HANDLE d : destroyed) ASSERT_EQ(TRV_DestroyDeviceHandle(d), 0u);
    for (int i = 0; i < kN; ++i) devices.push_back(TRV_CreateDeviceHandle(TARVIK_DEVICE_ETHER));
    answered = 0;
    for (TARVIK_HANDLE d : destroyed) answered += TRV_GetError(d) != TARVIK_STATUS_NULLHANDLE;
    EXPECT_EQ(answered, 0);
    for (TARVIK_HANDLE d : devices) EXPECT_EQ(TRV_DestroyDeviceHandle(d), 0u);
    expectDeadDevice(destroyed.back());

    TRV_CloseDevice(view);
}

// Threads create, look up and destroy requests at once. Each thread gives
// its requests its own command id and shows the others its handles, live and
// destroyed: a destroyed one must answer 0x10006, a live one (if it still
// answers) with its creator's command, never with another thread's request.
TEST(Handles, LookUpsRacingCreateAndDestroyNeverAlias) {
    constexpr int kThreads = 4, kRounds = 20000;
    TestDevice dev;
    TARVIK_HANDLE view = dev.OpenDevice();
    std::atomic<TARVIK_HANDLE> shownLive[kThreads], shownDead[kThreads];
    for (int t = 0; t < kThreads; ++t) {
        shownLive[t] = nullptr;
        shownDead[t] = nullptr;
    }
    std::atomic<int> aliased{0}, deadAnswered{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            const TARVIK_CMD mine = static_cast<TARVIK_CMD>(100 + t);
            for (int i = 0; i < kRounds; ++i) {
                TARVIK_HANDLE h = TRV_CreateRequest(view, mine);
                if (!h) continue;
                shownLive[t] = h;
                if (TRV_GetRequestCommandID(h) != mine) ++aliased;
                const int other = (t + 1 + i % (kThreads - 1)) % kThreads;
                if (TARVIK_HANDLE l = shownLive[other].load()) {
                    const uint32_t c = TRV_GetRequestCommandID(l);
                    if (c != 100u + other && c != TARVIK_STATUS_NOCOMMAND) ++aliased;
                }
                if (TARVIK_HANDLE d = shownDead[other].load())
                    if (TRV_GetRequestState(d) != TARVIK_STATUS_NULLHANDLE) ++deadAnswered;
                TRV_DestroyRequest(h);
                shownDead[t] = h;  // published only after it is gone
            }
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(aliased.load(), 0);
    EXPECT_EQ(deadAnswered.load(), 0);
    TRV_CloseDevice(view);
}
