// Receipt header and footer lines of the simulated register.
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

void addPrintingCommands(Handlers& h) {
    h.add(18, [](State& s, Args&, Values& v) { getLines(s.header, v); });
    h.add(19, [](State& s, Args& in, Values&) { setLines(in, 10, s.header); });
    h.add(30, [](State& s, Args&, Values& v) { getLines(s.footer, v); });
    h.add(31, [](State& s, Args& in, Values&) { setLines(in, 3, s.footer); });
}

}  // namespace trvsim
