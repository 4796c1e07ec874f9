#include "sim_state.h"

#include <algorithm>
#include <chrono>

namespace trvsim {

namespace {
constexpr int64_t kNumMax = 499999999999LL;
constexpr int64_t kNumMin = -500000000000LL;

// Civil calendar <-> days since 1970-01-01 (proleptic Gregorian).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civilFromDays(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (m <= 2));
}

int64_t systemSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

int daysInMonth(int y, int m) {
    static const int d[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) return 29;
    return d[m - 1];
}
}  // namespace

bool validDateTime(const DateTime& t) {
    return t.year >= 1990 && t.year <= 2099 && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
           t.day <= daysInMonth(t.year, t.month) && t.hour >= 0 && t.hour < 24 && t.minute >= 0 &&
           t.minute < 60 && t.second >= 0 && t.second < 60;
}

int64_t toEpoch(const DateTime& t) {
    return daysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day)) * 86400 +
           t.hour * 3600 + t.minute * 60 + t.second;
}

DateTime fromEpoch(int64_t s) {
    int64_t days = s / 86400, rem = s % 86400;
    if (rem < 0) {
        rem += 86400;
        --days;
    }
    DateTime t;
    civilFromDays(days, t.year, t.month, t.day);
    t.hour = static_cast<int>(rem / 3600);
    t.minute = static_cast<int>(rem % 3600 / 60);
    t.second = static_cast<int>(rem % 60);
    return t;
}

// ---- values

Values& Values::byte(uint8_t v) {
    items.emplace_back().SetChar(v);
    return *this;
}
Values& Values::word(uint16_t v) {
    items.emplace_back().SetShort(v);
    return *this;
}
Values& Values::dword(uint32_t v) {
    items.emplace_back().SetLong(v);
    return *this;
}
Values& Values::str(const std::string& v) {
    items.emplace_back().SetString(v);
    return *this;
}
Values& Values::num(int64_t v) {
    items.emplace_back().SetNumeric(std::to_string(std::clamp(v, kNumMin, kNumMax)));
    return *this;
}
Values& Values::date(const DateTime& t) {
    return byte(static_cast<uint8_t>(t.day)).byte(static_cast<uint8_t>(t.month)).word(static_cast<uint16_t>(t.year));
}
Values& Values::dateHM(const DateTime& t) {
    return date(t).byte(static_cast<uint8_t>(t.hour)).byte(static_cast<uint8_t>(t.minute));
}
Values& Values::dateTime(const DateTime& t) { return dateHM(t).byte(static_cast<uint8_t>(t.second)); }

// ---- arguments

const trv::TRV_DataItem& Args::next(TARVIK_DATA_TYPE t) {
    if (!more() || v_[i_].Type() != t) throw ExecError{err::kBadParams};
    return v_[i_++];
}
uint8_t Args::byte() { return next(TARVIK_TYPE_BYTE).GetChar(); }
uint16_t Args::word() { return next(TARVIK_TYPE_WORD).GetShort(); }
uint32_t Args::dword() { return next(TARVIK_TYPE_LONG).GetLong(); }
std::string Args::str() { return next(TARVIK_TYPE_STRING).GetString(','); }
int64_t Args::num() {
    const TARVIK_DATA_TYPE t = peekType();
    if (t != TARVIK_TYPE_NUMERIC && t != TARVIK_TYPE_CURRENCY && t != TARVIK_TYPE_QUANTITY)
        throw ExecError{err::kBadParams};
    return trv::TRV_DataItem::bcd2largewsign(v_[i_++].bcd());
}

// ---- state

