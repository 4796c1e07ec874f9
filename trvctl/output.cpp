#include "output.h"

#include <iostream>

namespace trvctl {

namespace {

bool g_json = false;

size_t width(const std::string& s) {
    size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

std::vector<std::string> lines(const std::string& s) {
    std::vector<std::string> out;
    size_t from = 0;
    while (true) {
        const size_t lf = s.find('\n', from);
        out.push_back(s.substr(from, lf - from));
        if (lf == std::string::npos) break;
        from = lf + 1;
    }
    return out;
}

}  // namespace

bool jsonOutput() { return g_json; }
void setJsonOutput(bool on) { g_json = on; }

void printTable(std::ostream& out, const std::vector<std::string>& headers,
                const std::vector<std::vector<std::string>>& rows) {
    std::vector<size_t> w(headers.size());
    for (size_t i = 0; i < headers.size(); ++i) w[i] = width(headers[i]);
    for (const auto& r : rows)
        for (size_t i = 0; i < r.size() && i < w.size(); ++i) w[i] = std::max(w[i], width(r[i]));
    auto line = [&](const std::vector<std::string>& cells) {
        std::string s;
        for (size_t i = 0; i < cells.size() && i < w.size(); ++i) {
            s += cells[i];
            if (i + 1 < cells.size()) s += std::string(w[i] - width(cells[i]) + 2, ' ');
        }
        out << s << '\n';
    };
    line(headers);
    for (const auto& r : rows) line(r);
}

void printRecord(std::ostream& out, const Record& r) {
    size_t w = 0;
    for (const Item& i : r) w = std::max(w, width(i.name));
    for (const Item& i : r) {
        const std::vector<std::string> ls = lines(i.value);
        out << i.name << std::string(w - width(i.name) + 2, ' ') << ls[0] << '\n';
        for (size_t k = 1; k < ls.size(); ++k) out << std::string(w + 2, ' ') << ls[k] << '\n';
    }
}

Json toJson(const Record& r, const std::set<std::string>& lists) {
    Json head = Json::object(), body = Json::object();
    bool typed = false;
    for (const Item& i : r) {
        Json v;
        if (lists.count(i.name)) {
            v = Json::array();
            if (!i.value.empty())
                for (const std::string& l : lines(i.value)) v.push_back(l);
        } else if (i.number && !i.value.empty()) {
            v = std::stoull(i.value);
        } else {
            v = i.value;
        }
        (i.body ? body : head)[i.name] = std::move(v);
        typed = typed || i.body;
    }
    if (typed) head["fields"] = std::move(body);
    return head;
}

void printJson(const Json& j) { std::cout << j.dump(2, ' ', false, Json::error_handler_t::replace) << '\n'; }

void writeCsvRow(std::ostream& out, const std::vector<std::string>& cells) {
    for (size_t i = 0; i < cells.size(); ++i) {
        const std::string& c = cells[i];
        const bool quote = c.find_first_of(",\"\r\n") != std::string::npos ||
                           (!c.empty() && (c.front() == ' ' || c.back() == ' '));
        if (i) out << ',';
        if (!quote) {
            out << c;
            continue;
        }
        out << '"';
        for (char ch : c) {
            if (ch == '"') out << '"';
            out << ch;
        }
        out << '"';
    }
    out << "\r\n";
}

bool CsvReader::next(CsvRow& row) {
    std::string text;
    while (true) {
        if (!std::getline(in_, text)) return false;
        ++line_;
        if (first_) {
            first_ = false;
            if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);  // a byte order mark
        }
        if (!text.empty() && text.back() == '\r') text.pop_back();
        if (!text.empty()) break;
    }
    row = CsvRow{};
    row.line = line_;
    row.raw = text;
    std::string cell;
    bool quoted = false, wasQuoted = false;
    size_t i = 0;
    while (true) {
        if (i == text.size()) {
            if (!quoted) break;
            // A quoted cell goes on on the next line.
            std::string more;
            if (!std::getline(in_, more)) {
                row.error = "a quoted cell is not closed";
                return true;
            }
            ++line_;
            if (!more.empty() && more.back() == '\r') more.pop_back();
            cell += '\n';
            row.raw += '\n' + more;
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
        } else if (c == ',') {
            row.cells.push_back(std::move(cell));
            cell.clear();
            wasQuoted = false;
        } else if (c == '"' && cell.empty() && !wasQuoted) {
            quoted = wasQuoted = true;
        } else if (wasQuoted) {
            row.error = "text after a closing quote";
            return true;
        } else {
            cell += c;
        }
    }
    row.cells.push_back(std::move(cell));
    return true;
}

}  // namespace trvctl
