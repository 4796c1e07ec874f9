// Values, frames, CRC, cipher and dump: the wire format.
#include <gtest/gtest.h>

#include "trvlib_protocol.h"
#include "trvlib_request.h"

using namespace trv;

namespace {
std::string digits(const TRV_DataItem& it) {
    std::string s;
    for (int i = 1; i < 7; ++i) {
        char b[3];
        snprintf(b, sizeof b, "%02X", it.bcd()[i]);
        s += b;
    }
    return s;
}
std::vector<uint8_t> bytes(std::initializer_list<int> l) { return std::vector<uint8_t>(l.begin(), l.end()); }
}  // namespace

TEST(DataItem, CurrencyParsingAndFormatting) {
    TRV_DataItem a, b, c, d;
    ASSERT_TRUE(a.SetCurrency("12.5"));
    ASSERT_TRUE(b.SetCurrency("12,5"));
    ASSERT_TRUE(c.SetCurrency("12.50"));
    ASSERT_TRUE(d.SetCurrency("1250"));
    EXPECT_EQ(digits(a), "000000001250");
    EXPECT_EQ(digits(b), "000000001250");
    EXPECT_EQ(digits(c), "000000001250");
    EXPECT_EQ(digits(d), "000000125000");
    EXPECT_EQ(a.Type(), TARVIK_TYPE_CURRENCY);

    TRV_DataItem neg, half;
    ASSERT_TRUE(neg.SetCurrency("-1"));
    EXPECT_EQ(digits(neg), "999999999900");
    EXPECT_EQ(neg.GetString(','), "-1,00");
    ASSERT_TRUE(half.SetCurrency("-0.5"));
    EXPECT_EQ(half.GetString(','), "-0,50");
    TRV_DataItem five;
    ASSERT_TRUE(five.SetCurrency("0.05"));
    EXPECT_EQ(five.GetString('.'), "0.05");
}

TEST(DataItem, RejectsWhatIsNoNumber) {
    TRV_DataItem it;
    for (const char* bad : {"1.234", "1,234.5", "", "+1", "abc", "1 2", "--1", "1-"}) {
        EXPECT_FALSE(it.SetCurrency(bad)) << bad;
        EXPECT_EQ(it.Type(), TARVIK_TYPE_NONE) << bad;
    }
    EXPECT_FALSE(it.SetQuantity("1.2345"));
    EXPECT_FALSE(it.SetNumeric("12.0"));
    EXPECT_FALSE(it.SetNumeric("500000000000"));
    EXPECT_FALSE(it.SetNumeric("99999999999999999999999"));
}

TEST(DataItem, NumericAndQuantityRanges) {
    TRV_DataItem q, n, big, low;
    ASSERT_TRUE(q.SetQuantity("1.234"));
    EXPECT_EQ(q.bcd()[0], 3);
    EXPECT_EQ(digits(q), "000000001234");
    EXPECT_EQ(q.GetString(','), "1,234");
    ASSERT_TRUE(n.SetNumeric("12."));
    EXPECT_EQ(n.GetString(','), "12");
    ASSERT_TRUE(big.SetNumeric("499999999999"));
    EXPECT_EQ(big.GetString(','), "499999999999");
    ASSERT_TRUE(low.SetNumeric("-500000000000"));
    EXPECT_EQ(digits(low), "500000000000");
    EXPECT_EQ(low.GetString(','), "-500000000000");

    TRV_DataItem q0, q2, q3;
    ASSERT_TRUE(q0.SetQuantity("0"));
    EXPECT_EQ(q0.GetString(','), "0");
    ASSERT_TRUE(q2.SetQuantity("0.00"));
    EXPECT_EQ(q2.GetString(','), "0,00");
    ASSERT_TRUE(q3.SetQuantity("0.005"));
    EXPECT_EQ(q3.GetString(','), "0,005");

    TRV_DataItem w, fresh;
    w.SetShort(7);
    EXPECT_EQ(w.GetString(','), "");
    EXPECT_EQ(w.GetChar(), 0);
    EXPECT_EQ(fresh.Type(), TARVIK_TYPE_NONE);
}