State::State() {
    const int64_t now = systemSeconds();
    std::tm local{};
    const std::time_t tt = static_cast<std::time_t>(now);
    if (localtime_r(&tt, &local)) clockOffset = local.tm_gmtoff;  // show local wall time
    vat = {2300, 800, 500, 0, 10000, 10001, 10001};
    header = {{1, "SKLEP TESTOWY"}, {0, "ul. Przykladowa 1"}, {0, "00-001 Warszawa"}};
    footer = {{0, "DZIEKUJEMY ZA ZAKUPY"}};
    fiscalised = DateTime{2008, 3, 1, 9, 30, 0};
    fillSamples();
}

DateTime State::now() const { return fromEpoch(systemSeconds() + clockOffset); }
void State::setClock(const DateTime& t) { clockOffset = toEpoch(t) - systemSeconds(); }

const Article* State::findBarcode(const std::string& code) const {
    auto it = byBarcode.find(code);
    if (it == byBarcode.end()) return nullptr;
    auto a = articles.find(it->second);
    return a == articles.end() ? nullptr : &a->second;
}

void State::eraseArticle(uint16_t number) {
    auto it = articles.find(number);
    if (it == articles.end()) return;
    for (auto b = byBarcode.begin(); b != byBarcode.end();)
        b = b->second == number ? byBarcode.erase(b) : std::next(b);
    articles.erase(it);
}

void State::putArticle(Article a) {
    const uint16_t n = a.number;
    for (auto b = byBarcode.begin(); b != byBarcode.end();)
        b = b->second == n ? byBarcode.erase(b) : std::next(b);
    if (!a.barcode.empty()) byBarcode[a.barcode] = n;
    for (const std::string& c : a.barcodes) byBarcode[c] = n;
    articles[n] = std::move(a);
}

bool State::inSomeSet(uint16_t plu) const {
    for (const auto& [n, a] : articles)
        for (const SetMember& m : a.members)
            if (m.plu == plu) return true;
    return false;
}

