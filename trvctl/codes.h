// The register's own codes that trvctl interprets: which reader decodes
// each type of record the register hands out (sale journal, fiscal memory,
// hotkeys), the special VAT rate values, and short texts for its execution
// errors. The libraries pass these codes through; they are the register's
// protocol, as the simulator documents it (sim/README.md). Only this file
// knows them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace trvctl {

struct TypedReader {
    unsigned code;
    const char* label;   // what the record is, for people
    const char* reader;  // the TRVG_ function that reads its body
};

// A command whose answer starts with a type, read by a type reader that
// keeps the request for the body reader of that type.
struct TypeMap {
    const char* sender;      // the TRVS_ function
    const char* typeReader;  // the TRVG_ function that reads the type
    const char* typeField;   // its output holding the type
    std::vector<TypedReader> types;

    const TypedReader* find(unsigned code) const;
    std::string describe() const;  // "1 daily fiscal record (TRVG_...)" lines, for --help
};

const TypeMap& journalTypes();        // command 451
const TypeMap& fiscalMemoryTypes();   // command 405
const TypeMap& hotkeyTypes();         // command 3210
// The type map of a sending function, or null.
const TypeMap* typeMapFor(const std::string& sender);

// Command 451: the way of reading (sposob).
constexpr unsigned kJournalFirst = 1, kJournalNext = 0;
// Command 451 answers this execution error when there is no (further) record.
constexpr unsigned kJournalNoRecord = 107;
// Commands 401-404: type 0 means any type.
constexpr unsigned kFiscalAnyType = 0;

// VAT rates are hundredths of a percent; two values are not rates.
constexpr unsigned kVatExempt = 10000, kVatUnused = 10001;
constexpr unsigned kVatIndexMax = 6;  // rates A to G are indices 0 to 6

// The database status (502/512) lists the article table first.
constexpr size_t kDbStatusArticles = 0;

// The type of a discount (3010): bit 0 set for an amount (else a
// percentage), bit 1 set for a markup (else a discount).
inline bool discountIsDiscount(unsigned type) { return (type & 2) == 0; }
inline bool discountIsPercentage(unsigned type) { return (type & 1) == 0; }

// A report hotkey (type 8) answers the command that programmed it, its range
// and its record selectors; it does not answer these arguments of the
// programming functions, which therefore read back as 0.
inline bool reportHotkeyUnanswered(const std::string& arg) {
    return arg == "identyfikator" || arg == "typ_raportu" || arg == "rodzaj_raportu" || arg == "typ_rekordu";
}
inline bool reportHotkeyRange(const std::string& arg) { return arg == "zakres_raportu" || arg == "zakres"; }
// The commands that program report hotkeys.
inline bool reportHotkeyCommand(int cmd) { return cmd == 3211 || (cmd >= 3401 && cmd <= 3472); }

// The printed report that closes the day in the fiscal memory.
inline bool reportWritesFiscalMemory(int cmd) { return cmd == 1165; }

// Execution errors of the register.
constexpr unsigned kErrBadValue = 103, kErrNotFound = 104, kErrFull = 106;

// A short text for an execution error of the register, or "".
std::string executionErrorText(unsigned code, const std::string& lang);

}  // namespace trvctl
