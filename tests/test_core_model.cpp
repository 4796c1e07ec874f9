// The randomized check of the device core. Several application threads work
// one TCP device against a fake register on loopback, each doing a random
// mix of posts in every mode, posts of a request again, cancels, destroys,
// repeats, waits, views closed and reopened, long commands that keep the
// register busy; the register answers at once or late, acknowledged or not,
// asks for frames again, damages answers, stays silent and drops the
// connection. Afterwards what the register received is held against what the
// application did:
//   - every frame belongs to one post of its request, or to a repeat the
//     application asked for, a retry the register asked for, or a replay
//     of a damaged answer; the library's own frames are status polls and
//     stops, and no two polls are ever unanswered at once on a connection;
//   - every request ends completed (with its own answer), in error with a
//     status, or deleted by the rule of its post mode, and stays so;
//   - a request cancelled as "not done" never reached the register, and one
//     whose frame went out on a connection dropped before its answer ends
//     with the outcome-unknown status;
//   - no wait sleeps past its time-out, and no destroyed handle is ever
//     answered as a live one.
// Every choice comes from the seed (printed with each failure), so a run can
// be replayed; the thread schedule still varies. TARVIK_MODEL_SEED picks the
// first seed, TARVIK_MODEL_SEEDS how many, TARVIK_MODEL_MS how long each runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "fake_register.h"

using namespace trv;
using namespace trv::test;

namespace {

using Clock = std::chrono::steady_clock;

unsigned envOr(const char* name, unsigned dflt) {
    const char* v = std::getenv(name);
    return v && *v ? static_cast<unsigned>(std::strtoul(v, nullptr, 10)) : dflt;
}

long msSince(Clock::time_point t) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

bool finished(uint32_t s) { return s == TARVIK_STATE_COMPLETED || s == TARVIK_STATE_ERROR; }

constexpr uint32_t kDead = TARVIK_STATUS_NULLHANDLE;  // what a state read of a dead handle gives
constexpr uint16_t kEmptyAnswer = 15;                 // the register answers it with no values
constexpr uint16_t kLong = 1101;

// What the register did, per token.
struct RegisterLog {
    std::mutex m;
    std::map<uint32_t, int> retries, damaged;
    Clock::time_point busyUntil{};
};

// What the application did with one request, and how it ended.
struct RequestLog {
    uint32_t token = 0;
    uint16_t cmd = 0;
    int posts = 0, repeats = 0;
    uint8_t mode = 0;                // of the last accepted post
    Clock::time_point lastPost{};    // when the last accepted post was made
    bool earlierUnsettled = false;   // an earlier post ended with its frame possibly still on the way
    bool final = false;              // followed to its end (not destroyed half-way, not deleted)
    uint32_t state = 0;
    TARVIK_STATUS status = 0;
};

struct Run {
    unsigned seed;
    std::mutex m;
    std::vector<std::string> faults;
    std::map<uint32_t, RequestLog> requests;
    void fault(const std::string& what) {
        std::lock_guard<std::mutex> lk(m);
        if (faults.size() < 40) faults.push_back(what);
    }
};

FakeRegister::Reply policy(const DecodedFrame& f, RegisterLog& log, std::mt19937& rng) {
    FakeRegister::Reply r;
    std::lock_guard<std::mutex> lk(log.m);
    const auto now = Clock::now();
    r.ack = rng() % 2;
    if (f.cmd == 8) {  // polls are answered, a little late at times
        r.values = FakeRegister::busyValues(now < log.busyUntil);
        r.delayMs = static_cast<int>(rng() % 4);
        return r;
    }
    if (f.cmd == 10) {  // a stop ends the running command's busy time
        log.busyUntil = now;
        return r;
    }
    r.values = {L(f.token)};
    if (f.cmd == kEmptyAnswer) r.values.clear();
    const unsigned roll = rng() % 1000;
    if (f.cmd == kLong) {
        const int ms = 40 + static_cast<int>(rng() % 200);
        log.busyUntil = now + std::chrono::milliseconds(ms);
        r.delayMs = ms;
    } else if (roll < 30 && log.retries[f.token] < 3) {
        ++log.retries[f.token];
        r.what = FakeRegister::Reply::Error;
        r.trans = 3006;  // send it again
    } else if (roll < 60 && log.damaged[f.token] < 2) {
        ++log.damaged[f.token];
        r.what = FakeRegister::Reply::Damaged;
    } else if (roll < 65) {
        r.what = FakeRegister::Reply::Nothing;
    } else if (roll < 80) {
        r.what = FakeRegister::Reply::Drop;
    } else if (roll < 90) {
        r.dropAfter = true;
    } else if (roll < 500) {
        r.delayMs = static_cast<int>(rng() % 12);
    }
    return r;
}

// One application thread.
class App {
public:
    App(Run& run, TARVIK_HANDLE device, unsigned seed, Clock::time_point end)
        : run_(run), device_(device), rng_(seed), end_(end) {
        view_ = TRV_OpenDevice(device_);
    }

