// Settings end to end: written through the public API to the simulated
// register, read back, and the register's own state checked; card events
// read with TRVG_CardInfo; command 6 closing the connection.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "mirtel_sim.h"
#include "tarvik/mirtel.h"
#include "tarvik/tarvik.h"

class E2ESettings : public trvsim::test::MirtelSimTest {
protected:
    // Sends with a TRVS_ call, waits, and releases a request that has no reader.
    void set(TARVIK_STATUS sent) {
        ASSERT_EQ(done(r, sent), 0u);
        EXPECT_EQ(TRVG_Default(r), 0u);
    }
    // Sends a query and waits for its answer; the reader is up to the test.
    void ask(TARVIK_STATUS sent) { ASSERT_EQ(done(r, sent), 0u); }

    TARVIK_HANDLE r = nullptr;
};

TEST_F(E2ESettings, SaleStoreAndAccessorySettingsReadBack) {
    set(TRVS_SaleCfgSetEx(view, &r, 1, 0, 1, 0, 1, 0, "15", "7", "2000", "900", 1, 0, 3, 1, 0));
    unsigned char b[8] = {};
    char rabProc[16], rabKwot[16], narzProc[16], narzKwot[16];
    ask(TRVS_SaleCfgGetEx(view, &r, 0));
    ASSERT_EQ(TRVG_SaleCfgGetEx(r, &b[0], &b[1], &b[2], &b[3], &b[4], &b[5], rabProc, rabKwot, narzProc, narzKwot,
                                &b[6], nullptr, &b[7], nullptr),
              0u);
    EXPECT_EQ(std::vector<std::string>({rabProc, narzProc, rabKwot, narzKwot}),
              std::vector<std::string>({"15", "7", "2000", "900"}));
    EXPECT_EQ(b[7], 3);
    // The older setter keeps the automatic flag.
    set(TRVS_SaleCfgSet(view, &r, 0, 0, 0, 0, 0, 0, "1", "2", "3", "4", 0, 0, 0, 0));
    unsigned char automat = 0;
    ask(TRVS_XEL_SaleCfgGetEx(view, &r, 0));
    ASSERT_EQ(TRVG_XEL_SaleCfgGetEx(r, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, rabKwot, nullptr,
                                    nullptr, nullptr, nullptr, nullptr, &automat),
              0u);
    EXPECT_EQ(automat, 1);
    EXPECT_STREQ(rabKwot, "3");

    set(TRVS_v2_PLUStoreCfgSet(view, &r, 1, 0, 1, 1, 0));
    set(TRVS_PackStoreCfgSet(view, &r, 1, 1, 0, 0));
    unsigned char store[7] = {};
    ask(TRVS_StoreCfgGetEx(view, &r, 0));
    ASSERT_EQ(TRVG_StoreCfgGetEx(r, &store[0], &store[1], &store[2], &store[3], &store[4], &store[5], &store[6]), 0u);
    EXPECT_EQ(std::vector<int>(store, store + 7), std::vector<int>({1, 0, 1, 1, 1, 0, 1}));

    set(TRVS_v2_BillBufCfgSet(view, &r, 1, 0, 250, 1, 0, 0));
    unsigned char active = 0, overflow = 9, block = 0, info = 9;
    unsigned short level = 0;
    ask(TRVS_BillBufCfgGetEx(view, &r, 0));
    ASSERT_EQ(TRVG_BillBufCfgGetEx(r, &active, &overflow, &level, &block, &info), 0u);
    EXPECT_EQ(std::vector<int>({active, overflow, level, block, info}), std::vector<int>({1, 0, 250, 1, 0}));

    set(TRVS_v2_DiscntCardCfgSet(view, &r, 1, 300, 2, "TRACK2", 0));
    unsigned char valid = 0;
    unsigned short time = 0, method = 0;
    char params[64];
    ask(TRVS_DiscntCardCfgGetEx(view, &r, 0));
    ASSERT_EQ(TRVG_DiscntCardCfgGetEx(r, &valid, &time, &method, params), 0u);
    EXPECT_EQ(time, 300);
    EXPECT_STREQ(params, "TRACK2");

    // A verifier of two lines reads back as four.
    set(TRVS_PriceVerifCfgSet(view, &r, 0, 1, 1, 2, 5, "SPRAWDZ\nCENE", 0));
    char text[256];
    unsigned char count = 0;
    ask(TRVS_PriceVerifCfgGet(view, &r, 0, 0));
    ASSERT_EQ(TRVG_PriceVerifCfgGet(r, &count, nullptr, nullptr, nullptr, text), 0u);
    EXPECT_STREQ(text, "SPRAWDZ\nCENE\n\n");

    set(TRVS_ProtTransMonCfgIns(view, &r, 7, "ZWROT", 0));
    unsigned short number = 0;
    char string[64];
    ask(TRVS_ProtTransMonCfgRead(view, &r, 7, 0));
    ASSERT_EQ(TRVG_ProtTransMonCfgRead(r, &number, string), 0u);
    EXPECT_EQ(number, 7);
    EXPECT_STREQ(string, "ZWROT");
    // Strings are numbered 1 to 16.
    EXPECT_NE(done(r, TRVS_ProtTransMonCfgRead(view, &r, 17, 0)), 0u);
    TRVG_Default(r);

    unsigned long current = 0, most = 0;
    unsigned char full = 9;
    ask(TRVS_SaleSizeGetEx(view, &r, 0));
    ASSERT_EQ(TRVG_SaleSizeGetEx(r, &full, &current, &most), 0u);
    EXPECT_EQ(current, reg.journalSize());
    EXPECT_EQ(full, 0);
}

