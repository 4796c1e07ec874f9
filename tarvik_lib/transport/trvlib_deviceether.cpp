#include "trvlib_deviceether.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>

namespace trv {

TRV_EtherDevice::TRV_EtherDevice() = default;

TRV_EtherDevice::~TRV_EtherDevice() { DeviceRealClose(); }

TARVIK_STATUS TRV_EtherDevice::openErrorStatus(int err) {
    switch (err) {
    case EINTR: return 48;
    case EACCES: return 49;
    case EINPROGRESS: return 50;
    case EDESTADDRREQ: return 51;
    case EADDRINUSE: return 52;
    case EADDRNOTAVAIL: return 53;
    case ENETDOWN: return 54;
    case ENETUNREACH: return 55;
    case ENETRESET: return 56;
    case ECONNABORTED: return 57;
    case ECONNRESET: return 58;
    case ETIMEDOUT: return 59;
    case ECONNREFUSED: return 60;
    case EHOSTDOWN: return 61;
    case EHOSTUNREACH: return 62;
    default: return TARVIK_STATUS_OPENFAILED;
    }
}

TARVIK_STATUS TRV_EtherDevice::SetDeviceParam(uint32_t id, void* value) {
    switch (id) {
    case TARVIK_PARAM_IPADDRESS: {
        if (!value) return TARVIK_STATUS_MISSINGVALUE;
        const char* v = static_cast<const char*>(value);
        Log(LOG_ETHER, 8, "DEVICE_Ether: Setting IP to: ", v);
        MutexLock lk(paramMutex);
        targ_ip = v;
        return TARVIK_STATUS_OK;
    }
    case TARVIK_PARAM_IPPORT: {
        if (!value) return TARVIK_STATUS_MISSINGVALUE;
        const char* v = static_cast<const char*>(value);
        Log(LOG_ETHER, 8, "DEVICE_Ether: Setting PORT to: ", v);
        port.store(static_cast<uint16_t>(stringtoi(v)));  // not a number: -1, kept as 65535
        return TARVIK_STATUS_OK;
    }
    case TARVIK_PARAM_SENDTIMEOUT: {
        if (!value) return TARVIK_STATUS_MISSINGVALUE;
        const uint32_t v = *static_cast<const uint32_t*>(value);
        Log(LOG_ETHER, 8, "DEVICE_Ether: Setting frame send timeout: ", v);
        timeoutsec.store(v);
        return TARVIK_STATUS_OK;
    }
    default:
        return TRV_Device::SetDeviceParam(id, value);
    }
}

int TRV_EtherDevice::waitFor(int fd, short events, int ms) {
    pollfd p[2] = {{fd, events, 0}, {stopfd, POLLIN, 0}};
    int n = ::poll(p, stopfd >= 0 ? 2 : 1, ms);
    if (n > 0 && stopfd >= 0 && (p[1].revents & POLLIN)) return 0;  // stopping: the caller sees its flag
    if (n > 0 && !(p[0].revents & (events | POLLERR | POLLHUP))) return 0;
    return n;
}

bool TRV_EtherDevice::resolve(const std::string& host, in_addr& out, int& err) {
    struct Lookup {
        Mutex m;
        CondVar cv;
        bool done GUARDED_BY(m) = false;
        int rc GUARDED_BY(m) = 0;
        int sysErr GUARDED_BY(m) = 0;
        in_addr addr GUARDED_BY(m){};
    };
    auto look = std::make_shared<Lookup>();
    auto run = [look, host] {
        addrinfo hints{}, *res = nullptr;
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &res);
        const int e = errno;
        in_addr a{};
        if (rc == 0 && res) a = reinterpret_cast<sockaddr_in*>(res->ai_addr)->sin_addr;
        else if (rc == 0) rc = EAI_NONAME;
        if (res) ::freeaddrinfo(res);
        {
            MutexLock lk(look->m);
            look->done = true;
            look->rc = rc;
            look->sysErr = e;
            look->addr = a;
        }
        look->cv.notify_all();
    };
    try {
        std::thread(run).detach();
    } catch (const std::system_error&) {
        run();  // no thread to spare: resolve here
    }
    MutexLock lk(look->m);
    while (!look->done) {
        if (stopping.load()) {
            err = EINTR;  // the helper finishes on its own
            return false;
        }
        look->cv.wait_for(look->m, std::chrono::milliseconds(100));
    }
    if (look->rc != 0) {
        err = look->rc == EAI_SYSTEM ? look->sysErr : 0;
        return false;
    }
    out = look->addr;
    return true;
}