    void operator()() {
        if (!view_) {
            run_.fault("a view could not be opened");
            return;
        }
        while (Clock::now() < end_) step();
        const auto deadline = Clock::now() + std::chrono::milliseconds(1500);
        for (auto& o : mine_) settle(o, deadline);
        for (auto& o : mine_) finish(o);
        TRV_CloseDevice(view_);
        std::lock_guard<std::mutex> lk(run_.m);
        for (auto& o : mine_) run_.requests[o.log.token] = o.log;
        for (auto& l : gone_) run_.requests[l.token] = l;
    }

private:
    struct Own {
        TARVIK_HANDLE h;
        RequestLog log;
        bool libraryMayDelete = false;  // posted in mode 2 or 3
        bool sawFinished = false;       // seen finished since its last post
    };

    std::string where(const Own& o) const {
        std::ostringstream s;
        s << "seed " << run_.seed << ", token " << o.log.token << ", cmd " << o.log.cmd << ": ";
        return s.str();
    }

    uint16_t pickCommand() {
        const unsigned c = rng_() % 100;
        if (c < 5) return kLong;
        if (c < 8) {
            static const uint16_t front[] = {9, 332, 333};
            return front[rng_() % 3];
        }
        if (c < 20) return kEmptyAnswer;
        return 14;
    }
    uint8_t pickMode() {
        const unsigned m = rng_() % 100;
        return m < 60 ? 0 : m < 70 ? 1 : m < 80 ? 2 : 3;
    }

    // A state read; dead handles are checked against what may delete them.
    uint32_t state(Own& o) {
        const uint32_t s = TRV_GetRequestState(o.h);
        if (s == kDead && !o.libraryMayDelete) run_.fault(where(o) + "deleted by the library, though its post mode keeps it");
        if (s != kDead && o.sawFinished && !finished(s)) run_.fault(where(o) + "finished, then alive again without a post");
        if (finished(s)) o.sawFinished = true;
        return s;
    }

    void post(Own& o, uint8_t mode) {
        // A request some frame of which may still be on its way when it is
        // posted again: a late frame may reach the register after this post.
        const uint32_t before = TRV_GetRequestState(o.h);
        const TARVIK_STATUS beforeStatus = TRV_GetRequestStatus(o.h);
        const auto at = Clock::now();
        const TARVIK_STATUS st = TRV_PostRequest(o.h, mode);
        if (st == 0) {
            if (o.log.posts && (before != TARVIK_STATE_COMPLETED || beforeStatus != 0)) o.log.earlierUnsettled = true;
            ++o.log.posts;
            o.log.mode = mode;
            o.log.lastPost = at;
            o.libraryMayDelete = o.libraryMayDelete || mode >= 2;
            o.sawFinished = false;
        } else if (st != TARVIK_STATUS_INUSE && st != kDead) {
            run_.fault(where(o) + "post returned " + std::to_string(st));
        } else if (st == TARVIK_STATUS_INUSE && !finished(TRV_GetRequestState(o.h))) {
            // An exclusive post refused while others are out leaves the
            // request pending, outside every queue: from here on it is a
            // post that never went out.
            o.sawFinished = false;
            if (finished(before)) {
                if (before != TARVIK_STATE_COMPLETED || beforeStatus != 0) o.log.earlierUnsettled = true;
                o.log.lastPost = at;
            }
        }
    }

