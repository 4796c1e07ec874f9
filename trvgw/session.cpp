#include "session.h"

#include <openssl/rand.h>
#include <strings.h>

#include <stdexcept>

namespace trvgw {

std::string Sessions::cookieValue(const http::Request& req) {
    const std::string want = std::string(kCookie) + "=";
    for (const auto& [k, v] : req.headers) {
        if (k.size() != 6 || strncasecmp(k.c_str(), "cookie", 6) != 0) continue;
        // "a=1; trvgw_session=...; b=2"
        size_t i = 0;
        while (i < v.size()) {
            while (i < v.size() && (v[i] == ' ' || v[i] == ';')) ++i;
            const size_t end = std::min(v.find(';', i), v.size());
            if (v.compare(i, want.size(), want) == 0) return v.substr(i + want.size(), end - i - want.size());
            i = end;
        }
    }
    return "";
}

std::string Sessions::create(const Token& who) {
    unsigned char raw[32];
    if (RAND_bytes(raw, sizeof raw) != 1) throw std::runtime_error("no random bytes for a session");
    static const char digits[] = "0123456789abcdef";
    std::string value;
    for (unsigned char c : raw) {
        value += digits[c >> 4];
        value += digits[c & 15];
    }
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard<std::mutex> l(mutex_);
    for (auto it = byHash_.begin(); it != byHash_.end();)
        it = it->second.expires <= now ? byHash_.erase(it) : std::next(it);
    // Full: the session closest to its end makes room.
    while (byHash_.size() >= max_) {
        auto oldest = byHash_.begin();
        for (auto it = byHash_.begin(); it != byHash_.end(); ++it)
            if (it->second.expires < oldest->second.expires) oldest = it;
        byHash_.erase(oldest);
    }
    // Kept as a hash, so that a lookup's timing tells nothing of a live value.
    byHash_[sha256Hex(value)] = {who, now + lifetime_};
    return value;
}

std::optional<Token> Sessions::find(const http::Request& req) {
    const std::string v = cookieValue(req);
    if (v.size() != 64) return std::nullopt;
    const std::string h = sha256Hex(v);
    std::lock_guard<std::mutex> l(mutex_);
    auto it = byHash_.find(h);
    if (it == byHash_.end()) return std::nullopt;
    if (it->second.expires <= std::chrono::steady_clock::now()) {
        byHash_.erase(it);
        return std::nullopt;
    }
    return it->second.who;
}

void Sessions::remove(const http::Request& req) {
    const std::string v = cookieValue(req);
    if (v.empty()) return;
    std::lock_guard<std::mutex> l(mutex_);
    byHash_.erase(sha256Hex(v));
}

std::string Sessions::setCookie(const std::string& value, bool secure, std::chrono::seconds lifetime) {
    return std::string(kCookie) + "=" + value + "; Path=/; Max-Age=" + std::to_string(lifetime.count()) +
           "; HttpOnly; SameSite=Strict" + (secure ? "; Secure" : "");
}

std::string Sessions::clearCookie(bool secure) {
    return std::string(kCookie) + "=; Path=/; Max-Age=0; HttpOnly; SameSite=Strict" + (secure ? "; Secure" : "");
}

}  // namespace trvgw
