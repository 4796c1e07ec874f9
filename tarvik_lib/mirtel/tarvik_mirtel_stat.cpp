// The hourly statistics reader; its sending function is an entry of
// tarvik_mirtel_stat.cmds.
#include "mirtel_hand.h"
#include "mirtel_ids.h"
#include "tarvik_mirtel_helper.h"

namespace mirtel {

namespace cmd = trv::cmd;

namespace {

constexpr int kHours = 24;

}  // namespace

// One (value, positions, receipts) triplet per hour; each column becomes one
// text of 24 lines. The texts are copied only once the whole answer was read.
TARVIK_STATUS hand::TRVG_HoursStatRead(const TARVIK_HANDLE phRequest, char* wartosci, char* pozycje,
                                       char* ilosci_paragonow) {
    Answer a(phRequest, cmd::HoursStatRead);
    std::vector<std::string> values, positions, receipts;
    for (int hour = 0; hour < kHours && a.ok(); ++hour) {
        std::string value;
        uint32_t items, count;
        if (a.pop(TextKind::Numeric, value) && a.pop(items) && a.pop(count)) {
            values.push_back(std::move(value));
            positions.push_back(std::to_string(items));
            receipts.push_back(std::to_string(count));
        }
    }
    using Max = maxima::TRVG_HoursStatRead;
    return a.text(pozycje, join(positions), Max::pozycje)
        .text(ilosci_paragonow, join(receipts), Max::ilosci_paragonow)
        .text(wartosci, join(values), Max::wartosci)
        .finish();
}

}  // namespace mirtel
