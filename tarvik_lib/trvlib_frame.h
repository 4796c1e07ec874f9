// TRV_Request and the binary frame: layout, escaping, CRC, cipher, dump.
//
//   DLE STX | flags(2) token(4) length(2) count(2) command(2) items... CRC(2) | DLE ETX
//
// Multi-byte fields are little-endian; between the markers every 0x10 is
// doubled. The CRC (XMODEM) runs over the unescaped bytes from the flags to
// the last item byte as they stand on the wire. With a cipher active the
// command and the item bytes are enciphered.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "trvlib_dataitem.h"
#include "trvlib_global.h"
#include "trvlib_reportlist.h"

namespace trv {

class TRV_DeviceView;

constexpr uint16_t kFlagEnciphered = 0x0001;
constexpr uint16_t kFlagRepeated = 0x0004;

// Decoding results.
enum FrameResult { FRAME_OK = 0, FRAME_NOMEM = 1, FRAME_SHORT = 2, FRAME_MALFORMED = 3, FRAME_CRC = 6 };

// The device's cipher state: method 1 XOR, 2 additive, anything else none.
struct Cipher {
    uint16_t method = 0;
    bool haveKey = false;
    std::string key;  // raw key bytes
    // Key length: bytes before the first zero byte.
    size_t keyLen() const;
    bool active() const { return (method == 1 || method == 2) && haveKey && keyLen() > 0; }
};

// Which side enciphers what first. The library sends the item bytes at key
// positions 0..m-1 and the command at m, m+1; the register sends the command
// first (positions 0, 1) and the items after it.
enum class CipherOrder { ItemsFirst, CommandFirst };

uint16_t updatecrc(uint16_t crc, uint8_t byte);
// CRC over escaped data, skipping the first byte of each doubled 0x10.
uint16_t crcdata(uint16_t crc, const uint8_t* data, size_t n);
uint8_t cipher(uint8_t byte, size_t& pos, const Cipher& c);
uint8_t decipher(uint8_t byte, size_t& pos, const Cipher& c);
std::vector<uint8_t> escapeSYN(const uint8_t* data, size_t n);
// Key bytes from hexadecimal text; false when there is no valid key.
bool Hex2Key(const std::string& text, std::string& key);
bool IsLongCommand(uint32_t command);
// Direction: 1 sent ("$$O "), 2 received ("$$I "), other: raw bytes.
std::string FrameDump(const uint8_t* data, size_t len, int direction);

// Encodes a frame. Sets kFlagEnciphered in flags first when the cipher is
// active, so the flags on the wire always match the content. Returns an empty
// vector when the values do not fit the 16-bit length, count or size fields.
std::vector<uint8_t> encodeFrame(uint16_t& flags, uint32_t token, uint16_t cmd,
                                 const std::vector<const TRV_DataItem*>& items, const Cipher& c,
                                 CipherOrder order);

struct DecodedFrame {
    bool header = false;  // flags, token, length, count and command were read
    uint16_t flags = 0;
    uint32_t token = 0;
    uint16_t cmd = 0;
    std::vector<TRV_DataItem> items;
};
// Never reads outside [frame, frame+len).
int decodeFrame(const uint8_t* frame, size_t len, const Cipher& c, CipherOrder order, DecodedFrame& out);

class TRV_Request : public Tagged {
public:
    static constexpr Kind kKind = Kind::Request;
    // Automatic repetitions a post may use up (transmission errors, damaged
    // answers).
    static constexpr int kRetries = 5;
    // Replays after answers with a CRC error a post may use up: line noise
    // is not counted against the retries, but a line that damages every
    // answer must not keep a request alive for good.
    static constexpr int kCrcReplays = 50;
    TRV_Request();
    ~TRV_Request() override;

    std::vector<uint8_t> toFrame(const Cipher& c);
    // Appends the frame to out (scratch: room for the encoded values);
    // false, with out unchanged, when the values do not fit a frame.
    bool appendFrame(std::vector<uint8_t>& out, const Cipher& c, std::string& scratch);
    int fromFrame(const uint8_t* frame, size_t len, const Cipher& c);

    CReportList<TRV_DataItem> items;     // parameters (owning)
    CReportList<TRV_DataItem> response;  // answer values (owning)
    uint32_t read_ptr = 0;
    uint32_t token = 0;
    uint16_t flags = 0;
    uint16_t cmd_id = 0;
    uint8_t post_mode = 0;
    TRV_DeviceView* myDevice = nullptr;  // counted reference, see TRV_DeviceView
    std::atomic<uint32_t> state{TARVIK_STATE_NEW};
    std::atomic<uint32_t> start_time{0};
    TARVIK_STATUS other_error = 0;
    int max_retry_count = kRetries;

    // Bookkeeping of the device core, guarded by the output queue's mutex.
    uint32_t stateSeq = 0;           // bumped on every state change by the core
    int crcReplays = 0;              // replays after CRC errors since the post
    // Batches that hold its frame and have not been filed yet: while one
    // does, the frame may be on the wire even if the request has left the
    // output queue (cancelled, or answered before the writer filed it).
    uint16_t writing = 0;
    bool cancelledInWrite = false;   // cancelled while a batch held its frame
    Clock::time_point sentAt{};      // when its frame was last written
    // Link in the device's list of pending requests (the order the sender
    // takes them in), see PendingList in trvlib_device.h.
    TRV_Request* pendPrev = nullptr;
    TRV_Request* pendNext = nullptr;
    bool pendLinked = false;
    // Membership of the device's four queues, each flag written under the
    // lock of its queue, so nobody walks a queue to find a request that is
    // not in it (and nobody takes a queue's lock to find that out).
    std::atomic<bool> queued[4] = {false, false, false, false};

    void setState(uint32_t s) {
        state.store(s, std::memory_order_release);
        ++stateSeq;
        if (s == TARVIK_STATE_COMPLETED || s == TARVIK_STATE_ERROR) wakeWaiters();
    }

    // Waiting for this request: a thread that waits sleeps on the request's
    // own word, which moves when the request finishes or is deleted, so a
    // completion wakes only those who wait for it (and nobody at all when
    // nobody waits). Waits until the word moves past `seen` or the deadline.
    uint32_t waitSeq() const { return wakeSeq_.load(std::memory_order_acquire); }
    void waitChange(uint32_t seen, Clock::time_point deadline);
    // Moves the word; a sleeper is woken at once, or, inside a DeferWakes
    // scope on this thread, when the scope ends.
    void wakeWaiters();

protected:
    void onKilled() override { wakeWaiters(); }

private:
    friend class DeferWakes;
    std::atomic<uint32_t> wakeSeq_{0};
    std::atomic<uint32_t> waiters_{0};
};

// Holds back the wakes of requests finished on this thread until the scope
// ends. The receive path finishes a request under the queue locks; a waiter
// woken there would run straight into those locks (its next call, a destroy
// say, takes them). Declared before the locks are taken, the scope ends
// after they are let go.
class DeferWakes {
public:
    DeferWakes();
    ~DeferWakes();
    DeferWakes(const DeferWakes&) = delete;
    DeferWakes& operator=(const DeferWakes&) = delete;
    // The scope open on this thread, if any.
    static DeferWakes* current();
    void add(TRV_Request* r);

private:
    DeferWakes* outer_;
    Ref<TRV_Request> few_[4];  // usually one: no allocation
    size_t n_ = 0;
    std::vector<Ref<TRV_Request>> more_;
};

}  // namespace trv
