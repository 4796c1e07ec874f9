// Context initialisation of the simulated register: one command per kind of
// database record, each with two flag Bytes that it keeps; the inactive
// articles' context also keeps its date.
#include "sim_commands.h"

namespace trvsim {

void cmd_cntx::addCommands(Handlers& h) {
    for (uint16_t cmd = 2000; cmd <= 2016; ++cmd) {
        if (cmd == 2009) continue;  // no such kind
        h.add(cmd, [cmd](State& s, Args& in, Values&) {
            Context c;
            c.flag1 = in.byte();
            c.flag2 = in.byte();
            if (cmd == 2011) {
                DateTime d;
                d.day = in.byte();
                d.month = in.byte();
                d.year = in.word();
                if (!validDateTime(d)) throw ExecError{err::kBadValue};
                c.date = d;
            }
            s.contexts[cmd] = c;
        });
    }
}

}  // namespace trvsim
