// Every libmirtel function as data, for the tools (trvctl, trvgw): its name,
// command, fields and a call through a Slots object that holds the C
// arguments and the buffers of the outputs; its JSON Schema and the bounds of
// its text outputs. Generated from the command tables (mirtel_calls.inc,
// mirtel_schema.json). How a tool turns its own input (command-line text,
// JSON) into arguments stays with the tool.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "tarvik/tarvik.h"

namespace calltable {

using Json = nlohmann::json;

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
    // The generated schema of this function (arguments or results).
    const Json& schema() const;
    // The size of the buffer for text output i: the register's bound where
    // the table gives one, else libmirtel's local buffer, else the largest
    // text a frame can carry.
    size_t outputCapacity(size_t i) const;
};

const std::vector<Call>& calls();
// By exact name; null when there is none.
const Call* findCall(std::string_view name);
// By exact name, else ignoring case (TRVG_CashRegStatusGet answers
// TRVS_CashregStatusGet); null when there is none.
const Call* findCallIgnoringCase(std::string_view name);
// The reader of a sending function: the TRVG_ function of the same name
// (ignoring case), else the only non-type reader of its command; null when
// there is none.
const Call* readerFor(const Call& sender);
// The whole generated schema, one entry per function.
const Json& schemaDocument();
// The largest number a field of this kind holds ("u8", "ch", "u16", "u32").
uint64_t maxOf(std::string_view kind);

// The arguments and outputs of one call, in the register's bytes.
class Slots {
public:
    explicit Slots(const Call& call);
    const Call& call() const { return *call_; }

    // Argument i. A number above its kind's maximum, or a text with a NUL,
    // is refused (false) and leaves the slot as it was.
    bool setNumber(size_t i, uint64_t value);
    bool setText(size_t i, std::string bytes);

    // Arguments, as the generated calls take them.
    unsigned char u8(size_t i) const { return static_cast<unsigned char>(slots_[i].number); }
    char ch(size_t i) const { return static_cast<char>(slots_[i].number); }
    unsigned short u16(size_t i) const { return static_cast<unsigned short>(slots_[i].number); }
    unsigned long u32(size_t i) const { return static_cast<unsigned long>(slots_[i].number); }
    const char* text(size_t i) const { return slots_[i].text.c_str(); }

    // Outputs: fresh zeros and empty texts for every call, so that a reader
    // that leaves an output alone shows nothing stale. A text buffer has the
    // call's outputCapacity.
    unsigned char* outU8(size_t i) { return &slots_[i].b; }
    unsigned short* outU16(size_t i) { return &slots_[i].w; }
    unsigned long* outU32(size_t i) { return &slots_[i].l; }
    char* outText(size_t i);

    // Output i: a number, or the text in the register's bytes.
    bool isNumber(size_t i) const;
    uint64_t number(size_t i) const;
    std::string textOut(size_t i) const;

private:
    struct Slot {
        uint64_t number = 0;
        std::string text;
        unsigned char b = 0;
        unsigned short w = 0;
        unsigned long l = 0;
        std::unique_ptr<char[]> buffer;
        size_t size = 0;
    };
    const Call* call_;
    std::vector<Slot> slots_;
};

}  // namespace calltable
