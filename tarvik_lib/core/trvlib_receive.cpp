// The receive path: the receiver loop that every transport runs, cutting
// frames out of the byte stream, and applying each answer to the request it
// belongs to (acknowledge, complete, fail, retry, replay), with card events
// and the cipher set-up on the way. Everything here runs on the device's
// receiver thread.
#include <cstdint>
#include <memory>

#include "trvlib_device.h"
#include "trvlib_deviceview.h"

namespace trv {

namespace {
void moveValues(std::vector<TRV_DataItem>& from, CReportList<TRV_DataItem>& to) {
    for (TRV_DataItem& it : from) {
        auto* p = new (std::nothrow) TRV_DataItem(std::move(it));
        if (p) to.Add(p);
    }
    from.clear();
}
}  // namespace

void TRV_Device::runReceiverLoop(Thread& self) {
    const uint32_t C = Category();
    Log(C, 8, Prefix(), "Starting receiver thread");
    // Not cleared: only what a read fills is ever touched, so a thousand
    // idle devices do not each hold a 64 KB buffer in memory.
    const size_t cap = RecvChunk();
    std::unique_ptr<uint8_t[]> buf(new uint8_t[cap]);
    while (!self.signalled()) {
        const long n = ReadChunk(self, buf.get(), cap);
        if (n < 0) break;
        if (n > 0) DeliverBytes(buf.get(), static_cast<size_t>(n));
    }
    Log(C, 8, Prefix(), "Finished receiver thread");
}

void TRV_Device::receiveBytes(const uint8_t* buffer, size_t read) {
    bytesReceived += static_cast<int>(read);
    received.fifo.push(buffer, read);
    if (logOn(LOG_DEVICE, 14)) Log(LOG_DEVICE, 14, "DEVICE: Data received : ", FrameDump(buffer, read, 0));
    while (true) {
        size_t dropped = 0;
        const uint8_t* frame = nullptr;
        size_t len = 0;
        // The frame stays in the FIFO's buffer until the next push.
        const bool got = received.fifo.nextFrame(frame, len, dropped);
        if (got) {
            if (logOn(LOG_FRAMES, 6)) Log(LOG_FRAMES, 6, "FRAME Received : ", FrameDump(frame, len, 2));
            ProcessFrame(frame, len);
            ++framesReceived;
        }
        if (dropped) {
            Log(LOG_DEVICE, 14, "DEVICE: Dropped recv bytes : ", dropped);
            bytesReceivedDropped += static_cast<int>(dropped);
        }
        if (!got) break;
    }
}

void TRV_Device::ProcessFrame(const uint8_t* frame, size_t len) {
    // Whoever waits for a request this frame finishes is woken on the way
    // out, after every queue lock is let go.
    DeferWakes wakes;
    DecodedFrame& a = received.decoded;  // kept from frame to frame: its value list keeps its room
    // The cipher only matters to a frame that says it is enciphered (bit 0
    // of its flags, the byte after DLE STX; a 0x10 there is doubled and has
    // the bit clear).
    static const Cipher none;
    const bool enciphered = len > 2 && (frame[2] & kFlagEnciphered);
    const int rc = decodeFrame(frame, len, enciphered ? cipherState() : none, CipherOrder::CommandFirst, a);
    if (rc != FRAME_OK) {
        ProcessDamaged(a, rc);
        Log(LOG_DEVICE, 14, "DEVICE: Frame is unreadable.: ", rc);
        return;
    }
    Log(LOG_DEVICE, 14, "DEVICE: Frame is an answer to: .", a.token, " with code: ", a.cmd, " and fields: ",
        a.items.size());
    switch (a.cmd) {
    case proto::kAnswerAccept:
        ProcessAccept(a);
        break;
    case proto::kAnswerError:
        ProcessError(a);
        ++framesCompleted;
        break;
    case proto::kAnswerCipher:
        ProcessCrypt(a);
        break;
    case proto::kAnswerCard:
        ProcessCard(a);
        break;
    default:
        ProcessComplete(a);
        ++framesCompleted;
        break;
    }
}

// An answer that did not decode but whose header names its request: that
// request is sent again rather than left waiting for an answer that will not
// come (the register answers a repeated frame once more). A CRC error is
// line noise: replayed without touching the retry budget, up to
// kCrcReplays times a post (a flaky line recovers long before; a line that
// damages every answer ends the request). An answer that is damaged
// otherwise (a value type we do not know, say, from newer firmware or a
// cipher key that does not match) tends to come back the same, so those
// replays use up the request's retry budget. Either way the request then
// ends with 0x10002.
void TRV_Device::ProcessDamaged(const DecodedFrame& a, int rc) {
    const bool crc = rc == FRAME_CRC;
    if (!crc && !(rc == FRAME_MALFORMED && a.header)) return;
    Log(LOG_DEVICE, 14, crc ? "DEVICE: CRC Error detected." : "DEVICE: Damaged answer detected.");
    bool replay = false;
    {
        MutexLock lk(outQueueMutex);
        TRV_Request* r = FindAnswered(a.token);
        if (!r) return;
        if (crc ? ++r->crcReplays <= TRV_Request::kCrcReplays : --r->max_retry_count >= 0) {
            r->flags = kFlagRepeated;
            sendAgain(r);
            Log(LOG_DEVICE, 14,
                crc ? "DEVICE: CRC Error detected - frame replay sent." : "DEVICE: Damaged answer - frame replay sent.");
            replay = true;
        } else {
            Log(LOG_DEVICE, 8, crc ? "DEVICE: CRC Error - replays used up." : "DEVICE: Damaged answer - retries used up.");
            failLocked(r, TARVIK_STATUS_BADDATA);
        }
    }
    if (replay) notifySender();
}

void TRV_Device::sendAgain(TRV_Request* r) {
    r->setState(TARVIK_STATE_PENDING);
    outQueue.Erase(r);
    outQueue.Push(r);
}

void TRV_Device::longCommandFinished() {
    Log(LOG_DEVICE, 12, "DEVICE: Long command finished ");
    last_long_done = true;
    was_last_long = false;
}

void TRV_Device::ProcessAccept(const DecodedFrame& a) {
    MutexLock lk(outQueueMutex);
    TRV_Request* r = FindAnswered(a.token);
    if (!r) {
        Log(LOG_DEVICE, 14, "DEVICE: Command accepted but not in queue??");
        return;
    }
    r->setState(TARVIK_STATE_ACCEPTED);
    Log(LOG_DEVICE, 14, "DEVICE: Command accepted :", a.token, " ");
}

void TRV_Device::ProcessComplete(DecodedFrame& a) {
    Log(LOG_DEVICE, 12, "DEVICE: Start processing command complete");
    if (proto::IsLongCommand(a.cmd)) longCommandFinished();
    {
        MutexLock lk(outQueueMutex);
        TRV_Request* r = FindAnswered(a.token);
        if (!r) {
            Log(LOG_DEVICE, 14, "DEVICE: Command finished but not in queue??");
            return;
        }
        if (r->cmd_id != a.cmd) {
            Log(LOG_DEVICE, 14, "DEVICE: Command completed, but token differs from sent!!!");
            return;
        }
        if (a.cmd == proto::kWaitStatusGet) {
            Log(LOG_DEVICE, 14, "DEVICE: Received WAITSTATUSGET.");
            pollAnswered();
            const uint8_t busy = a.items.size() > 0 ? a.items[0].GetChar() : 0;
            const uint16_t code = a.items.size() > 1 ? a.items[1].GetShort() : 0;
            if (busy) {
                SetErrorCode(proto::kBusyErrorBase + code);
                last_long_done = false;
                Log(LOG_DEVICE, 14, "DEVICE: Device is busy working - code: ", code);
            } else {
                uint32_t e = last_error.load();
                while (e >= proto::kBusyErrorBase && e <= proto::kBusyErrorLast && !last_error.compare_exchange_weak(e, 0)) {
                }
                last_long_done = true;
                Log(LOG_DEVICE, 14, "DEVICE: Device is not busy ");
            }
        }
        Log(LOG_DEVICE, 14, "DEVICE: Command completed");
        Log(LOG_DEVICE, 14, "DEVICE: Command post mode: ", r->post_mode);
        if (r->post_mode == TARVIK_POST_DELETE || (r->post_mode == TARVIK_POST_DELETE_EMPTY && a.items.empty())) {
            Log(LOG_DEVICE, 14, "DEVICE: AUTOCLEAR Request for Data Object");
            deleteLocked(r);
        } else {
            moveValues(a.items, r->response);
            const bool sales = proto::isSaleRecord(a.cmd);
            Log(LOG_DEVICE, 14, "DEVICE: Request state changed to COMPLETED");
            finishLocked(r, TARVIK_STATE_COMPLETED, sales);
            if (!sales) Log(LOG_DEVICE, 14, "DEVICE: Request moved form OUT queue to IN queue");
        }
    }
    // The sender waits on this only while it holds requests back behind a
    // long command: the command's end, or a poll saying the register is done.
    if (a.cmd == proto::kWaitStatusGet || proto::IsLongCommand(a.cmd)) notifySender();
    Log(LOG_DEVICE, 14, "DEVICE: Request reception completed.");
}

void TRV_Device::ProcessError(DecodedFrame& a) {
    Log(LOG_DEVICE, 8, "DEVICE: Error response for command :", a.token, " ");
    if (a.items.size() != proto::kErrorValues) {
        Log(LOG_DEVICE, 8, "DEVICE: Error response with invalid field count! ");
        return;
    }
    const uint16_t v0 = a.items[0].GetShort(), v1 = a.items[1].GetShort(), v2 = a.items[2].GetShort(),
                   v3 = a.items[3].GetShort();
    Log(LOG_DEVICE, 8, "DEVICE: Dump error data: [cmdid] ", v0, " [trans] ", v1, " [exec] ", v2, " [other] ", v3, " ");
    bool retry = false;
    {
        MutexLock lk(outQueueMutex);
        TRV_Request* r = FindAnswered(a.token);
        if (!r) {
            Log(LOG_DEVICE, 14, "DEVICE: Command finished but not in queue??");
            return;
        }
        if (r->cmd_id != v0) {
            Log(LOG_DEVICE, 14, "DEVICE: Command error-completed, but token differs from sent!!!");
            return;
        }
        if (v0 == proto::kWaitStatusGet) pollAnswered();
        if (proto::IsLongCommand(v0)) longCommandFinished();
        Log(LOG_DEVICE, 14, "DEVICE: Command error completed");
        // With the budget of 5 a request is sent again at most five times;
        // once spent (the count below 0) every further error ends it.
        if (proto::isRetryCode(v1) && --r->max_retry_count >= 0) {
            sendAgain(r);
            Log(LOG_DEVICE, 14, "DEVICE: Repeating PUSH after CRC ERROR");
            retry = true;
        } else if (r->post_mode == TARVIK_POST_DELETE) {
            Log(LOG_DEVICE, 14, "DEVICE: AUTOCLEAR Request for Error Object");
            deleteLocked(r);
        } else {
            r->response.Clear();
            r->read_ptr = 0;
            moveValues(a.items, r->response);
            finishLocked(r, TARVIK_STATE_ERROR, false);
        }
    }
    if (retry || v0 == proto::kWaitStatusGet || proto::IsLongCommand(v0)) notifySender();
}

void TRV_Device::ProcessCrypt(DecodedFrame& a) {
    if (a.items.size() < 2) {
        Log(LOG_DEVICE, 14, "DEVICE: Invalid crypto request");
        return;
    }
    Log(LOG_DEVICE, 14, "DEVICE: Crypto method set");
    std::string key;
    const bool ok = Hex2Key(a.items[1].GetString(','), key);
    {
        MutexLock lk(cipherMutex);
        cipher_.method = a.items[0].GetChar();
        cipher_.haveKey = ok;
        cipher_.key = ok ? key : std::string();
    }
    if (!ok) Log(LOG_DEVICE, 14, "DEVICE: Key decode error");
}

// A card event is handed to the callback, or queued for the application
// (DeviceEvents::deliverCard).
void TRV_Device::ProcessCard(DecodedFrame& a) {
    Log(LOG_DEVICE, 14, "DEVICE: Card info received");
    const uint32_t mode = events.mode();
    if (mode == TARVIK_EVENT_DISABLE) {
        Log(LOG_DEVICE, 14, "DEVICE: Card info discarded due to TARVIK_EVENT_DISABLE");
        return;
    }
    auto* ev = newTagged<TRV_Request>();
    if (!ev) {
        SetErrorCode(TARVIK_STATUS_NOMEMORY);
        return;
    }
    moveValues(a.items, ev->response);
    ev->cmd_id = proto::kAnswerCard;
    ev->token = a.token;
    ev->flags = a.flags;
    ev->start_time.store(now_seconds());
    ev->setState(TARVIK_STATE_COMPLETED);

    events.deliverCard(ev, mode);
}

}  // namespace trv
