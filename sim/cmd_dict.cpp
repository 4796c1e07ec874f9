// The small numbered tables of the simulated register: article groups, units
// of measure, payment forms, barcode formats, cash-out descriptions,
// operator messages and article descriptions. Their statistics are read in
// cmd_stat.cpp.
#include <algorithm>

#include "sim_commands.h"
#include "sim_sales.h"

namespace trvsim {

namespace {

// Capacities: record numbers run from 1 to these.
constexpr uint16_t kGroups = 99, kUnits = 20, kPayForms = 16, kCodeFormats = 10, kCashoutDescs = 20,
                   kErrorMessages = 50;

// Longest texts: what the library's reader takes (a 256-byte buffer for group
// names, 64 bytes for the rest).
constexpr size_t kLongText = 255, kShortText = 63;

// Payment types and the kinds of handling of an operator message.
constexpr uint8_t kLastPayType = 5, kCurrencyPayment = 5;
constexpr uint16_t kLastHandling = 2;
constexpr uint8_t kLastPrinter = 4;

std::string text(std::string t, size_t longest, bool mayBeEmpty = false) {
    if (t.size() > longest || (t.empty() && !mayBeEmpty)) throw ExecError{err::kBadValue};
    return t;
}

// The operations every table shares, over its map of records.
template <class R>
class Table {
public:
    Table(std::map<uint16_t, R>& records, uint16_t capacity) : records_(records), capacity_(capacity) {}