void State::fillSamples() {
    const DateTime day{2009, 3, 5, 0, 0, 0};
    auto when = [&](int h, int mi) { return DateTime{day.year, day.month, day.day, h, mi, 0}; };

    // A few articles so that reading works before anything was written.
    Article a;
    a.number = 1;
    a.name = "CHLEB";
    a.barcode = "5900000000017";
    a.price = 350;
    a.minStock = 10;
    a.vat = 1;
    a.unit = 1;
    a.stock = 40;
    a.stockDate = day;
    a.statDate = day;
    putArticle(a);
    Article b = a;
    b.number = 2;
    b.name = "MLEKO";
    b.barcode = "5900000000024";
    b.barcodes = {"2000000000022"};
    b.price = 279;
    b.vat = 2;
    putArticle(b);

    // Sale journal: a daily record, then three receipts with their lines.
    auto rec = [&](uint16_t type, Values v) { journal.push_back({type, std::move(v.items)}); };
    Values daily;
    daily.date(day).word(41).word(57).word(2);
    for (int64_t t : {123450, 45600, 7800, 0, 0, 0, 0}) daily.num(t);
    daily.num(2500).dword(12);
    rec(journal::kDaily, daily);

    rec(journal::kArticle, Values().byte(1).word(1).str("5900000000017").str("CHLEB").num(2).num(700));
    rec(journal::kArticle, Values().byte(2).word(2).str("5900000000024").str("MLEKO").num(1).num(279).str("05"));
    rec(journal::kSetLine, Values().byte(1).word(10).str("").str("ZESTAW SNIADANIOWY").num(1).num(1299));
    rec(journal::kPackaging, Values().word(3).str("5900000000307").num(2).num(100));
    rec(journal::kDiscount, Values().str("RABAT STALY KLIENT").byte(1).word(4).num(-150).str("9900000000001"));
    rec(journal::kPayment, Values().word(1).str("GOTOWKA").byte(0).num(2228).str("").str("KASA 1").str("ANNA").word(1));
    rec(journal::kFinished, Values()
                                .dword(58)
                                .dateHM(when(9, 5))
                                .str("KASA 1")
                                .str("ANNA")
                                .word(1)
                                .num(2378)
                                .num(2228)
                                .dword(1058));

    rec(journal::kArticle, Values().byte(1).word(1).str("5900000000017").str("CHLEB").num(1).num(350));
    rec(journal::kCancelled, Values()
                                 .dateHM(when(9, 20))
                                 .str("KASA 1")
                                 .str("ANNA")
                                 .word(1)
                                 .word(2)
                                 .num(350)
                                 .num(350)
                                 .dword(1)
                                 .num(350));

    rec(journal::kArticle, Values().byte(2).word(2).str("5900000000024").str("MLEKO").num(4).num(1116));
    rec(journal::kArticleDiscount, Values().str("PROMOCJA MLEKO").word(5).word(2).byte(2).num(-116));
    rec(journal::kCurrency, Values()
                                .word(2)
                                .str("EUR")
                                .num(1000)
                                .num(250)
                                .num(40000)
                                .str("")
                                .str("KASA 1")
                                .str("ANNA")
                                .word(1));
    rec(journal::kCashback, Values().word(3).str("KARTA").byte(2).num(5000));
    rec(journal::kFinished, Values()
                                .dword(59)
                                .dateHM(when(10, 42))
                                .str("KASA 1")
                                .str("ANNA")
                                .word(1)
                                .num(1000)
                                .num(1000)
                                .dword(1059));
    rec(journal::kAuthorisation, Values().dword(2).str("KIEROWNIK").num(350));
    rec(journal::kOrder, Values().word(1).str("DOSTAWCA A").num(20).str("ZAMOWIENIE PORANNE"));
    rec(journal::kInventory, Values().word(2).str("MAGAZYN").num(36).str("REMANENT"));
    lastReceipt = 59;

    // Fiscal memory: fiscalisation, rates, start of sales, daily reports, a
    // RAM clearing and one more daily report.
    auto fm = [&](uint16_t type, Values v) { fiscalMemory.push_back({type, std::move(v.items)}); };
    fm(fiscal::kFiscalisation, Values().dateHM(fiscalised).str(nip));
    Values rates;
    rates.dateHM(DateTime{2008, 3, 1, 9, 35, 0}).word(1);
    for (uint16_t r : vat) rates.word(r);
    fm(fiscal::kVatChange, rates);
    fm(fiscal::kSaleStart, Values().dateHM(DateTime{2008, 3, 1, 9, 40, 0}));
    for (int k = 1; k <= 3; ++k) {
        Values d;
        d.dateHM(DateTime{2008, 3, k, 21, 0, 0}).word(static_cast<uint16_t>(k)).word(static_cast<uint16_t>(10 * k)).word(0);
        for (int64_t t : {10000 * k, 2000 * k, 300 * k, 0, 0, 0, 0}) d.num(t);
        d.num(0).dword(static_cast<uint32_t>(k));
        fm(fiscal::kDaily, d);
    }
    fm(fiscal::kRamClear, Values().dateHM(DateTime{2008, 3, 4, 8, 0, 0}).word(1).word(2).word(0));
    Values d4;
    d4.dateHM(DateTime{2008, 3, 4, 21, 0, 0}).word(4).word(17).word(1);
    for (int64_t t : {52000, 8000, 1200, 0, 0, 0, 0}) d4.num(t);
    d4.num(1500).dword(3);
    fm(fiscal::kDaily, d4);
}

// ---- command handlers

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

// Header and footer: pairs of flag Byte and text String.
void setLines(Args& in, size_t max, std::vector<std::pair<uint8_t, std::string>>& out) {
    std::vector<std::pair<uint8_t, std::string>> lines;
    while (in.more()) {
        uint8_t flag = in.byte();
        lines.emplace_back(flag, in.str());
    }
    if (lines.size() > max) throw ExecError{err::kBadValue};
    out = std::move(lines);
}
void getLines(const std::vector<std::pair<uint8_t, std::string>>& lines, Values& v) {
    v.byte(static_cast<uint8_t>(lines.size()));
    for (const auto& [f, t] : lines) v.byte(f).str(t);
}

