#include "tables.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>

#include "output.h"
#include "session.h"
#include "util.h"

namespace trvctl {

namespace {

const std::string kFunctionColumn = "funkcja";
const std::string kRejectLine = "reject_line", kRejectReason = "reject_reason";

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

bool isText(const Field& f) { return std::string_view(f.kind) == "text"; }

bool multiKind(const Table& t) { return t.variants.size() > 1 || t.variants[0].inserts.size() > 1; }

std::string keyColumnOf(const Table& t) {
    return t.keyColumn.empty() ? callNamed(t.variants[0].inserts[0]).fields[0].name : t.keyColumn;
}

const Flag* flagOf(const std::vector<std::pair<std::string, Flag>>& flags, const std::string& arg) {
    for (const auto& [name, f] : flags)
        if (name == arg) return &f;
    return nullptr;
}

std::string flagValue(Flag f, const TableOptions& o) {
    switch (f) {
    case Flag::Overwrite: return o.overwrite ? "1" : "0";
    case Flag::Force: return o.force ? "1" : "0";
    case Flag::Related: return o.related ? "1" : "0";
    }
    return "0";
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

// A whole number as the register's Numeric takes it.
bool wholeNumber(const std::string& s) {
    size_t i = s.size() > 0 && s[0] == '-' ? 1 : 0;
    if (i == s.size() || s.size() - i > 12) return false;
    for (; i < s.size(); ++i)
        if (s[i] < '0' || s[i] > '9') return false;
    return true;
}

// Checks a CSV cell against its argument and column; on success `arg` is the
// value for the function (lists joined with line feeds).
std::string checkCell(const Column& c, const Field& f, const std::string& cell, std::string& arg) {
    if (isText(f)) {
        const std::vector<std::string> entries = c.list ? (cell.empty() ? std::vector<std::string>{} : split(cell, ';'))
                                                        : std::vector<std::string>{cell};
        for (const std::string& e : entries) {
            if (c.decimal && !(c.list && e.empty()) && !wholeNumber(e))
                return "'" + e + "' is not a whole number (the register's Numeric values have no decimal places)";
            if (!c.decimal && e.size() > c.maxLen)
                return std::to_string(e.size()) + " bytes, at most " + std::to_string(c.maxLen);
        }
        arg = join(entries, '\n');
        return "";
    }
    arg = cell;
    if (c.max >= 0) {
        auto v = parseUnsigned(cell, static_cast<uint64_t>(c.max));
        if (!v) return "'" + cell + "' is not a number from 0 to " + std::to_string(c.max);
    }
    return "";
}

// ---- records read back, as insert arguments

struct Mapped {
    const Call* insert = nullptr;
    std::map<std::string, std::string> cells;
    std::string error;
};

// The value of a column from a record read back; "" in `error` when fine.
std::optional<std::string> readBack(const Table& t, const Column& c, const Record& r, std::string& error) {
    if (c.derive) return c.derive(r);
    auto value = lookup(t, r, c.from.empty() ? c.name : c.from);
    if (value && c.list) {
        if (value->find(';') != std::string::npos) {
            error = c.name + ": an entry contains ';', which separates the entries in CSV";
            return std::nullopt;
        }
        for (char& ch : *value)
            if (ch == '\n') ch = ';';
    }
    if (!value) error = "no value read back for " + c.name;
    return value;
}

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
        m.error = "no insert function writes it";
        return m;
    }
    m.insert = insert;
    m.cells[keyColumnOf(t)] = keyOf(t, r);
    if (multiKind(t)) m.cells[kFunctionColumn] = insert->name;
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
        m.cells[arg] = *value;
    }
    for (const Step& s : v->after)
        for (const std::string& arg : s.args) {
            if (arg == "#") continue;
            std::string error;
            auto value = readBack(t, columnOf(t, v, arg), r, error);
            if (!value) {
                m.error = error;
                return m;
            }
            m.cells[arg] = *value;
        }
    return m;
}

// ---- lines of a CSV file, as requests

struct Job {
    CsvRow row;
    std::vector<Request> steps;
};

const Variant* variantWriting(const Table& t, const std::string& function) {
    for (const Variant& v : t.variants)
        for (const std::string& f : v.inserts)
            if (f == function) return &v;
    return nullptr;
}

