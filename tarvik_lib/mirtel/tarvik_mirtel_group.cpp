// The irregular reader of the article groups; the regular commands are
// entries of tarvik_mirtel_group.cmds.
#include "mirtel_hand.h"
#include "mirtel_ids.h"
#include "tarvik_mirtel_helper.h"

namespace mirtel {

namespace cmd = trv::cmd;

namespace {

constexpr unsigned kDays = 7, kMonths = 12;

}  // namespace

// The register's answer grows with its firmware: record number and total
// only, then the totals by day of the week, then those by month. The value
// count tells which lists are there.
TARVIK_STATUS hand::TRVG_GroupStatRead(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu, char* ogolnie,
                                       char* dni_tygodnia, char* miesiace) {
    Answer a(phRequest, cmd::GroupStatRead);
    const uint32_t total = a.ok() ? a.count() : 0;
    a.word(numer_rekordu).numeric(ogolnie);
    if (total > 2) a.joined(dni_tygodnia, Wire::Numeric, kDays);
    if (total > 2 + kDays) a.joined(miesiace, Wire::Numeric, kMonths);
    return a.finish();
}

}  // namespace mirtel
