// Printed reports of the simulated register. Each report is one printout on
// the paper roll (State::printed): the header lines, the clock and the
// printout's number, the title, the selectors the report was asked with,
// what the register holds for them, and the footer lines. The fiscal daily
// report also writes a record to the fiscal memory and starts a new day.
//
// Reports are long commands: the register stays busy after each (see
// Session::execute); a report that cannot be made fails at once and prints
// nothing.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <iterator>

#include "sim_commands.h"

namespace trvsim {

namespace {

constexpr size_t kWidth = 40;  // characters per line of the roll
constexpr const char* kNoData = "BRAK DANYCH";

std::string two(int v) {
    char b[8];
    std::snprintf(b, sizeof b, "%02d", v);
    return b;
}
std::string dateText(const DateTime& t) { return std::to_string(t.year) + "-" + two(t.month) + "-" + two(t.day); }
std::string dateHMText(const DateTime& t) { return dateText(t) + " " + two(t.hour) + ":" + two(t.minute); }
std::string rateLetter(size_t i) { return std::string(1, static_cast<char>('A' + i)); }

// A VAT rate in hundredths of a percent: 10000 is exempt, 10001 not in use.
std::string rateText(uint16_t r) {
    if (r == 10000) return "ZW";
    if (r == 10001) return "NIEAKTYWNA";
    char b[16];
    std::snprintf(b, sizeof b, "%u.%02u %%", r / 100u, r % 100u);
    return b;
}

// One printout, built line by line.
class Printout {
public:
    enum Kind { NonFiscal, Fiscal };

    Printout(const State& s, const std::string& title, Kind kind = NonFiscal) : kind_(kind) {
        for (const auto& h : s.header) center(h.second);
        if (kind_ == Fiscal) center("NIP " + s.nip);
        pair(dateHMText(s.now()), "nr " + std::to_string(s.printouts + 1));
        rule();
        center(title);
    }

    Printout& line(const std::string& t) {
        text_ += t + "\n";
        return *this;
    }
    Printout& center(const std::string& t) {
        return line(t.size() >= kWidth ? t : std::string((kWidth - t.size()) / 2, ' ') + t);
    }
    // Left and right text on one line, as far apart as the roll allows.
    Printout& pair(const std::string& left, const std::string& right) {
        const size_t used = left.size() + right.size();
        return line(left + std::string(used < kWidth ? kWidth - used : 1, ' ') + right);
    }
    Printout& pair(const std::string& left, int64_t right) { return pair(left, std::to_string(right)); }
    Printout& rule() { return line(std::string(kWidth, '-')); }
    // The values the report was asked with, under the names the library gives them.
    Printout& selectors(std::initializer_list<std::pair<const char*, std::string>> values) {
        for (const auto& [name, value] : values) pair(name, value);
        return *this;
    }
    Printout& selector(const char* name, int64_t value) { return pair(name, value); }

