// Sign-in sessions for the support page. A browser's event stream cannot
// send an Authorization header, so the page trades its token once for a
// session cookie (HttpOnly: no script reads it; SameSite=Strict: no other
// site's page sends it). Sessions live in memory: a restart signs everyone
// out, which costs a sign-in and keeps no secret on disk.
#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "config.h"
#include "http.h"

namespace trvgw {

class Sessions {
public:
    static constexpr const char* kCookie = "trvgw_session";

    explicit Sessions(std::chrono::seconds lifetime = std::chrono::hours(12), size_t max = 1000)
        : lifetime_(lifetime), max_(max) {}

    // A new session with the token's name and scopes; its cookie value.
    std::string create(const Token& who);
    // The session named by the request's cookie, when it is alive.
    std::optional<Token> find(const http::Request& req);
    void remove(const http::Request& req);

    // The Set-Cookie values that set and clear the cookie.
    static std::string setCookie(const std::string& value, bool secure, std::chrono::seconds lifetime);
    static std::string clearCookie(bool secure);
    std::chrono::seconds lifetime() const { return lifetime_; }

    // The cookie's value in a request, or "".
    static std::string cookieValue(const http::Request& req);

private:
    struct Entry {
        Token who;
        std::chrono::steady_clock::time_point expires;
    };
    std::chrono::seconds lifetime_;
    size_t max_;
    std::mutex mutex_;
    std::map<std::string, Entry> byHash_;  // sha256 of the cookie value; guarded by mutex_
};

}  // namespace trvgw
