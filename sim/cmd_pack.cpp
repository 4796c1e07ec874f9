// The packaging database of the simulated register: returnable packagings
// with their barcodes, totals of items sold and returned, and stock. Articles
// refer to a packaging by its number, so deleting one that an article names
// needs the "related too" flag, which unlinks it from those articles.
#include <algorithm>

#include "sim_commands.h"

namespace trvsim {

namespace {

uint16_t checkedNumber(const State& s, uint16_t n) {
    if (n == 0 || n > s.packCapacity) throw ExecError{err::kBadValue};
    return n;
}

Packaging& byNumber(State& s, uint16_t n) {
    auto it = s.packagings.find(n);
    if (it == s.packagings.end()) throw ExecError{err::kNotFound};
    return it->second;
}

// An empty barcode names no packaging.
Packaging* findBarcode(State& s, const std::string& code) {
    if (code.empty()) return nullptr;
    for (auto& [n, p] : s.packagings)
        if (p.barcode == code) return &p;
    return nullptr;
}

Packaging& byBarcode(State& s, const std::string& code) {
    Packaging* p = findBarcode(s, code);
    if (!p) throw ExecError{err::kNotFound};
    return *p;
}

bool nonZero(const Packaging& p) {
    return p.sold != 0 || p.returned != 0 || p.valueSold != 0 || p.valueReturned != 0;
}

bool related(const State& s, uint16_t n) {
    return std::any_of(s.articles.begin(), s.articles.end(), [n](const auto& a) { return a.second.packaging == n; });
}

// Deletes a packaging, or says why not. Unlinking leaves the articles
// without a packaging.
uint16_t erase(State& s, uint16_t n, bool alsoRelated, bool alsoNonZero) {
    const Packaging& p = s.packagings.at(n);
    if (nonZero(p) && !alsoNonZero) return err::kNonZero;
    if (related(s, n)) {
        if (!alsoRelated) return err::kRelated;
        for (auto& [k, a] : s.articles)
            if (a.packaging == n) a.packaging = 0;
    }
    s.packagings.erase(n);
    return 0;
}

void clearTotals(Packaging& p) { p.sold = p.returned = p.valueSold = p.valueReturned = 0; }

// ---- handlers, by command

void cmd2700(State& s, uint16_t, Args& in, Values&) {
    Packaging p;
    p.number = checkedNumber(s, in.word());
    p.name = in.str();
    p.barcode = in.str();
    p.price = in.num();
    p.minStock = in.num();
    p.fixedPrice = in.byte();
    const uint8_t overwrite = in.byte();
    const uint8_t overwriteNonZero = in.byte();
    const Packaging* owner = findBarcode(s, p.barcode);
    if ((owner && owner->number != p.number) || (!p.barcode.empty() && s.findBarcode(p.barcode)))
        throw ExecError{err::kBarcodeUsed};
    auto old = s.packagings.find(p.number);
    if (old != s.packagings.end()) {
        if (!overwrite) throw ExecError{err::kExists};
        if (nonZero(old->second) && !overwriteNonZero) throw ExecError{err::kNonZero};
        // Rewriting the record keeps what was counted for it.
        const Packaging& o = old->second;
        p.sold = o.sold;
        p.returned = o.returned;
        p.valueSold = o.valueSold;
        p.valueReturned = o.valueReturned;
        p.stock = o.stock;
    }
    s.packagings[p.number] = std::move(p);
}

void cmd2710(State& s, uint16_t, Args& in, Values& v) {
    const Packaging& p = byNumber(s, in.word());
    v.word(p.number).str(p.name).str(p.barcode).num(p.price).num(p.minStock).byte(p.fixedPrice);
}

void cmd2711(State& s, uint16_t, Args& in, Values& v) {
    const Packaging& p = byBarcode(s, in.str());
    v.str(p.barcode).str(p.name).num(p.price).num(p.minStock).byte(p.fixedPrice);
}

void cmd2720(State& s, uint16_t, Args& in, Values& v) {
    for (uint32_t n = std::max<uint16_t>(1, in.word()); n <= s.packCapacity; ++n)
        if (!s.packagings.count(static_cast<uint16_t>(n))) {
            v.word(static_cast<uint16_t>(n));
            return;
        }
    throw ExecError{err::kFull};
}

void cmd2730(State& s, uint16_t, Args& in, Values& v) {
    const std::string name = in.str();
    for (const auto& [n, p] : s.packagings)
        if (p.name == name) {
            v.word(n);
            return;
        }
    throw ExecError{err::kNotFound};
}

void cmd2731(State& s, uint16_t, Args& in, Values& v) { v.word(byBarcode(s, in.str()).number); }

void cmd2740_2741(State& s, uint16_t cmd, Args& in, Values&) {
    const uint16_t n = cmd == 2740 ? byNumber(s, in.word()).number : byBarcode(s, in.str()).number;
    const uint8_t alsoRelated = in.byte();
    const uint8_t alsoNonZero = in.byte();
    if (const uint16_t e = erase(s, n, alsoRelated, alsoNonZero)) throw ExecError{e};
}

// flagi bit 0: also records with non-zero totals; bit 1: also records that
// articles refer to. The others stay.
void cmd2750(State& s, uint16_t, Args& in, Values&) {
    const uint8_t flags = in.byte();
    std::vector<uint16_t> numbers;
    for (const auto& [n, p] : s.packagings) numbers.push_back(n);
    for (uint16_t n : numbers) erase(s, n, flags & 2, flags & 1);
}

void cmd2760_2761(State& s, uint16_t cmd, Args& in, Values& v) {
    Packaging& p = cmd == 2760 ? byNumber(s, in.word()) : byBarcode(s, in.str());
    const uint8_t clear = in.byte();
    if (cmd == 2760) v.word(p.number);
    else v.str(p.barcode);
    v.num(p.sold).num(p.returned).num(p.valueSold).num(p.valueReturned).num(p.stock);
    if (clear) clearTotals(p);
}

void cmd2770(State& s, uint16_t, Args& in, Values&) {
    const uint8_t stocks = in.byte();
    for (auto& [n, p] : s.packagings) {
        clearTotals(p);
        if (stocks) p.stock = 0;
    }
}

void cmd2771(State& s, uint16_t, Args&, Values&) {
    for (auto& [n, p] : s.packagings) p.stock = 0;
}

void cmd2780(State& s, uint16_t, Args& in, Values&) {
    Packaging& p = byNumber(s, in.word());
    const int64_t q = in.num();
    p.stock += in.byte() ? q : -q;  // non-zero adds, zero takes away
}

void cmd2781_2783(State& s, uint16_t cmd, Args& in, Values&) {
    Packaging& p = cmd == 2781 ? byNumber(s, in.word()) : byBarcode(s, in.str());
    p.price = in.num();
}

void cmd2782(State& s, uint16_t, Args& in, Values&) {
    Packaging& p = byNumber(s, in.word());
    p.minStock = in.num();
}

using Fn = void (*)(State&, uint16_t, Args&, Values&);
void add(Handlers& h, uint16_t cmd, Fn f) {
    h.add(cmd, [cmd, f](State& s, Args& in, Values& v) { f(s, cmd, in, v); });
}

}  // namespace

void cmd_pack::addCommands(Handlers& h) {
    add(h, cmd::PackIns, cmd2700);
    add(h, cmd::PackRead, cmd2710);
    add(h, cmd::PackReadByBarcode, cmd2711);
    add(h, cmd::PackNextFreeGet, cmd2720);
    add(h, cmd::PackGetByName, cmd2730);
    add(h, cmd::PackGetByBarcode, cmd2731);
    add(h, cmd::PackDel, cmd2740_2741);
    add(h, cmd::PackDelByBarcode, cmd2740_2741);
    add(h, cmd::PackDelAll, cmd2750);
    add(h, cmd::PackStatRead, cmd2760_2761);
    add(h, cmd::PackStatReadByBarcode, cmd2760_2761);
    add(h, cmd::PackStatClearAll, cmd2770);
    add(h, cmd::PackStoreClr, cmd2771);
    add(h, cmd::PackStockQntModify, cmd2780);
    add(h, cmd::PackPriceUpdate, cmd2781_2783);
    add(h, cmd::PackPriceUpdateByBarcode, cmd2781_2783);
    add(h, cmd::PackStockMinQntSet, cmd2782);
}

}  // namespace trvsim
