// Sale, accessory, printing, display, port and host interface settings: the
// hand-written lists and texts, and the wire orders that differ from the
// argument order.
#include <cstring>

#include "test_mirtel_fixture.h"

using namespace mirtel_test;

class MirtelSettings : public MirtelTest {
protected:
    static int items(TARVIK_HANDLE h) { return trv::test::objectOf<trv::TRV_Request>(h)->items.Count(); }
    // A line too long for a String value: its push fails.
    const std::string huge = std::string(70000, 'x');
};

TEST_F(MirtelSettings, SaleLimitsArriveInAnotherOrderThanTheOutputs) {
    unsigned char b[7] = {};
    char rabProc[16], rabKwot[16], narzProc[16], narzKwot[16];
    // On the wire: rebate %, markup %, rebate amount, markup amount.
    TARVIK_HANDLE h = answer(301, {V::B(1), V::B(2), V::B(3), V::B(4), V::B(5), V::B(6), V::N("11"), V::N("22"),
                                   V::N("33"), V::N("44"), V::B(7), V::B(8), V::B(9)});
    ASSERT_EQ(TRVG_SaleCfgGet(h, &b[0], &b[1], &b[2], &b[3], &b[4], &b[5], rabProc, rabKwot, narzProc, narzKwot,
                              &b[6], nullptr, nullptr),
              0u);
    EXPECT_STREQ(rabProc, "11");
    EXPECT_STREQ(narzProc, "22");
    EXPECT_STREQ(rabKwot, "33");
    EXPECT_STREQ(narzKwot, "44");
    EXPECT_EQ(b[6], 7);

    // The setter takes them in wire order; a missing fourth limit stops after
    // six Bytes and three Numerics.
    TARVIK_HANDLE req = nullptr;
    EXPECT_EQ(TRVS_XEL_SaleCfgSetEx(view, &req, 1, 0, 1, 0, 1, 1, "10", "5", "1000", nullptr, 1, 1, 0, 1, 0),
              0x1010Cu);
    EXPECT_TRUE(keptUnposted(req));
    EXPECT_EQ(items(req), 9);
    TRVG_Default(req);
}

TEST_F(MirtelSettings, PriceVerifierTextFillsTheDisplay) {
    ASSERT_EQ(TRVG_XEL_PriceVerifCfgSet(view, nullptr, 0, 1, 2, 3, 4, "CENA", 0), 0u);
    EXPECT_EQ(sent(338), "B0 B1 B2 B3 B4 S'CENA' S''");
    ASSERT_EQ(TRVS_PriceVerifCfgSet(view, nullptr, 1, 1, 2, 3, 4, "A\nB\nC", 0), 0u);
    EXPECT_EQ(sent(338), "B1 B1 B2 B3 B4 S'A' S'B' S'C' S''");
    // One empty line blanks the display; an empty text is no list at all.
    ASSERT_EQ(TRVS_PriceVerifCfgSet(view, nullptr, 0, 1, 2, 3, 4, "\n", 0), 0u);
    EXPECT_EQ(sent(338), "B0 B1 B2 B3 B4 S'' S''");

    TARVIK_HANDLE req = nullptr;
    EXPECT_EQ(TRVS_PriceVerifCfgSet(view, &req, 0, 1, 2, 3, 4, "A\nB\nC", 0), 0x10108u);
    EXPECT_TRUE(keptUnposted(req));
    TRVG_Default(req);
    for (auto set : {TRVS_PriceVerifCfgSet, TRVG_XEL_PriceVerifCfgSet}) {
        EXPECT_EQ(set(view, &req, 1, 1, 2, 3, 4, "", 0), 0x10108u);
        EXPECT_TRUE(keptUnposted(req));
        EXPECT_EQ(items(req), 5);
        TRVG_Default(req);
    }
    EXPECT_EQ(TRVG_XEL_PriceVerifCfgSet(view, nullptr, 2, 1, 2, 3, 4, "1\n2\n3\n4\n5", 0), 0x10108u);
    EXPECT_EQ(TRVG_XEL_PriceVerifCfgSet(view, nullptr, 2, 1, 2, 3, 4, nullptr, 0), 0x10108u);
    // A line that cannot be pushed has the code below the text's.
    EXPECT_EQ(TRVG_XEL_PriceVerifCfgSet(view, nullptr, 2, 1, 2, 3, 4, ("A\n" + huge).c_str(), 0), 0x10107u);
    EXPECT_TRUE(nothingSent());

    // Four lines come back whatever the type; an empty last line leaves a
    // trailing line feed.
    unsigned char n = 0;
    char text[64];
    TARVIK_HANDLE h = answer(337, {V::B(1), V::B(0), V::B(3), V::B(9), V::S("A"), V::S("B"), V::S("C"), V::S("")});
    ASSERT_EQ(TRVG_PriceVerifCfgGet(h, &n, nullptr, nullptr, nullptr, text), 0u);
    EXPECT_STREQ(text, "A\nB\nC\n");
}

