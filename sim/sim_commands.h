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

// The families (one file each).
void addClockCommands(Handlers& h);     // cmd_clock.cpp: clock, VAT, status, control
void addPrintingCommands(Handlers& h);  // cmd_printing.cpp: printouts, header, footer, displays
void addSettingsCommands(Handlers& h);  // cmd_settings.cpp: sale, stock and accessory settings
void addCommCommands(Handlers& h);      // cmd_comm.cpp: host interface, serial ports, modem
void addFiscalCommands(Handlers& h);    // cmd_fiscal.cpp: fiscal memory
void addJournalCommands(Handlers& h);   // cmd_journal.cpp: sale journal
void addArticleCommands(Handlers& h);   // cmd_plu.cpp: articles, barcodes, notepad
void addHotkeyCommands(Handlers& h);    // cmd_hotkey.cpp: hotkeys
void addPackCommands(Handlers& h);      // cmd_pack.cpp: returnable packagings
void addDictionaryCommands(Handlers& h);  // cmd_dict.cpp: groups, units, payment forms and the other small tables
void addStatisticsCommands(Handlers& h);  // cmd_stat.cpp: group, payment form and hourly statistics
void addUserCommands(Handlers& h);      // cmd_user.cpp: users, their statistics, remote login
void addDiscountCommands(Handlers& h);  // cmd_discnt.cpp: discounts, automatic discounts

// Counts a sale journal record in the statistics of its cashier and of the
// discounts it names (cmd_user.cpp).
void countSale(State& s, const Record& r);
void addReportCommands(Handlers& h);    // cmd_reports.cpp: printed reports, the daily report
void addContextCommands(Handlers& h);   // cmd_cntx.cpp: context initialisation

// A wire pattern: type letters (B V L S N K Q), groups in parentheses, and
// after a letter or group * (any number), ? (optional) or a count;
// alternatives separated by |.
class Pattern {
public:
    explicit Pattern(const std::string& text);
    bool matches(const Items& values) const;
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
    bool requestFits(uint16_t cmd, const Items& values) const;
    // An answer must fit one of the command's reader layouts, where all of
    // them are known (type readers and hand-read layouts without a pattern
    // leave it unchecked).
    bool answerFits(uint16_t cmd, const Items& values) const;
    // Whether the table has the command at all, and its default answer.
    bool knows(uint16_t cmd) const;
    Items defaultAnswer(uint16_t cmd) const;

private:
    struct Entry {
        std::vector<Pattern> requests;
        bool requestsChecked = true;
        std::vector<Pattern> answers;
        bool answersChecked = true;
    };
    std::map<uint16_t, Entry> byCmd_;
};

const CommandTable& commandTable();

}  // namespace trvsim
