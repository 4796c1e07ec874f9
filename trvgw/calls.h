// The call table (calltable/) as the gateway uses it: arguments from JSON,
// and which functions only read.
#pragma once

#include <string>

#include "calltable.h"

namespace trvgw {

using Json = nlohmann::json;
using calltable::Call;
using calltable::calls;
using calltable::Field;
using calltable::findCall;
using calltable::readerFor;
using calltable::schemaDocument;

// A function that only reads (it changes nothing on the register, so a
// repetition is harmless).
bool readsOnly(const Call& sender);

class Slots : public calltable::Slots {
public:
    using calltable::Slots::Slots;
    // Sets argument i from JSON (already converted to the register's bytes
    // for texts). Returns "" or the reason it does not fit.
    std::string set(size_t i, const Json& value);
};

}  // namespace trvgw
