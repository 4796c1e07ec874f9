#include "calls.h"

#include <charconv>
#include <stdexcept>

#include "charset.h"

namespace trvctl {

const Call& callNamed(std::string_view name) {
    const Call* c = calltable::findCall(name);
    if (!c) throw std::logic_error("no libmirtel function " + std::string(name));
    return *c;
}

const Item* findItem(const Record& r, std::string_view name) {
    for (const Item& i : r)
        if (i.name == name) return &i;
    return nullptr;
}

std::string itemValue(const Record& r, std::string_view name) {
    const Item* i = findItem(r, name);
    return i ? i->value : std::string();
}

std::optional<uint64_t> parseUnsigned(std::string_view text, uint64_t max) {
    if (text.empty() || text.size() > 20) return std::nullopt;
    uint64_t v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || v > max) return std::nullopt;
    return v;
}

std::string Slots::set(size_t i, const std::string& text) {
    const std::string_view kind = call().fields[i].kind;
    if (kind == "text") {
        if (text.find('\0') != std::string::npos) return "contains a NUL character";
        // The register's bytes, in its character set.
        std::string bytes, error;
        if (!toRegister(text, bytes, error)) return error;
        setText(i, std::move(bytes));
        return "";
    }
    if (kind == "ch") {
        if (text.size() != 1) return "'" + text + "' is not one character";
        setNumber(i, static_cast<unsigned char>(text[0]));
        return "";
    }
    const uint64_t max = calltable::maxOf(kind);
    std::optional<uint64_t> v;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        uint64_t h = 0;
        const auto [end, ec] = std::from_chars(text.data() + 2, text.data() + text.size(), h, 16);
        if (ec == std::errc() && end == text.data() + text.size() && h <= max) v = h;
    } else {
        v = parseUnsigned(text, max);
    }
    if (!v) return "'" + text + "' is not a number from 0 to " + std::to_string(max);
    setNumber(i, *v);
    return "";
}

std::string Slots::output(size_t i) const {
    if (isNumber(i)) return std::to_string(number(i));
    return fromRegister(textOut(i));
}

Record Slots::record() const {
    Record r;
    for (size_t i = 0; i < call().fields.size(); ++i) r.push_back({call().fields[i].name, output(i), isNumber(i)});
    return r;
}

}  // namespace trvctl
