// How the simulated register runs a command: a handler per command id,
// registered by the command families (sim/cmd_<family>.cpp), and the wire
// layouts of libmirtel's command table, against which every request is
// checked before its handler runs. A command of the table that no family
// handles gets a well-formed answer of its layout (zeros, empty texts), so
// an application can call every function of the library against the
// simulator.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "mirtel_ids.h"
#include "sim_state.h"

namespace trvsim {

namespace cmd = trv::cmd;

// Runs one command: reads the request's values from in (already checked
// against the table, where the table knows the command) and appends the
// answer's values to out, or throws ExecError.
using Handler = std::function<void(State& s, Args& in, Values& out)>;

class Handlers {
public:
    void add(uint16_t cmd, Handler h);
    const Handler* find(uint16_t cmd) const;

private:
    std::map<uint16_t, Handler> map_;
};

// Every family's handlers, registered once.
const Handlers& handlers();

// The families: sim/cmd_<family>.cpp handles the commands of the table
// tarvik_lib/mirtel/tarvik_mirtel_<family>.cmds and defines
// cmd_<family>::addCommands; the build lists the files in
// sim_families.inc, so a new file is registered by being there. The config
// family, the largest, is split by subject (cmd_config_<subject>.cpp); the
// seven small numbered tables (group, mu, payform, codefmt, cashout, errmsg,
// pludesc) share one mechanism in cmd_dict.cpp; the barcodes are kept with
// their articles (cmd_plu.cpp); cmd_stat.cpp reads the statistics of
// groups, payment forms and hours.
#define SIM_FAMILY(name) namespace cmd_##name { void addCommands(Handlers& h); }
#include "sim_families.inc"
#undef SIM_FAMILY

// Counts a sale journal record in the statistics of its cashier and of the
// discounts it names (cmd_user.cpp).
void countSale(State& s, const Record& r);

// A wire pattern: type letters (B V L S N K Q), groups in parentheses, and
// after a letter or group * (any number), ? (optional) or a count;
// alternatives separated by |.
class Pattern {
public:
    explicit Pattern(const std::string& text);
    bool matches(const Items& values) const;
    // How many values from the first some path of the pattern takes: all
    // of them when they match or when the pattern wants more.
    size_t accepted(const Items& values) const;
    // The shortest values of the first alternative: zeros and empty texts.
    Items sample() const;

    struct Node {
        char letter = 0;       // a type letter, or 0 for a group
        std::vector<Node> group;
        int min = 1, max = 1;  // repetitions; max -1: any number
    };

    // The compiled form: letters to take, splits into two paths, jumps.
    enum class Op { Letter, Split, Jump, Match };
    struct Instr {
        Op op;
        char letter = 0;
        size_t x = 0, y = 0;  // Jump: x; Split: x and y
    };

private:
    std::vector<std::vector<Node>> alternatives_;
    std::vector<Instr> program_;
};

// The layouts of the command table, by command id.
class CommandTable {
public:
    CommandTable();
    // A request the table knows must fit one of its command's layouts.
    bool requestFits(uint16_t cmd, const Items& values) const { return requestMismatch(cmd, values).empty(); }
    // An answer must fit one of the command's reader layouts, where all of
    // them are known (type readers and hand-read layouts without a pattern
    // leave it unchecked).
    bool answerFits(uint16_t cmd, const Items& values) const { return answerMismatch(cmd, values).empty(); }
    // Empty when the values fit; otherwise what does not, naming the
    // function, the command, the value and, for a regular layout, its name:
    // "TRVS_PLURead (command 2110, layout VB): value 1 (numer_rekordu) is S".
    std::string requestMismatch(uint16_t cmd, const Items& values) const;
    std::string answerMismatch(uint16_t cmd, const Items& values) const;
    // Whether the table has the command at all, and its default answer.
    bool knows(uint16_t cmd) const;
    Items defaultAnswer(uint16_t cmd) const;

private:
    struct Known {  // one layout of a command
        Pattern pattern;
        std::string text;                 // the pattern as the table has it
        const char* function;
        std::vector<std::string> fields;  // one name per value; empty for a hand-written layout
    };
    struct Entry {
        std::vector<Known> requests;
        bool requestsChecked = true;
        std::vector<Known> answers;
        bool answersChecked = true;
    };
    static std::string mismatch(uint16_t cmd, const std::vector<Known>& layouts, const Items& values);
    std::map<uint16_t, Entry> byCmd_;
};

const CommandTable& commandTable();

}  // namespace trvsim
