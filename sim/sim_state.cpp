#include "sim_state.h"

#include "sim_commands.h"

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

DateTime Args::date() {
    DateTime t;
    t.day = byte();
    t.month = byte();
    t.year = word();
    return t;
}
DateTime Args::dateHM() {
    DateTime t = date();
    hourMinute(t);
    return t;
}
DateTime Args::dateTime() {
    DateTime t = dateHM();
    t.second = byte();
    return t;
}
void Args::hourMinute(DateTime& t) {
    t.hour = byte();
    t.minute = byte();
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
    ++today.articleChanges;
}

void State::putArticle(Article a) {
    const uint16_t n = a.number;
    for (auto b = byBarcode.begin(); b != byBarcode.end();)
        b = b->second == n ? byBarcode.erase(b) : std::next(b);
    if (!a.barcode.empty()) byBarcode[a.barcode] = n;
    for (const std::string& c : a.barcodes) byBarcode[c] = n;
    articles[n] = std::move(a);
    ++today.articleChanges;
}

size_t State::fiscalCount(uint16_t type) const {
    return static_cast<size_t>(std::count_if(fiscalMemory.begin(), fiscalMemory.end(),
                                             [type](const Record& r) { return r.type == type; }));
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
    a.group = 1;
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
    b.packaging = 3;
    b.group = 2;
    putArticle(b);

    // Packagings: a crate, and the bottle that article 2 comes in (sold
    // twice in the sample journal).
    Packaging crate;
    crate.number = 1;
    crate.name = "SKRZYNKA";
    crate.barcode = "5900000000109";
    crate.price = 1500;
    crate.minStock = 5;
    crate.stock = 20;
    packagings[1] = crate;
    Packaging bottle;
    bottle.number = 3;
    bottle.name = "BUTELKA 0,5L";
    bottle.barcode = "5900000000307";
    bottle.price = 50;
    bottle.minStock = 100;
    bottle.fixedPrice = 1;
    bottle.sold = 2;
    bottle.valueSold = 100;
    bottle.stock = 240;
    packagings[3] = bottle;

    // Hotkeys: key 1 sells one article 1 (cash), key 2 prints the daily fiscal report.
    Values quickSale, dailyReport;
    quickSale.word(1).num(1).byte(0).byte(0);
    dailyReport.word(3465).byte(0).byte(0);
    hotkeys[1] = Hotkey{hotkey::kQuickSale, 3200, std::move(quickSale.items)};
    hotkeys[2] = Hotkey{hotkey::kReport, 3465, std::move(dailyReport.items)};

    // The small tables: the articles' groups and unit, the payment forms the
    // sample receipts pay with, and one or two records of the others.
    groups[1].name = "PIECZYWO";
    groups[2].name = "NABIAL";
    units[1] = {"SZTUKA", "szt"};
    units[2] = {"KILOGRAM", "kg"};
    units[3] = {"LITR", "l"};
    payForms[1] = {"GOTOWKA", 0, 0x0001, "", 0, 0};
    payForms[2] = {"EUR", 5, 0x0001, "EUR", 40000, 0};
    payForms[3] = {"KARTA", 2, 0x0002, "", 5000, 0};
    codeFormats[1] = "21PPPPPQQQQQC";
    codeFormats[2] = "22PPPPPVVVVVC";
    cashoutDescs[1] = {"WPLATA DO BANKU", 0};
    cashoutDescs[2] = {"ZAKUP TOWARU", 1};
    errorMessages[1] = {err::kNotFound, 0, "NIE MA TAKIEGO TOWARU"};
    errorMessages[2] = {err::kFull, 1, "BAZA PELNA"};
    pluDescriptions[1] = "CHLEB PSZENNY 500 G";

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

    // The cashiers and discounts of the sample receipts; their statistics
    // are counted from the journal below, the shift times are given here.
    const auto since2000 = [](const DateTime& t) { return static_cast<uint32_t>(toEpoch(t) - toEpoch(DateTime{})); };
    User anna;
    anna.number = 1;
    anna.name = "ANNA";
    anna.password = anna.pin = "1111";
    anna.rights = 0x001F;
    anna.reportRights = 0x01;
    anna.keyRights = 0x0F;
    anna.receiptLimit = 100000;
    anna.stats.firstLogin = anna.stats.lastLogin = since2000(when(8, 55));
    anna.stats.lastLogout = since2000(when(11, 0));
    anna.stats.workSeconds = 7500;
    anna.stats.cashIn = 20000;  // the float at the start of the shift
    users[1] = anna;
    User boss;
    boss.number = 2;
    boss.name = "KIEROWNIK";
    boss.password = boss.pin = "9999";
    boss.card = "9900000000002";
    boss.rights = 0x3FFFF;
    boss.reportRights = boss.keyRights = 0xFF;
    boss.stats.firstLogin = since2000(when(8, 0));
    boss.stats.lastLogin = since2000(when(9, 18));
    boss.stats.lastLogout = since2000(when(9, 25));
    boss.stats.workSeconds = 3600;
    users[2] = boss;

    Discount regular;
    regular.number = 4;
    regular.name = "RABAT STALY KLIENT";
    regular.type = 1;  // an amount off
    regular.value = 150;
    discounts[4] = regular;
    Discount milk;
    milk.number = 5;
    milk.name = "PROMOCJA MLEKO";
    milk.kind = 1;
    milk.withDiscounts = 1;
    milk.thresholds = {{5, 500}, {10, 1000}};
    discounts[5] = milk;
    Discount threeForTwo;
    threeForTwo.number = 6;
    threeForTwo.name = "3 ZA 2";
    threeForTwo.kind = 2;
    threeForTwo.m = 3;
    threeForTwo.n = 2;
    discounts[6] = threeForTwo;
    autoDiscounts[1] = AutoDiscount{1, 5, 0, DateTime{2009, 3, 1, 8, 0, 0}, DateTime{2009, 12, 31, 12, 0, 0}};

    for (const Record& r : journal) countSale(*this, r);

    // Settings that live per number: the ports, a price verifier, the two
    // displays with a rolling text, an external printer, monitor strings.
    Settings& st = settings;
    st.ports[1] = SerialPort{1, "PC", LineCodes{7, 0, 0, 0, 0}, 0};  // 115200,8,N,1,N
    st.ports[2] = SerialPort{2, "SKANER", LineCodes{3, 0, 0, 0, 0}, 0};
    st.ports[3] = SerialPort{3, "WAGA", LineCodes{3, 0, 1, 1, 0}, 1};  // 9600,7,E,1,N
    st.ports[4] = SerialPort{0, "", LineCodes{}, 0};
    st.priceVerifiers[0].lines = {"SPRAWDZ CENE", "ZBLIZ KOD", "", ""};
    st.displays[0] = Display{};
    st.displays[1] = Display{10, 1, 1, 60};
    st.displayContents[0] = {DisplayEntry{1, "ZAPRASZAMY", 0, 2, 0, 0}, DisplayEntry{2, "", 0, 0, 0, 1}};
    st.externalPrinters[1].header = {"SKLEP TESTOWY", "KUCHNIA", ""};
    st.monitorStrings[1] = "PARAGON";
    st.monitorStrings[2] = "ANULOWANIE";

    // The running day: the three receipts of the journal, one of them cancelled.
    today = Day{};
    today.receipts = 3;
    today.cancelled = 1;
    today.totals = {1050, 1395, 0, 0, 0, 0, 0};
    today.cancelledValue = 350;
}

// ---- running a command

bool State::execute(uint16_t cmd, const Items& params, Values& v) {
    const CommandTable& table = commandTable();
    if (std::string wrong = table.requestMismatch(cmd, params); !wrong.empty())
        throw ExecError{err::kBadLayout, std::move(wrong)};
    if (const Handler* h = handlers().find(cmd)) {
        Args in(params);
        (*h)(*this, in, v);
        return true;
    }
    // A command of the library that this register does not model still gets
    // an answer of the right shape.
    if (!table.knows(cmd)) return false;
    v.items = table.defaultAnswer(cmd);
    return true;
}

}  // namespace trvsim
