#include "output.h"

#include <cctype>
#include <iostream>

#include "charset.h"

namespace trvctl {

namespace {

bool g_json = false;

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

std::string fieldName(const std::string& n) {
    std::string out;
    for (size_t i = 0; i < n.size(); ++i) {
        const auto c = static_cast<unsigned char>(n[i]);
        if (std::isupper(c) && i > 0 && std::islower(static_cast<unsigned char>(n[i - 1]))) out += '_';
        out += static_cast<char>(std::tolower(c));
    }
    return out;
}

Record styled(Record r) {
    for (Item& i : r) i.name = fieldName(i.name);
    return r;
}

void printTable(std::ostream& out, const std::vector<std::string>& headers,
                const std::vector<std::vector<std::string>>& rows) {
    std::vector<size_t> w(headers.size());
    for (size_t i = 0; i < headers.size(); ++i) w[i] = utf8Length(headers[i]);
    for (const auto& r : rows)
        for (size_t i = 0; i < r.size() && i < w.size(); ++i) w[i] = std::max(w[i], utf8Length(r[i]));
    auto line = [&](const std::vector<std::string>& cells) {
        std::string s;
        for (size_t i = 0; i < cells.size() && i < w.size(); ++i) {
            s += cells[i];
            if (i + 1 < cells.size()) s += std::string(w[i] - utf8Length(cells[i]) + 2, ' ');
        }
        out << s << '\n';
    };
    line(headers);
    for (const auto& r : rows) line(r);
}

void printRecord(std::ostream& out, const Record& r) {
    size_t w = 0;
    for (const Item& i : r) w = std::max(w, utf8Length(i.name));
    for (const Item& i : r) {
        const std::vector<std::string> ls = lines(i.value);
        out << i.name << std::string(w - utf8Length(i.name) + 2, ' ') << ls[0] << '\n';
        for (size_t k = 1; k < ls.size(); ++k) out << std::string(w + 2, ' ') << ls[k] << '\n';
    }
}

Json toJson(const Record& r, const std::set<std::string>& lists) {
    Json head = Json::object(), body = Json::object();
    bool typed = false;
    for (const Item& i : r) {
        Json v;
        if (lists.count(i.name) || lists.count(fieldName(i.name))) {
            v = Json::array();
            if (!i.value.empty())
                for (const std::string& l : lines(i.value)) v.push_back(l);
        } else if (i.number && !i.value.empty()) {
            v = std::stoull(i.value);
        } else {
            v = i.value;
        }
        (i.body ? body : head)[fieldName(i.name)] = std::move(v);
        typed = typed || i.body;
    }
    if (typed) head["fields"] = std::move(body);
    return head;
}

void printJson(const Json& j) { std::cout << j.dump(2, ' ', false, Json::error_handler_t::replace) << '\n'; }

}  // namespace trvctl
