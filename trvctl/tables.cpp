#include "tables.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <optional>

#include "csv.h"
#include "outfile.h"
#include "output.h"
#include "session.h"
#include "util.h"

namespace trvctl {

namespace {

const std::string kKey = "numer_rekordu", kFunction = "funkcja";

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> out;
    size_t from = 0;
    while (true) {
        const size_t at = s.find(sep, from);
        out.push_back(s.substr(from, at - from));
        if (at == std::string::npos) return out;
        from = at + 1;
    }
}

std::string join(const std::vector<std::string>& v, char sep) {
    std::string out;
    for (size_t i = 0; i < v.size(); ++i) out += (i ? std::string(1, sep) : "") + v[i];
    return out;
}

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string trim(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t");
    if (a == std::string::npos) return "";
    return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

const Flag* flagOf(const std::vector<std::pair<std::string, Flag>>& flags, const std::string& arg) {
    for (const auto& [name, f] : flags)
        if (name == arg) return &f;
    return nullptr;
}

// The column describing an argument: the variant's own, another variant's of
// that name, or a plain text or number.
Column columnOf(const Table& t, const Variant* v, const std::string& name) {
    if (v)
        for (const Column& c : v->columns)
            if (c.name == name) return c;
    for (const Variant& w : t.variants)
        for (const Column& c : w.columns)
            if (c.name == name) return c;
    return Column{name};
}

// ---- the fields of a table

struct Schema {
    std::vector<FieldInfo> fields;
    std::map<std::string, std::string> byHeader;  // lower-case name or alias -> field name
};

const Schema& schemaOf(const Table& t) {
    static std::map<const Table*, std::unique_ptr<Schema>> cache;
    auto& slot = cache[&t];
    if (slot) return *slot;
    slot = std::make_unique<Schema>();
    Schema& s = *slot;
    auto add = [&](FieldInfo f) {
        for (const FieldInfo& g : s.fields)
            if (g.name == f.name) return;
        s.byHeader[f.name] = f.name;
        s.byHeader.emplace(lower(f.arg), f.name);
        if (!f.column.from.empty()) s.byHeader.emplace(lower(f.column.from), f.name);
        s.fields.push_back(std::move(f));
    };
    const Call& first = callNamed(t.variants[0].inserts[0]);
    add(FieldInfo{kKey, first.fields[0].name, "key", Column{first.fields[0].name}});
    for (const std::string& a : t.keyAliases) s.byHeader[lower(a)] = kKey;
    s.byHeader[lower(t.keyField)] = kKey;
    if (multiKind(t)) add(FieldInfo{kFunction, kFunction, "function", Column{kFunction}});
    for (const Variant& v : t.variants) {
        for (const std::string& fn : v.inserts) {
            const Call& c = callNamed(fn);
            s.byHeader[lower(c.fields[0].name)] = kKey;
            for (size_t i = 1; i < c.fields.size(); ++i)
                if (!flagOf(v.flags, c.fields[i].name))
                    add(FieldInfo{argField(c.fields[i].name), c.fields[i].name, c.fields[i].kind,
                                  columnOf(t, &v, c.fields[i].name)});
        }
        if (!v.extraBarcodes.empty()) {
            const Column c = columnOf(t, &v, v.extraBarcodes);
            add(FieldInfo{fieldName(c.name), c.name, "text", c});
        }
    }
    return s;
}

bool isDigits(const std::string& s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "5.90123E+12", "5,9E12": what a spreadsheet makes of a long number.
bool scientific(const std::string& s) {
    const size_t e = s.find_first_of("eE");
    if (e == std::string::npos || e == 0 || e + 1 >= s.size()) return false;
    std::string m = s.substr(0, e), x = s.substr(e + 1);
    if (x[0] == '+' || x[0] == '-') x.erase(0, 1);
    m.erase(std::remove_if(m.begin(), m.end(), [](char c) { return c == '.' || c == ','; }), m.end());
    return isDigits(m) && isDigits(x);
}

// The check digit of an EAN-8 or EAN-13 code is right.
bool eanCheckDigitOk(const std::string& code) {
    int sum = 0;
    const size_t n = code.size();
    for (size_t i = 0; i + 1 < n; ++i) {
        const int d = code[i] - '0';
        // Counted from the right of the payload: weights 3, 1, 3, ...
        sum += ((n - 1 - i) % 2 == 1) ? d * 3 : d;
    }
    return (10 - sum % 10) % 10 == code[n - 1] - '0';
}

std::string checkBarcode(const std::string& code, size_t maxLen, std::string& error, std::string& warning) {
    const std::string c = trim(code);
    if (c.empty()) return c;
    if (scientific(c)) {
        error = "'" + code + "' is a number in scientific notation, as a spreadsheet shows a long number: the digits "
                "are lost; format the column as text and type the barcode again";
        return "";
    }
    if (!isDigits(c)) {
        error = "'" + code + "': a barcode holds digits only";
        return "";
    }
    if (c.size() > maxLen) {
        error = "'" + code + "': " + std::to_string(c.size()) + " digits, at most " + std::to_string(maxLen);
        return "";
    }
    if ((c.size() == 8 || c.size() == 13) && !eanCheckDigitOk(c))
        warning = "'" + c + "': the check digit of this EAN-" + std::to_string(c.size()) + " code is wrong";
    return c;
}

std::string checkDecimal(const Column& col, const std::string& value, std::string& error) {
    const std::string v = trim(value);
    if (v.empty()) return "0";
    if (scientific(v)) {
        error = "'" + value + "' is a number in scientific notation; write the whole number";
        return "";
    }
    const bool negative = v[0] == '-';
    const std::string digits = negative ? v.substr(1) : v;
    if (!isDigits(digits)) {
        if (digits.find_first_of(".,") != std::string::npos && isDigits(std::string(digits).erase(digits.find_first_of(".,"), 1)))
            error = "'" + value + "' has decimal places; the register holds a whole number" +
                    (col.unit.empty() ? std::string() : " in " + col.unit);
        else
            error = "'" + value + "' is not a whole number";
        return "";
    }
    if (negative) {
        error = "'" + value + "' is negative; the register holds no negative value here";
        return "";
    }
    std::string n = digits.substr(std::min(digits.find_first_not_of('0'), digits.size() - 1));
    if (n.size() > 12) {
        error = "'" + value + "' has more than 12 digits";
        return "";
    }
    return n;
}

}  // namespace

std::string argField(const std::string& arg) {
    const std::string n = fieldName(arg);
    // The record number of every table is numer_rekordu; an argument of that
    // name that is not the record's own number (the record a report hotkey
    // prints) is called rekord.
    return n == kKey ? "rekord" : n;
}

bool multiKind(const Table& t) { return t.variants.size() > 1 || t.variants[0].inserts.size() > 1; }

const FieldInfo* fieldOf(const Table& t, const std::string& name) {
    for (const FieldInfo& f : schemaOf(t).fields)
        if (f.name == name) return &f;
    return nullptr;
}

std::string fieldForHeader(const Table& t, const std::string& header) {
    const Schema& s = schemaOf(t);
    auto it = s.byHeader.find(lower(trim(header)));
    return it == s.byHeader.end() ? "" : it->second;
}

std::vector<std::string> csvColumns(const Table& t) {
    std::vector<std::string> cols;
    for (const FieldInfo& f : schemaOf(t).fields) cols.push_back(f.name);
    return cols;
}

std::string checkValue(const FieldInfo& f, const std::string& value, std::string& error, std::string& warning) {
    const Column& c = f.column;
    if (f.kind == "key") {
        const std::string v = trim(value);
        if (!parseUnsigned(v, 0xFFFF) || *parseUnsigned(v, 0xFFFF) == 0) {
            error = "'" + value + "' is not a record number from 1 to 65535";
            return "";
        }
        return std::to_string(*parseUnsigned(v, 0xFFFF));
    }
    if (f.kind == "function") return trim(value);
    if (c.vat) {
        const std::string v = trim(value);
        if (v.size() == 1 && ((v[0] >= 'A' && v[0] <= 'G') || (v[0] >= 'a' && v[0] <= 'g')))
            return std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(v[0]))));
        if (auto n = parseUnsigned(v, kVatIndexMax)) return std::string(1, static_cast<char>('A' + *n));
        error = "'" + value + "' is not a VAT rate A to G";
        return "";
    }
    if (f.kind != "text") {
        std::string v = trim(value);
        if (v.empty()) v = "0";
        const uint64_t max = c.max >= 0 ? static_cast<uint64_t>(c.max)
                             : f.kind == "u8"  ? 0xFF
                             : f.kind == "u16" ? 0xFFFF
                                               : 0xFFFFFFFFu;
        std::optional<uint64_t> n;
        if (v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X')) {
            n = 0;
            for (size_t i = 2; i < v.size() && n; ++i) {
                const char ch = static_cast<char>(std::tolower(static_cast<unsigned char>(v[i])));
                const int d = ch >= '0' && ch <= '9' ? ch - '0' : ch >= 'a' && ch <= 'f' ? ch - 'a' + 10 : -1;
                if (d < 0 || *n > (max >> 4)) n.reset();
                else n = *n * 16 + static_cast<uint64_t>(d);
            }
            if (n && *n > max) n.reset();
        } else {
            n = parseUnsigned(v, max);
        }
        if (!n) {
            if (scientific(v)) error = "'" + value + "' is a number in scientific notation; write the whole number";
            else if (!v.empty() && v[0] == '-') error = "'" + value + "' is negative; expected 0 to " + std::to_string(max);
            else error = "'" + value + "' is not a number from 0 to " + std::to_string(max);
            return "";
        }
        return std::to_string(*n);
    }
    // Texts: lists of entries, or one.
    const std::vector<std::string> entries =
        c.list ? (value.empty() ? std::vector<std::string>{} : split(value, ';')) : std::vector<std::string>{value};
    std::vector<std::string> out;
    for (const std::string& e : entries) {
        std::string v, w;
        if (c.barcode) {
            v = checkBarcode(e, c.maxLen, error, w);
            if (warning.empty()) warning = w;
            if (c.list && trim(e).empty() && error.empty()) error = "an empty entry in the list";
        } else if (c.decimal) {
            v = c.list && trim(e).empty() ? "" : checkDecimal(c, e, error);
        } else {
            for (unsigned char ch : e)
                if (ch < 0x20 || ch == 0x7F) {
                    error = std::string(ch == '\n' || ch == '\r' ? "a line break" : ch == '\t' ? "a tab" : "a control character") +
                            " in the text; the register prints texts on one line";
                    return "";
                }
            std::string bytes;
            if (!toRegister(e, bytes, error)) return "";
            if (bytes.size() > c.maxLen) {
                error = std::to_string(bytes.size()) + " bytes in " + registerCharset() + ", at most " +
                        std::to_string(c.maxLen);
                return "";
            }
            v = e;
        }
        if (!error.empty()) return "";
        if (c.list && c.barcode && std::find(out.begin(), out.end(), v) != out.end()) {
            error = "'" + v + "' twice in the list";
            return "";
        }
        out.push_back(v);
    }
    return c.list ? join(out, ';') : out.empty() ? "" : out[0];
}

