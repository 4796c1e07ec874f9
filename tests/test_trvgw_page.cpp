// What the support page and the system service need from the daemon: the
// page's files at / (and nothing beside them), the sign-in that turns a token
// into a session cookie that the event stream accepts, and sd_notify
// readiness, watchdog and stopping.
#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <nlohmann/json.hpp>

#include "trvgw_harness.h"

using nlohmann::json;
using namespace trvgw::test;
using namespace std::chrono_literals;

namespace {

const std::string kGw = TRVGW_PATH;
const std::string kSim = TRVSIM_PATH;

std::string hashOf(const std::string& token) {
    Proc p({kGw, "--hash-token", token});
    return p.line();
}

struct Gw {
    std::string cfg = tempPath("page.json"), db = tempPath("page.db");
    std::unique_ptr<Daemon> d;
    explicit Gw(int simPort, std::vector<std::string> more = {}) {
        removeDb(db);
        writeFile(cfg, json{{"tokens",
                             {{{"name", "support"}, {"sha256", hashOf("s3cret")}, {"scopes", {"read", "operate"}}},
                              {{"name", "viewer"}, {"sha256", hashOf("v1ew")}, {"scopes", {"read"}}}}},
                            {"registers", {{{"id", "r1"}, {"url", "tcp://127.0.0.1:" + std::to_string(simPort)}}}}}
                           .dump());
        std::vector<std::string> a = {"--config", cfg, "--listen", "127.0.0.1:0", "--database", db};
        a.insert(a.end(), more.begin(), more.end());
        d = std::make_unique<Daemon>(kGw, a);
    }
    ~Gw() {
        d.reset();
        std::remove(cfg.c_str());
        removeDb(db);
    }
};

}  // namespace

// The page's files, with a policy that keeps injected text from running;
// nothing outside the folder, no hidden or unknown kinds of file.
TEST(TrvgwPage, StaticFilesOnly) {
    Sim sim(kSim);
    Gw gw(sim.port);
    httplib::Client c("127.0.0.1", gw.d->port);
    auto index = c.Get("/");
    ASSERT_TRUE(index);
    EXPECT_EQ(index->status, 200);
    EXPECT_EQ(index->get_header_value("Content-Type"), "text/html; charset=utf-8");
    EXPECT_NE(index->body.find("<script src=\"app.js\""), std::string::npos);
    EXPECT_NE(index->get_header_value("Content-Security-Policy").find("script-src 'self'"), std::string::npos);
    EXPECT_EQ(index->get_header_value("X-Content-Type-Options"), "nosniff");
    auto js = c.Get("/app.js");
    ASSERT_TRUE(js);
    EXPECT_EQ(js->status, 200);
    EXPECT_EQ(js->get_header_value("Content-Type"), "text/javascript; charset=utf-8");
    auto lang = c.Get("/lang/tarvik_pl.lng");
    ASSERT_TRUE(lang);
    EXPECT_EQ(lang->status, 200);
    EXPECT_NE(lang->body.find("Sukces"), std::string::npos);
    for (const char* bad : {"/..%2ftrvgw.json", "/%2e%2e/CMakeLists.txt", "/.stamp", "/nothere.js", "/lang/../app.js",
                            "/lang/tarvik_pl.txt", "/tarvik_en.lng", "/www/index.html", "/index.html%00.js"}) {
        auto r = c.Get(bad);
        ASSERT_TRUE(r) << bad << " " << httplib::to_string(r.error());
        EXPECT_TRUE(r->status == 404 || r->status == 400) << bad << " " << r->status;
    }
    // The API is untouched beside it.
    auto health = c.Get("/v1/health");
    ASSERT_TRUE(health);
    EXPECT_EQ(health->status, 200);
}

