// bench_trvgw: jobs per second and latency of `POST job` with `Prefer: wait`
// through the gateway, across 1, 10 and 100 registers (trvsim processes on
// loopback), beside a floor taken in the same run: the same requests through
// libmirtel directly, one thread per register. Also the gateway's resident
// memory per register and per open connection. Not a test: it asserts
// nothing.
//
//   bench_trvgw [--seconds S] [--registers 1,10,100]
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tarvik/mirtel.h"
#include "tarvik/tarvik.h"
#include "trvgw_harness.h"

using namespace trvgw::test;
using Clock = std::chrono::steady_clock;

namespace {

struct Result {
    double perSecond = 0, p50 = 0, p99 = 0;
    size_t done = 0, failed = 0;
};

Result summarise(std::vector<double>& lat, size_t failed, double seconds) {
    Result r;
    r.done = lat.size();
    r.failed = failed;
    r.perSecond = static_cast<double>(lat.size()) / seconds;
    if (!lat.empty()) {
        std::sort(lat.begin(), lat.end());
        r.p50 = lat[lat.size() / 2];
        r.p99 = lat[std::min(lat.size() - 1, lat.size() * 99 / 100)];
    }
    return r;
}

// The job: a whole article written (TRVS_PLUIns), numbered by the worker.
const char* kName = "BENCH ARTICLE";

// The floor: the same writes through libmirtel, a thread per register.
Result direct(const std::vector<int>& ports, double seconds) {
    std::mutex m;
    std::vector<double> lat;
    std::atomic<size_t> failed{0};
    std::vector<std::thread> ts;
    std::atomic<bool> go{false};
    for (size_t i = 0; i < ports.size(); ++i)
        ts.emplace_back([&, i] {
            TARVIK_HANDLE dev = TRV_CreateDeviceHandle(TARVIK_DEVICE_ETHER);
            std::string host = "127.0.0.1", port = std::to_string(ports[i]);
            TRV_SetDeviceParam(dev, TARVIK_PARAM_IPADDRESS, host.data());
            TRV_SetDeviceParam(dev, TARVIK_PARAM_IPPORT, port.data());
            TARVIK_HANDLE view = TRV_OpenDevice(dev);
            std::vector<double> mine;
            while (!go) std::this_thread::yield();
            const auto end = Clock::now() + std::chrono::duration<double>(seconds);
            unsigned n = 0;
            while (view && Clock::now() < end) {
                const auto t0 = Clock::now();
                TARVIK_HANDLE req = nullptr;
                TARVIK_STATUS st = TRVS_PLUIns(view, &req, static_cast<unsigned short>(100 + (n++ % 50)), kName, "", "250",
                                               "0", 0, 1, 0, 1, 1, 0, 0, 0, 0, 1, 0, 0);
                if (!st) st = TRV_WaitForRequestCompleted(req, 30000);
                if (!st) st = TRV_GetRequestStatus(req);
                if (req) TRV_DestroyRequest(req);
                if (st) ++failed;
                else mine.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
            }
            if (view) TRV_CloseDevice(view);
            TRV_DestroyDeviceHandle(dev);
            std::lock_guard<std::mutex> l(m);
            lat.insert(lat.end(), mine.begin(), mine.end());
        });
    go = true;
    for (auto& t : ts) t.join();
    return summarise(lat, failed, seconds);
}

long rssKb(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return 0;
}

struct GatewayRun {
    Result r;
    long rssIdleKb = 0, rssLoadedKb = 0;
    double perStreamKb = 0;
    uint64_t jobs = 0;
};

GatewayRun throughGateway(const std::string& gw, const std::vector<int>& ports, double seconds, int run) {
    GatewayRun out;
    const std::string cfg = tempPath("bench" + std::to_string(run) + ".json");
    const std::string db = tempPath("bench" + std::to_string(run) + ".db");
    removeDb(db);
    std::string c = "{\"http\": {\"threads\": " + std::to_string(std::max<size_t>(64, ports.size() * 2 + 80)) +
                    ", \"max_streams\": 60}, \"registers\": [";
    for (size_t i = 0; i < ports.size(); ++i)
        c += (i ? "," : "") + std::string("{\"id\": \"r") + std::to_string(i) + "\", \"url\": \"tcp://127.0.0.1:" +
             std::to_string(ports[i]) + "\"}";
    c += "]}";
    writeFile(cfg, c);
    Daemon d(gw, {"--config", cfg, "--listen", "127.0.0.1:0", "--database", db});
    // Wait until every register is online.
    {
        httplib::Client cl("127.0.0.1", d.port);
        for (int i = 0; i < 400; ++i) {
            auto h = cl.Get("/v1/health");
            if (h && h->body.find("\"online\":" + std::to_string(ports.size()) + ",") != std::string::npos) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    out.rssIdleKb = rssKb(d.proc.pid());
    std::mutex m;
    std::vector<double> lat;
    std::atomic<size_t> failed{0};
    std::vector<std::thread> ts;
    std::atomic<bool> go{false};
    for (size_t i = 0; i < ports.size(); ++i)
        ts.emplace_back([&, i] {
            httplib::Client cl("127.0.0.1", d.port);
            cl.set_keep_alive(true);
            cl.set_tcp_nodelay(true);  // else Nagle and delayed acks add 40 ms to every job
            cl.set_read_timeout(60, 0);
            std::vector<double> mine;
            std::ostringstream body;
            body << "{\"nazwa\":\"" << kName << "\",\"barcode\":\"\",\"cena\":\"250\",\"ilosc_min\":\"0\","
                 << "\"numer_opakowania\":0,\"numer_MU\":1,\"numer_rabatu\":0,\"numer_grupy\":1,\"numer_VAT\":1,"
                 << "\"format_ilosci\":0,\"cena_sztywna\":0,\"czy_rabat\":0,\"czy_notatnik\":0}";
            const std::string b = body.str();
            while (!go) std::this_thread::yield();
            const auto end = Clock::now() + std::chrono::duration<double>(seconds);
            unsigned n = 0;
            while (Clock::now() < end) {
                const auto t0 = Clock::now();
                const std::string key = "b" + std::to_string(run) + "-" + std::to_string(i) + "-" + std::to_string(n);
                const std::string path = "/v1/registers/r" + std::to_string(i) + "/articles/" + std::to_string(100 + (n++ % 50));
                auto r = cl.Put(path.c_str(), {{"Idempotency-Key", key}, {"Prefer", "wait=30"}}, b, "application/json");
                if (!r || r->status != 201 || r->body.find("\"state\":\"succeeded\"") == std::string::npos) ++failed;
                else mine.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
            }
            std::lock_guard<std::mutex> l(m);
            lat.insert(lat.end(), mine.begin(), mine.end());
        });
    go = true;
    for (auto& t : ts) t.join();
    out.r = summarise(lat, failed, seconds);
    out.rssLoadedKb = rssKb(d.proc.pid());

    // Memory per open connection: event streams, each holding its connection.
    const long before = rssKb(d.proc.pid());
    const int streams = 50;
    std::atomic<bool> stop{false};
    std::vector<std::thread> ss;
    for (int i = 0; i < streams; ++i)
        ss.emplace_back([&] {
            httplib::Client cl("127.0.0.1", d.port);
            cl.set_read_timeout(30, 0);
            cl.Get("/v1/events", [&](const char*, size_t) { return !stop.load(); });
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    out.perStreamKb = static_cast<double>(rssKb(d.proc.pid()) - before) / streams;
    stop = true;
    // Streams notice at their next event or keep-alive: make one.
    httplib::Client poke("127.0.0.1", d.port);
    poke.Put("/v1/registers/r0/articles/99", {{"Idempotency-Key", "poke" + std::to_string(run)}}, "{}", "application/json");
    d.proc.stop(SIGTERM);
    for (auto& t : ss) t.join();
    std::remove(cfg.c_str());
    removeDb(db);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 5;
    std::vector<size_t> counts = {1, 10, 100};
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--seconds" && i + 1 < argc) {
            seconds = std::atof(argv[++i]);
        } else if (a == "--registers" && i + 1 < argc) {
            counts.clear();
            std::stringstream s(argv[++i]);
            std::string n;
            while (std::getline(s, n, ',')) counts.push_back(std::stoul(n));
        } else {
            std::fprintf(stderr, "usage: bench_trvgw [--seconds S] [--registers 1,10,100]\n");
            return 2;
        }
    }
    signal(SIGPIPE, SIG_IGN);
    std::printf("POST job (a whole article, PUT with Prefer: wait=30), closed loop, one client per register, %.0f s each\n",
                seconds);
    std::printf("%-9s | %-29s | %-29s | %-6s | %s\n", "registers", "direct libmirtel (floor)", "trvgw, durable journal",
                "ratio", "memory");
    std::printf("%-9s | %9s %9s %9s | %9s %9s %9s | %-6s |\n", "", "jobs/s", "p50 ms", "p99 ms", "jobs/s", "p50 ms",
                "p99 ms", "");
    int run = 0;
    std::vector<std::pair<size_t, long>> idle;  // registers, idle resident memory
    for (size_t n : counts) {
        std::vector<std::unique_ptr<Sim>> sims;
        std::vector<int> ports;
        for (size_t i = 0; i < n; ++i) {
            sims.push_back(std::make_unique<Sim>(TRVSIM_PATH, std::vector<std::string>{"--busy-ms", "0"}));
            ports.push_back(sims.back()->port);
        }
        const Result floor = direct(ports, seconds);
        const GatewayRun g = throughGateway(TRVGW_PATH, ports, seconds, run++);
        std::printf("%-9zu | %9.0f %9.2f %9.2f | %9.0f %9.2f %9.2f | %5.2f  | idle %ld KB, loaded %ld KB, %.0f KB/stream"
                    "%s\n",
                    n, floor.perSecond, floor.p50, floor.p99, g.r.perSecond, g.r.p50, g.r.p99,
                    floor.perSecond > 0 ? g.r.perSecond / floor.perSecond : 0, g.rssIdleKb, g.rssLoadedKb, g.perStreamKb,
                    (floor.failed || g.r.failed)
                        ? (" (failed: direct " + std::to_string(floor.failed) + ", gateway " + std::to_string(g.r.failed) + ")").c_str()
                        : "");
        std::fflush(stdout);
        idle.emplace_back(n, g.rssIdleKb);
    }
    // Memory per register: the slope of the idle gateway's resident memory
    // between the fewest and the most registers (a device, its two threads,
    // a view and the register's own thread each).
    if (idle.size() >= 2 && idle.back().first > idle.front().first)
        std::printf("memory per register (idle, %zu -> %zu registers): %.0f KB\n", idle.front().first,
                    idle.back().first,
                    static_cast<double>(idle.back().second - idle.front().second) /
                        static_cast<double>(idle.back().first - idle.front().first));
    return 0;
}