TEST_F(MirtelSettings, HeaderAndFooterLinesGoAsFlagTextPairs) {
    std::string flags, lines, wire;
    for (int i = 1; i <= 10; ++i) {
        flags += (i > 1 ? "\n" : "") + std::to_string(i % 2);
        lines += (i > 1 ? "\n" : "") + ("L" + std::to_string(i));
        wire += (i > 1 ? " B" : "B") + std::to_string(i % 2) + " S'L" + std::to_string(i) + "'";
    }
    ASSERT_EQ(TRVS_HeaderSet(view, nullptr, flags.c_str(), lines.c_str(), 0), 0u);
    EXPECT_EQ(sent(19), wire);
    // A flag that is no number is sent as 255; two empty texts clear the lines.
    ASSERT_EQ(TRVS_FooterSet(view, nullptr, "x\n2\n0", "A\nB\nC", 0), 0u);
    EXPECT_EQ(sent(31), "B255 S'A' B2 S'B' B0 S'C'");
    ASSERT_EQ(TRVS_FooterSet(view, nullptr, "", "", 0), 0u);
    EXPECT_EQ(sent(31), "");

    TARVIK_HANDLE req = nullptr;
    EXPECT_EQ(TRVS_HeaderSet(view, &req, (flags + "\n1").c_str(), (lines + "\nL11").c_str(), 0), 0x10103u);
    EXPECT_TRUE(keptUnposted(req));
    TRVG_Default(req);
    EXPECT_EQ(TRVS_HeaderSet(view, nullptr, "1\n0\n1", "A\nB\nC\nD", 0), 0x10103u);
    EXPECT_EQ(TRVS_FooterSet(view, nullptr, "0\n0\n0\n0", "A\nB\nC\nD", 0), 0x10103u);
    EXPECT_EQ(TRVS_HeaderSet(view, nullptr, nullptr, "A", 0), 0x10103u);
    EXPECT_EQ(TRVS_FooterSet(view, nullptr, "1", nullptr, 0), 0x10104u);
    EXPECT_EQ(TRVS_FooterSet(view, nullptr, "1\n1", ("A\n" + huge).c_str(), 0), 0x10104u);
    EXPECT_TRUE(nothingSent());

    char f[32] = "", l[64] = "";
    const std::vector<V> two = {V::B(2), V::B(1), V::S("SKLEP"), V::B(0), V::S("ul. Prosta 1")};
    ASSERT_EQ(TRVG_HeaderGet(answer(18, two), f, l), 0u);
    EXPECT_STREQ(f, "1\n0");
    EXPECT_STREQ(l, "SKLEP\nul. Prosta 1");
    ASSERT_EQ(TRVG_FooterGet(answer(30, {V::B(0)}), f, l), 0u);
    EXPECT_STREQ(f, "");
    EXPECT_STREQ(l, "");
    // Both outputs are required: the position's code, the request stays.
    TARVIK_HANDLE h = answer(18, two);
    EXPECT_EQ(TRVG_HeaderGet(h, nullptr, l), 0x10102u);
    EXPECT_EQ(TRV_GetRequestState(h), TARVIK_STATE_COMPLETED);
    TRVG_Default(h);
    h = answer(30, two);
    EXPECT_EQ(TRVG_FooterGet(h, f, nullptr), 0x10103u);
    EXPECT_STREQ(f, "1\n0");  // written before the missing one
    EXPECT_EQ(TRV_GetRequestState(h), TARVIK_STATE_COMPLETED);
    TRVG_Default(h);
}

