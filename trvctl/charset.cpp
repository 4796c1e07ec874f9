#include "charset.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <map>
#include <utility>

#include "util.h"

namespace trvctl {

namespace {

std::string g_charset = "CP1250";

std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

bool isUtf8Name(const std::string& name) {
    const std::string u = upper(name);
    return u == "UTF-8" || u == "UTF8";
}

// One converter per direction and set, kept for the life of the process and
// closed at its end.
struct Converters : std::map<std::pair<std::string, std::string>, iconv_t> {
    ~Converters() {
        for (auto& [key, cd] : *this) iconv_close(cd);
    }
};

iconv_t converter(const std::string& to, const std::string& from) {
    static Converters cache;
    auto key = std::make_pair(to, from);
    auto it = cache.find(key);
    if (it != cache.end()) {
        iconv(it->second, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
        return it->second;
    }
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd != reinterpret_cast<iconv_t>(-1)) cache.emplace(key, cd);
    return cd;
}

bool known(const std::string& name) {
    return isUtf8Name(name) || converter(name, "UTF-8") != reinterpret_cast<iconv_t>(-1);
}

// The UTF-8 sequence starting at s[i] (one byte when it is not valid).
size_t sequenceLength(const std::string& s, size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
    if (i + n > s.size()) return 1;
    for (size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 1;
    return n;
}

std::string describeCharacter(const std::string& s, size_t at) {
    const size_t n = sequenceLength(s, at);
    const auto c0 = static_cast<unsigned char>(s[at]);
    uint32_t cp = n == 1 ? c0 : n == 2 ? c0 & 0x1F : n == 3 ? c0 & 0x0F : c0 & 0x07;
    for (size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[at + k]) & 0x3F);
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", cp);
    std::string shown = s.substr(at, n);
    if (cp < 0x20 || cp == 0x7F) shown = "";
    return (shown.empty() ? std::string() : "'" + shown + "' ") + "(" + code + ")";
}

// Converts; on failure `bad` is the offset in `in` where conversion stopped.
bool convert(iconv_t cd, const std::string& in, std::string& out, size_t& bad) {
    out.clear();
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        bad = 0;
        return false;
    }
    char* src = const_cast<char*>(in.data());
    size_t left = in.size();
    char buf[4096];
    while (true) {
        char* dst = buf;
        size_t room = sizeof buf;
        const size_t r = iconv(cd, left ? &src : nullptr, left ? &left : nullptr, &dst, &room);
        out.append(buf, static_cast<size_t>(dst - buf));
        if (r != static_cast<size_t>(-1)) {
            if (left == 0) {
                // Flush any shift state.
                dst = buf;
                room = sizeof buf;
                iconv(cd, nullptr, nullptr, &dst, &room);
                out.append(buf, static_cast<size_t>(dst - buf));
                return true;
            }
            continue;
        }
        if (errno == E2BIG) continue;
        bad = in.size() - left;
        return false;
    }
}

}  // namespace

bool validUtf8(const std::string& s, size_t* at) {
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        const size_t n = sequenceLength(s, i);
        bool ok = n > 1;
        if (ok) {
            // No overlong forms, no surrogates, nothing above U+10FFFF.
            const auto c1 = static_cast<unsigned char>(s[i + 1]);
            if (n == 2 && c < 0xC2) ok = false;
            if (n == 3 && ((c == 0xE0 && c1 < 0xA0) || (c == 0xED && c1 >= 0xA0))) ok = false;
            if (n == 4 && ((c == 0xF0 && c1 < 0x90) || c > 0xF4 || (c == 0xF4 && c1 >= 0x90))) ok = false;
        }
        if (!ok) {
            if (at) *at = i;
            return false;
        }
        i += n;
    }
    return true;
}

size_t utf8Length(const std::string& s) {
    size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

void setRegisterCharset(const std::string& name) {
    if (name.empty() || !known(name))
        throw UsageError("--charset: '" + name + "' is not a character set this system knows (iconv -l lists them)",
                         false);
    g_charset = isUtf8Name(name) ? "UTF-8" : upper(name);
}

const std::string& registerCharset() { return g_charset; }

bool toRegister(const std::string& utf8, std::string& out, std::string& error) {
    size_t at = 0;
    if (!validUtf8(utf8, &at)) {
        error = "byte " + std::to_string(at + 1) + " is not valid UTF-8";
        return false;
    }
    if (g_charset == "UTF-8") {
        out = utf8;
        return true;
    }
    bool ascii = true;
    for (unsigned char c : utf8) ascii = ascii && c < 0x80;
    if (ascii) {  // the same bytes in every set the register may use
        out = utf8;
        return true;
    }
    size_t bad = 0;
    if (convert(converter(g_charset, "UTF-8"), utf8, out, bad)) return true;
    error = describeCharacter(utf8, bad) + " cannot be written in the register's character set " + g_charset;
    return false;
}

std::string fromRegister(const std::string& bytes) {
    bool ascii = true;
    for (unsigned char c : bytes) ascii = ascii && c < 0x80;
    if (ascii) return bytes;
    std::string out;
    if (g_charset == "UTF-8") {
        // Keep what is valid; mark the rest.
        for (size_t i = 0; i < bytes.size();) {
            std::string one = bytes.substr(i, sequenceLength(bytes, i));
            out += validUtf8(one) ? one : "\xEF\xBF\xBD";
            i += one.size();
        }
        return out;
    }
    iconv_t cd = converter("UTF-8", g_charset);
    for (size_t from = 0; from < bytes.size();) {
        size_t bad = 0;
        std::string part;
        const std::string rest = bytes.substr(from);
        if (convert(cd, rest, part, bad)) {
            out += part;
            break;
        }
        out += part;
        out += "\xEF\xBF\xBD";
        from += bad + 1;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
}

Encoding parseEncoding(const std::string& name) {
    Encoding e;
    const std::string u = upper(name);
    if (u == "UTF-8" || u == "UTF8") return e;
    if (u == "UTF-8-BOM" || u == "UTF8-BOM" || u == "UTF-8-SIG") {
        e.bom = true;
        return e;
    }
    if (u.rfind("UTF-16", 0) == 0 || u.rfind("UTF-32", 0) == 0 || u.rfind("UCS", 0) == 0)
        throw UsageError("--encoding: '" + name + "' is not supported: use UTF-8 or a single-byte set such as CP1250",
                         false);
    if (!known(u)) throw UsageError("--encoding: '" + name + "' is not an encoding this system knows (iconv -l)", false);
    e.name = u;
    e.utf8 = false;
    return e;
}

bool decodeText(const Encoding& e, const std::string& in, std::string& utf8, std::string& error) {
    if (e.utf8) {
        size_t at = 0;
        if (!validUtf8(in, &at)) {
            error = "byte " + std::to_string(at + 1) + " is not valid UTF-8 (a file from another system? try --encoding cp1250)";
            return false;
        }
        utf8 = in;
        return true;
    }
    size_t bad = 0;
    if (convert(converter("UTF-8", e.name), in, utf8, bad)) return true;
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned char>(in[bad]));
    error = "byte " + std::to_string(bad + 1) + " (" + hex + ") is not a character of " + e.name;
    return false;
}

bool encodeText(const Encoding& e, const std::string& utf8, std::string& out, std::string& error) {
    if (e.utf8) {
        out = utf8;
        return true;
    }
    size_t bad = 0;
    if (convert(converter(e.name, "UTF-8"), utf8, out, bad)) return true;
    error = describeCharacter(utf8, bad) + " cannot be written in " + e.name;
    return false;
}

}  // namespace trvctl
