// The device core through the test transport: requests, queues, the receive
// path, events, busy polling, views, parameters and the log.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "on_test_device.h"

using namespace trv;
using namespace trv::test;

namespace {

struct Core : OnTestDevice {
    std::string logText(const std::string& name) {
        std::ifstream in(name);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
};

}  // namespace

TEST_F(Core, TokensAreConsecutiveAcrossViews) {
    TARVIK_HANDLE second = dev.OpenDevice();
    TARVIK_HANDLE a = TRV_CreateRequest(view, 14);
    TARVIK_HANDLE b = TRV_CreateRequest(second, 14);
    EXPECT_EQ(TRV_GetRequestCommandSerial(a), 1u);
    EXPECT_EQ(TRV_GetRequestCommandSerial(b), 2u);
    EXPECT_EQ(TRV_RequestDevice(b), second);
    // A device handle where a view is expected is not acted on.
    EXPECT_EQ(TRV_CreateRequest(handleOf(dev), 14), nullptr);
    EXPECT_EQ(TRV_CreateRequest(a, 14), nullptr);
    TRV_DestroyRequest(a);
    TRV_DestroyRequest(b);
    TRV_CloseDevice(second);
}

TEST_F(Core, PushAndPopStatuses) {
    TARVIK_HANDLE r = TRV_CreateRequest(view, 20);
    EXPECT_EQ(TRV_PushRequestParamCurrency(r, "abc"), TARVIK_STATUS_INVALIDARG);
    EXPECT_EQ(TRV_PushRequestParamString(r, nullptr), TARVIK_STATUS_INVALIDARG);
    std::string huge(65536, 'x');
    EXPECT_EQ(TRV_PushRequestParamString(r, huge.c_str()), TARVIK_STATUS_INVALIDARG);
    EXPECT_EQ(R(r)->items.Count(), 0);
    EXPECT_EQ(TRV_PushRequestParamQuantity(r, "1,5"), 0u);
    EXPECT_EQ(R(r)->items.Count(), 1);

    ASSERT_EQ(TRV_PostRequest(r, 0), 0u);
    DecodedFrame d;
    ASSERT_TRUE(nextSent(dev, d));
    ackAndAnswer(dev, d, {B(7), S("hello"), K("12.34")});
    ASSERT_EQ(TRV_WaitForRequestCompleted(r, 1000), 0u);
    EXPECT_EQ(TRV_GetRequestStatus(r), 0u);
    EXPECT_EQ(TRV_GetResponseValueCount(r), 3u);

    unsigned short w;
    unsigned char b;
    char buf[16];
    EXPECT_EQ(TRV_PopResponseValueWord(r, &w), TARVIK_STATUS_BADDATA);  // a byte is next
    EXPECT_EQ(TRV_PopResponseValueByte(r, nullptr), TARVIK_STATUS_INVALIDARG);
    EXPECT_EQ(TRV_PopResponseValueByte(r, &b), 0u);
    EXPECT_EQ(b, 7);
    EXPECT_EQ(TRV_GetResponseValueType(r), TARVIK_TYPE_STRING);
    EXPECT_EQ(TRV_PopResponseValueString(r, buf, 0), TARVIK_STATUS_MISSINGVALUE);
    EXPECT_EQ(TRV_PopResponseValueString(r, buf, 5), TARVIK_STATUS_BUFFERTOOSMALL);  // "hello" needs 6
    EXPECT_EQ(TRV_PopResponseValueString(r, buf, 6), 0u);
    EXPECT_STREQ(buf, "hello");
    EXPECT_EQ(TRV_PopResponseValueCurrency(r, buf, sizeof buf), 0u);
    EXPECT_STREQ(buf, "12,34");
    EXPECT_EQ(TRV_PopResponseValueByte(r, &b), TARVIK_STATUS_NOMOREVALUES);
    EXPECT_EQ(TRV_GetResponseValueType(r), TARVIK_TYPE_NONE);
    EXPECT_EQ(TRV_ResponseRewind(r), 0u);
    EXPECT_EQ(TRV_PopResponseValueByte(r, &b), 0u);

    // The decimal separator parameter reaches answers already received.
    char dot = '.';
    EXPECT_EQ(TRV_SetDeviceParam(view, TARVIK_PARAM_DECIMALSEP, &dot), 0u);
    TRV_PopResponseValueString(r, buf, sizeof buf);
    EXPECT_EQ(TRV_PopResponseValueCurrency(r, buf, sizeof buf), 0u);
    EXPECT_STREQ(buf, "12.34");
    EXPECT_EQ(TRV_GetDeviceParam(view, TARVIK_PARAM_DECIMALSEP, &dot), TARVIK_STATUS_INVALIDARG);
    TRV_DestroyRequest(r);
}

TEST_F(Core, NullHandlesAreAnswered) {
    unsigned char b;
    char buf[4];
    EXPECT_EQ(TRV_DestroyRequest(nullptr), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_PushRequestParamByte(nullptr, 1), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_PopResponseValueByte(nullptr, &b), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_PopResponseValueString(nullptr, buf, 4), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_GetRequestState(nullptr), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_GetRequestStatus(nullptr), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_GetRequestCommandID(nullptr), TARVIK_STATUS_NOCOMMAND);
    EXPECT_EQ(TRV_GetResponseValueCount(nullptr), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_GetResponseValueType(nullptr), TARVIK_TYPE_NONE);
    EXPECT_EQ(TRV_GetRequestAge(nullptr), 0u);
    EXPECT_EQ(TRV_RequestDevice(nullptr), nullptr);
    EXPECT_EQ(TRV_PostRequest(nullptr, 0), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_WaitForRequestCompleted(nullptr, 0), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_RepeatRequest(nullptr), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_CancelRequest(nullptr), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_AsyncDataWaiting(nullptr), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_GetError(nullptr), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_SetCallback(view, nullptr), TARVIK_STATUS_INVALIDARG);
    EXPECT_EQ(TRV_SetEventHandlingMode(view, 1), TARVIK_STATUS_INVALIDARG);
    EXPECT_EQ(TRV_SetEventHandlingMode(view, 2), TARVIK_STATUS_INVALIDARG);
    // A request handle is not a view, a view is not a device.
    TARVIK_HANDLE r = TRV_CreateRequest(view, 14);
    EXPECT_EQ(TRV_GetResponseCount(r), 0u);
    EXPECT_EQ(TRV_RequestQueueCancelAll(r, 1), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_DestroyDeviceHandle(view), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_ModemStatus(view), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_DestroyRequest(view), TARVIK_STATUS_NULLHANDLE);
    TRV_DestroyRequest(r);
}

TEST_F(Core, QueueLimitsExclusiveModeAndFrontCommands) {
    uint32_t two = 2;
    ASSERT_EQ(TRV_SetDeviceParam(view, TARVIK_PARAM_OUTQUEUEMAXLEN, &two), 0u);
    std::atomic<bool> go{false};  // holds the first write until everything is queued
    dev.duringWrite = [&] {
        while (!go) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    uint32_t zero = 0;
    EXPECT_EQ(TRV_SetDeviceParam(view, TARVIK_PARAM_OUTQUEUEMAXLEN, &zero), TARVIK_STATUS_INVALIDARG);
    TARVIK_HANDLE a = post(14), b = post(15);
    TARVIK_HANDLE c = TRV_CreateRequest(view, 20);
    EXPECT_EQ(TRV_PostRequest(c, 0), TARVIK_STATUS_INUSE);
    EXPECT_EQ(TRV_GetRequestState(c), TARVIK_STATE_PENDING);  // refused but pending
    TARVIK_HANDLE x = TRV_CreateRequest(view, 21);
    EXPECT_EQ(TRV_PostRequest(x, 1), TARVIK_STATUS_INUSE);
    // Status query goes to the front even on a full queue.
    TARVIK_HANDLE q = TRV_CreateRequest(view, 9);
    EXPECT_EQ(TRV_PostRequest(q, 0), 0u);
    EXPECT_EQ(dev.GetRequestCount(nullptr, true), 3u);
    go = true;

    // q jumps ahead of b (a may already be on its way).
    std::vector<uint32_t> order;
    for (int i = 0; i < 3; ++i) {
        DecodedFrame d;
        ASSERT_TRUE(nextSent(dev, d));
        order.push_back(d.token);
        ackAndAnswer(dev, d);
    }
    EXPECT_EQ(order.back(), TRV_GetRequestCommandSerial(b));
    for (TARVIK_HANDLE h : {q, a, b}) EXPECT_EQ(TRV_WaitForRequestCompleted(h, 1000), 0u);
    EXPECT_EQ(TRV_PostRequest(c, 0), 0u);
    EXPECT_EQ(TRV_RequestQueueCancelAll(view, 0), 0u);
    EXPECT_EQ(TRV_PostRequest(x, 1), 0u);  // idle device takes an exclusive post
    TRV_RequestQueueCancelAll(view, 0);
    for (TARVIK_HANDLE h : {q, a, b}) TRV_DestroyRequest(h);
}

TEST_F(Core, AnswersAcceptCompleteAndAreMatchedByTokenAndCommand) {
    TARVIK_HANDLE r = post(2110);
    DecodedFrame d;
    ASSERT_TRUE(nextSent(dev, d));
    EXPECT_EQ(waitLeave(r, TARVIK_STATE_PENDING), TARVIK_STATE_SENT);
    dev.feed(regFrame(d.token + 100, 1));  // unknown token: nothing changes
    EXPECT_EQ(TRV_GetRequestState(r), TARVIK_STATE_SENT);
    dev.feed(regFrame(d.token, 1));
    EXPECT_EQ(TRV_GetRequestState(r), TARVIK_STATE_ACCEPTED);
    dev.feed(regFrame(d.token, 2111, {B(1)}));  // another command: ignored
    EXPECT_EQ(TRV_GetRequestState(r), TARVIK_STATE_ACCEPTED);
    dev.feed(regFrame(d.token, 2110, {B(1)}));
    EXPECT_EQ(TRV_GetRequestState(r), TARVIK_STATE_COMPLETED);
    EXPECT_EQ(TRV_GetResponseCount(view), 1u);
    EXPECT_EQ(TRV_GetNextResponse(view), r);
    EXPECT_EQ(TRV_GetResponseCount(view), 0u);
    uint32_t sent = 0, done = 0;
    TRV_RequestQueueStats(view, &sent, &done);
    EXPECT_EQ(sent, 1u);
    EXPECT_EQ(done, 2u);  // both completion answers were processed
    TRV_DestroyRequest(r);
}

TEST_F(Core, TransmissionErrorsAreRetriedFiveTimes) {
    TARVIK_HANDLE r = post(14);
    for (int i = 0; i < 6; ++i) {
        DecodedFrame d;
        ASSERT_TRUE(nextSent(dev, d)) << i;
        dev.feed(regFrame(d.token, 0, {W(14), W(3006), W(0), W(0)}));
    }
    ASSERT_EQ(TRV_WaitForRequestCompleted(r, 1000), 0u);
    EXPECT_EQ(TRV_GetRequestStatus(r), 0x440BBEu);
    EXPECT_EQ(dev.writtenCount(), 0u);

    TARVIK_HANDLE e = post(15);
    DecodedFrame d;
    ASSERT_TRUE(nextSent(dev, d));
    dev.feed(regFrame(d.token, 0, {W(15), W(0), W(5), W(0)}));
    EXPECT_EQ(TRV_GetRequestStatus(e), 0x430005u);
    // Error answers with the wrong count or command change nothing.
    TARVIK_HANDLE f = post(16);
    ASSERT_TRUE(nextSent(dev, d));
    EXPECT_EQ(waitLeave(f, TARVIK_STATE_PENDING), TARVIK_STATE_SENT);
    dev.feed(regFrame(d.token, 0, {W(16), W(0), W(5)}));
    dev.feed(regFrame(d.token, 0, {W(17), W(0), W(5), W(0)}));
    EXPECT_EQ(TRV_GetRequestState(f), TARVIK_STATE_SENT);
    dev.feed(regFrame(d.token, 16));  // completes the long command
    for (TARVIK_HANDLE h : {r, e, f}) TRV_DestroyRequest(h);
}

TEST_F(Core, CrcErrorReplaysTheFrameAsARepetition) {
    TARVIK_HANDLE r = post(14);
    DecodedFrame d;
    ASSERT_TRUE(nextSent(dev, d));
    auto bad = regFrame(d.token, 14, {B(9)});
    bad[bad.size() - 5] ^= 0x55;  // the value byte
    dev.feed(bad);
    std::vector<uint8_t> again;
    ASSERT_TRUE(dev.nextWritten(again));
    auto d2 = decodeSent(again);
    EXPECT_EQ(d2.token, d.token);
    EXPECT_EQ(d2.flags, kFlagRepeated);
    ackAndAnswer(dev, d2, {B(9)});
    EXPECT_EQ(TRV_GetRequestStatus(r), 0u);
    EXPECT_EQ(R(r)->max_retry_count, 5);  // replays do not use up retries
    TRV_DestroyRequest(r);
}

TEST_F(Core, AutoDeleteModesAndTheSalesQueue) {
    TARVIK_HANDLE empty = post(14, 2), full = post(15, 2), gone = post(20, 3);
    for (int i = 0; i < 3; ++i) {
        DecodedFrame d;
        ASSERT_TRUE(nextSent(dev, d));
        ackAndAnswer(dev, d, d.cmd == 15 ? std::vector<TRV_DataItem>{B(1)} : std::vector<TRV_DataItem>{});
    }
    (void)empty;
    (void)gone;
    EXPECT_EQ(TRV_GetResponseCount(view), 1u);
    EXPECT_EQ(TRV_GetNextResponse(view), full);
    TRV_DestroyRequest(full);

    TARVIK_HANDLE sale = post(451);
    DecodedFrame d;
    ASSERT_TRUE(nextSent(dev, d));
    ackAndAnswer(dev, d, {B(1), W(2)});
    EXPECT_EQ(TRV_GetResponseCount(view), 0u);
    EXPECT_EQ(TRV_SalesQueueLength(view, 0), 1u);
    EXPECT_EQ(TRV_PopSalesQueue(view, 0), sale);
    EXPECT_EQ(TRV_PopSalesQueue(view, 0), nullptr);
    TRV_DestroyRequest(sale);
}

TEST_F(Core, SalesRecordsBelongToTheirView) {
    TARVIK_HANDLE other = dev.OpenDevice();
    TARVIK_HANDLE a = post(451);
    TARVIK_HANDLE b = TRV_CreateRequest(other, 451);
    TRV_PostRequest(b, 0);
    TARVIK_HANDLE a2 = post(451);
    for (int i = 0; i < 3; ++i) {
        DecodedFrame d;
        ASSERT_TRUE(nextSent(dev, d));
        ackAndAnswer(dev, d, {B(static_cast<uint8_t>(i))});
    }
    EXPECT_EQ(TRV_SalesQueueLength(view, 1), 3u);
    EXPECT_EQ(TRV_PopSalesQueue(other, 0), b);
    EXPECT_EQ(TRV_PopSalesQueue(view, 0), a);
    EXPECT_EQ(TRV_PopSalesQueue(view, 0), a2);
    // A pop that waits returns as soon as a record arrives.
    TARVIK_HANDLE late = post(451);
    DecodedFrame d;
    ASSERT_TRUE(nextSent(dev, d));
    std::thread reg([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        ackAndAnswer(dev, d, {B(1)});
    });
    auto t0 = Clock::now();
    EXPECT_EQ(TRV_PopSalesQueue(view, 5000), late);
    EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(2000));
    reg.join();
    for (TARVIK_HANDLE h : {a, b, a2, late}) TRV_DestroyRequest(h);
    TRV_CloseDevice(other);
}

TEST_F(Core, FrameCuttingInTheStream) {
    TARVIK_HANDLE r = post(14);
    DecodedFrame d;
    ASSERT_TRUE(nextSent(dev, d));
    auto ack = regFrame(d.token, 1);
    std::vector<uint8_t> chunk = {0x41, 0x42};
    chunk.insert(chunk.end(), ack.begin(), ack.end());
    dev.feed(chunk);
    EXPECT_EQ(dev.bytesReceivedDropped.load(), 2);
    EXPECT_EQ(TRV_GetRequestState(r), TARVIK_STATE_ACCEPTED);

    // A cancelled frame before the real one; the real one in three chunks.
    std::vector<uint8_t> s = {0x10, 0x02, 0x33, 0x10, 0x18};
    auto ans = regFrame(d.token, 14, {W(0x1003)});  // data holding 10 10 03
    s.insert(s.end(), ans.begin(), ans.end());
    const size_t third = s.size() / 3;
    dev.feed({s.begin(), s.begin() + third});
    dev.feed({s.begin() + third, s.begin() + 2 * third});
    EXPECT_EQ(TRV_GetRequestState(r), TARVIK_STATE_ACCEPTED);
    const int framesBefore = dev.framesReceived.load();
    dev.feed({s.begin() + 2 * third, s.end()});
    EXPECT_EQ(dev.framesReceived.load(), framesBefore + 1);
    unsigned short w = 0;
    ASSERT_EQ(TRV_GetRequestStatus(r), 0u);
    TRV_PopResponseValueWord(r, &w);
    EXPECT_EQ(w, 0x1003);

    // Bytes without any frame start pile up to 32 KB, then go as a whole.
    const int dropped = dev.bytesReceivedDropped.load();
    std::vector<uint8_t> junk(4096, 0x55);
    for (int i = 0; i < 8; ++i) dev.feed(junk);
    EXPECT_EQ(dev.bytesReceivedDropped.load(), dropped);
    dev.feed(junk);
    EXPECT_EQ(dev.bytesReceivedDropped.load(), dropped + 9 * 4096);
    TRV_DestroyRequest(r);
}

TEST_F(Core, EventModes) {
    auto card = [&] { dev.feed(regFrame(0, 2, {S("1234567890"), B(1)})); };
    card();  // mode 0: discarded
    EXPECT_EQ(TRV_AsyncDataWaiting(view), TARVIK_STATUS_NOASYNCDATA);

    ASSERT_EQ(TRV_SetEventHandlingMode(view, TARVIK_EVENT_SEMAPHORE), 0u);
    card();
    card();
    sem_t* sem = TRV_GetSemaphore(view);
    int v = 0;
    sem_getvalue(sem, &v);
    EXPECT_EQ(v, 2);
    EXPECT_EQ(TRV_AsyncQueueLength(view), 2u);
    TARVIK_HANDLE ev = TRV_PopAsyncData(view, 0);
    ASSERT_NE(ev, nullptr);
    EXPECT_EQ(TRV_GetRequestCommandID(ev), 2u);
    EXPECT_EQ(TRV_RequestDevice(ev), view);
    char buf[32];
    EXPECT_EQ(TRV_PopResponseValueString(ev, buf, sizeof buf), 0u);
    EXPECT_STREQ(buf, "1234567890");
    TRV_DestroyRequest(ev);
    EXPECT_EQ(TRV_AsyncQueuePurge(view), 0u);
    EXPECT_EQ(TRV_AsyncQueueLength(view), 0u);

    static std::atomic<TARVIK_HANDLE> got{nullptr};
    ASSERT_EQ(TRV_SetEventHandlingMode(view, TARVIK_EVENT_CALLBACK), 0u);
    card();  // callback mode without a callback: queued
    EXPECT_EQ(TRV_AsyncQueueLength(view), 1u);
    ASSERT_EQ(TRV_SetCallback(view, [](void* h) { got = h; }), 0u);
    card();
    ASSERT_NE(got.load(), nullptr);
    EXPECT_EQ(TRV_RequestDevice(got.load()), view);
    TRV_DestroyRequest(got.load());
    EXPECT_EQ(TRV_AsyncQueueLength(view), 1u);

    // A timed pop looks at 0, 50 and 100 ms and gives up around 150 ms.
    TRV_AsyncQueuePurge(view);
    auto t0 = Clock::now();
    EXPECT_EQ(TRV_PopAsyncData(view, 120), nullptr);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
    EXPECT_GE(ms, 140);
    EXPECT_LT(ms, 1000);
}

TEST_F(Core, LongCommandHoldsRequestsBehindStatusPolls) {
    dev.busyPause = 100;
    TARVIK_HANDLE rep = post(1165);  // a printed report
    DecodedFrame d;
    ASSERT_TRUE(nextSent(dev, d));
    ASSERT_EQ(waitLeave(rep, TARVIK_STATE_PENDING), TARVIK_STATE_SENT);
    EXPECT_FALSE(dev.last_long_done.load());
    TARVIK_HANDLE next = post(14);
    // Held back: the sender asks with command 8 instead, until the register
    // says it is done.
    ASSERT_TRUE(nextSent(dev, d));
    EXPECT_EQ(d.cmd, 8);
    ackAndAnswer(dev, d, {B(1), W(3)});
    EXPECT_EQ(TRV_GetError(view), 35u);  // 32 + busy code
    EXPECT_EQ(TRV_GetRequestState(next), TARVIK_STATE_PENDING);
    DecodedFrame report;
    report.token = TRV_GetRequestCommandSerial(rep);
    report.cmd = 1165;
    ackAndAnswer(dev, report);  // the report is done
    int polls = 0;
    while (nextSent(dev, d) && d.cmd == 8) {
        ++polls;
        ackAndAnswer(dev, d, {B(0), W(0)});
    }
    EXPECT_EQ(d.cmd, 14);
    EXPECT_LE(polls, 10);  // a few: one per pass while the request waits
    ackAndAnswer(dev, d);
    EXPECT_EQ(TRV_WaitForRequestCompleted(next, 1000), 0u);
    EXPECT_EQ(TRV_GetRequestCount(view, 1), 0u);  // the polls deleted themselves

    // With the no-sync switch nothing is held back.
    unsigned char on = 1;
    TRV_SetDeviceParam(view, TARVIK_PARAM_NOSYNC, &on);
    TARVIK_HANDLE rep2 = post(1165);
    ASSERT_TRUE(nextSent(dev, d));
    EXPECT_EQ(d.cmd, 1165);
    TARVIK_HANDLE after = post(15);
    ASSERT_TRUE(nextSent(dev, d));
    EXPECT_EQ(d.cmd, 15);
    for (TARVIK_HANDLE h : {rep, next, rep2, after}) TRV_DestroyRequest(h);
}

TEST_F(Core, PurgeCancelRepeat) {
    dev.writeResult = kKeepPending;  // nothing leaves: everything stays pending
    TARVIK_HANDLE p = post(14);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(TRV_RepeatRequest(p), TARVIK_STATUS_CANNOTREPEAT);
    EXPECT_EQ(TRV_RequestQueueCancelPending(view, 0), 0u);
    EXPECT_EQ(TRV_GetRequestCount(view, 1), 0u);  // p is gone (deleted by the purge)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // its last write returns

    dev.writeResult = 0;
    TARVIK_HANDLE s = post(15);
    DecodedFrame d;
    ASSERT_TRUE(nextSent(dev, d));
    dev.feed(regFrame(d.token, 1));
    EXPECT_EQ(TRV_RepeatRequest(s), 0u);
    ASSERT_TRUE(nextSent(dev, d));
    EXPECT_EQ(d.flags & kFlagRepeated, kFlagRepeated);
    dev.feed(regFrame(d.token, 1));
    TRV_RequestQueueCancelPending(view, 0);
    EXPECT_EQ(TRV_GetRequestCount(view, 0), 1u);  // accepted: stays
    // Cancelling the executing request stops the register with command 10;
    // whether it ran is unknown.
    EXPECT_EQ(TRV_CancelRequest(s), 0u);
    EXPECT_EQ(TRV_GetRequestStatus(s), TARVIK_STATUS_OUTCOME_UNKNOWN);
    ASSERT_TRUE(nextSent(dev, d));
    EXPECT_EQ(d.cmd, 10);
    ackAndAnswer(dev, d);
    TRV_DestroyRequest(s);

    TARVIK_HANDLE done = post(16);
    ASSERT_TRUE(nextSent(dev, d));
    ackAndAnswer(dev, d);
    EXPECT_EQ(TRV_CancelRequest(done), TARVIK_STATUS_ALREADYCOMPLETED);
    EXPECT_EQ(TRV_GetResponseCount(view), 0u);
    TRV_DestroyRequest(done);

    TARVIK_HANDLE acc = post(17);
    ASSERT_TRUE(nextSent(dev, d));
    dev.feed(regFrame(d.token, 1));
    const uint32_t accToken = TRV_GetRequestCommandSerial(acc);
    EXPECT_EQ(TRV_CancelExecuting(view), acc);
    ASSERT_TRUE(nextSent(dev, d));
    EXPECT_EQ(d.cmd, 10);
    EXPECT_EQ(TRV_RequestQueueCancelAll(view, 1), 0u);
    EXPECT_EQ(TRV_GetRequestCount(view, 1), 0u);
    dev.feed(regFrame(accToken, 17));  // purged: logged as not in queue
}

TEST_F(Core, FailedWritesEndTheRequestAndModeThreeDeletesItself) {
    dev.writeResult = TARVIK_STATUS_TIMEOUT;
    TARVIK_HANDLE r = post(14);
    ASSERT_EQ(TRV_WaitForRequestCompleted(r, 1000), 0u);
    EXPECT_EQ(TRV_GetRequestStatus(r), TARVIK_STATUS_TIMEOUT);
    EXPECT_EQ(TRV_GetNextResponse(view), r);
    TRV_DestroyRequest(r);
    post(15, 3);  // fails and frees itself; nothing left behind
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(TRV_GetRequestCount(view, 1), 0u);
    EXPECT_EQ(TRV_GetResponseCount(view), 0u);
}

TEST_F(Core, RequestsDeletedWhileBeingWrittenAreFreedByTheSender) {
    std::atomic<TARVIK_HANDLE> victim{nullptr};
    std::atomic<int> mode{0};
    dev.duringWrite = [&] {
        TARVIK_HANDLE v = victim.exchange(nullptr);
        if (!v) return;
        if (mode == 0) TRV_DestroyRequest(v);
        else if (mode == 1) TRV_RequestQueueCancelAll(view, 0);
        else TRV_CancelRequest(v);
    };
    for (int m = 0; m < 3; ++m) {
        mode = m;
        TARVIK_HANDLE r = TRV_CreateRequest(view, 14);
        victim = r;
        ASSERT_EQ(TRV_PostRequest(r, 0), 0u);
        std::vector<uint8_t> f;
        ASSERT_TRUE(dev.nextWritten(f));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(TRV_GetRequestCount(view, 1), 0u);
        if (m == 2) {
            EXPECT_EQ(TRV_GetRequestStatus(r), TARVIK_STATUS_OUTCOME_UNKNOWN);  // its frame went out
            TRV_DestroyRequest(r);
        }
    }
}

TEST(CoreViews, ClosingViewsAndTheStatisticsDump) {
    const std::string log = ::testing::TempDir() + "views_log.txt";
    std::remove(log.c_str());
    auto* dev = new TestDevice;
    TRV_SetDebugFileName(handleOf(dev), log.c_str());
    TRV_SetDebugLevel(handleOf(dev), 0x80100E);
    TARVIK_HANDLE a = dev->OpenDevice();
    TARVIK_HANDLE b = dev->OpenDevice();
    unsigned char one = 1, got = 9;
    EXPECT_EQ(TRV_SetDeviceParam(a, TARVIK_PARAM_STRINGHANDLING, &one), 0u);
    TRV_GetDeviceParam(b, TARVIK_PARAM_STRINGHANDLING, &got);
    EXPECT_EQ(got, 0);
    TRV_GetDeviceParam(a, TARVIK_PARAM_STRINGHANDLING, &got);
    EXPECT_EQ(got, 1);

    TARVIK_HANDLE r = TRV_CreateRequest(a, 14);
    TRV_PostRequest(r, 0);
    DecodedFrame d;
    ASSERT_TRUE(nextSent(*dev, d));
    ackAndAnswer(*dev, d, {S("kept")});
    EXPECT_EQ(TRV_GetResponseCount(b), 0u);
    EXPECT_EQ(TRV_DestroyDeviceHandle(handleOf(dev)), TARVIK_STATUS_INUSE);
    EXPECT_EQ(TRV_CloseDevice(a), 0u);  // the request still points at the closed view
    EXPECT_EQ(TRV_CloseDevice(a), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_CloseDevice(b), 0u);
    EXPECT_EQ(TRV_DestroyDeviceHandle(handleOf(dev)), 0u);
    char buf[8];
    EXPECT_EQ(TRV_PopResponseValueString(r, buf, sizeof buf), 0u);  // device gone, value still there
    EXPECT_STREQ(buf, "kept");
    TRV_DestroyRequest(r);

    std::ifstream in(log);
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string text = ss.str();
    EXPECT_NE(text.find("DEVICE: Removing deviceView from device scope\n"), std::string::npos);
    EXPECT_NE(text.find("DEVICE: Statistics Dump Started\nDEVICE: Frames sent       : 1\n"), std::string::npos);
    EXPECT_NE(text.find("DEVICE: Frames in Input queue   : 1\n"), std::string::npos);
    EXPECT_NE(text.find("DEVICE: Begin IN Queue Dump\nDEVICE: INQ - Index: 0, Token: 1, Command=14, Retry=5, State=102404, Flags=0, Start Time: "),
              std::string::npos);
    EXPECT_NE(text.find("DEVICE: Request moved form OUT queue to IN queue\n"), std::string::npos);
}

TEST(CoreLog, ThresholdsAndCategories) {
    const std::string log = ::testing::TempDir() + "levels_log.txt";
    auto run = [&](uint32_t level) {
        std::remove(log.c_str());
        TestDevice dev;
        TRV_SetDebugFileName(handleOf(dev), log.c_str());
        TRV_SetDebugLevel(handleOf(dev), level);
        TARVIK_HANDLE v = dev.OpenDevice();
        TARVIK_HANDLE r = TRV_CreateRequest(v, 14);
        TRV_PostRequest(r, 0);
        DecodedFrame d;
        nextSent(dev, d);
        ackAndAnswer(dev, d);
        TRV_DestroyRequest(r);
        TRV_CloseDevice(v);
        std::ifstream in(log);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    };
    std::string full = run(0x1100E);
    EXPECT_NE(full.find("DEVICE: Command completed\n"), std::string::npos);
    EXPECT_NE(full.find("FRAME Received : \n$$I 0000 10 02 "), std::string::npos);
    EXPECT_NE(full.find("DEVICE: Frame is an answer to: .1 with code: 1 and fields: 0\n"), std::string::npos);
    std::string less = run(0x100D);
    EXPECT_EQ(less.find("DEVICE: Command completed"), std::string::npos);
    EXPECT_NE(less.find("DEVICE: Start processing command complete"), std::string::npos);
    EXPECT_EQ(run(0x0006), "");
    EXPECT_EQ(run(0x1000), "");
}

TEST(CoreFifo, AStrayEndDoesNotHoldBackTheFrameBehindIt) {
    FIFO fifo;
    auto f = regFrame(5, 14, {B(1)});
    std::vector<uint8_t> in = {0x41, 0x10, 0x03};
    in.insert(in.end(), f.begin(), f.end());
    fifo.push(in.data(), in.size());
    std::vector<uint8_t> out;
    size_t dropped = 0;
    ASSERT_TRUE(fifo.nextFrame(out, dropped));
    EXPECT_EQ(out, f);
    EXPECT_EQ(fifo.size(), 0u);

    // A frame start with no end is kept only up to the largest frame size.
    std::vector<uint8_t> open = {0x10, 0x02};
    open.resize(FIFO::kMaxPending + 10, 0x55);
    fifo.push(open.data(), open.size());
    EXPECT_FALSE(fifo.nextFrame(out, dropped));
    EXPECT_EQ(dropped, open.size());
    EXPECT_EQ(fifo.size(), 0u);
}

// ---- hardening: waiters, retries, re-posts, polls, closed views

TEST_F(Core, CancelEndsTheRequestAndWakesItsWaiter) {
    TARVIK_HANDLE r = post(14);
    DecodedFrame d;
    ASSERT_TRUE(nextSent(dev, d));
    TARVIK_STATUS waited = 1;
    long ms = 0;
    std::thread waiter([&] {
        const auto t0 = Clock::now();
        waited = TRV_WaitForRequestCompleted(r, 3000);
        ms = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count());
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(TRV_CancelRequest(r), 0u);
    waiter.join();
    EXPECT_EQ(waited, 0u);
    EXPECT_LT(ms, 1500);  // woken by the cancel, not by its time-out
    EXPECT_EQ(TRV_GetRequestStatus(r), TARVIK_STATUS_OUTCOME_UNKNOWN);  // it was sent
    // A finished request keeps the status it finished with.
    EXPECT_EQ(TRV_CancelRequest(r), TARVIK_STATUS_ALREADYCOMPLETED);
    EXPECT_EQ(TRV_GetRequestStatus(r), TARVIK_STATUS_OUTCOME_UNKNOWN);
    TRV_DestroyRequest(r);
}

// An answer whose header is readable but whose values are not (an unknown
// type letter): the same every time, so it may not be asked for forever.
static std::vector<uint8_t> damagedAnswer(uint32_t token, uint16_t cmd) {
    auto f = regFrame(token, cmd, {B(0x55)});
    for (size_t i = 2; i + 1 < f.size(); ++i)
        if (f[i] == 'B' && f[i + 1] == 0x55) {
            f[i] = 'Z';
            break;
        }
    return f;
}

TEST(CoreRetries, DamagedAnswersUseUpTheRetryBudget) {
    const std::string log = ::testing::TempDir() + "damaged_log.txt";
    std::remove(log.c_str());
    TestDevice dev;
    TRV_SetDebugFileName(handleOf(dev), log.c_str());
    TRV_SetDebugLevel(handleOf(dev), 0x100E);
    TARVIK_HANDLE view = dev.OpenDevice();
    TARVIK_HANDLE r = TRV_CreateRequest(view, 14);
    ASSERT_EQ(TRV_PostRequest(r, 0), 0u);
    int writes = 0;
    DecodedFrame d;
    while (writes < 20 && nextSent(dev, d, 500)) {
        ++writes;
        EXPECT_EQ(d.flags & kFlagRepeated, writes > 1 ? kFlagRepeated : 0);
        dev.feed(damagedAnswer(d.token, 14));
    }
    EXPECT_EQ(writes, 6);  // the first write and five replays
    ASSERT_EQ(TRV_WaitForRequestCompleted(r, 1000), 0u);
    EXPECT_EQ(TRV_GetRequestStatus(r), TARVIK_STATUS_BADDATA);
    EXPECT_EQ(TRV_GetRequestCount(view, 1), 0u);
    TRV_DestroyRequest(r);

    // A mode 3 request whose answers are all damaged goes away in the end.
    TARVIK_HANDLE gone = TRV_CreateRequest(view, 15);
    ASSERT_EQ(TRV_PostRequest(gone, 3), 0u);
    for (int i = 0; i < 6 && nextSent(dev, d, 500); ++i) dev.feed(damagedAnswer(d.token, 15));
    EXPECT_EQ(TRV_GetRequestCount(view, 1), 0u);
    EXPECT_EQ(TRV_GetResponseCount(view), 0u);
    TRV_CloseDevice(view);

    std::ifstream in(log);
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string text = ss.str();
    EXPECT_NE(text.find("DEVICE: Damaged answer - frame replay sent.\n"), std::string::npos);
    EXPECT_NE(text.find("DEVICE: Damaged answer - retries used up.\n"), std::string::npos);
    EXPECT_EQ(text.find("DEVICE: CRC Error detected"), std::string::npos);
}

TEST_F(Core, APostStartsWithNoAnswerAndAFullRetryBudget) {
    // A register error, then the library's own failure on the re-post.
    TARVIK_HANDLE r = post(14);
    DecodedFrame d;
    ASSERT_TRUE(nextSent(dev, d));
    dev.feed(regFrame(d.token, 0, {W(14), W(0), W(5), W(0)}));
    ASSERT_EQ(TRV_GetRequestStatus(r), 0x430005u);
    dev.writeResult = TARVIK_STATUS_TIMEOUT;
    ASSERT_EQ(TRV_PostRequest(r, 0), 0u);
    ASSERT_EQ(TRV_WaitForRequestCompleted(r, 1000), 0u);
    EXPECT_EQ(TRV_GetRequestStatus(r), TARVIK_STATUS_TIMEOUT);
    EXPECT_EQ(TRV_GetResponseValueCount(r), 0u);
    dev.writeResult = 0;

    // Two successes: the second answer replaces the first.
    TRV_GetNextResponse(view);
    ASSERT_EQ(TRV_PostRequest(r, 0), 0u);
    ASSERT_TRUE(nextSent(dev, d));
    ackAndAnswer(dev, d, {B(1)});
    ASSERT_EQ(TRV_PostRequest(r, 0), 0u);
    ASSERT_TRUE(nextSent(dev, d));
    ackAndAnswer(dev, d, {B(2)});
    ASSERT_EQ(TRV_GetRequestStatus(r), 0u);
    EXPECT_EQ(TRV_GetResponseValueCount(r), 1u);
    unsigned char b = 0;
    EXPECT_EQ(TRV_PopResponseValueByte(r, &b), 0u);
    EXPECT_EQ(b, 2);

    // Retries used up once, then posted again: the budget is full again.
    for (int run = 0; run < 2; ++run) {
        TRV_GetNextResponse(view);
        ASSERT_EQ(TRV_PostRequest(r, 0), 0u);
        for (int i = 0; i < 6; ++i) {
            ASSERT_TRUE(nextSent(dev, d)) << run << " " << i;
            dev.feed(regFrame(d.token, 0, {W(14), W(3006), W(0), W(0)}));
        }
        ASSERT_EQ(TRV_WaitForRequestCompleted(r, 1000), 0u) << run;
        EXPECT_EQ(TRV_GetRequestStatus(r), 0x440BBEu);
        EXPECT_EQ(dev.writtenCount(), 0u);
    }
    TRV_DestroyRequest(r);
}

TEST_F(Core, AtMostOneStatusPollIsOutstanding) {
    dev.busyPause = 20;
    TARVIK_HANDLE rep = post(1165);
    DecodedFrame d;
    ASSERT_TRUE(nextSent(dev, d));
    ASSERT_EQ(waitLeave(rep, TARVIK_STATE_PENDING), TARVIK_STATE_SENT);
    TARVIK_HANDLE next = post(14);
    // The register never answers command 8.
    int polls = 0;
    const auto until = Clock::now() + std::chrono::milliseconds(600);
    while (Clock::now() < until)
        if (nextSent(dev, d, 50)) {
            EXPECT_EQ(d.cmd, 8);
            ++polls;
        }
    EXPECT_EQ(polls, 1);
    EXPECT_LE(TRV_GetRequestCount(view, 1), 3u);  // the report, the held request, one poll
    (void)next;
    TRV_RequestQueueCancelAll(view, 1);  // deletes all three
}

// A register that never answers command 10: cancelling accepted requests
// keeps one stop on its way, not one per cancel, so posts are not refused
// once 256 have piled up; the stop is given up after a while, and the next
// cancel sends a new one.
TEST_F(Core, TheLibrarysOwnStopsDoNotPileUp) {
    dev.staleOwnMs = 300;
    int stops = 0;
    for (int i = 0; i < 300; ++i) {
        TARVIK_HANDLE r = post(14);
        DecodedFrame d;
        for (;;) {
            ASSERT_TRUE(nextSent(dev, d)) << i;
            if (d.cmd != 10) break;
            ++stops;
        }
        dev.feed(regFrame(d.token, 1));
        ASSERT_EQ(waitLeave(r, TARVIK_STATE_SENT), TARVIK_STATE_ACCEPTED);
        ASSERT_EQ(TRV_CancelRequest(r), 0u);
        TRV_DestroyRequest(r);
    }
    DecodedFrame d;
    while (nextSent(dev, d, 100)) stops += d.cmd == 10;
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(TRV_GetRequestCount(view, 1), 1u);  // the one stop, unanswered
    TARVIK_HANDLE r = post(14);
    ASSERT_TRUE(nextSent(dev, d));
    dev.feed(regFrame(d.token, 1));
    ASSERT_EQ(waitLeave(r, TARVIK_STATE_SENT), TARVIK_STATE_ACCEPTED);
    // Given up once it is stale: the outQueue holds only r, and a cancel
    // sends a stop again.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(TRV_GetRequestCount(view, 1), 1u);
    ASSERT_EQ(TRV_CancelRequest(r), 0u);
    ASSERT_TRUE(nextSent(dev, d));
    EXPECT_EQ(d.cmd, 10);
    TRV_DestroyRequest(r);
}

// Every answer arrives with a broken CRC: the request is replayed (without
// using up its retries) 50 times, then ends with 0x10002 rather than
// staying on its way for good.
TEST_F(Core, CrcReplaysOfOnePostAreBounded) {
    TARVIK_HANDLE r = post(14);
    int frames = 0;
    DecodedFrame d;
    while (TRV_GetRequestState(r) != TARVIK_STATE_ERROR && nextSent(dev, d, 500)) {
        ++frames;
        auto bad = regFrame(d.token, 14, {B(9)});
        bad[bad.size() - 5] ^= 0x55;  // the value byte
        dev.feed(bad);
    }
    EXPECT_EQ(frames, 1 + TRV_Request::kCrcReplays);
    EXPECT_EQ(TRV_GetRequestStatus(r), TARVIK_STATUS_BADDATA);
    // A new post has the whole allowance again.
    ASSERT_EQ(TRV_PostRequest(r, 0), 0u);
    ASSERT_TRUE(nextSent(dev, d));
    auto bad = regFrame(d.token, 14, {B(9)});
    bad[bad.size() - 5] ^= 0x55;
    dev.feed(bad);
    ASSERT_TRUE(nextSent(dev, d));
    ackAndAnswer(dev, d, {B(9)});
    EXPECT_EQ(TRV_GetRequestStatus(r), 0u);
    TRV_DestroyRequest(r);
}

// The register acknowledges a status poll before the sender has filed it as
// written: the poll still counts as outstanding from the moment it went out,
// so it is not given up at once and no second poll follows it unanswered.
TEST_F(Core, APollAcknowledgedBeforeItIsFiledStaysOutstanding) {
    dev.busyPause = 20;
    dev.afterWrite = [&](const std::vector<uint8_t>& f) {
        const DecodedFrame d = decodeSent(f);
        if (d.cmd == 8) dev.feed(regFrame(d.token, 1));
    };
    TARVIK_HANDLE rep = post(1165);
    DecodedFrame d;
    ASSERT_TRUE(nextSent(dev, d));
    TARVIK_HANDLE next = post(14);
    int polls = 0;
    const auto until = Clock::now() + std::chrono::milliseconds(400);
    while (Clock::now() < until)
        if (nextSent(dev, d, 50)) polls += d.cmd == 8;
    EXPECT_EQ(polls, 1);
    // The hook stays: the sender may be in a write now, and it is gone
    // with the device when the view closes.
    (void)rep;
    (void)next;
    TRV_RequestQueueCancelAll(view, 1);
}

TEST_F(Core, APostThroughAClosedViewIsRefused) {
    TARVIK_HANDLE other = dev.OpenDevice();
    TARVIK_HANDLE r = TRV_CreateRequest(other, 14);
    ASSERT_EQ(TRV_CloseDevice(other), 0u);
    EXPECT_EQ(TRV_PostRequest(r, 0), TARVIK_STATUS_NULLHANDLE);
    EXPECT_EQ(TRV_GetRequestState(r), TARVIK_STATE_NEW);
    EXPECT_EQ(TRV_GetRequestCount(view, 1), 0u);
    std::vector<uint8_t> f;
    EXPECT_FALSE(dev.nextWritten(f, 100));
    TRV_DestroyRequest(r);
}

TEST_F(Core, APushOntoAQueuedRequestIsRefused) {
    dev.writeResult = kKeepPending;  // it stays queued
    TARVIK_HANDLE r = post(14);
    EXPECT_EQ(TRV_PushRequestParamByte(r, 1), TARVIK_STATUS_INUSE);
    EXPECT_EQ(TRV_PushRequestParamString(r, "x"), TARVIK_STATUS_INUSE);
    EXPECT_EQ(R(r)->items.Count(), 0);
    TRV_RequestQueueCancelPending(view, 0);  // deletes it
}

TEST_F(Core, TheEventQueueIsBounded) {
    const std::string log = ::testing::TempDir() + "events_log.txt";
    std::remove(log.c_str());
    TRV_SetDebugFileName(handleOf(dev), log.c_str());
    TRV_SetDebugLevel(handleOf(dev), 0x1008);
    ASSERT_EQ(TRV_SetEventHandlingMode(view, TARVIK_EVENT_SEMAPHORE), 0u);
    auto card = regFrame(0, 2, {S("1234567890"), B(1)});
    std::vector<uint8_t> burst;
    for (int i = 0; i < 100; ++i) burst.insert(burst.end(), card.begin(), card.end());
    for (int i = 0; i < 50; ++i) dev.feed(burst);
    EXPECT_EQ(TRV_AsyncQueueLength(view), TARVIK_ASYNC_QUEUE_MAX);
    int v = 0;
    sem_getvalue(TRV_GetSemaphore(view), &v);
    EXPECT_EQ(v, static_cast<int>(TARVIK_ASYNC_QUEUE_MAX));  // raised only for queued events
    EXPECT_EQ(TRV_AsyncQueuePurge(view), 0u);
    TRV_SetDebugLevel(handleOf(dev), 0);
    EXPECT_NE(logText(log).find("DEVICE: Event queue full, card event dropped\n"), std::string::npos);
}
