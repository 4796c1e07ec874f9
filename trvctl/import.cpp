// Writing records: `set` (one record) and `import` (a CSV file).
//
// Every record is read first, so that only the fields given change, a record
// that would stay the same is not written, and --dry-run can say what would
// change. The writes of one record go in an order that leaves it, wherever
// they stop, either as it was or with its new fields and at least all the
// additional barcodes it should have: the insert (which keeps the record's
// barcodes), then the barcodes to add, then those to remove one by one.
//
// Each line ends as done, unchanged, or left out with one of the outcomes
// invalid, refused, not done, unknown or incomplete. A line whose outcome is
// unknown (its request was written and the answer lost) is settled at the
// end by reading the record back. The rejects file is written before
// anything is sent, with every line as "unknown", and rewritten at the end;
// so even a killed import leaves no line unaccounted for.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>

#include "csv.h"
#include "outfile.h"
#include "output.h"
#include "session.h"
#include "tables.h"
#include "util.h"

namespace trvctl {

namespace {

const std::string kKey = "numer_rekordu", kFunction = "funkcja";
const std::string kRejectLine = "reject_line", kRejectOutcome = "reject_outcome", kRejectReason = "reject_reason";
constexpr size_t kMaxRecords = 1000000;  // far beyond any table of the register
constexpr size_t kMaxMessages = 20;      // per-line messages on standard error

const char* const kInvalid = "invalid";
const char* const kIncomplete = "incomplete";

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> out;
    if (s.empty()) return out;
    size_t from = 0;
    while (true) {
        const size_t at = s.find(sep, from);
        out.push_back(s.substr(from, at - from));
        if (at == std::string::npos) return out;
        from = at + 1;
    }
}

std::string join(const std::vector<std::string>& v, const std::string& sep) {
    std::string out;
    for (size_t i = 0; i < v.size(); ++i) out += (i ? sep : "") + v[i];
    return out;
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

// A field's value as its function's argument.
std::string argValue(const FieldInfo& f, const std::string& v) {
    if (f.column.vat) return v.empty() ? "0" : std::to_string(v[0] - 'A');
    if (f.column.list) {
        std::string out = v;
        for (char& c : out)
            if (c == ';') c = '\n';
        return out;
    }
    if (f.column.decimal && v.empty()) return "0";
    if (f.kind != "text" && v.empty()) return "0";
    return v;
}

struct Step {
    Request request;
    std::string what;  // for people: "the record", "adding the additional barcodes 1, 2"
    bool adds = false, removes = false;
};

struct Line {
    size_t line = 0, lastLine = 0;   // in the file (0 for set)
    std::vector<std::string> cells;  // as in the file, without a rejects file's columns
    std::string raw;                 // a row that could not be read
    Cells given;                     // field -> value as given (checked)
    std::string key;
    std::vector<std::string> warnings;
    bool exists = false;
    Cells before, after;             // the fields the line's function writes
    const Variant* variant = nullptr;
    std::vector<Step> steps;
    size_t next = 0, confirmed = 0;
    bool mayCreate = true;           // a new record may be made (the line gives every field)
    bool started = false, finished = false, unchanged = false;
    std::string outcome;  // "" done or unchanged; else invalid, refused, not done, unknown, incomplete
    std::string reason;
    std::vector<std::pair<std::string, std::pair<std::string, std::string>>> changes;  // field, old, new
};

// The fields a function writes, with the line's additional barcodes.
std::vector<const FieldInfo*> writtenFields(const Table& t, const Call& insert, const Variant& v) {
    std::vector<const FieldInfo*> out = {fieldOf(t, kKey)};
    if (multiKind(t)) out.push_back(fieldOf(t, kFunction));
    for (size_t i = 1; i < insert.fields.size(); ++i)
        if (!flagOf(v.flags, insert.fields[i].name)) out.push_back(fieldOf(t, argField(insert.fields[i].name)));
    if (!v.extraBarcodes.empty()) out.push_back(fieldOf(t, fieldName(v.extraBarcodes)));
    return out;
}

std::string defaultValue(const FieldInfo& f) {
    if (f.column.vat) return "A";
    if (f.kind == "text") return f.column.decimal && !f.column.list ? "0" : "";
    return "0";
}

// Plans the writes of a line from the record read back (l.exists,
// l.before). Returns "" or why the line cannot be written; sets l.unchanged.
std::string plan(const Table& t, Line& l, const TableOptions& o) {
    std::string function;
    if (multiKind(t)) {
        auto g = l.given.find(kFunction);
        function = g != l.given.end() && !g->second.empty() ? g->second : l.exists ? l.before[kFunction] : "";
        if (function.empty())
            return "record " + l.key + " is new: name its kind in the field " + kFunction + " (an insert function)";
    } else {
        function = t.variants[0].inserts[0];
    }
    const Variant* v = variantWriting(t, function);
    if (!v) return kFunction + ": '" + function + "' is not an insert function of this table";
    const Call& insert = callNamed(function);
    l.variant = v;
    const auto fields = writtenFields(t, insert, *v);
    if (!l.exists && !l.mayCreate) {
        std::string lacking;
        for (const FieldInfo* f : fields)
            if (!l.given.count(f->name)) lacking += (lacking.empty() ? "" : ", ") + f->name;
        if (!lacking.empty())
            return "record " + l.key + " does not exist, and the file does not give all its fields (" + lacking +
                   " missing): such a file only changes records that exist";
    }
    const bool sameKind = l.exists && (!multiKind(t) || l.before[kFunction] == function);
    Cells after;
    for (const FieldInfo* f : fields) {
        auto g = l.given.find(f->name);
        if (g != l.given.end()) after[f->name] = g->second;
        else if (sameKind && l.before.count(f->name)) after[f->name] = l.before[f->name];
        else after[f->name] = defaultValue(*f);
    }
    after[kKey] = l.key;
    if (multiKind(t)) after[kFunction] = function;
    l.after = after;

    bool recordChanged = !sameKind, barcodesChanged = false;
    for (const FieldInfo* f : fields) {
        const std::string old = l.exists && l.before.count(f->name) ? l.before[f->name] : "";
        if (l.exists && sameValue(*f, old, after[f->name])) continue;
        if (l.exists || !after[f->name].empty()) l.changes.push_back({f->name, {old, after[f->name]}});
        if (!v->extraBarcodes.empty() && f->name == fieldName(v->extraBarcodes)) barcodesChanged = true;
        else if (f->name != kKey) recordChanged = true;
    }
    if (l.exists && !recordChanged && !barcodesChanged) {
        l.unchanged = true;
        return "";
    }
    if (l.exists && !o.overwrite) return "record " + l.key + " exists, and --no-overwrite was given";

    try {
        if (recordChanged || !l.exists) {
            std::vector<std::string> args;
            for (size_t i = 0; i < insert.fields.size(); ++i) {
                const std::string arg = insert.fields[i].name;
                if (i == 0) args.push_back(l.key);
                else if (const Flag* fl = flagOf(v->flags, arg)) args.push_back(flagValue(*fl, o));
                else args.push_back(argValue(*fieldOf(t, argField(arg)), after[argField(arg)]));
            }
            l.steps.push_back({makeRequest(insert, args, plainReader(nullptr)), "the record", false, false});
        }
        if (!v->extraBarcodes.empty()) {
            const std::string name = fieldName(v->extraBarcodes);
            const auto old = l.exists ? split(l.before[name], ';') : std::vector<std::string>{};
            const auto now = split(after[name], ';');
            std::vector<std::string> add, remove;
            for (const std::string& b : now)
                if (std::find(old.begin(), old.end(), b) == old.end()) add.push_back(b);
            for (const std::string& b : old)
                if (std::find(now.begin(), now.end(), b) == now.end()) remove.push_back(b);
            if (!add.empty())
                l.steps.push_back({makeRequest("TRVS_BarcodeIns", {l.key, join(add, "\n")}, plainReader(nullptr)),
                                   "adding the additional barcode" + std::string(add.size() > 1 ? "s " : " ") +
                                       join(add, ", "),
                                   true, false});
            for (const std::string& b : remove)
                l.steps.push_back({makeRequest("TRVS_BarcodeDel", {b}, plainReader(nullptr)),
                                   "removing the additional barcode " + b, false, true});
        }
    } catch (const UsageError& e) {
        // The argument's own type refused the value ("TRVS_PLUIns: numer_MU: ...").
        std::string what = e.what();
        const size_t colon = what.find(": ");
        return colon == std::string::npos ? what : what.substr(colon + 2);
    }
    return "";
}

// Compares a record read back with what the line should make of it.
// Returns "done", "not done" or a description of the difference.
std::string compare(const Table& t, const Line& l, const Cells& now) {
    bool asAfter = true, asBefore = l.exists;
    std::vector<std::string> diffs;
    for (const auto& [name, value] : l.after) {
        const FieldInfo* f = fieldOf(t, name);
        auto it = now.find(name);
        const std::string cur = it == now.end() ? "" : it->second;
        if (!sameValue(*f, cur, value)) {
            asAfter = false;
            diffs.push_back(name + " is '" + cur + "', the line has '" + value + "'");
        }
        auto b = l.before.find(name);
        if (l.exists && (b == l.before.end() || !sameValue(*f, cur, b->second))) asBefore = false;
    }
    if (asAfter) return "done";
    if (asBefore) return "not done";
    return join(diffs, "; ");
}

// What the steps not confirmed would have done.
std::string missing(const Line& l) {
    std::vector<std::string> out;
    for (size_t i = l.confirmed; i < l.steps.size(); ++i) out.push_back(l.steps[i].what);
    return join(out, ", ");
}

class Writer {
public:
    Writer(Session& s, const Table& t, const TableOptions& o, std::vector<Line>& lines)
        : s_(s), t_(t), o_(o), lines_(lines), p_(s) {}

    void run(Progress& progress) {
        progress_ = &progress;
        for (size_t j = 0; j < lines_.size(); ++j) {
            if (!lines_[j].outcome.empty()) continue;  // invalid
            if (interrupts() > 0 || lost_) break;
            lines_[j].started = true;
            Request r = readRequest(t_, lines_[j].key);
            p_.post(std::move(r), [this, j](const Result& res, Record&& rec) { onRead(j, res, std::move(rec)); });
        }
        p_.finish();
        // Every line started has finished, one way or another; the others
        // were never sent.
        for (Line& l : lines_) {
            if (!l.outcome.empty() || l.finished) continue;
            l.outcome = outcomeWord(Outcome::NotDone);
            l.reason = notSentReason();
            ++notSent_;
        }
        if (!o_.dryRun) settle();
    }

    bool lost() const { return lost_; }
    size_t notSent() const { return notSent_; }
    const Result& lostResult() const { return lostResult_; }
    std::string notSentReason() const {
        if (lost_) return "not sent: the register stopped answering (" + describeResult(lostResult_, s_.timeoutMs()) + ")";
        return "not sent: interrupted";
    }

private:
    void down(const Result& r) {
        if (lost_) return;
        lost_ = true;
        lostResult_ = r;
        p_.abandon();
    }

    void onRead(size_t j, const Result& res, Record&& rec) {
        Line& l = lines_[j];
        if (res.status == TARVIK_STATUS_EXEC_ERROR + kErrNotFound) {
            l.exists = false;
        } else if (res.status == TARVIK_STATUS_EXEC_ERROR + kErrBadValue) {
            fail(l, outcomeWord(Outcome::Refused),
                 "record number " + l.key + " is beyond the register's table (" + describeStatus(res.status) + ")");
            return;
        } else if (res.status) {
            if (res.waitRanOut || connectionDown(res.status) || res.outcome == Outcome::Unknown ||
                res.outcome == Outcome::NotDone)
                down(res);
            fail(l, outcomeWord(Outcome::NotDone), "not sent: reading the record first failed: " +
                                                       describeResult(res, s_.timeoutMs()));
            return;
        } else {
            const Mapped m = toColumns(t_, rec);
            if (!m.error.empty()) {
                fail(l, outcomeWord(Outcome::Refused), "record " + l.key + " is " + m.error + "; not overwritten");
                return;
            }
            l.exists = true;
            l.before = m.cells;
        }
        const std::string err = plan(t_, l, o_);
        if (!err.empty()) {
            fail(l, l.exists && !o_.overwrite ? outcomeWord(Outcome::Refused) : kInvalid, err);
            return;
        }
        if (l.unchanged || o_.dryRun) {
            l.finished = true;
            progress_->advance();
            return;
        }
        if (interrupts() > 0 || lost_) {
            fail(l, outcomeWord(Outcome::NotDone), notSentReason());
            ++notSent_;
            return;
        }
        postStep(j);
    }

    void fail(Line& l, const std::string& outcome, const std::string& reason) {
        l.outcome = outcome;
        l.reason = reason;
        l.finished = true;
        progress_->advance();
    }

    void postStep(size_t j) {
        Line& l = lines_[j];
        const size_t k = l.next++;
        p_.post(l.steps[k].request, [this, j, k](const Result& res, Record&&) { onStep(j, k, res); });
    }

    void onStep(size_t j, size_t k, const Result& res) {
        Line& l = lines_[j];
        Step& step = l.steps[k];
        if (res.status == 0) {
            ++l.confirmed;
            if (l.confirmed == l.steps.size()) {
                l.finished = true;
                progress_->advance();
                return;
            }
            if (interrupts() >= 2 || lost_) {
                fail(l, kIncomplete,
                     "written in part: " + std::string(lost_ ? "the register stopped answering" : "interrupted") +
                         " before " + missing(l));
                return;
            }
            postStep(j);
            return;
        }
        // No room for the new barcodes beside the old ones: remove first.
        if (step.adds && res.status == TARVIK_STATUS_EXEC_ERROR + kErrFull && k + 1 < l.steps.size() &&
            l.steps[k + 1].removes) {
            std::rotate(l.steps.begin() + static_cast<long>(k), l.steps.begin() + static_cast<long>(k) + 1,
                        l.steps.end());
            l.next = k;
            postStep(j);
            return;
        }
        if (res.waitRanOut || connectionDown(res.status)) down(res);
        const std::string what = std::string(step.request.send->name) + ": " + describeResult(res, s_.timeoutMs()) +
                                 argumentNote(*step.request.send, res.status);
        if (res.outcome == Outcome::Unknown) {
            fail(l, outcomeWord(Outcome::Unknown), what);
        } else if (l.confirmed == 0) {
            fail(l, outcomeWord(res.outcome == Outcome::NotDone ? Outcome::NotDone : Outcome::Refused), what);
        } else {
            fail(l, kIncomplete, "written in part: " + what + "; not done: " + missing(l));
        }
    }

    // Reads back every record whose outcome is unknown.
    void settle() {
        if (interrupts() >= 2) return;
        bool any = false;
        for (const Line& l : lines_)
            any = any || ((l.outcome == outcomeWord(Outcome::Unknown) || l.outcome == kIncomplete) && !l.steps.empty());
        if (!any) return;
        if (!registerAnswers(s_)) {
            for (Line& l : lines_)
                if (l.outcome == outcomeWord(Outcome::Unknown))
                    l.reason += "; the register did not answer again, so it was not read back";
            return;
        }
        Pipeline p(s_);
        for (size_t j = 0; j < lines_.size(); ++j) {
            Line& l = lines_[j];
            if (l.outcome != outcomeWord(Outcome::Unknown) && l.outcome != kIncomplete) continue;
            if (l.steps.empty()) continue;
            Request again = readRequest(t_, l.key);
            again.timeoutMs = std::max<uint32_t>(s_.timeoutMs(), kSettleWaitMs);
            p.post(std::move(again), [this, j](const Result& res, Record&& rec) {
                Line& l = lines_[j];
                std::string verdict;
                if (res.status == TARVIK_STATUS_EXEC_ERROR + kErrNotFound) {
                    verdict = l.exists ? "the record is gone" : "not done";
                } else if (res.status) {
                    if (l.outcome == outcomeWord(Outcome::Unknown))
                        l.reason += "; reading it back failed too: " + describeResult(res, s_.timeoutMs());
                    return;
                } else {
                    const Mapped m = toColumns(t_, rec);
                    verdict = m.error.empty() ? compare(t_, l, m.cells) : "the record is " + m.error;
                }
                if (verdict == "done") {
                    ++settledDone_;
                    l.outcome.clear();
                    l.reason += "; confirmed by reading it back";
                } else if (verdict == "not done") {
                    l.outcome = outcomeWord(Outcome::NotDone);
                    l.reason += "; read back: the record is as it was, so it was not written";
                } else {
                    l.outcome = kIncomplete;
                    l.reason += "; read back: " + verdict;
                }
            });
        }
        p.finish();
    }

    Session& s_;
    const Table& t_;
    const TableOptions& o_;
    std::vector<Line>& lines_;
    Pipeline p_;
    Progress* progress_ = nullptr;
    bool lost_ = false;
    Result lostResult_;
    size_t notSent_ = 0, settledDone_ = 0;
};

// ---- the rejects file

std::string rejectsPath(const TableOptions& o) {
    if (!o.rejects.empty()) return o.rejects;
    std::string base = o.file == "-" ? "stdin" : o.file;
    if (base.size() > 4 && base.compare(base.size() - 4, 4, ".csv") == 0) base.resize(base.size() - 4);
    return base + ".rejects.csv";
}

bool isRejectsFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::string first;
    if (!f || !std::getline(f, first)) return false;
    if (first.rfind("\xEF\xBB\xBF", 0) == 0) first.erase(0, 3);
    return first.rfind(kRejectLine, 0) == 0;
}

void writeRejects(const std::string& path, const Table& t, const TableOptions& o, char delim,
                  const std::vector<std::string>& header, const std::vector<Line>& lines, bool provisional) {
    OutFile out(path, t.secret);
    auto put = [&](const std::vector<std::string>& cells) {
        std::string bytes, error;
        // What does not convert back (it did not convert in either) stays UTF-8.
        if (!encodeText(o.encoding, csvRow(cells, delim), bytes, error)) bytes = csvRow(cells, delim);
        out.write(bytes);
    };
    if (o.encoding.bom) out.write("\xEF\xBB\xBF");
    std::vector<std::string> h = {kRejectLine, kRejectOutcome, kRejectReason};
    h.insert(h.end(), header.begin(), header.end());
    put(h);
    for (const Line& l : lines) {
        std::string outcome = l.outcome, reason = l.reason;
        if (provisional && outcome.empty() && !l.unchanged) {
            outcome = outcomeWord(Outcome::Unknown);
            reason = "the import did not finish: trvctl ended before this line was confirmed";
        }
        if (outcome.empty()) continue;
        std::vector<std::string> cells = {std::to_string(l.line), outcome, reason};
        if (l.raw.empty()) cells.insert(cells.end(), l.cells.begin(), l.cells.end());
        else cells.push_back(l.raw);
        put(cells);
    }
    out.commit();
}

}  // namespace

