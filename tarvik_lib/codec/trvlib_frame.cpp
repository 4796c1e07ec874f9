#include "trvlib_frame.h"

#include <algorithm>
#include <cstdio>

namespace trv {

namespace {
constexpr uint8_t DLE = 0x10, STX = 0x02, ETX = 0x03;
constexpr size_t kMaxWireString = 32768;

// Escaped writer that feeds the CRC with the unescaped bytes.
struct Writer {
    std::vector<uint8_t>& out;
    uint16_t crc = 0;
    void put(uint8_t b) {
        crc = updatecrc(crc, b);
        out.push_back(b);
        if (b == DLE) out.push_back(DLE);
    }
    void put16(uint16_t v) { put(v & 0xFF); put(v >> 8); }
    void put32(uint32_t v) { for (int i = 0; i < 4; ++i) put((v >> (8 * i)) & 0xFF); }
};

// Escape-aware reader bounded by the frame's end.
struct Reader {
    const uint8_t* p;
    size_t len;
    size_t pos;
    bool next(uint8_t& b) {
        if (pos < len && p[pos] == DLE) ++pos;  // an escaping DLE is skipped
        if (pos >= len) return false;
        b = p[pos++];
        return true;
    }
    bool get16(uint16_t& v) {
        uint8_t a, b;
        if (!next(a) || !next(b)) return false;
        v = static_cast<uint16_t>(a | (b << 8));
        return true;
    }
    bool get32(uint32_t& v) {
        v = 0;
        for (int i = 0; i < 4; ++i) {
            uint8_t b;
            if (!next(b)) return false;
            v |= static_cast<uint32_t>(b) << (8 * i);
        }
        return true;
    }
};
}  // namespace

size_t Cipher::keyLen() const {
    if (!haveKey) return 0;
    size_t n = key.find('\0');
    return n == std::string::npos ? key.size() : n;
}

uint16_t updatecrc(uint16_t crc, uint8_t byte) {
    crc = static_cast<uint16_t>((crc >> 8) | (crc << 8));
    crc ^= byte;
    crc ^= (crc & 0xFF) >> 4;
    crc ^= static_cast<uint16_t>(crc << 12);
    crc ^= static_cast<uint16_t>((crc & 0xFF) << 5);
    return crc;
}

uint16_t crcdata(uint16_t crc, const uint8_t* data, size_t n) {
    bool esc = false;
    for (size_t i = 0; i < n; ++i) {
        if (data[i] == DLE && !esc) {
            esc = true;
            continue;
        }
        esc = false;
        crc = updatecrc(crc, data[i]);
    }
    return crc;
}

uint8_t cipher(uint8_t byte, size_t& pos, const Cipher& c) {
    const size_t L = c.keyLen();
    if (!(c.method == 1 || c.method == 2) || L == 0) return byte;
    const uint8_t k = static_cast<uint8_t>(c.key[pos % L]);
    pos = (pos + 1) % L;
    return c.method == 1 ? static_cast<uint8_t>(byte ^ k) : static_cast<uint8_t>(byte + k);
}

uint8_t decipher(uint8_t byte, size_t& pos, const Cipher& c) {
    const size_t L = c.keyLen();
    if (!(c.method == 1 || c.method == 2) || L == 0) return byte;
    const uint8_t k = static_cast<uint8_t>(c.key[pos % L]);
    pos = (pos + 1) % L;
    return c.method == 1 ? static_cast<uint8_t>(byte ^ k) : static_cast<uint8_t>(byte - k);
}

std::vector<uint8_t> escapeDLE(const uint8_t* data, size_t n) {
    std::vector<uint8_t> out;
    out.reserve(n * 2);
    for (size_t i = 0; i < n; ++i) {
        out.push_back(data[i]);
        if (data[i] == DLE) out.push_back(DLE);
    }
    return out;
}

static int hexval(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool Hex2Key(const std::string& text, std::string& key) {
    const size_t n = text.size() / 2;
    if (n == 0) return false;
    std::string k;
    k.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        int h = hexval(text[2 * i]), l = hexval(text[2 * i + 1]);
        if (h < 0 || l < 0) return false;
        k += static_cast<char>((h << 4) | l);
    }
    key = std::move(k);
    return true;
}

std::string FrameDump(const uint8_t* data, size_t len, int direction) {
    static const char hex[] = "0123456789ABCDEF";
    const char* marker = direction == 2 ? "$$I " : direction == 1 ? "$$O " : "    ";
    std::string s;
    s.reserve(len * 3 + (len / 16 + 1) * 10);
    for (size_t i = 0; i < len; ++i) {
        if (i % 16 == 0) {
            char off[8];
            std::snprintf(off, sizeof off, "%04X ", static_cast<unsigned>(i & 0xFFFF));
            s += '\n';
            s += marker;
            s += off;
        }
        s += hex[data[i] >> 4];
        s += hex[data[i] & 0xF];
        s += ' ';
    }
    return s;
}

bool appendEncodedFrame(std::vector<uint8_t>& out, uint16_t& flags, uint32_t token, uint16_t cmd, std::string& plain,
                        size_t count, const Cipher& c, CipherOrder order) {
    const bool active = c.active();
    if (active) flags |= kFlagEnciphered;
    if (plain.size() > 65535 - 16 || count > 65535) return false;

    size_t pos = 0;
    uint8_t cmdBytes[2] = {static_cast<uint8_t>(cmd & 0xFF), static_cast<uint8_t>(cmd >> 8)};
    if (active && order == CipherOrder::CommandFirst)
        for (uint8_t& b : cmdBytes) b = cipher(b, pos, c);
    if (active)
        for (char& ch : plain) ch = static_cast<char>(cipher(static_cast<uint8_t>(ch), pos, c));
    if (active && order == CipherOrder::ItemsFirst)
        for (uint8_t& b : cmdBytes) b = cipher(b, pos, c);

    const size_t begin = out.size();
    // Room for the worst case (every byte doubled); grown by doubling, as
    // frames are appended one after another to one buffer.
    const size_t need = begin + 2 * plain.size() + 40;
    if (out.capacity() < need) out.reserve(std::max(need, 2 * out.capacity()));
    out.push_back(DLE);
    out.push_back(STX);
    Writer w{out};
    w.put16(flags);
    w.put32(token);
    w.put16(static_cast<uint16_t>(plain.size() + 16));
    w.put16(static_cast<uint16_t>(count));
    w.put(cmdBytes[0]);
    w.put(cmdBytes[1]);
    for (char ch : plain) w.put(static_cast<uint8_t>(ch));
    const uint16_t crc = w.crc;
    w.put16(crc);
    out.push_back(DLE);
    out.push_back(ETX);
    if (out.size() - begin > 65535) {
        out.resize(begin);
        return false;
    }
    return true;
}

std::vector<uint8_t> encodeFrame(uint16_t& flags, uint32_t token, uint16_t cmd,
                                 const std::vector<const TRV_DataItem*>& items, const Cipher& c,
                                 CipherOrder order) {
    std::string plain;
    for (const TRV_DataItem* it : items)
        if (!it->toBinary(plain)) {
            if (c.active()) flags |= kFlagEnciphered;
            return {};
        }
    std::vector<uint8_t> out;
    if (!appendEncodedFrame(out, flags, token, cmd, plain, items.size(), c, order)) return {};
    return out;
}

int decodeFrame(const uint8_t* frame, size_t len, const Cipher& c, CipherOrder order, DecodedFrame& out) {
    if (len < 16) return FRAME_SHORT;
    if (frame[0] != DLE || frame[1] != STX) return FRAME_MALFORMED;
    Reader r{frame, len, 2};
    uint16_t length = 0, count = 0;
    uint8_t cmdRaw[2];
    if (!r.get16(out.flags) || !r.get32(out.token) || !r.get16(length) || !r.get16(count) ||
        !r.next(cmdRaw[0]) || !r.next(cmdRaw[1]))
        return FRAME_MALFORMED;
    out.header = true;
    const bool deciph = (out.flags & kFlagEnciphered) != 0;
    size_t pos = 0;
    auto dc = [&](uint8_t b) { return deciph ? decipher(b, pos, c) : b; };
    if (order == CipherOrder::CommandFirst) {
        cmdRaw[0] = dc(cmdRaw[0]);
        cmdRaw[1] = dc(cmdRaw[1]);
    }

    auto next = [&](uint8_t& b) {
        if (!r.next(b)) return false;
        b = dc(b);
        return true;
    };
    out.items.clear();
    // Every value takes at least two bytes: a count beyond that is a lie.
    try {
        out.items.reserve(std::min<size_t>(count, len / 2));
    } catch (const std::bad_alloc&) {
        return FRAME_NOMEM;
    }
    for (unsigned i = 0; i < count; ++i) {
        uint8_t type;
        if (!next(type)) return FRAME_MALFORMED;
        TRV_DataItem item;
        switch (type) {
        case 'B': {
            uint8_t b;
            if (!next(b)) return FRAME_MALFORMED;
            item.SetChar(b);
            break;
        }
        case 'V': {
            uint8_t a, b;
            if (!next(a) || !next(b)) return FRAME_MALFORMED;
            item.SetShort(static_cast<uint16_t>(a | (b << 8)));
            break;
        }
        case 'L': {
            uint32_t v = 0;
            for (int k = 0; k < 4; ++k) {
                uint8_t b;
                if (!next(b)) return FRAME_MALFORMED;
                v |= static_cast<uint32_t>(b) << (8 * k);
            }
            item.SetLong(v);
            break;
        }
        case 'N':
        case 'K':
        case 'Q': {
            uint8_t bcd[7] = {0xFF, 0, 0, 0, 0, 0, 0};
            for (int k = (type == 'Q' ? 0 : 1); k < 7; ++k)
                if (!next(bcd[k])) return FRAME_MALFORMED;
            item.setBcdVal(bcd, type);
            break;
        }
        case 'S': {
            std::string s;
            size_t wire = 0;
            uint8_t b;
            while (true) {
                const size_t before = r.pos;
                if (!next(b)) break;  // a missing terminator ends the text at the frame's end
                wire += r.pos - before;
                if (wire > kMaxWireString) return FRAME_MALFORMED;
                if (b == 0) break;
                s += static_cast<char>(b);
            }
            item.SetString(std::move(s));
            break;
        }
        default:
            return FRAME_MALFORMED;
        }
        try {
            out.items.push_back(std::move(item));
        } catch (const std::bad_alloc&) {
            return FRAME_NOMEM;
        }
    }
    if (order == CipherOrder::ItemsFirst) {
        cmdRaw[0] = dc(cmdRaw[0]);
        cmdRaw[1] = dc(cmdRaw[1]);
    }
    out.cmd = static_cast<uint16_t>(cmdRaw[0] | (cmdRaw[1] << 8));

    const uint16_t crc = crcdata(0, frame + 2, r.pos - 2);
    uint16_t wireCrc;
    if (!r.get16(wireCrc)) return FRAME_MALFORMED;
    if (wireCrc != crc) return FRAME_CRC;
    return FRAME_OK;
}

}  // namespace trv
