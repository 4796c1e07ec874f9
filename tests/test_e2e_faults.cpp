// Faults on the line: with corrupted answers, transmission errors and a
// connection dropped every few hundred frames, every one of 10,000 requests
// ends completed with its own answer, or with the status of its fault; none
// hangs, none is lost, none gets another request's answer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim_register.h"
#include "sim_tcp.h"
#include "tarvik/tarvik.h"

TEST(E2EFaults, TenThousandRequestsEndWithTheirOwnAnswerOrTheirFault) {
    trvsim::Register reg;
    trvsim::Faults f;
    f.crcErrorRate = 0.05;
    f.transErrorRate = 0.05;
    f.dropEvery = 300;
    f.seed = 42;
    reg.setFaults(f);
    trvsim::TcpServer server(reg);
    const int port = server.start(0);
    ASSERT_GT(port, 0);

    TARVIK_HANDLE device = TRV_CreateDeviceHandle(TARVIK_DEVICE_ETHER);
    std::string p = std::to_string(port);
    TRV_SetDeviceParam(device, TARVIK_PARAM_IPPORT, p.data());
    TARVIK_HANDLE view = TRV_OpenDevice(device);
    ASSERT_NE(view, nullptr);

    int completed = 0, retriesExhausted = 0, connectionLost = 0;
    const int total = 10000, window = 20;
    for (int base = 0; base < total; base += window) {
        std::vector<std::pair<TARVIK_HANDLE, unsigned short>> batch;
        for (int i = 0; i < window; ++i) {
            // "Next free record from n": the answer names the request it belongs to.
            const unsigned short n = static_cast<unsigned short>(3 + (base + i) % 4000);
            TARVIK_HANDLE r = TRV_CreateRequest(view, 2120);
            TRV_PushRequestParamWord(r, n);
            ASSERT_EQ(TRV_PostRequest(r, 0), 0u);
            batch.emplace_back(r, n);
        }
        for (auto& [r, n] : batch) {
            ASSERT_EQ(TRV_WaitForRequestCompleted(r, 10000), 0u) << "request hangs, token " << TRV_GetRequestCommandSerial(r);
            const TARVIK_STATUS st = TRV_GetRequestStatus(r);
            if (st == 0) {
                unsigned short got = 0;
                ASSERT_EQ(TRV_PopResponseValueWord(r, &got), 0u);
                ASSERT_EQ(got, n);
                ++completed;
            } else if (st == 0x440000u + 3006) {
                ++retriesExhausted;
            } else {
                ASSERT_EQ(st, TARVIK_STATUS_OUTCOME_UNKNOWN);  // written on a connection that broke
                ++connectionLost;
            }
            TRV_DestroyRequest(r);
        }
    }
    EXPECT_EQ(completed + retriesExhausted + connectionLost, total);
    EXPECT_GT(completed, total * 8 / 10);
    EXPECT_GT(reg.stats().drops, 10u);
    EXPECT_EQ(TRV_GetRequestCount(view, 1), 0u);
    EXPECT_EQ(TRV_GetResponseCount(view), 0u);
    std::printf("completed %d, retries exhausted %d, lost with the connection %d, drops %llu\n", completed,
                retriesExhausted, connectionLost, static_cast<unsigned long long>(reg.stats().drops));
    TRV_CloseDevice(view);
    TRV_DestroyDeviceHandle(device);
    server.stop();
}
