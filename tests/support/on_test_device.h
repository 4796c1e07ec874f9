// The fixture of the device core's tests: one TestDevice with one open view.
#pragma once

#include <gtest/gtest.h>

#include "register_play.h"

namespace trv::test {

// A test on one open view of a TestDevice.
struct OnTestDevice : ::testing::Test {
    TestDevice dev;
    TARVIK_HANDLE view = nullptr;
    void SetUp() override {
        view = dev.OpenDevice();
        ASSERT_NE(view, nullptr);
    }
    void TearDown() override {
        if (view) TRV_CloseDevice(view);
    }
    TARVIK_HANDLE post(uint16_t cmd, uint8_t mode = 0) {
        TARVIK_HANDLE r = TRV_CreateRequest(view, cmd);
        EXPECT_EQ(TRV_PostRequest(r, mode), 0u);
        return r;
    }
};

}  // namespace trv::test