bool sameValue(const FieldInfo& f, const std::string& a, const std::string& b) {
    if (f.column.list && f.column.barcode) {
        auto x = a.empty() ? std::vector<std::string>{} : split(a, ';');
        auto y = b.empty() ? std::vector<std::string>{} : split(b, ';');
        std::sort(x.begin(), x.end());
        std::sort(y.begin(), y.end());
        return x == y;
    }
    if (f.kind != "text" && f.kind != "function") {
        std::string e, w;
        const std::string x = checkValue(f, a, e, w), y = checkValue(f, b, e, w);
        return e.empty() ? x == y : a == b;
    }
    if (f.column.decimal && !f.column.list) {
        std::string e1, e2;
        const std::string x = checkDecimal(f.column, a, e1), y = checkDecimal(f.column, b, e2);
        return e1.empty() && e2.empty() ? x == y : a == b;
    }
    return a == b;
}

std::string describeColumns(const Table& t) {
    std::string out;
    for (const FieldInfo& f : schemaOf(t).fields) {
        const Column& c = f.column;
        out += "  " + f.name;
        std::vector<std::string> notes;
        if (f.kind == "key") notes.push_back("the record number, 1 to 65535");
        else if (f.kind == "function") notes.push_back("the insert function that writes the record's kind");
        else if (c.vat) notes.push_back("VAT rate A to G");
        else if (c.barcode) notes.push_back(std::string(c.list ? "barcodes, ';' between them" : "barcode") + ", digits only");
        else if (c.decimal)
            notes.push_back(std::string(c.list ? "whole numbers, ';' between them" : "whole number") +
                            (c.unit.empty() ? "" : ", in " + c.unit));
        else if (c.list) notes.push_back("list, ';' between entries");
        else if (f.kind == "text") notes.push_back("text, at most " + std::to_string(c.maxLen) + " bytes in the register's character set");
        else if (c.max >= 0) notes.push_back("0 to " + std::to_string(c.max));
        else notes.push_back(std::string("0 to ") + (f.kind == "u8" ? "255" : f.kind == "u16" ? "65535" : "4294967295"));
        if (!c.from.empty() && fieldName(c.from) != f.name) notes.push_back("the register's name: " + c.from);
        std::string joined;
        for (const std::string& n : notes) joined += (joined.empty() ? "" : "; ") + n;
        out += " (" + joined + ")\n";
    }
    return out;
}

