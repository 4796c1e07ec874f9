// The sender loop that every transport runs: take the first pending request,
// hold ordinary requests back behind status polls while the register is busy
// with a long command, encode every pending frame that may go with it into
// one buffer under the output queue's lock, write the buffer without it,
// then file each request's outcome in order. A posting thread may write its
// own frame instead when the sender has nothing to do (writeNow).
#include "trvlib_device.h"
#include "trvlib_deviceview.h"

namespace trv {

// While the register is busy with a long command, ordinary requests wait
// and the register is asked for its status (command 8): the first poll a
// pause after the long command went out, each next one a pause after the
// last one's answer, so one poll every pause plus the round trip. At most
// one poll is outstanding: a register that never answers command 8 must not
// fill the output queue with polls until every post is refused; one written
// staleOwnMs ago and still unanswered is given up and replaced.
TRV_Request* TRV_Device::FirstPassing() {
    for (TRV_Request* r = outQueue.pending.front(); r; r = r->pendNext)
        if (goesAlone(r->cmd_id) && r->state.load(std::memory_order_relaxed) == TARVIK_STATE_PENDING) return r;
    return nullptr;
}

bool TRV_Device::PollStep(Clock::time_point& lookAgain) {
    const auto now = Clock::now();
    if (TRV_Request* q = ownOutstanding(proto::kWaitStatusGet)) {
        // Queued (it goes first: FirstPassing) or written: its answer, or
        // its time-out, wakes the sender.
        lookAgain = q->state.load() == TARVIK_STATE_PENDING || q->writing
                        ? now + std::chrono::milliseconds(BusyPauseMs())
                        : q->sentAt + std::chrono::milliseconds(staleOwnMs);
        return true;
    }
    if (now < nextPollAt) {
        lookAgain = nextPollAt;
        return true;
    }
    Log(Category(), 8, LoopPrefix(), "Resheduling WAITSTATUSGET");
    if (!queueOwn(proto::kWaitStatusGet, nullptr)) return false;
    lookAgain = now;
    return true;
}

TRV_Request* TRV_Device::ownOutstanding(uint16_t cmd) {
    sweepOwn();
    for (auto& q : ownRequests)
        if (q->cmd_id == cmd) return q.get();
    return nullptr;
}

TRV_Request* TRV_Device::queueOwn(uint16_t cmd, TRV_DeviceView* view) {
    auto* q = newTagged<TRV_Request>();
    if (!q) return nullptr;
    q->cmd_id = cmd;
    q->post_mode = TARVIK_POST_DELETE;
    q->token = nextToken();
    if (view) {
        view->acquire();
        q->myDevice = view;
    }
    q->start_time.store(now_seconds());
    q->setState(TARVIK_STATE_PENDING);
    if (!outQueue.Push(q)) {
        q->kill();
        return nullptr;
    }
    try {
        ownRequests.push_back(Ref<TRV_Request>::share(q));
    } catch (const std::bad_alloc&) {
        // Not counted: it goes out all the same, and ends with its answer.
    }
    return q;
}

Clock::time_point TRV_Device::sweepOwn() {
    const auto now = Clock::now();
    auto next = Clock::time_point::max();
    for (size_t i = 0; i < ownRequests.size();) {
        TRV_Request* q = ownRequests[i].get();
        bool ended = !q->alive() || !outQueue.Contains(q);
        if (!ended && q->state.load() != TARVIK_STATE_PENDING && !q->writing) {
            const auto stale = q->sentAt + std::chrono::milliseconds(staleOwnMs);
            if (now >= stale) {
                Log(LOG_DEVICE, 8, q->cmd_id == proto::kWaitStatusGet ? "DEVICE: Status query unanswered, given up"
                                                  : "DEVICE: Stop unanswered, given up");
                deleteLocked(q);
                ended = true;
            } else if (stale < next) {
                next = stale;
            }
        }
        if (ended) {
            ownRequests[i] = std::move(ownRequests.back());
            ownRequests.pop_back();
        } else {
            ++i;
        }
    }
    return next;
}

TARVIK_STATUS TRV_Transport::WriteFrame(const uint8_t*, size_t) { return TARVIK_STATUS_SELECTFAILED; }

TARVIK_STATUS TRV_Transport::WriteFrames(FrameBatch& b, bool) {
    while (b.whole < b.count()) {
        const size_t from = b.frameStart(b.whole);
        const TARVIK_STATUS st = WriteFrame(b.bytes.data() + from, b.ends[b.whole] - from);
        if (st != TARVIK_STATUS_OK) return st;
        b.done = from;
        b.advance(b.ends[b.whole] - from, 0);
    }
    return TARVIK_STATUS_OK;
}

void TRV_Device::collectBatch(FrameBatch& b, TRV_Request* first, std::string& scratch) {
    const uint32_t C = Category();
    const char* P = Prefix();
    b.clear();
    const Cipher cipher = cipherState();
    const size_t cap = BatchBytes();
    for (TRV_Request* r = first; r;) {
        TRV_Request* next = r->pendNext;
        if (r != first) {
            if (r->state.load(std::memory_order_relaxed) != TARVIK_STATE_PENDING) {
                outQueue.pending.unlink(r);  // moved on while linked
                r = next;
                continue;
            }
            if (cap == 0 || b.bytes.size() >= cap || goesAlone(r->cmd_id)) break;
            Log(C, 10, LoopPrefix(), "Got a frame: ", r->cmd_id, ", TOKEN: ", r->token);
        }
        Log(C, 10, P, "Sending frame CMD: ", r->cmd_id, ", TOKEN: ", r->token);
        const size_t from = b.bytes.size();
        // Encoded under the lock: the receive path changes the flags under it.
        if (!r->appendFrame(b.bytes, cipher, scratch)) {
            Log(C, 4, P, "Tried to send 0 bytes length frame.");
            failLocked(r, TARVIK_STATUS_BADDATA);
            // The next one is looked at afresh (the busy rule) on the next pass.
            if (b.count() == 0) break;
            r = next;
            continue;
        }
        if (logOn(LOG_FRAMES, 6)) Log(LOG_FRAMES, 6, "FRAME Sent: ", FrameDump(b.bytes.data() + from, b.bytes.size() - from, 1));
        b.ends.push_back(b.bytes.size());
        b.reqs.push_back(Ref<TRV_Request>::share(r));
        ++r->writing;
        b.seqs.push_back(r->stateSeq);
        // After a long command the register is busy: what follows waits.
        if (goesAlone(r->cmd_id) || proto::IsLongCommand(r->cmd_id)) break;
        r = next;
    }
    b.conn.assign(b.count(), 0);
    if (b.count()) was_last_long = proto::IsLongCommand(b.reqs.back()->cmd_id);
}

TARVIK_STATUS TRV_Device::writeBatch(FrameBatch& b, bool mayBlock) {
    const size_t before = b.whole;
    const TARVIK_STATUS st = WriteFrames(b, mayBlock);
    for (size_t i = before; i < b.whole; ++i) {
        ++framesSent;
        Log(Category(), 10, Prefix(), "Frame sent.");
    }
    // A long command goes last in its batch. Its answer may be in already
    // (which clears was_last_long): then the register is not busy any more.
    if (b.whole == b.count() && b.whole > before && was_last_long.load()) last_long_done = false;
    return st;
}

void TRV_Device::dropBatch(FrameBatch& b) {
    for (auto& q : b.reqs) --q->writing;
}

void TRV_Device::finishBatch(FrameBatch& b, TARVIK_STATUS st) {
    const auto now = Clock::now();
    for (size_t i = 0; i < b.count(); ++i) {
        TRV_Request* r = b.reqs[i].get();
        --r->writing;
        if (i < b.whole) {
            // When it went out, even if its acknowledgement came first: a
            // poll or stop of our own is given up counting from here.
            r->sentAt = now;
            // The first status poll is due a pause after a long command went out.
            if (proto::IsLongCommand(r->cmd_id)) pollAnswered();
        }
        // Finished or deleted while the lock was free: nothing to file.
        if (!outQueue.Contains(r)) continue;
        // Moved on meanwhile (an answer to an earlier copy, a replay): its
        // new state stands; it stays in the pending list only if pending.
        if (r->stateSeq != b.seqs[i]) {
            if (r->state.load(std::memory_order_relaxed) != TARVIK_STATE_PENDING) outQueue.pending.unlink(r);
            continue;
        }
        TARVIK_STATUS s = kKeepPending;
        if (i < b.whole)
            // Written on a connection that was dropped before the register
            // could answer: whether it executed the command is unknown.
            s = writtenOnLostConnection(b.conn[i]) ? TARVIK_STATUS_OUTCOME_UNKNOWN : TARVIK_STATUS_OK;
        else if (i == b.whole)
            s = st;
        if (s == TARVIK_STATUS_OK) {
            outQueue.pending.unlink(r);
            r->setState(TARVIK_STATE_SENT);
        } else if (s != kKeepPending && s != kWouldBlock) {
            failLocked(r, s);
        }
    }
}

// Only when r is all there is: nothing pending ahead of it, and nothing
// written and waiting for its answer. A burst of posts then goes the other
// way after its first frame: through the sender, which writes what piled up
// meanwhile in one go.
bool TRV_Device::mayWriteNow(const TRV_Request* r) {
    return directWrites && writer == Writer::None && !handover && outQueue.Count() == 1 &&
           (goesAlone(r->cmd_id) || last_long_done.load() || nosync.load());
}

// A posting thread's batch, kept from post to post (no allocation per
// frame). Its references are dropped by releaseWritten, after the post has
// let go of the lock: the last one may free a request deleted meanwhile.
static FrameBatch& posterBatch() {
    thread_local FrameBatch b;
    return b;
}

void TRV_Device::releaseWritten() { posterBatch().reqs.clear(); }

void TRV_Device::writeNow(TRV_Request* r) {
    thread_local std::string scratch;
    FrameBatch& b = posterBatch();
    Log(Category(), 10, LoopPrefix(), "Got a frame: ", r->cmd_id, ", TOKEN: ", r->token);
    collectBatch(b, r, scratch);
    if (b.count() == 0) return;
    writer = Writer::Poster;
    outQueueMutex.unlock();
    const TARVIK_STATUS st = writeBatch(b, false);
    outQueueMutex.lock();
    writer = Writer::None;
    finishBatch(b, st);  // on kWouldBlock the frame stays pending
    if (st == kWouldBlock && b.done > b.frameStart(b.whole)) {
        // Part of the frame is out: the sender writes the rest before
        // anything else, and files it again then.
        for (auto& q : b.reqs) ++q->writing;
        handover = std::make_unique<FrameBatch>(std::move(b));
        b = FrameBatch();
    }
    if (handover || !outQueue.pending.empty()) notifySender();
    if (!directWrites) posterDoneCv.notify_all();
}

void TRV_Device::runSenderLoop(Thread& self) {
    const std::string P = Prefix();
    const std::string LP = LoopPrefix();
    const uint32_t C = Category();
    Log(C, 8, P, "Starting sender thread");
    FrameBatch batch;  // kept from pass to pass: no allocation per frame
    std::string scratch;
    while (!self.signalled()) {
        if (SenderPrePass(self)) continue;

        MutexLock lk(outQueueMutex);
        // Looked at again under the lock: a stop is signalled before the
        // lock is taken to wake us, so it is either seen here or woken.
        if (self.signalled()) break;
        if (handover) {
            // A posting thread's frame that went out only in part: the rest first.
            batch = std::move(*handover);
            handover.reset();
        } else {
            TRV_Request* r = writer == Writer::None ? FindFirstPending() : nullptr;
            if (!r) {
                // Nothing to send (or a posting thread is writing): sleep until
                // there is, or until a poll or stop of our own is to be given up.
                auto until = sweepOwn();
                if (const int ms = IdleWaitMs(); ms >= 0)
                    until = std::min(until, Clock::now() + std::chrono::milliseconds(ms));
                if (until == Clock::time_point::max()) senderCv.wait(outQueueMutex);
                else senderCv.wait_until(outQueueMutex, until);
                continue;
            }
            Log(C, 10, LP, "Got a frame: ", r->cmd_id, ", TOKEN: ", r->token);

            if (!goesAlone(r->cmd_id) && !last_long_done.load() && !nosync.load()) {
                // The register is busy with a long command: r waits. A poll
                // or a stop queued behind it goes first; otherwise the next
                // poll is queued when it is due. The poll's answer, the long
                // command's end, a stop and a close wake us meanwhile.
                if (TRV_Request* pass = FirstPassing()) {
                    r = pass;
                } else {
                    Clock::time_point lookAgain;
                    if (!PollStep(lookAgain)) {
                        SetErrorCode(TARVIK_STATUS_NOMEMORY);
                        break;
                    }
                    if (lookAgain > Clock::now()) senderCv.wait_until(outQueueMutex, lookAgain);
                    continue;
                }
            }
            collectBatch(batch, r, scratch);
            if (batch.count() == 0) continue;
        }
        writer = Writer::Sender;
        lk.unlock();
        const TARVIK_STATUS st = writeBatch(batch, true);
        lk.lock();
        writer = Writer::None;
        finishBatch(batch, st);
        lk.unlock();
        // The references go after the lock: the last one may free a request
        // deleted while it was written.
        batch.reqs.clear();
    }
    std::unique_ptr<FrameBatch> left;  // goes after the lock, with its references
    {
        MutexLock lk(outQueueMutex);
        left = std::move(handover);  // left by a posting thread as the device stops: stays pending
        if (left) dropBatch(*left);
    }
    Log(C, 8, P, "Device sender thread finished");
}

}  // namespace trv