// Builds the requests of one record from its cells by column name; returns
// "" or what is wrong.
std::string buildJob(const Table& t, const std::map<std::string, std::string>& cells, const TableOptions& o,
                     std::vector<Request>& steps) {
    auto cell = [&](const std::string& name) {
        auto it = cells.find(name);
        return it == cells.end() ? std::string() : it->second;
    };
    const std::string function = multiKind(t) ? cell(kFunctionColumn) : t.variants[0].inserts[0];
    const Variant* v = variantWriting(t, function);
    if (!v) return kFunctionColumn + ": '" + function + "' is not an insert function of this table";
    const Call& insert = callNamed(function);
    const std::string key = cell(keyColumnOf(t));
    if (!parseUnsigned(key, 0xFFFF) || key == "0")
        return keyColumnOf(t) + ": '" + key + "' is not a record number from 1 to 65535";

    std::vector<std::string> args;
    for (size_t i = 0; i < insert.fields.size(); ++i) {
        const Field& f = insert.fields[i];
        if (i == 0) {
            args.push_back(key);
        } else if (const Flag* fl = flagOf(v->flags, f.name)) {
            args.push_back(flagValue(*fl, o));
        } else {
            std::string arg;
            const std::string err = checkCell(columnOf(t, v, f.name), f, cell(f.name), arg);
            if (!err.empty()) return std::string(f.name) + ": " + err;
            args.push_back(arg);
        }
    }
    try {
        steps.push_back(makeRequest(insert, args, plainReader(nullptr)));
        for (const Step& s : v->after) {
            if (!s.skipIfEmpty.empty() && cell(s.skipIfEmpty).empty()) continue;
            const Call& fn = callNamed(s.function);
            std::vector<std::string> a;
            for (size_t i = 0; i < s.args.size(); ++i) {
                if (s.args[i] == "#") {
                    a.push_back(key);
                    continue;
                }
                std::string arg;
                const std::string err = checkCell(columnOf(t, v, s.args[i]), fn.fields[i], cell(s.args[i]), arg);
                if (!err.empty()) return s.args[i] + ": " + err;
                a.push_back(arg);
            }
            steps.push_back(makeRequest(fn, a, plainReader(nullptr)));
        }
    } catch (const UsageError& e) {
        // The argument's own type refused the value ("TRVS_PLUIns: numer_MU: ...").
        std::string what = e.what();
        const size_t colon = what.find(": ");
        return colon == std::string::npos ? what : what.substr(colon + 2);
    }
    return "";
}

// ---- reading a table

Request readRequest(const Table& t, const std::string& key, const std::string& function,
                    const std::vector<std::string>& pattern) {
    std::vector<std::string> args;
    for (const std::string& a : pattern) args.push_back(a == "#" ? key : a);
    ReadStep step = t.typed ? typedReader(*t.typed) : plainReader(&callNamed(t.reader));
    Request r = makeRequest(function, args, std::move(step));
    r.retries = kReadRetries;
    return r;
}

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
// record order (a read repeated after a broken connection answers late). Numbers without a record are passed over; the first number
// the register calls out of range ends the table.
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
        p.post(readRequest(t, std::to_string(k), t.read, t.readArgs), [&, k](TARVIK_STATUS st, Record&& rec) {
            if (!expected) progress.advance();
            if (st == TARVIK_STATUS_EXEC_ERROR + kErrNotFound) return;
            if (st == TARVIK_STATUS_EXEC_ERROR + kErrBadValue) {
                end = true;  // beyond the register's table
                return;
            }
            if (st) throw Failure(t.read + " " + std::to_string(k), st);
            ++found;
            if (expected) progress.advance();
            records.emplace(k, std::move(rec));
        });
    }
    p.finish();
    for (auto& [k, r] : records) each(std::move(r));
}

std::string rejectsPath(const TableOptions& o) {
    if (!o.rejects.empty()) return o.rejects;
    std::string base = o.file == "-" ? "stdin" : o.file;
    if (base.size() > 4 && base.compare(base.size() - 4, 4, ".csv") == 0) base.resize(base.size() - 4);
    return base + ".rejects.csv";
}

void showRecord(const Table& t, const Record& r) {
    if (jsonOutput()) {
        printJson(toJson(r, t.lists));
        return;
    }
    Record shown = r;
    for (Item& i : shown)
        if (i.body) i.name = "  " + i.name;
    printRecord(std::cout, shown);
}

}  // namespace

std::vector<std::string> csvColumns(const Table& t) {
    std::vector<std::string> cols = {keyColumnOf(t)};
    if (multiKind(t)) cols.push_back(kFunctionColumn);
    auto add = [&](const std::string& c) {
        if (std::find(cols.begin(), cols.end(), c) == cols.end()) cols.push_back(c);
    };
    for (const Variant& v : t.variants) {
        for (const std::string& fn : v.inserts) {
            const Call& c = callNamed(fn);
            for (size_t i = 1; i < c.fields.size(); ++i)
                if (!flagOf(v.flags, c.fields[i].name)) add(c.fields[i].name);
        }
        for (const Step& s : v.after)
            for (const std::string& a : s.args)
                if (a != "#") add(a);
    }
    return cols;
}

