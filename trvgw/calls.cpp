#include "calls.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <regex>

namespace trvgw {

extern const char kMirtelSchema[];  // mirtel_schema.json, embedded at build time

namespace {

const std::vector<Call> kCalls = {
#include "mirtel_calls.inc"
};

// The largest text one answer frame can carry.
constexpr size_t kFrameText = 256 * 1024;

struct Index {
    std::map<std::string, const Call*, std::less<>> byName;
    std::map<std::string, const Json*, std::less<>> schemaByName;
    Json doc;
};

const Index& index() {
    static const Index idx = [] {
        Index i;
        i.doc = Json::parse(kMirtelSchema);
        for (const Call& c : kCalls) i.byName.emplace(c.name, &c);
        for (const Json& e : i.doc) i.schemaByName.emplace(e["name"].get<std::string>(), &e);
        return i;
    }();
    return idx;
}

uint64_t maxOf(std::string_view kind) {
    if (kind == "u8" || kind == "ch") return 0xFF;
    if (kind == "u16") return 0xFFFF;
    return 0xFFFFFFFFu;
}

}  // namespace

int Call::field(std::string_view n) const {
    for (size_t i = 0; i < fields.size(); ++i)
        if (n == fields[i].name) return static_cast<int>(i);
    return -1;
}

const Json& Call::schema() const {
    static const Json empty = Json::object();
    const auto& m = index().schemaByName;
    auto it = m.find(name);
    return it == m.end() ? empty : *it->second;
}

size_t Call::outputCapacity(size_t i) const {
    const Json& b = schema().value("bounds", Json::object());
    auto it = b.find(fields[i].name);
    if (it != b.end()) {
        if (it->contains("max")) return (*it)["max"].get<size_t>() + 1;
        if (it->contains("local")) return (*it)["local"].get<size_t>();
    }
    return kFrameText;
}

const std::vector<Call>& calls() { return kCalls; }

const Call* findCall(std::string_view name) {
    const auto& m = index().byName;
    auto it = m.find(name);
    return it == m.end() ? nullptr : it->second;
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

const Json& schemaDocument() { return index().doc; }

bool readsOnly(const Call& sender) {
    // Readers by name; a read that also clears a counter (czy_zerowanie) is
    // not one.
    static const std::regex reads("^TRVS_.*(Read|Get|Status|First|Last|Next|Prev|Check|Size)([A-Z].*|Ex)?$");
    if (!std::regex_match(sender.name, reads)) return false;
    for (const Field& f : sender.fields)
        if (std::strstr(f.name, "zerowan")) return false;
    return true;
}

Slots::Slots(const Call& call) : call_(&call), slots_(call.fields.size()) {}

std::string Slots::set(size_t i, const Json& v) {
    const std::string_view kind = call_->fields[i].kind;
    Slot& s = slots_[i];
    if (kind == "text") {
        if (!v.is_string()) return "must be a string";
        s.text = v.get<std::string>();
        if (s.text.find('\0') != std::string::npos) return "contains a NUL character";
        return "";
    }
    if (kind == "ch") {
        if (!v.is_string() || v.get<std::string>().size() != 1) return "must be a string of one character";
        s.number = static_cast<unsigned char>(v.get<std::string>()[0]);
        return "";
    }
    const uint64_t max = maxOf(kind);
    if (!v.is_number_integer() || (v.is_number_integer() && !v.is_number_unsigned() && v.get<int64_t>() < 0) ||
        v.get<uint64_t>() > max)
        return "must be an integer from 0 to " + std::to_string(max);
    s.number = v.get<uint64_t>();
    return "";
}

char* Slots::outText(size_t i) {
    Slot& s = slots_[i];
    if (!s.buffer) {
        s.size = call_->outputCapacity(i);
        s.buffer.reset(new char[s.size]);
        s.buffer[0] = '\0';
    }
    return s.buffer.get();
}

bool Slots::isNumber(size_t i) const { return std::string_view(call_->fields[i].kind) != "text"; }

uint64_t Slots::number(size_t i) const {
    const std::string_view kind = call_->fields[i].kind;
    const Slot& s = slots_[i];
    if (kind == "u8" || kind == "ch") return s.b;
    if (kind == "u16") return s.w;
    return s.l;
}

std::string Slots::textOut(size_t i) const {
    const Slot& s = slots_[i];
    if (!s.buffer) return "";
    return std::string(s.buffer.get(), strnlen(s.buffer.get(), s.size));
}

}  // namespace trvgw
