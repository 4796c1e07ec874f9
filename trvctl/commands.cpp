#include "commands.h"

#include <algorithm>
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>

#include "charset.h"
#include "codes.h"
#include "output.h"
#include "session.h"
#include "tables.h"
#include "util.h"
#include "tarvik/mirtel.h"

namespace trvctl {

namespace {

Request plain(const std::string& send, const std::vector<std::string>& args = {}) {
    const Call& c = callNamed(send);
    return makeRequest(c, args, plainReader(readerFor(c)));
}

// A read that may be sent again when the connection breaks.
Request reading(const std::string& send, const std::vector<std::string>& args = {}, uint32_t timeoutMs = 0) {
    Request r = plain(send, args);
    r.retries = kReadRetries;
    r.readOnly = true;
    r.timeoutMs = timeoutMs;
    return r;
}

std::vector<std::string> lines(const std::string& s) {
    std::vector<std::string> out;
    if (s.empty()) return out;
    size_t from = 0;
    while (true) {
        const size_t lf = s.find('\n', from);
        out.push_back(s.substr(from, lf - from));
        if (lf == std::string::npos) return out;
        from = lf + 1;
    }
}

std::string joinLines(const std::vector<std::string>& v) {
    std::string out;
    for (size_t i = 0; i < v.size(); ++i) out += (i ? "\n" : "") + v[i];
    return out;
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

void section(const std::string& title, const Record& r) {
    std::cout << title << "\n";
    Record shown = r;
    for (Item& i : shown) i.name = "  " + i.name;
    printRecord(std::cout, shown);
}

// A VAT rate for people: "23.00 %", "exempt", "unused".
std::string rateText(unsigned r) {
    if (r == kVatExempt) return "exempt";
    if (r == kVatUnused) return "unused";
    char buf[48];
    std::snprintf(buf, sizeof buf, "%u.%02u %%", r / 100, r % 100);
    return buf;
}

// For JSON: "23.00", "exempt", "unused".
std::string rateValue(unsigned r) {
    if (r == kVatExempt || r == kVatUnused) return rateText(r);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%u.%02u", r / 100, r % 100);
    return buf;
}

std::string now() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

}  // namespace

std::string checkDateTime(const std::string& text) {
    unsigned y, mo, d, h, mi, s;
    char tail;
    if (std::sscanf(text.c_str(), "%4u-%2u-%2u %2u:%2u:%2u%c", &y, &mo, &d, &h, &mi, &s, &tail) != 6) return "";
    static const unsigned days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (y < 1900 || mo < 1 || mo > 12 || d < 1 || d > days[mo - 1] || (mo == 2 && d == 29 && !leap) || h > 23 ||
        mi > 59 || s > 59)
        return "";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", y, mo, d, h, mi, s);
    return buf;
}

// ---- status

namespace {

// The database status lists the tables in the register's own order; only
// the first is documented (the articles).
std::string dbTableName(size_t index) {
    if (index == kDbStatusArticles) return "articles";
    return "table " + std::to_string(index + 1);
}

}  // namespace

int cmdStatus(Session& s) {
    Record reg, trans, db;
    TARVIK_STATUS firstFailure = 0;
    Outcome failureOutcome = Outcome::Refused;
    {
        Pipeline p(s);
        auto keep = [&](Record& into, const char* what) {
            return [&into, &firstFailure, &failureOutcome, &s, what](const Result& res, Record&& r) {
                if (res.status) {
                    std::cerr << "trvctl: " << what << ": " << describeResult(res, s.timeoutMs()) << "\n";
                    if (!firstFailure) {
                        firstFailure = res.status;
                        failureOutcome = res.outcome;
                    }
                    return;
                }
                into = std::move(r);
            };
        };
        p.post(reading("TRVS_CashregStatusGet"), keep(reg, "TRVS_CashregStatusGet"));
        p.post(reading("TRVS_TransStatusGet"), keep(trans, "TRVS_TransStatusGet"));
        p.post(reading("TRVS_DBStatusGetEx"), [&](const Result& res, Record&& r) {
            if (!res.status) db = std::move(r);
        });
        p.finish();
        if (db.empty() && !firstFailure) {  // a register without the longer database status
            p.post(reading("TRVS_DBStatusGet"), keep(db, "TRVS_DBStatusGet"));
            p.finish();
        }
    }
    const std::string tarvik = versionText(TRV_GetLibraryVersion());
    const std::string mirtel = versionText(static_cast<uint32_t>(TRV_GetHLLibraryVersion()));
    const std::string clock = itemValue(reg, "zegar_kasy");
    const auto sizes = lines(itemValue(db, "rozmiary")), counts = lines(itemValue(db, "zaprogramowane"));
    if (jsonOutput()) {
        Json j = Json::object();
        j["register"] = toJson(reg);
        j["transaction"] = toJson(trans);
        Json d = Json::object();
        if (!db.empty()) {
            d["typ_kasy"] = std::stoul(itemValue(db, "typ_kasy"));
            d["totalizery"] = std::stoul(itemValue(db, "totalizery"));
            Json tables = Json::array();
            for (size_t i = 0; i < sizes.size(); ++i)
                tables.push_back({{"table", dbTableName(i)},
                                  {"size", std::stoul(sizes[i])},
                                  {"programmed", i < counts.size() ? std::stoul(counts[i]) : 0}});
            d["tables"] = tables;
        }
        j["database"] = d;
        j["clock"] = clock;
        j["charset"] = registerCharset();
        j["libraries"] = {{"tarvik", tarvik}, {"mirtel", mirtel}};
        printJson(j);
    } else {
        if (!reg.empty()) {
            Record shown = styled(reg);
            for (Item& i : shown)
                if (i.name == "data_fiskalizacji") i.value += "  (fiscalised on this date)";
            section("Register", shown);
        }
        if (!trans.empty()) section("Transaction (turnover per VAT rate in the smallest currency unit)", styled(trans));
        if (!db.empty()) {
            std::cout << "Database (typ_kasy " << itemValue(db, "typ_kasy") << ", totalizery "
                      << itemValue(db, "totalizery") << ")\n";
            std::vector<std::vector<std::string>> rows;
            for (size_t i = 0; i < sizes.size(); ++i)
                rows.push_back({"  " + dbTableName(i), sizes[i], i < counts.size() ? counts[i] : ""});
            printTable(std::cout, {"  table", "size", "programmed"}, rows);
        }
        if (!clock.empty()) std::cout << "Clock\n  " << clock << "\n";
        std::cout << "Character set\n  " << registerCharset() << "\n";
        std::cout << "Libraries\n  libtarvik " << tarvik << "\n  libmirtel " << mirtel << "\n";
    }
    if (firstFailure) throw Failure("status incomplete", firstFailure, failureOutcome);
    return kExitOk;
}

int cmdPing(Session& s) {
    const auto start = std::chrono::steady_clock::now();
    const Record r = runOne(s, reading("TRVS_CashregStatusGet"));
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    const std::string number = itemValue(r, "numer");
    if (jsonOutput())
        printJson(Json{{"answers", true}, {"where", s.where()}, {"numer", number}, {"ms", ms}});
    else
        std::cout << "register " << number << " at " << s.where() << " answers (" << ms << " ms)\n";
    return kExitOk;
}

// ---- clock and VAT rates

int cmdClockShow(Session& s) {
    // One answer carries date and time together, so midnight cannot split them.
    const std::string clock = itemValue(runOne(s, reading("TRVS_CashregStatusGet")), "zegar_kasy");
    if (jsonOutput()) printJson(Json{{"clock", clock}});
    else std::cout << clock << "\n";
    return kExitOk;
}

int cmdClockSet(Session& s, const std::string& when, bool yes) {
    const std::string value = when == "now" ? now() : checkDateTime(when);
    if (value.empty()) throw UsageError("'" + when + "' is not \"now\" or a valid \"YYYY-MM-DD HH:MM:SS\"");
    // Setting it back dates what follows before what the fiscal memory holds.
    const std::string current = itemValue(runOne(s, reading("TRVS_CashregStatusGet")), "zegar_kasy");
    if (!current.empty() && value < current)
        confirm(yes, "this sets the register's clock back from " + current + " to " + value +
                         " (records made from now on are dated before those already made)");
    Graceful graceful;
    runOne(s, plain("TRVS_DateTimeSet", {value}));
    if (jsonOutput()) printJson(Json{{"clock", value}, {"was", current}});
    else note("clock set to " + value + " (it was " + current + ")");
    return kExitOk;
}

int cmdVatShow(Session& s) {
    const Record r = runOne(s, reading("TRVS_VATGet"));
    if (jsonOutput()) {
        Json a = Json::array();
        for (const Item& i : r) {
            const unsigned v = static_cast<unsigned>(std::stoul(i.value));
            a.push_back({{"vat", i.name.substr(6)}, {"rate", rateValue(v)}, {"code", v}});
        }
        printJson(Json{{"rates", a}});
        return kExitOk;
    }
    std::vector<std::vector<std::string>> rows;
    for (const Item& i : r) rows.push_back({i.name.substr(6), rateText(static_cast<unsigned>(std::stoul(i.value))), i.value});
    printTable(std::cout, {"vat", "rate", "code"}, rows);
    return kExitOk;
}

std::vector<std::pair<unsigned, unsigned>> parseVatRates(const std::vector<std::string>& rates) {
    std::vector<std::pair<unsigned, unsigned>> out;
    for (const std::string& a : rates) {
        const size_t eq = a.find('=');
        const char letter = eq == 1 ? static_cast<char>(std::toupper(static_cast<unsigned char>(a[0]))) : '?';
        if (letter < 'A' || letter > 'G') throw UsageError("'" + a + "': expected LETTER=RATE with LETTER A to G");
        const std::string v = lower(a.substr(eq + 1));
        unsigned hundredths;
        if (v == "exempt" || v == "zw") {
            hundredths = kVatExempt;
        } else if (v == "unused" || v == "-") {
            hundredths = kVatUnused;
        } else {
            // A percentage with at most two decimals: 23, 8.5, 5.00
            const std::string t = !v.empty() && v.back() == '%' ? v.substr(0, v.size() - 1) : v;
            const size_t dot = t.find_first_of(".,");
            const std::string w = t.substr(0, dot), f = dot == std::string::npos ? "" : t.substr(dot + 1);
            auto pw = parseUnsigned(w, 99);
            auto pf = f.empty() ? std::optional<uint64_t>(0) : parseUnsigned(f, 99);
            if (!pw || !pf || f.size() > 2 || (dot != std::string::npos && f.empty()))
                throw UsageError("'" + a + "': a rate is a percentage below 100 with at most two decimals, "
                                 "\"exempt\" or \"unused\"");
            hundredths = static_cast<unsigned>(*pw) * 100 + static_cast<unsigned>(*pf) * (f.size() == 1 ? 10 : 1);
        }
        out.emplace_back(static_cast<unsigned>(letter - 'A'), hundredths);
    }
    return out;
}

int cmdVatSet(Session& s, const std::vector<std::string>& rates, const std::string& from, bool yes) {
    const auto changes = parseVatRates(rates);
    const std::string when = from.empty() ? now() : checkDateTime(from);
    if (when.empty()) throw UsageError("--from: '" + from + "' is not a valid \"YYYY-MM-DD HH:MM:SS\"");
    // Rates not named keep their values; nothing is written when none changes.
    const Record current = runOne(s, reading("TRVS_VATGet"));
    std::vector<std::string> values;
    for (const Item& i : current) values.push_back(i.value);
    std::string what;
    for (const auto& [index, hundredths] : changes) {
        if (values[index] == std::to_string(hundredths)) continue;
        what += std::string(what.empty() ? "" : ", ") + static_cast<char>('A' + index) + " " +
                rateText(static_cast<unsigned>(std::stoul(values[index]))) + " -> " + rateText(hundredths);
        values[index] = std::to_string(hundredths);
    }
    if (what.empty()) {
        if (jsonOutput()) printJson(Json{{"changed", false}});
        else note("the VAT rates already are as given: nothing written to the fiscal memory");
        return kExitOk;
    }
    confirm(yes, "changing the VAT rates (" + what + ") from " + when +
                     " writes the fiscal memory, which holds a limited number of changes");
    Graceful graceful;
    std::vector<std::string> args = {when};
    args.insert(args.end(), values.begin(), values.end());
    runOne(s, plain("TRVS_VATSet", args));
    if (jsonOutput()) {
        printJson(Json{{"changed", true}, {"from", when}});
        return kExitOk;
    }
    note("VAT rates changed: " + what);
    return cmdVatShow(s);
}

// ---- the sale journal

int cmdJournal(Session& s) {
    const TypeMap& map = journalTypes();
    std::vector<Record> records;
    TARVIK_STATUS failure = 0;
    bool end = false;
    unsigned remaining = 0;  // what the last answer says follows it
    Progress progress("reading the journal");
    Pipeline p(s);
    std::function<void(const Result&, Record&&)> onRecord;
    size_t posted = 0;  // "next" requests in flight
    auto postNext = [&] {
        ++posted;
        p.post(makeRequest(map.sender, {std::to_string(kJournalNext)}, typedReader(map)), onRecord);
    };
    Result failed;
    onRecord = [&](const Result& res, Record&& r) {
        if (posted) --posted;
        if (end || failure) return;
        if (res.status == TARVIK_STATUS_EXEC_ERROR + kJournalNoRecord) {
            end = true;
            return;
        }
        if (res.status) {
            failure = res.status;  // the register's position in the journal is no longer known
            failed = res;
            p.abandon();
            return;
        }
        remaining = static_cast<unsigned>(std::stoul(itemValue(r, "nastepny")));
        records.push_back(std::move(r));
        progress.setTotal(records.size() + remaining);
        progress.advance();
        if (remaining == 0) {
            end = true;
            return;
        }
        // As many "next" requests as records are said to follow, a window at a time.
        while (posted < remaining && posted < s.window()) postNext();
    };
    // The first answer carries a first "next" only after it says more follow.
    p.post(makeRequest(map.sender, {std::to_string(kJournalFirst)}, typedReader(map)),
           [&](const Result& res, Record&& r) {
               ++posted;
               onRecord(res, std::move(r));
           });
    p.finish();
    progress.finish();
    if (failure)
        throw Failure("reading the sale journal stopped after " + std::to_string(records.size()) + " records: " +
                          describeResult(failed, s.timeoutMs()),
                      failure, Outcome::Refused);
    // Each record with its position in the journal, from 1.
    for (size_t i = 0; i < records.size(); ++i)
        records[i].insert(records[i].begin(), Item{"numer_rekordu", std::to_string(i + 1), true});
    if (jsonOutput()) {
        Json a = Json::array();
        for (const Record& r : records) a.push_back(toJson(r, {"totalizeryAG"}));
        printJson(Json{{"records", a}});
        return kExitOk;
    }
    for (size_t i = 0; i < records.size(); ++i) {
        const Record& r = records[i];
        std::cout << (i ? "\n" : "") << "Record " << i + 1 << ": type " << itemValue(r, "typ") << ", "
                  << itemValue(r, "type_name") << "\n";
        Record b;
        for (const Item& it : r)
            if (it.body) b.push_back({"  " + fieldName(it.name), it.value});
        printRecord(std::cout, b);
    }
    if (records.empty()) std::cout << "The sale journal is empty.\n";
    return kExitOk;
}

// ---- fiscal memory

int cmdFiscalMemory(Session& s, unsigned from, unsigned to, unsigned type) {
    const TypeMap& map = fiscalMemoryTypes();
    Record status = runOne(s, reading("TRVS_FiscMemStatus"));
    unsigned last = 0;
    try {
        last = static_cast<unsigned>(
            std::stoul(itemValue(runOne(s, reading("TRVS_FiscMemLast", {std::to_string(kFiscalAnyType)})), "numer")));
    } catch (const Failure& f) {
        if (f.status() != TARVIK_STATUS_EXEC_ERROR + kErrNotFound) throw;  // an empty fiscal memory
    }
    if (!to || to > last) to = last;
    if (!from) from = 1;
    std::map<unsigned, Record> byNumber;  // a read repeated after a broken connection answers late
    Progress progress("reading the fiscal memory", to >= from ? to - from + 1 : 0);
    Pipeline p(s);
    for (unsigned k = from; k <= to; ++k) {
        Request r = makeRequest(map.sender, {std::to_string(k)}, typedReader(map));
        r.retries = kReadRetries;
        r.readOnly = true;
        p.post(std::move(r), [&, k](const Result& res, Record&& rec) {
            progress.advance();
            if (res.status)
                throw Failure("fiscal memory record " + std::to_string(k) + ": " + describeResult(res, s.timeoutMs()),
                              res.status, Outcome::Refused);
            if (type && itemValue(rec, "typ") != std::to_string(type)) return;
            rec.insert(rec.begin(), Item{"numer_rekordu", std::to_string(k), true});
            byNumber.emplace(k, std::move(rec));
        });
    }
    p.finish();
    progress.finish();
    std::vector<Record> records;
    for (auto& [k, r] : byNumber) records.push_back(std::move(r));
    if (jsonOutput()) {
        Json a = Json::array();
        for (const Record& r : records) a.push_back(toJson(r, {"totalizeryAG"}));
        printJson(Json{{"status", toJson(status)}, {"records", a}});
        return kExitOk;
    }
    section("Fiscal memory", styled(status));
    for (const Record& r : records) {
        std::cout << "\nRecord " << itemValue(r, "numer_rekordu") << ": type " << itemValue(r, "typ") << ", "
                  << itemValue(r, "type_name") << "\n";
        Record b;
        for (const Item& it : r)
            if (it.body) b.push_back({"  " + fieldName(it.name), it.value});
        printRecord(std::cout, b);
    }
    return kExitOk;
}

// ---- printed reports

namespace {

bool isReport(const Call& c) { return c.sends && std::string_view(c.unit) == "reports"; }

const Call* findReport(const std::string& name) {
    const std::string n = lower(name);
    for (const Call& c : calls()) {
        if (!isReport(c)) continue;
        std::string full = lower(c.name);               // trvs_repplubyrecno
        std::string shortName = full.substr(5);         // repplubyrecno
        std::string bare = shortName;                   // plubyrecno
        if (bare.rfind("xel_", 0) == 0) bare = bare.substr(4);
        if (bare.rfind("rep", 0) == 0) bare = bare.substr(3);
        if (n == full || n == shortName || n == bare) return &c;
    }
    return nullptr;
}

}  // namespace

std::string reportList() {
    if (jsonOutput()) {
        Json list = Json::array();
        for (const Call& c : calls()) {
            if (!isReport(c)) continue;
            Json sel = Json::array();
            for (const Field& f : c.fields) sel.push_back(f.name);
            list.push_back({{"name", std::string(c.name + 5)}, {"function", c.name}, {"selectors", sel}});
        }
        return Json{{"reports", list}}.dump(2) + "\n";
    }
    std::string out;
    for (const Call& c : calls()) {
        if (!isReport(c)) continue;
        out += "  " + std::string(c.name + 5);
        for (const Field& f : c.fields) out += std::string(" ") + f.name;
        out += "\n";
    }
    return out;
}

namespace {

// What the register wants in a text selector, by its name.
std::string selectorHint(const Call& c, const std::string& field) {
    if (field == "date_time") return "a date and time \"YYYY-MM-DD HH:MM\"";
    if (field == "data" && std::string_view(c.name).find("Monthly") != std::string_view::npos)
        return "a month YYYY-MM";
    if (field.rfind("dat", 0) == 0) return "a date YYYY-MM-DD";
    return "";
}

// The daily reports counted in the fiscal memory's status.
std::optional<unsigned> dailyReports(Session& s, uint32_t timeoutMs = 0) {
    try {
        return static_cast<unsigned>(
            std::stoul(itemValue(runOne(s, reading("TRVS_FiscMemStatus", {}, timeoutMs)), "rap_dobowe")));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace

int cmdReport(Session& s, const std::string& name, const std::vector<std::string>& selectors, bool yes) {
    const Call* c = findReport(name);
    if (!c) throw UsageError("no report '" + name + "'; trvctl report --list lists them", false);
    const std::string label = std::string("report ") + (c->name + 5);
    // Selectors in order, or by name (NAME=VALUE) in any order.
    std::vector<std::string> args(c->fields.size());
    std::vector<bool> given(c->fields.size(), false);
    size_t next = 0;
    for (const std::string& sel : selectors) {
        const size_t eq = sel.find('=');
        int i = -1;
        if (eq != std::string::npos)
            for (size_t k = 0; k < c->fields.size(); ++k)
                if (fieldName(c->fields[k].name) == fieldName(sel.substr(0, eq))) i = static_cast<int>(k);
        if (i < 0) {
            while (next < given.size() && given[next]) ++next;
            if (next >= given.size())
                throw UsageError(label + " takes " + std::to_string(c->fields.size()) + " selector" +
                                 (c->fields.size() == 1 ? "" : "s") + ", not '" + sel + "'");
            args[next] = sel;
            given[next] = true;
        } else {
            args[static_cast<size_t>(i)] = sel.substr(eq + 1);
            given[static_cast<size_t>(i)] = true;
        }
    }
    for (size_t i = 0; i < given.size(); ++i) {
        const std::string f = fieldName(c->fields[i].name);
        if (!given[i]) throw UsageError(label + ": selector " + f + " is missing");
        // VAT rates by letter.
        if (f == "stawka_vat" && args[i].size() == 1 && std::toupper(static_cast<unsigned char>(args[i][0])) >= 'A' &&
            std::toupper(static_cast<unsigned char>(args[i][0])) <= 'G')
            args[i] = std::to_string(std::toupper(static_cast<unsigned char>(args[i][0])) - 'A');
    }
    Request r = [&] {
        try {
            return makeRequest(*c, args, plainReader(nullptr));
        } catch (const UsageError& e) {
            std::string what = e.what();  // "TRVS_Rep...: field: why"
            const size_t colon = what.find(": ");
            throw UsageError(label + ": selector " + (colon == std::string::npos ? what : what.substr(colon + 2)));
        }
    }();
    r.timeoutMs = s.printTimeoutMs();  // the register answers when it has printed
    const bool fiscal = reportWritesFiscalMemory(c->command);
    std::optional<unsigned> dailyBefore;
    if (fiscal) {
        confirm(yes, "the daily fiscal report closes the day in the fiscal memory, which cannot be undone");
        dailyBefore = dailyReports(s);
    }
    Graceful graceful;
    try {
        runOne(s, std::move(r));
    } catch (const Failure& f) {
        const TARVIK_STATUS st = f.status();
        if (st >= TARVIK_STATUS_ARG(3) && st < TARVIK_STATUS_ARG(3) + c->fields.size()) {
            // libmirtel refused a selector before anything was sent.
            const size_t i = st - TARVIK_STATUS_ARG(3);
            const std::string hint = selectorHint(*c, c->fields[i].name);
            throw UsageError(label + ": selector " + fieldName(c->fields[i].name) + ": '" + args[i] +
                             "' is not valid" + (hint.empty() ? "" : "; the register wants " + hint));
        }
        if (f.outcome() != Outcome::Unknown) throw;
        // Settled by the fiscal memory: a new daily report means it ran.
        if (fiscal && dailyBefore && registerAnswers(s)) {
            if (auto after = dailyReports(s, std::max<uint32_t>(s.timeoutMs(), kSettleWaitMs))) {
                if (*after > *dailyBefore) {
                    note(std::string(f.what()) + "; the fiscal memory now holds daily report " +
                         std::to_string(*after) + ": the report was made");
                    if (jsonOutput()) printJson(Json{{"report", c->name + 5}, {"printed", true}});
                    return kExitOk;
                }
                throw Failure(std::string(f.what()) + "; the fiscal memory holds no new daily report: the report "
                                                      "was not made, and may be run again",
                              f.status(), Outcome::NotDone);
            }
        }
        throw Failure(std::string(f.what()) + (fiscal ? "; look at the fiscal memory (trvctl fiscal-memory --type 1) "
                                                        "before running it again"
                                                      : "; look at the printout before running it again"),
                      f.status(), Outcome::Unknown);
    }
    if (jsonOutput()) printJson(Json{{"report", c->name + 5}, {"printed", true}});
    else note(std::string(c->name + 5) + " printed");
    return kExitOk;
}

// ---- header and footer

int cmdLinesShow(Session& s, bool header) {
    const Record r = runOne(s, reading(header ? "TRVS_HeaderGet" : "TRVS_FooterGet"));
    const auto flags = lines(itemValue(r, "flagi_linii")), texts = lines(itemValue(r, "linie"));
    if (jsonOutput()) {
        Json a = Json::array();
        for (size_t i = 0; i < texts.size(); ++i)
            a.push_back({{"flaga", i < flags.size() ? std::stoul(flags[i]) : 0}, {"linia", texts[i]}});
        printJson(Json{{"lines", a}});
        return kExitOk;
    }
    // As `set` reads them: FLAG<tab>TEXT, one printed line per line.
    for (size_t i = 0; i < texts.size(); ++i) std::cout << (i < flags.size() ? flags[i] : "0") << '\t' << texts[i] << '\n';
    return kExitOk;
}

int cmdLinesSet(Session& s, bool header, const std::string& file) {
    std::ifstream f;
    const std::string where = file == "-" ? "<stdin>" : file;
    if (file != "-") {
        struct stat st {};
        if (stat(file.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) throw UsageError(file + " is a directory", false);
        f.open(file, std::ios::binary);
        if (!f) throw UsageError("cannot read " + file + ": " + std::strerror(errno), false);
    }
    std::istream& in = file == "-" ? std::cin : f;
    const size_t max = header ? 10 : 3;
    std::vector<std::string> flags, texts;
    std::string line;
    size_t n = 0;
    while (true) {
        // Bounded: a line longer than any the register prints is refused.
        line.clear();
        int c;
        bool any = false;
        while ((c = in.get()) != EOF && c != '\n') {
            any = true;
            if (line.size() > 4096)
                throw UsageError(where + ":" + std::to_string(n + 1) + ": a line longer than 4096 bytes", false);
            if (c == 0) throw UsageError(where + ":" + std::to_string(n + 1) + ": a NUL byte: not a text file", false);
            line += static_cast<char>(c);
        }
        if (!any && c == EOF) break;
        ++n;
        if (n > max)
            throw UsageError(where + ": more than " + std::to_string(max) + " lines; the " +
                                 (header ? "header" : "footer") + " takes at most " + std::to_string(max),
                             false);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        // "FLAG<tab>text", or the text alone (flag 0).
        std::string flag = "0";
        const size_t tab = line.find('\t');
        if (tab != std::string::npos && parseUnsigned(line.substr(0, tab), 255)) {
            flag = line.substr(0, tab);
            line = line.substr(tab + 1);
        }
        std::string bytes, error;
        for (unsigned char ch : line)
            if (ch < 0x20 || ch == 0x7F) error = "a control character in the text";
        if (error.empty()) toRegister(line, bytes, error);
        if (!error.empty()) throw UsageError(where + ":" + std::to_string(n) + ": " + error, false);
        flags.push_back(flag);
        texts.push_back(line);
    }
    const Record current = runOne(s, reading(header ? "TRVS_HeaderGet" : "TRVS_FooterGet"));
    if (itemValue(current, "linie") == joinLines(texts) && itemValue(current, "flagi_linii") == joinLines(flags)) {
        note(std::string("the ") + (header ? "header" : "footer") + " already is as given: nothing written");
        return cmdLinesShow(s, header);
    }
    Graceful graceful;
    runOne(s, plain(header ? "TRVS_HeaderSet" : "TRVS_FooterSet", {joinLines(flags), joinLines(texts)}));
    return cmdLinesShow(s, header);
}

// ---- any function by name

int cmdCall(Session& s, const std::string& function, const std::vector<std::string>& args,
            const std::vector<std::string>& readers) {
    const Call* c = findCall(function);
    if (!c || !c->sends)
        throw UsageError("'" + function + "' is no sending (TRVS_) function of libmirtel; see trvctl call --list");
    ReadStep step;
    if (!readers.empty()) {
        std::vector<const Call*> rs;
        for (const std::string& n : readers) {
            const Call* r = findCall(n);
            if (!r || r->sends || r->command != c->command)
                throw UsageError("'" + n + "' is no reader of command " + std::to_string(c->command));
            rs.push_back(r);
        }
        if (rs.size() > 2 || (rs.size() == 2 && !rs[0]->typeReader))
            throw UsageError("--reader: one reader, or a type reader and then a body reader");
        step = [rs](TARVIK_HANDLE h, Record& rec) -> TARVIK_STATUS {
            for (size_t k = 0; k < rs.size(); ++k) {
                Slots out(*rs[k]);
                const TARVIK_STATUS st = rs[k]->read(h, out);
                if (st) {
                    TRVG_Default(h);
                    return st;
                }
                for (Item& i : out.record()) {
                    i.body = k > 0;
                    rec.push_back(std::move(i));
                }
            }
            if (rs.back()->typeReader) TRVG_Default(h);  // the body is left unread
            return 0;
        };
    } else if (const TypeMap* m = typeMapFor(c->name)) {
        step = typedReader(*m);
    } else {
        step = plainReader(readerFor(*c));
    }
    Request request = makeRequest(*c, args, step);
    Graceful graceful;  // it may write
    Record r;
    try {
        r = runOne(s, std::move(request));
    } catch (const Failure& f) {
        const TARVIK_STATUS st = f.status();
        if (st >= TARVIK_STATUS_ARG(3) && st < TARVIK_STATUS_ARG(3) + c->fields.size()) {
            const size_t i = st - TARVIK_STATUS_ARG(3);
            throw UsageError(std::string(c->name) + ": " + c->fields[i].name + ": '" + args[i] +
                             "' was refused: " + describeStatus(st));
        }
        throw;
    }
    if (jsonOutput()) {
        printJson(toJson(r));
        return kExitOk;
    }
    Record shown = styled(r);
    for (Item& i : shown)
        if (i.body) i.name = "  " + i.name;
    printRecord(std::cout, shown);
    return kExitOk;
}

std::string callList(const std::string& pattern) {
    const std::string p = lower(pattern);
    if (jsonOutput()) {
        Json list = Json::array();
        for (const Call& c : calls()) {
            if (!c.sends || lower(c.name).find(p) == std::string::npos) continue;
            Json args = Json::array();
            for (const Field& f : c.fields) args.push_back(f.name);
            Json one{{"function", c.name}, {"command", c.command}, {"arguments", args}};
            if (const TypeMap* m = typeMapFor(c.name)) one["reader"] = m->typeReader;
            else if (const Call* r = readerFor(c)) one["reader"] = r->name;
            else one["reader"] = nullptr;
            list.push_back(one);
        }
        return Json{{"functions", list}}.dump(2) + "\n";
    }
    std::string out;
    for (const Call& c : calls()) {
        if (!c.sends || lower(c.name).find(p) == std::string::npos) continue;
        out += std::string(c.name) + " (" + std::to_string(c.command) + ")";
        for (const Field& f : c.fields) out += std::string(" ") + f.name;
        if (const TypeMap* m = typeMapFor(c.name)) out += std::string("  -> ") + m->typeReader + " + body by type";
        else if (const Call* r = readerFor(c)) out += std::string("  -> ") + r->name;
        out += "\n";
    }
    return out;
}

}  // namespace trvctl
