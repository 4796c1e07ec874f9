// The shared sender loop over a test transport that sees whole batches: what
// goes out together, in which order, and how each request is filed when the
// connection is lost half-way through a batch. Also the receive buffer cut
// by offset over a long stream.
#include <gtest/gtest.h>

#include <random>

#include "on_test_device.h"

using namespace trv;
using namespace trv::test;

namespace {

// Pending frames go out together, as many as 4 KB hold.
struct Sender : OnTestDevice {
    Sender() {
        dev.batchBytes = 4096;
        dev.busyPause = 50;
    }
    // Posts X and holds the sender in its write, so that what is posted next
    // piles up behind it.
    TARVIK_HANDLE holdSender() {
        const int n = dev.holdNext();
        TARVIK_HANDLE x = post(14);
        EXPECT_TRUE(dev.waitHeld(n));
        return x;
    }
    static uint32_t tok(TARVIK_HANDLE r) { return TRV_GetRequestCommandSerial(r); }
    static std::vector<uint32_t> tokens(const std::vector<DecodedFrame>& f) {
        std::vector<uint32_t> t;
        for (const auto& d : f) t.push_back(d.token);
        return t;
    }
    void answer(const DecodedFrame& d, std::vector<TRV_DataItem> values = {}) {
        dev.feed(regFrame(d.token, 1));
        dev.feed(regFrame(d.token, d.cmd, values));
    }
};

}  // namespace

TEST_F(Sender, PendingFramesGoOutTogetherEachWithItsOwnState) {
    TARVIK_HANDLE x = holdSender();
    TARVIK_HANDLE a = post(14), b = post(15), c = post(17);
    TARVIK_HANDLE longCmd = post(1165);  // a printed report: the batch ends with it
    TARVIK_HANDLE d = post(18);
    EXPECT_EQ(TRV_GetRequestState(a), TARVIK_STATE_PENDING);
    dev.release();

    std::vector<DecodedFrame> w;
    ASSERT_TRUE(dev.nextWrite(w));
    EXPECT_EQ(tokens(w), std::vector<uint32_t>{tok(x)});
    ASSERT_TRUE(dev.nextWrite(w));
    EXPECT_EQ(tokens(w), (std::vector<uint32_t>{tok(a), tok(b), tok(c), tok(longCmd)}));
    for (TARVIK_HANDLE r : {x, a, b, c, longCmd}) EXPECT_EQ(waitLeave(r, TARVIK_STATE_PENDING), TARVIK_STATE_SENT);

    // Each frame is answered on its own; the answers need not come in order.
    answer(w[2], {B(3)});
    answer(w[0], {B(1)});
    answer(w[1], {B(2)});
    for (auto [r, v] : {std::pair{a, 1}, {b, 2}, {c, 3}}) {
        ASSERT_EQ(TRV_WaitForRequestCompleted(r, 1000), 0u);
        unsigned char got = 0;
        EXPECT_EQ(TRV_PopResponseValueByte(r, &got), 0u);
        EXPECT_EQ(got, v);
    }

    // d waits behind the report: status polls go out, each alone, and d only
    // once the register says it is done.
    EXPECT_EQ(TRV_GetRequestState(d), TARVIK_STATE_PENDING);
    ASSERT_TRUE(dev.nextWrite(w));
    ASSERT_EQ(w.size(), 1u);
    EXPECT_EQ(w[0].cmd, 8);
    answer(w[0], {B(0), W(0)});
    DecodedFrame report;
    report.token = tok(longCmd);
    report.cmd = 1165;
    answer(report);
    for (int polls = 0; polls < 10; ++polls) {
        ASSERT_TRUE(dev.nextWrite(w));
        ASSERT_EQ(w.size(), 1u);
        if (w[0].cmd != 8) break;
        answer(w[0], {B(0), W(0)});
    }
    EXPECT_EQ(w[0].token, tok(d));
    answer(w[0]);
    EXPECT_EQ(TRV_WaitForRequestCompleted(d, 1000), 0u);
    for (TARVIK_HANDLE r : {x, a, b, c, longCmd, d}) TRV_DestroyRequest(r);
}