TEST_F(MirtelSettings, ExternalPrinterHasThreeHeaderLines) {
    ASSERT_EQ(TRVS_ExtPrnCfgSet(view, nullptr, 1, 2, 40, 1, "A", 0), 0u);
    EXPECT_EQ(sent(511), "B1 B2 B40 B1 S'A' S'' S''");
    TARVIK_HANDLE req = nullptr;
    EXPECT_EQ(TRVS_ExtPrnCfgSet(view, &req, 1, 2, 40, 1, "A\nB\nC\nD", 0), 0x10107u);
    EXPECT_TRUE(keptUnposted(req));
    EXPECT_EQ(items(req), 4);
    TRVG_Default(req);
    EXPECT_EQ(TRVS_ExtPrnCfgSet(view, nullptr, 1, 2, 40, 1, nullptr, 0), 0x10107u);
    EXPECT_EQ(TRVS_ExtPrnCfgSet(view, nullptr, 1, 2, 40, 1, "", 0), 0x10107u);  // no list
    EXPECT_EQ(TRVS_ExtPrnCfgSet(view, nullptr, 1, 2, 40, 1, huge.c_str(), 0), 0x10107u);
    EXPECT_TRUE(nothingSent());
    ASSERT_EQ(TRVS_ExtPrnCfgSet(view, nullptr, 1, 2, 40, 1, "\n", 0), 0u);  // one empty line
    EXPECT_EQ(sent(511), "B1 B2 B40 B1 S'' S'' S''");

    char lines[64];
    TARVIK_HANDLE h = answer(510, {V::B(1), V::B(2), V::B(40), V::B(1), V::S("A"), V::S("B"), V::S("")});
    ASSERT_EQ(TRVG_ExtPrnCfgGet(h, nullptr, nullptr, nullptr, nullptr, lines), 0u);
    EXPECT_STREQ(lines, "A\nB\n");
}

