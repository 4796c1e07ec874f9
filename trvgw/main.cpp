// trvgw: the HTTP/JSON gateway for tarvik registers. See --help.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <thread>

#include "api.h"
#include "charset.h"
#include "config.h"
#include "gateway.h"
#include "service.h"
#include "session.h"
#include "http.h"
#include "sim.h"
#include "static_files.h"
#include "store.h"

namespace {

const char kUsage[] =
    "Usage: trvgw --config FILE            serve the registers of FILE\n"
    "       trvgw --sim [N]                serve N simulated registers sim1..simN (default 1)\n"
    "       trvgw --check-config FILE      check FILE and say what it configures\n"
    "       trvgw --hash-token TOKEN       the sha256 to put in the configuration for TOKEN\n"
    "Options:\n"
    "  --listen HOST:PORT   where to listen (port 0 picks a free one); default 127.0.0.1:8080,\n"
    "                       with --sim 127.0.0.1:0; overrides the configuration's listen\n"
    "  --token T            (with --sim) require this bearer token, with every scope\n"
    "  --database FILE      the job database (default: the configuration's, with --sim a\n"
    "                       new temporary file)\n"
    "  --sim-option OPT     (with --sim) pass OPT to every trvsim (repeatable; \"--busy-ms 10\")\n"
    "  --drain-timeout S    on SIGTERM, how long jobs in flight may take (default 30)\n"
    "  --www DIR            serve the support page from DIR at / (default: the installed\n"
    "                       page, PREFIX/share/trvgw/www); --www none serves the API alone\n"
    "The first line printed is \"listening on http://HOST:PORT\". SIGTERM or SIGINT drains:\n"
    "no new jobs, jobs in flight finish within the time-out, registers close.\n";

int usage(const std::string& msg) {
    std::fprintf(stderr, "trvgw: %s\nTry 'trvgw --help'.\n", msg.c_str());
    return 2;
}

std::string urlHost(const std::string& h) { return h.find(':') != std::string::npos ? "[" + h + "]" : h; }

// Status texts come from the language files: beside the executable in the
// build tree, else the installed ones.
void findLanguageFiles() {
    const char* env = std::getenv("TARVIK_LIB_SHARE_DIR");
    if (env && *env) return;
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return;
    for (const auto& dir : {exe.parent_path() / "lang", exe.parent_path().parent_path() / "lang",
                            exe.parent_path().parent_path() / "share" / "tarvik"})
        if (std::filesystem::exists(dir / "tarvik_en.lng", ec)) {
            setenv("TARVIK_LIB_SHARE_DIR", dir.c_str(), 1);
            return;
        }
}

}  // namespace

