// CSV as spreadsheets write it: RFC 4180 quoting, a comma, semicolon or tab
// between cells, LF, CRLF or CR line ends, UTF-8 (with or without a byte
// order mark) or a single-byte encoding. Reading is bounded: a line or a
// cell longer than the limits ends the reading with an error, so that any
// input, /dev/zero included, is read in bounded memory.
#pragma once

#include <functional>
#include <istream>
#include <string>
#include <vector>

#include "charset.h"

namespace trvctl {

constexpr size_t kMaxCsvLine = 1 << 20;   // bytes of one physical line
constexpr size_t kMaxCsvCell = 1 << 16;   // bytes of one cell

struct CsvRow {
    size_t line = 0;                 // where the row starts (1-based)
    size_t lastLine = 0;             // where it ends (a quoted cell may span lines)
    std::vector<std::string> cells;  // UTF-8
    std::string raw;                 // the row as it stood in the file (UTF-8 where it converts)
    std::string error;               // the row could not be read as CSV
};

// Input that cannot be read at all (exit status 2): the message names the line.
class CsvInputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class CsvReader {
public:
    // delimiter 0: found on the header line (the first row), by `score`
    // when given (the candidate whose cells it scores highest), else the
    // most frequent of ',', ';' and tab.
    CsvReader(std::istream& in, Encoding encoding, char delimiter,
              std::function<int(const std::vector<std::string>&)> score = {});
    // False at the end of the input. Empty lines, and rows whose cells are
    // all empty (what spreadsheets leave after the data), are passed over.
    // Throws CsvInputError.
    bool next(CsvRow& row);
    char delimiter() const { return delimiter_; }
    size_t linesRead() const { return line_; }
    size_t blankRows() const { return blank_; }

private:
    // One physical line without its end, as UTF-8 (its bytes as they were,
    // and a reason in `error`, when it does not convert); false at the end.
    bool readLine(std::string& text, std::string& error);
    bool nextRow(CsvRow& row);
    std::istream& in_;
    Encoding encoding_;
    char delimiter_;
    std::function<int(const std::vector<std::string>&)> score_;
    size_t line_ = 0, blank_ = 0;
    bool first_ = true;
};

// One row, cells quoted where they hold the delimiter, a quote, a line
// break or surrounding spaces; CRLF at the end.
std::string csvRow(const std::vector<std::string>& cells, char delimiter = ',');

// "," ";" "tab" (or "\t") as a delimiter; 0 for "auto". Throws UsageError.
char parseDelimiter(const std::string& text);

}  // namespace trvctl