TEST_F(MirtelSettings, DisplayContentsAreSixParallelLists) {
    ASSERT_EQ(TRVS_DspInfoSet(view, nullptr, 3, "1\n2", "\nDZIEN DOBRY", nullptr, "5\n6", "0\n1", "2\n3", 0), 0u);
    EXPECT_EQ(sent(381), "B3 B1 S'' B0 B5 B0 B2 B2 S'DZIEN DOBRY' B0 B6 B1 B3");
    // Inversions of another count are dropped too; of the right count they go.
    ASSERT_EQ(TRVS_DspInfoSet(view, nullptr, 0, "1\n2", "A\nB", "1", "5\n6", "0\n1", "2\n3", 0), 0u);
    EXPECT_EQ(sent(381), "B0 B1 S'A' B0 B5 B0 B2 B2 S'B' B0 B6 B1 B3");
    ASSERT_EQ(TRVS_DspInfoSet(view, nullptr, 0, "1\n2", "A\nB", "1\n0", "5\n6", "0\n1", "2\n3", 0), 0u);
    EXPECT_EQ(sent(381), "B0 B1 S'A' B1 B5 B0 B2 B2 S'B' B0 B6 B1 B3");
    // An empty inversion text is as good as none.
    ASSERT_EQ(TRVS_DspInfoSet(view, nullptr, 0, "1", "A", "", "5", "0", "2", 0), 0u);
    EXPECT_EQ(sent(381), "B0 B1 S'A' B0 B5 B0 B2");

    // Missing lists, first in the order types, lines, speeds, directions, time formats.
    EXPECT_EQ(TRVS_DspInfoSet(view, nullptr, 0, nullptr, nullptr, "", nullptr, nullptr, nullptr, 0), 0x10104u);
    EXPECT_EQ(TRVS_DspInfoSet(view, nullptr, 0, "1", nullptr, "", nullptr, nullptr, nullptr, 0), 0x10105u);
    EXPECT_EQ(TRVS_DspInfoSet(view, nullptr, 0, "1", "A", nullptr, nullptr, nullptr, nullptr, 0), 0x10107u);
    EXPECT_EQ(TRVS_DspInfoSet(view, nullptr, 0, "1", "A", nullptr, "1", nullptr, nullptr, 0), 0x10108u);
    EXPECT_EQ(TRVS_DspInfoSet(view, nullptr, 0, "1", "A", nullptr, "1", "1", nullptr, 0), 0x10109u);
    // An empty text is no list: each required one refused with its own
    // code, not taken for zero entries.
    EXPECT_EQ(TRVS_DspInfoSet(view, nullptr, 0, "", "", "", "", "", "", 0), 0x10104u);
    EXPECT_EQ(TRVS_DspInfoSet(view, nullptr, 0, "1", "", nullptr, "1", "1", "1", 0), 0x10105u);
    EXPECT_EQ(TRVS_DspInfoSet(view, nullptr, 0, "1", "A", nullptr, "", "1", "1", 0), 0x10107u);
    EXPECT_EQ(TRVS_DspInfoSet(view, nullptr, 0, "1", "A", nullptr, "1", "", "1", 0), 0x10108u);
    EXPECT_EQ(TRVS_DspInfoSet(view, nullptr, 0, "1", "A", nullptr, "1", "1", "", 0), 0x10109u);
    // A text that cannot be pushed has the code of the list before it.
    EXPECT_EQ(TRVS_DspInfoSet(view, nullptr, 0, "1", huge.c_str(), nullptr, "1", "1", "1", 0), 0x10104u);
    TARVIK_HANDLE req = nullptr;
    EXPECT_EQ(TRVS_DspInfoSet(view, &req, 0, "1\n2", "A", nullptr, "1", "1", "1", 0), 0x10103u);
    EXPECT_TRUE(keptUnposted(req));
    TRVG_Default(req);
    EXPECT_TRUE(nothingSent());

    char t[32] = "?", l[64] = "?", inv[32] = "?", sp[32] = "?", dir[32] = "?", fmt[32] = "?";
    ASSERT_EQ(TRVG_DspInfoGet(answer(380, {V::B(0)}), t, l, inv, sp, dir, fmt), 0u);
    for (const char* out : {t, l, inv, sp, dir, fmt}) EXPECT_STREQ(out, "");
    ASSERT_EQ(TRVG_DspInfoGet(answer(380, {V::B(2), V::B(1), V::S("A"), V::B(0), V::B(5), V::B(0), V::B(2),
                                           V::B(2), V::S("B"), V::B(1), V::B(6), V::B(1), V::B(3)}),
                              t, l, inv, nullptr, dir, fmt),
              0u);
    EXPECT_EQ(std::vector<std::string>({t, l, inv, dir, fmt}),
              std::vector<std::string>({"1\n2", "A\nB", "0\n1", "0\n1", "2\n3"}));
}

