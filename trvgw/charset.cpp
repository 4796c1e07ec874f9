#include "charset.h"

#include <iconv.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace trvgw {

namespace {

std::optional<std::string> convert(const std::string& in, const char* from, const char* to) {
    bool ascii = true;
    for (unsigned char c : in) ascii = ascii && c < 0x80;
    if (ascii) return in;  // every supported set is ASCII-compatible
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::vector<char> out(in.size() * 4 + 16);
    char* ip = const_cast<char*>(in.data());
    size_t il = in.size();
    char* op = out.data();
    size_t ol = out.size();
    const size_t r = iconv(cd, &ip, &il, &op, &ol);
    const bool ok = r != static_cast<size_t>(-1) && il == 0 &&
                    iconv(cd, nullptr, nullptr, &op, &ol) != static_cast<size_t>(-1);
    iconv_close(cd);
    // iconv counts characters it had to approximate as irreversible: refuse them.
    if (!ok || r != 0) return std::nullopt;
    return std::string(out.data(), static_cast<size_t>(op - out.data()));
}

}  // namespace

std::string chooseCharset(const std::string& configured) {
    if (!configured.empty()) return configured;
    const char* env = std::getenv("TARVIK_CHARSET");
    if (env && *env) return env;
    return "CP1250";
}

bool charsetKnown(const std::string& charset) {
    iconv_t a = iconv_open(charset.c_str(), "UTF-8");
    if (a == reinterpret_cast<iconv_t>(-1)) return false;
    iconv_close(a);
    iconv_t b = iconv_open("UTF-8", charset.c_str());
    if (b == reinterpret_cast<iconv_t>(-1)) return false;
    iconv_close(b);
    return true;
}

std::optional<std::string> toRegister(const std::string& utf8, const std::string& charset) {
    return convert(utf8, "UTF-8", charset.c_str());
}

std::optional<std::string> fromRegister(const std::string& bytes, const std::string& charset) {
    return convert(bytes, charset.c_str(), "UTF-8");
}

}  // namespace trvgw