// ---- import

int tableImport(Session& s, const Table& t, const TableOptions& o) {
    std::ifstream fileStream;
    const std::string where = o.file == "-" ? "<stdin>" : o.file;
    if (o.file != "-") {
        struct stat st {};
        if (stat(o.file.c_str(), &st) != 0)
            throw UsageError("cannot read " + o.file + ": " + std::strerror(errno), false);
        if (S_ISDIR(st.st_mode)) throw UsageError(o.file + " is a directory, not a CSV file", false);
        fileStream.open(o.file, std::ios::binary);
        if (!fileStream) throw UsageError("cannot read " + o.file + ": " + std::strerror(errno), false);
    }
    std::istream& in = o.file == "-" ? std::cin : fileStream;

    // The header names the fields, in any order and case; the columns of a
    // rejects file in front are passed over, so that one can be imported.
    auto score = [&t](const std::vector<std::string>& cells) {
        int n = 0;
        for (const std::string& c : cells) n += !fieldForHeader(t, c).empty() || c.rfind("reject_", 0) == 0;
        return n;
    };
    CsvReader reader(in, o.encoding, o.delimiter, score);
    CsvRow header;
    std::vector<Line> lines;
    size_t skip = 0;
    std::vector<std::string> names;  // the field of each column ("" ignored)
    try {
        if (!reader.next(header)) throw UsageError(where + ": no header line; the file is empty", false);
        if (!header.error.empty())
            throw UsageError(where + ":" + std::to_string(header.line) + ": " + header.error, false);
        if (header.cells.size() >= 2 && header.cells[0] == kRejectLine)
            skip = header.cells[1] == kRejectOutcome && header.cells.size() >= 3 ? 3 : 2;
        std::vector<std::string> ignored;
        for (size_t i = skip; i < header.cells.size(); ++i) {
            const std::string& h = header.cells[i];
            const std::string f = fieldForHeader(t, h);
            if (f.empty() && !h.empty()) ignored.push_back(h);
            if (!f.empty() && std::find(names.begin(), names.end(), f) != names.end())
                throw UsageError(where + ":" + std::to_string(header.line) + ": the field " + f +
                                     " is in two columns", false);
            names.push_back(f);
        }
        if (!ignored.empty()) {
            std::string list;
            for (const std::string& n : ignored) list += (list.empty() ? "'" : ", '") + n + "'";
            if (o.strict)
                throw UsageError(where + ":" + std::to_string(header.line) + ": unknown column" +
                                     (ignored.size() > 1 ? "s " : " ") + list + "; the fields of " + t.name +
                                     " are:\n" + describeColumns(t),
                                 false);
            note(where + ":" + std::to_string(header.line) + ": column" + (ignored.size() > 1 ? "s " : " ") + list +
                 (ignored.size() > 1 ? " are" : " is") + " no field of " + t.name + ": ignored (--strict refuses)");
        }
        if (std::find(names.begin(), names.end(), kKey) == names.end())
            throw UsageError(where + ":" + std::to_string(header.line) + ": no column " + kKey +
                                 " (the record number); the fields of " + t.name + " are:\n" + describeColumns(t),
                             false);

        // Every line is checked before anything is sent.
        std::map<std::string, size_t> lineOfKey;  // two lines for one record would race
        CsvRow row;
        while (reader.next(row)) {
            if (lines.size() >= kMaxRecords)
                throw CsvInputError("more than " + std::to_string(kMaxRecords) + " records; a table holds at most 65535");
            Line l;
            l.mayCreate = false;  // unless the line gives every field of its kind (plan())
            l.line = row.line;
            l.lastLine = row.lastLine;
            l.cells.assign(row.cells.begin() + static_cast<long>(std::min(skip, row.cells.size())), row.cells.end());
            std::string err = row.error;
            if (!err.empty()) l.raw = row.raw;
            const size_t want = header.cells.size();
            if (err.empty() && row.cells.size() != want) {
                bool extraEmpty = row.cells.size() > want;
                for (size_t i = want; i < row.cells.size(); ++i) extraEmpty = extraEmpty && row.cells[i].empty();
                if (!extraEmpty)
                    err = std::to_string(row.cells.size()) + " fields, the header has " + std::to_string(want);
                else
                    l.cells.resize(want - skip);
            }
            for (size_t i = 0; err.empty() && i < names.size(); ++i) {
                if (names[i].empty()) continue;
                std::string e, w;
                const std::string v = checkValue(*fieldOf(t, names[i]), row.cells[skip + i], e, w);
                if (!e.empty()) err = names[i] + ": " + e;
                if (!w.empty()) {
                    if (o.strict) err = names[i] + ": " + w;
                    else l.warnings.push_back(names[i] + ": " + w);
                }
                l.given[names[i]] = v;
            }
            if (err.empty()) {
                l.key = l.given[kKey];
                const auto [it, fresh] = lineOfKey.emplace(l.key, l.line);
                if (!fresh) err = kKey + ": record " + l.key + " is on line " + std::to_string(it->second) + " already";
            }
            if (!err.empty()) {
                l.outcome = kInvalid;
                l.reason = err;
            }
            lines.push_back(std::move(l));
        }
    } catch (const CsvInputError& e) {
        throw UsageError(where + ": " + e.what(), false);
    }
    const char delim = reader.delimiter();

    // The rejects file goes down before anything is sent.
    std::vector<std::string> rejectsHeader(header.cells.begin() + static_cast<long>(skip), header.cells.end());
    const std::string rejects = rejectsPath(o);
    bool anyValid = false;
    for (const Line& l : lines) anyValid = anyValid || l.outcome.empty();
    if (!o.dryRun && anyValid) writeRejects(rejects, t, o, delim, rejectsHeader, lines, true);

    Graceful graceful;
    Progress progress(std::string(o.dryRun ? "checking " : "importing ") + t.name, lines.size());
    Writer w(s, t, o, lines);
    w.run(progress);
    progress.finish();

    // What became of each line.
    size_t written = 0, created = 0, unchanged = 0, messages = 0, confirmedByReading = 0;
    std::map<std::string, size_t> left;
    for (const Line& l : lines) {
        for (const std::string& warning : l.warnings)
            if (messages++ < kMaxMessages && !quiet()) std::cerr << where << ":" << l.line << ": warning: " << warning << "\n";
        if (l.unchanged) {
            ++unchanged;
        } else if (l.outcome.empty()) {
            ++written;
            created += !l.exists;
            confirmedByReading += l.reason.find("confirmed by reading it back") != std::string::npos;
        } else {
            ++left[l.outcome];
            const bool notSent = l.reason == w.notSentReason();
            if (!notSent && messages++ < kMaxMessages)
                std::cerr << where << ":" << l.line << ": " << l.outcome << ": " << l.reason << "\n";
        }
    }
    size_t leftOut = 0;
    for (const auto& [k, n] : left) leftOut += n;
    if (messages > kMaxMessages)
        std::cerr << "trvctl: ... and " << messages - kMaxMessages << " more messages; every line left out is in "
                  << (o.dryRun ? "the list above" : rejects) << "\n";
    if (w.notSent() > 0)
        std::cerr << "trvctl: " << (w.lost() ? "the register stopped answering (" + describeResult(w.lostResult(), s.timeoutMs()) + ")"
                                             : std::string("interrupted"))
                  << ": " << w.notSent() << " line" << (w.notSent() == 1 ? "" : "s") << " not sent\n";

    if (o.dryRun) {
        Json jl = Json::array();
        for (const Line& l : lines) {
            std::string action = l.unchanged ? "unchanged" : !l.outcome.empty() ? l.outcome : l.exists ? "update" : "new";
            if (jsonOutput()) {
                Json changes = Json::object();
                for (const auto& [f, c] : l.changes) changes[f] = {{"from", c.first}, {"to", c.second}};
                Json e = {{"line", l.line}, {"numer_rekordu", l.key}, {"action", action}, {"changes", changes}};
                if (!l.reason.empty()) e["reason"] = l.reason;
                jl.push_back(e);
                continue;
            }
            if (!l.outcome.empty()) continue;  // said above
            std::cout << where << ":" << l.line << ": " << t.alias << " " << l.key << ": " << action;
            std::string sep = ": ";
            for (const auto& [f, c] : l.changes) {
                std::cout << sep << f << " " << (l.exists ? "'" + c.first + "' -> " : std::string()) << "'" << c.second
                          << "'";
                sep = ", ";
            }
            std::cout << "\n";
        }
        const size_t would = written;
        if (jsonOutput())
            printJson(Json{{"table", t.name}, {"file", o.file}, {"dry_run", true}, {"input_lines", reader.linesRead()},
                           {"records", lines.size()}, {"would_write", would}, {"new", created},
                           {"unchanged", unchanged}, {"left_out", leftOut}, {"lines", jl}});
        else
            note("dry run of " + where + ": " + std::to_string(lines.size()) + " records on " +
                 std::to_string(reader.linesRead()) + " lines: " + std::to_string(would) + " would be written (" +
                 std::to_string(created) + " new), " + std::to_string(unchanged) + " unchanged, " +
                 std::to_string(leftOut) + " left out; nothing was written");
        return leftOut ? kExitPartial : kExitOk;
    }

    if (leftOut > 0) {
        writeRejects(rejects, t, o, delim, rejectsHeader, lines, false);
    } else if (isRejectsFile(rejects) && (o.rejects.empty() || anyValid)) {
        // Nothing left out: a rejects file of this or an earlier run is out of date.
        std::remove(rejects.c_str());
    }
    std::string breakdown;
    for (const auto& [k, n] : left) breakdown += (breakdown.empty() ? "" : ", ") + std::to_string(n) + " " + k;
    if (jsonOutput()) {
        Json outcomes = Json::object();
        for (const auto& [k, n] : left) outcomes[k] = n;
        printJson(Json{{"table", t.name},
                       {"file", o.file},
                       {"input_lines", reader.linesRead()},
                       {"records", lines.size()},
                       {"written", written},
                       {"new", created},
                       {"unchanged", unchanged},
                       {"left_out", leftOut},
                       {"left_out_by_outcome", outcomes},
                       {"rejects_file", leftOut ? Json(rejects) : Json(nullptr)},
                       {"interrupted", interrupts() > 0},
                       {"register_stopped_answering", w.lost()}});
    } else if (!quiet()) {
        std::cerr << "trvctl: " << t.name << " from " << where << ": " << lines.size() << " record"
                  << (lines.size() == 1 ? "" : "s") << " on " << reader.linesRead() << " line"
                  << (reader.linesRead() == 1 ? "" : "s") << ": " << written << " written";
        if (confirmedByReading) std::cerr << " (" << confirmedByReading << " of them confirmed by reading back)";
        std::cerr << ", " << unchanged << " unchanged";
        if (leftOut) std::cerr << ", " << leftOut << " not imported (" << breakdown << "), written to " << rejects;
        std::cerr << "\n";
    }
    if (interrupts() > 0 || leftOut > 0) {
        // Nothing done for want of the register is a failure; anything
        // partial or uncertain is a partial result.
        if (w.lost() && written == 0 && left.count(outcomeWord(Outcome::Unknown)) == 0 &&
            left.count(kIncomplete) == 0 && interrupts() == 0 && left.size() == 1)
            return kExitFailure;
        return kExitPartial;
    }
    return kExitOk;
}

