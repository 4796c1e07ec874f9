// What the libmirtel suites share: a test device with an open view, answers
// filled in by hand, and the values of the frames the sender wrote, written
// compactly ("B14 V2008 S'abc' N12") so a wire order reads at a glance.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tarvik/mirtel.h"
#include "test_device.h"
#include "trvlib_request.h"

namespace mirtel_test {

// One answer value.
struct V {
    char type;
    uint32_t n = 0;
    std::string s;
    static V B(uint8_t v) { return {'B', v, {}}; }
    static V W(uint16_t v) { return {'V', v, {}}; }
    static V L(uint32_t v) { return {'L', v, {}}; }
    static V S(std::string v) { return {'S', 0, std::move(v)}; }
    static V N(std::string v) { return {'N', 0, std::move(v)}; }
    static V K(std::string v) { return {'K', 0, std::move(v)}; }
    static V Q(std::string v) { return {'Q', 0, std::move(v)}; }
};

inline std::string describe(const trv::TRV_DataItem& it) {
    switch (it.Type()) {
    case TARVIK_TYPE_BYTE: return "B" + std::to_string(it.GetChar());
    case TARVIK_TYPE_WORD: return "V" + std::to_string(it.GetShort());
    case TARVIK_TYPE_LONG: return "L" + std::to_string(it.GetLong());
    case TARVIK_TYPE_STRING: return "S'" + it.GetString('.') + "'";
    case TARVIK_TYPE_NUMERIC: return "N" + it.GetString('.');
    default: return std::string(1, static_cast<char>(it.Type())) + it.GetString('.');
    }
}

class MirtelTest : public ::testing::Test {
protected:
    void SetUp() override {
        view = dev.OpenDevice();
        ASSERT_NE(view, nullptr);
        // Nobody answers here, so no busy polls after the long commands.
        unsigned char nosync = 1;
        ASSERT_EQ(TRV_SetDeviceParam(view, TARVIK_PARAM_NOSYNC, &nosync), 0u);
    }
    void TearDown() override { TRV_CloseDevice(view); }

    // A request of cmd, answered with these values.
    TARVIK_HANDLE answer(uint16_t cmd, const std::vector<V>& values) {
        TARVIK_HANDLE h = TRV_CreateRequest(view, cmd);
        auto* r = trv::test::objectOf<trv::TRV_Request>(h);
        for (const V& v : values) {
            auto* it = new trv::TRV_DataItem;
            switch (v.type) {
            case 'B': it->SetChar(static_cast<uint8_t>(v.n)); break;
            case 'V': it->SetShort(static_cast<uint16_t>(v.n)); break;
            case 'L': it->SetLong(v.n); break;
            case 'S': it->SetString(v.s); break;
            case 'N': EXPECT_TRUE(it->SetNumeric(v.s)) << v.s; break;
            case 'K': EXPECT_TRUE(it->SetCurrency(v.s)) << v.s; break;
            case 'Q': EXPECT_TRUE(it->SetQuantity(v.s)) << v.s; break;
            }
            r->response.Add(it);
        }
        r->state = TARVIK_STATE_COMPLETED;
        return h;
    }

    // The values of the next frame the sender wrote, after checking its command.
    std::string sent(uint16_t cmd) {
        std::vector<uint8_t> frame;
        if (!dev.nextWritten(frame)) return "<nothing sent>";
        trv::DecodedFrame d;
        EXPECT_EQ(trv::decodeFrame(frame.data(), frame.size(), trv::Cipher{}, trv::CipherOrder::ItemsFirst, d),
                  trv::FRAME_OK);
        EXPECT_EQ(d.cmd, cmd);
        std::string out;
        for (const auto& it : d.items) out += (out.empty() ? "" : " ") + describe(it);
        return out;
    }

    // Nothing was written within a short wait.
    bool nothingSent() {
        std::vector<uint8_t> frame;
        return !dev.nextWritten(frame, 100);
    }

    void stringMode(unsigned char mode) {
        ASSERT_EQ(TRV_SetDeviceParam(view, TARVIK_PARAM_STRINGHANDLING, &mode), 0u);
    }

    // A request that was created but neither posted nor freed.
    static bool keptUnposted(TARVIK_HANDLE h) { return TRV_GetRequestState(h) == TARVIK_STATE_NEW; }

    trv::test::TestDevice dev;
    TARVIK_HANDLE view = nullptr;
};

}  // namespace mirtel_test