    uint16_t number(uint16_t n) const {
        if (n == 0 || n > capacity_) throw ExecError{err::kBadValue};
        return n;
    }
    R& at(uint16_t n) {
        auto it = records_.find(number(n));
        if (it == records_.end()) throw ExecError{err::kNotFound};
        return it->second;
    }
    // The record to fill in for an insert: a new one, or the old one where
    // overwriting is allowed (what the command does not carry stays).
    R& slot(uint16_t n, bool overwrite) {
        auto it = records_.find(number(n));
        if (it != records_.end() && !overwrite) throw ExecError{err::kExists};
        return records_[n];
    }
    uint16_t nextFree(uint16_t from) const {
        for (uint32_t n = std::max<uint16_t>(from, 1); n <= capacity_; ++n)
            if (!records_.count(static_cast<uint16_t>(n))) return static_cast<uint16_t>(n);
        throw ExecError{err::kFull};
    }
    template <class Name>
    uint16_t byName(const std::string& name, Name nameOf) const {
        for (const auto& [n, r] : records_)
            if (nameOf(r) == name) return n;
        throw ExecError{err::kNotFound};
    }
    void erase(uint16_t n) {
        at(n);
        records_.erase(n);
    }

private:
    std::map<uint16_t, R>& records_;
    uint16_t capacity_;
};

Table<Group> groups(State& s) { return {s.groups, kGroups}; }
Table<Unit> units(State& s) { return {s.units, kUnits}; }
Table<PayForm> payForms(State& s) { return {s.payForms, kPayForms}; }
Table<std::string> codeFormats(State& s) { return {s.codeFormats, kCodeFormats}; }
Table<CashoutDesc> cashoutDescs(State& s) { return {s.cashoutDescs, kCashoutDescs}; }
Table<ErrorMessage> errorMessages(State& s) { return {s.errorMessages, kErrorMessages}; }
Table<std::string> pluDescriptions(State& s) { return {s.pluDescriptions, s.pluCapacity}; }

// Deletes the articles that belong to a deleted record, and takes them out
// of the sets.
template <class Related>
void eraseArticles(State& s, Related related) {
    std::vector<uint16_t> gone;
    for (const auto& [n, a] : s.articles)
        if (related(a)) gone.push_back(n);
    for (uint16_t n : gone) s.eraseArticle(n);
    for (auto& [n, set] : s.articles)
        std::erase_if(set.members, [&s](const SetMember& m) { return !s.articles.count(m.plu); });
}

// A barcode format: 8 to 20 characters of digits (taken literally, a prefix
// say), P (a digit of the article number, at least one), Q (of the quantity),
// V (of the value) and C (the check digit).
std::string barcodeFormat(std::string f) {
    const bool ok = f.size() >= 8 && f.size() <= 20 && f.find('P') != std::string::npos &&
                    f.find_first_not_of("0123456789PQVC") == std::string::npos;
    if (!ok) throw ExecError{err::kBadValue};
    return f;
}

// ---- groups

void insertGroup(State& s, uint16_t cmd, Args& in) {
    const uint16_t n = groups(s).number(in.word());
    Group g = s.groups.count(n) ? s.groups.at(n) : Group{};
    if (!s.groups.count(n)) g.statsFrom = s.saleRecordEnd();  // a new group counts the sales from now on
    g.name = text(in.str(), kLongText);
    if (cmd != 2800) g.discount = in.byte();
    if (cmd == 2802) {
        g.price = in.num();
        g.weighed = in.byte() ? 1 : 0;
        g.printer = in.byte();
        if (g.printer > kLastPrinter) throw ExecError{err::kBadValue};
    }
    const uint8_t overwrite = in.byte();
    const uint8_t overwriteNonZero = in.byte();
    if (s.groups.count(n) && overwrite && !overwriteNonZero && groupTotals(s, n).total != 0)
        throw ExecError{err::kNonZero};
    groups(s).slot(n, overwrite) = std::move(g);
}

void readGroup(State& s, uint16_t cmd, Args& in, Values& v) {
    const uint16_t n = in.word();
    const Group& g = groups(s).at(n);
    v.word(n).str(g.name);
    if (cmd != 2810) v.byte(g.discount);
    if (cmd == 2812) v.num(g.price).byte(g.weighed).byte(g.printer);
}

void deleteGroup(State& s, Args& in) {
    const uint16_t n = in.word();
    const uint8_t related = in.byte();
    const uint8_t nonZero = in.byte();
    groups(s).at(n);
    if (!nonZero && groupTotals(s, n).total != 0) throw ExecError{err::kNonZero};
    if (related) eraseArticles(s, [n](const Article& a) { return a.group == n; });
    s.groups.erase(n);
}

// ---- payment forms

void insertPayForm(State& s, Args& in) {
    const uint16_t n = payForms(s).number(in.word());
    PayForm f = s.payForms.count(n) ? s.payForms.at(n) : PayForm{};
    if (!s.payForms.count(n)) f.statsFrom = s.saleRecordEnd();
    f.name = text(in.str(), kShortText);
    f.type = in.byte();
    f.flags = in.word();
    f.currency = text(in.str(), kShortText, true);
    f.rate = in.num();
    if (f.type > kLastPayType || (f.type == kCurrencyPayment && f.currency.empty())) throw ExecError{err::kBadValue};
    const uint8_t overwrite = in.byte();
    const uint8_t overwriteNonZero = in.byte();
    if (s.payForms.count(n) && overwrite && !overwriteNonZero && payFormTurnover(s, n) != 0)
        throw ExecError{err::kNonZero};
    payForms(s).slot(n, overwrite) = std::move(f);
}

using Fn = void (*)(State&, uint16_t, Args&, Values&);
void add(Handlers& h, uint16_t cmd, Fn f) {
    h.add(cmd, [cmd, f](State& s, Args& in, Values& v) { f(s, cmd, in, v); });
}

// Deletes every record of a table that keep() does not hold on to.
template <class R, class Keep>
void eraseAll(std::map<uint16_t, R>& records, Keep keep) {
    std::erase_if(records, [&](const auto& r) { return !keep(r.first); });
}

}  // namespace

void cmd_dict::addCommands(Handlers& h) {
    // Article groups.
    const Fn ins = [](State& s, uint16_t cmd, Args& in, Values&) { insertGroup(s, cmd, in); };
    add(h, cmd::GroupIns, ins);
    add(h, cmd::XEL_GroupInsEx, ins);
    add(h, cmd::GroupInsExEx, ins);
    add(h, cmd::GroupRead, readGroup);
    add(h, cmd::XEL_GroupReadEx, readGroup);
    add(h, cmd::GroupReadExEx, readGroup);
    add(h, cmd::GroupNextFreeGet, [](State& s, uint16_t, Args& in, Values& v) { v.word(groups(s).nextFree(in.word())); });
    add(h, cmd::GroupGetByName, [](State& s, uint16_t, Args& in, Values& v) {
        v.word(groups(s).byName(in.str(), [](const Group& g) { return g.name; }));
    });
    add(h, cmd::GroupDel, [](State& s, uint16_t, Args& in, Values&) { deleteGroup(s, in); });
    add(h, cmd::GroupDelAll, [](State& s, uint16_t, Args& in, Values&) {
        const bool nonZero = in.byte() & 1;
        eraseAll(s.groups, [&](uint16_t n) { return !nonZero && groupTotals(s, n).total != 0; });
    });

    // Units of measure.
    add(h, cmd::MUIns, [](State& s, uint16_t, Args& in, Values&) {
        const uint16_t n = in.word();
        Unit u;
        u.name = text(in.str(), kShortText);
        u.abbreviation = text(in.str(), kShortText, true);
        units(s).slot(n, in.byte()) = std::move(u);
    });
    add(h, cmd::MURead, [](State& s, uint16_t, Args& in, Values& v) {
        const uint16_t n = in.word();
        const Unit& u = units(s).at(n);
        v.word(n).str(u.name).str(u.abbreviation);
    });
    add(h, cmd::MUNextFreeGet, [](State& s, uint16_t, Args& in, Values& v) { v.word(units(s).nextFree(in.word())); });
    add(h, cmd::MUGetByName, [](State& s, uint16_t, Args& in, Values& v) {
        v.word(units(s).byName(in.str(), [](const Unit& u) { return u.name; }));
    });
    add(h, cmd::MUDel, [](State& s, uint16_t, Args& in, Values&) {
        const uint16_t n = in.word();
        units(s).at(n);
        if (in.byte()) eraseArticles(s, [n](const Article& a) { return a.unit == n; });
        s.units.erase(n);
    });
    add(h, cmd::MUDelAll, [](State& s, uint16_t, Args& in, Values&) {
        in.byte();  // units keep no totals: every one goes
        s.units.clear();
    });

    // Payment forms.
    add(h, cmd::PayformIns, [](State& s, uint16_t, Args& in, Values&) { insertPayForm(s, in); });
    add(h, cmd::PayformRead, [](State& s, uint16_t, Args& in, Values& v) {
        const uint16_t n = in.word();
        const PayForm& f = payForms(s).at(n);
        v.word(n).str(f.name).byte(f.type).word(f.flags).str(f.currency).num(f.rate);
    });
    add(h, cmd::PayformNextFreeGet, [](State& s, uint16_t, Args& in, Values& v) { v.word(payForms(s).nextFree(in.word())); });
    add(h, cmd::PayformGetByName, [](State& s, uint16_t, Args& in, Values& v) {
        v.word(payForms(s).byName(in.str(), [](const PayForm& f) { return f.name; }));
    });
    add(h, cmd::PayformDel, [](State& s, uint16_t, Args& in, Values&) {
        const uint16_t n = in.word();
        const uint8_t nonZero = in.byte();
        payForms(s).at(n);
        if (!nonZero && payFormTurnover(s, n) != 0) throw ExecError{err::kNonZero};
        s.payForms.erase(n);
    });
    add(h, cmd::PayformDelAll, [](State& s, uint16_t, Args& in, Values&) {
        const bool nonZero = in.byte() & 1;
        eraseAll(s.payForms, [&](uint16_t n) { return !nonZero && payFormTurnover(s, n) != 0; });
    });

    // Barcode formats.
    add(h, cmd::CodeFmtIns, [](State& s, uint16_t, Args& in, Values&) {
        const uint16_t n = in.word();
        std::string f = barcodeFormat(in.str());
        codeFormats(s).slot(n, in.byte()) = std::move(f);
    });
    add(h, cmd::CodeFmtRead, [](State& s, uint16_t, Args& in, Values& v) {
        const uint16_t n = in.word();
        v.word(n).str(codeFormats(s).at(n));
    });
    add(h, cmd::CodeFmtNextFreeGet, [](State& s, uint16_t, Args& in, Values& v) { v.word(codeFormats(s).nextFree(in.word())); });
    add(h, cmd::CodeFmtDel, [](State& s, uint16_t, Args& in, Values&) { codeFormats(s).erase(in.word()); });
    add(h, cmd::CodeFmtDelAll, [](State& s, uint16_t, Args&, Values&) { s.codeFormats.clear(); });

    // Cash-out descriptions: an insert replaces the record.
    add(h, cmd::CashoutDescIns, [](State& s, uint16_t, Args& in, Values&) {
        const uint16_t n = in.word();
        CashoutDesc d;
        d.name = text(in.str(), kShortText);
        d.flags = in.byte();
        cashoutDescs(s).slot(n, true) = std::move(d);
    });
    add(h, cmd::CashoutDescRead, [](State& s, uint16_t, Args& in, Values& v) {
        const uint16_t n = in.word();
        v.word(n).str(cashoutDescs(s).at(n).name);
    });
    add(h, cmd::CashoutDescNextFreeGet, [](State& s, uint16_t, Args& in, Values& v) { v.word(cashoutDescs(s).nextFree(in.word())); });
    add(h, cmd::CashoutDescDel, [](State& s, uint16_t, Args& in, Values&) { cashoutDescs(s).erase(in.word()); });
    add(h, cmd::CashoutDescDelAll, [](State& s, uint16_t, Args&, Values&) { s.cashoutDescs.clear(); });

    // Operator messages: an insert replaces the record.
    add(h, cmd::ErrMsgIns, [](State& s, uint16_t, Args& in, Values&) {
        const uint16_t n = in.word();
        ErrorMessage m;
        m.error = in.word();
        m.handling = in.word();
        m.text = text(in.str(), kShortText);
        if (m.handling > kLastHandling) throw ExecError{err::kBadValue};
        errorMessages(s).slot(n, true) = std::move(m);
    });
    add(h, cmd::ErrMsgNextFreeGet, [](State& s, uint16_t, Args& in, Values& v) { v.word(errorMessages(s).nextFree(in.word())); });
    add(h, cmd::ErrMsgRead, [](State& s, uint16_t, Args& in, Values& v) {
        const uint16_t n = in.word();
        const ErrorMessage& m = errorMessages(s).at(n);
        v.word(n).word(m.error).word(m.handling).str(m.text);
    });
    add(h, cmd::ErrMsgDel, [](State& s, uint16_t, Args& in, Values&) { errorMessages(s).erase(in.word()); });
    add(h, cmd::ErrMsgDelAll, [](State& s, uint16_t, Args&, Values&) { s.errorMessages.clear(); });

    // Article descriptions, numbered as the articles are; an insert replaces.
    add(h, cmd::PLUDescIns, [](State& s, uint16_t, Args& in, Values&) {
        const uint16_t n = in.word();
        std::string d = text(in.str(), kShortText);
        pluDescriptions(s).slot(n, true) = std::move(d);
    });
    add(h, cmd::PLUDescRead, [](State& s, uint16_t, Args& in, Values& v) {
        const uint16_t n = in.word();
        v.word(n).str(pluDescriptions(s).at(n));
    });
    add(h, cmd::PLUDescDel, [](State& s, uint16_t, Args& in, Values&) { pluDescriptions(s).erase(in.word()); });
    add(h, cmd::PLUDescDelAll, [](State& s, uint16_t, Args&, Values&) { s.pluDescriptions.clear(); });
}

}  // namespace trvsim