TEST_F(E2ESettings, HeaderFooterAndDisplaysReadBack) {
    set(TRVS_HeaderSet(view, &r, "1\n0", "MOJ SKLEP\nul. Nowa 5", 0));
    EXPECT_EQ(reg.header(), (std::vector<std::pair<uint8_t, std::string>>{{1, "MOJ SKLEP"}, {0, "ul. Nowa 5"}}));
    char flags[64], lines[512];
    ask(TRVS_HeaderGet(view, &r, 0));
    ASSERT_EQ(TRVG_HeaderGet(r, flags, lines), 0u);
    EXPECT_STREQ(flags, "1\n0");
    EXPECT_STREQ(lines, "MOJ SKLEP\nul. Nowa 5");
    set(TRVS_FooterSet(view, &r, "", "", 0));
    EXPECT_TRUE(reg.footer().empty());
    ask(TRVS_FooterGet(view, &r, 0));
    ASSERT_EQ(TRVG_FooterGet(r, flags, lines), 0u);
    EXPECT_STREQ(lines, "");

    set(TRVS_ExtPrnCfgSet(view, &r, 2, 1, 48, 1, "BAR\nZAMOWIENIE", 0));
    unsigned char printer = 0, fonts = 0, width = 0, cutter = 0;
    ask(TRVS_ExtPrnCfgGet(view, &r, 2, 0));
    ASSERT_EQ(TRVG_ExtPrnCfgGet(r, &printer, &fonts, &width, &cutter, lines), 0u);
    EXPECT_EQ(std::vector<int>({printer, fonts, width, cutter}), std::vector<int>({2, 1, 48, 1}));
    EXPECT_STREQ(lines, "BAR\nZAMOWIENIE\n");

    set(TRVS_DspParamSet(view, &r, 1, 12, 0, 2, 90, 0));
    unsigned char contrast = 0, light = 9, mode = 0;
    unsigned short delay = 0;
    ask(TRVS_DspParamGet(view, &r, 1, 0));
    ASSERT_EQ(TRVG_DspParamGet(r, &contrast, &light, &mode, &delay), 0u);
    EXPECT_EQ(std::vector<int>({contrast, light, mode, delay}), std::vector<int>({12, 0, 2, 90}));

    char t[32], l[64], inv[32], sp[32], dir[32], fmt[32];
    set(TRVS_DspInfoSet(view, &r, 1, "1\n3", "PROMOCJA\nMLEKO", nullptr, "4\n4", "0\n1", "0\n2", 0));
    ask(TRVS_DspInfoGet(view, &r, 1, 0));
    ASSERT_EQ(TRVG_DspInfoGet(r, t, l, inv, sp, dir, fmt), 0u);
    EXPECT_EQ(std::vector<std::string>({t, l, inv, sp, dir, fmt}),
              std::vector<std::string>({"1\n3", "PROMOCJA\nMLEKO", "0\n0", "4\n4", "0\n1", "0\n2"}));

    set(TRVS_DspInfoCfgSet(view, &r, 3, 4, 0));
    unsigned char in = 0, out = 0;
    ask(TRVS_DspInfoCfgGet(view, &r, 0));
    ASSERT_EQ(TRVG_DspInfoCfgGet(r, &in, &out), 0u);
    EXPECT_EQ(in * 10 + out, 34);
}