TEST_F(Sender, AConnectionLostInABatchLeavesTheWrittenUnknownAndSendsTheRestAgain) {
    TARVIK_HANDLE x = holdSender();
    std::vector<TARVIK_HANDLE> r;
    for (int i = 0; i < 5; ++i) r.push_back(post(static_cast<uint16_t>(40 + i)));
    // In the batch of the five, two frames go out whole, the third half,
    // then the line drops.
    dev.loseAfter(2);
    dev.release();
    std::vector<DecodedFrame> w;
    ASSERT_TRUE(dev.nextWrite(w));  // x alone, before the loss
    EXPECT_EQ(tokens(w), std::vector<uint32_t>{tok(x)});
    uint64_t first = 0, second = 0;
    ASSERT_TRUE(dev.nextWrite(w, &first));
    EXPECT_EQ(tokens(w), (std::vector<uint32_t>{tok(r[0]), tok(r[1])}));
    ASSERT_TRUE(dev.nextWrite(w, &second));
    EXPECT_NE(first, second);
    // The new connection starts with the frame that was cut, whole.
    ASSERT_EQ(w.size(), 3u);
    EXPECT_EQ(tokens(w), (std::vector<uint32_t>{tok(r[2]), tok(r[3]), tok(r[4])}));
    EXPECT_EQ(w[0].cmd, 42);

    // Written whole on the lost connection: the register may have done them.
    for (TARVIK_HANDLE h : {x, r[0], r[1]}) {
        ASSERT_EQ(TRV_WaitForRequestCompleted(h, 1000), 0u);
        EXPECT_EQ(TRV_GetRequestStatus(h), TARVIK_STATUS_OUTCOME_UNKNOWN);
    }
    // The rest went on the new one and are answered there.
    for (size_t i = 2; i < 5; ++i) EXPECT_EQ(waitLeave(r[i], TARVIK_STATE_PENDING), TARVIK_STATE_SENT);
    for (const DecodedFrame& d : w) answer(d, {W(static_cast<uint16_t>(d.cmd))});
    for (size_t i = 2; i < 5; ++i) {
        ASSERT_EQ(TRV_WaitForRequestCompleted(r[i], 1000), 0u);
        EXPECT_EQ(TRV_GetRequestStatus(r[i]), 0u);
        unsigned short v = 0;
        EXPECT_EQ(TRV_PopResponseValueWord(r[i], &v), 0u);
        EXPECT_EQ(v, 40 + i);
    }
    TRV_DestroyRequest(x);
    for (TARVIK_HANDLE h : r) TRV_DestroyRequest(h);
}

TEST_F(Sender, FrontCommandsRetriesAndRepeatsKeepTheirPlaceInTheQueue) {
    // Two requests out and unanswered: s, then q.
    TARVIK_HANDLE s = post(50);
    std::vector<DecodedFrame> w;
    ASSERT_TRUE(dev.nextWrite(w));
    const DecodedFrame sFrame = w[0];
    TARVIK_HANDLE q = post(51);
    ASSERT_TRUE(dev.nextWrite(w));
    EXPECT_EQ(waitLeave(q, TARVIK_STATE_PENDING), TARVIK_STATE_SENT);

    TARVIK_HANDLE x = holdSender();
    TARVIK_HANDLE a = post(52), b = post(53);
    TARVIK_HANDLE front = post(9);  // a front command: ahead of a and b
    // s fails with a transmission error: it is repeated, ahead of everything.
    dev.feed(regFrame(sFrame.token, 0, {W(50), W(3006), W(0), W(0)}));
    // q is repeated by hand: it keeps its place, behind s and the front
    // command (which went to the head of the queue after s was posted).
    EXPECT_EQ(TRV_RepeatRequest(q), 0u);
    EXPECT_EQ(TRV_RepeatRequest(a), TARVIK_STATUS_CANNOTREPEAT);  // pending: nothing to repeat
    dev.release();

    ASSERT_TRUE(dev.nextWrite(w));
    EXPECT_EQ(tokens(w), std::vector<uint32_t>{tok(x)});
    ASSERT_TRUE(dev.nextWrite(w));
    EXPECT_EQ(tokens(w), (std::vector<uint32_t>{tok(s), tok(front), tok(q), tok(a), tok(b)}));
    EXPECT_EQ(w[2].flags & kFlagRepeated, kFlagRepeated);
    EXPECT_EQ(w[3].flags & kFlagRepeated, 0);
    for (const DecodedFrame& d : w) answer(d);
    answer({false, 0, tok(x), 14, {}});
    for (TARVIK_HANDLE h : {s, q, x, a, b, front}) {
        EXPECT_EQ(TRV_WaitForRequestCompleted(h, 1000), 0u);
        EXPECT_EQ(TRV_GetRequestStatus(h), 0u);
        TRV_DestroyRequest(h);
    }
    EXPECT_EQ(TRV_GetRequestCount(view, 1), 0u);
}

