// The sales the simulated register holds in its journal, gathered into
// receipts, and the statistics counted from them: group totals, payment form
// turnover and sales by hour. The register keeps no running totals of its
// own, so what an application reads as statistics always agrees with the
// journal it reads record by record (451).
//
// A receipt is closed by a finished (type 2) or cancelled (type 3) record;
// the article and set lines (types 4 and 5) and payments (types 7 and 8)
// before it, back to the previous closing record, are its own. A record whose
// values do not have the layout of its type is passed over.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "sim_state.h"

namespace trvsim {

struct SaleLine {
    uint16_t plu = 0;
    int64_t value = 0;
};

struct SalePayment {
    uint16_t form = 0;
    int64_t amount = 0;  // in the register's own currency
};

struct Receipt {
    uint64_t closedAt = 0;  // sale record number of the closing record
    bool cancelled = false;
    DateTime when;
    int64_t value = 0;      // the receipt's value before discounts
    std::vector<SaleLine> lines;
    std::vector<SalePayment> payments;
};

std::vector<Receipt> receipts(const State& s);

// The finished receipts' lines of the articles (sets included) of a group,
// closed since the group's statistics were last cleared. A line whose
// article is no longer in the database counts for no group.
struct GroupTotals {
    int64_t total = 0;
    std::array<int64_t, 7> days{};     // Monday first
    std::array<int64_t, 12> months{};  // January first
};
GroupTotals groupTotals(const State& s, uint16_t group);

// The payments of finished receipts in one payment form since its last clearing.
int64_t payFormTurnover(const State& s, uint16_t form);

// Value, number of lines and number of receipts per hour of the day, over
// the finished (or the cancelled) receipts of the whole journal.
struct HourTotals {
    int64_t value = 0;
    uint32_t lines = 0, receipts = 0;
};
std::array<HourTotals, 24> hourTotals(const State& s, bool cancelled);

}  // namespace trvsim
