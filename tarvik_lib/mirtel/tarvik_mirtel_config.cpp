// The irregular commands of the configuration family: database status,
// price verifier text, header, footer and display lists, host interface
// addresses and serial ports. The regular ones are entries of
// tarvik_mirtel_config.cmds.
#include "mirtel_hand.h"
#include "mirtel_ids.h"
#include "tarvik_mirtel_helper.h"

namespace mirtel {

namespace cmd = trv::cmd;

namespace {

// Database status: after the register type and totalizer state, one
// (size, programmed count) pair of Words per table; each column becomes one
// joined text.
template <class Max>
TARVIK_STATUS readDBStatus(TARVIK_HANDLE phRequest, TARVIK_CMD cmd, int pairs, unsigned char* typ_kasy,
                           unsigned char* totalizery, char* rozmiary, char* zaprogramowane) {
    Answer a(phRequest, cmd);
    a.byte(typ_kasy).byte(totalizery);
    std::vector<std::string> sizes, counts;
    for (int i = 0; i < pairs && a.ok(); ++i) {
        unsigned short size, count;
        if (a.pop(size) && a.pop(count)) {
            sizes.push_back(std::to_string(size));
            counts.push_back(std::to_string(count));
        }
    }
    return a.text(rozmiary, join(sizes), Max::rozmiary)
        .text(zaprogramowane, join(counts), Max::zaprogramowane)
        .finish();
}

// Header (19) and footer (31) lines: a flag and a text per line, from two
// lists of as many lines.
TARVIK_STATUS sendLines(TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, TARVIK_CMD cmd, size_t most,
                        const char* flags, const char* texts, unsigned char tryb) {
    Command c(hDevice, phRequest, cmd, tryb);
    const TARVIK_STATUS flagsCode = argCode(3), textsCode = argCode(4);
    if (!flags) return c.fail(flagsCode).post();
    if (!texts) return c.fail(textsCode).post();
    // Two empty texts clear the lines.
    const auto f = splitLines(flags), t = splitLines(texts);
    if (f.size() != t.size() || f.size() > most) return c.fail(flagsCode).post();
    return c.rows({{Wire::Byte, &f, flagsCode}, {Wire::String, &t, textsCode}}).post();
}

// Both outputs are required.
template <class Max>
TARVIK_STATUS readLines(TARVIK_HANDLE phRequest, TARVIK_CMD cmd, char* flagi_linii, char* linie) {
    Answer a(phRequest, cmd);
    return a.rows({{Wire::Byte, flagi_linii, Max::flagi_linii, kShortText, argCode(2)},
                   {Wire::String, linie, Max::linie, kLongText, argCode(3)}})
        .finish();
}

// Host interface: five Bytes, three addresses, and with the newer form the
// port and the DHCP switch.
TARVIK_STATUS sendCommCfg(TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, unsigned char typ_interfejsu,
                          unsigned char id_kanalu, unsigned char typ_szyfru, unsigned char charset,
                          unsigned char tcpip, const char* ipv4_address, const char* ipv4_netmask,
                          const char* ipv4_gateway, const unsigned short* port, const unsigned char* dhcp,
                          unsigned char tryb) {
    Command c(hDevice, phRequest, cmd::CommCfgSet, tryb);
    c.byte(typ_interfejsu).byte(id_kanalu).byte(typ_szyfru).byte(charset).byte(tcpip);
    c.ipv4Triple(ipv4_address, ipv4_netmask, ipv4_gateway);
    if (port && dhcp) c.word(*port).byte(*dhcp);
    return c.post();
}

// Older registers send neither addresses nor port; the value count tells.
TARVIK_STATUS readCommCfg(TARVIK_HANDLE phRequest, TARVIK_CMD cmd, unsigned char* typ, unsigned char* id_kanalu,
                          unsigned char* szyfr, unsigned char* charset, unsigned char* tcpip, char* ipv4_address,
                          char* ipv4_netmask, char* ipv4_gateway, unsigned short* port, unsigned char* dhcp,
                          bool extended) {
    Answer a(phRequest, cmd);
    const uint32_t total = a.ok() ? a.count() : 0;
    a.byte(typ).byte(id_kanalu).byte(szyfr).byte(charset).byte(tcpip);
    if (total >= 6)
        a.ipv4Triple(ipv4_address, ipv4_netmask, ipv4_gateway);
    else
        a.text(ipv4_address, "", kIpv4Max).text(ipv4_gateway, "", kIpv4Max).text(ipv4_netmask, "", kIpv4Max);
    if (extended && total > 8) {
        a.word(port);
        if (total > 9) a.byte(dhcp);  // else dhcp stays as it was
    } else if (extended && a.ok()) {
        if (port) *port = 0;
        if (dhcp) *dhcp = 0;
    }
    return a.finish();
}

}  // namespace

TARVIK_STATUS hand::TRVG_DBStatusGet(const TARVIK_HANDLE phRequest, unsigned char* typ_kasy, unsigned char* totalizery,
                                     char* rozmiary, char* zaprogramowane) {
    return readDBStatus<maxima::TRVG_DBStatusGet>(phRequest, cmd::DBStatusGet, 10, typ_kasy, totalizery, rozmiary, zaprogramowane);
}

TARVIK_STATUS hand::TRVG_DBStatusGetEx(const TARVIK_HANDLE phRequest, unsigned char* typ_kasy,
                                       unsigned char* totalizery, char* rozmiary, char* zaprogramowane) {
    return readDBStatus<maxima::TRVG_DBStatusGetEx>(phRequest, cmd::DBStatusGetEx, 13, typ_kasy, totalizery, rozmiary,
                                                    zaprogramowane);
}

// ---- sale, store and accessory settings

// The verifier shows 2 lines for typ 0 and 4 for any other; the text is
// padded with empty lines to exactly that many. An empty text is no list
// (refused like a null one); a single line feed is one empty line.
TARVIK_STATUS hand::TRVG_XEL_PriceVerifCfgSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                              const unsigned char typ, const unsigned char ilosc,
                                              const unsigned char miganie, const unsigned char opoznienie,
                                              const unsigned char czas, const char* tekst, const unsigned char tryb) {
    Command c(hDevice, phRequest, cmd::XEL_PriceVerifCfgSet, tryb);
    c.byte(typ).byte(ilosc).byte(miganie).byte(opoznienie).byte(czas);
    const size_t rows = typ == 0 ? 2 : 4;
    if (!isList(tekst)) return c.fail(argCode(8)).post();
    std::vector<std::string> lines = splitLines(tekst);
    if (lines.size() > rows) return c.fail(argCode(8)).post();
    lines.resize(rows);
    // The register's own library reports a line it could not push with the
    // code of czas, one below that of the text; callers know it by that code.
    return c.withCode(argCode(7)).strings(lines).post();
}