// ---- records read back, as fields

namespace {

std::optional<std::string> lookup(const Table& t, const Record& r, const std::string& name, bool header = false) {
    const bool typed = t.typed != nullptr;
    for (const Item& i : r)
        if (i.name == name && (!typed || i.body != header)) return i.value;
    return std::nullopt;
}

std::string keyOf(const Table& t, const Record& r) { return lookup(t, r, t.keyField, true).value_or(""); }

const Variant* variantOf(const Table& t, const Record& r) {
    if (t.selector.empty()) return &t.variants[0];
    const auto sel = lookup(t, r, t.selector, true);
    if (!sel) return nullptr;
    for (const Variant& v : t.variants)
        if (std::to_string(v.code) == *sel) return &v;
    return nullptr;
}

// The value of a column from a record read back, as Cells hold it; "" in
// `error` when fine.
std::optional<std::string> readBack(const Table& t, const Column& c, const Record& r, std::string& error) {
    if (c.derive) return c.derive(r);
    auto value = lookup(t, r, c.from.empty() ? c.name : c.from);
    if (!value) {
        error = "no value read back for " + c.name;
        return value;
    }
    if (c.list) {
        if (value->find(';') != std::string::npos) {
            error = fieldName(c.name) + ": an entry contains ';', which separates the entries in CSV";
            return std::nullopt;
        }
        for (char& ch : *value)
            if (ch == '\n') ch = ';';
    }
    if (c.vat) {
        auto n = parseUnsigned(*value, 255);
        if (n && *n <= kVatIndexMax) value = std::string(1, static_cast<char>('A' + *n));
    }
    return value;
}

}  // namespace

