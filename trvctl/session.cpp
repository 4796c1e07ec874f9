#include "session.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "codes.h"
#include "util.h"
#include "tarvik/mirtel.h"

namespace trvctl {

// ---- the target

void parseTcp(const std::string& hostPort, Target& t) {
    t.kind = Target::Kind::Tcp;
    const size_t colon = hostPort.rfind(':');
    t.host = hostPort.substr(0, colon);
    t.port = colon == std::string::npos ? "" : hostPort.substr(colon + 1);
    if (t.host.empty()) throw UsageError("--tcp: no host in '" + hostPort + "'");
    if (colon != std::string::npos && !parseUnsigned(t.port, 65535))
        throw UsageError("--tcp: '" + t.port + "' is not a port number");
}

Target parseDevice(const std::string& device) {
    Target t;
    const size_t colon = device.find(':');
    const std::string kind = device.substr(0, colon);
    const std::string rest = colon == std::string::npos ? "" : device.substr(colon + 1);
    if (kind == "sim" && rest.empty()) {
        t.kind = Target::Kind::Sim;
    } else if (kind == "tcp" && !rest.empty()) {
        parseTcp(rest, t);
    } else if (kind == "serial" && !rest.empty()) {
        t.kind = Target::Kind::Serial;
        t.portString = rest;
    } else if (kind == "usb" && !rest.empty()) {
        t.kind = Target::Kind::Usb;
        t.serial = rest;
    } else if (kind == "modem" && rest.rfind(':') != std::string::npos) {
        t.kind = Target::Kind::Modem;
        t.portString = rest.substr(0, rest.rfind(':'));
        t.dial = rest.substr(rest.rfind(':') + 1);
        if (t.portString.empty() || t.dial.empty()) throw UsageError("bad device '" + device + "'");
    } else {
        throw UsageError("bad device '" + device +
                         "': expected tcp:HOST[:PORT], serial:PORTSTRING, usb:SERIAL, modem:PORTSTRING:NUMBER or sim");
    }
    return t;
}

// ---- the simulator

namespace {

std::string trvsimPath() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const auto beside = exe.parent_path() / "trvsim";
        if (access(beside.c_str(), X_OK) == 0) return beside.string();
    }
    return "trvsim";  // on PATH
}

}  // namespace

SimProcess::SimProcess(const std::string& paper) {
    const std::string path = trvsimPath();
    std::vector<std::string> args = {path, "--port", "0"};
    if (!paper.empty()) args.insert(args.end(), {"--paper", paper});
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) throw ToolError(std::string("--sim: pipe: ") + std::strerror(errno));
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        throw ToolError(std::string("--sim: fork: ") + std::strerror(errno));
    }
    if (pid == 0) {
        // The simulator goes with us, however we end.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(1);
        dup2(fds[1], STDOUT_FILENO);
        const int null = open("/dev/null", O_RDONLY);
        if (null >= 0) dup2(null, STDIN_FILENO);
        if (path.find('/') != std::string::npos) execv(argv[0], argv.data());
        else execvp(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    pid_ = pid;
    out_ = fds[0];

    // The first line is "port N".
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (line.find('\n') == std::string::npos) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        pollfd p{out_, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) break;
        char buf[64];
        const ssize_t n = read(out_, buf, sizeof buf);
        if (n <= 0) break;
        line.append(buf, static_cast<size_t>(n));
    }
    const size_t nl = line.find('\n');
    const std::string rest = nl == std::string::npos ? "" : line.substr(nl + 1);
    line = line.substr(0, nl);
    if (line.rfind("port ", 0) == 0)
        if (auto p = parseUnsigned(line.substr(5), 65535); p && *p > 0) port_ = static_cast<int>(*p);
    if (port_ > 0 && paper == "-") {
        // What follows the port line is the paper roll.
        fwrite(rest.data(), 1, rest.size(), stdout);
        paper_ = std::thread([fd = out_] {
            char buf[4096];
            ssize_t n;
            while ((n = read(fd, buf, sizeof buf)) > 0) {
                fwrite(buf, 1, static_cast<size_t>(n), stdout);
                fflush(stdout);
            }
        });
    }
    if (port_ == 0) {
        stop();
        throw ToolError("--sim: the simulator (" + path + ") did not start; is trvsim installed?");
    }
}

SimProcess::~SimProcess() { stop(); }

void SimProcess::stop() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
    }
    if (paper_.joinable()) paper_.join();  // at the end of the pipe
    if (out_ >= 0) {
        close(out_);
        out_ = -1;
    }
}

// ---- the session