    void step() {
        const unsigned op = rng_() % 100;
        if (op < 28 || mine_.empty()) {
            if (mine_.size() >= 10) return;
            Own o;
            o.log.cmd = pickCommand();
            o.h = TRV_CreateRequest(view_, o.log.cmd);
            if (!o.h) {
                run_.fault("create failed");
                return;
            }
            o.log.token = TRV_GetRequestCommandSerial(o.h);
            if (o.log.cmd == 14 && rng_() % 2) TRV_PushRequestParamWord(o.h, 7);
            post(o, pickMode());
            mine_.push_back(std::move(o));
            return;
        }
        Own& o = mine_[rng_() % mine_.size()];
        if (op < 36) {
            post(o, pickMode());
        } else if (op < 42) {
            const uint32_t s = state(o);
            const TARVIK_STATUS st = TRV_CancelRequest(o.h);
            if (st != 0 && st != TARVIK_STATUS_ALREADYCOMPLETED && !(st == kDead && o.libraryMayDelete))
                run_.fault(where(o) + "cancel returned " + std::to_string(st) + " in state " + std::to_string(s));
        } else if (op < 47) {
            destroy(o);
        } else if (op < 52) {
            if (TRV_RepeatRequest(o.h) == 0) ++o.log.repeats;
        } else if (op < 80) {
            static const uint32_t timeouts[] = {0, 10, 60, 120, 300};
            wait(o, timeouts[rng_() % 5]);
        } else if (op < 83) {
            // Close the view and open another: requests of the old one can
            // still be waited for and destroyed, not posted.
            if (TRV_CloseDevice(view_) != 0) run_.fault("closing a view failed");
            view_ = TRV_OpenDevice(device_);
            if (!view_) {
                run_.fault("reopening a view failed");
                view_ = TRV_OpenDevice(device_);
            }
        } else if (op < 92) {
            if (!dead_.empty()) {
                TARVIK_HANDLE h = dead_[rng_() % dead_.size()];
                if (TRV_GetRequestState(h) != kDead) run_.fault("a destroyed handle answers as a live request");
            }
        } else {
            state(o);
            TRV_GetResponseCount(view_);
        }
    }

    void wait(Own& o, uint32_t timeout) {
        const auto t0 = Clock::now();
        const TARVIK_STATUS st = TRV_WaitForRequestCompleted(o.h, timeout);
        const long ms = msSince(t0);
        // The wait ends by 50 ms steps, at the latest at max(50, timeout);
        // the rest is a generous allowance for a loaded machine.
        const long limit = static_cast<long>(std::max<uint32_t>(50, timeout)) + 1500;
        if (ms > limit) run_.fault(where(o) + "a wait of " + std::to_string(timeout) + " ms took " + std::to_string(ms));
        if (st == 0) {
            const uint32_t s = state(o);
            if (!finished(s) && !(s == kDead && o.libraryMayDelete))
                run_.fault(where(o) + "wait said finished, state " + std::to_string(s));
        } else if (st == kDead && !o.libraryMayDelete) {
            run_.fault(where(o) + "wait found it deleted");
        } else if (st != 0 && st != TARVIK_STATUS_TIMEOUT && st != kDead) {
            run_.fault(where(o) + "wait returned " + std::to_string(st));
        }
    }

    void destroy(Own& o) {
        const TARVIK_STATUS st = TRV_DestroyRequest(o.h);
        if (st != 0 && !(st == kDead && o.libraryMayDelete)) run_.fault(where(o) + "destroy returned " + std::to_string(st));
        dead_.push_back(o.h);
        gone_.push_back(o.log);  // not followed to its end
        o = std::move(mine_.back());
        mine_.pop_back();
    }

    // The end of a run: wait for what is still on its way; what the register
    // will never answer is cancelled.
    void settle(Own& o, Clock::time_point deadline) {
        const long left = std::max(0L, -msSince(deadline));
        if (TRV_WaitForRequestCompleted(o.h, static_cast<uint32_t>(left)) == TARVIK_STATUS_TIMEOUT) {
            const TARVIK_STATUS st = TRV_CancelRequest(o.h);
            if (st != 0 && st != TARVIK_STATUS_ALREADYCOMPLETED) run_.fault(where(o) + "final cancel returned " + std::to_string(st));
        }
    }