std::string describeColumns(const Table& t) {
    std::string out;
    for (const std::string& name : csvColumns(t)) {
        const Column c = columnOf(t, nullptr, name);
        out += "  " + name;
        std::string notes;
        if (name != keyColumnOf(t) && name != kFunctionColumn) {
            if (c.decimal) notes += "whole number";
            if (c.list) notes += std::string(notes.empty() ? "" : ", ") + "list, ';' between entries";
            if (c.max >= 0) notes += std::string(notes.empty() ? "" : ", ") + "0 to " + std::to_string(c.max);
            if (!c.from.empty() && c.from != name) notes += std::string(notes.empty() ? "" : ", ") + "read back as " + c.from;
        }
        if (!notes.empty()) out += " (" + notes + ")";
        out += "\n";
    }
    return out;
}

int tableList(Session& s, const Table& t, const TableOptions& o) {
    Progress progress("reading " + t.name);
    std::vector<Record> records;
    scan(s, t, o, progress, [&](Record&& r) { records.push_back(std::move(r)); });
    progress.finish();
    if (jsonOutput()) {
        Json a = Json::array();
        for (const Record& r : records) a.push_back(toJson(r, t.lists));
        printJson(a);
        return kExitOk;
    }
    std::vector<std::vector<std::string>> rows;
    for (const Record& r : records) {
        std::vector<std::string> row;
        for (const std::string& c : t.listColumns) {
            std::string v = lookup(t, r, c, false).value_or(lookup(t, r, c, true).value_or(""));
            for (char& ch : v)
                if (ch == '\n') ch = ' ';
            row.push_back(v);
        }
        rows.push_back(std::move(row));
    }
    printTable(std::cout, t.listColumns, rows);
    return kExitOk;
}

int tableGet(Session& s, const Table& t, const std::string& key) {
    showRecord(t, runOne(s, readRequest(t, key, t.read, t.readArgs)));
    return kExitOk;
}

int tableFind(Session& s, const Table& t, const std::string& code) {
    showRecord(t, runOne(s, readRequest(t, code, t.find, t.findArgs)));
    return kExitOk;
}

int tableSet(Session& s, const Table& t, const std::string& key, const std::vector<std::string>& assignments,
             const TableOptions& o) {
    if (!parseUnsigned(key, 0xFFFF) || key == "0") throw UsageError("'" + key + "' is not a record number");
    const std::vector<std::string> columns = csvColumns(t);
    std::map<std::string, std::string> cells;
    // The record as it is, so that only the fields named change.
    try {
        Record r = runOne(s, readRequest(t, key, t.read, t.readArgs));
        Mapped m = toColumns(t, r);
        // Never overwrite a record this table cannot read back (a set with an article).
        if (!m.error.empty()) throw ToolError(t.name + " " + key + " is " + m.error);
        cells = m.cells;
    } catch (const Failure& f) {
        if (f.status() != TARVIK_STATUS_EXEC_ERROR + kErrNotFound) throw;
    }
    for (const std::string& a : assignments) {
        const size_t eq = a.find('=');
        const std::string name = a.substr(0, eq);
        if (eq == std::string::npos || std::find(columns.begin(), columns.end(), name) == columns.end() ||
            name == keyColumnOf(t))
            throw UsageError("'" + a + "': expected FIELD=VALUE with FIELD one of:\n" + describeColumns(t));
        cells[name] = a.substr(eq + 1);
    }
    cells[keyColumnOf(t)] = key;
    if (!multiKind(t)) {
        // A new record: what was not named is 0 or empty.
        for (size_t i = 1; i < columns.size(); ++i) cells.try_emplace(columns[i], "");
        const Call& insert = callNamed(t.variants[0].inserts[0]);
        for (const Field& f : insert.fields)
            if (!isText(f) && cells.count(f.name) && cells[f.name].empty()) cells[f.name] = "0";
    } else if (cells[kFunctionColumn].empty()) {
        throw UsageError("record " + key + " is new: name its kind with " + kFunctionColumn + "=FUNCTION");
    } else if (const Variant* v = variantWriting(t, cells[kFunctionColumn])) {
        for (const Field& f : callNamed(cells[kFunctionColumn]).fields)
            if (!isText(f) && !flagOf(v->flags, f.name)) cells.try_emplace(f.name, "0");
    }
    std::vector<Request> steps;
    const std::string err = buildJob(t, cells, o, steps);
    if (!err.empty()) throw UsageError(err);
    for (Request& r : steps) runOne(s, std::move(r));
    return kExitOk;
}

