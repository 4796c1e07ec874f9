// The sale journal of the simulated register.
#include <algorithm>

#include "sim_commands.h"

namespace trvsim {

void cmd_salerec::addCommands(Handlers& h) {
    h.add(cmd::SaleRecGet, [](State& s, Args& in, Values& v) {
        const uint8_t how = in.byte();  // 0 next, 1 from the first record, 2 the last one again
        size_t idx;
        if (how == 1) idx = 0;
        else if (how == 2) idx = s.journalLast;
        else idx = s.journalNext;
        if (idx >= s.journal.size()) throw ExecError{err::kNoRecord};
        s.journalLast = idx;
        s.journalNext = idx + 1;
        const Record& r = s.journal[idx];
        const size_t after = s.journal.size() - idx - 1;
        v.byte(s.journal.size() >= State::kJournalCapacity ? 1 : 0)
            .word(static_cast<uint16_t>(std::min<size_t>(after, 0xFFFF)))
            .word(r.type);
        v.items.insert(v.items.end(), r.body.begin(), r.body.end());
    });
    h.add(cmd::SaleSizeGet, [](State& s, Args&, Values& v) {
        v.byte(static_cast<uint8_t>(std::min<size_t>(100, s.journal.size() * 100 / State::kJournalCapacity)));
    });
    h.add(cmd::SaleRecDelAll, [](State& s, Args&, Values&) {
        s.journalRemoved += s.journal.size();
        s.journal.clear();
        s.journalNext = s.journalLast = 0;
    });
}

}  // namespace trvsim