    void finish(Own& o) {
        const uint32_t s = TRV_GetRequestState(o.h);
        if (s == kDead) {
            if (!o.libraryMayDelete) run_.fault(where(o) + "deleted without a rule");
            dead_.push_back(o.h);
            return;
        }
        if (!finished(s)) {
            run_.fault(where(o) + "neither finished nor deleted at the end, state " + std::to_string(s));
        } else if (o.log.posts > 0) {
            o.log.final = true;
            o.log.state = s;
            o.log.status = TRV_GetRequestStatus(o.h);
            if ((s == TARVIK_STATE_COMPLETED) != (o.log.status == 0))
                run_.fault(where(o) + "state " + std::to_string(s) + " with status " + std::to_string(o.log.status));
            if (s == TARVIK_STATE_COMPLETED && o.log.cmd != kEmptyAnswer) {
                uint32_t v = 0;
                if (TRV_PopResponseValueLong(o.h, &v) != 0 || v != o.log.token)
                    run_.fault(where(o) + "completed with another request's answer " + std::to_string(v));
            }
        }
        TRV_DestroyRequest(o.h);
        if (TRV_GetRequestState(o.h) != kDead) run_.fault(where(o) + "live after its destroy");
    }

    Run& run_;
    TARVIK_HANDLE device_;
    TARVIK_HANDLE view_ = nullptr;
    std::mt19937 rng_;
    Clock::time_point end_;
    std::vector<Own> mine_;
    std::vector<RequestLog> gone_;
    std::vector<TARVIK_HANDLE> dead_;
};

// What the register received, held against what the application did.
void check(Run& run, FakeRegister& reg, RegisterLog& rlog) {
    const auto seen = reg.seen();
    const auto answered = reg.answered();
    const auto drops = reg.drops();
    const std::string at = "seed " + std::to_string(run.seed) + ", ";

    std::map<uint32_t, std::vector<const FakeRegister::Seen*>> frames;
    for (const auto& s : seen) frames[s.token].push_back(&s);
    // token and connection -> when the register answered there
    std::map<std::pair<uint32_t, int>, std::vector<const FakeRegister::Answered*>> answers;
    for (const auto& a : answered) answers[{a.token, a.conn}].push_back(&a);
    // The register's answer to frame f, if it sent one before f's connection went.
    auto answerTo = [&](const FakeRegister::Seen& f) -> const FakeRegister::Answered* {
        auto it = answers.find({f.token, f.conn});
        if (it == answers.end()) return nullptr;
        auto dropIt = drops.find(f.conn);
        for (auto* a : it->second)
            if (a->at >= f.at && (dropIt == drops.end() || a->at <= dropIt->second)) return a;
        return nullptr;
    };
    auto answeredAfter = [&](const FakeRegister::Seen& f) { return answerTo(f) != nullptr; };

    std::lock_guard<std::mutex> lk(rlog.m);
    std::map<int, std::vector<const FakeRegister::Seen*>> pollsByConn;
    for (const auto& [token, list] : frames) {
        auto it = run.requests.find(token);
        if (it == run.requests.end()) {
            // The library's own: status polls and stops, each written once
            // (a damaged answer would be replayed; polls are not damaged).
            for (const auto* f : list)
                if (f->cmd != 8 && f->cmd != 10) run.fault(at + "a frame of command " + std::to_string(f->cmd) + " nobody posted");
            if (list.size() > 1) run.fault(at + "the library's own frame " + std::to_string(token) + " went out " + std::to_string(list.size()) + " times");
            if (list[0]->cmd == 8) pollsByConn[list[0]->conn].push_back(list[0]);
            continue;
        }
        const RequestLog& l = it->second;
        const int retries = rlog.retries[token], damaged = rlog.damaged[token];
        int plain = 0;
        for (const auto* f : list) plain += f->repeated ? 0 : 1;
        if (static_cast<int>(list.size()) > l.posts + retries + damaged + l.repeats || plain > l.posts + retries) {
            std::ostringstream s;
            s << at << "token " << token << " (cmd " << l.cmd << "): " << list.size() << " frames (" << plain
              << " not marked repeated) for " << l.posts << " posts, " << retries << " retries asked, " << damaged
              << " damaged answers, " << l.repeats << " repeats";
            run.fault(s.str());
        }
    }
    for (const auto& [token, l] : run.requests) {
        if (!l.final) continue;
        std::ostringstream story;  // what happened to it, for the message
        story << "token " << token << " (cmd " << l.cmd << ", status " << l.status << ", " << l.posts << " posts, "
              << l.repeats << " repeats, " << rlog.retries[token] << " retries, " << rlog.damaged[token]
              << " damaged; frames at";
        for (const auto* f : frames[token]) {
            story << " " << std::chrono::duration_cast<std::chrono::microseconds>(f->at - l.lastPost).count() << "us/c"
                  << f->conn << (answeredAfter(*f) ? "/answered" : "") << (f->repeated ? "/rep" : "");
            if (drops.count(f->conn))
                story << "/dropped+"
                      << std::chrono::duration_cast<std::chrono::microseconds>(drops.at(f->conn) - f->at).count() << "us";
        }
        story << "): ";
        const std::string who = at + story.str();
        const FakeRegister::Seen* last = nullptr;
        for (const auto* f : frames[token])
            if (f->at >= l.lastPost) last = f;
        // (A frame the register asked to have again was not run.)
        const auto* lastAnswer = last ? answerTo(*last) : nullptr;
        if (l.status == TARVIK_STATUS_CANCELLED && last && !l.earlierUnsettled && !(lastAnswer && lastAnswer->retry))
            run.fault(who + "cancelled as not done, yet its frame reached the register");
        const bool libraryOwn = l.status == TARVIK_STATUS_CANCELLED || l.status == TARVIK_STATUS_OUTCOME_UNKNOWN ||
                                l.status == TARVIK_STATUS_BADDATA || l.status == TARVIK_STATUS_TIMEOUT;
        if ((l.state == TARVIK_STATE_COMPLETED || !libraryOwn) && !last)
            run.fault(who + "answered, yet the register never saw its frame");
        // Its frame went out on a connection that was dropped before the
        // answer: nobody can know whether the register ran it.
        if (last && !answeredAfter(*last) && drops.count(last->conn) && l.status != TARVIK_STATUS_OUTCOME_UNKNOWN &&
            !l.earlierUnsettled && l.repeats == 0)
            run.fault(who + "its frame went out on a lost connection, yet the outcome is not unknown");
    }
    // Never two status polls unanswered at once on one connection.
    for (auto& [conn, polls] : pollsByConn) {
        std::sort(polls.begin(), polls.end(), [](auto* a, auto* b) { return a->at < b->at; });
        for (size_t i = 1; i < polls.size(); ++i) {
            auto it = answers.find({polls[i - 1]->token, conn});
            if (it == answers.end() || it->second.front()->at > polls[i]->at)
                run.fault(at + "poll " + std::to_string(polls[i]->token) + " went out with poll " +
                          std::to_string(polls[i - 1]->token) + " unanswered");
        }
    }
}

void runSeed(unsigned seed, unsigned ms, int threads) {
    Run run;
    run.seed = seed;
    RegisterLog rlog;
    std::mt19937 regRng(seed * 7919u + 1);
    FakeRegister reg([&](const DecodedFrame& f) { return policy(f, rlog, regRng); });
    TARVIK_HANDLE device = TRV_CreateDeviceHandle(TARVIK_DEVICE_ETHER);
    std::string host = "127.0.0.1", port = std::to_string(reg.port());
    TRV_SetDeviceParam(device, TARVIK_PARAM_IPADDRESS, host.data());
    TRV_SetDeviceParam(device, TARVIK_PARAM_IPPORT, port.data());
    TARVIK_HANDLE anchor = TRV_OpenDevice(device);  // keeps the connection up while views come and go
    ASSERT_NE(anchor, nullptr);
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    std::vector<std::thread> apps;
    for (int t = 0; t < threads; ++t)
        apps.emplace_back([&, t] { App(run, device, seed * 31u + static_cast<unsigned>(t), end)(); });
    for (auto& a : apps) a.join();
    EXPECT_EQ(TRV_CloseDevice(anchor), 0u);
    EXPECT_EQ(TRV_DestroyDeviceHandle(device), 0u);
    check(run, reg, rlog);
    for (const auto& f : run.faults) ADD_FAILURE() << f;
    std::printf("seed %u: %zu requests, %zu frames, %d connections, %zu faults\n", seed, run.requests.size(),
                reg.count(), reg.connections(), run.faults.size());
}

}  // namespace

TEST(CoreModel, RandomMixesAgainstAFakeRegister) {
    const unsigned first = envOr("TARVIK_MODEL_SEED", 1);
    const unsigned seeds = envOr("TARVIK_MODEL_SEEDS", 3);
    const unsigned ms = envOr("TARVIK_MODEL_MS", 1200);
    for (unsigned s = first; s < first + seeds; ++s) {
        SCOPED_TRACE("seed " + std::to_string(s));
        runSeed(s, ms, 4);
    }
}