int tableDelete(Session& s, const Table& t, const std::string& key, const TableOptions& o) {
    const Call& del = callNamed(t.del);
    std::vector<std::string> args = {key};
    for (size_t i = 1; i < del.fields.size(); ++i) {
        const Flag* f = flagOf(t.delFlags, del.fields[i].name);
        args.push_back(f ? flagValue(*f, o) : "0");
    }
    runOne(s, makeRequest(del, args, plainReader(nullptr)));
    return kExitOk;
}

int tableExport(Session& s, const Table& t, const TableOptions& o) {
    const std::vector<std::string> columns = csvColumns(t);
    std::ofstream file;
    std::string tmp;
    if (o.file != "-") {
        tmp = o.file + ".part";
        file.open(tmp, std::ios::binary | std::ios::trunc);
        if (!file) throw ToolError("cannot write " + tmp);
    }
    std::ostream& out = o.file == "-" ? std::cout : file;
    writeCsvRow(out, columns);
    size_t written = 0, left = 0;
    Progress progress("exporting " + t.name);
    try {
        scan(s, t, o, progress, [&](Record&& r) {
            Mapped m = toColumns(t, r);
            if (!m.error.empty()) {
                progress.finish();
                std::cerr << "trvctl: " << t.name << " " << keyOf(t, r) << " not exported: " << m.error << "\n";
                ++left;
                return;
            }
            if (const Variant* v = variantOf(t, r); v && v->unanswered) {
                const std::string lost = v->unanswered(*m.insert);
                if (!lost.empty())
                    std::cerr << "trvctl: note: " << t.name << " " << keyOf(t, r) << " (" << m.insert->name
                              << "): the register does not answer " << lost << "; written as 0 or empty\n";
            }
            std::vector<std::string> row;
            for (const std::string& c : columns) row.push_back(m.cells[c]);
            writeCsvRow(out, row);
            ++written;
        });
    } catch (...) {
        if (!tmp.empty()) {
            file.close();
            std::remove(tmp.c_str());
        }
        throw;
    }
    progress.finish();
    out.flush();
    if (!tmp.empty()) {
        file.close();
        if (!file || std::rename(tmp.c_str(), o.file.c_str()) != 0) {
            std::remove(tmp.c_str());
            throw ToolError("cannot write " + o.file);
        }
    }
    std::cerr << "trvctl: exported " << written << " " << t.name;
    if (left) std::cerr << "; " << left << " left out (see above)";
    std::cerr << "\n";
    return left ? kExitPartial : kExitOk;
}