// ---- printing, header, footer and display settings

TARVIK_STATUS hand::TRVS_ExtPrnCfgSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                      const unsigned char numer_drukarki, const unsigned char czcionki,
                                      const unsigned char szerokosc, const unsigned char obcinacz,
                                      const char* linie_naglowka, const unsigned char tryb) {
    Command c(hDevice, phRequest, cmd::ExtPrnCfgSet, tryb);
    c.byte(numer_drukarki).byte(czcionki).byte(szerokosc).byte(obcinacz);
    if (!isList(linie_naglowka)) return c.fail(argCode(7)).post();  // empty: no list
    std::vector<std::string> lines = splitLines(linie_naglowka);
    if (lines.size() > 3) return c.fail(argCode(7)).post();
    lines.resize(3);  // always three header lines on the wire
    return c.strings(lines).post();
}

TARVIK_STATUS hand::TRVG_HeaderGet(const TARVIK_HANDLE phRequest, char* flagi_linii, char* linie) {
    return readLines<maxima::TRVG_HeaderGet>(phRequest, cmd::HeaderGet, flagi_linii, linie);
}

TARVIK_STATUS hand::TRVS_HeaderSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, const char* line_param,
                                   const char* lines, const unsigned char tryb) {
    return sendLines(hDevice, phRequest, cmd::HeaderSet, 10, line_param, lines, tryb);
}

TARVIK_STATUS hand::TRVG_FooterGet(const TARVIK_HANDLE phRequest, char* flagi_linii, char* linie) {
    return readLines<maxima::TRVG_FooterGet>(phRequest, cmd::FooterGet, flagi_linii, linie);
}

TARVIK_STATUS hand::TRVS_FooterSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, const char* flagi,
                                   const char* linie, const unsigned char tryb) {
    return sendLines(hDevice, phRequest, cmd::FooterSet, 3, flagi, linie, tryb);
}

TARVIK_STATUS hand::TRVG_DspInfoGet(const TARVIK_HANDLE phRequest, char* typy_zawartosci, char* linie,
                                    char* inwersje, char* predkosci, char* kierunki, char* formaty_czasu) {
    using Max = maxima::TRVG_DspInfoGet;
    Answer a(phRequest, cmd::DspInfoGet);
    return a.rows({{Wire::Byte, typy_zawartosci, Max::typy_zawartosci}, {Wire::String, linie, Max::linie},
                   {Wire::Byte, inwersje, Max::inwersje}, {Wire::Byte, predkosci, Max::predkosci},
                   {Wire::Byte, kierunki, Max::kierunki}, {Wire::Byte, formaty_czasu, Max::formaty_czasu}})
        .finish();
}

