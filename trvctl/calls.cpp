#include "calls.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <map>
#include <stdexcept>

#include "charset.h"

namespace trvctl {

namespace {

// {name, unit, command, sends, type reader, {fields}, sending call, reader call}
const std::vector<Call> kCalls = {
#include "mirtel_calls.inc"
};

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

uint64_t maxOf(std::string_view kind) {
    if (kind == "u8" || kind == "ch") return 0xFF;
    if (kind == "u16") return 0xFFFF;
    if (kind == "u32") return 0xFFFFFFFFu;
    return 0;
}

}  // namespace

int Call::field(std::string_view n) const {
    for (size_t i = 0; i < fields.size(); ++i)
        if (n == fields[i].name) return static_cast<int>(i);
    return -1;
}

const std::vector<Call>& calls() { return kCalls; }

const Call* findCall(std::string_view name) {
    static const auto byName = [] {
        std::map<std::string, const Call*, std::less<>> exact, folded;
        for (const Call& c : kCalls) {
            exact.emplace(c.name, &c);
            folded.emplace(lower(c.name), &c);
        }
        return std::pair{exact, folded};
    }();
    if (auto it = byName.first.find(name); it != byName.first.end()) return it->second;
    if (auto it = byName.second.find(lower(name)); it != byName.second.end()) return it->second;
    return nullptr;
}

const Call& callNamed(std::string_view name) {
    const Call* c = findCall(name);
    if (!c || c->name != name) throw std::logic_error("no libmirtel function " + std::string(name));
    return *c;
}

const Call* readerFor(const Call& sender) {
    std::string name(sender.name);
    if (name.rfind("TRVS_", 0) == 0) {
        name[3] = 'G';
        if (const Call* r = findCall(name); r && !r->sends) return r;
    }
    const Call* only = nullptr;
    for (const Call& c : kCalls) {
        if (c.sends || c.typeReader || c.command != sender.command) continue;
        if (only) return nullptr;
        only = &c;
    }
    return only;
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

Slots::Slots(const Call& call) : call_(&call), slots_(call.fields.size()) {}

std::string Slots::set(size_t i, const std::string& text) {
    const std::string_view kind = call_->fields[i].kind;
    Slot& s = slots_[i];
    if (kind == "text") {
        if (text.find('\0') != std::string::npos) return "contains a NUL character";
        // The register's bytes, in its character set.
        std::string error;
        if (!toRegister(text, s.text, error)) return error;
        return "";
    }
    if (kind == "ch") {
        if (text.size() != 1) return "'" + text + "' is not one character";
        s.number = static_cast<unsigned char>(text[0]);
        return "";
    }
    const uint64_t max = maxOf(kind);
    // Numbers may also be given in hexadecimal (rights masks, flags).
    std::optional<uint64_t> v;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        uint64_t h = 0;
        const auto [end, ec] = std::from_chars(text.data() + 2, text.data() + text.size(), h, 16);
        if (ec == std::errc() && end == text.data() + text.size() && h <= max) v = h;
    } else {
        v = parseUnsigned(text, max);
    }
    if (!v) return "'" + text + "' is not a number from 0 to " + std::to_string(max);
    s.number = *v;
    return "";
}

char* Slots::outText(size_t i) {
    Slot& s = slots_[i];
    if (s.buffer.empty()) s.buffer.assign(kTextSize, '\0');
    return s.buffer.data();
}

std::string Slots::output(size_t i) const {
    const std::string_view kind = call_->fields[i].kind;
    const Slot& s = slots_[i];
    if (kind == "u8" || kind == "ch") return std::to_string(s.b);
    if (kind == "u16") return std::to_string(s.w);
    if (kind == "u32") return std::to_string(s.l);
    if (s.buffer.empty()) return "";
    return fromRegister(std::string(s.buffer.data(), strnlen(s.buffer.data(), s.buffer.size())));
}

Record Slots::record() const {
    Record r;
    for (size_t i = 0; i < call_->fields.size(); ++i)
        r.push_back({call_->fields[i].name, output(i), std::string_view(call_->fields[i].kind) != "text"});
    return r;
}

}  // namespace trvctl
