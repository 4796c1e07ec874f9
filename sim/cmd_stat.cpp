// Statistics of the simulated register, all counted from the sales in its
// journal (sim_sales.h): group totals, payment form turnover and sales by
// hour. Clearing a group's or payment form's statistics moves the point in
// the journal from which they count.
#include "sim_commands.h"
#include "sim_sales.h"

namespace trvsim {

namespace {

constexpr uint8_t kFinishedReceipts = 0, kCancelledReceipts = 1;

Group& groupOf(State& s, uint16_t n) {
    auto it = s.groups.find(n);
    if (it == s.groups.end()) throw ExecError{err::kNotFound};
    return it->second;
}

PayForm& payFormOf(State& s, uint16_t n) {
    auto it = s.payForms.find(n);
    if (it == s.payForms.end()) throw ExecError{err::kNotFound};
    return it->second;
}

}  // namespace

void cmd_stat::addCommands(Handlers& h) {
    h.add(cmd::GroupStatRead, [](State& s, Args& in, Values& v) {
        const uint16_t n = in.word();
        const uint8_t clear = in.byte();
        Group& g = groupOf(s, n);
        const GroupTotals t = groupTotals(s, n);
        v.word(n).num(t.total);
        for (int64_t d : t.days) v.num(d);
        for (int64_t m : t.months) v.num(m);
        if (clear) g.statsFrom = s.saleRecordEnd();
    });
    h.add(cmd::GroupStatClearAll, [](State& s, Args&, Values&) {
        for (auto& [n, g] : s.groups) g.statsFrom = s.saleRecordEnd();
    });
    h.add(cmd::PayformStatRead, [](State& s, Args& in, Values& v) {
        const uint16_t n = in.word();
        const uint8_t clear = in.byte();
        PayForm& f = payFormOf(s, n);
        v.word(n).num(payFormTurnover(s, n));
        if (clear) f.statsFrom = s.saleRecordEnd();
    });
    h.add(cmd::PayformStatClearAll, [](State& s, Args&, Values&) {
        for (auto& [n, f] : s.payForms) f.statsFrom = s.saleRecordEnd();
    });
    h.add(cmd::HoursStatRead, [](State& s, Args& in, Values& v) {
        const uint8_t typ = in.byte();
        if (typ != kFinishedReceipts && typ != kCancelledReceipts) throw ExecError{err::kBadValue};
        for (const HourTotals& t : hourTotals(s, typ == kCancelledReceipts))
            v.num(t.value).dword(t.lines).dword(t.receipts);
    });
}

}  // namespace trvsim