Mapped toColumns(const Table& t, const Record& r) {
    Mapped m;
    const Variant* v = variantOf(t, r);
    if (!v) {
        m.error = "a record of kind " + lookup(t, r, t.selector, true).value_or("?") + " (" +
                  lookup(t, r, "type_name", true).value_or("not written by this table") +
                  "), which this table's insert functions do not write";
        return m;
    }
    const std::string name = v->inserts.size() == 1 ? v->inserts[0] : v->pick(r);
    const Call* insert = name.empty() ? nullptr : findCall(name);
    if (!insert) {
        m.error = "a record that no insert function of this table writes";
        return m;
    }
    m.insert = insert;
    m.variant = v;
    m.cells[kKey] = keyOf(t, r);
    if (multiKind(t)) m.cells[kFunction] = insert->name;
    for (size_t i = 1; i < insert->fields.size(); ++i) {
        const std::string arg = insert->fields[i].name;
        if (flagOf(v->flags, arg)) continue;
        const Column c = columnOf(t, v, arg);
        std::string error;
        auto value = readBack(t, c, r, error);
        if (!value && v->fill && error.rfind("no value", 0) == 0) value = v->fill(r, *insert, i);
        if (!value) {
            m.error = error;
            return m;
        }
        m.cells[argField(arg)] = *value;
    }
    if (!v->extraBarcodes.empty()) {
        std::string error;
        auto value = readBack(t, columnOf(t, v, v->extraBarcodes), r, error);
        if (!value) {
            m.error = error;
            return m;
        }
        m.cells[fieldName(v->extraBarcodes)] = *value;
    }
    return m;
}

