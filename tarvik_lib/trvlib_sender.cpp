// The sender loop that every transport runs: pick the first pending request,
// hold ordinary requests back behind status polls while the register is busy
// with a long command, encode the frame under the output queue's lock and
// write it without, then file the outcome.
#include "trvlib_device.h"
#include "trvlib_deviceview.h"

namespace trv {

// At most one status poll is outstanding: a register that never answers
// command 8 must not fill the output queue with polls until every post is
// refused. A poll written kStalePollMs ago and still unanswered is given up
// and replaced, so a lost poll frame does not hold requests back for good.
bool TRV_Device::queueStatusPoll() {
    for (TRV_Request* q = outQueue.First(); q; q = outQueue.Next()) {
        if (!q->statusPoll) continue;
        if (q->state.load() == TARVIK_STATE_PENDING) return true;
        if (Clock::now() - q->sentAt < std::chrono::milliseconds(kStalePollMs)) return true;
        deleteLocked(q);
        break;
    }
    Log(Category(), 8, LoopPrefix(), "Resheduling WAITSTATUSGET");
    auto* poll = newTagged<TRV_Request>();
    if (!poll) return false;
    poll->statusPoll = true;
    poll->cmd_id = 8;
    poll->post_mode = 3;
    poll->token = nextToken();
    poll->start_time.store(now_seconds());
    poll->setState(TARVIK_STATE_PENDING);
    if (!outQueue.Push(poll)) {
        poll->kill();
        return false;
    }
    return true;
}

void TRV_Device::SenderLoop(Thread& self) {
    const std::string P = Prefix();
    const std::string LP = LoopPrefix();
    const uint32_t C = Category();
    Log(C, 8, P, "Starting sender thread");
    while (!self.signalled()) {
        if (SenderPrePass(self)) continue;

        // Declared before the lock so that it goes after it: dropping the
        // reference may free a request deleted while it was written.
        Ref<TRV_Request> writing;
        MutexLock lk(outQueueMutex);
        TRV_Request* r = FindFirstPending();
        if (!r) {
            // Nothing to send: sleep until a post wakes us.
            senderCv.wait_for(outQueueMutex, std::chrono::milliseconds(IdleWaitMs()));
            continue;
        }
        Log(C, 10, LP, "Got a frame: ", r->cmd_id, ", TOKEN: ", r->token);

        if (r->cmd_id != 8 && r->cmd_id != 10 && !last_long_done.load() && !nosync.load()) {
            // The register is busy with a long command: ask for its status first.
            if (!queueStatusPoll()) {
                SetErrorCode(TARVIK_STATUS_NOMEMORY);
                break;
            }
            lk.unlock();
            self.sleep_or_stop(BusyPauseMs());
            continue;
        }

        Log(C, 10, P, "Sending frame CMD: ", r->cmd_id, ", TOKEN: ", r->token);
        // Encoded under the lock (the receive path changes the flags under it),
        // written without it.
        std::vector<uint8_t> frame = r->toFrame(cipherState());
        if (logOn(LOG_FRAMES, 6)) Log(LOG_FRAMES, 6, "FRAME Sent: ", FrameDump(frame.data(), frame.size(), 1));
        TARVIK_STATUS st;
        const uint32_t seq = r->stateSeq;
        if (frame.empty()) {
            Log(C, 4, P, "Tried to send 0 bytes length frame.");
            st = TARVIK_STATUS_BADDATA;
        } else {
            was_last_long = IsLongCommand(r->cmd_id);
            // Whoever deletes the request meanwhile (a purge, a cancel, the
            // application) only unlinks it; this reference keeps it valid.
            writing = Ref<TRV_Request>::share(r);
            lk.unlock();
            st = WriteFrame(frame.data(), frame.size());
            if (st == TARVIK_STATUS_OK) {
                ++framesSent;
                Log(C, 10, P, "Frame sent.");
                if (was_last_long.load()) last_long_done = false;
            }
            lk.lock();
        }
        // The answer may already have been processed, or the request
        // deleted, while the lock was free: only a request nobody touched
        // meanwhile changes state here.
        if (r->stateSeq != seq || !outQueue.Contains(r)) {
            lk.unlock();
            continue;
        }
        // Written on a connection that was dropped before the register could
        // answer: whether it executed the command is unknown.
        if (st == TARVIK_STATUS_OK && writtenOnLostConnection()) st = TARVIK_STATUS_OUTCOME_UNKNOWN;
        if (st == TARVIK_STATUS_OK) {
            r->setState(TARVIK_STATE_SENT);
            r->sentAt = Clock::now();
        } else if (st != kKeepPending) {
            failLocked(r, st);
        }
        lk.unlock();
    }
    Log(C, 8, P, "Device sender thread finished");
}

}  // namespace trv
