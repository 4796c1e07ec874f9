// The register's tables (articles, users, discounts, packagings, groups,
// units, payment forms, hotkeys, ...) described as data, and the one set of
// operations every table gets: list, get, set, delete, export and import.
//
// A table is read record by record with its read function (the record number
// as argument) and written with its insert function. The CSV columns of
// export and import are the insert function's arguments (without the
// overwrite flags, which come from options); each column names the reader's
// output it is read back from where the names differ. A table whose records
// come in several kinds (hotkeys, discounts) has a variant per kind, each
// with its own insert function; its CSV has a column `funkcja` naming the
// insert function of each line and the union of the variants' columns.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "calls.h"
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
    bool decimal = false;  // a whole number as the register's Numeric: -?digits, 12 at most
    bool list = false;     // several values: ';' between them in CSV, an array in JSON
    size_t maxLen = 63;    // texts, and each entry of a list: what the library reads back
    int64_t max = -1;      // numbers: a tighter upper bound than the argument's type
};

// A further request for each line after the insert succeeded (the article's
// additional barcodes).
struct Step {
    std::string function;
    std::vector<std::string> args;  // column names; "#" is the record number
    std::string skipIfEmpty;        // a column: no request when its cell is empty
};

struct Variant {
    unsigned code = 0;                 // the selector's value for this kind
    std::vector<std::string> inserts;  // its insert function, or several (report hotkeys)
    Derive pick;                       // several: the one a record read back needs
    std::vector<Column> columns;       // checks and read-back names, by argument
    std::vector<std::pair<std::string, Flag>> flags;
    std::vector<Step> after;
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
    std::string keyColumn;               // CSV name of the record number ("" = the insert's first argument)
    std::string del;                     // delete function: record number, then
    std::vector<std::pair<std::string, Flag>> delFlags;
    unsigned first = 1, last = 1;        // record numbers to look at
    bool countFromDbStatus = false;      // the database status says how many there are
    std::vector<std::string> listColumns;  // outputs shown by `list`
    std::set<std::string> lists;         // outputs that are lists
    std::string find;                    // lookup by barcode: function and
    std::vector<std::string> findArgs;   //   arguments, "#" the barcode
};

const std::vector<Table>& tables();

struct TableOptions {
    unsigned from = 0, to = 0;  // 0: the table's own
    bool overwrite = true, force = false, related = false;
    std::string file;           // export/import; "-" standard input or output
    std::string rejects;        // import: "" = FILE.rejects.csv
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

// The CSV columns of a table, in order.
std::vector<std::string> csvColumns(const Table& t);
// For --help: the columns with their checks.
std::string describeColumns(const Table& t);

}  // namespace trvctl
