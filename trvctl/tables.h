// The register's tables (articles, users, discounts, packagings, groups,
// units, payment forms, hotkeys, ...) described as data, and the one set of
// operations every table gets: list, get, find, set, delete, export and
// import.
//
// A table is read record by record with its read function (the record number
// as argument) and written with its insert function. Its fields are the
// insert function's arguments (without the overwrite flags, which come from
// options), written in one style (fieldName(): "numer_MU" is numer_mu) and
// called so everywhere: by get, list, --json, the CSV header and set. Each
// field names the reader's output it is read back from where the names
// differ; those names are accepted as CSV headers too. The first field is
// numer_rekordu in every table. A table whose records come in several kinds
// (hotkeys, discounts) has a variant per kind, each with its own insert
// function; its field `funkcja` names the insert function of each record.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "calls.h"
#include "charset.h"
#include "codes.h"

namespace trvctl {

class Session;

// Insert and delete arguments that options supply.
enum class Flag {
    Overwrite,  // czy_nadpisac: 1 unless --no-overwrite
    Force,      // records with non-zero totals too: --force
    Related,    // related records too: --related
};

// A value computed from the record read back, for an argument that is no
// plain copy of one output.
using Derive = std::function<std::string(const Record&)>;

struct Column {
    std::string name;      // the argument
    std::string from;      // the reader's output it is read back from ("" = the same name)
    Derive derive;         // instead of `from`
    bool decimal = false;  // the register's Numeric: a whole number, not negative, 12 digits at most
    bool list = false;     // several values: ';' between them in CSV, an array in JSON
    bool barcode = false;  // digits only (each entry of a list); EAN-8/13 check digits checked
    bool vat = false;      // a VAT rate index 0-6, shown and taken as A-G
    size_t maxLen = 63;    // texts, and each entry of a list: what the library reads back
    int64_t max = -1;      // numbers: a tighter upper bound than the argument's type
    std::string unit;      // what the number counts, for --help ("the smallest currency unit")
};

struct Variant {
    unsigned code = 0;                 // the selector's value for this kind
    std::vector<std::string> inserts;  // its insert function, or several (report hotkeys)
    Derive pick;                       // several: the one a record read back needs
    std::vector<Column> columns;       // checks and read-back names, by argument
    std::vector<std::pair<std::string, Flag>> flags;
    // A list column of additional barcodes, written after the insert with
    // TRVS_BarcodeIns and TRVS_BarcodeDel ("" = none).
    std::string extraBarcodes;
    // Arguments no column describes, from a record read back (report hotkeys).
    std::function<std::string(const Record&, const Call&, size_t)> fill;
    // The arguments of an insert function that the register does not answer,
    // so that an export cannot give them back ("" when it can).
    std::function<std::string(const Call&)> unanswered;
};

struct Table {
    std::string name, alias, title;
    std::string read;                    // read function; its arguments:
    std::vector<std::string> readArgs;   //   "#" the record number
    std::string reader;                  // its reader (unless typed)
    const TypeMap* typed = nullptr;      // or a type map
    std::string keyField;                // the output with the record number
    std::string selector;                // the output choosing the variant ("" = one kind)
    std::vector<Variant> variants;
    std::vector<std::string> keyAliases; // further CSV names of numer_rekordu
    std::string del;                     // delete function: record number, then
    std::vector<std::pair<std::string, Flag>> delFlags;
    unsigned first = 1, last = 1;        // record numbers to look at
    bool countFromDbStatus = false;      // the database status says how many there are
    std::vector<std::string> listColumns;  // fields shown by `list` (field names)
    std::string find;                    // lookup by barcode: function and
    std::vector<std::string> findArgs;   //   arguments, "#" the barcode
    bool secret = false;                 // its records hold passwords or PINs
};

const std::vector<Table>& tables();

struct TableOptions {
    unsigned from = 0, to = 0;  // 0: the table's own
    bool overwrite = true, force = false, related = false, yes = false;
    std::string file;           // export/import; "-" standard input or output
    std::string rejects;        // import: "" = FILE.rejects.csv
    char delimiter = 0;         // 0: import finds it on the header line, export writes ','
    Encoding encoding;          // of the CSV file
    bool strict = false;        // unknown columns and check-digit warnings are errors
    bool dryRun = false;        // check and compare, write nothing
};

// Each returns the exit status.
int tableList(Session& s, const Table& t, const TableOptions& o);
int tableGet(Session& s, const Table& t, const std::string& key);
int tableFind(Session& s, const Table& t, const std::string& code);
int tableSet(Session& s, const Table& t, const std::string& key, const std::vector<std::string>& assignments,
             const TableOptions& o);
int tableDelete(Session& s, const Table& t, const std::string& key, const TableOptions& o);
int tableExport(Session& s, const Table& t, const TableOptions& o);
int tableImport(Session& s, const Table& t, const TableOptions& o);

// The fields of a table, in order (the CSV columns of an export).
std::vector<std::string> csvColumns(const Table& t);
// For --help: the fields with their checks and units.
std::string describeColumns(const Table& t);

// ---- shared by tables.cpp and import.cpp

// Field name -> value, values as CSV and `get` show them (VAT letters,
// lists with ';').
using Cells = std::map<std::string, std::string>;

// What is known of one field of a table.
struct FieldInfo {
    std::string name;  // field name
    std::string arg;   // the argument's library name
    std::string kind;  // the argument's slot kind: u8, u16, u32, text; "key" or "function"
    Column column;
};

const FieldInfo* fieldOf(const Table& t, const std::string& name);
// The field name of an insert function's argument (not its first).
std::string argField(const std::string& arg);
// The field a CSV header or FIELD= name stands for (any case, the reader's
// names too), or "".
std::string fieldForHeader(const Table& t, const std::string& header);

// Checks a value given for a field and returns it in the form Cells hold;
// `error` says what is wrong, `warning` what is doubtful (a check digit).
std::string checkValue(const FieldInfo& f, const std::string& value, std::string& error, std::string& warning);

// A record read back as fields.
struct Mapped {
    const Call* insert = nullptr;
    const Variant* variant = nullptr;
    Cells cells;
    std::string error;  // a record this table cannot write (a set among articles)
};
Mapped toColumns(const Table& t, const Record& r);
const Variant* variantWriting(const Table& t, const std::string& function);
bool multiKind(const Table& t);

// The request that reads record `key` (its answer read into a Record).
struct Request;
Request readRequest(const Table& t, const std::string& key);

// Whether two values of a field mean the same (numbers by value, additional
// barcodes as a set).
bool sameValue(const FieldInfo& f, const std::string& a, const std::string& b);

// Goes ahead with something that cannot be undone: with --yes, or when a
// person at the terminal answers y; otherwise throws UsageError saying so.
void confirm(bool yes, const std::string& what);

}  // namespace trvctl
