// Every libmirtel function callable by name with named arguments and named
// results: the generated call table (mirtel_calls.inc) for the calls, the
// generated schema (mirtel_schema.json) for their JSON Schema and the bounds
// of their text outputs.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "tarvik/mirtel.h"

namespace trvgw {

using Json = nlohmann::json;

class Slots;

struct Field {
    const char* name;
    const char* kind;  // "u8", "ch", "u16", "u32" or "text"
};

using SendFn = TARVIK_STATUS (*)(TARVIK_HANDLE, TARVIK_HANDLE*, Slots&, unsigned char);
using ReadFn = TARVIK_STATUS (*)(TARVIK_HANDLE, Slots&);

struct Call {
    const char* name;
    const char* unit;
    int command;
    bool sends;
    bool typeReader;
    std::vector<Field> fields;
    SendFn send;
    ReadFn read;

    int field(std::string_view n) const;
    // The generated schema of this function (arguments or results).
    const Json& schema() const;
    // The capacity of the buffer for text output i: the register's bound
    // where the table gives one, else libmirtel's local buffer, else the
    // largest text a frame can carry.
    size_t outputCapacity(size_t i) const;
};

const std::vector<Call>& calls();
const Call* findCall(std::string_view name);
// The reader of a sending function (TRVG_ of the same name, else the only
// non-type reader of its command), or null.
const Call* readerFor(const Call& sender);
// The whole generated schema, one entry per function.
const Json& schemaDocument();

// A function that only reads (it changes nothing on the register, so a
// repetition is harmless).
bool readsOnly(const Call& sender);

// The arguments and outputs of one call, in the register's character set.
class Slots {
public:
    explicit Slots(const Call& call);
    const Call& call() const { return *call_; }

    // Sets argument i from JSON (already converted to the register's bytes
    // for texts). Returns "" or the reason it does not fit.
    std::string set(size_t i, const Json& value);

    unsigned char u8(size_t i) const { return static_cast<unsigned char>(slots_[i].number); }
    char ch(size_t i) const { return static_cast<char>(slots_[i].number); }
    unsigned short u16(size_t i) const { return static_cast<unsigned short>(slots_[i].number); }
    unsigned long u32(size_t i) const { return static_cast<unsigned long>(slots_[i].number); }
    const char* text(size_t i) const { return slots_[i].text.c_str(); }

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

}  // namespace trvgw
