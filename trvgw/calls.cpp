#include "calls.h"

#include <cstring>
#include <regex>

namespace trvgw {

bool readsOnly(const Call& sender) {
    // Readers by name; a read that also clears a counter (czy_zerowanie) is
    // not one.
    static const std::regex reads("^TRVS_.*(Read|Get|Status|First|Last|Next|Prev|Check|Size)([A-Z].*|Ex)?$");
    if (!std::regex_match(sender.name, reads)) return false;
    for (const Field& f : sender.fields)
        if (std::strstr(f.name, "zerowan")) return false;
    return true;
}

std::string Slots::set(size_t i, const Json& v) {
    const std::string_view kind = call().fields[i].kind;
    if (kind == "text") {
        if (!v.is_string() || !setText(i, v.get<std::string>()))
            return v.is_string() ? "contains a NUL character" : "must be a string";
        return "";
    }
    if (kind == "ch") {
        if (!v.is_string() || v.get<std::string>().size() != 1) return "must be a string of one character";
        setNumber(i, static_cast<unsigned char>(v.get<std::string>()[0]));
        return "";
    }
    if (!v.is_number_integer() || (!v.is_number_unsigned() && v.get<int64_t>() < 0) ||
        !setNumber(i, v.get<uint64_t>()))
        return "must be an integer from 0 to " + std::to_string(calltable::maxOf(kind));
    return "";
}

}  // namespace trvgw