int TRV_EtherDevice::connectSocket(int& err) {
    std::string host;
    {
        MutexLock lk(paramMutex);
        host = targ_ip;
    }
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) {
        err = errno;
        Log(LOG_ETHER, 8, "DEVICE_Ether: Socket Error (1)- ", err);
        return -1;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port.load());
    // A dotted address, or else a name to resolve.
    if (::inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1 && !resolve(host, addr.sin_addr, err)) {
        Log(LOG_ETHER, 8, "DEVICE_Ether: Socket Error (2)- ", err);
        ::close(s);
        return -1;
    }
    // A bounded connect: non-blocking, then wait for the outcome.
    const int fl = ::fcntl(s, F_GETFL);
    ::fcntl(s, F_SETFL, fl | O_NONBLOCK);
    int rc = ::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    if (rc < 0 && errno == EINPROGRESS) {
        const int w = waitFor(s, POLLOUT, kConnectTimeoutMs);
        if (w > 0) {
            int soerr = 0;
            socklen_t l = sizeof soerr;
            ::getsockopt(s, SOL_SOCKET, SO_ERROR, &soerr, &l);
            rc = soerr ? -1 : 0;
            errno = soerr;
        } else {
            rc = -1;
            errno = w == 0 ? ETIMEDOUT : errno;
        }
    }
    if (rc < 0) {
        err = errno;
        Log(LOG_ETHER, 8, "DEVICE_Ether: Socket Error (3)- ", err);
        ::close(s);
        return -1;
    }
    ::fcntl(s, F_SETFL, fl);  // the socket stays in blocking mode
    int one = 1;
    if (::setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one) < 0) {
        err = errno;
        Log(LOG_ETHER, 8, "DEVICE_Ether: Socket Error (4)- ", err);
        ::close(s);
        return -1;
    }
    // Frames are small and answered one by one: do not hold them back.
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return s;
}

bool TRV_EtherDevice::Reopen(uint64_t seen) {
    bool dropping;
    {
        MutexLock lk(reopenMutex);
        if (generation.load() != seen && connected.load()) return true;  // the other thread reconnected
        if (connecting) {
            // The other thread is connecting: its outcome is ours.
            while (connecting && !stopping.load()) reopenCv.wait_for(reopenMutex, std::chrono::milliseconds(100));
            return connected.load() && !stopping.load();
        }
        if (stopping.load()) return false;
        connecting = true;
        Log(LOG_ETHER, 8, "DEVICE_Ether: Openning communication port");
        MutexLock sl(sendMutex);
        dropping = connected.exchange(false);
        if (dropping) ++epoch;
    }
    // Whatever was written on the connection that goes now will not be
    // answered, and whether the register executed it is unknown: those
    // requests end with that status instead of waiting forever.
    if (dropping) failWritten(TARVIK_STATUS_OUTCOME_UNKNOWN);

    // Resolving and connecting take no lock: they may take seconds.
    int err = 0;
    int s = connectSocket(err);

    bool ok;
    {
        MutexLock lk(reopenMutex);
        connecting = false;
        if (s >= 0 && stopping.load()) {
            ::close(s);
            s = -1;
            err = EINTR;
        }
        MutexLock sl(sendMutex);
        if (s < 0) {
            // Drop the old connection, keeping the descriptor number valid.
            int dead = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (dead >= 0) {
                if (mysocket >= 0) ::dup2(dead, mysocket);
                else mysocket = dead, dead = -1;
                if (dead >= 0) ::close(dead);
            }
            SetErrorCode(static_cast<TARVIK_STATUS>(err));
            ++generation;
            ok = false;
        } else {
            if (mysocket < 0) {
                mysocket = s;
            } else {
                ::dup2(s, mysocket);
                ::close(s);
            }
            connected = true;
            ++generation;  // last: a thread that saw the old number now knows to go on
            Log(LOG_ETHER, 8, "DEVICE_Ether: Device reopen");
            ok = true;
        }
    }
    reopenCv.notify_all();
    return ok;
}

