// Several application threads post, wait, cancel and purge while a register
// thread answers with occasional transmission errors and corrupted frames.
// Every request a thread keeps must end completed or with a status; the
// suite also runs under ThreadSanitizer.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "register_play.h"

using namespace trv;
using namespace trv::test;

TEST(Concurrency, RequestsEndWhileAnswersStreamIn) {
    TestDevice dev;
    TARVIK_HANDLE view = dev.OpenDevice();
    TARVIK_HANDLE purgeView = dev.OpenDevice();
    std::atomic<bool> stop{false};

    std::thread reg([&] {
        std::mt19937 rng(7);
        std::vector<uint8_t> f;
        while (!stop) {
            if (!dev.nextWritten(f, 20)) continue;
            DecodedFrame d = decodeSent(f);
            if (d.cmd == 10) {  // stop: just answer
                ackAndAnswer(dev, d);
                continue;
            }
            dev.feed(regFrame(d.token, 1));
            const unsigned roll = rng() % 100;
            if (roll < 5) {
                dev.feed(regFrame(d.token, 0, {W(d.cmd), W(3006), W(0), W(0)}));
            } else if (roll < 10) {
                // Line noise in a value: the CRC no longer matches.
                auto bad = regFrame(d.token, d.cmd, {S("xxxxxxxx")});
                auto at = std::search_n(bad.begin(), bad.end(), 8, 'x');
                *at = 'y';
                dev.feed(bad);
            } else {
                dev.feed(regFrame(d.token, d.cmd, {W(static_cast<uint16_t>(d.token))}));
            }
        }
    });

    std::atomic<int> completed{0}, failed{0}, cancelled{0};
    auto worker = [&](int seed) {
        std::mt19937 rng(seed);
        for (int i = 0; i < 150; ++i) {
            TARVIK_HANDLE r = TRV_CreateRequest(view, 14);
            ASSERT_NE(r, nullptr);
            const uint32_t token = TRV_GetRequestCommandSerial(r);
            ASSERT_EQ(TRV_PostRequest(r, 0), 0u);
            if (rng() % 10 == 0) TRV_CancelRequest(r);
            TRV_WaitForRequestCompleted(r, 5000);
            const TARVIK_STATUS st = TRV_GetRequestStatus(r);
            if (st == 0) {
                unsigned short v = 0;
                EXPECT_EQ(TRV_PopResponseValueWord(r, &v), 0u);
                EXPECT_EQ(v, static_cast<uint16_t>(token));  // never another request's answer
                ++completed;
            } else if (st == TARVIK_STATUS_CANCELLED || st == TARVIK_STATUS_OUTCOME_UNKNOWN) {
                ++cancelled;  // before or after its frame went out
            } else {
                EXPECT_EQ(st, 0x440BBEu) << "unexpected status";
                ++failed;
            }
            TRV_DestroyRequest(r);
        }
    };
    auto purger = [&] {
        for (int i = 0; i < 100; ++i) {
            TARVIK_HANDLE r = TRV_CreateRequest(purgeView, 15);
            TRV_PostRequest(r, i % 2 ? 0 : 3);
            if (i % 3 == 0) TRV_RequestQueueCancelPending(purgeView, 0);
            if (i % 7 == 0) TRV_RequestQueueCancelAll(purgeView, 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            while (TARVIK_HANDLE done = TRV_GetNextResponse(purgeView)) TRV_DestroyRequest(done);
        }
        TRV_RequestQueueCancelAll(purgeView, 0);
    };
    std::vector<std::thread> ts;
    for (int s = 1; s <= 3; ++s) ts.emplace_back(worker, s);
    ts.emplace_back(purger);
    for (auto& t : ts) t.join();
    stop = true;
    reg.join();

    EXPECT_EQ(completed + failed + cancelled, 450);
    EXPECT_GT(completed.load(), 300);
    while (TARVIK_HANDLE done = TRV_GetNextResponse(purgeView)) TRV_DestroyRequest(done);
    TRV_CloseDevice(purgeView);
    while (TARVIK_HANDLE done = TRV_GetNextResponse(view)) TRV_DestroyRequest(done);
    TRV_CloseDevice(view);
}

// One thread destroys a request while another posts it. The post either
// comes first (and the destroy takes the request out of the queue again) or
// answers 0x10006; a destroyed request is never left queued, where the
// receive path would find it after its memory was freed.
TEST(Concurrency, APostRacingTheDestroyOfItsRequestNeverQueuesItDead) {
    TestDevice dev;
    TARVIK_HANDLE view = dev.OpenDevice();
    std::atomic<bool> stop{false};
    std::thread reg([&] {
        std::vector<uint8_t> f;
        while (!stop) {
            if (!dev.nextWritten(f, 20)) continue;
            DecodedFrame d = decodeSent(f);
            dev.feed(regFrame(d.token, 1));
            dev.feed(regFrame(d.token, d.cmd, {W(1)}));
        }
    });
    for (int i = 0; i < 1000; ++i) {
        TARVIK_HANDLE r = TRV_CreateRequest(view, 14);
        std::atomic<bool> go{false};
        std::thread poster([&] {
            while (!go) std::this_thread::yield();
            const TARVIK_STATUS st = TRV_PostRequest(r, 0);
            EXPECT_TRUE(st == 0 || st == TARVIK_STATUS_NULLHANDLE) << std::hex << st;
        });
        go = true;
        if (i % 2) std::this_thread::yield();
        TRV_DestroyRequest(r);
        poster.join();
    }
    stop = true;
    reg.join();
    TRV_CloseDevice(view);
}