TEST(DataItem, WireEncoding) {
    TRV_DataItem b, v, l, s, q, k;
    b.SetChar(0x42);
    v.SetShort(0x1234);
    l.SetLong(0x01020304);
    s.SetString("ab");
    ASSERT_TRUE(q.SetQuantity("1.5"));
    ASSERT_TRUE(k.SetCurrency("1"));
    std::string out;
    for (auto* it : {&b, &v, &l, &s, &q, &k}) ASSERT_TRUE(it->toBinary(out));
    const std::string want("B\x42" "V\x34\x12" "L\x04\x03\x02\x01" "Sab\0" "Q\x01\x00\x00\x00\x00\x00\x15"
                           "K\x00\x00\x00\x00\x01\x00", 2 + 3 + 5 + 4 + 8 + 7);
    EXPECT_EQ(out, want);
    TRV_DataItem invalid;
    std::string none;
    EXPECT_FALSE(invalid.toBinary(none));
    EXPECT_TRUE(none.empty());
}

TEST(DataItem, NumbersFromTheWireAreDigitsOnly) {
    // An all-FF Numeric would read as -333333333335 and a Quantity with 255
    // decimals as -5,000...: neither is a number, so the item holds none.
    const uint8_t ff[7] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    const uint8_t nibble[7] = {0xFF, 0, 0, 0, 0, 0, 0x1A};
    const uint8_t places4[7] = {4, 0, 0, 0, 0, 0, 0x05};
    const uint8_t places3[7] = {3, 0, 0, 0, 0, 0, 0x05};
    const uint8_t minusOne[7] = {0xFF, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99};
    TRV_DataItem n, k, q4, q3, q255, m;
    n.setBcdVal(ff, TARVIK_TYPE_NUMERIC);
    k.setBcdVal(nibble, TARVIK_TYPE_CURRENCY);
    q4.setBcdVal(places4, TARVIK_TYPE_QUANTITY);
    q255.setBcdVal(ff, TARVIK_TYPE_QUANTITY);
    for (const TRV_DataItem* bad : {&n, &k, &q4, &q255}) {
        EXPECT_EQ(bad->Type(), TARVIK_TYPE_NONE);
        EXPECT_EQ(bad->GetString(','), "");
    }
    q3.setBcdVal(places3, TARVIK_TYPE_QUANTITY);
    EXPECT_EQ(q3.GetString(','), "0,005");
    m.setBcdVal(minusOne, TARVIK_TYPE_NUMERIC);
    EXPECT_EQ(m.GetString(','), "-1");

    // Decoding a frame keeps the frame (its other values and its token) and
    // marks the value as none: flags, token 1, length, count 2, command 20,
    // then N FF.., V 7.
    std::vector<uint8_t> body = {0, 0, 1, 0, 0, 0, 26, 0, 2, 0, 20, 0, 'N', 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                 'V', 7, 0};
    uint16_t crc = 0;
    for (uint8_t b : body) crc = updatecrc(crc, b);
    body.push_back(static_cast<uint8_t>(crc & 0xFF));
    body.push_back(static_cast<uint8_t>(crc >> 8));
    std::vector<uint8_t> f = {0x10, 0x02};
    for (uint8_t b : body) {
        if (b == 0x10) f.push_back(0x10);
        f.push_back(b);
    }
    f.push_back(0x10);
    f.push_back(0x03);
    DecodedFrame d;
    ASSERT_EQ(decodeFrame(f.data(), f.size(), Cipher{}, CipherOrder::CommandFirst, d), FRAME_OK);
    ASSERT_EQ(d.items.size(), 2u);
    EXPECT_EQ(d.items[0].Type(), TARVIK_TYPE_NONE);
    EXPECT_EQ(d.items[1].GetShort(), 7);
}

