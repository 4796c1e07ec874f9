// The frame codec: layout, escaping, CRC, cipher, dump. It knows values
// (TRV_DataItem) and the cipher, nothing of requests or devices; a request
// hands it its values (trvlib_request.h).
//
//   DLE STX | flags(2) token(4) length(2) count(2) command(2) items... CRC(2) | DLE ETX
//
// Multi-byte fields are little-endian; between the markers every 0x10 is
// doubled. The CRC (XMODEM) runs over the unescaped bytes from the flags to
// the last item byte as they stand on the wire. With a cipher active the
// command and the item bytes are enciphered.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "trvlib_dataitem.h"

namespace trv {

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
// Doubles every DLE (0x10) of a frame body.
std::vector<uint8_t> escapeDLE(const uint8_t* data, size_t n);
// Key bytes from hexadecimal text; false when there is no valid key.
bool Hex2Key(const std::string& text, std::string& key);
// Direction: 1 sent ("$$O "), 2 received ("$$I "), other: raw bytes.
std::string FrameDump(const uint8_t* data, size_t len, int direction);

// Encodes a frame. Sets kFlagEnciphered in flags first when the cipher is
// active, so the flags on the wire always match the content. Returns an empty
// vector when the values do not fit the 16-bit length, count or size fields.
std::vector<uint8_t> encodeFrame(uint16_t& flags, uint32_t token, uint16_t cmd,
                                 const std::vector<const TRV_DataItem*>& items, const Cipher& c,
                                 CipherOrder order);

// Appends the frame of values already in their wire form (plain: their
// bytes, count: how many values) to out; false, with out as it was, when it
// does not fit. plain is enciphered in place.
bool appendEncodedFrame(std::vector<uint8_t>& out, uint16_t& flags, uint32_t token, uint16_t cmd, std::string& plain,
                        size_t count, const Cipher& c, CipherOrder order);

struct DecodedFrame {
    bool header = false;  // flags, token, length, count and command were read
    uint16_t flags = 0;
    uint32_t token = 0;
    uint16_t cmd = 0;
    std::vector<TRV_DataItem> items;
};
// Never reads outside [frame, frame+len).
int decodeFrame(const uint8_t* frame, size_t len, const Cipher& c, CipherOrder order, DecodedFrame& out);

}  // namespace trv