bool TRV_EtherDevice::DeviceRealOpen() {
    Log(LOG_ETHER, 8, "DEVICE_Ether: Starting device");
    stopping = false;
    stopfd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (!Reopen(generation.load())) {
        SetErrorCode(openErrorStatus(static_cast<int>(GetLastError())));
        if (mysocket >= 0) ::close(mysocket);
        mysocket = -1;
        if (stopfd >= 0) ::close(stopfd);
        stopfd = -1;
        return false;
    }
    sender = std::make_unique<FunctionThread>([this](Thread& t) { SenderLoop(t); });
    sender->start();
    recv = std::make_unique<FunctionThread>([this](Thread& t) { ReceiverLoop(t); });
    recv->start();
    allowDirectWrites(true);
    return true;
}

bool TRV_EtherDevice::awaitReconnect(uint64_t seen) {
    bool dropped = false;
    {
        MutexLock lk(reopenMutex);
        MutexLock sl(sendMutex);
        if (generation.load() == seen && connected.exchange(false)) {
            ++epoch;
            // Wakes the receiver, asleep in poll() on this very socket: it
            // sees the hang-up and reconnects.
            ::shutdown(mysocket, SHUT_RDWR);
            dropped = true;
        }
    }
    if (dropped) failWritten(TARVIK_STATUS_OUTCOME_UNKNOWN);
    MutexLock lk(reopenMutex);
    while (generation.load() == seen && !stopping.load()) reopenCv.wait(reopenMutex);
    return connected.load() && !stopping.load();
}

bool TRV_EtherDevice::DeviceRealClose() {
    if (!sender && !recv && mysocket < 0) return true;
    // No posting thread writes from here on (one under way is waited for).
    allowDirectWrites(false);
    Log(LOG_ETHER, 8, "DEVICE_Ether: Signalling the sender thread");
    Log(LOG_ETHER, 8, "DEVICE_Ether: Signalling the receiver thread");
    {
        MutexLock lk(reopenMutex);
        stopping = true;  // a reconnect under way, or waited for, gives up
    }
    reopenCv.notify_all();
    // Both threads are told before either is waited for: the receiver's
    // poll() returns at once on the stop descriptor and must find its stop
    // flag set, not go round again.
    if (sender) sender->signal();
    if (recv) recv->signal();
    if (stopfd >= 0) {
        uint64_t one = 1;
        (void)!::write(stopfd, &one, sizeof one);
    }
    if (sender) {
        wakeSender();
        sender->waitfor();
        sender.reset();
        Log(LOG_ETHER, 8, "DEVICE_Ether: The sender thread wait done");
    }
    if (recv) {
        recv->waitfor();
        recv.reset();
        Log(LOG_ETHER, 8, "DEVICE_Ether: The recv thread wait done");
    }
    if (mysocket >= 0) ::close(mysocket);
    mysocket = -1;
    connected = false;
    if (stopfd >= 0) ::close(stopfd);
    stopfd = -1;
    return true;
}