// Six values per display entry, from six parallel lists. The codes of the
// values are one below those of their lists (the type's is numer's), as the
// register's own library has them.
TARVIK_STATUS hand::TRVS_DspInfoSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, const unsigned char numer,
                                    const char* typy_zawartosci, const char* linie, const char* inwersje,
                                    const char* predkosci, const char* kierunki, const char* formaty_czasu,
                                    const unsigned char tryb) {
    Command c(hDevice, phRequest, cmd::DspInfoSet, tryb);
    c.byte(numer);
    // The first missing list in this order reports; an empty text is no
    // list and counts as missing. inwersje may be missing: zeros are sent.
    if (!isList(typy_zawartosci)) c.fail(argCode(4));
    if (!isList(linie)) c.fail(argCode(5));
    if (!isList(predkosci)) c.fail(argCode(7));
    if (!isList(kierunki)) c.fail(argCode(8));
    if (!isList(formaty_czasu)) c.fail(argCode(9));
    if (!c.ok()) return c.post();

    const auto types = splitLines(typy_zawartosci), texts = splitLines(linie), speeds = splitLines(predkosci),
               directions = splitLines(kierunki), formats = splitLines(formaty_czasu);
    const size_t n = texts.size();
    if (types.size() != n || speeds.size() != n || directions.size() != n || formats.size() != n)
        return c.fail(argCode(3)).post();
    std::vector<std::string> inversions = splitLines(inwersje);
    if (inversions.size() != n) inversions.assign(n, "0");
    return c
        .rows({{Wire::Byte, &types, argCode(3)},
               {Wire::String, &texts, argCode(4)},
               {Wire::Byte, &inversions, argCode(5)},
               {Wire::Byte, &speeds, argCode(6)},
               {Wire::Byte, &directions, argCode(7)},
               {Wire::Byte, &formats, argCode(8)}})
        .post();
}

// ---- communication, port and modem settings

TARVIK_STATUS hand::TRVG_CommCfgGet(const TARVIK_HANDLE phRequest, unsigned char* typ, unsigned char* id_kanalu,
                                    unsigned char* szyfr, unsigned char* charset, unsigned char* tcpip,
                                    char* ipv4_address, char* ipv4_netmask, char* ipv4_gateway) {
    return readCommCfg(phRequest, cmd::CommCfgGet, typ, id_kanalu, szyfr, charset, tcpip, ipv4_address, ipv4_netmask,
                       ipv4_gateway, nullptr, nullptr, false);
}

TARVIK_STATUS hand::TRVG_CommCfgGetEx(const TARVIK_HANDLE phRequest, unsigned char* typ, unsigned char* id_kanalu,
                                      unsigned char* szyfr, unsigned char* charset, unsigned char* tcpip,
                                      char* ipv4_address, char* ipv4_netmask, char* ipv4_gateway,
                                      unsigned short* port, unsigned char* dhcp) {
    return readCommCfg(phRequest, cmd::CommCfgGetEx, typ, id_kanalu, szyfr, charset, tcpip, ipv4_address, ipv4_netmask,
                       ipv4_gateway, port, dhcp, true);
}

TARVIK_STATUS hand::TRVS_CommCfgSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                    const unsigned char typ_interfejsu, const unsigned char id_kanalu,
                                    const unsigned char typ_szyfru, const unsigned char charset,
                                    const unsigned char tcpip, const char* ipv4_address, const char* ipv4_netmask,
                                    const char* ipv4_gateway, const unsigned char tryb) {
    return sendCommCfg(hDevice, phRequest, typ_interfejsu, id_kanalu, typ_szyfru, charset, tcpip, ipv4_address,
                       ipv4_netmask, ipv4_gateway, nullptr, nullptr, tryb);
}

TARVIK_STATUS hand::TRVS_v2_CommCfgSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                       const unsigned char typ_interfejsu, const unsigned char id_kanalu,
                                       const unsigned char typ_szyfru, const unsigned char charset,
                                       const unsigned char tcpip, const char* ipv4_address, const char* ipv4_netmask,
                                       const char* ipv4_gateway, const unsigned short port, const unsigned char dhcp,
                                       const unsigned char tryb) {
    return sendCommCfg(hDevice, phRequest, typ_interfejsu, id_kanalu, typ_szyfru, charset, tcpip, ipv4_address,
                       ipv4_netmask, ipv4_gateway, &port, &dhcp, tryb);
}

// Registers that send no subtype are read as subtype 0; a value of another
// type in its place is bad data like any other.
TARVIK_STATUS hand::TRVG_XEL_PortCfgGet(const TARVIK_HANDLE phRequest, unsigned char* typ_urzadzenia, char* nazwa,
                                        char* konfiguracja, unsigned char* podtyp) {
    Answer a(phRequest, cmd::PortCfgGet);
    const uint32_t total = a.ok() ? a.count() : 0;
    a.byte(typ_urzadzenia).string(nazwa).portConfig(konfiguracja);
    if (a.ok() && total > 7)
        a.byte(podtyp);
    else if (a.ok() && podtyp)
        *podtyp = 0;
    return a.finish();
}

// wariant is not sent: 1 configures port A, 2 ports A and B, anything else
// sends an empty request.
TARVIK_STATUS hand::TRVS_TerminalCfgSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                        const unsigned char wariant, const unsigned char portA_numer,
                                        const char* portcfgA, const unsigned char portB_numer, const char* portcfgB,
                                        const unsigned char tryb) {
    Command c(hDevice, phRequest, cmd::TerminalCfgSet, tryb);
    c.skipArgument();
    if (wariant == 1 || wariant == 2) c.byte(portA_numer).portConfig(portcfgA);
    if (wariant == 2) c.byte(portB_numer).portConfig(portcfgB);
    return c.post();
}

}  // namespace mirtel