const Variant* variantWriting(const Table& t, const std::string& function) {
    for (const Variant& v : t.variants)
        for (const std::string& f : v.inserts)
            if (f == function) return &v;
    return nullptr;
}

Request readRequest(const Table& t, const std::string& key) {
    std::vector<std::string> args;
    for (const std::string& a : t.readArgs) args.push_back(a == "#" ? key : a);
    ReadStep step = t.typed ? typedReader(*t.typed) : plainReader(&callNamed(t.reader));
    Request r = makeRequest(t.read, args, std::move(step));
    r.retries = kReadRetries;
    r.readOnly = true;
    return r;
}

void confirm(bool yes, const std::string& what) {
    if (yes) return;
    if (isatty(STDIN_FILENO) && isatty(STDERR_FILENO) && !jsonOutput()) {
        std::cerr << "trvctl: " << what << ". Go ahead? [y/N] " << std::flush;
        std::string answer;
        std::getline(std::cin, answer);
        if (answer == "y" || answer == "Y" || answer == "yes") return;
        throw UsageError("not confirmed; nothing was sent", false);
    }
    throw UsageError(what + ": give --yes to go ahead", false);
}

// ---- reading a table

namespace {

// The article count and table size from the database status.
std::optional<std::pair<unsigned, unsigned>> dbStatus(Session& s, size_t index) {
    for (const char* fn : {"TRVS_DBStatusGetEx", "TRVS_DBStatusGet"}) {
        try {
            Record r = runOne(s, makeRequest(fn, {}, plainReader(readerFor(callNamed(fn)))));
            const auto sizes = split(itemValue(r, "rozmiary"), '\n');
            const auto counts = split(itemValue(r, "zaprogramowane"), '\n');
            if (index < sizes.size() && index < counts.size()) {
                auto size = parseUnsigned(sizes[index], 0xFFFF), count = parseUnsigned(counts[index], 0xFFFF);
                if (size && count) return std::pair{static_cast<unsigned>(*size), static_cast<unsigned>(*count)};
            }
            return std::nullopt;
        } catch (const Failure&) {
            // The older register knows only 502.
        }
    }
    return std::nullopt;
}

// Reads records from..to (pipelined) and hands each one found to `each`, in
// record order (a read repeated after a broken connection answers late).
// Numbers without a record are passed over; the first number the register
// calls out of range ends the table.
void scan(Session& s, const Table& t, const TableOptions& o, Progress& progress,
          const std::function<void(Record&&)>& each) {
    unsigned first = o.from ? o.from : t.first, last = o.to ? o.to : t.last;
    std::optional<unsigned> expected;
    if (t.countFromDbStatus) {
        if (auto st = dbStatus(s, kDbStatusArticles)) {
            if (!o.to && st->first) last = st->first;
            if (!o.from && !o.to) expected = st->second;
        }
    }
    progress.setTotal(expected ? *expected : last >= first ? last - first + 1 : 0);
    unsigned found = 0;
    bool end = false;
    std::map<unsigned, Record> records;
    Pipeline p(s);
    for (unsigned k = first; k <= last && !end; ++k) {
        if (expected && found >= *expected) break;
        p.post(readRequest(t, std::to_string(k)), [&, k](const Result& res, Record&& rec) {
            if (!expected) progress.advance();
            if (res.status == TARVIK_STATUS_EXEC_ERROR + kErrNotFound) return;
            if (res.status == TARVIK_STATUS_EXEC_ERROR + kErrBadValue) {
                end = true;  // beyond the register's table
                return;
            }
            if (res.status)
                throw Failure(t.name + " " + std::to_string(k) + ": " + describeResult(res, s.timeoutMs()), res.status,
                              Outcome::Refused);
            ++found;
            if (expected) progress.advance();
            records.emplace(k, std::move(rec));
        });
    }
    p.finish();
    for (auto& [k, r] : records) each(std::move(r));
}

std::string singular(const Table& t) { return t.alias; }

// A record as `get` shows it: its fields, then what the register answers
// besides (read-only), in the one naming style.
Record display(const Table& t, const Record& r) {
    Record out;
    const Mapped m = toColumns(t, r);
    if (!m.error.empty()) {
        for (const Item& i : styled(r)) out.push_back({i.name, i.value, i.number});
        return out;
    }
    std::set<std::string> consumed = {t.keyField};
    for (const FieldInfo& f : schemaOf(t).fields) {
        auto it = m.cells.find(f.name);
        if (it == m.cells.end()) continue;
        const bool number = (f.kind == "u8" || f.kind == "u16" || f.kind == "u32" || f.kind == "key") && !f.column.vat;
        out.push_back({f.name, it->second, number});
        consumed.insert(f.column.from.empty() ? f.arg : f.column.from);
    }
    for (const Item& i : r) {
        if (consumed.count(i.name)) continue;
        bool shown = false;
        for (const Item& o : out) shown = shown || o.name == fieldName(i.name);
        if (!shown) out.push_back({fieldName(i.name), i.value, i.number});
    }
    return out;
}

std::set<std::string> listFields(const Table& t) {
    std::set<std::string> out;
    for (const FieldInfo& f : schemaOf(t).fields)
        if (f.column.list) out.insert(f.name);
    return out;
}

void showRecord(const Table& t, const Record& r) {
    const Record d = display(t, r);
    if (jsonOutput()) {
        printJson(toJson(d, listFields(t)));
        return;
    }
    const Mapped m = toColumns(t, r);
    if (!m.error.empty()) std::cout << "(" << m.error << ")\n";
    printRecord(std::cout, d);
}

}  // namespace

