#include "calltable.h"

#include <cctype>
#include <cstring>
#include <map>

#include "tarvik/mirtel.h"

namespace calltable {

extern const char kMirtelSchema[];  // mirtel_schema.json, embedded at build time

namespace {

// {name, unit, command, sends, type reader, {fields}, sending call, reader call}
const std::vector<Call> kCalls = {
#include "mirtel_calls.inc"
};

// The largest text one answer frame can carry.
constexpr size_t kFrameText = 256 * 1024;

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

struct Index {
    std::map<std::string, const Call*, std::less<>> byName;
    std::map<std::string, const Call*, std::less<>> byFoldedName;
    std::map<std::string, const Json*, std::less<>> schemaByName;
    Json doc;
};

const Index& index() {
    static const Index idx = [] {
        Index i;
        i.doc = Json::parse(kMirtelSchema);
        for (const Call& c : kCalls) {
            i.byName.emplace(c.name, &c);
            i.byFoldedName.emplace(lower(c.name), &c);
        }
        for (const Json& e : i.doc) i.schemaByName.emplace(e["name"].get<std::string>(), &e);
        return i;
    }();
    return idx;
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

const Call* findCallIgnoringCase(std::string_view name) {
    if (const Call* c = findCall(name)) return c;
    const auto& m = index().byFoldedName;
    auto it = m.find(lower(name));
    return it == m.end() ? nullptr : it->second;
}

const Call* readerFor(const Call& sender) {
    std::string name(sender.name);
    if (name.rfind("TRVS_", 0) == 0) {
        name[3] = 'G';
        if (const Call* r = findCallIgnoringCase(name); r && !r->sends) return r;
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

uint64_t maxOf(std::string_view kind) {
    if (kind == "u8" || kind == "ch") return 0xFF;
    if (kind == "u16") return 0xFFFF;
    return 0xFFFFFFFFu;
}

Slots::Slots(const Call& call) : call_(&call), slots_(call.fields.size()) {}

bool Slots::setNumber(size_t i, uint64_t value) {
    if (value > maxOf(call_->fields[i].kind)) return false;
    slots_[i].number = value;
    return true;
}

bool Slots::setText(size_t i, std::string bytes) {
    if (bytes.find('\0') != std::string::npos) return false;
    slots_[i].text = std::move(bytes);
    return true;
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

}  // namespace calltable
