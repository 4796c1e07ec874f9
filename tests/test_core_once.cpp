// Exactly once: a request on its way is never queued a second time, and a
// busy register is asked for its status once a pause, whatever is queued.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "fake_register.h"

using namespace trv;
using namespace trv::test;

namespace {

using Clock = std::chrono::steady_clock;

long msBetween(Clock::time_point a, Clock::time_point b) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(b - a).count());
}

}  // namespace

// A second post of a request that is pending, being written, sent or
// accepted is refused with 32, whether the posting thread or the sender
// wrote its frame, and the register gets the frame once. The register holds
// its answers until the second post is made, so the first post cannot have
// finished meanwhile (a finished request may be posted again).
TEST(Once, ASecondPostWhileOnItsWayIsRefused) {
    FakeRegister reg([](const DecodedFrame& f) {
        FakeRegister::Reply r;
        r.ack = f.token % 3 == 0;
        r.held = true;
        r.values = {L(f.token)};
        return r;
    });
    TcpLink link(reg.port());
    ASSERT_NE(link.view, nullptr);
    const int n = 600;
    size_t frames = 0;
    for (int i = 0; i < n; ++i) {
        // Every third round another request is still out, so the sender
        // writes this one (a posting thread writes only on an idle device).
        TARVIK_HANDLE other = nullptr;
        if (i % 3 == 2) {
            other = TRV_CreateRequest(link.view, 15);
            ASSERT_EQ(TRV_PostRequest(other, 0), 0u);
            ++frames;
        }
        TARVIK_HANDLE r = TRV_CreateRequest(link.view, 14);
        ASSERT_EQ(TRV_PostRequest(r, 0), 0u);
        ++frames;
        // Half the time the frame is surely out (sent, maybe accepted).
        if (i % 2) {
            ASSERT_TRUE(reg.waitFrames(frames));
        }
        ASSERT_EQ(TRV_PostRequest(r, 0), TARVIK_STATUS_INUSE) << "round " << i;
        ASSERT_EQ(TRV_PostRequest(r, 1), TARVIK_STATUS_INUSE);
        ASSERT_EQ(TRV_PushRequestParamByte(r, 1), TARVIK_STATUS_INUSE);
        ASSERT_TRUE(reg.waitFrames(frames));
        reg.release();
        ASSERT_EQ(TRV_WaitForRequestCompleted(r, 3000), 0u);
        EXPECT_EQ(TRV_GetRequestStatus(r), 0u);
        TRV_DestroyRequest(r);
        if (other) {
            ASSERT_EQ(TRV_WaitForRequestCompleted(other, 3000), 0u);
            TRV_DestroyRequest(other);
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto seen = reg.seen();
    EXPECT_EQ(seen.size(), frames);
    std::map<uint32_t, int> perToken;
    for (const auto& s : seen) ++perToken[s.token];
    for (const auto& [token, count] : perToken) EXPECT_EQ(count, 1) << "token " << token;
}

// The windows in which a request is out of the output queue while a frame of
// it is being written. Cancelled during the write: a post from another
// thread is refused until the write is filed, and the frame goes out once;
// its status is outcome-unknown (the register may have run it). Answered
// before the writer filed it: it is finished, may be posted again at once,
// and the late filing leaves the new post alone (its frame goes out once).
// One cancelled before any frame went out ends cancelled.
TEST(Once, NoSecondFrameWhileTheFirstIsBeingWritten) {
    for (int variant = 0; variant < 2; ++variant) {
        TestDevice dev;
        TARVIK_HANDLE view = dev.OpenDevice();
        TARVIK_HANDLE r = TRV_CreateRequest(view, 14);
        const uint32_t token = TRV_GetRequestCommandSerial(r);
        TARVIK_STATUS again = 0;
        std::atomic<bool> once{false};
        dev.duringWrite = [&] {
            if (once.exchange(true)) return;
            // Another application thread, while the frame is on the wire.
            std::thread app([&] {
                if (variant == 0) {
                    EXPECT_EQ(TRV_CancelRequest(r), 0u);
                } else {
                    dev.feed(regFrame(token, 14, {W(1)}));
                    EXPECT_EQ(TRV_GetRequestState(r), static_cast<uint32_t>(TARVIK_STATE_COMPLETED));
                }
                again = TRV_PostRequest(r, 0);
            });
            app.join();
        };
        ASSERT_EQ(TRV_PostRequest(r, 0), 0u);
        std::vector<uint8_t> f;
        ASSERT_TRUE(dev.nextWritten(f));
        if (variant == 0) {
            EXPECT_EQ(again, TARVIK_STATUS_INUSE);
            EXPECT_FALSE(dev.nextWritten(f, 300)) << "a second frame";
            EXPECT_EQ(TRV_GetRequestStatus(r), TARVIK_STATUS_OUTCOME_UNKNOWN);
            // Once the write is filed, the request may be posted again.
            EXPECT_EQ(TRV_PostRequest(r, 0), 0u);
        } else {
            EXPECT_EQ(again, 0u);
        }
        ASSERT_TRUE(dev.nextWritten(f));
        EXPECT_EQ(decodeSent(f).token, token);
        EXPECT_FALSE(dev.nextWritten(f, 300)) << "a third frame, variant " << variant;
        TRV_DestroyRequest(r);
        TRV_CloseDevice(view);
    }
    // Cancelled while still pending (held back behind a long command): not done.
    TestDevice dev;
    TARVIK_HANDLE view = dev.OpenDevice();
    TARVIK_HANDLE report = TRV_CreateRequest(view, 1101);
    ASSERT_EQ(TRV_PostRequest(report, 0), 0u);
    std::vector<uint8_t> f;
    ASSERT_TRUE(dev.nextWritten(f));
    TARVIK_HANDLE r = TRV_CreateRequest(view, 14);
    ASSERT_EQ(TRV_PostRequest(r, 0), 0u);
    EXPECT_EQ(TRV_CancelRequest(r), 0u);
    EXPECT_EQ(TRV_GetRequestStatus(r), TARVIK_STATUS_CANCELLED);
    TRV_DestroyRequest(r);
    TRV_RequestQueueCancelAll(view, 1);
    TRV_CloseDevice(view);
}

namespace {

// A register busy for busyMs after each long command: command 8 answers
// "busy" meanwhile (after pollDelayMs), the long command itself answers at
// the end, everything else at once.
struct BusyRegister {
    int busyMs;
    int pollDelayMs;
    std::mutex m;
    Clock::time_point busyUntil{};
    FakeRegister reg;
    BusyRegister(int busy, int pollDelay)
        : busyMs(busy), pollDelayMs(pollDelay), reg([this](const DecodedFrame& f) { return reply(f); }) {}
    FakeRegister::Reply reply(const DecodedFrame& f) {
        FakeRegister::Reply r;
        r.ack = true;
        std::lock_guard<std::mutex> lk(m);
        if (proto::IsLongCommand(f.cmd)) {
            busyUntil = Clock::now() + std::chrono::milliseconds(busyMs);
            r.delayMs = busyMs;
        } else if (f.cmd == 8) {
            r.values = FakeRegister::busyValues(Clock::now() < busyUntil);
            r.delayMs = pollDelayMs;
        }
        return r;
    }
    std::vector<FakeRegister::Seen> polls() {
        std::vector<FakeRegister::Seen> out;
        for (const auto& s : reg.seen())
            if (s.cmd == 8) out.push_back(s);
        return out;
    }
};

}  // namespace

// A front command (9, 332, 333) posted while an ordinary request waits for a
// busy register goes ahead of the poll in the queue; the poll still goes out
// ahead of everything held back, and polls keep coming until the register is
// done; then the held requests go.
TEST(Once, FrontCommandsDoNotStopTheStatusPolls) {
    for (uint16_t front : {9, 332, 333}) {
        BusyRegister busy(900, 0);
        TcpLink link(busy.reg.port());
        ASSERT_NE(link.view, nullptr);
        TARVIK_HANDLE report = TRV_CreateRequest(link.view, 1101);
        ASSERT_EQ(TRV_PostRequest(report, 0), 0u);
        ASSERT_TRUE(busy.reg.waitFrames(1));
        TARVIK_HANDLE ordinary = TRV_CreateRequest(link.view, 14);
        ASSERT_EQ(TRV_PostRequest(ordinary, 0), 0u);
        std::this_thread::sleep_for(std::chrono::milliseconds(60));  // within the first pause
        TARVIK_HANDLE f = TRV_CreateRequest(link.view, front);
        ASSERT_EQ(TRV_PostRequest(f, 0), 0u);
        ASSERT_EQ(TRV_WaitForRequestCompleted(report, 3000), 0u);
        ASSERT_EQ(TRV_WaitForRequestCompleted(f, 3000), 0u);
        ASSERT_EQ(TRV_WaitForRequestCompleted(ordinary, 3000), 0u);
        // About one poll every 150 ms over 900 ms; before, they stopped at
        // the front command.
        EXPECT_GE(busy.polls().size(), 3u) << "command " << front;
        // Nothing held back went out while the register was busy.
        const auto seen = busy.reg.seen();
        const auto answers = busy.reg.answered();
        const auto reportEnd = std::find_if(answers.begin(), answers.end(), [&](auto& a) {
            return a.token == TRV_GetRequestCommandSerial(report);
        });
        ASSERT_NE(reportEnd, answers.end());
        for (const auto& s : seen)
            if (s.cmd == front || s.cmd == 14) {
                EXPECT_GE(s.at, reportEnd->at) << "command " << s.cmd;
            }
        for (TARVIK_HANDLE h : {report, ordinary, f}) TRV_DestroyRequest(h);
    }
}

// While the register is busy, polls go out once a pause (150 ms on TCP)
// after the last one's answer, never two unanswered at once. Before, a pass
// that found the last poll unanswered slept a whole pause without queueing
// the next one: every cycle took two pauses.
TEST(Once, StatusPollsComeOncePerPausePlusTheRoundTrip) {
    const int pollDelay = 30;
    BusyRegister busy(1600, pollDelay);
    TcpLink link(busy.reg.port());
    ASSERT_NE(link.view, nullptr);
    TARVIK_HANDLE report = TRV_CreateRequest(link.view, 1101);
    ASSERT_EQ(TRV_PostRequest(report, 0), 0u);
    ASSERT_TRUE(busy.reg.waitFrames(1));
    TARVIK_HANDLE ordinary = TRV_CreateRequest(link.view, 14);
    ASSERT_EQ(TRV_PostRequest(ordinary, 0), 0u);
    ASSERT_EQ(TRV_WaitForRequestCompleted(ordinary, 4000), 0u);
    const auto polls = busy.polls();
    ASSERT_GE(polls.size(), 4u);
    // Each poll comes after the previous one's answer...
    const auto answers = busy.reg.answered();
    std::map<uint32_t, Clock::time_point> answeredAt;
    for (const auto& a : answers) answeredAt[a.token] = a.at;
    std::vector<long> gaps;
    for (size_t i = 1; i < polls.size(); ++i) {
        ASSERT_TRUE(answeredAt.count(polls[i - 1].token));
        EXPECT_GE(polls[i].at, answeredAt[polls[i - 1].token]) << "two polls unanswered at once";
        gaps.push_back(msBetween(polls[i - 1].at, polls[i].at));
    }
    // ... and a pause later: 150 + 30 ms, give or take a loaded machine.
    std::sort(gaps.begin(), gaps.end());
    const long median = gaps[gaps.size() / 2];
    EXPECT_GE(median, 150 + pollDelay - 5);
    EXPECT_LT(median, 150 + pollDelay + 90) << "the pause is doubled";
    TRV_DestroyRequest(ordinary);
    TRV_WaitForRequestCompleted(report, 3000);
    TRV_DestroyRequest(report);
}

// An answer to the frame of an earlier post (cancelled after it went out,
// so its outcome was unknown) arrives while the request, posted again, is
// still waiting to be written: it belongs to nothing on its way, and the new
// post is answered by its own frame.
TEST(Once, ALateAnswerToAnEarlierPostIsNotTakenForTheNewOne) {
    TestDevice dev;
    dev.busyPause = 20;
    TARVIK_HANDLE view = dev.OpenDevice();
    TARVIK_HANDLE r = TRV_CreateRequest(view, 14);
    ASSERT_EQ(TRV_PostRequest(r, 0), 0u);
    DecodedFrame d;
    ASSERT_TRUE(nextSent(dev, d));
    const uint32_t token = d.token;
    ASSERT_EQ(waitLeave(r, TARVIK_STATE_PENDING), static_cast<uint32_t>(TARVIK_STATE_SENT));
    ASSERT_EQ(TRV_CancelRequest(r), 0u);
    EXPECT_EQ(TRV_GetRequestStatus(r), TARVIK_STATUS_OUTCOME_UNKNOWN);
    // A long command keeps the register busy, so the new post waits.
    TARVIK_HANDLE report = TRV_CreateRequest(view, 1101);
    ASSERT_EQ(TRV_PostRequest(report, 0), 0u);
    ASSERT_TRUE(nextSent(dev, d));
    ASSERT_EQ(d.cmd, 1101);
    const uint32_t reportToken = d.token;
    ASSERT_EQ(TRV_PostRequest(r, 0), 0u);
    dev.feed(regFrame(token, 1));
    dev.feed(regFrame(token, 14, {W(1)}));  // the first frame's late answer
    EXPECT_EQ(TRV_GetRequestState(r), static_cast<uint32_t>(TARVIK_STATE_PENDING));
    dev.feed(regFrame(reportToken, 1101));
    while (nextSent(dev, d) && d.cmd == 8) {
        ackAndAnswer(dev, d, {B(0), W(0)});
    }
    ASSERT_EQ(d.token, token);
    ackAndAnswer(dev, d, {W(2)});
    ASSERT_EQ(TRV_GetRequestStatus(r), 0u);
    unsigned short v = 0;
    EXPECT_EQ(TRV_PopResponseValueWord(r, &v), 0u);
    EXPECT_EQ(v, 2);
    TRV_DestroyRequest(r);
    TRV_DestroyRequest(report);
    TRV_CloseDevice(view);
}
