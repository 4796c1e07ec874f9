// End to end against the simulator: a TCP device on loopback, with a view,
// talking to an in-process simulated register. The libmirtel suites program
// records through the public API and read them back; at the end of every
// test the simulator must not have sent an answer that the command table's
// readers could not read.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "sim_register.h"
#include "sim_tcp.h"
#include "tarvik/mirtel.h"
#include "tarvik/tarvik.h"

namespace trvsim::test {

class MirtelSimTest : public ::testing::Test {
protected:
    void SetUp() override {
        reg.setBusyMs(200);
        const int port = server.start(0);
        ASSERT_GT(port, 0);
        device = TRV_CreateDeviceHandle(TARVIK_DEVICE_ETHER);
        std::string p = std::to_string(port);
        TRV_SetDeviceParam(device, TARVIK_PARAM_IPPORT, p.data());
        view = TRV_OpenDevice(device);
        ASSERT_NE(view, nullptr);
    }
    void TearDown() override {
        if (view) TRV_CloseDevice(view);
        if (device) {
            EXPECT_EQ(TRV_DestroyDeviceHandle(device), 0u);
        }
        server.stop();
        // Every request fitted its command's layout in the table, and every
        // answer the simulator gave can be read by the table's reader.
        const Stats st = reg.stats();
        EXPECT_EQ(st.requestMismatches + st.answerMismatches, 0u)
            << st.requestMismatches << " request(s) and " << st.answerMismatches
            << " answer(s) did not fit the command table; the last: " << reg.lastMismatch();
    }
    // Waits for the request a TRVS_ call made; its status.
    TARVIK_STATUS done(TARVIK_HANDLE r, TARVIK_STATUS sent) {
        if (sent) return sent;
        EXPECT_EQ(TRV_WaitForRequestCompleted(r, 5000), 0u);
        return TRV_GetRequestStatus(r);
    }

    Register reg;
    TcpServer server{reg};
    TARVIK_HANDLE device = nullptr, view = nullptr;
};

}  // namespace trvsim::test