int tableList(Session& s, const Table& t, const TableOptions& o) {
    Progress progress("reading " + t.name);
    std::vector<Record> records;
    scan(s, t, o, progress, [&](Record&& r) { records.push_back(display(t, r)); });
    progress.finish();
    if (jsonOutput()) {
        Json a = Json::array();
        for (const Record& r : records) a.push_back(toJson(r, listFields(t)));
        printJson(Json{{"table", t.name}, {"records", a}});
        return kExitOk;
    }
    std::vector<std::vector<std::string>> rows;
    for (const Record& r : records) {
        std::vector<std::string> row;
        for (const std::string& c : t.listColumns) {
            std::string v = itemValue(r, c);
            for (char& ch : v)
                if (ch == '\n') ch = ' ';
            row.push_back(v);
        }
        rows.push_back(std::move(row));
    }
    printTable(std::cout, t.listColumns, rows);
    return kExitOk;
}

namespace {

// Reads one record, failures named by what the user asked for.
Record readOne(Session& s, const std::string& what, Request r) {
    try {
        return runOne(s, std::move(r));
    } catch (const Failure& f) {
        std::string why = f.what();  // "TRVS_...: why", or the function alone
        const size_t colon = why.find(": ");
        why = colon == std::string::npos ? describeStatus(f.status()) : why.substr(colon + 2);
        throw Failure(what + ": " + why, f.status(), f.outcome(), f.described() || colon == std::string::npos);
    }
}

}  // namespace

int tableGet(Session& s, const Table& t, const std::string& key) {
    if (!parseUnsigned(key, 0xFFFF) || key == "0")
        throw UsageError("'" + key + "' is not a record number from 1 to 65535");
    showRecord(t, readOne(s, singular(t) + " " + key, readRequest(t, key)));
    return kExitOk;
}

int tableFind(Session& s, const Table& t, const std::string& code) {
    std::vector<std::string> args;
    for (const std::string& a : t.findArgs) args.push_back(a == "#" ? code : a);
    Request r = makeRequest(t.find, args, t.typed ? typedReader(*t.typed) : plainReader(&callNamed(t.reader)));
    r.retries = kReadRetries;
    r.readOnly = true;
    showRecord(t, readOne(s, singular(t) + " with the barcode '" + code + "'", std::move(r)));
    return kExitOk;
}

