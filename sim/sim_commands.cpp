#include "sim_commands.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>
#include <string>

namespace trvsim {

// ---- handlers --------------------------------------------------------------

// A command has one handler: a second registration is a mistake of the
// families, found when the simulator starts.
void Handlers::add(uint16_t cmd, Handler h) {
    if (!map_.emplace(cmd, std::move(h)).second)
        throw std::logic_error("simulator: command " + std::to_string(cmd) + " has two handlers");
}

const Handler* Handlers::find(uint16_t cmd) const {
    auto it = map_.find(cmd);
    return it == map_.end() ? nullptr : &it->second;
}

const Handlers& handlers() {
    static const Handlers all = [] {
        Handlers h;
#define SIM_FAMILY(name) cmd_##name::addCommands(h);
#include "sim_families.inc"
#undef SIM_FAMILY
        return h;
    }();
    return all;
}

// ---- patterns --------------------------------------------------------------

namespace {

using Node = Pattern::Node;

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

// The patterns are regular: each is compiled once into a small program that
// runs over the values in one pass, all paths at once, so that a request of
// any length costs time in proportion to it and no stack at all (a frame
// holds up to 65535 values).
using Op = Pattern::Op;
using Instr = Pattern::Instr;

void emitNode(const Node& n, std::vector<Instr>& prog);

void emitSeq(const std::vector<Node>& seq, std::vector<Instr>& prog) {
    for (const Node& n : seq) emitNode(n, prog);
}

void emitOnce(const Node& n, std::vector<Instr>& prog) {
    if (n.letter) prog.push_back({Op::Letter, n.letter});
    else emitSeq(n.group, prog);
}

void emitNode(const Node& n, std::vector<Instr>& prog) {
    for (int r = 0; r < n.min; ++r) emitOnce(n, prog);
    if (n.max < 0) {
        // L: split body, out; body; jump L; out:
        const size_t split = prog.size();
        prog.push_back({Op::Split});
        emitOnce(n, prog);
        prog.push_back({Op::Jump, 0, split});
        prog[split].x = split + 1;
        prog[split].y = prog.size();
        return;
    }
    std::vector<size_t> splits;
    for (int r = n.min; r < n.max; ++r) {
        splits.push_back(prog.size());
        prog.push_back({Op::Split});
        prog.back().x = prog.size();
        emitOnce(n, prog);
    }
    for (size_t at : splits) prog[at].y = prog.size();
}

// Adds pc and everything reachable from it without taking a value.
void addThread(const std::vector<Instr>& prog, size_t pc, std::vector<size_t>& list, std::vector<char>& on) {
    std::vector<size_t> todo{pc};
    while (!todo.empty()) {
        const size_t at = todo.back();
        todo.pop_back();
        if (on[at]) continue;
        on[at] = 1;
        switch (prog[at].op) {
        case Op::Jump: todo.push_back(prog[at].x); break;
        case Op::Split:
            todo.push_back(prog[at].y);
            todo.push_back(prog[at].x);
            break;
        default: list.push_back(at); break;
        }
    }
}

// Runs prog over v: whether it matches, and how many values some path took.
struct Outcome {
    bool match = false;
    size_t taken = 0;
};

Outcome run(const std::vector<Instr>& prog, const Items& v) {
    std::vector<size_t> now, next;
    std::vector<char> onNow(prog.size()), onNext(prog.size());
    addThread(prog, 0, now, onNow);
    Outcome o;
    for (const trv::TRV_DataItem& item : v) {
        next.clear();
        std::fill(onNext.begin(), onNext.end(), 0);
        for (size_t pc : now)
            if (prog[pc].op == Op::Letter && item.Type() == static_cast<unsigned char>(prog[pc].letter))
                addThread(prog, pc + 1, next, onNext);
        if (next.empty()) return o;
        ++o.taken;
        now.swap(next);
        onNow.swap(onNext);
    }
    for (size_t pc : now)
        if (prog[pc].op == Op::Match) o.match = true;
    return o;
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
    // One program for all alternatives: split into each of them.
    std::vector<Instr>& prog = program_;
    std::vector<size_t> ends;
    for (size_t a = 0; a < alternatives_.size(); ++a) {
        size_t split = 0;
        if (a + 1 < alternatives_.size()) {
            split = prog.size();
            prog.push_back({Op::Split});
            prog.back().x = prog.size();
        }
        emitSeq(alternatives_[a], prog);
        ends.push_back(prog.size());
        prog.push_back({Op::Jump});
        if (a + 1 < alternatives_.size()) prog[split].y = prog.size();
    }
    for (size_t at : ends) prog[at].x = prog.size();
    prog.push_back({Op::Match});
}

bool Pattern::matches(const Items& values) const { return run(program_, values).match; }

size_t Pattern::accepted(const Items& values) const { return run(program_, values).taken; }

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
    const char* fields;   // the value names of a regular layout, one per letter; null: hand-written
};

std::vector<std::string> words(const char* text) {
    std::vector<std::string> out;
    std::string w;
    for (const char* c = text ? text : ""; *c; ++c) {
        if (*c != ' ') {
            w += *c;
        } else if (!w.empty()) {
            out.push_back(std::move(w));
            w.clear();
        }
    }
    if (!w.empty()) out.push_back(std::move(w));
    return out;
}

const Layout kLayouts[] = {
#include "mirtel_layouts.inc"
};

}  // namespace

