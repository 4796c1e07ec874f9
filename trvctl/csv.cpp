#include "csv.h"

#include "util.h"

namespace trvctl {

namespace {

// The cells of a line split at `delim` outside quotes (for choosing the
// delimiter only; quotes are not taken apart).
std::vector<std::string> roughCells(const std::string& line, char delim) {
    std::vector<std::string> out(1);
    bool quoted = false;
    for (char c : line) {
        if (c == '"') quoted = !quoted;
        else if (c == delim && !quoted) out.emplace_back();
        else out.back() += c;
    }
    for (std::string& s : out) {
        while (!s.empty() && s.back() == ' ') s.pop_back();
        while (!s.empty() && s.front() == ' ') s.erase(0, 1);
    }
    return out;
}

}  // namespace

CsvReader::CsvReader(std::istream& in, Encoding encoding, char delimiter,
                     std::function<int(const std::vector<std::string>&)> score)
    : in_(in), encoding_(std::move(encoding)), delimiter_(delimiter), score_(std::move(score)) {}

bool CsvReader::readLine(std::string& text, std::string& error) {
    text.clear();
    error.clear();
    std::streambuf* sb = in_.rdbuf();
    int c = sb->sbumpc();
    if (c == std::char_traits<char>::eof()) {
        if (in_.bad()) throw CsvInputError("line " + std::to_string(line_ + 1) + ": reading failed");
        return false;
    }
    ++line_;
    while (c != std::char_traits<char>::eof()) {
        if (c == '\n') break;
        if (c == '\r') {
            // CRLF, or a CR alone (old Mac files) ends the line too.
            if (sb->sgetc() == '\n') sb->sbumpc();
            break;
        }
        if (c == 0)
            throw CsvInputError("line " + std::to_string(line_) +
                                ": a NUL byte; this is not a text file (a CSV file is expected)");
        if (text.size() >= kMaxCsvLine)
            throw CsvInputError("line " + std::to_string(line_) + " is longer than " + std::to_string(kMaxCsvLine) +
                                " bytes, the longest line read; is this a CSV file?");
        text += static_cast<char>(c);
        c = sb->sbumpc();
    }
    std::string decoded;
    if (first_ && text.rfind("\xEF\xBB\xBF", 0) == 0) {
        if (!encoding_.utf8)
            throw CsvInputError("line 1: the file starts with a UTF-8 byte order mark, but --encoding is " +
                                encoding_.name);
        text.erase(0, 3);
    }
    // A line that does not convert keeps its bytes, for the rejects file.
    if (decodeText(encoding_, text, decoded, error)) text = std::move(decoded);
    return true;
}

bool CsvReader::next(CsvRow& row) {
    while (true) {
        if (!nextRow(row)) return false;
        bool empty = row.error.empty();
        for (const std::string& c : row.cells) empty = empty && c.empty();
        if (!empty) return true;
        ++blank_;
    }
}

bool CsvReader::nextRow(CsvRow& row) {
    std::string text, error;
    while (true) {
        if (!readLine(text, error)) return false;
        const bool firstLine = first_;
        first_ = false;
        if (text.empty() && error.empty()) continue;
        if (firstLine && delimiter_ == 0 && error.empty()) {
            // The header decides: the candidate that names the most columns.
            int best = -1;
            size_t bestCount = 0;
            for (char d : {',', ';', '\t'}) {
                const auto cells = roughCells(text, d);
                const int s = score_ ? score_(cells) : 0;
                if (s > best || (s == best && cells.size() > bestCount)) {
                    best = s;
                    bestCount = cells.size();
                    delimiter_ = d;
                }
            }
        }
        if (delimiter_ == 0) delimiter_ = ',';
        break;
    }
    row = CsvRow{};
    row.line = row.lastLine = line_;
    row.raw = text;
    row.error = error;
    std::string cell;
    bool quoted = false, wasQuoted = false;
    size_t quoteLine = 0;
    size_t i = 0;
    while (true) {
        if (i == text.size()) {
            if (!quoted) break;
            // A quoted cell goes on on the next line.
            std::string more;
            if (!readLine(more, error))
                throw CsvInputError("line " + std::to_string(quoteLine) +
                                    ": a quoted cell starts here and is never closed");
            row.lastLine = line_;
            if (!error.empty() && row.error.empty()) row.error = "line " + std::to_string(line_) + ": " + error;
            cell += '\n';
            row.raw += '\n' + more;
            if (row.raw.size() > kMaxCsvLine)
                throw CsvInputError("line " + std::to_string(quoteLine) +
                                    ": a quoted cell starts here and runs on for more than " +
                                    std::to_string(kMaxCsvLine) + " bytes; is its closing quote missing?");
            text = std::move(more);
            i = 0;
            continue;
        }
        const char c = text[i++];
        if (quoted) {
            if (c == '"') {
                if (i < text.size() && text[i] == '"') {
                    cell += '"';
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                cell += c;
            }
        } else if (c == delimiter_) {
            row.cells.push_back(std::move(cell));
            cell.clear();
            wasQuoted = false;
        } else if (c == '"' && cell.empty() && !wasQuoted) {
            quoted = wasQuoted = true;
            quoteLine = line_;
        } else if (wasQuoted) {
            if (c == ' ') continue;  // spaces after the closing quote
            if (row.error.empty()) row.error = "text after a closing quote";
        } else {
            cell += c;
        }
        if (cell.size() > kMaxCsvCell)
            throw CsvInputError("line " + std::to_string(quoted ? quoteLine : line_) + ": a cell longer than " +
                                std::to_string(kMaxCsvCell) + " bytes" +
                                (quoted ? "; is the closing quote of the cell that starts here missing?" : ""));
    }
    row.cells.push_back(std::move(cell));
    return true;
}

std::string csvRow(const std::vector<std::string>& cells, char delimiter) {
    std::string out;
    for (size_t i = 0; i < cells.size(); ++i) {
        const std::string& c = cells[i];
        const bool quote = c.find_first_of(std::string("\"\r\n") + delimiter) != std::string::npos ||
                           (!c.empty() && (c.front() == ' ' || c.back() == ' '));
        if (i) out += delimiter;
        if (!quote) {
            out += c;
            continue;
        }
        out += '"';
        for (char ch : c) {
            if (ch == '"') out += '"';
            out += ch;
        }
        out += '"';
    }
    out += "\r\n";
    return out;
}

char parseDelimiter(const std::string& text) {
    if (text == "," || text == "comma") return ',';
    if (text == ";" || text == "semicolon") return ';';
    if (text == "tab" || text == "\t" || text == "\\t") return '\t';
    if (text == "auto") return 0;
    throw UsageError("--delimiter: '" + text + "' is not one of , ; tab auto");
}

}  // namespace trvctl
