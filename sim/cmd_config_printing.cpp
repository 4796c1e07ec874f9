// Printing settings of the simulated register: printout switches, external
// printers, the receipt header and footer lines, the displays and their
// rolling contents.
#include "sim_commands.h"

namespace trvsim {

namespace {

// Pairs of flag Byte and text String.
void setLines(Args& in, size_t max, std::vector<std::pair<uint8_t, std::string>>& out) {
    std::vector<std::pair<uint8_t, std::string>> lines;
    while (in.more()) {
        uint8_t flag = in.byte();
        lines.emplace_back(flag, in.str());
    }
    if (lines.size() > max) throw ExecError{err::kBadValue};
    out = std::move(lines);
}

void getLines(const std::vector<std::pair<uint8_t, std::string>>& lines, Values& v) {
    v.byte(static_cast<uint8_t>(lines.size()));
    for (const auto& [f, t] : lines) v.byte(f).str(t);
}

}  // namespace

void cmd_config_printing::addCommands(Handlers& h) {
    h.add(cmd::HeaderGet, [](State& s, Args&, Values& v) { getLines(s.header, v); });
    h.add(cmd::HeaderSet, [](State& s, Args& in, Values&) { setLines(in, 10, s.header); });
    h.add(cmd::FooterGet, [](State& s, Args&, Values& v) { getLines(s.footer, v); });
    h.add(cmd::FooterSet, [](State& s, Args& in, Values&) { setLines(in, 3, s.footer); });

    h.add(cmd::PrintCfgGet, [](State& s, Args&, Values& v) {
        const PrintSettings& p = s.settings.print;
        v.byte(p.nonFiscal).byte(p.pluChanges).byte(p.paperSensitivity).byte(p.cutter);
    });
    h.add(cmd::PrintCfgSet, [](State& s, Args& in, Values&) {
        PrintSettings p;
        p.nonFiscal = in.byte();
        p.pluChanges = in.byte();
        p.paperSensitivity = in.byte();
        p.cutter = in.byte();
        s.settings.print = p;
    });

    // External printers by number; one never set answers its defaults.
    h.add(cmd::ExtPrnCfgGet, [](State& s, Args& in, Values& v) {
        const uint8_t n = in.byte();
        const ExternalPrinter& p = s.settings.externalPrinters[n];
        v.byte(n).byte(p.fonts).byte(p.width).byte(p.cutter);
        for (const std::string& line : p.header) v.str(line);
    });
    h.add(cmd::ExtPrnCfgSet, [](State& s, Args& in, Values&) {
        const uint8_t n = in.byte();
        ExternalPrinter p;
        p.fonts = in.byte();
        p.width = in.byte();
        p.cutter = in.byte();
        for (std::string& line : p.header) line = in.str();
        s.settings.externalPrinters[n] = p;
    });

    // Displays by number (0 the customer's, 1 the operator's; others are kept too).
    h.add(cmd::DspParamGet, [](State& s, Args& in, Values& v) {
        const Display& d = s.settings.displays[in.byte()];
        v.byte(d.contrast).byte(d.backlight).byte(d.backlightMode).word(d.delay);
    });
    h.add(cmd::DspParamSet, [](State& s, Args& in, Values&) {
        const uint8_t n = in.byte();
        Display d;
        d.contrast = in.byte();
        d.backlight = in.byte();
        d.backlightMode = in.byte();
        d.delay = in.word();
        s.settings.displays[n] = d;
    });
    h.add(cmd::DspInfoCfgGet, [](State& s, Args&, Values& v) { v.byte(s.settings.infoLoggedIn).byte(s.settings.infoLoggedOut); });
    h.add(cmd::DspInfoCfgSet, [](State& s, Args& in, Values&) {
        const uint8_t loggedIn = in.byte();
        s.settings.infoLoggedOut = in.byte();
        s.settings.infoLoggedIn = loggedIn;
    });
    h.add(cmd::DspInfoGet, [](State& s, Args& in, Values& v) {
        const std::vector<DisplayEntry>& entries = s.settings.displayContents[in.byte()];
        v.byte(static_cast<uint8_t>(entries.size()));
        for (const DisplayEntry& e : entries)
            v.byte(e.type).str(e.text).byte(e.inversion).byte(e.speed).byte(e.direction).byte(e.timeFormat);
    });
    h.add(cmd::DspInfoSet, [](State& s, Args& in, Values&) {
        const uint8_t n = in.byte();
        std::vector<DisplayEntry> entries;
        while (in.more()) {
            DisplayEntry e;
            e.type = in.byte();
            e.text = in.str();
            e.inversion = in.byte();
            e.speed = in.byte();
            e.direction = in.byte();
            e.timeFormat = in.byte();
            entries.push_back(std::move(e));
        }
        if (entries.size() > Settings::kDisplayEntries) throw ExecError{err::kBadValue};
        s.settings.displayContents[n] = std::move(entries);
    });
}

}  // namespace trvsim
