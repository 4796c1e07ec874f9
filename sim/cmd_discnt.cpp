// The discount database of the simulated register: standard, programmed and
// promotional discounts with their statistics, the automatic (time-controlled)
// discounts, and the discounts the computer hands over for a transaction.
#include <algorithm>

#include "sim_commands.h"

namespace trvsim {

namespace {

constexpr size_t kMaxText = 63;       // what the library's readers take
constexpr size_t kMaxThresholds = 6;  // pairs in a programmed discount

std::string text(Args& in) {
    std::string t = in.str();
    if (t.size() > kMaxText) throw ExecError{err::kBadValue};
    return t;
}

Discount& discountByNumber(State& s, uint16_t n) {
    auto it = s.discounts.find(n);
    if (it == s.discounts.end()) throw ExecError{err::kNotFound};
    return it->second;
}

// The type code this register gives a discount.
uint8_t typeOf(uint8_t isDiscount, uint8_t isPercentage) {
    return static_cast<uint8_t>((isPercentage ? 0 : 1) | (isDiscount ? 0 : 2));
}

// The common tail of the inserts, then the overwrite rules; a rewritten
// record keeps its statistics.
void insertDiscount(State& s, Discount d, Args& in) {
    d.withSurcharges = in.byte();
    d.withDiscounts = in.byte();
    const uint8_t overwrite = in.byte(), overwriteNonZero = in.byte();
    if (d.number == 0 || d.number > s.discountCapacity || d.name.empty()) throw ExecError{err::kBadValue};
    auto old = s.discounts.find(d.number);
    if (old != s.discounts.end()) {
        if (!overwrite) throw ExecError{err::kExists};
        if (old->second.total != 0 && !overwriteNonZero) throw ExecError{err::kNonZero};
        d.total = old->second.total;
    }
    s.discounts[d.number] = std::move(d);
}

void cmd3000(State& s, uint16_t, Args& in, Values&) {
    Discount d;
    d.number = in.word();
    d.name = text(in);
    const uint8_t isDiscount = in.byte(), isPercentage = in.byte();
    d.type = typeOf(isDiscount, isPercentage);
    d.value = in.num();
    insertDiscount(s, std::move(d), in);
}

// Always six pairs on the wire; the count says how many of them are used.
void cmd3001(State& s, uint16_t, Args& in, Values&) {
    Discount d;
    d.number = in.word();
    d.name = text(in);
    d.kind = 1;
    const uint8_t isDiscount = in.byte(), isPercentage = in.byte();
    d.type = typeOf(isDiscount, isPercentage);
    const uint8_t used = in.byte();
    for (size_t i = 0; i < kMaxThresholds; ++i) {
        const int64_t value = in.num(), threshold = in.num();
        if (i < used) d.thresholds.emplace_back(value, threshold);
    }
    if (used > kMaxThresholds) throw ExecError{err::kBadValue};
    insertDiscount(s, std::move(d), in);
}

void cmd3002(State& s, uint16_t, Args& in, Values&) {
    Discount d;
    d.number = in.word();
    d.name = text(in);
    d.kind = 2;
    d.m = in.byte();
    d.n = in.byte();
    if (d.n == 0 || d.n > d.m) throw ExecError{err::kBadValue};  // M sold for the price of N
    insertDiscount(s, std::move(d), in);
}

void cmd3010(State& s, uint16_t, Args& in, Values& v) {
    const Discount& d = discountByNumber(s, in.word());
    v.word(d.number).str(d.name).byte(d.withSurcharges).byte(d.withDiscounts).byte(d.kind);
    if (d.kind == 0) {
        v.byte(d.type).num(d.value);
    } else if (d.kind == 1) {
        v.byte(d.type).byte(static_cast<uint8_t>(d.thresholds.size()));
        for (const auto& [value, threshold] : d.thresholds) v.num(value).num(threshold);
    } else {
        v.byte(d.m).byte(d.n);
    }
}

template <class Map>
uint16_t firstFree(const Map& m, uint16_t from, uint16_t capacity) {
    for (uint32_t n = std::max<uint16_t>(1, from); n <= capacity; ++n)
        if (!m.count(static_cast<uint16_t>(n))) return static_cast<uint16_t>(n);
    throw ExecError{err::kFull};
}

void cmd3020(State& s, uint16_t, Args& in, Values& v) {
    v.word(firstFree(s.discounts, in.word(), s.discountCapacity));
}

void cmd3030(State& s, uint16_t, Args& in, Values& v) {
    const std::string name = in.str();
    for (const auto& [n, d] : s.discounts)
        if (d.name == name) {
            v.word(n);
            return;
        }
    throw ExecError{err::kNotFound};
}

// Automatic discounts and articles refer to a discount by its number.
bool related(const State& s, uint16_t n) {
    for (const auto& [k, a] : s.autoDiscounts)
        if (a.discount == n) return true;
    for (const auto& [k, a] : s.articles)
        if (a.discount == n) return true;
    return false;
}

void eraseDiscount(State& s, uint16_t n) {
    std::erase_if(s.autoDiscounts, [n](const auto& e) { return e.second.discount == n; });
    for (auto& [k, a] : s.articles)
        if (a.discount == n) a.discount = 0;
    s.discounts.erase(n);
}

void cmd3040(State& s, uint16_t, Args& in, Values&) {
    const uint16_t n = discountByNumber(s, in.word()).number;
    const uint8_t withRelated = in.byte(), nonZero = in.byte();
    if (s.discounts.at(n).total != 0 && !nonZero) throw ExecError{err::kNonZero};
    if (related(s, n) && !withRelated) throw ExecError{err::kRelated};
    eraseDiscount(s, n);
}

void cmd3050(State& s, uint16_t, Args& in, Values&) {
    const uint8_t flags = in.byte();  // bit 0: with statistics too, bit 1: with related records too
    std::vector<uint16_t> gone;
    for (const auto& [n, d] : s.discounts)
        if (((flags & 1) || d.total == 0) && ((flags & 2) || !related(s, n))) gone.push_back(n);
    for (uint16_t n : gone) eraseDiscount(s, n);
}

void cmd3060(State& s, uint16_t, Args& in, Values& v) {
    Discount& d = discountByNumber(s, in.word());
    const uint8_t clear = in.byte();
    v.word(d.number).num(d.total);
    if (clear) d.total = 0;
}

void cmd3070(State& s, uint16_t, Args&, Values&) {
    for (auto& [n, d] : s.discounts) d.total = 0;
}

// ---- automatic discounts

void insertAutoDiscount(State& s, const AutoDiscount& a, uint8_t overwrite) {
    if (a.number == 0 || a.number > s.autoDiscountCapacity || a.kind > 1 || !validDateTime(a.from) ||
        !validDateTime(a.to) || toEpoch(a.to) / 86400 < toEpoch(a.from) / 86400)
        throw ExecError{err::kBadValue};
    discountByNumber(s, a.discount);
    if (s.autoDiscounts.count(a.number) && !overwrite) throw ExecError{err::kExists};
    s.autoDiscounts[a.number] = a;
}

// A window of hours only: every day, from 2000 to 2099.
void cmd3300(State& s, uint16_t, Args& in, Values&) {
    AutoDiscount a;
    a.number = in.word();
    a.discount = in.word();
    a.from = DateTime{2000, 1, 1, 0, 0, 0};
    a.to = DateTime{2099, 12, 31, 0, 0, 0};
    in.hourMinute(a.from);
    in.hourMinute(a.to);
    insertAutoDiscount(s, a, in.byte());
}

void cmd3301(State& s, uint16_t, Args& in, Values&) {
    AutoDiscount a;
    a.number = in.word();
    a.discount = in.word();
    a.kind = in.byte();
    a.from = in.date();
    in.hourMinute(a.from);
    a.to = in.date();
    in.hourMinute(a.to);
    insertAutoDiscount(s, a, in.byte());
}

const AutoDiscount& autoByNumber(const State& s, uint16_t n) {
    auto it = s.autoDiscounts.find(n);
    if (it == s.autoDiscounts.end()) throw ExecError{err::kNotFound};
    return it->second;
}

void hourMinute(const DateTime& t, Values& v) {
    v.byte(static_cast<uint8_t>(t.hour)).byte(static_cast<uint8_t>(t.minute));
}

void cmd3310_3311(State& s, uint16_t cmd, Args& in, Values& v) {
    const AutoDiscount& a = autoByNumber(s, in.word());
    v.word(a.number).word(a.discount);
    if (cmd == 3310) {
        hourMinute(a.from, v);
        hourMinute(a.to, v);
        return;
    }
    v.byte(a.kind).date(a.from);
    hourMinute(a.from, v);
    v.date(a.to);
    hourMinute(a.to, v);
}

void cmd3320(State& s, uint16_t, Args& in, Values& v) {
    v.word(firstFree(s.autoDiscounts, in.word(), s.autoDiscountCapacity));
}

void cmd3340(State& s, uint16_t, Args& in, Values&) {
    const uint16_t n = autoByNumber(s, in.word()).number;
    s.autoDiscounts.erase(n);
}

// ---- discounts for the transaction in progress

void cmd332(State& s, uint16_t, Args& in, Values&) {
    PcDiscount p;
    p.command = 332;
    p.errorCode = in.word();
    p.name = text(in);
    p.type = in.byte();
    p.value = in.num();
    p.withSurcharges = in.byte();
    p.withDiscounts = in.byte();
    if (p.type > 3) throw ExecError{err::kBadValue};
    s.pcDiscount = p;
}

// With error code 0 the discount must exist; another code reports the
// computer's own failure and names no discount the register checks.
void cmd333(State& s, uint16_t, Args& in, Values&) {
    PcDiscount p;
    p.command = 333;
    p.errorCode = in.word();
    p.number = in.word();
    if (p.errorCode == 0) {
        const Discount& d = discountByNumber(s, p.number);
        p.name = d.name;
        p.type = d.type;
        p.value = d.value;
    }
    s.pcDiscount = p;
}

using Fn = void (*)(State&, uint16_t, Args&, Values&);
void add(Handlers& h, uint16_t cmd, Fn f) {
    h.add(cmd, [cmd, f](State& s, Args& in, Values& v) { f(s, cmd, in, v); });
}

}  // namespace

void cmd_discnt::addCommands(Handlers& h) {
    add(h, cmd::ManualDiscntPCSet, cmd332);
    add(h, cmd::DBDiscntPCSet, cmd333);
    add(h, cmd::StdDiscntIns, cmd3000);
    add(h, cmd::ProgDiscntIns, cmd3001);
    add(h, cmd::PromoDiscntIns, cmd3002);
    add(h, cmd::DiscntRead, cmd3010);
    add(h, cmd::DiscntNextFreeGet, cmd3020);
    add(h, cmd::DiscntGetByName, cmd3030);
    add(h, cmd::DiscntDel, cmd3040);
    add(h, cmd::DiscntDelAll, cmd3050);
    add(h, cmd::DiscntStatRead, cmd3060);
    add(h, cmd::DiscntStatClearAll, cmd3070);
    add(h, cmd::AutoDiscntIns, cmd3300);
    add(h, cmd::AutoDiscntInsEx, cmd3301);
    add(h, cmd::AutoDiscntRead, cmd3310_3311);
    add(h, cmd::AutoDiscntReadEx, cmd3310_3311);
    add(h, cmd::AutoDiscntNextFreeGet, cmd3320);
    add(h, cmd::AutoDiscntDel, cmd3340);
}

}  // namespace trvsim