TEST_F(MirtelSettings, PortTextAndItsCodes) {
    // Codes on the wire: baud, handshake, data bits, parity, stop bits.
    ASSERT_EQ(TRVS_PortCfgSet(view, nullptr, 1, 2, "9600,8,N,1,N", "PC", 0), 0u);
    EXPECT_EQ(sent(326), "B1 B2 B3 B0 B0 B0 B0 S'PC'");
    ASSERT_EQ(TRVS_PortCfgSet(view, nullptr, 1, 2, "115200,7,E,2,H", "PC", 0), 0u);
    EXPECT_EQ(sent(326), "B1 B2 B7 B2 B1 B1 B1 S'PC'");
    ASSERT_EQ(TRVS_v2_PortCfgSet(view, nullptr, 1, 2, "1200,7,O,1,S", "PC", 'a', 0), 0u);
    EXPECT_EQ(sent(326), "B1 B2 B0 B1 B1 B2 B0 S'PC' B97");
    // Missing and unknown fields, and lower case, leave their codes 0.
    ASSERT_EQ(TRVS_PortCfgSet(view, nullptr, 1, 2, "9600", "PC", 0), 0u);
    EXPECT_EQ(sent(326), "B1 B2 B3 B0 B0 B0 B0 S'PC'");
    ASSERT_EQ(TRVS_PortCfgSet(view, nullptr, 1, 2, "19200,9,e,3,h,extra", "PC", 0), 0u);
    EXPECT_EQ(sent(326), "B1 B2 B4 B0 B0 B0 B0 S'PC'");
    ASSERT_EQ(TRVS_PortCfgSet(view, nullptr, 1, 2, "", "PC", 0), 0u);
    EXPECT_EQ(sent(326), "B1 B2 B0 B0 B0 B0 B0 S'PC'");

    TARVIK_HANDLE req = nullptr;
    EXPECT_EQ(TRVS_PortCfgSet(view, &req, 1, 2, "14400,8,N,1,N", "PC", 0), 0x10105u);
    EXPECT_TRUE(keptUnposted(req));
    EXPECT_EQ(items(req), 2);
    TRVG_Default(req);
    EXPECT_EQ(TRVS_PortCfgSet(view, nullptr, 1, 2, ",8,N,1,N", "PC", 0), 0x10105u);
    EXPECT_EQ(TRVS_XEL_PortCfgSet(view, nullptr, 1, 2, " 9600", "PC", 0, 0), 0x10105u);
    EXPECT_TRUE(nothingSent());

    unsigned char typ = 0, podtyp = 9;
    char name[16], cfg[32];
    ASSERT_EQ(TRVG_PortCfgGet(answer(325, {V::B(4), V::S("WAGA"), V::B(3), V::B(1), V::B(0), V::B(2), V::B(1)}), &typ,
                              name, cfg),
              0u);
    EXPECT_STREQ(cfg, "9600,8,O,2,X");
    ASSERT_EQ(TRVG_PortCfgGet(answer(325, {V::B(4), V::S("WAGA"), V::B(9), V::B(2), V::B(1), V::B(3), V::B(2)}), &typ,
                              name, cfg),
              0u);
    EXPECT_STREQ(cfg, "-U-,7,U,U,R");
    // Without the subtype the newer reader gives 0 and succeeds.
    ASSERT_EQ(TRVG_XEL_PortCfgGet(answer(325, {V::B(4), V::S("WAGA"), V::B(7), V::B(3), V::B(1), V::B(0), V::B(0)}),
                                  &typ, name, cfg, &podtyp),
              0u);
    EXPECT_EQ(podtyp, 0);
    EXPECT_STREQ(cfg, "115200,7,N,1,D");
    ASSERT_EQ(TRVG_v2_PortCfgGet(answer(325, {V::B(4), V::S("WAGA"), V::B(7), V::B(3), V::B(1), V::B(0), V::B(0),
                                              V::B(5)}),
                                 &typ, name, cfg, &podtyp),
              0u);
    EXPECT_EQ(typ, 4);
    EXPECT_STREQ(name, "WAGA");
    EXPECT_EQ(podtyp, 5);
    // A value of another type where the subtype stands is bad data, not "no
    // subtype": the request stays and podtyp is not written.
    TARVIK_HANDLE h = answer(325, {V::B(4), V::S("WAGA"), V::B(7), V::B(3), V::B(1), V::B(0), V::B(0), V::W(5)});
    podtyp = 9;
    EXPECT_EQ(TRVG_XEL_PortCfgGet(h, &typ, name, cfg, &podtyp), 0x10002u);
    EXPECT_EQ(podtyp, 9);
    EXPECT_EQ(TRVG_Default(h), 0u);
}

TEST_F(MirtelSettings, TerminalPortsByVariant) {
    ASSERT_EQ(TRVS_TerminalCfgSet(view, nullptr, 1, 2, "9600,8,N,1,H", 3, nullptr, 0), 0u);
    EXPECT_EQ(sent(384), "B2 B3 B2 B0 B0 B0");
    ASSERT_EQ(TRVS_TerminalCfgSet(view, nullptr, 2, 2, "9600,8,N,1,H", 3, "4800,7,E,1,N", 0), 0u);
    EXPECT_EQ(sent(384), "B2 B3 B2 B0 B0 B0 B3 B2 B0 B1 B1 B0");
    ASSERT_EQ(TRVS_TerminalCfgSet(view, nullptr, 0, 2, nullptr, 3, nullptr, 0), 0u);
    EXPECT_EQ(sent(384), "");
    EXPECT_EQ(TRVS_TerminalCfgSet(view, nullptr, 2, 2, "9600", 3, "100", 0), 0x10107u);
    EXPECT_EQ(TRVS_TerminalCfgSet(view, nullptr, 1, 2, nullptr, 3, "9600", 0), 0x10105u);
    EXPECT_TRUE(nothingSent());
}