TEST(Frame, GoldenFrameAndCrc) {
    const char* text = "123456789";
    EXPECT_EQ(crcdata(0, reinterpret_cast<const uint8_t*>(text), 9), 0x31C3);

    TRV_Request r;
    r.token = 1;
    r.cmd_id = 0x0101;
    auto f = r.toFrame(Cipher{});
    EXPECT_EQ(f, bytes({0x10, 0x02, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x10, 0x10, 0x00, 0x00, 0x00, 0x01, 0x01,
                        0xD1, 0x56, 0x10, 0x03}));

    TRV_Request back;
    ASSERT_EQ(back.fromFrame(f.data(), f.size(), Cipher{}), FRAME_OK);
    EXPECT_EQ(back.token, 1u);
    EXPECT_EQ(back.cmd_id, 0x0101);

    TRV_Request t;
    t.token = 0x10;
    auto g = t.toFrame(Cipher{});
    EXPECT_EQ(std::vector<uint8_t>(g.begin() + 4, g.begin() + 9), bytes({0x10, 0x10, 0x00, 0x00, 0x00}));
}

TEST(Frame, RoundTripsEveryTypeAndEscapesCrc) {
    // Look for a token whose CRC has 0x10 as its low byte: it must be escaped.
    for (uint32_t tok = 1; tok < 200000; ++tok) {
        TRV_Request r;
        r.token = tok;
        r.cmd_id = 2110;
        auto* w = new TRV_DataItem;
        w->SetShort(0x1010);
        r.items.Add(w);
        auto f = r.toFrame(Cipher{});
        uint16_t crc = 0;
        std::vector<uint8_t> body;
        for (size_t i = 2; i + 2 < f.size(); ++i) {
            if (f[i] == 0x10) ++i;
            body.push_back(f[i]);
        }
        for (size_t i = 0; i + 2 < body.size(); ++i) crc = updatecrc(crc, body[i]);
        if ((crc & 0xFF) != 0x10) continue;
        size_t n = f.size();
        EXPECT_EQ(f[n - 5], 0x10);
        EXPECT_EQ(f[n - 4], 0x10);
        EXPECT_EQ(f[n - 3], crc >> 8);
        TRV_Request back;
        ASSERT_EQ(back.fromFrame(f.data(), f.size(), Cipher{}), FRAME_OK);
        EXPECT_EQ(back.items[0]->GetShort(), 0x1010);
        return;
    }
    FAIL() << "no token with a CRC low byte of 0x10";
}

TEST(Frame, DecoderNeverReadsPastTheFrame) {
    TRV_Request r;
    r.token = 7;
    r.cmd_id = 20;
    auto* s = new TRV_DataItem;
    s->SetString("hello");
    r.items.Add(s);
    auto f = r.toFrame(Cipher{});
    // Every truncation fails, and never with success.
    for (size_t n = 0; n < f.size() - 2; ++n) {
        TRV_Request t;
        std::vector<uint8_t> cut(f.begin(), f.begin() + n);
        int rc = t.fromFrame(cut.data(), cut.size(), Cipher{});
        EXPECT_NE(rc, FRAME_OK) << n;
    }
    // A count that promises more items than there are.
    auto more = f;
    more[10] = 5;
    TRV_Request t;
    int rc = t.fromFrame(more.data(), more.size(), Cipher{});
    EXPECT_TRUE(rc == FRAME_MALFORMED || rc == FRAME_CRC);
    // A wrong start marker, an unknown type letter.
    auto bad = f;
    bad[1] = 0x05;
    EXPECT_EQ(TRV_Request().fromFrame(bad.data(), bad.size(), Cipher{}), FRAME_MALFORMED);
    auto letter = f;
    letter[14] = 'Z';
    EXPECT_EQ(TRV_Request().fromFrame(letter.data(), letter.size(), Cipher{}), FRAME_MALFORMED);
    // A corrupted value byte keeps the header readable and reports the CRC.
    auto crc = f;
    crc[16] ^= 0x01;
    TRV_Request c;
    EXPECT_EQ(c.fromFrame(crc.data(), crc.size(), Cipher{}), FRAME_CRC);
    EXPECT_EQ(c.token, 7u);
}

TEST(Frame, StringWithoutTerminatorEndsAtFrameEnd) {
    // flags, token, length, count=1, cmd, 'S' 'a' 'b' then nothing: the text
    // runs to the end, and the missing CRC makes the frame unreadable.
    auto f = bytes({0x10, 0x02, 0, 0, 1, 0, 0, 0, 19, 0, 1, 0, 20, 0, 'S', 'a', 'b'});
    DecodedFrame d;
    EXPECT_EQ(decodeFrame(f.data(), f.size(), Cipher{}, CipherOrder::CommandFirst, d), FRAME_MALFORMED);
}