    // The end of the printout: the fiscal or non-fiscal mark, the footer
    // lines and the cut.
    void print(State& s) {
        rule();
        center(kind_ == Fiscal ? s.uniqueNumber : "NIEFISKALNY");
        for (const auto& f : s.footer) center(f.second);
        line(std::string(kWidth, '='));
        ++s.printouts;
        s.printed.push_back(std::move(text_));
    }

private:
    Kind kind_;
    std::string text_;
};

// ---- request values

// A date (with hour and minute) that must be a real one.
DateTime readDate(Args& in) {
    const DateTime t = in.date();
    if (!validDateTime(t)) throw ExecError{err::kBadValue};
    return t;
}

DateTime readDateHM(Args& in) {
    const DateTime t = in.dateHM();
    if (!validDateTime(t)) throw ExecError{err::kBadValue};
    return t;
}

bool sameDayOrBefore(const DateTime& a, const DateTime& b) {
    return toEpoch(DateTime{a.year, a.month, a.day}) <= toEpoch(DateTime{b.year, b.month, b.day});
}

// ---- articles

void articleLines(Printout& p, const Article& a) {
    p.pair("PLU " + std::to_string(a.number), a.name);
    p.pair("  " + (a.barcode.empty() ? std::string("-") : a.barcode),
           "PTU " + rateLetter(std::min<size_t>(a.vat, 6)) + "  " + std::to_string(a.price));
}

// Prints the articles that pass the test, or that there are none.
void articleReport(State& s, Printout& p, const std::function<bool(const Article&)>& wanted) {
    p.rule();
    size_t n = 0;
    for (const auto& [number, a] : s.articles)
        if (wanted(a)) articleLines(p, a), ++n;
    if (n == 0) p.center(kNoData);
    else p.rule().pair("LICZBA PLU", static_cast<int64_t>(n));
    p.print(s);
}

// identyfikator, typ_raportu, zakres_raportu: the first three values of
// every article report.
Printout articlePrintout(const State& s, const std::string& title, Args& in, const char* first = "identyfikator") {
    Printout p(s, title);
    const uint8_t id = in.byte(), type = in.byte(), range = in.byte();
    p.selector(first, id).selector("typ_raportu", type).selector("zakres_raportu", range);
    return p;
}

// Whether text lies in [from, to]; an empty end is open.
bool inRange(const std::string& text, const std::string& from, const std::string& to) {
    return text >= from && (to.empty() || text <= to);
}

void addArticleReports(Handlers& h) {
    h.add(cmd::RepPLUByRecNo, [](State& s, Args& in, Values&) {
        Printout p = articlePrintout(s, "RAPORT PLU WG NUMERU", in);
        const uint16_t n = in.word();
        p.selector("numer_rekordu", n);
        if (!s.articles.count(n)) throw ExecError{err::kNotFound};
        articleReport(s, p, [n](const Article& a) { return a.number == n; });
    });
    h.add(cmd::RepPLUByRecRange, [](State& s, Args& in, Values&) {
        Printout p = articlePrintout(s, "RAPORT PLU WG NUMEROW", in);
        const uint16_t from = in.word(), to = in.word();
        if (from > to) throw ExecError{err::kBadValue};
        p.selector("numer_pocz", from).selector("numer_konc", to);
        articleReport(s, p, [=](const Article& a) { return a.number >= from && a.number <= to; });
    });
    h.add(cmd::RepPLUByNameRange, [](State& s, Args& in, Values&) {
        Printout p = articlePrintout(s, "RAPORT PLU WG NAZW", in);
        const std::string from = in.str(), to = in.str();
        if (!to.empty() && from > to) throw ExecError{err::kBadValue};
        p.selectors({{"nazwa_pocz", from}, {"nazwa_koncowa", to}});
        articleReport(s, p, [&](const Article& a) { return inRange(a.name, from, to); });
    });
    h.add(cmd::RepPLUByVAT, [](State& s, Args& in, Values&) {
        Printout p = articlePrintout(s, "RAPORT PLU WG STAWKI PTU", in);
        const uint8_t rate = in.byte();
        if (rate > 6) throw ExecError{err::kBadValue};
        p.selectors({{"stawka_vat", rateLetter(rate)}});
        articleReport(s, p, [rate](const Article& a) { return a.vat == rate; });
    });
    h.add(cmd::RepPLUByGroup, [](State& s, Args& in, Values&) {
        Printout p = articlePrintout(s, "RAPORT PLU WG GRUPY", in);
        const uint8_t group = in.byte();
        p.selector("numer_grupy", group);
        articleReport(s, p, [group](const Article& a) { return a.group == group; });
    });
    h.add(cmd::RepNotepad, [](State& s, Args&, Values&) {
        Printout p(s, "RAPORT NOTATNIKA");
        articleReport(s, p, [](const Article& a) { return a.notepad != 0; });
    });
    h.add(cmd::RepPluByCode, [](State& s, Args& in, Values&) {
        Printout p = articlePrintout(s, "RAPORT PLU WG KODU", in, "identyfikator_raportu");
        const std::string code = in.str();
        p.selectors({{"kod_kreskowy", code}});
        const Article* found = s.findBarcode(code);
        if (!found) throw ExecError{err::kNotFound};
        const uint16_t n = found->number;
        articleReport(s, p, [n](const Article& a) { return a.number == n; });
    });
    h.add(cmd::RepPluByCodeRange, [](State& s, Args& in, Values&) {
        Printout p = articlePrintout(s, "RAPORT PLU WG KODOW", in, "identyfikator_raportu");
        const std::string from = in.str(), to = in.str();
        if (!to.empty() && from > to) throw ExecError{err::kBadValue};
        p.selectors({{"kod_kreskowy_od", from}, {"kod_kreskowy_do", to}});
        articleReport(s, p, [&](const Article& a) { return !a.barcode.empty() && inRange(a.barcode, from, to); });
    });
    // Articles that sold nothing since their statistics were started on or
    // before the date.
    h.add(cmd::RepInactivePLU, [](State& s, Args& in, Values&) {
        Printout p(s, "RAPORT PLU NIEAKTYWNYCH");
        const DateTime since = readDate(in);
        p.selectors({{"date", dateText(since)}});
        articleReport(s, p,
                      [&](const Article& a) { return a.statQty == 0 && sameDayOrBefore(a.statDate, since); });
    });
}

// ---- tables this register does not keep: the title and the selectors

void addOtherDatabaseReports(Handlers& h) {
    struct Plain {
        uint16_t cmd;
        const char* title;
    };
    // typ_raportu, zakres_raportu, numer_rekordu
    for (Plain r : {Plain{1110, "RAPORT OPAKOWAN"}, Plain{1111, "RAPORT KASJEROW"}, Plain{1112, "RAPORT RABATOW"},
                    Plain{1113, "RAPORT FORM PLATNOSCI"}, Plain{1118, "RAPORT GRUP"}}) {
        h.add(r.cmd, [r](State& s, Args& in, Values&) {
            Printout p(s, r.title);
            const uint8_t type = in.byte(), range = in.byte();
            const uint16_t n = in.word();
            p.selector("typ_raportu", type).selector("zakres_raportu", range).selector("numer_rekordu", n);
            p.rule().center(kNoData).print(s);
        });
    }
    // Two zero Bytes, then the record number.
    for (Plain r : {Plain{1114, "RAPORT JEDNOSTEK MIARY"}, Plain{1115, "RAPORT KLAWISZY"},
                    Plain{1116, "RAPORT ZESTAWU RAPORTOW"}, Plain{1117, "RAPORT FORMATOW KODOW"},
                    Plain{1120, "RAPORT RABATOW AUTOMATYCZNYCH"}, Plain{1121, "RAPORT OPISOW PLU"}}) {
        h.add(r.cmd, [r](State& s, Args& in, Values&) {
            Printout p(s, r.title);
            in.byte();
            in.byte();
            p.selector(r.cmd == 1116 ? "numer_zestawu" : "numer_rekordu", in.word());
            p.rule().center(kNoData).print(s);
        });
    }
    for (Plain r : {Plain{1151, "RAPORT MAGAZYNU OPAKOWAN"}, Plain{1153, "RAPORT BRAKOW OPAKOWAN"}}) {
        h.add(r.cmd, [r](State& s, Args&, Values&) { Printout(s, r.title).rule().center(kNoData).print(s); });
    }
    h.add(cmd::RepGroupStat, [](State& s, Args& in, Values&) {
        Printout p(s, "RAPORT STATYSTYK GRUP");
        const uint8_t kind = in.byte(), type = in.byte(), range = in.byte();
        const uint16_t n = in.word();
        p.selector("rodzaj_raportu", kind).selector("typ_raportu", type).selector("zakres", range);
        p.selector("numer_rekordu", n).rule().center(kNoData).print(s);
    });
    h.add(cmd::RepHours, [](State& s, Args& in, Values&) {
        Printout p(s, "RAPORT GODZINOWY");
        const uint8_t kind = in.byte(), range = in.byte();
        p.selector("rodzaj", kind).selector("zakres", range).rule().center(kNoData).print(s);
    });
}

// ---- settings and the register itself

void addSettingsReports(Handlers& h) {
    h.add(cmd::RepPTU, [](State& s, Args&, Values&) {
        Printout p(s, "RAPORT STAWEK PTU");
        p.rule();
        for (size_t i = 0; i < s.vat.size(); ++i) p.pair("PTU " + rateLetter(i), rateText(s.vat[i]));
        p.print(s);
    });
    h.add(cmd::RepCfgSale, [](State& s, Args&, Values&) {
        Printout p(s, "KONFIGURACJA SPRZEDAZY");
        p.rule().pair("WYLOGOWANIE [MIN]", s.logoutTimeout).pair("WYLACZENIE [MIN]", s.offTimeout);
        p.pair("BLOKADA", s.lockFlag).pair("GODZINA ODBLOKOWANIA", s.unlockHour).print(s);
    });
    h.add(cmd::RepCfgHardware, [](State& s, Args&, Values&) {
        Printout p(s, "KONFIGURACJA SPRZETU");
        p.rule().pair("OPROGRAMOWANIE", s.firmware).pair("NR UNIKATOWY", s.uniqueNumber).print(s);
    });
    for (uint16_t cmd : {uint16_t{1164}, uint16_t{1171}}) {
        h.add(cmd, [cmd](State& s, Args&, Values&) {
            Printout p(s, cmd == 1164 ? "KONFIGURACJA KOMUNIKACJI" : "KONFIGURACJA KOMUNIKACJI XEL");
            p.rule().pair("NR KASY", s.cashregNumber).print(s);
        });
    }
    h.add(cmd::RepCashReg, [](State& s, Args&, Values&) {
        Printout p(s, "RAPORT KASY");
        p.rule().pair("NR KASY", s.cashregNumber).pair("NIP", s.nip).pair("NR UNIKATOWY", s.uniqueNumber);
        p.pair("FISKALIZACJA", dateHMText(s.fiscalised)).pair("OPROGRAMOWANIE", s.firmware);
        const auto used = [&](uint16_t type, uint16_t limit) {
            return std::to_string(s.fiscalCount(type)) + "/" + std::to_string(limit);
        };
        p.pair("RAPORTY DOBOWE", used(fiscal::kDaily, fiscal::kDailyLimit));
        p.pair("ZMIANY PTU", used(fiscal::kVatChange, fiscal::kVatChangeLimit));
        p.pair("ZEROWANIA RAM", used(fiscal::kRamClear, fiscal::kRamClearLimit)).print(s);
    });
    h.add(cmd::RepService, [](State& s, Args&, Values&) {
        Printout p(s, "RAPORT SERWISOWY");
        p.rule().pair("OPROGRAMOWANIE", s.firmware).pair("ZEGAR", dateHMText(s.now()));
        p.pair("REKORDY PAMIECI FISKALNEJ", static_cast<int64_t>(s.fiscalMemory.size())).print(s);
    });
}

// ---- fiscal reports

// The totals of one day as the daily report prints them.
void dayLines(Printout& p, const Day& d) {
    for (size_t i = 0; i < d.totals.size(); ++i) p.pair("SPRZEDAZ " + rateLetter(i), d.totals[i]);
    p.pair("PARAGONY", d.receipts).pair("ANULOWANE", d.cancelled).pair("WARTOSC ANULOWANYCH", d.cancelledValue);
    p.pair("ZMIANY PLU", d.articleChanges);
}

// A daily record of the fiscal memory: date, number, then the day.
struct DailyRecord {
    DateTime date;
    uint16_t number = 0;
    Day day;
};

DateTime recordDate(const Record& r) {
    Args in(r.body);
    return in.dateHM();
}

DailyRecord readDaily(const Record& r) {
    Args in(r.body);
    DailyRecord d;
    d.date = in.dateHM();
    d.number = in.word();
    d.day.receipts = in.word();
    d.day.cancelled = in.word();
    for (int64_t& t : d.day.totals) t = in.num();
    d.day.cancelledValue = in.num();
    d.day.articleChanges = in.dword();
    return d;
}

void writeDaily(State& s, const DailyRecord& d) {
    Values v;
    v.dateHM(d.date).word(d.number).word(d.day.receipts).word(d.day.cancelled);
    for (int64_t t : d.day.totals) v.num(t);
    v.num(d.day.cancelledValue).dword(d.day.articleChanges);
    s.fiscalMemory.push_back({fiscal::kDaily, std::move(v.items)});
}

// The daily report: a record of the running day in the fiscal memory, then
// a new day. Records stay in the order of time: a date before the last
// record's is refused.
void dailyReport(State& s, Args& in) {
    const bool dated = in.more();
    const DateTime when = dated ? readDateHM(in) : s.now();
    if (!s.fiscalMemory.empty() && toEpoch(when) < toEpoch(recordDate(s.fiscalMemory.back())))
        throw ExecError{err::kBadValue};
    if (s.fiscalCount(fiscal::kDaily) >= fiscal::kDailyLimit) throw ExecError{err::kFull};

    DailyRecord d{when, static_cast<uint16_t>(s.fiscalCount(fiscal::kDaily) + 1), s.today};
    writeDaily(s, d);
    s.today = Day{};

    Printout p(s, "RAPORT DOBOWY FISKALNY", Printout::Fiscal);
    if (dated) p.selectors({{"date_time", dateHMText(when)}});
    p.rule().pair("RAPORT NR", d.number).pair("DATA", dateHMText(when));
    dayLines(p, d.day);
    p.print(s);
}

// Periodic and monthly reports: the records of the period one line each
// (unless only the summary was asked for), then the sums of its daily
// reports.
void periodReport(State& s, Printout& p, bool summaryOnly, const std::function<bool(const Record&)>& inPeriod) {
    static const char* const kNames[] = {"", "RAPORT DOBOWY", "FISKALIZACJA", "ZMIANA PTU", "ZEROWANIE RAM",
                                         "START SPRZEDAZY"};
    Day sum;
    size_t dailies = 0, records = 0;
    p.rule();
    for (const Record& r : s.fiscalMemory) {
        if (!inPeriod(r)) continue;
        ++records;
        if (r.type == fiscal::kDaily) {
            const DailyRecord d = readDaily(r);
            ++dailies;
            for (size_t i = 0; i < sum.totals.size(); ++i) sum.totals[i] += d.day.totals[i];
            sum.receipts = static_cast<uint16_t>(sum.receipts + d.day.receipts);
            sum.cancelled = static_cast<uint16_t>(sum.cancelled + d.day.cancelled);
            sum.cancelledValue += d.day.cancelledValue;
            sum.articleChanges += d.day.articleChanges;
            if (!summaryOnly) p.pair("RAPORT DOBOWY NR " + std::to_string(d.number), dateHMText(d.date));
        } else if (!summaryOnly) {
            p.pair(r.type < std::size(kNames) ? kNames[r.type] : "REKORD", dateHMText(recordDate(r)));
        }
    }
    if (records == 0) {
        p.center(kNoData).print(s);
        return;
    }
    if (!summaryOnly) p.rule();
    p.center("PODSUMOWANIE").pair("RAPORTY DOBOWE", static_cast<int64_t>(dailies));
    dayLines(p, sum);
    p.print(s);
}

void addFiscalReports(Handlers& h) {
    h.add(cmd::RepFskDaily, [](State& s, Args& in, Values&) { dailyReport(s, in); });
    h.add(cmd::RepNoFskDaily, [](State& s, Args&, Values&) {
        Printout p(s, "RAPORT DOBOWY NIEFISKALNY");
        p.rule();
        dayLines(p, s.today);
        p.print(s);
    });
    h.add(cmd::RepFskPeriodByNum, [](State& s, Args& in, Values&) {
        const uint16_t from = in.word(), to = in.word();
        const uint8_t summary = in.byte();
        if (from == 0 || from > to) throw ExecError{err::kBadValue};
        Printout p(s, "RAPORT OKRESOWY WG NUMEROW", Printout::Fiscal);
        p.selector("num_od", from).selector("num_do", to).selector("czy_podsumowania", summary);
        periodReport(s, p, summary != 0, [&](const Record& r) {
            if (r.type != fiscal::kDaily) return false;
            const uint16_t n = readDaily(r).number;
            return n >= from && n <= to;
        });
    });
    h.add(cmd::RepFskPeriodByDate, [](State& s, Args& in, Values&) {
        const DateTime from = readDate(in), to = readDate(in);
        const uint8_t summary = in.byte();
        if (!sameDayOrBefore(from, to)) throw ExecError{err::kBadValue};
        Printout p(s, "RAPORT OKRESOWY WG DAT", Printout::Fiscal);
        p.selectors({{"data_od", dateText(from)}, {"data_do", dateText(to)}});
        p.selector("czy_podsumowania", summary);
        periodReport(s, p, summary != 0, [&](const Record& r) {
            const DateTime d = recordDate(r);
            return sameDayOrBefore(from, d) && sameDayOrBefore(d, to);
        });
    });
    h.add(cmd::RepFskMonthly, [](State& s, Args& in, Values&) {
        DateTime month;
        month.month = in.byte();
        month.year = in.word();
        const uint8_t summary = in.byte();
        if (!validDateTime(month)) throw ExecError{err::kBadValue};
        Printout p(s, "RAPORT MIESIECZNY", Printout::Fiscal);
        p.selectors({{"data", std::to_string(month.year) + "-" + two(month.month)}});
        p.selector("czy_podsumowania", summary);
        periodReport(s, p, summary != 0, [&](const Record& r) {
            const DateTime d = recordDate(r);
            return d.year == month.year && d.month == month.month;
        });
    });
}

}  // namespace

void cmd_reports::addCommands(Handlers& h) {
    addArticleReports(h);
    addOtherDatabaseReports(h);
    addSettingsReports(h);
    addFiscalReports(h);
}

}  // namespace trvsim
