// What trvctl prints: aligned tables and name/value lists for people, one
// JSON document for scripts, CSV files.
#pragma once

#include <iosfwd>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "calls.h"

namespace trvctl {

using Json = nlohmann::ordered_json;

// --json was given.
bool jsonOutput();
void setJsonOutput(bool on);

// Columns padded to their widest cell (UTF-8 counted as characters).
void printTable(std::ostream& out, const std::vector<std::string>& headers,
                const std::vector<std::vector<std::string>>& rows);
// "name   value" lines; the continuation lines of a multi-line value are
// indented under its first line.
void printRecord(std::ostream& out, const Record& r);

// A record as a JSON object: numbers as numbers; the fields named in
// `lists` as arrays of their lines; the body of a typed record under
// "fields".
Json toJson(const Record& r, const std::set<std::string>& lists = {});
void printJson(const Json& j);

// CSV as RFC 4180 has it: comma-separated, cells with a comma, quote, line
// break or surrounding spaces in double quotes.
void writeCsvRow(std::ostream& out, const std::vector<std::string>& cells);

struct CsvRow {
    size_t line = 0;                 // where the row starts (1-based)
    std::vector<std::string> cells;
    std::string raw;                 // the row as it stood in the file
    std::string error;               // the row could not be read as CSV
};

class CsvReader {
public:
    explicit CsvReader(std::istream& in) : in_(in) {}
    // False at the end of the input. Empty lines are skipped.
    bool next(CsvRow& row);

private:
    std::istream& in_;
    size_t line_ = 0;
    bool first_ = true;
};

}  // namespace trvctl