TEST_F(Sender, RequestsDeletedOrAnsweredWhileTheirBatchIsWrittenAreLeftAlone) {
    TARVIK_HANDLE x = holdSender();
    TARVIK_HANDLE gone = post(60), early = post(61), kept = post(62);
    // Hold the batch of the three too, and act on them meanwhile.
    const int batch = dev.holdNext();
    dev.release();
    std::vector<DecodedFrame> w;
    ASSERT_TRUE(dev.nextWrite(w));  // x
    ASSERT_TRUE(dev.waitHeld(batch));
    EXPECT_EQ(TRV_DestroyRequest(gone), 0u);
    dev.feed(regFrame(tok(early), 1));               // acknowledged before its write ended
    dev.feed(regFrame(tok(early), 61, {B(7)}));      // and answered
    dev.release();
    ASSERT_TRUE(dev.nextWrite(w));
    EXPECT_EQ(w.size(), 3u);
    EXPECT_EQ(waitLeave(kept, TARVIK_STATE_PENDING), TARVIK_STATE_SENT);
    EXPECT_EQ(TRV_WaitForRequestCompleted(early, 1000), 0u);
    EXPECT_EQ(TRV_GetRequestStatus(early), 0u);
    EXPECT_EQ(TRV_GetRequestCount(view, 1), 2u);  // x and kept
    for (TARVIK_HANDLE h : {x, early, kept}) TRV_DestroyRequest(h);
}

// A long stream in chunks of every size, with noise between frames, cancelled
// starts and doubled DLEs in the data: every frame is cut once, whole, in
// order, and every byte outside a frame is counted as dropped (bar stray
// ends, which go uncounted).
TEST(SenderFifo, ALongStreamInRandomChunksIsCutWhole) {
    std::mt19937 rnd(7);
    std::vector<uint8_t> stream;
    std::vector<std::vector<uint8_t>> frames;
    size_t noise = 0;
    for (int i = 0; i < 3000; ++i) {
        if (rnd() % 4 == 0) {
            const size_t n = 1 + rnd() % 9;
            for (size_t k = 0; k < n; ++k) stream.push_back(static_cast<uint8_t>(0x40 + rnd() % 32));
            noise += n;
        }
        if (rnd() % 10 == 0) {  // a frame start abandoned by DLE CAN
            const std::vector<uint8_t> cancelled = {0x10, 0x02, 0x33, 0x10, 0x18};
            stream.insert(stream.end(), cancelled.begin(), cancelled.end());
            noise += cancelled.size();
        }
        auto f = regFrame(static_cast<uint32_t>(i + 1), 14, {W(0x1003), S(std::string(rnd() % 40, 'x'))});
        frames.push_back(f);
        stream.insert(stream.end(), f.begin(), f.end());
    }
    FIFO fifo;
    size_t at = 0, got = 0, dropped = 0;
    while (at < stream.size()) {
        const size_t n = std::min<size_t>(stream.size() - at, 1 + rnd() % 700);
        fifo.push(stream.data() + at, n);
        at += n;
        const uint8_t* p;
        size_t len, d;
        while (true) {
            const bool ok = fifo.nextFrame(p, len, d);
            dropped += d;
            if (!ok) break;
            ASSERT_LT(got, frames.size());
            ASSERT_EQ(std::vector<uint8_t>(p, p + len), frames[got]) << "frame " << got;
            ++got;
        }
    }
    EXPECT_EQ(got, frames.size());
    EXPECT_EQ(dropped, noise);
    EXPECT_EQ(fifo.size(), 0u);
}
