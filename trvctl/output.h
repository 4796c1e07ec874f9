// What trvctl prints: aligned tables and name/value lists for people, one
// JSON document for scripts.
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

// The one style of field names everywhere (tables, CSV headers, JSON keys):
// lower case with underscores, as the library's names would be written so:
// "numerMU" -> "numer_mu", "stawka_PTU" -> "stawka_ptu", "NIP" -> "nip".
std::string fieldName(const std::string& libraryName);

// Columns padded to their widest cell (UTF-8 counted as characters).
void printTable(std::ostream& out, const std::vector<std::string>& headers,
                const std::vector<std::vector<std::string>>& rows);
// "name   value" lines; the continuation lines of a multi-line value are
// indented under its first line.
void printRecord(std::ostream& out, const Record& r);

// A record as a JSON object under fieldName() keys: whole-number values as
// numbers, texts and the register's decimal values (prices, quantities,
// amounts) as strings; the fields named in `lists` as arrays of their lines;
// the body of a typed record under "fields".
Json toJson(const Record& r, const std::set<std::string>& lists = {});
void printJson(const Json& j);

// A record whose names are put into fieldName() style, for printing.
Record styled(Record r);

}  // namespace trvctl
