// Every libmirtel function as data, from the command tables
// (build/mirtel_gen/mirtel_calls.inc): its name, command, fields and a call
// through a Slots object that turns text arguments into the C argument types
// and keeps buffers for the outputs. The rest of trvctl reaches the register
// only through this table.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tarvik/mirtel.h"

namespace trvctl {

class Slots;

// A field of a function: its name in mirtel.h and its slot kind, one of
// "u8", "ch", "u16", "u32" or "text".
struct Field {
    const char* name;
    const char* kind;
};

using SendFn = TARVIK_STATUS (*)(TARVIK_HANDLE, TARVIK_HANDLE*, Slots&, unsigned char);
using ReadFn = TARVIK_STATUS (*)(TARVIK_HANDLE, Slots&);

struct Call {
    const char* name;
    const char* unit;      // the command family
    int command;
    bool sends;            // TRVS_ (else a TRVG_ reader)
    bool typeReader;       // a reader that keeps the request for a body reader
    std::vector<Field> fields;
    SendFn send;
    ReadFn read;

    // Index of the field, or -1.
    int field(std::string_view name) const;
};

const std::vector<Call>& calls();
// By exact name, else ignoring case (TRVG_CashRegStatusGet answers
// TRVS_CashregStatusGet); null when there is none.
const Call* findCall(std::string_view name);
// For the tables of trvctl itself: a name that must exist.
const Call& callNamed(std::string_view name);
// The reader of a sending function: the TRVG_ function of the same name, else
// the only non-type reader of its command; null when there is none.
const Call* readerFor(const Call& sender);

// One value of a record, as text; `number` tells JSON output to write it
// as a number.
struct Item {
    std::string name;
    std::string value;
    bool number = false;
    bool body = false;  // read by the body reader of a typed record
};
using Record = std::vector<Item>;

const Item* findItem(const Record& r, std::string_view name);
std::string itemValue(const Record& r, std::string_view name);

// Parses an unsigned decimal number (no sign, no spaces) not above max.
std::optional<uint64_t> parseUnsigned(std::string_view text, uint64_t max);

// The argument and output storage of one call.
class Slots {
public:
    explicit Slots(const Call& call);

    const Call& call() const { return *call_; }

    // Sets argument i from text. Returns an error message ("" when fine):
    // numbers must fit their kind, a "ch" is one character, texts (UTF-8)
    // must be representable in the register's character set.
    std::string set(size_t i, const std::string& text);

    // Arguments, as the generated calls take them.
    unsigned char u8(size_t i) const { return static_cast<unsigned char>(slots_[i].number); }
    char ch(size_t i) const { return static_cast<char>(slots_[i].number); }
    unsigned short u16(size_t i) const { return static_cast<unsigned short>(slots_[i].number); }
    unsigned long u32(size_t i) const { return static_cast<unsigned long>(slots_[i].number); }
    const char* text(size_t i) const { return slots_[i].text.c_str(); }

    // Outputs: fresh zeros and empty texts for every call, so that a reader
    // that leaves an output alone shows nothing stale.
    unsigned char* outU8(size_t i) { return &slots_[i].b; }
    unsigned short* outU16(size_t i) { return &slots_[i].w; }
    unsigned long* outU32(size_t i) { return &slots_[i].l; }
    char* outText(size_t i);

    // Output i as text (UTF-8).
    std::string output(size_t i) const;
    // Every output, by the reader's field names.
    Record record() const;

    // Text outputs are read in string-handling mode 0: the buffer must hold
    // whatever the register sends, lists of many values included.
    static constexpr size_t kTextSize = 65536;

private:
    struct Slot {
        uint64_t number = 0;
        std::string text;
        unsigned char b = 0;
        unsigned short w = 0;
        unsigned long l = 0;
        std::vector<char> buffer;
    };
    const Call* call_;
    std::vector<Slot> slots_;
};

}  // namespace trvctl
