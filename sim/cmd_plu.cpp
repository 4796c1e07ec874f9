// The article database of the simulated register: records with barcodes,
// sets, stock and statistics, additional barcodes and the notepad.
#include <algorithm>

#include "sim_commands.h"

namespace trvsim {

namespace {

uint16_t checkedNumber(const State& s, uint16_t n) {
    if (n == 0 || n > s.pluCapacity) throw ExecError{err::kBadValue};
    return n;
}

Article& articleByNumber(State& s, uint16_t n) {
    auto it = s.articles.find(n);
    if (it == s.articles.end()) throw ExecError{err::kNotFound};
    return it->second;
}

const Article& articleByBarcode(const State& s, const std::string& code) {
    const Article* a = s.findBarcode(code);
    if (!a) throw ExecError{err::kNotFound};
    return *a;
}

// The barcodes of a new or rewritten record must not belong to another article.
void checkBarcodeFree(const State& s, const std::string& code, uint16_t owner) {
    if (code.empty()) return;
    const Article* a = s.findBarcode(code);
    if (a && a->number != owner) throw ExecError{err::kBarcodeUsed};
}

// Shared part of the inserts: overwrite rules, then the record is stored with
// the old record's barcodes, stock and statistics carried over.
void insertArticle(State& s, Article a, uint8_t overwrite, uint8_t overwriteNonZero) {
    checkedNumber(s, a.number);
    if (a.vat > 6) throw ExecError{err::kBadValue};
    checkBarcodeFree(s, a.barcode, a.number);
    auto old = s.articles.find(a.number);
    if (old != s.articles.end()) {
        if (!overwrite) throw ExecError{err::kExists};
        const Article& o = old->second;
        if ((o.statValue != 0 || o.statQty != 0) && !overwriteNonZero) throw ExecError{err::kNonZero};
        a.barcodes = o.barcodes;
        a.stock = o.stock;
        a.stockDate = o.stockDate;
        a.statValue = o.statValue;
        a.statQty = o.statQty;
        a.statDate = o.statDate;
        // Additional barcodes equal to the new primary one are dropped.
        a.barcodes.erase(std::remove(a.barcodes.begin(), a.barcodes.end(), a.barcode), a.barcodes.end());
    } else {
        a.stockDate = a.statDate = s.now();
    }
    s.putArticle(std::move(a));
}

// The article answer of 2110, 2111 and 2112: name, barcode, minimum stock,
// type, the type's block, discount, group, discount flag, then the optional
// barcode block. 2111 carries the type block for ordinary articles only.
void articleAnswer(const Article& a, bool withBarcodes, bool byBarcode, Values& v) {
    v.str(a.name).str(a.barcode).num(a.minStock).byte(a.type);
    if (a.type == 0)
        v.byte(a.vat).num(a.price).byte(a.packaging).byte(a.unit).byte(a.qtyFormat).byte(a.fixedPrice);
    else if (a.type == 2 && !byBarcode)
        v.byte(a.vat).byte(a.unit).word(a.eservice);
    v.byte(a.discount).byte(a.group).byte(a.discountFlag);
    if (withBarcodes) {
        v.word(static_cast<uint16_t>(a.barcodes.size()));
        for (const std::string& c : a.barcodes) v.str(c);
    }
}

void statAnswer(const Article& a, Values& v) { v.num(a.statValue).num(a.statQty).num(a.stock).date(a.statDate); }

void clearStats(State& s, Article& a) {
    a.statValue = a.statQty = 0;
    a.statDate = s.now();
}

// ---- handlers, by command

void cmd2100(State& s, uint16_t, Args& in, Values&) {
    Article a;
    a.number = in.word();
    a.name = in.str();
    a.barcode = in.str();
    a.price = in.num();
    a.minStock = in.num();
    a.packaging = in.byte();
    a.unit = in.byte();
    a.discount = in.byte();
    a.group = in.byte();
    a.vat = in.byte();
    a.qtyFormat = in.byte();
    a.fixedPrice = in.byte();
    a.discountFlag = in.byte();
    a.notepad = in.byte();
    const uint8_t ow = in.byte();
    const uint8_t owNonZero = in.byte();
    insertArticle(s, std::move(a), ow, owNonZero);
}

void cmd2101(State& s, uint16_t, Args& in, Values&) {
    Article a;
    a.type = 2;
    a.number = in.word();
    a.name = in.str();
    a.barcode = in.str();
    a.unit = in.byte();
    a.discount = in.byte();
    a.group = in.byte();
    a.vat = in.byte();
    a.eservice = in.word();
    a.discountFlag = in.byte();
    a.notepad = in.byte();
    const uint8_t ow = in.byte();
    const uint8_t owNonZero = in.byte();
    insertArticle(s, std::move(a), ow, owNonZero);
}

void cmd2200(State& s, uint16_t, Args& in, Values&) {
    Article a;
    a.type = 1;
    a.number = in.word();
    a.name = in.str();
    a.barcode = in.str();
    a.minStock = in.num();
    a.discount = in.byte();
    a.group = in.byte();
    a.forbidden = in.byte();
    const uint8_t add = in.byte();  // add the members to those the set already has
    const uint8_t ow = in.byte();
    const uint8_t owNonZero = in.byte();
    while (in.more()) {
        SetMember m;
        m.plu = in.word();
        m.qty = in.num();
        m.price = in.num();
        if (m.plu == a.number) throw ExecError{err::kBadValue};
        articleByNumber(s, m.plu);
        a.members.push_back(m);
    }
    auto old = s.articles.find(a.number);
    if (add && old != s.articles.end() && old->second.type == 1) {
        std::vector<SetMember> merged = old->second.members;
        merged.insert(merged.end(), a.members.begin(), a.members.end());
        a.members = std::move(merged);
    }
    insertArticle(s, std::move(a), ow, owNonZero);
}

void cmd2110_2112(State& s, uint16_t cmd, Args& in, Values& v) {
    const uint16_t n = in.word();
    std::string code;
    if (cmd == 2112) code = in.str();
    const bool withBarcodes = in.byte() != 0;
    const Article& a = code.empty() ? articleByNumber(s, n) : articleByBarcode(s, code);
    v.word(a.number);
    articleAnswer(a, withBarcodes, false, v);
    if (cmd == 2112) v.byte(a.notepad);
}

void cmd2111(State& s, uint16_t, Args& in, Values& v) {
    const std::string code = in.str();
    const bool withBarcodes = in.byte() != 0;
    const Article& a = articleByBarcode(s, code);
    v.str(code);
    articleAnswer(a, withBarcodes, true, v);
}

void cmd2120(State& s, uint16_t, Args& in, Values& v) {
    const uint16_t from = std::max<uint16_t>(1, in.word());
    for (uint32_t n = from; n <= s.pluCapacity; ++n)
        if (!s.articles.count(static_cast<uint16_t>(n))) {
            v.word(static_cast<uint16_t>(n));
            return;
        }
    throw ExecError{err::kFull};
    
}

void cmd2130(State& s, uint16_t, Args& in, Values& v) {
    const std::string name = in.str();
    for (const auto& [n, a] : s.articles)
        if (a.name == name) {
            v.word(n);
            return;
        }
    throw ExecError{err::kNotFound};
    
}

void cmd2131(State& s, uint16_t, Args& in, Values& v) {
    v.word(articleByBarcode(s, in.str()).number);
}

void cmd2140_2141(State& s, uint16_t cmd, Args& in, Values&) {
    const uint16_t n = cmd == 2140 ? articleByNumber(s, in.word()).number
                                   : articleByBarcode(s, in.str()).number;
    const uint8_t nonZero = in.byte();
    const uint8_t fromSets = in.byte();
    const Article& a = s.articles.at(n);
    if ((a.statValue != 0 || a.statQty != 0) && !nonZero) throw ExecError{err::kNonZero};
    if (s.inSomeSet(n)) {
        if (!fromSets) throw ExecError{err::kInSet};
        for (auto& [k, set] : s.articles)
            set.members.erase(std::remove_if(set.members.begin(), set.members.end(),
                                             [n](const SetMember& m) { return m.plu == n; }),
                              set.members.end());
    }
    s.eraseArticle(n);
}

void cmd2150(State& s, uint16_t, Args& in, Values&) {
    const uint8_t flags = in.byte();  // bit 0: also records with non-zero totals
    std::vector<uint16_t> gone;
    for (const auto& [n, a] : s.articles)
        if ((flags & 1) || (a.statValue == 0 && a.statQty == 0)) gone.push_back(n);
    for (uint16_t n : gone) s.eraseArticle(n);
    for (auto& [k, set] : s.articles)
        set.members.erase(std::remove_if(set.members.begin(), set.members.end(),
                                         [&s](const SetMember& m) { return !s.articles.count(m.plu); }),
                          set.members.end());
}

void cmd2160_2161(State& s, uint16_t cmd, Args& in, Values& v) {
    std::string code;
    const uint16_t n = cmd == 2160 ? in.word() : articleByBarcode(s, code = in.str()).number;
    Article& a = articleByNumber(s, n);
    const uint8_t clear = in.byte();
    if (cmd == 2160) v.word(n);
    else v.str(code);
    statAnswer(a, v);
    if (clear) clearStats(s, a);
}

void cmd2170(State& s, uint16_t, Args& in, Values&) {
    const uint8_t stocks = in.byte();
    in.byte();  // date flag: the clearing date is always recorded
    for (auto& [n, a] : s.articles) {
        clearStats(s, a);
        if (stocks) {
            a.stock = 0;
            a.stockDate = s.now();
        }
    }
}

void cmd2171(State& s, uint16_t, Args&, Values&) {
    for (auto& [n, a] : s.articles) {
        a.stock = 0;
        a.stockDate = s.now();
    }
}

void cmd2180(State& s, uint16_t, Args& in, Values&) {
    Article& a = articleByNumber(s, in.word());
    const int64_t q = in.num();
    const uint8_t increase = in.byte();  // non-zero adds, zero takes away
    a.stock += increase ? q : -q;
    a.stockDate = s.now();
}

void cmd2181_2185(State& s, uint16_t cmd, Args& in, Values&) {
    Article& a = cmd == 2181 ? articleByNumber(s, in.word())
                             : s.articles.at(articleByBarcode(s, in.str()).number);
    a.price = in.num();
}

void cmd2182(State& s, uint16_t, Args& in, Values&) {
    Article& a = articleByNumber(s, in.word());
    a.minStock = in.num();
}

void cmd2183_2186(State& s, uint16_t cmd, Args& in, Values& v) {
    std::string code;
    const uint16_t n = cmd == 2183 ? in.word() : articleByBarcode(s, code = in.str()).number;
    const Article& a = articleByNumber(s, n);
    if (cmd == 2183) v.word(n);
    else v.str(code);
    v.str(a.name).num(a.minStock).num(a.stock).date(a.stockDate);
}

void cmd2184(State& s, uint16_t, Args& in, Values&) {
    Article& set = articleByNumber(s, in.word());
    const uint16_t plu = in.word();
    const int64_t qty = in.num();
    const int64_t price = in.num();
    if (set.type != 1 || plu == set.number) throw ExecError{err::kBadValue};
    articleByNumber(s, plu);
    auto m = std::find_if(set.members.begin(), set.members.end(), [plu](const SetMember& x) { return x.plu == plu; });
    if (m == set.members.end()) set.members.push_back({plu, qty, price});
    else *m = {plu, qty, price};
}

void cmd2210_2260(State& s, uint16_t cmd, Args& in, Values& v) {
    const Article& set = articleByNumber(s, in.word());
    if (set.type != 1) throw ExecError{err::kNotFound};
    v.word(set.number);
    // 2260 answers the members' sale statistics, which this register keeps at zero.
    for (const SetMember& m : set.members) v.word(m.plu).num(cmd == 2210 ? m.qty : 0).num(cmd == 2210 ? m.price : 0);
}

void cmd2300(State& s, uint16_t, Args& in, Values&) {
    Article& a = articleByNumber(s, in.word());
    std::vector<std::string> add;
    while (in.more()) {
        std::string c = in.str();
        if (c.empty()) throw ExecError{err::kBadValue};
        checkBarcodeFree(s, c, a.number);
        if (c != a.barcode && std::find(a.barcodes.begin(), a.barcodes.end(), c) == a.barcodes.end() &&
            std::find(add.begin(), add.end(), c) == add.end())
            add.push_back(std::move(c));
        // Refused as soon as it is too long, not after comparing thousands.
        if (a.barcodes.size() + add.size() > s.kMaxBarcodesPerArticle) throw ExecError{err::kFull};
    }
    if (a.barcodes.size() + add.size() > s.kMaxBarcodesPerArticle) throw ExecError{err::kFull};
    for (std::string& c : add) {
        s.byBarcode[c] = a.number;
        a.barcodes.push_back(std::move(c));
    }
}

void cmd2310(State& s, uint16_t, Args& in, Values& v) {
    const Article& a = articleByNumber(s, in.word());
    v.word(a.number);
    for (const std::string& c : a.barcodes) v.str(c);
}

void cmd2340(State& s, uint16_t, Args& in, Values&) {
    const std::string c = in.str();
    const Article* a = s.findBarcode(c);
    if (!a || a->barcode == c) throw ExecError{err::kNotFound};  // primary barcodes stay
    Article& owner = s.articles.at(a->number);
    owner.barcodes.erase(std::remove(owner.barcodes.begin(), owner.barcodes.end(), c), owner.barcodes.end());
    s.byBarcode.erase(c);
}

void cmd2350(State& s, uint16_t, Args& in, Values&) {
    Article& a = articleByNumber(s, in.word());
    for (const std::string& c : a.barcodes) s.byBarcode.erase(c);
    a.barcodes.clear();
}

void cmd2400_2440(State& s, uint16_t cmd, Args& in, Values&) {
    articleByNumber(s, in.word()).notepad = cmd == 2400 ? 1 : 0;
}

void cmd2450(State& s, uint16_t, Args&, Values&) {
    for (auto& [n, a] : s.articles) a.notepad = 0;
}

void cmd2480(State& s, uint16_t, Args& in, Values& v) {
    const std::string name = in.str();
    for (const auto& [n, a] : s.articles)
        if (a.name == name) {
            v.byte(1).word(a.vat < 7 ? s.vat[a.vat] : 0);
            return;
        }
    v.byte(0).word(0);
}

using Fn = void (*)(State&, uint16_t, Args&, Values&);
void add(Handlers& h, uint16_t cmd, Fn f) {
    h.add(cmd, [cmd, f](State& s, Args& in, Values& v) { f(s, cmd, in, v); });
}

}  // namespace

void cmd_plu::addCommands(Handlers& h) {
    add(h, cmd::PLUIns, cmd2100);
    add(h, cmd::EPLUIns, cmd2101);
    add(h, cmd::SetIns, cmd2200);
    add(h, cmd::PLURead, cmd2110_2112);
    add(h, cmd::PLUReadEx, cmd2110_2112);
    add(h, cmd::PLUReadByBarcode, cmd2111);
    add(h, cmd::PLUNextFreeGet, cmd2120);
    add(h, cmd::PLUGetByName, cmd2130);
    add(h, cmd::PLUGetByBarcode, cmd2131);
    add(h, cmd::PLUDel, cmd2140_2141);
    add(h, cmd::PLUDelByBarcode, cmd2140_2141);
    add(h, cmd::PLUDelAll, cmd2150);
    add(h, cmd::PLUStatRead, cmd2160_2161);
    add(h, cmd::PLUStatReadByBarcode, cmd2160_2161);
    add(h, cmd::PLUStatClearAll, cmd2170);
    add(h, cmd::PLUStoreClr, cmd2171);
    add(h, cmd::PLUStockQntModify, cmd2180);
    add(h, cmd::PluPriceUpdate, cmd2181_2185);
    add(h, cmd::PluPriceUpdateByBarcode, cmd2181_2185);
    add(h, cmd::PluStockMinQntSet, cmd2182);
    add(h, cmd::PLUStoreRead, cmd2183_2186);
    add(h, cmd::PLUStoreReadByBarcode, cmd2183_2186);
    add(h, cmd::PluSetItemUpdate, cmd2184);
    add(h, cmd::SetRead, cmd2210_2260);
    add(h, cmd::PLUSetItemStatRead, cmd2210_2260);
    add(h, cmd::BarcodeIns, cmd2300);
    add(h, cmd::BarcodeRead, cmd2310);
    add(h, cmd::BarcodeDel, cmd2340);
    add(h, cmd::BarcodeDelAllForPLU, cmd2350);
    add(h, cmd::PLUNotepadIns, cmd2400_2440);
    add(h, cmd::PLUNotepadDel, cmd2400_2440);
    add(h, cmd::PLUNotepadDelAll, cmd2450);
    add(h, cmd::DFPluVatCheck, cmd2480);
}

}  // namespace trvsim