TEST_F(E2ESettings, PortsHostInterfaceAndModemReadBack) {
    set(TRVS_v2_PortCfgSet(view, &r, 5, 2, "19200,7,E,2,S", "DRUKARKA", 3, 0));
    unsigned char type = 0, subtype = 0;
    char name[64], cfg[32];
    ask(TRVS_PortCfgGet(view, &r, 2, 0));
    ASSERT_EQ(TRVG_v2_PortCfgGet(r, &type, name, cfg, &subtype), 0u);
    EXPECT_EQ(type, 5);
    EXPECT_STREQ(name, "DRUKARKA");
    EXPECT_STREQ(cfg, "19200,7,E,2,X");  // handshake S reads back as X
    EXPECT_EQ(subtype, 3);
    // The older reader takes the same answer without the subtype.
    ask(TRVS_PortCfgGet(view, &r, 2, 0));
    ASSERT_EQ(TRVG_PortCfgGet(r, &type, name, cfg), 0u);
    EXPECT_STREQ(cfg, "19200,7,E,2,X");
    // The register has ports 1 to 4.
    EXPECT_NE(done(r, TRVS_PortCfgSet(view, &r, 1, 5, "9600", "X", 0)), 0u);
    TRVG_Default(r);

    set(TRVS_TerminalCfgSet(view, &r, 2, 1, "57600,8,N,1,H", 3, "2400", 0));
    reg.withState([](trvsim::State& s) {
        ASSERT_EQ(s.settings.terminalPorts.size(), 2u);
        EXPECT_EQ(s.settings.terminalPorts[0].first, 1);
        EXPECT_EQ(s.settings.terminalPorts[0].second.baud, 6);
        EXPECT_EQ(s.settings.terminalPorts[0].second.handshake, 2);
        EXPECT_EQ(s.settings.terminalPorts[1].second.baud, 1);
    });

    set(TRVS_v2_CommCfgSet(view, &r, 2, 1, 0, 1, 1, "172.16.5.20", "255.255.0.0", "172.16.0.1", 4001, 1, 0));
    unsigned char b[5] = {}, dhcp = 0;
    unsigned short port = 0;
    char addr[20], mask[20], gw[20];
    ask(TRVS_CommCfgGetEx(view, &r, 0));
    ASSERT_EQ(TRVG_CommCfgGetEx(r, &b[0], &b[1], &b[2], &b[3], &b[4], addr, mask, gw, &port, &dhcp), 0u);
    EXPECT_EQ(std::vector<std::string>({addr, mask, gw}),
              std::vector<std::string>({"172.16.5.20", "255.255.0.0", "172.16.0.1"}));
    EXPECT_EQ(port, 4001);
    EXPECT_EQ(dhcp, 1);
    // The older setter keeps port and DHCP; a missing address clears all three.
    set(TRVS_CommCfgSet(view, &r, 2, 1, 0, 1, 0, nullptr, "255.255.0.0", "172.16.0.1", 0));
    ask(TRVS_CommCfgGet(view, &r, 0));
    ASSERT_EQ(TRVG_CommCfgGet(r, &b[0], &b[1], &b[2], &b[3], &b[4], addr, mask, gw), 0u);
    EXPECT_STREQ(addr, "0.0.0.0");
    EXPECT_EQ(b[4], 0);
    reg.withState([](trvsim::State& s) { EXPECT_EQ(s.settings.host.port, 4001); });

    set(TRVS_ModemCfgSet(view, &r, 1, "ATZ&F", "0221234567", 0));
    unsigned char modem = 0;
    char init[64], phone[64];
    ask(TRVS_ModemCfgGet(view, &r, 0));
    ASSERT_EQ(TRVG_ModemCfgGet(r, &modem, init, phone), 0u);
    EXPECT_EQ(modem, 1);
    EXPECT_STREQ(init, "ATZ&F");
    EXPECT_STREQ(phone, "0221234567");
}

TEST_F(E2ESettings, CardEventsAreReadWithCardInfo) {
    ASSERT_EQ(TRV_SetEventHandlingMode(view, TARVIK_EVENT_QUEUE), 0u);
    reg.pushCardEvent("9900000012345", 1);
    reg.pushCardEvent("9900000067890", 2);
    char number[64];
    for (const char* expected : {"9900000012345", "9900000067890"}) {
        TARVIK_HANDLE ev = TRV_PopAsyncData(view, 5000);
        ASSERT_NE(ev, nullptr);
        ASSERT_EQ(TRVG_CardInfo(ev, number), 0u);  // and freed
        EXPECT_STREQ(number, expected);
    }
    EXPECT_EQ(TRV_AsyncQueueLength(view), 0u);
}

TEST_F(E2ESettings, TcpCloseAnswersThenTheLibraryReconnects) {
    const auto before = reg.stats();
    set(TRVS_TcpClose(view, &r, 0));
    // The register hangs up after answering, and the library connects again.
    // (A request written before it noticed the close would fail with the
    // time-out status: nobody answers on a closed connection.)
    for (int i = 0; i < 500 && reg.stats().connections < 2; ++i) usleep(10000);
    char date[16];
    ASSERT_EQ(done(r, TRVS_DateGet(view, &r, 0)), 0u);
    EXPECT_EQ(TRVG_DateGet(r, date), 0u);
    const auto after = reg.stats();
    EXPECT_EQ(after.drops, before.drops + 1);
    EXPECT_EQ(after.connections, 2u);  // the first one and the new one
}