Session::Session(const SessionOptions& o)
    : timeoutMs_(o.timeoutMs), printTimeoutMs_(o.printTimeoutMs), window_(o.window ? o.window : 1) {
    Target t = o.target;
    if (t.kind == Target::Kind::None)
        throw UsageError("no register given: use --tcp, --serial, --usb, --modem or --sim, or set TRVCTL_DEVICE "
                         "(trvctl --help)",
                         false);
    if (t.kind == Target::Kind::Sim) {
        sim_ = std::make_unique<SimProcess>(o.simPaper);
        t.kind = Target::Kind::Tcp;
        t.host = "127.0.0.1";
        t.port = std::to_string(sim_->port());
    }
    uint32_t type = TARVIK_DEVICE_ETHER;
    if (t.kind == Target::Kind::Serial || t.kind == Target::Kind::Modem) type = TARVIK_DEVICE_RS232;
    if (t.kind == Target::Kind::Usb) type = TARVIK_DEVICE_USB;
    device_ = TRV_CreateDeviceHandle(type);
    if (!device_) throw Failure("cannot create the device", TARVIK_STATUS_NOMEMORY);

    std::string& where = where_;
    auto set = [&](uint32_t param, void* value, const std::string& what) {
        const TARVIK_STATUS st = TRV_SetDeviceParam(device_, param, value);
        if (st) {
            TRV_DestroyDeviceHandle(device_);
            device_ = nullptr;
            throw Failure("cannot set " + what, st);
        }
    };
    std::string a = t.host, p = t.port, ps = t.portString, sn = t.serial;
    switch (t.kind) {
    case Target::Kind::Tcp:
        set(TARVIK_PARAM_IPADDRESS, a.data(), "the address " + a);
        if (!p.empty()) set(TARVIK_PARAM_IPPORT, p.data(), "the port " + p);
        where = "tcp:" + a + (p.empty() ? "" : ":" + p);
        break;
    case Target::Kind::Serial:
    case Target::Kind::Modem:
        set(TARVIK_PARAM_COMPARAMS, ps.data(), "the port string " + ps);
        where = "serial port " + ps;
        if (t.kind == Target::Kind::Modem) {
            unsigned char on = 1;
            set(TARVIK_PARAM_MODEMMODE, &on, "modem mode");
            std::string dial = t.dial;
            if (dial.size() < 2 || (dial.compare(0, 2, "AT") != 0 && dial.compare(0, 2, "at") != 0))
                dial = "ATDT" + dial;
            set(TARVIK_PARAM_MODEMCALL, dial.data(), "the dial string");
            if (!t.modemInit.empty()) {
                std::string init = t.modemInit;
                set(TARVIK_PARAM_MODEMINIT, init.data(), "the modem init string");
            }
            modem_ = true;
        }
        break;
    case Target::Kind::Usb:
        set(TARVIK_PARAM_SERIALNO, sn.data(), "the USB serial number");
        where = "USB bridge " + sn;
        break;
    default:
        break;
    }
    // Decimal answers with a point, as the CSV and JSON files have them.
    char sep = '.';
    set(TARVIK_PARAM_DECIMALSEP, &sep, "the decimal separator");
    if (!o.log.empty()) {
        TRV_SetDebugFileName(device_, o.log.c_str());
        TRV_SetDebugLevel(device_, 0x81F00F);
    }
    view_ = TRV_OpenDevice(device_);
    if (!view_) {
        const TARVIK_STATUS st = TRV_GetError(device_);
        std::string why;
        if (t.kind == Target::Kind::Usb) why = usbReason(t.serial);
        TRV_DestroyDeviceHandle(device_);
        device_ = nullptr;
        throw Failure("cannot open " + where + why, st, Outcome::NotDone);
    }
    if (modem_) {
        const TARVIK_STATUS st = TRV_ModemDial(device_, 1);
        if (st) {
            TRV_CloseDevice(view_);
            TRV_DestroyDeviceHandle(device_);
            view_ = device_ = nullptr;
            throw Failure("dialling failed", st);
        }
    }
}

// Why a USB bridge did not open, from the list of attached bridges.
std::string Session::usbReason(const std::string& serial) {
    std::vector<char> buf(64 * 1024, '\0');
    const TARVIK_STATUS st = TRV_GetDeviceParam(device_, TARVIK_PARAM_DEVICELIST, buf.data());
    if (st) return " (the USB bus could not be searched: " + describeStatus(st) + ")";
    std::vector<std::string> names;
    std::string all(buf.data());
    for (size_t from = 0; from < all.size();) {
        const size_t lf = all.find('\n', from);
        names.push_back(all.substr(from, lf - from));
        if (lf == std::string::npos) break;
        from = lf + 1;
    }
    if (names.empty()) return ": no FTDI USB bridge (0403:6001) is attached";
    std::string list;
    for (const std::string& n : names) list += (list.empty() ? "" : ", ") + n;
    if (std::find(names.begin(), names.end(), serial) == names.end())
        return ": no bridge with the serial number '" + serial + "'; attached: " + list;
    return ": the bridge is attached but did not open (is its device file accessible to this user? a udev rule "
           "gives access, see the README)";
}