TEST(Cipher, XorAndAdditive) {
    Cipher x{1, true, std::string("\x01\x02", 2)};
    size_t pos = 0;
    EXPECT_EQ(cipher(0x42, pos, x), 0x43);
    EXPECT_EQ(cipher(0x05, pos, x), 0x07);
    EXPECT_EQ(pos, 0u);

    Cipher add{2, true, std::string("\x01", 1)};
    pos = 0;
    EXPECT_EQ(cipher(0xFF, pos, add), 0x00);
    pos = 0;
    EXPECT_EQ(decipher(0x00, pos, add), 0xFF);

    Cipher zero{1, true, std::string("\x00\x05", 2)};  // key length 0: nothing changes
    pos = 0;
    EXPECT_EQ(cipher(0x42, pos, zero), 0x42);

    std::string key;
    EXPECT_TRUE(Hex2Key("0aFf1", key));
    EXPECT_EQ(key, std::string("\x0a\xff", 2));
    EXPECT_FALSE(Hex2Key("0g", key));
    EXPECT_FALSE(Hex2Key("1", key));
}

TEST(Cipher, EncipheredFramesRoundTripBetweenTheTwoSides) {
    Cipher c{1, true, std::string("\x10\x5A\x33", 3)};
    TRV_Request r;
    r.token = 9;
    r.cmd_id = 2110;
    auto* w = new TRV_DataItem;
    w->SetShort(12);
    r.items.Add(w);
    auto f = r.toFrame(c);
    EXPECT_EQ(r.flags & kFlagEnciphered, kFlagEnciphered);
    EXPECT_EQ(f[2] & 1, 1);
    // The item bytes take key positions 0..2 ('V' 0x0C 0x00), the command 3, 4.
    EXPECT_EQ(f[14], 'V' ^ 0x10);
    DecodedFrame d;
    ASSERT_EQ(decodeFrame(f.data(), f.size(), c, CipherOrder::ItemsFirst, d), FRAME_OK);
    EXPECT_EQ(d.cmd, 2110);
    EXPECT_EQ(d.items[0].GetShort(), 12);

    // The register enciphers the command first; the library reads it back.
    uint16_t flags = 0;
    TRV_DataItem s;
    s.SetString("x");
    auto answer = encodeFrame(flags, 9, 2110, {&s}, c, CipherOrder::CommandFirst);
    TRV_Request back;
    ASSERT_EQ(back.fromFrame(answer.data(), answer.size(), c), FRAME_OK);
    EXPECT_EQ(back.cmd_id, 2110);
    EXPECT_EQ(back.items[0]->GetString(','), "x");

    // Flags bit 0 clear: nothing is deciphered, whatever the device's cipher.
    TRV_Request plain;
    plain.token = 3;
    plain.cmd_id = 14;
    auto pf = plain.toFrame(Cipher{});
    TRV_Request pb;
    ASSERT_EQ(pb.fromFrame(pf.data(), pf.size(), c), FRAME_OK);
    EXPECT_EQ(pb.cmd_id, 14);
}

TEST(Frame, DumpFormatAndLongCommands) {
    std::vector<uint8_t> b(20);
    for (int i = 0; i < 20; ++i) b[i] = static_cast<uint8_t>(i);
    EXPECT_EQ(FrameDump(b.data(), b.size(), 1),
              "\n$$O 0000 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F \n$$O 0010 10 11 12 13 ");
    EXPECT_EQ(FrameDump(b.data(), 1, 2), "\n$$I 0000 00 ");
    EXPECT_EQ(FrameDump(b.data(), 1, 0), "\n    0000 00 ");
    EXPECT_EQ(FrameDump(b.data(), 0, 1), "");

    int n = 0;
    for (uint32_t c = 0; c < 70000; ++c) n += proto::IsLongCommand(c);
    EXPECT_EQ(n, 40);
    EXPECT_TRUE(proto::IsLongCommand(16));
    EXPECT_TRUE(proto::IsLongCommand(1121));
    EXPECT_FALSE(proto::IsLongCommand(0));
    EXPECT_FALSE(proto::IsLongCommand(1109));
}
