#include "commands.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iostream>
#include <map>

#include "codes.h"
#include "output.h"
#include "session.h"
#include "util.h"

namespace trvctl {

namespace {

Request plain(const std::string& send, const std::vector<std::string>& args = {}) {
    const Call& c = callNamed(send);
    return makeRequest(c, args, plainReader(readerFor(c)));
}

// A read that may be sent again when the connection breaks.
Request reading(const std::string& send, const std::vector<std::string>& args = {}) {
    Request r = plain(send, args);
    r.retries = kReadRetries;
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

std::string rateText(unsigned r) {
    if (r == kVatExempt) return "exempt";
    if (r == kVatUnused) return "not in use";
    char buf[48];
    std::snprintf(buf, sizeof buf, "%u.%02u %%", r / 100, r % 100);
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

int cmdStatus(Session& s) {
    Record reg, trans, db;
    std::string failed;
    TARVIK_STATUS firstFailure = 0;
    {
        Pipeline p(s);
        auto keep = [&](Record& into, const char* what) {
            return [&into, &failed, &firstFailure, what](TARVIK_STATUS st, Record&& r) {
                if (st) {
                    std::cerr << "trvctl: " << what << ": " << describeStatus(st) << "\n";
                    if (!firstFailure) firstFailure = st;
                    return;
                }
                into = std::move(r);
            };
        };
        p.post(plain("TRVS_CashregStatusGet"), keep(reg, "TRVS_CashregStatusGet"));
        p.post(plain("TRVS_TransStatusGet"), keep(trans, "TRVS_TransStatusGet"));
        p.post(plain("TRVS_DBStatusGetEx"), [&](TARVIK_STATUS st, Record&& r) {
            if (!st) db = std::move(r);
        });
        p.finish();
        if (db.empty()) {  // a register without the longer database status
            p.post(plain("TRVS_DBStatusGet"), keep(db, "TRVS_DBStatusGet"));
            p.finish();
        }
    }
    const std::string tarvik = versionText(TRV_GetLibraryVersion());
    const std::string mirtel = versionText(static_cast<uint32_t>(TRV_GetHLLibraryVersion()));
    const std::string clock = itemValue(reg, "zegar_kasy");
    if (jsonOutput()) {
        Json j = Json::object();
        j["register"] = toJson(reg);
        j["transaction"] = toJson(trans);
        Json d = Json::object();
        for (const Item& i : db) {
            if (i.name == "rozmiary" || i.name == "zaprogramowane") {
                Json a = Json::array();
                for (const std::string& l : lines(i.value)) a.push_back(std::stoul(l));
                d[i.name] = a;
            } else {
                d[i.name] = std::stoul(i.value);
            }
        }
        j["database"] = d;
        j["clock"] = clock;
        j["libraries"] = {{"tarvik", tarvik}, {"mirtel", mirtel}};
        printJson(j);
    } else {
        if (!reg.empty()) section("Register", reg);
        if (!trans.empty()) section("Transaction", trans);
        if (!db.empty()) {
            std::cout << "Database (typ_kasy " << itemValue(db, "typ_kasy") << ", totalizery "
                      << itemValue(db, "totalizery") << ")\n";
            const auto sizes = lines(itemValue(db, "rozmiary")), counts = lines(itemValue(db, "zaprogramowane"));
            std::vector<std::vector<std::string>> rows;
            for (size_t i = 0; i < sizes.size(); ++i)
                rows.push_back({"  " + std::to_string(i + 1), sizes[i], i < counts.size() ? counts[i] : ""});
            printTable(std::cout, {"  table", "size", "programmed"}, rows);
        }
        if (!clock.empty()) std::cout << "Clock\n  " << clock << "\n";
        std::cout << "Libraries\n  libtarvik " << tarvik << "\n  libmirtel " << mirtel << "\n";
    }
    if (firstFailure) throw Failure("status incomplete", firstFailure);
    return kExitOk;
}

// ---- clock and VAT rates

int cmdClockShow(Session& s) {
    // One answer carries date and time together, so midnight cannot split them.
    const std::string clock = itemValue(runOne(s, plain("TRVS_CashregStatusGet")), "zegar_kasy");
    if (jsonOutput()) printJson(Json{{"clock", clock}});
    else std::cout << clock << "\n";
    return kExitOk;
}

int cmdClockSet(Session& s, const std::string& when) {
    const std::string value = when == "now" ? now() : checkDateTime(when);
    if (value.empty()) throw UsageError("'" + when + "' is not \"now\" or a valid \"YYYY-MM-DD HH:MM:SS\"");
    runOne(s, plain("TRVS_DateTimeSet", {value}));
    std::cerr << "trvctl: clock set to " << value << "\n";
    return kExitOk;
}

int cmdVatShow(Session& s) {
    const Record r = runOne(s, plain("TRVS_VATGet"));
    if (jsonOutput()) {
        Json j = Json::object();
        for (const Item& i : r) j[i.name.substr(6)] = std::stoul(i.value);  // "stawkaA" -> "A"
        printJson(j);
        return kExitOk;
    }
    std::vector<std::vector<std::string>> rows;
    for (const Item& i : r) rows.push_back({i.name.substr(6), i.value, rateText(static_cast<unsigned>(std::stoul(i.value)))});
    printTable(std::cout, {"rate", "value", "meaning"}, rows);
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

int cmdVatSet(Session& s, const std::vector<std::string>& rates, const std::string& from) {
    const auto changes = parseVatRates(rates);
    // Rates not named keep their values.
    const Record current = runOne(s, plain("TRVS_VATGet"));
    std::vector<std::string> values;
    for (const Item& i : current) values.push_back(i.value);
    for (const auto& [index, hundredths] : changes) values[index] = std::to_string(hundredths);
    const std::string when = from.empty() ? now() : checkDateTime(from);
    if (when.empty()) throw UsageError("--from: '" + from + "' is not a valid \"YYYY-MM-DD HH:MM:SS\"");
    std::vector<std::string> args = {when};
    args.insert(args.end(), values.begin(), values.end());
    runOne(s, plain("TRVS_VATSet", args));
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
    std::function<void(TARVIK_STATUS, Record&&)> onRecord;
    size_t posted = 0;  // "next" requests in flight
    auto postNext = [&] {
        ++posted;
        p.post(makeRequest(map.sender, {std::to_string(kJournalNext)}, typedReader(map)), onRecord);
    };
    onRecord = [&](TARVIK_STATUS st, Record&& r) {
        if (posted) --posted;
        if (end || failure) return;
        if (st == TARVIK_STATUS_EXEC_ERROR + kJournalNoRecord) {
            end = true;
            return;
        }
        if (st) {
            failure = st;  // the register's position in the journal is no longer known
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
    p.post(makeRequest(map.sender, {std::to_string(kJournalFirst)}, typedReader(map)), [&](TARVIK_STATUS st, Record&& r) {
        ++posted;
        onRecord(st, std::move(r));
    });
    p.finish();
    progress.finish();
    if (failure) throw Failure("reading the sale journal stopped after " + std::to_string(records.size()) + " records",
                               failure);
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
            if (it.body) b.push_back({"  " + it.name, it.value});
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
        p.post(std::move(r), [&, k](TARVIK_STATUS st, Record&& rec) {
            progress.advance();
            if (st) throw Failure("fiscal memory record " + std::to_string(k), st);
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
    section("Fiscal memory", status);
    for (const Record& r : records) {
        std::cout << "\nRecord " << itemValue(r, "numer_rekordu") << ": type " << itemValue(r, "typ") << ", "
                  << itemValue(r, "type_name") << "\n";
        Record b;
        for (const Item& it : r)
            if (it.body) b.push_back({"  " + it.name, it.value});
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
    std::string out;
    for (const Call& c : calls()) {
        if (!isReport(c)) continue;
        out += "  " + std::string(c.name + 5);
        for (const Field& f : c.fields) out += std::string(" ") + f.name;
        out += "\n";
    }
    return out;
}

int cmdReport(Session& s, const std::string& name, const std::vector<std::string>& selectors) {
    const Call* c = findReport(name);
    if (!c) throw UsageError("no report '" + name + "'; the reports and their selectors:\n" + reportList());
    // Selectors in order, or by name (NAME=VALUE) in any order.
    std::vector<std::string> args(c->fields.size());
    std::vector<bool> given(c->fields.size(), false);
    size_t next = 0;
    for (const std::string& sel : selectors) {
        const size_t eq = sel.find('=');
        int i = eq == std::string::npos ? -1 : c->field(sel.substr(0, eq));
        if (i < 0) {
            while (next < given.size() && given[next]) ++next;
            if (next >= given.size())
                throw UsageError(std::string(c->name) + " takes " + std::to_string(c->fields.size()) + " selectors");
            args[next] = sel;
            given[next] = true;
        } else {
            args[static_cast<size_t>(i)] = sel.substr(eq + 1);
            given[static_cast<size_t>(i)] = true;
        }
    }
    for (size_t i = 0; i < given.size(); ++i)
        if (!given[i]) throw UsageError(std::string(c->name) + ": selector " + c->fields[i].name + " is missing");
    Request r = makeRequest(*c, args, plainReader(nullptr));
    r.timeoutMs = s.printTimeoutMs();  // the register answers when it has printed
    runOne(s, std::move(r));
    std::cerr << "trvctl: " << c->name << " printed\n";
    return kExitOk;
}

// ---- header and footer

int cmdLinesShow(Session& s, bool header) {
    const Record r = runOne(s, plain(header ? "TRVS_HeaderGet" : "TRVS_FooterGet"));
    const auto flags = lines(itemValue(r, "flagi_linii")), texts = lines(itemValue(r, "linie"));
    if (jsonOutput()) {
        Json a = Json::array();
        for (size_t i = 0; i < texts.size(); ++i)
            a.push_back({{"flaga", i < flags.size() ? std::stoul(flags[i]) : 0}, {"linia", texts[i]}});
        printJson(Json{{"lines", a}});
        return kExitOk;
    }
    std::vector<std::vector<std::string>> rows;
    for (size_t i = 0; i < texts.size(); ++i)
        rows.push_back({std::to_string(i + 1), i < flags.size() ? flags[i] : "", texts[i]});
    printTable(std::cout, {"line", "flag", "text"}, rows);
    return kExitOk;
}

int cmdLinesSet(Session& s, bool header, const std::string& file) {
    std::ifstream f;
    if (file != "-") {
        f.open(file, std::ios::binary);
        if (!f) throw ToolError("cannot read " + file);
    }
    std::istream& in = file == "-" ? std::cin : f;
    std::vector<std::string> flags, texts;
    std::string line;
    size_t n = 0;
    while (std::getline(in, line)) {
        ++n;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        // "FLAG<tab>text", or the text alone (flag 0).
        std::string flag = "0";
        const size_t tab = line.find('\t');
        if (tab != std::string::npos && parseUnsigned(line.substr(0, tab), 255)) {
            flag = line.substr(0, tab);
            line = line.substr(tab + 1);
        }
        if (line.find('\n') != std::string::npos) throw ToolError(file + ":" + std::to_string(n) + ": bad line");
        flags.push_back(flag);
        texts.push_back(line);
    }
    const size_t max = header ? 10 : 3;
    if (texts.size() > max)
        throw UsageError(file + ": " + std::to_string(texts.size()) + " lines; the " + (header ? "header" : "footer") +
                         " takes at most " + std::to_string(max));
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
    const Record r = runOne(s, makeRequest(*c, args, step));
    if (jsonOutput()) {
        printJson(toJson(r));
        return kExitOk;
    }
    Record shown = r;
    for (Item& i : shown)
        if (i.body) i.name = "  " + i.name;
    printRecord(std::cout, shown);
    return kExitOk;
}

std::string callList(const std::string& pattern) {
    const std::string p = lower(pattern);
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