CommandTable::CommandTable() {
    for (const Layout& l : kLayouts) {
        Entry& e = byCmd_[l.cmd];
        if (l.sends) {
            if (l.pattern) e.requests.push_back({Pattern(l.pattern), l.pattern, l.function, words(l.fields)});
            else e.requestsChecked = false;
        } else if (l.keep || !l.pattern) {
            e.answersChecked = false;
        } else {
            e.answers.push_back({Pattern(l.pattern), l.pattern, l.function, words(l.fields)});
        }
    }
}

bool CommandTable::knows(uint16_t cmd) const { return byCmd_.count(cmd) != 0; }

std::string CommandTable::requestMismatch(uint16_t cmd, const Items& values) const {
    auto it = byCmd_.find(cmd);
    if (it == byCmd_.end() || !it->second.requestsChecked) return {};
    return mismatch(cmd, it->second.requests, values);
}

std::string CommandTable::answerMismatch(uint16_t cmd, const Items& values) const {
    auto it = byCmd_.find(cmd);
    if (it == byCmd_.end() || !it->second.answersChecked) return {};
    return mismatch(cmd, it->second.answers, values);
}

std::string CommandTable::mismatch(uint16_t cmd, const std::vector<Known>& layouts, const Items& values) {
    if (layouts.empty()) return {};
    // Told against the layout that takes the most values.
    const Known* best = nullptr;
    size_t taken = 0;
    for (const Known& l : layouts) {
        if (l.pattern.matches(values)) return {};
        const size_t n = l.pattern.accepted(values);
        if (!best || n > taken) best = &l, taken = n;
    }
    std::string s = std::string(best->function) + " (command " + std::to_string(cmd) + ", layout " +
                    (best->text.empty() ? "empty" : best->text) + "): ";
    const auto field = [&](size_t i) {
        return i < best->fields.size() ? " (" + best->fields[i] + ")" : std::string();
    };
    if (taken < values.size()) {
        s += "value " + std::to_string(taken + 1) + field(taken) + " is " +
             std::string(1, static_cast<char>(values[taken].Type()));
        if (!best->fields.empty() && taken >= best->fields.size()) s += ", past the layout's end";
    } else {
        s += std::to_string(values.size()) + " value" + (values.size() == 1 ? "" : "s") + ", too few";
        if (taken < best->fields.size()) s += ": " + best->fields[taken] + " is missing";
    }
    return s;
}

Items CommandTable::defaultAnswer(uint16_t cmd) const {
    auto it = byCmd_.find(cmd);
    if (it == byCmd_.end()) return {};
    // The longest reader layout, so that a newer reader finds all its values.
    Items best;
    for (const Known& k : it->second.answers) {
        Items s = k.pattern.sample();
        if (s.size() > best.size()) best = std::move(s);
    }
    return best;
}

const CommandTable& commandTable() {
    static const CommandTable table;
    return table;
}

}  // namespace trvsim
