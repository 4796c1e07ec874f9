// Communication settings of the simulated register: the host interface, the
// serial ports, the terminal ports and the modem. Command 6 closes the
// connection it came on once it is answered (Session::execute does that).
#include "sim_commands.h"

namespace trvsim {

namespace {

LineCodes readLine(Args& in) {  // baud, handshake, data bits, parity, stop bits
    LineCodes c;
    c.baud = in.byte();
    c.handshake = in.byte();
    c.dataBits = in.byte();
    c.parity = in.byte();
    c.stopBits = in.byte();
    if (c.baud > 7 || c.handshake > 3 || c.dataBits > 1 || c.parity > 2 || c.stopBits > 1)
        throw ExecError{err::kBadValue};
    return c;
}

uint8_t portNumber(uint8_t n) {
    if (n < 1 || n > Settings::kPorts) throw ExecError{err::kBadValue};
    return n;
}

void getHost(const HostInterface& c, Values& v) {
    v.byte(c.type).byte(c.channel).byte(c.cipher).byte(c.charset).byte(c.tcpip);
    v.dword(c.address).dword(c.netmask).dword(c.gateway);
}

}  // namespace

void cmd_config_comm::addCommands(Handlers& h) {
    h.add(cmd::CommCfgGet, [](State& s, Args&, Values& v) { getHost(s.settings.host, v); });
    h.add(cmd::CommCfgGetEx, [](State& s, Args&, Values& v) {
        getHost(s.settings.host, v);
        v.word(s.settings.host.port).byte(s.settings.host.dhcp);
    });
    h.add(cmd::CommCfgSet, [](State& s, Args& in, Values&) {  // port and DHCP only from the newer form
        HostInterface c = s.settings.host;
        c.type = in.byte();
        c.channel = in.byte();
        c.cipher = in.byte();
        c.charset = in.byte();
        c.tcpip = in.byte();
        c.address = in.dword();
        c.netmask = in.dword();
        c.gateway = in.dword();
        if (in.more()) {
            c.port = in.word();
            c.dhcp = in.byte();
        }
        s.settings.host = c;
    });

    h.add(cmd::PortCfgGet, [](State& s, Args& in, Values& v) {
        const SerialPort& p = s.settings.ports[portNumber(in.byte())];
        v.byte(p.deviceType).str(p.name);
        v.byte(p.line.baud).byte(p.line.handshake).byte(p.line.dataBits).byte(p.line.parity).byte(p.line.stopBits);
        v.byte(p.subtype);
    });
    h.add(cmd::PortCfgSet, [](State& s, Args& in, Values&) {  // the subtype only from the newer forms
        SerialPort p;
        p.deviceType = in.byte();
        const uint8_t n = portNumber(in.byte());
        p.line = readLine(in);
        p.name = in.str();
        if (in.more()) p.subtype = in.byte();
        s.settings.ports[n] = p;
    });
    h.add(cmd::TerminalCfgSet, [](State& s, Args& in, Values&) {
        std::vector<std::pair<uint8_t, LineCodes>> ports;
        while (in.more()) {
            const uint8_t n = portNumber(in.byte());
            ports.emplace_back(n, readLine(in));
        }
        s.settings.terminalPorts = std::move(ports);
    });

    h.add(cmd::ModemCfgGet, [](State& s, Args&, Values& v) {
        v.byte(s.settings.modem.use).str(s.settings.modem.init).str(s.settings.modem.phone);
    });
    h.add(cmd::ModemCfgSet, [](State& s, Args& in, Values&) {
        Modem m;
        m.use = in.byte();
        m.init = in.str();
        m.phone = in.str();
        s.settings.modem = m;
    });

    h.add(cmd::TcpClose, [](State&, Args&, Values&) {});
}

}  // namespace trvsim