// ---- set

int tableSet(Session& s, const Table& t, const std::string& key, const std::vector<std::string>& assignments,
             const TableOptions& o) {
    Line l;
    std::string e, w;
    l.key = checkValue(*fieldOf(t, kKey), key, e, w);
    if (!e.empty()) throw UsageError(e);
    l.given[kKey] = l.key;
    for (const std::string& a : assignments) {
        const size_t eq = a.find('=');
        const std::string field = eq == std::string::npos ? "" : fieldForHeader(t, a.substr(0, eq));
        if (field.empty() || field == kKey)
            throw UsageError("'" + a + "': expected FIELD=VALUE with FIELD one of:\n" + describeColumns(t));
        e.clear();
        w.clear();
        const std::string v = checkValue(*fieldOf(t, field), a.substr(eq + 1), e, w);
        if (!e.empty()) throw UsageError(field + ": " + e);
        if (!w.empty()) {
            if (o.strict) throw UsageError(field + ": " + w);
            note("warning: " + field + ": " + w);
        }
        l.given[field] = v;
    }
    std::vector<Line> lines;
    lines.push_back(std::move(l));
    Graceful graceful;
    Progress progress("writing");
    Writer writer(s, t, o, lines);
    writer.run(progress);
    progress.finish();
    const Line& r = lines[0];
    const std::string what = t.alias + " " + key;
    if (r.outcome == kInvalid) throw UsageError(r.reason);
    auto report = [&](const std::string& result) {
        if (jsonOutput()) {
            Json changes = Json::object();
            for (const auto& [f, c] : r.changes) changes[f] = {{"from", c.first}, {"to", c.second}};
            Json j = {{"table", t.name}, {"numer_rekordu", std::stoul(r.key)}, {"result", result}, {"changes", changes}};
            if (!r.reason.empty()) j["reason"] = r.reason;
            printJson(j);
        }
    };
    if (r.unchanged) {
        report("unchanged");
        note(what + " already has these values: nothing written");
        return kExitOk;
    }
    if (r.outcome.empty()) {
        report(r.exists ? "updated" : "new");
        note(what + (r.exists ? " written" : " written (new)") +
             (r.reason.empty() ? std::string() : " (" + r.reason + ")"));
        return kExitOk;
    }
    report(r.outcome);
    if (r.outcome == outcomeWord(Outcome::Unknown) || r.outcome == kIncomplete) {
        std::cerr << "trvctl: " << what << ": " << r.outcome << ": " << r.reason << "\n";
        return kExitPartial;
    }
    std::cerr << "trvctl: " << what << ": " << r.outcome << ": " << r.reason << "\n";
    return kExitFailure;
}

}  // namespace trvctl
