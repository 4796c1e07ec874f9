#include "sim_commands.h"

#include <cctype>

namespace trvsim {

// ---- handlers --------------------------------------------------------------

void Handlers::add(uint16_t cmd, Handler h) { map_[cmd] = std::move(h); }

const Handler* Handlers::find(uint16_t cmd) const {
    auto it = map_.find(cmd);
    return it == map_.end() ? nullptr : &it->second;
}

const Handlers& handlers() {
    static const Handlers all = [] {
        Handlers h;
        addClockCommands(h);
        addPrintingCommands(h);
        addSettingsCommands(h);
        addCommCommands(h);
        addFiscalCommands(h);
        addJournalCommands(h);
        addArticleCommands(h);
        addHotkeyCommands(h);
        addPackCommands(h);
        addDictionaryCommands(h);
        addStatisticsCommands(h);
        addUserCommands(h);
        addDiscountCommands(h);
        addReportCommands(h);
        addContextCommands(h);
        return h;
    }();
    return all;
}

// ---- patterns --------------------------------------------------------------

namespace {

using Node = Pattern::Node;
using Cont = std::function<bool(size_t)>;

std::vector<Node> parseSeq(const std::string& t, size_t& i) {
    std::vector<Node> seq;
    while (i < t.size() && t[i] != ')' && t[i] != '|') {
        Node n;
        if (t[i] == '(') {
            ++i;
            n.group = parseSeq(t, i);
            if (i < t.size() && t[i] == ')') ++i;
        } else {
            n.letter = t[i++];
        }
        if (i < t.size() && t[i] == '*') {
            n.min = 0, n.max = -1, ++i;
        } else if (i < t.size() && t[i] == '?') {
            n.min = 0, n.max = 1, ++i;
        } else if (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) {
            int k = 0;
            while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) k = k * 10 + (t[i++] - '0');
            n.min = n.max = k;
        }
        seq.push_back(std::move(n));
    }
    return seq;
}

bool matchSeq(const std::vector<Node>& seq, size_t i, const Items& v, size_t pos, const Cont& k);

bool matchAtom(const Node& n, const Items& v, size_t pos, const Cont& k) {
    if (n.letter) return pos < v.size() && v[pos].Type() == static_cast<unsigned char>(n.letter) && k(pos + 1);
    return matchSeq(n.group, 0, v, pos, k);
}

bool matchNode(const Node& n, int done, const Items& v, size_t pos, const Cont& k) {
    if (done >= n.min && k(pos)) return true;
    if (n.max >= 0 && done >= n.max) return false;
    // One more repetition; one that takes no value would never end.
    return matchAtom(n, v, pos, [&](size_t p) { return p != pos && matchNode(n, done + 1, v, p, k); });
}

bool matchSeq(const std::vector<Node>& seq, size_t i, const Items& v, size_t pos, const Cont& k) {
    if (i == seq.size()) return k(pos);
    return matchNode(seq[i], 0, v, pos, [&](size_t p) { return matchSeq(seq, i + 1, v, p, k); });
}

void sampleSeq(const std::vector<Node>& seq, Items& out) {
    for (const Node& n : seq)
        for (int r = 0; r < n.min; ++r) {
            if (!n.letter) {
                sampleSeq(n.group, out);
                continue;
            }
            trv::TRV_DataItem& it = out.emplace_back();
            switch (n.letter) {
            case 'B': it.SetChar(0); break;
            case 'V': it.SetShort(0); break;
            case 'L': it.SetLong(0); break;
            case 'S': it.SetString(""); break;
            case 'K': it.SetCurrency("0"); break;
            case 'Q': it.SetQuantity("0"); break;
            default: it.SetNumeric("0"); break;
            }
        }
}

}  // namespace

Pattern::Pattern(const std::string& text) {
    size_t i = 0;
    for (;;) {
        alternatives_.push_back(parseSeq(text, i));
        if (i >= text.size() || text[i] != '|') break;
        ++i;
    }
}

bool Pattern::matches(const Items& values) const {
    for (const auto& seq : alternatives_)
        if (matchSeq(seq, 0, values, 0, [&](size_t p) { return p == values.size(); })) return true;
    return false;
}

Items Pattern::sample() const {
    Items out;
    sampleSeq(alternatives_.front(), out);
    return out;
}

// ---- the command table -----------------------------------------------------

namespace {

struct Layout {
    uint16_t cmd;
    const char* function;
    bool sends;           // a sending function (its request's layout), else a reader (its answer's)
    const char* pattern;  // null: hand-written without a pattern, unchecked
    bool keep;            // a type reader: the answer goes on after it
};

const Layout kLayouts[] = {
#include "mirtel_layouts.inc"
};

}  // namespace

CommandTable::CommandTable() {
    for (const Layout& l : kLayouts) {
        Entry& e = byCmd_[l.cmd];
        if (l.sends) {
            if (l.pattern) e.requests.emplace_back(l.pattern);
            else e.requestsChecked = false;
        } else if (l.keep || !l.pattern) {
            e.answersChecked = false;
        } else {
            e.answers.emplace_back(l.pattern);
        }
    }
}

bool CommandTable::knows(uint16_t cmd) const { return byCmd_.count(cmd) != 0; }

bool CommandTable::requestFits(uint16_t cmd, const Items& values) const {
    auto it = byCmd_.find(cmd);
    if (it == byCmd_.end() || !it->second.requestsChecked || it->second.requests.empty()) return true;
    for (const Pattern& p : it->second.requests)
        if (p.matches(values)) return true;
    return false;
}

bool CommandTable::answerFits(uint16_t cmd, const Items& values) const {
    auto it = byCmd_.find(cmd);
    if (it == byCmd_.end() || !it->second.answersChecked || it->second.answers.empty()) return true;
    for (const Pattern& p : it->second.answers)
        if (p.matches(values)) return true;
    return false;
}

Items CommandTable::defaultAnswer(uint16_t cmd) const {
    auto it = byCmd_.find(cmd);
    if (it == byCmd_.end()) return {};
    // The longest reader layout, so that a newer reader finds all its values.
    Items best;
    for (const Pattern& p : it->second.answers) {
        Items s = p.sample();
        if (s.size() > best.size()) best = std::move(s);
    }
    return best;
}

const CommandTable& commandTable() {
    static const CommandTable table;
    return table;
}

}  // namespace trvsim
