// The call table (calltable/) as trvctl uses it: arguments from text in
// UTF-8, outputs as text, and records of named values. The rest of trvctl
// reaches the register only through this table.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "calltable.h"

namespace trvctl {

using calltable::Call;
using calltable::calls;
using calltable::Field;
using calltable::readerFor;

// By exact name, else ignoring case; null when there is none.
inline const Call* findCall(std::string_view name) { return calltable::findCallIgnoringCase(name); }
// For the tables of trvctl itself: a name that must exist.
const Call& callNamed(std::string_view name);

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

class Slots : public calltable::Slots {
public:
    using calltable::Slots::Slots;

    // Sets argument i from text. Returns an error message ("" when fine):
    // numbers (decimal, or hexadecimal with 0x for masks and flags) must fit
    // their kind, a "ch" is one character, texts (UTF-8) must be
    // representable in the register's character set.
    std::string set(size_t i, const std::string& text);

    // Output i as text (UTF-8).
    std::string output(size_t i) const;
    // Every output, by the reader's field names.
    Record record() const;
};

}  // namespace trvctl
