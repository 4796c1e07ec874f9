#include "sim_pty.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "sim_stream.h"

namespace trvsim {

// The master side of the pty. Only the server thread reads and writes it;
// wake() may come from any thread.
class PtyStream : public ByteStream {
public:
    PtyStream(int fd, int wakeFd, const std::atomic<bool>& stop) : fd_(fd), wakeFd_(wakeFd), stop_(stop) {}

    // -1 once nobody has the slave open (the master reports a hang-up and
    // reads fail with EIO), after the bytes the last client left are read.
    long read(uint8_t* buf, size_t cap, int timeoutMs) override {
        pollfd p[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        const int r = ::poll(p, 2, timeoutMs);
        if (r < 0) return errno == EINTR ? 0 : -1;
        if (r == 0) return 0;
        if (p[1].revents & POLLIN) {
            drainWake();
            return 0;
        }
        if (p[0].revents & POLLIN) {
            const ssize_t n = ::read(fd_, buf, cap);
            if (n > 0) return static_cast<long>(n);
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) return 0;
            return -1;
        }
        return (p[0].revents & (POLLHUP | POLLERR | POLLNVAL)) ? -1 : 0;
    }

    bool write(const uint8_t* data, size_t n) override {
        // Bytes for a closed slave would wait for the next client: drop them.
        if (slaveClosed()) return false;
        while (n > 0) {
            if (stop_.load()) return false;
            const ssize_t w = ::write(fd_, data, n);
            if (w > 0) {
                data += w;
                n -= static_cast<size_t>(w);
                continue;
            }
            if (w < 0 && errno == EINTR) continue;
            if (w < 0 && errno != EAGAIN) return false;
            // The client does not read: wait for room, but see a stop or a close.
            pollfd p{fd_, POLLOUT, 0};
            if (::poll(&p, 1, 100) < 0 && errno != EINTR) return false;
            if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) return false;
        }
        return true;
    }

    void wake() override {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t r = ::write(wakeFd_, &one, sizeof one);
    }

    void drainWake() {
        uint64_t v;
        while (::read(wakeFd_, &v, sizeof v) > 0) {
        }
    }

    bool slaveClosed() const {
        pollfd p{fd_, 0, 0};
        return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL));
    }

private:
    int fd_;
    int wakeFd_;
    const std::atomic<bool>& stop_;
};

PtyServer::PtyServer(Register& reg, PtyOptions opts)
    : reg_(reg),
      opts_(std::move(opts)),
      wakeFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
      dialAnswer_(static_cast<int>(opts_.modemConfig.dial)) {}