int tableDelete(Session& s, const Table& t, const std::string& key, const TableOptions& o) {
    if (!parseUnsigned(key, 0xFFFF) || key == "0")
        throw UsageError("'" + key + "' is not a record number from 1 to 65535");
    // Which record it is, in the question.
    Record before = readOne(s, singular(t) + " " + key, readRequest(t, key));
    const std::string name = itemValue(display(t, before), "nazwa");
    confirm(o.yes, "deleting " + singular(t) + " " + key + (name.empty() ? "" : " (" + name + ")") +
                       " cannot be undone");
    Graceful graceful;
    const Call& del = callNamed(t.del);
    std::vector<std::string> args = {key};
    for (size_t i = 1; i < del.fields.size(); ++i) {
        const Flag* f = flagOf(t.delFlags, del.fields[i].name);
        args.push_back(f ? (f == nullptr ? "0" : *f == Flag::Force ? (o.force ? "1" : "0") : (o.related ? "1" : "0")) : "0");
    }
    try {
        runOne(s, makeRequest(del, args, plainReader(nullptr)));
    } catch (const Failure& f) {
        if (f.outcome() != Outcome::Unknown) throw;
        // Settled by looking: a record that is gone was deleted.
        if (!registerAnswers(s)) throw;
        try {
            Request again = readRequest(t, key);
            again.timeoutMs = std::max<uint32_t>(s.timeoutMs(), kSettleWaitMs);
            runOne(s, std::move(again));
        } catch (const Failure& g) {
            if (g.status() == TARVIK_STATUS_EXEC_ERROR + kErrNotFound) {
                note(std::string(f.what()) + "; read back: " + singular(t) + " " + key + " is gone: deleted");
                if (jsonOutput()) printJson(Json{{"deleted", true}, {"table", t.name}, {"numer_rekordu", std::stoul(key)}});
                return kExitOk;
            }
            throw f;
        }
        throw Failure(std::string(f.what()) + "; read back: " + singular(t) + " " + key + " is still there: not deleted",
                      f.status(), Outcome::Refused);
    }
    if (jsonOutput()) printJson(Json{{"deleted", true}, {"table", t.name}, {"numer_rekordu", std::stoul(key)}});
    else note("deleted " + singular(t) + " " + key);
    return kExitOk;
}

int tableExport(Session& s, const Table& t, const TableOptions& o) {
    const std::vector<std::string> columns = csvColumns(t);
    const char delim = o.delimiter ? o.delimiter : ',';
    OutFile out(o.file, t.secret);
    std::string bytes, error;
    auto put = [&](const std::vector<std::string>& cells, const std::string& what) {
        std::string encoded;
        if (!encodeText(o.encoding, csvRow(cells, delim), encoded, error))
            throw ToolError(what + ": " + error + " (choose another --encoding)");
        out.write(encoded);
    };
    if (o.encoding.bom) out.write("\xEF\xBB\xBF");
    put(columns, "the header");
    size_t written = 0, left = 0;
    Progress progress("exporting " + t.name);
    scan(s, t, o, progress, [&](Record&& r) {
        Mapped m = toColumns(t, r);
        if (!m.error.empty()) {
            progress.finish();
            std::cerr << "trvctl: " << singular(t) << " " << keyOf(t, r) << " not exported: it is " << m.error << "\n";
            ++left;
            return;
        }
        if (m.variant && m.variant->unanswered) {
            const std::string lost = m.variant->unanswered(*m.insert);
            if (!lost.empty())
                note(singular(t) + " " + keyOf(t, r) + " (" + m.insert->name + "): the register does not answer " +
                     lost + "; written as 0 or empty");
        }
        std::vector<std::string> row;
        for (const std::string& c : columns) row.push_back(m.cells[c]);
        put(row, singular(t) + " " + keyOf(t, r));
        ++written;
    });
    progress.finish();
    out.commit();
    if (jsonOutput()) {
        printJson(Json{{"table", t.name}, {"file", o.file}, {"exported", written}, {"left_out", left}});
    } else {
        std::string msg = "exported " + std::to_string(written) + " " + t.name;
        if (o.file != "-") msg += " to " + o.file;
        if (left) msg += "; " + std::to_string(left) + " left out (see above)";
        note(msg);
    }
    if (t.secret) note((o.file == "-" ? std::string("the output") : o.file) + " holds passwords and PINs: keep it safe");
    return left ? kExitPartial : kExitOk;
}

}  // namespace trvctl