int tableImport(Session& s, const Table& t, const TableOptions& o) {
    std::ifstream file;
    if (o.file != "-") {
        file.open(o.file, std::ios::binary);
        if (!file) throw ToolError("cannot read " + o.file);
    }
    std::istream& in = o.file == "-" ? std::cin : file;
    const std::string where = o.file == "-" ? "<stdin>" : o.file;
    CsvReader reader(in);

    // The header names the columns, in any order; the two columns of a
    // rejects file in front are passed over, so that one can be imported.
    CsvRow header;
    if (!reader.next(header)) throw ToolError(where + ": empty file, expected a header line");
    if (!header.error.empty()) throw ToolError(where + ":" + std::to_string(header.line) + ": " + header.error);
    size_t skip = 0;
    if (header.cells.size() >= 2 && header.cells[0] == kRejectLine && header.cells[1] == kRejectReason) skip = 2;
    const std::vector<std::string> columns = csvColumns(t);
    std::vector<std::string> names(header.cells.begin() + static_cast<long>(skip), header.cells.end());
    for (const std::string& n : names) {
        if (std::find(columns.begin(), columns.end(), n) == columns.end())
            throw ToolError(where + ":" + std::to_string(header.line) + ": unknown column '" + n +
                            "'; the columns are:\n" + describeColumns(t));
        if (std::count(names.begin(), names.end(), n) > 1)
            throw ToolError(where + ":" + std::to_string(header.line) + ": column '" + n + "' twice");
    }
    for (const std::string& c : columns)
        if (std::find(names.begin(), names.end(), c) == names.end())
            throw ToolError(where + ":" + std::to_string(header.line) + ": column '" + c + "' is missing");

    // Every line is checked before anything is sent.
    std::vector<Job> jobs;
    std::vector<std::pair<CsvRow, std::string>> rejects;  // the row and why
    // Two lines for one record would race (their barcode requests interleave).
    std::map<std::string, size_t> lineOfKey;
    CsvRow row;
    while (reader.next(row)) {
        std::string err = row.error;
        std::vector<Request> steps;
        if (err.empty() && row.cells.size() != header.cells.size())
            err = std::to_string(row.cells.size()) + " fields, the header has " + std::to_string(header.cells.size());
        if (err.empty()) {
            std::map<std::string, std::string> cells;
            for (size_t i = 0; i < names.size(); ++i) cells[names[i]] = row.cells[skip + i];
            err = buildJob(t, cells, o, steps);
            if (err.empty()) {
                const std::string key = cells[keyColumnOf(t)];
                const auto [it, fresh] = lineOfKey.emplace(key, row.line);
                if (!fresh) err = keyColumnOf(t) + ": record " + key + " is on line " + std::to_string(it->second) + " already";
            }
        }
        if (!err.empty()) {
            std::cerr << where << ":" << row.line << ": " << err << "\n";
            rejects.emplace_back(row, "invalid: " + err);
            continue;
        }
        jobs.push_back({row, std::move(steps)});
    }

    // Pipelined: each line's requests one after the other, many lines at
    // once. A line counts only when the register confirmed all its requests.
    std::vector<std::string> reasons(jobs.size());
    std::vector<bool> settled(jobs.size(), false);
    size_t confirmed = 0;
    bool lost = false;
    TARVIK_STATUS lostStatus = 0;
    Progress progress("importing " + t.name, jobs.size());
    Pipeline p(s);
    std::function<void(size_t, size_t)> postStep = [&](size_t j, size_t k) {
        if (lost) {
            reasons[j] = "not sent (" + std::string(k ? "after its first request was confirmed; " : "") +
                         "the connection was lost: " + describeStatus(lostStatus) + ")";
            settled[j] = true;
            progress.advance();
            return;
        }
        p.post(jobs[j].steps[k], [&, j, k](TARVIK_STATUS st, Record&&) {
            if (st) {
                reasons[j] = std::string(jobs[j].steps[k].send->name) + ": " + describeStatus(st) +
                             argumentNote(*jobs[j].steps[k].send, st);
                settled[j] = true;
                progress.advance();
                if (connectionDown(st) && !lost) {
                    lost = true;
                    lostStatus = st;
                    p.abandon();
                }
                return;
            }
            if (k + 1 < jobs[j].steps.size()) {
                postStep(j, k + 1);
                return;
            }
            settled[j] = true;
            ++confirmed;
            progress.advance();
        });
    };
    for (size_t j = 0; j < jobs.size() && !lost; ++j) postStep(j, 0);
    p.finish();
    progress.finish();
    for (size_t j = 0; j < jobs.size(); ++j) {
        if (!settled[j])
            reasons[j] = "not sent (the connection was lost: " + describeStatus(lostStatus) + ")";
        if (!reasons[j].empty()) {
            std::cerr << where << ":" << jobs[j].row.line << ": refused: " << reasons[j] << "\n";
            rejects.emplace_back(jobs[j].row, reasons[j]);
        }
    }

    if (!rejects.empty()) {
        std::sort(rejects.begin(), rejects.end(), [](const auto& a, const auto& b) { return a.first.line < b.first.line; });
        const std::string path = rejectsPath(o);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        std::vector<std::string> h = {kRejectLine, kRejectReason};
        h.insert(h.end(), names.begin(), names.end());
        writeCsvRow(out, h);
        for (const auto& [r, why] : rejects) {
            std::vector<std::string> cells = {std::to_string(r.line), why};
            if (r.error.empty())
                cells.insert(cells.end(), r.cells.begin() + static_cast<long>(std::min(skip, r.cells.size())),
                             r.cells.end());
            else
                cells.push_back(r.raw);
            writeCsvRow(out, cells);
        }
        out.close();
        if (!out) throw ToolError("cannot write the rejects file " + path);
        std::cerr << "trvctl: imported " << confirmed << " of " << confirmed + rejects.size() << " lines; " << rejects.size() << " not imported, written to " << path << "\n";
    } else {
        std::cerr << "trvctl: imported " << confirmed << " lines\n";
        // A rejects file of an earlier run of this file is out of date now.
        if (o.rejects.empty()) {
            const std::string path = rejectsPath(o);
            std::ifstream old(path, std::ios::binary);
            std::string first;
            if (old && std::getline(old, first) && first.rfind(kRejectLine + "," + kRejectReason + ",", 0) == 0) {
                old.close();
                std::remove(path.c_str());
            }
        }
    }
    if (lost) return kExitFailure;
    return rejects.empty() ? kExitOk : kExitPartial;
}

}  // namespace trvctl