PtyServer::~PtyServer() {
    stop();
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

std::string PtyServer::start() {
    if (th_.joinable()) {
        errno = EBUSY;
        return {};
    }
    if (wakeFd_ < 0) {  // eventfd() failed in the constructor
        errno = EMFILE;
        return {};
    }
    int fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return {};
    auto fail = [&fd] {
        const int e = errno;
        if (fd >= 0) ::close(fd);
        errno = e;
        return std::string();
    };
    char name[256];
    if (::grantpt(fd) != 0 || ::unlockpt(fd) != 0 || ::ptsname_r(fd, name, sizeof name) != 0) return fail();
    // A raw line, so that nothing is echoed or translated before a client
    // sets its own modes; the settings outlive a client closing the slave.
    termios t{};
    if (::tcgetattr(fd, &t) != 0) return fail();
    ::cfmakeraw(&t);
    if (::tcsetattr(fd, TCSANOW, &t) != 0) return fail();
    // Open and close the slave once: from then on the master reports a
    // hang-up until a client opens it, so the first session starts with the
    // first client and not before.
    const int s = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (s < 0) return fail();
    ::close(s);
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return fail();

    if (!opts_.link.empty()) {
        struct stat st{};
        if (::lstat(opts_.link.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                errno = EEXIST;
                return fail();
            }
            ::unlink(opts_.link.c_str());
        }
        if (::symlink(name, opts_.link.c_str()) != 0) return fail();
    }

    master_ = fd;
    slave_ = name;
    linked_ = !opts_.link.empty();
    stop_ = false;
    carrier_ = false;
    dtr_ = true;
    dtrDrops_ = 0;
    modem_.reset();
    if (opts_.modem)
        modem_ = std::make_unique<HayesModem>(opts_.modemConfig,
                                              [this](const std::string& t) { reg_.note("SIM: MODEM " + t); });
    th_ = std::thread(&PtyServer::run, this);
    return slave_;
}

void PtyServer::stop() {
    if (!th_.joinable()) return;
    stop_ = true;
    wake();
    th_.join();
    ::close(master_);
    master_ = -1;
    uint64_t v;
    while (::read(wakeFd_, &v, sizeof v) > 0) {
    }
    if (linked_) {
        // Only our own link: someone may have put another in its place.
        char buf[256];
        const ssize_t n = ::readlink(opts_.link.c_str(), buf, sizeof buf);
        if (n > 0 && std::string(buf, static_cast<size_t>(n)) == slave_) ::unlink(opts_.link.c_str());
        linked_ = false;
    }
    slave_.clear();
    carrier_ = false;
    modem_.reset();
}

void PtyServer::wake() {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t r = ::write(wakeFd_, &one, sizeof one);
}

void PtyServer::setDTR(bool on) {
    if (dtr_.exchange(on) && !on) {
        ++dtrDrops_;
        wake();
    }
}

// Sleeps, but returns at once on stop(). A wake is used up, so one left
// over cannot turn the naps into a spin.
void PtyServer::nap(int ms) {
    pollfd p{wakeFd_, POLLIN, 0};
    if (::poll(&p, 1, ms) > 0) {
        uint64_t v;
        while (::read(wakeFd_, &v, sizeof v) > 0) {
        }
    }
}

bool PtyServer::waitForSlave() {
    PtyStream s(master_, wakeFd_, stop_);
    while (!stop_.load()) {
        if (!s.slaveClosed()) return true;
        // Nobody has the slave open: what the last client left unread is
        // stale, and reads fail until the next one opens it.
        uint8_t buf[4096];
        while (::read(master_, buf, sizeof buf) > 0) {
        }
        nap(25);
    }
    return false;
}

void PtyServer::run() {
    PtyStream stream(master_, wakeFd_, stop_);
    while (!stop_.load()) {
        if (!waitForSlave()) break;
        if (modem_) serveModem(stream);
        else serveStream(reg_, stream, stop_);
        // The slave was closed or the register dropped the session; a drop
        // starts a new session with the client after a short pause.
        if (!stop_.load()) nap(10);
    }
}

void PtyServer::serveModem(PtyStream& s) {
    HayesModem& m = *modem_;
    std::unique_ptr<Session> call;
    uint8_t buf[4096];

    // The register's bytes reach the line only while online; in command
    // mode they are lost, as a modem does not buffer a data call.
    auto deliver = [&](const Output& o) {
        if (m.online()) {
            if (!writeChunks(s, o, stop_)) return false;
        } else {
            size_t n = 0;
            for (const Chunk& c : o.chunks) n += c.bytes.size();
            if (n > 0) reg_.note("SIM: MODEM Register output lost in command mode: " + std::to_string(n) + " bytes");
        }
        if (o.drop) {
            HayesModem::Out h;
            m.remoteHangUp(h);
            call.reset();
            carrier_ = false;
            if (!h.line.empty() && !s.write(reinterpret_cast<const uint8_t*>(h.line.data()), h.line.size()))
                return false;
        }
        return true;
    };
    auto apply = [&](const HayesModem::Out& out) {
        if (out.hungUp) call.reset();
        if (out.connected) call = std::make_unique<Session>(reg_, [&s] { s.wake(); });
        carrier_ = m.inCall();
        if (!out.line.empty() && !s.write(reinterpret_cast<const uint8_t*>(out.line.data()), out.line.size()))
            return false;
        if (call && !out.data.empty() && !deliver(call->receive(out.data.data(), out.data.size()))) return false;
        if (call && !deliver(call->poll())) return false;
        return true;
    };

    bool open = true;
    while (open && !stop_.load()) {
        m.setDialAnswer(static_cast<DialAnswer>(dialAnswer_.load()));
        HayesModem::Out out;
        if (dtrDrops_.exchange(0) > 0) m.hangUp("DTR dropped", out);
        int timeout = 1000;
        if (call) timeout = std::clamp(call->msUntilDue(), 0, timeout);
        const int tick = m.msUntilTick(HayesModem::Clock::now());
        if (tick >= 0) timeout = std::min(timeout, tick);
        if (out.hungUp) timeout = 0;
        const long n = s.read(buf, sizeof buf, timeout);
        if (n < 0) break;
        // The guard time is judged when the bytes are read: a late tick
        // must not turn the escape and the command after it into data.
        const auto now = HayesModem::Clock::now();
        m.tick(now, out);
        if (n > 0) m.fromLine(buf, static_cast<size_t>(n), now, out);
        open = apply(out);
    }
    // The port was closed (a real one drops DTR), or the simulator stops.
    HayesModem::Out out;
    m.hangUp(stop_.load() ? "simulator stopping" : "port closed", out);
    call.reset();
    carrier_ = false;
}

}  // namespace trvsim