Session::~Session() {
    if (view_) TRV_CloseDevice(view_);
    if (device_) TRV_DestroyDeviceHandle(device_);
    sim_.reset();
}

// ---- reading answers

ReadStep plainReader(const Call* reader) {
    return [reader](TARVIK_HANDLE h, Record& rec) -> TARVIK_STATUS {
        if (!reader) {
            TRVG_Default(h);
            return 0;
        }
        Slots out(*reader);
        const TARVIK_STATUS st = reader->read(h, out);
        if (st) {
            TRVG_Default(h);
            return st;
        }
        rec = out.record();
        return 0;
    };
}

ReadStep typedReader(const TypeMap& map) {
    return [&map](TARVIK_HANDLE h, Record& rec) -> TARVIK_STATUS {
        const Call& head = callNamed(map.typeReader);
        Slots t(head);
        TARVIK_STATUS st = head.read(h, t);
        if (st) {
            TRVG_Default(h);
            return st;
        }
        rec = t.record();
        const unsigned type = static_cast<unsigned>(std::stoul(t.output(static_cast<size_t>(head.field(map.typeField)))));
        const TypedReader* e = map.find(type);
        rec.push_back({"type_name", e ? e->label : "unknown", false});
        if (!e) {
            TRVG_Default(h);  // a type this table does not know: its body stays unread
            return 0;
        }
        const Call& body = callNamed(e->reader);
        Slots b(body);
        st = body.read(h, b);
        if (st) {
            TRVG_Default(h);
            return st;
        }
        for (Item& i : b.record()) {
            i.body = true;
            rec.push_back(std::move(i));
        }
        return 0;
    };
}

Request makeRequest(const Call& send, const std::vector<std::string>& args, ReadStep read) {
    if (args.size() != send.fields.size()) {
        std::string names;
        for (const Field& f : send.fields) names += std::string(" ") + f.name;
        throw UsageError(std::string(send.name) + " takes " + std::to_string(send.fields.size()) + " argument" +
                         (send.fields.size() == 1 ? "" : "s") + (names.empty() ? "" : ":" + names) + ", not " +
                         std::to_string(args.size()));
    }
    auto slots = std::make_shared<Slots>(send);
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string err = slots->set(i, args[i]);
        if (!err.empty()) throw UsageError(std::string(send.name) + ": " + send.fields[i].name + ": " + err);
    }
    return Request{&send, std::move(slots), std::move(read)};
}

Request makeRequest(const std::string& send, const std::vector<std::string>& args, ReadStep read) {
    return makeRequest(callNamed(send), args, std::move(read));
}

// ---- the pipeline

namespace {

struct Depth {
    int& d;
    explicit Depth(int& x) : d(x) { ++d; }
    ~Depth() { --d; }
};

}  // namespace

Pipeline::Pipeline(Session& s, size_t window) : s_(s), window_(window ? window : s.window()) {}

Pipeline::~Pipeline() {
    for (Pending& p : inflight_) {
        TRV_CancelRequest(p.handle);
        TRV_DestroyRequest(p.handle);
    }
}

void Pipeline::post(Request r, Done done) {
    if (depth_ == 0)
        while (inflight_.size() >= window_) completeOldest();
    TARVIK_HANDLE h = nullptr;
    const TARVIK_STATUS st = r.send->send(s_.view(), &h, *r.args, TARVIK_POST_NORMAL);
    if (st) {
        if (h) TRV_DestroyRequest(h);  // created, then refused: still ours
        Depth d(depth_);
        done(Result{st, outcomeOf(st), false, r.readOnly}, {});
        return;
    }
    inflight_.push_back({h, std::move(r), std::move(done)});
}

