// The rules of the register's protocol that are not in any one command's
// layout: the answer frames, the commands the device core treats apart, the
// long commands, the transmission errors that ask for a frame again, and
// the execution errors our simulator answers with. The ids of all commands
// are generated from the command tables (mirtel_ids.h, trv::cmd); this is
// the one place for the rules about them. Used by libtarvik, libmirtel's
// hand-written bodies, the simulator and trvctl; it needs nothing but the
// standard library.
#pragma once

#include <array>
#include <cstdint>

namespace trv::proto {

// ---- frames the register sends: the command field of an answer
inline constexpr uint16_t kAnswerError = 0;   // error answer: the 4 values below
inline constexpr uint16_t kAnswerAccept = 1;  // acknowledgement: executing the request with this token
inline constexpr uint16_t kAnswerCard = 2;    // card data event, sent on the register's own
inline constexpr uint16_t kAnswerCipher = 3;  // cipher set-up: Byte method, String key in hexadecimal
// Any other command: the final answer to the request with this token, which
// carries the same command.

// An error answer carries 4 Word values in this order.
inline constexpr unsigned kErrorValues = 4;
inline constexpr unsigned kErrorCommand = 0;       // the command that failed
inline constexpr unsigned kErrorTransmission = 1;  // transmission error (retry codes below)
inline constexpr unsigned kErrorExecution = 2;     // the register's execution error
inline constexpr unsigned kErrorOther = 3;

// ---- commands the device core treats apart (their ids are also in the
// tables, under the names given here)
inline constexpr uint16_t kWaitStatusGet = 8;    // busy-status query: answer Byte busy, Word busy code
inline constexpr uint16_t kSeqStatusGet = 9;     // sequence status query
inline constexpr uint16_t kCmplxSeqStop = 10;    // stops the running long command
inline constexpr uint16_t kManualDiscntPCSet = 332;
inline constexpr uint16_t kDBDiscntPCSet = 333;
inline constexpr uint16_t kSaleRecGet = 451;     // sale record: its answer goes to the sales queue

// Skip the post checks (exclusive mode, a full output queue) and are queued
// at the front.
constexpr bool isFrontCommand(uint32_t cmd) {
    return cmd == kManualDiscntPCSet || cmd == kDBDiscntPCSet || cmd == kWaitStatusGet || cmd == kSeqStatusGet ||
           cmd == kCmplxSeqStop;
}
// The only commands that pass a busy register; they go alone (nothing rides
// along in their write).
constexpr bool passesBusy(uint32_t cmd) { return cmd == kWaitStatusGet || cmd == kCmplxSeqStop; }
// Answered by the register while a long command runs (the others get the
// busy execution error).
constexpr bool answeredWhileBusy(uint32_t cmd) {
    return cmd == kWaitStatusGet || cmd == kSeqStatusGet || cmd == kCmplxSeqStop;
}
// Whose answer goes to the sales queue rather than the input queue.
constexpr bool isSaleRecord(uint32_t cmd) { return cmd == kSaleRecGet; }

// ---- long commands: after one is written the register stays busy for a
// while (mostly printed reports); the sender then holds ordinary requests
// back and polls with kWaitStatusGet. In the order of the register's table.
inline constexpr uint16_t kLongCommands[] = {
    16,   19,   21,   31,   1101, 1102, 1103, 1104, 1105, 1106, 1110, 1111, 1112, 1113,
    1114, 1115, 1116, 1117, 1118, 1119, 1120, 1151, 1153, 1160, 1161, 1162, 1163, 1164,
    1165, 1166, 1167, 1168, 1169, 1170, 1171, 1107, 1108, 1122, 1172, 1121};

namespace detail {
// One bit per command id: asked for every frame written and every answer.
inline constexpr std::array<uint64_t, 1024> kLongBits = [] {
    std::array<uint64_t, 1024> bits{};
    for (uint16_t c : kLongCommands) bits[c >> 6] |= uint64_t{1} << (c & 63);
    return bits;
}();
}  // namespace detail

constexpr bool IsLongCommand(uint32_t cmd) {
    return cmd < 65536 && ((detail::kLongBits[cmd >> 6] >> (cmd & 63)) & 1) != 0;
}

// ---- transmission errors (value kErrorTransmission of an error answer)
// with which the register asks for the frame again.
inline constexpr uint16_t kRetryCodes[] = {3002, 3003, 3005, 3006, 3008, 3009, 3011, 3014, 3017};
inline constexpr uint16_t kTransCrc = 3002;        // the frame's CRC is wrong
inline constexpr uint16_t kTransMalformed = 3003;  // the frame cannot be read
inline constexpr uint16_t kTransDefault = 3006;    // the simulator's default injected transmission error

constexpr bool isRetryCode(uint32_t t) {
    for (uint16_t c : kRetryCodes)
        if (c == t) return true;
    return false;
}

// Answers a busy-status query's busy code is added to, in the device's last
// error while the register is busy (32 + code); 32 to 47 say "busy".
inline constexpr uint32_t kBusyErrorBase = 32;
inline constexpr uint32_t kBusyErrorLast = 47;

// ---- execution errors (value kErrorExecution) our simulator answers with.
// The register defines these codes itself; sim/README.md lists them.
namespace exec {
inline constexpr uint16_t kBusy = 101;            // a long command is still running
inline constexpr uint16_t kBadParams = 102;       // a value is missing or of the wrong type
inline constexpr uint16_t kBadValue = 103;        // a value is out of range (date, rate, record number)
inline constexpr uint16_t kNotFound = 104;        // no such record, barcode or name
inline constexpr uint16_t kExists = 105;          // record exists and overwriting was not allowed
inline constexpr uint16_t kFull = 106;            // no free record, list full
inline constexpr uint16_t kNoRecord = 107;        // sale journal: no (further) record
inline constexpr uint16_t kStopped = 108;         // long command stopped by command 10
inline constexpr uint16_t kNonZero = 109;         // record has non-zero totals
inline constexpr uint16_t kInSet = 110;           // article is a member of a set
inline constexpr uint16_t kBarcodeUsed = 111;     // barcode belongs to another article
inline constexpr uint16_t kAnswerTooLarge = 112;  // the answer does not fit one frame
inline constexpr uint16_t kBadCommand = 113;      // command identifier reserved for the register's own frames
inline constexpr uint16_t kRelated = 114;         // other records refer to this one (delete without "related too")
inline constexpr uint16_t kBadLayout = 115;       // the request fits none of its command's layouts in the table
inline constexpr uint16_t kBadPassword = 120;     // remote login with a password the register does not hold
}  // namespace exec

}  // namespace trv::proto