TEST_F(MirtelSettings, HostInterfaceAddresses) {
    ASSERT_EQ(TRVS_CommCfgSet(view, nullptr, 1, 2, 3, 4, 1, "10.0.0.1", "255.255.255.0", "10.0.0.254", 0), 0u);
    EXPECT_EQ(sent(328), "B1 B2 B3 B4 B1 L167772161 L4294967040 L167772414");
    // Any of the three missing sends three zeros.
    ASSERT_EQ(TRVS_v2_CommCfgSet(view, nullptr, 1, 2, 3, 4, 1, "10.0.0.1", "255.255.255.0", nullptr, 6001, 1, 0), 0u);
    EXPECT_EQ(sent(328), "B1 B2 B3 B4 B1 L0 L0 L0 V6001 B1");
    EXPECT_EQ(TRVS_CommCfgSet(view, nullptr, 1, 2, 3, 4, 1, "10.1.1.300", "255.0.0.0", "10.0.0.1", 0), 0x10108u);
    EXPECT_EQ(TRVS_CommCfgSet(view, nullptr, 1, 2, 3, 4, 1, "10.1.1.3", "255.0.0", "10.0.0.1", 0), 0x10109u);
    EXPECT_EQ(TRVS_v2_CommCfgSet(view, nullptr, 1, 2, 3, 4, 1, "10.1.1.3", "255.0.0.0", "x", 1, 1, 0), 0x1010Au);
    EXPECT_TRUE(nothingSent());

    unsigned char b[5] = {};
    unsigned short port = 7;
    unsigned char dhcp = 7;
    char addr[20] = "?", mask[20] = "?", gw[20] = "?";
    // An answer without addresses leaves them empty.
    ASSERT_EQ(TRVG_CommCfgGet(answer(327, {V::B(1), V::B(2), V::B(3), V::B(4), V::B(5)}), &b[0], &b[1], &b[2], &b[3],
                              &b[4], addr, mask, gw),
              0u);
    EXPECT_EQ(std::string(addr) + mask + gw, "");
    EXPECT_EQ(b[4], 5);
    const std::vector<V> eight = {V::B(1), V::B(2), V::B(3), V::B(4), V::B(5),
                                  V::L(0x0A000001), V::L(0xFFFFFF00), V::L(0x0A0000FE)};
    ASSERT_EQ(TRVG_CommCfgGetEx(answer(345, eight), &b[0], &b[1], &b[2], &b[3], &b[4], addr, mask, gw, &port, &dhcp),
              0u);
    EXPECT_EQ(std::vector<std::string>({addr, mask, gw}),
              std::vector<std::string>({"10.0.0.1", "255.255.255.0", "10.0.0.254"}));
    EXPECT_EQ(port, 0);
    EXPECT_EQ(dhcp, 0);
    // Nine values carry the port only: dhcp is left as it was.
    std::vector<V> nine = eight;
    nine.push_back(V::W(6001));
    dhcp = 7;
    ASSERT_EQ(TRVG_CommCfgGetEx(answer(345, nine), &b[0], &b[1], &b[2], &b[3], &b[4], addr, mask, gw, &port, &dhcp),
              0u);
    EXPECT_EQ(port, 6001);
    EXPECT_EQ(dhcp, 7);
    std::vector<V> ten = nine;
    ten.push_back(V::B(1));
    ASSERT_EQ(TRVG_CommCfgGetEx(answer(345, ten), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, gw,
                                &port, &dhcp),
              0u);
    EXPECT_EQ(dhcp, 1);
    // Six values are a broken answer: the second address is missing.
    TARVIK_HANDLE h = answer(327, {V::B(1), V::B(2), V::B(3), V::B(4), V::B(5), V::L(1)});
    EXPECT_NE(TRVG_CommCfgGet(h, &b[0], &b[1], &b[2], &b[3], &b[4], addr, mask, gw), 0u);
    TRVG_Default(h);
}

TEST_F(MirtelSettings, CardInfoReadsTheCardNumber) {
    char number[32];
    TARVIK_HANDLE h = answer(2, {V::S("9900000012345"), V::B(1)});
    ASSERT_EQ(TRVG_CardInfo(h, number), 0u);
    EXPECT_STREQ(number, "9900000012345");
    h = answer(301, {});
    EXPECT_EQ(TRVG_CardInfo(h, number), 0x10005u);
    TRVG_Default(h);
}