int main(int argc, char** argv) {
    using namespace trvgw;
    std::string configPath, checkPath, listen, token, database, www;
    int simCount = 0;
    bool sim = false;
    long drain = -1;
    std::vector<std::string> simOptions;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        std::string v;
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--sim") {
            sim = true;
            simCount = 1;
            if (i + 1 < argc && argv[i + 1][0] != '-') {
                simCount = std::atoi(argv[++i]);
                if (simCount < 1 || simCount > 1000) return usage("--sim takes 1 to 1000 registers");
            }
        } else if (a == "--config") {
            if (!value(configPath)) return usage("--config needs a file");
        } else if (a == "--check-config") {
            if (!value(checkPath)) return usage("--check-config needs a file");
        } else if (a == "--listen") {
            if (!value(listen)) return usage("--listen needs HOST:PORT");
        } else if (a == "--token") {
            if (!value(token) || token.empty()) return usage("--token needs a token");
        } else if (a == "--database") {
            if (!value(database)) return usage("--database needs a file");
        } else if (a == "--sim-option") {
            if (!value(v)) return usage("--sim-option needs an option");
            for (size_t p = 0; p < v.size();) {
                size_t s = v.find(' ', p);
                if (s == std::string::npos) s = v.size();
                if (s > p) simOptions.push_back(v.substr(p, s - p));
                p = s + 1;
            }
        } else if (a == "--drain-timeout") {
            if (!value(v)) return usage("--drain-timeout needs seconds");
            drain = std::atol(v.c_str());
        } else if (a == "--www") {
            if (!value(www) || www.empty()) return usage("--www needs a folder");
        } else if (a == "--hash-token") {
            if (!value(v)) return usage("--hash-token needs a token");
            std::printf("%s\n", sha256Hex(v).c_str());
            return 0;
        } else {
            return usage("unknown option " + a);
        }
    }
    if (!checkPath.empty()) {
        try {
            Config c = loadConfig(checkPath);
            std::printf("%s: fine\n", checkPath.c_str());
            std::printf("  listen %s:%d%s%s\n", c.listen.host.c_str(), c.listen.port,
                        c.listen.tlsCert.empty() ? "" : " (TLS)", c.listen.tlsClientCa.empty() ? "" : " (client certificates)");
            if (!c.listen.unixPath.empty()) std::printf("  unix socket %s (mode %04o)\n", c.listen.unixPath.c_str(), c.listen.unixMode);
            std::printf("  database %s\n  %zu token(s)\n", c.database.c_str(), c.tokens.size());
            for (const RegisterConfig& r : c.registers)
                std::printf("  register %s: %s, %s, answers within %u ms (reports %u ms)%s%s\n", r.id.c_str(),
                            r.conn.url.c_str(), r.charset.c_str(), r.answerMs, r.printMs,
                            r.collectJournal ? ", journal collected" : "",
                            r.journalDelete ? " and cleared on the register" : "");
            return 0;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "trvgw: %s\n", e.what());
            return 1;
        }
    }
    if (sim == !configPath.empty()) return usage("give either --config FILE or --sim [N]");
    if (!token.empty() && !sim) return usage("--token is for --sim; tokens of a configuration are in its file");

    // Every thread started from here on leaves these signals to the one that waits for them.
    sigset_t sigs;
    sigemptyset(&sigs);
    sigaddset(&sigs, SIGINT);
    sigaddset(&sigs, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &sigs, nullptr);
    signal(SIGPIPE, SIG_IGN);
    findLanguageFiles();

    Config cfg;
    std::unique_ptr<SimFleet> fleet;
    std::string tempDb;
    try {
        if (sim) {
            cfg.listen.port = 0;
            fleet = std::make_unique<SimFleet>(simCount, simOptions);
            for (int i = 0; i < simCount; ++i) {
                RegisterConfig r;
                r.id = "sim" + std::to_string(i + 1);
                r.conn = parseConnection("tcp://127.0.0.1:" + std::to_string(fleet->ports()[i]));
                r.charset = chooseCharset("");
                cfg.registers.push_back(r);
            }
            if (!token.empty()) cfg.tokens.push_back({"token", sha256Hex(token), kRead | kOperate | kFiscal});
            if (database.empty()) {
                char tmpl[] = "/tmp/trvgw-sim-XXXXXX";
                const int fd = mkstemp(tmpl);
                if (fd < 0) throw std::runtime_error("cannot make a temporary database");
                ::close(fd);
                tempDb = database = tmpl;
            }
        } else {
            cfg = loadConfig(configPath);
            if (listen.empty() && cfg.listen.port == 0 && cfg.listen.unixPath.empty()) cfg.listen.port = 8080;
        }
        if (!listen.empty()) parseListen(listen, cfg.listen);
        if (!database.empty()) cfg.database = database;
        if (drain >= 0) cfg.drainTimeoutS = static_cast<uint32_t>(drain);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "trvgw: %s\n", e.what());
        return 1;
    }

    try {
        Store store(cfg.database);
        Gateway gw(cfg, store);
        gw.start();
        http::Router router;
        ApiOptions opt;
        opt.tokens = cfg.tokens;
        Sessions sessions;
        opt.sessions = &sessions;
        addRoutes(router, gw, opt);
        if (www != "none") {
            const std::string dir = findWwwDir(www);
            if (dir.empty() && !www.empty()) throw std::runtime_error("no folder " + www);
            const char* lang = std::getenv("TARVIK_LIB_SHARE_DIR");
            if (!dir.empty()) addStaticRoutes(router, dir, lang ? lang : "");
        }
        auto refuse = [](int status, const std::string& detail, http::Response& r) {
            problem(r, status, status == 413 ? "too-large" : status == 404 ? "not-found" : "refused",
                    status == 413 ? "Request too large" : status == 404 ? "Not found" : "Refused", detail);
        };
        std::vector<std::unique_ptr<http::Server>> servers;
        std::string err;
        http::Listen tcp = cfg.listen;
        tcp.unixPath.clear();
        auto s = http::makeServer(tcp, cfg.limits, router, refuse, err);
        if (!s || !s->bind(err)) throw std::runtime_error(err);
        const std::string scheme = cfg.listen.tlsCert.empty() ? "http" : "https";
        std::printf("listening on %s://%s:%d\n", scheme.c_str(), urlHost(cfg.listen.host).c_str(), s->port());
        servers.push_back(std::move(s));
        if (!cfg.listen.unixPath.empty()) {
            http::Listen ux;
            ux.unixPath = cfg.listen.unixPath;
            ux.unixMode = cfg.listen.unixMode;
            auto u = http::makeServer(ux, cfg.limits, router, refuse, err);
            if (!u || !u->bind(err)) throw std::runtime_error(err);
            std::printf("listening on unix:%s\n", ux.unixPath.c_str());
            servers.push_back(std::move(u));
        }
        for (size_t i = 0; i < cfg.registers.size(); ++i)
            std::printf("register %s at %s\n", cfg.registers[i].id.c_str(), cfg.registers[i].conn.url.c_str());
        std::fflush(stdout);

        std::vector<std::thread> runners;
        for (auto& srv : servers) runners.emplace_back([&srv] { srv->run(); });
        ServiceNotifier service;
        auto online = [&gw] {
            size_t n = 0;
            for (auto& r : gw.registers()) n += r->statusJson()["state"] == "online";
            return std::to_string(n) + " of " + std::to_string(gw.registers().size()) + " registers online";
        };
        service.ready(online());
        // Alive: the registers' and the events' locks can be taken and the
        // store commits.
        service.watch([&gw, &online] { return !online().empty() && gw.lastEvent() >= 0 && gw.store().submit([](Db&) {})->wait(); },
                      online);
        int sig = 0;
        sigwait(&sigs, &sig);
        service.stopping();
        std::fprintf(stderr, "trvgw: %s: draining\n", sig == SIGTERM ? "SIGTERM" : "SIGINT");
        gw.drain();
        gw.wakeStreams();
        for (auto& srv : servers) srv->stop();
        for (auto& t : runners) t.join();
        gw.stop();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "trvgw: %s\n", e.what());
        if (!tempDb.empty()) std::filesystem::remove(tempDb);
        return 1;
    }
    if (!tempDb.empty()) {
        std::error_code ec;
        for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(tempDb + suffix, ec);
    }
    std::fprintf(stderr, "trvgw: stopped\n");
    return 0;
}