DateTime readDateTime(Args& in) {  // day, month, year Word, hour, minute, second
    DateTime t;
    t.day = in.byte();
    t.month = in.byte();
    t.year = in.word();
    t.hour = in.byte();
    t.minute = in.byte();
    t.second = in.byte();
    return t;
}

size_t findFiscal(const State& s, uint16_t type, size_t from, int step) {
    // Record numbers are 1-based; from is a record number, 0 or size+1 as sentinels.
    for (long n = static_cast<long>(from); n >= 1 && n <= static_cast<long>(s.fiscalMemory.size()); n += step)
        if (type == 0 || s.fiscalMemory[static_cast<size_t>(n) - 1].type == type) return static_cast<size_t>(n);
    throw ExecError{err::kNotFound};
}

}  // namespace

bool State::execute(uint16_t cmd, const Items& params, Values& v) {
    Args in(params);
    switch (cmd) {
    // ---- clock, rates, status
    case 14: {
        const DateTime t = now();
        v.byte(static_cast<uint8_t>(t.hour)).byte(static_cast<uint8_t>(t.minute)).byte(static_cast<uint8_t>(t.second));
        return true;
    }
    case 15:
        v.date(now());
        return true;
    case 16: {  // the time comes first on the wire: hour, minute, second, day, month, year
        DateTime t;
        t.hour = in.byte();
        t.minute = in.byte();
        t.second = in.byte();
        t.day = in.byte();
        t.month = in.byte();
        t.year = in.word();
        if (!validDateTime(t)) throw ExecError{err::kBadValue};
        setClock(t);
        return true;
    }
    case 20:
        for (uint16_t r : vat) v.word(r);
        return true;
    case 21: {
        const DateTime from = readDateTime(in);
        std::array<uint16_t, 7> r{};
        for (uint16_t& x : r) x = in.word();
        if (!validDateTime(from)) throw ExecError{err::kBadValue};
        for (uint16_t x : r)
            if (x > 10001) throw ExecError{err::kBadValue};
        vat = r;
        uint16_t changes = 0;
        for (const Record& f : fiscalMemory) changes += f.type == fiscal::kVatChange;
        Values rec;
        rec.dateHM(now()).word(static_cast<uint16_t>(changes + 1));
        for (uint16_t x : vat) rec.word(x);
        fiscalMemory.push_back({fiscal::kVatChange, std::move(rec.items)});
        return true;
    }
    case 18:
        getLines(header, v);
        return true;
    case 19:
        setLines(in, 10, header);
        return true;
    case 30:
        getLines(footer, v);
        return true;
    case 31:
        setLines(in, 3, footer);
        return true;
    case 310:
        v.byte(logoutTimeout).byte(0).byte(offTimeout);
        return true;
    case 346:
        v.byte(logoutTimeout).byte(0).byte(offTimeout).byte(lockFlag).word(unlockHour);
        return true;
    case 311: {
        const uint8_t logout = in.byte();
        in.byte();  // always 0
        const uint8_t off = in.byte();
        if (in.more()) {
            const uint8_t lock = in.byte();
            const uint16_t hour = in.word();
            lockFlag = lock;
            unlockHour = hour;
        }
        logoutTimeout = logout;
        offTimeout = off;
        return true;
    }
    case 321:
        v.str(cashregNumber);
        return true;
    case 322:
        cashregNumber = in.str();
        return true;
    case 501:
        v.byte(1).str(cashregNumber).word(0).byte(1).byte(0).byte(header.empty() ? 0 : 1).byte(0);
        v.dateTime(fiscalised).dateTime(now()).str(nip).str(uniqueNumber).str(firmware);
        return true;
    case 502:
    case 512: {
        v.byte(1).byte(0);
        // articles, then the smaller tables (users, discounts, packagings, ...)
        v.word(pluCapacity).word(static_cast<uint16_t>(articles.size()));
        static const uint16_t sizes[] = {32, 64, 64, 32, 16, 16, 64, 16, 8, 32, 16, 16};
        const int pairs = cmd == 502 ? 9 : 12;
        for (int k = 0; k < pairs; ++k) v.word(sizes[k]).word(0);
        return true;
    }
    case 503:
        v.byte(0).byte(0).byte(0).word(lastReceipt).dateTime(now());
        for (int k = 0; k < 9; ++k) v.num(0);
        return true;

    // ---- fiscal memory
    case 401:
    case 402: {
        const uint16_t type = in.word();
        const size_t n = cmd == 401 ? findFiscal(*this, type, 1, 1) : findFiscal(*this, type, fiscalMemory.size(), -1);
        v.word(fiscalMemory[n - 1].type).word(static_cast<uint16_t>(n));
        return true;
    }
    case 403:
    case 404: {
        const uint16_t type = in.word();
        const uint16_t from = in.word();
        const size_t n = cmd == 403 ? findFiscal(*this, type, size_t{from} + 1, 1)
                                    : (from <= 1 ? throw ExecError{err::kNotFound}
                                                 : findFiscal(*this, type, std::min<size_t>(from - 1u, fiscalMemory.size()), -1));
        v.word(fiscalMemory[n - 1].type).word(static_cast<uint16_t>(n));
        return true;
    }
    case 405: {
        const uint16_t n = in.word();
        if (n == 0 || n > fiscalMemory.size()) throw ExecError{err::kNotFound};
        const Record& r = fiscalMemory[n - 1];
        v.word(r.type);
        v.items.insert(v.items.end(), r.body.begin(), r.body.end());
        return true;
    }
    case 406: {
        uint16_t daily = 0, changes = 0, clears = 0;
        for (const Record& r : fiscalMemory) {
            daily += r.type == fiscal::kDaily;
            changes += r.type == fiscal::kVatChange;
            clears += r.type == fiscal::kRamClear;
        }
        v.str(uniqueNumber).str(nip).word(daily).word(2100).word(changes).word(30).word(clears).word(200);
        return true;
    }

    // ---- sale journal
    case 451: {
        const uint8_t how = in.byte();  // 0 next, 1 from the first record, 2 the last one again
        size_t idx;
        if (how == 1) idx = 0;
        else if (how == 2) idx = journalLast;
        else idx = journalNext;
        if (idx >= journal.size()) throw ExecError{err::kNoRecord};
        journalLast = idx;
        journalNext = idx + 1;
        const Record& r = journal[idx];
        const size_t after = journal.size() - idx - 1;
        v.byte(journal.size() >= kJournalCapacity ? 1 : 0)
            .word(static_cast<uint16_t>(std::min<size_t>(after, 0xFFFF)))
            .word(r.type);
        v.items.insert(v.items.end(), r.body.begin(), r.body.end());
        return true;
    }
    case 452:
        v.byte(static_cast<uint8_t>(std::min<size_t>(100, journal.size() * 100 / kJournalCapacity)));
        return true;
    case 453:
        journal.clear();
        journalNext = journalLast = 0;
        return true;

    // ---- articles
    case 2100: {
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
        insertArticle(*this, std::move(a), ow, owNonZero);
        return true;
    }
    case 2101: {
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
        insertArticle(*this, std::move(a), ow, owNonZero);
        return true;
    }
    case 2200: {
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
            articleByNumber(*this, m.plu);
            a.members.push_back(m);
        }
        auto old = articles.find(a.number);
        if (add && old != articles.end() && old->second.type == 1) {
            std::vector<SetMember> merged = old->second.members;
            merged.insert(merged.end(), a.members.begin(), a.members.end());
            a.members = std::move(merged);
        }
        insertArticle(*this, std::move(a), ow, owNonZero);
        return true;
    }
    case 2110:
    case 2112: {
        const uint16_t n = in.word();
        std::string code;
        if (cmd == 2112) code = in.str();
        const bool withBarcodes = in.byte() != 0;
        const Article& a = code.empty() ? articleByNumber(*this, n) : articleByBarcode(*this, code);
        v.word(a.number);
        articleAnswer(a, withBarcodes, false, v);
        if (cmd == 2112) v.byte(a.notepad);
        return true;
    }
    case 2111: {
        const std::string code = in.str();
        const bool withBarcodes = in.byte() != 0;
        const Article& a = articleByBarcode(*this, code);
        v.str(code);
        articleAnswer(a, withBarcodes, true, v);
        return true;
    }
    case 2120: {
        const uint16_t from = std::max<uint16_t>(1, in.word());
        for (uint32_t n = from; n <= pluCapacity; ++n)
            if (!articles.count(static_cast<uint16_t>(n))) {
                v.word(static_cast<uint16_t>(n));
                return true;
            }
        throw ExecError{err::kFull};
    }
    case 2130: {
        const std::string name = in.str();
        for (const auto& [n, a] : articles)
            if (a.name == name) {
                v.word(n);
                return true;
            }
        throw ExecError{err::kNotFound};
    }
    case 2131:
        v.word(articleByBarcode(*this, in.str()).number);
        return true;
    case 2140:
    case 2141: {
        const uint16_t n = cmd == 2140 ? articleByNumber(*this, in.word()).number
                                       : articleByBarcode(*this, in.str()).number;
        const uint8_t nonZero = in.byte();
        const uint8_t fromSets = in.byte();
        const Article& a = articles.at(n);
        if ((a.statValue != 0 || a.statQty != 0) && !nonZero) throw ExecError{err::kNonZero};
        if (inSomeSet(n)) {
            if (!fromSets) throw ExecError{err::kInSet};
            for (auto& [k, s] : articles)
                s.members.erase(std::remove_if(s.members.begin(), s.members.end(),
                                               [n](const SetMember& m) { return m.plu == n; }),
                                s.members.end());
        }
        eraseArticle(n);
        return true;
    }
    case 2150: {
        const uint8_t flags = in.byte();  // bit 0: also records with non-zero totals
        std::vector<uint16_t> gone;
        for (const auto& [n, a] : articles)
            if ((flags & 1) || (a.statValue == 0 && a.statQty == 0)) gone.push_back(n);
        for (uint16_t n : gone) eraseArticle(n);
        for (auto& [k, s] : articles)
            s.members.erase(std::remove_if(s.members.begin(), s.members.end(),
                                           [this](const SetMember& m) { return !articles.count(m.plu); }),
                            s.members.end());
        return true;
    }
    case 2160:
    case 2161: {
        std::string code;
        const uint16_t n = cmd == 2160 ? in.word() : articleByBarcode(*this, code = in.str()).number;
        Article& a = articleByNumber(*this, n);
        const uint8_t clear = in.byte();
        if (cmd == 2160) v.word(n);
        else v.str(code);
        statAnswer(a, v);
        if (clear) clearStats(*this, a);
        return true;
    }
    case 2170: {
        const uint8_t stocks = in.byte();
        in.byte();  // date flag: the clearing date is always recorded
        for (auto& [n, a] : articles) {
            clearStats(*this, a);
            if (stocks) {
                a.stock = 0;
                a.stockDate = now();
            }
        }
        return true;
    }
    case 2171:
        for (auto& [n, a] : articles) {
            a.stock = 0;
            a.stockDate = now();
        }
        return true;
    case 2180: {
        Article& a = articleByNumber(*this, in.word());
        const int64_t q = in.num();
        const uint8_t increase = in.byte();  // non-zero adds, zero takes away
        a.stock += increase ? q : -q;
        a.stockDate = now();
        return true;
    }
    case 2181:
    case 2185: {
        Article& a = cmd == 2181 ? articleByNumber(*this, in.word())
                                 : articles.at(articleByBarcode(*this, in.str()).number);
        a.price = in.num();
        return true;
    }
    case 2182: {
        Article& a = articleByNumber(*this, in.word());
        a.minStock = in.num();
        return true;
    }
    case 2183:
    case 2186: {
        std::string code;
        const uint16_t n = cmd == 2183 ? in.word() : articleByBarcode(*this, code = in.str()).number;
        const Article& a = articleByNumber(*this, n);
        if (cmd == 2183) v.word(n);
        else v.str(code);
        v.str(a.name).num(a.minStock).num(a.stock).date(a.stockDate);
        return true;
    }
    case 2184: {
        Article& set = articleByNumber(*this, in.word());
        const uint16_t plu = in.word();
        const int64_t qty = in.num();
        const int64_t price = in.num();
        if (set.type != 1 || plu == set.number) throw ExecError{err::kBadValue};
        articleByNumber(*this, plu);
        auto m = std::find_if(set.members.begin(), set.members.end(), [plu](const SetMember& x) { return x.plu == plu; });
        if (m == set.members.end()) set.members.push_back({plu, qty, price});
        else *m = {plu, qty, price};
        return true;
    }
    case 2210:
    case 2260: {
        const Article& set = articleByNumber(*this, in.word());
        if (set.type != 1) throw ExecError{err::kNotFound};
        v.word(set.number);
        // 2260 answers the members' sale statistics, which this register keeps at zero.
        for (const SetMember& m : set.members) v.word(m.plu).num(cmd == 2210 ? m.qty : 0).num(cmd == 2210 ? m.price : 0);
        return true;
    }

    // ---- additional barcodes and notepad
    case 2300: {
        Article& a = articleByNumber(*this, in.word());
        std::vector<std::string> add;
        while (in.more()) {
            std::string c = in.str();
            if (c.empty()) throw ExecError{err::kBadValue};
            checkBarcodeFree(*this, c, a.number);
            if (c != a.barcode && std::find(a.barcodes.begin(), a.barcodes.end(), c) == a.barcodes.end() &&
                std::find(add.begin(), add.end(), c) == add.end())
                add.push_back(std::move(c));
        }
        if (a.barcodes.size() + add.size() > kMaxBarcodesPerArticle) throw ExecError{err::kFull};
        for (std::string& c : add) {
            byBarcode[c] = a.number;
            a.barcodes.push_back(std::move(c));
        }
        return true;
    }
    case 2310: {
        const Article& a = articleByNumber(*this, in.word());
        v.word(a.number);
        for (const std::string& c : a.barcodes) v.str(c);
        return true;
    }
    case 2340: {
        const std::string c = in.str();
        const Article* a = findBarcode(c);
        if (!a || a->barcode == c) throw ExecError{err::kNotFound};  // primary barcodes stay
        Article& owner = articles.at(a->number);
        owner.barcodes.erase(std::remove(owner.barcodes.begin(), owner.barcodes.end(), c), owner.barcodes.end());
        byBarcode.erase(c);
        return true;
    }
    case 2350: {
        Article& a = articleByNumber(*this, in.word());
        for (const std::string& c : a.barcodes) byBarcode.erase(c);
        a.barcodes.clear();
        return true;
    }
    case 2400:
    case 2440:
        articleByNumber(*this, in.word()).notepad = cmd == 2400 ? 1 : 0;
        return true;
    case 2450:
        for (auto& [n, a] : articles) a.notepad = 0;
        return true;
    case 2480: {
        const std::string name = in.str();
        for (const auto& [n, a] : articles)
            if (a.name == name) {
                v.byte(1).word(a.vat < 7 ? vat[a.vat] : 0);
                return true;
            }
        v.byte(0).word(0);
        return true;
    }
    default:
        return false;
    }
}

}  // namespace trvsim
