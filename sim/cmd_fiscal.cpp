// Fiscal memory of the simulated register: find records by type, read one,
// and the status block.
#include <algorithm>

#include "sim_commands.h"

namespace trvsim {

namespace {

// Record numbers are 1-based; from is a record number, 0 or size+1 as sentinels.
size_t findFiscal(const State& s, uint16_t type, size_t from, int step) {
    for (long n = static_cast<long>(from); n >= 1 && n <= static_cast<long>(s.fiscalMemory.size()); n += step)
        if (type == 0 || s.fiscalMemory[static_cast<size_t>(n) - 1].type == type) return static_cast<size_t>(n);
    throw ExecError{err::kNotFound};
}

void found(const State& s, size_t n, Values& v) {
    v.word(s.fiscalMemory[n - 1].type).word(static_cast<uint16_t>(n));
}

}  // namespace

void cmd_fiscal::addCommands(Handlers& h) {
    h.add(cmd::FiscMemFirst, [](State& s, Args& in, Values& v) { found(s, findFiscal(s, in.word(), 1, 1), v); });
    h.add(cmd::FiscMemLast, [](State& s, Args& in, Values& v) {
        found(s, findFiscal(s, in.word(), s.fiscalMemory.size(), -1), v);
    });
    h.add(cmd::FiscMemNext, [](State& s, Args& in, Values& v) {
        const uint16_t type = in.word();
        const uint16_t from = in.word();
        found(s, findFiscal(s, type, size_t{from} + 1, 1), v);
    });
    h.add(cmd::FiscMemPrev, [](State& s, Args& in, Values& v) {
        const uint16_t type = in.word();
        const uint16_t from = in.word();
        if (from <= 1) throw ExecError{err::kNotFound};
        found(s, findFiscal(s, type, std::min<size_t>(from - 1u, s.fiscalMemory.size()), -1), v);
    });
    h.add(cmd::FiscMemRead, [](State& s, Args& in, Values& v) {
        const uint16_t n = in.word();
        if (n == 0 || n > s.fiscalMemory.size()) throw ExecError{err::kNotFound};
        const Record& r = s.fiscalMemory[n - 1];
        v.word(r.type);
        v.items.insert(v.items.end(), r.body.begin(), r.body.end());
    });
    h.add(cmd::FiscMemStatus, [](State& s, Args&, Values& v) {
        v.str(s.uniqueNumber).str(s.nip);
        for (auto [type, limit] : {std::pair{fiscal::kDaily, fiscal::kDailyLimit},
                                   std::pair{fiscal::kVatChange, fiscal::kVatChangeLimit},
                                   std::pair{fiscal::kRamClear, fiscal::kRamClearLimit}})
            v.word(static_cast<uint16_t>(s.fiscalCount(type))).word(limit);
    });
}

}  // namespace trvsim