// Every frame of the batch in as few send() calls as the socket allows. On
// a broken connection the sender waits for the receiver to rebuild it (a
// posting thread hands over instead), and the frame that was under way when
// it broke goes whole over the new one; the frames before it went out
// wholly on the old connection and keep that connection as their tag.
TARVIK_STATUS TRV_EtherDevice::WriteFrames(FrameBatch& b, bool mayBlock) {
    bool wait = false;  // the socket said it would block: wait until writable
    while (!stopping.load()) {
        Log(LOG_ETHER, 14, "DEVICE_Ether: Send loop. ");
        const uint64_t gen = generation.load();
        if (wait) {
            if (!mayBlock) return kWouldBlock;
            const int w = waitFor(mysocket, POLLOUT, 100);
            if (w == 0) continue;
            if (w < 0) {
                const int err = errno;
                Log(LOG_ETHER, 8, "DEVICE_Ether: Socket Error (9)- ", err);
                if (awaitReconnect(gen)) continue;
                Log(LOG_ETHER, 8, "DEVICE_Ether: Socket Error (9)- Reopen failed, aborting.");
                SetErrorCode(static_cast<TARVIK_STATUS>(err));
                return kKeepPending;  // the next pass finds no connection and fails it
            }
        }
        // The connection the bytes go on is the one they are counted to:
        // a reconnect cannot slip in between.
        bool up;
        ssize_t n = 0;
        int err = 0;
        uint64_t e;
        {
            MutexLock sl(sendMutex);
            e = epoch.load();
            if (b.connNow != e) {
                // The connection was replaced mid-frame: the register never
                // saw a whole frame, so the new connection gets all of it.
                b.restartFrame();
                b.connNow = e;
            }
            up = connected.load();
            if (up) {
                n = ::send(mysocket, b.bytes.data() + b.done, b.bytes.size() - b.done, MSG_NOSIGNAL | MSG_DONTWAIT);
                err = errno;
            }
        }
        if (!up) {
            if (!mayBlock) return kWouldBlock;
            if (!awaitReconnect(gen)) {
                Log(LOG_ETHER, 10, "DEVICE_Ether: Timeout in SendFrame.");
                return TARVIK_STATUS_TIMEOUT;
            }
            continue;
        }
        if (n < 0) {
            wait = err == EAGAIN || err == EWOULDBLOCK;
            if (wait || err == EINTR) continue;
            if (!mayBlock) return kWouldBlock;  // the sender finds the error again and reconnects
            Log(LOG_ETHER, 8, "DEVICE_Ether: Socket Error (10)- ", err);
            if (awaitReconnect(gen)) continue;  // the rest goes over the new connection
            Log(LOG_ETHER, 8, "DEVICE_Ether: Socket Error (10)- Reopen failed, aborting.");
            SetErrorCode(static_cast<TARVIK_STATUS>(err));
            return kKeepPending;
        }
        wait = false;
        bytesSent += static_cast<int>(n);
        b.advance(static_cast<size_t>(n), e);
        if (b.whole == b.count()) return TARVIK_STATUS_OK;
    }
    return kKeepPending;  // stopped half-way: the frame was not sent
}

// One pass of the receiver: wait until the socket is readable, read what is
// there; a broken or closed connection is rebuilt here (and, failing that,
// tried again every 250 ms for as long as the device is open).
long TRV_EtherDevice::ReadChunk(Thread& self, uint8_t* buf, size_t cap) {
    const uint64_t gen = generation.load();
    if (!connected.load()) {
        if (!Reopen(gen)) {
            Log(LOG_ETHER, 8, "DEVICE_Ether: Socket Error (8)- Reopen failed, aborting.");
            self.sleep_or_stop(250);
        }
        return 0;
    }
    // After a read that filled the buffer more is likely waiting: read again
    // at once. Otherwise sleep until the socket or the stop descriptor says
    // something: an idle device's receiver costs nothing.
    if (!fullRead) {
        const int w = waitFor(mysocket, POLLIN, -1);
        if (w == 0) return 0;
        if (w < 0) {
            const int e = errno;
            if (e == EINTR) return 0;
            Log(LOG_ETHER, 8, "DEVICE_Ether: Socket Error (7)- ", e);
            if (!Reopen(gen)) {
                Log(LOG_ETHER, 8, "DEVICE_Ether: Socket Error (7)- Reopen failed, aborting.");
                SetErrorCode(static_cast<TARVIK_STATUS>(e));
                self.sleep_or_stop(250);
            }
            return 0;
        }
    }
    const ssize_t n = ::recv(mysocket, buf, cap, MSG_DONTWAIT);
    fullRead = n > 0 && static_cast<size_t>(n) == cap;
    if (n > 0) {
        Log(LOG_ETHER, 8, "DEVICE_Ether: Read: ", n);
        return n;
    }
    if (n == 0) {
        Log(LOG_ETHER, 8, "DEVICE_Ether: Connection looks like closed. ");
    } else {
        const int e = errno;
        Log(LOG_ETHER, 8, "DEVICE_Ether: Socket Error (8)- ", e);
        if (e == EAGAIN || e == EWOULDBLOCK || e == EINTR) return 0;
    }
    if (!self.signalled() && !Reopen(gen)) {
        Log(LOG_ETHER, 8, "DEVICE_Ether: Socket Error (8)- Reopen failed, aborting.");
        self.sleep_or_stop(250);
    }
    return 0;
}

}  // namespace trv
