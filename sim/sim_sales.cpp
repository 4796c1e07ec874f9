#include "sim_sales.h"

namespace trvsim {

namespace {

// Monday 0 ... Sunday 6; 1970-01-01 was a Thursday.
int weekday(const DateTime& t) {
    const int64_t days = toEpoch(DateTime{t.year, t.month, t.day, 0, 0, 0}) / 86400;
    return static_cast<int>(((days + 3) % 7 + 7) % 7);
}

// The parts of one journal record a receipt needs; ExecError when the values
// do not have the type's layout.
void take(const Record& r, uint64_t number, Receipt& open, std::vector<Receipt>& out) {
    Args a(r.body);
    switch (r.type) {
    case journal::kArticle:
    case journal::kSetLine: {
        a.byte();  // VAT rate
        SaleLine l;
        l.plu = a.word();
        a.str(), a.str(), a.num();  // barcode, name, quantity
        l.value = a.num();
        open.lines.push_back(l);
        break;
    }
    case journal::kPayment: {
        SalePayment p;
        p.form = a.word();
        a.str(), a.byte();  // name, type
        p.amount = a.num();
        open.payments.push_back(p);
        break;
    }
    case journal::kCurrency: {
        SalePayment p;
        p.form = a.word();
        a.str();
        p.amount = a.num();  // the value in the register's currency comes first
        open.payments.push_back(p);
        break;
    }
    case journal::kFinished:
    case journal::kCancelled: {
        const bool cancelled = r.type == journal::kCancelled;
        if (!cancelled) a.dword();  // receipt number
        const DateTime when = a.dateHM();
        a.str(), a.str(), a.word();  // register, cashier, cashier number
        if (cancelled) a.word();     // who authorised it
        const int64_t value = a.num();
        if (!validDateTime(when)) throw ExecError{err::kBadValue};
        open.cancelled = cancelled;
        open.when = when;
        open.value = value;
        open.closedAt = number;
        out.push_back(std::move(open));
        open = Receipt{};
        break;
    }
    default:
        break;
    }
}

}  // namespace

std::vector<Receipt> receipts(const State& s) {
    std::vector<Receipt> out;
    Receipt open;
    for (size_t i = 0; i < s.journal.size(); ++i) {
        try {
            take(s.journal[i], s.journalRemoved + i, open, out);
        } catch (const ExecError&) {
            // Not a record of its type's layout: not a sale.
        }
    }
    return out;
}

GroupTotals groupTotals(const State& s, uint16_t group) {
    GroupTotals t;
    auto g = s.groups.find(group);
    if (g == s.groups.end()) return t;
    for (const Receipt& r : receipts(s)) {
        if (r.cancelled || r.closedAt < g->second.statsFrom) continue;
        for (const SaleLine& l : r.lines) {
            auto a = s.articles.find(l.plu);
            if (a == s.articles.end() || a->second.group != group) continue;
            t.total += l.value;
            t.days[static_cast<size_t>(weekday(r.when))] += l.value;
            t.months[static_cast<size_t>(r.when.month - 1)] += l.value;
        }
    }
    return t;
}

int64_t payFormTurnover(const State& s, uint16_t form) {
    auto f = s.payForms.find(form);
    if (f == s.payForms.end()) return 0;
    int64_t sum = 0;
    for (const Receipt& r : receipts(s)) {
        if (r.cancelled || r.closedAt < f->second.statsFrom) continue;
        for (const SalePayment& p : r.payments)
            if (p.form == form) sum += p.amount;
    }
    return sum;
}

std::array<HourTotals, 24> hourTotals(const State& s, bool cancelled) {
    std::array<HourTotals, 24> h{};
    for (const Receipt& r : receipts(s)) {
        if (r.cancelled != cancelled) continue;
        HourTotals& t = h[static_cast<size_t>(r.when.hour)];
        t.value += r.value;
        t.lines += static_cast<uint32_t>(r.lines.size());
        ++t.receipts;
    }
    return h;
}

}  // namespace trvsim