// Sign-in: a token becomes an HttpOnly, SameSite=Strict cookie that works in
// its place, the event stream included; with its scopes, not more; refused
// from another site's page; gone after sign-out.
TEST(TrvgwPage, SessionCookie) {
    Sim sim(kSim);
    Gw gw(sim.port);
    httplib::Client c("127.0.0.1", gw.d->port);
    const httplib::Headers none;
    auto who = c.Get("/v1/session");
    ASSERT_TRUE(who);
    EXPECT_EQ(who->status, 200);
    EXPECT_EQ(json::parse(who->body)["signed_in"], false);
    EXPECT_EQ(c.Post("/v1/session", R"({"token":"wrong"})", "application/json")->status, 401);
    EXPECT_EQ(c.Post("/v1/session", R"({"token":"s3cret","x":1})", "application/json")->status, 422);

    auto in = c.Post("/v1/session", R"({"token":"s3cret"})", "application/json");
    ASSERT_EQ(in->status, 200) << in->body;
    EXPECT_EQ(json::parse(in->body)["scopes"], json({"read", "operate"}));
    const std::string set = in->get_header_value("Set-Cookie");
    EXPECT_NE(set.find("HttpOnly"), std::string::npos);
    EXPECT_NE(set.find("SameSite=Strict"), std::string::npos);
    EXPECT_NE(set.find("Path=/"), std::string::npos);
    const std::string cookie = set.substr(0, set.find(';'));
    const httplib::Headers withCookie = {{"Cookie", "other=1; " + cookie}};

    EXPECT_EQ(c.Get("/v1/registers", none)->status, 401);
    EXPECT_EQ(c.Get("/v1/registers", withCookie)->status, 200);
    auto me = c.Get("/v1/session", withCookie);
    EXPECT_EQ(json::parse(me->body)["name"], "support");
    // The event stream takes the cookie (a browser's EventSource sends no header).
    {
        httplib::Client sc("127.0.0.1", gw.d->port);
        sc.set_read_timeout(2, 0);
        int status = 0;
        std::string got;
        sc.Get("/v1/events", withCookie, [&](const httplib::Response& r) { status = r.status; return true; },
               [&](const char* d, size_t n) { got.append(d, n); return got.find("retry:") == std::string::npos; });
        EXPECT_EQ(status, 200);
        EXPECT_NE(got.find("retry:"), std::string::npos);
    }
    // Another site's page cannot use it; the page's own origin can.
    httplib::Headers crossSite = withCookie;
    crossSite.emplace("Origin", "http://evil.example");
    EXPECT_EQ(c.Get("/v1/registers", crossSite)->status, 403);
    httplib::Headers fetchCross = withCookie;
    fetchCross.emplace("Sec-Fetch-Site", "cross-site");
    EXPECT_EQ(c.Get("/v1/registers", fetchCross)->status, 403);
    httplib::Headers sameSite = withCookie;
    sameSite.emplace("Origin", "http://127.0.0.1:" + std::to_string(gw.d->port));
    EXPECT_EQ(c.Get("/v1/registers", sameSite)->status, 200);
    // A forged or partial cookie is nobody (the forged one differs from the
    // real one in its last character, whatever that was).
    std::string forged = cookie;
    forged.back() = forged.back() == '0' ? '1' : '0';
    EXPECT_EQ(c.Get("/v1/registers", {{"Cookie", forged}})->status, 401);
    EXPECT_EQ(c.Get("/v1/registers", {{"Cookie", "trvgw_session="}})->status, 401);

    // A read-only sign-in reads, but cannot write.
    auto viewer = c.Post("/v1/session", R"({"token":"v1ew"})", "application/json");
    const std::string vset = viewer->get_header_value("Set-Cookie");
    const httplib::Headers vCookie = {{"Cookie", vset.substr(0, vset.find(';'))}, {"Idempotency-Key", "v-1"}};
    EXPECT_EQ(json::parse(c.Get("/v1/session", vCookie)->body)["scopes"], json({"read"}));
    EXPECT_EQ(c.Post("/v1/registers/r1/reports/RepPTU", vCookie, "{}", "application/json")->status, 403);

    // Signed out: the cookie is cleared and worth nothing any more.
    auto out = c.Delete("/v1/session", withCookie);
    EXPECT_EQ(out->status, 204);
    EXPECT_NE(out->get_header_value("Set-Cookie").find("Max-Age=0"), std::string::npos);
    EXPECT_EQ(c.Get("/v1/registers", withCookie)->status, 401);
    EXPECT_EQ(json::parse(c.Get("/v1/session", withCookie)->body)["signed_in"], false);
}

// Under systemd: READY=1 once it listens, WATCHDOG=1 at half the watchdog
// period while it is healthy, STOPPING=1 on SIGTERM.
TEST(TrvgwPage, NotifiesSystemd) {
#ifndef TRVGW_TEST_SYSTEMD
    GTEST_SKIP() << "built without libsystemd";
#endif
    const std::string path = tempPath("notify.sock");
    std::remove(path.c_str());
    const int s = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path.c_str());
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    setenv("NOTIFY_SOCKET", path.c_str(), 1);
    setenv("WATCHDOG_USEC", "400000", 1);
    Sim sim(kSim);
    auto gw = std::make_unique<Gw>(sim.port);
    unsetenv("NOTIFY_SOCKET");
    unsetenv("WATCHDOG_USEC");
    std::string all;
    int watchdogs = 0;
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (watchdogs < 3 && std::chrono::steady_clock::now() < end) {
        pollfd p{s, POLLIN, 0};
        if (poll(&p, 1, 500) <= 0) continue;
        char b[512];
        const ssize_t n = recv(s, b, sizeof b, 0);
        if (n <= 0) continue;
        const std::string m(b, static_cast<size_t>(n));
        all += m + "|";
        if (m.find("WATCHDOG=1") != std::string::npos) ++watchdogs;
    }
    EXPECT_EQ(all.rfind("READY=1", 0), 0u) << all;
    EXPECT_GE(watchdogs, 3) << all;
    EXPECT_NE(all.find("registers online"), std::string::npos) << all;
    gw->d->proc.signal(SIGTERM);
    EXPECT_EQ(gw->d->proc.wait(), 0);
    char b[512];
    std::string rest;
    for (ssize_t n; (n = recv(s, b, sizeof b, MSG_DONTWAIT)) > 0;) rest.append(b, static_cast<size_t>(n)).append("|");
    EXPECT_NE(rest.find("STOPPING=1"), std::string::npos) << rest;
    close(s);
    std::remove(path.c_str());
}
