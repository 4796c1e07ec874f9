// libmirtel's send functions given something other than an open view: a
// device handle, a closed view, a request, a destroyed handle. Each is a
// wrong-kind handle (0x10006), not a failed allocation (1), and nothing is
// created or written.
#include <gtest/gtest.h>

#include "register_play.h"
#include "tarvik/mirtel.h"

using namespace trv;
using namespace trv::test;

TEST(MirtelHandles, WrongKindsAreNullHandles) {
    TestDevice dev;
    TARVIK_HANDLE view = dev.OpenDevice();
    TARVIK_HANDLE closed = dev.OpenDevice();
    ASSERT_EQ(TRV_CloseDevice(closed), 0u);
    TARVIK_HANDLE request = TRV_CreateRequest(view, 14);
    TARVIK_HANDLE destroyed = TRV_CreateRequest(view, 14);
    TRV_DestroyRequest(destroyed);

    for (TARVIK_HANDLE h : {handleOf(dev), closed, request, destroyed}) {
        TARVIK_HANDLE req = nullptr;
        EXPECT_EQ(TRVS_TimeGet(h, &req, 0), TARVIK_STATUS_NULLHANDLE);
        EXPECT_EQ(req, nullptr);
        EXPECT_EQ(TRVS_PLURead(h, &req, 1, 0, 0), TARVIK_STATUS_NULLHANDLE);
        EXPECT_EQ(req, nullptr);
    }
    std::vector<uint8_t> f;
    EXPECT_FALSE(dev.nextWritten(f, 100));

    // An open view still works.
    TARVIK_HANDLE req = nullptr;
    EXPECT_EQ(TRVS_TimeGet(view, &req, 0), 0u);
    EXPECT_NE(req, nullptr);
    TRV_RequestQueueCancelAll(view, 1);
    TRV_DestroyRequest(request);
    TRV_CloseDevice(view);
}