void Pipeline::completeOldest() {
    using Clock = std::chrono::steady_clock;
    Pending p = std::move(inflight_.front());
    inflight_.pop_front();
    const uint32_t wait = p.request.timeoutMs ? p.request.timeoutMs : s_.timeoutMs();
    auto deadline = Clock::now() + std::chrono::milliseconds(wait);
    if (abandoned_) deadline = std::min(deadline, graceEnd_);
    // In slices, so that a second interruption is seen soon.
    TARVIK_STATUS st = TARVIK_STATUS_TIMEOUT;
    while (true) {
        if (interrupts() >= 2) deadline = Clock::now();
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        st = TRV_WaitForRequestCompleted(p.handle, static_cast<uint32_t>(std::clamp<int64_t>(left, 0, 200)));
        if (st != TARVIK_STATUS_TIMEOUT || left <= 0) break;
    }
    Result result;
    result.read = p.request.readOnly;
    Record rec;
    if (st == TARVIK_STATUS_TIMEOUT) {
        // No answer in time. A request whose frame never left is cancelled:
        // not done. One that was written is only let go, not stopped (the
        // register may be running it; what it did is read back later): its
        // outcome is unknown.
        const TARVIK_STATE state = TRV_GetRequestState(p.handle);
        if (state == TARVIK_STATE_COMPLETED || state == TARVIK_STATE_ERROR) {
            st = 0;  // it finished just now
        } else if (state == TARVIK_STATE_PENDING || state == TARVIK_STATE_NEW) {
            // Cancelling says whether a frame went out after all.
            if (TRV_CancelRequest(p.handle) == TARVIK_STATUS_ALREADYCOMPLETED) {
                st = 0;
            } else {
                result.waitRanOut = true;
                result.status = TRV_GetRequestStatus(p.handle);
                result.outcome = outcomeOf(result.status);
                TRV_DestroyRequest(p.handle);
            }
        } else {
            result.waitRanOut = true;
            result.status = TARVIK_STATUS_OUTCOME_UNKNOWN;
            result.outcome = Outcome::Unknown;
            TRV_DestroyRequest(p.handle);
        }
    }
    if (st == 0 && !result.waitRanOut) {
        st = TRV_GetRequestStatus(p.handle);
        result.outcome = outcomeOf(st);
        if (st) TRVG_Default(p.handle);
        else st = p.request.read(p.handle, rec);  // a reader's failure: done, but unreadable
        result.status = st;
    } else if (!result.waitRanOut) {
        result.status = st;  // the handle is bad
        result.outcome = outcomeOf(st);
    }
    if (result.status == TARVIK_STATUS_OUTCOME_UNKNOWN && !result.waitRanOut && p.request.retries > 0 &&
        interrupts() < 2) {
        --p.request.retries;
        Depth d(depth_);
        post(std::move(p.request), std::move(p.done));
        return;
    }
    Depth d(depth_);
    p.done(result, std::move(rec));
}

void Pipeline::abandon() {
    if (abandoned_) return;
    abandoned_ = true;
    graceEnd_ = std::chrono::steady_clock::now() + std::chrono::seconds(1);
}

void Pipeline::finish() {
    while (!inflight_.empty()) completeOldest();
}

std::string argumentNote(const Call& send, TARVIK_STATUS status) {
    // hDevice is argument 1, phRequest 2, the first field 3.
    if (status < TARVIK_STATUS_ARG(3) || status >= TARVIK_STATUS_ARG(3) + send.fields.size()) return "";
    return std::string(" (argument ") + send.fields[status - TARVIK_STATUS_ARG(3)].name + ")";
}

std::string describeResult(const Result& r, uint32_t waitedMs, bool read) {
    if (!r.waitRanOut) return describeStatus(r.status);
    char secs[32];
    std::snprintf(secs, sizeof secs, "%g", waitedMs / 1000.0);
    if (read || r.read) return std::string("no answer within ") + secs + " s";
    if (r.outcome == Outcome::NotDone)
        return std::string("no answer within ") + secs + " s, and it was never sent (not done)";
    return std::string("no answer within ") + secs +
           " s after it was sent: the register may have run it (outcome unknown)";
}

bool registerAnswers(Session& s) {
    if (interrupts() >= 2) return false;
    Request r = makeRequest("TRVS_WaitStatusGet", {}, plainReader(nullptr));
    r.timeoutMs = std::max<uint32_t>(s.timeoutMs(), kSettleWaitMs);
    r.readOnly = true;
    Pipeline p(s, 1);
    bool answered = false;
    p.post(std::move(r), [&](const Result& res, Record&&) { answered = res.status == 0; });
    p.finish();
    return answered;
}

Record runOne(Session& s, Request r) {
    const Call& send = *r.send;
    const std::string name = r.send->name;
    const uint32_t wait = r.timeoutMs ? r.timeoutMs : s.timeoutMs();
    const bool read = r.readOnly;
    Pipeline p(s, 1);
    Result result;
    Record out;
    p.post(std::move(r), [&](const Result& res, Record&& rec) {
        result = res;
        out = std::move(rec);
    });
    p.finish();
    if (result.status) {
        // A read that got no answer changed nothing: a plain failure.
        const Outcome o = read && result.outcome == Outcome::Unknown ? Outcome::NotDone : result.outcome;
        if (result.waitRanOut) throw Failure(name + ": " + describeResult(result, wait, read), result.status, o, true);
        if (result.outcome == Outcome::Unknown)
            throw Failure(name + ": " + describeResult(result, wait, read), result.status, o);
        throw Failure(name + argumentNote(send, result.status), result.status, o);
    }
    return out;
}

}  // namespace trvctl
