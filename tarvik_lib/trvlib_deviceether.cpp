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

namespace trv {

namespace {
std::string num(long long v) { return std::to_string(v); }
}  // namespace

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
        Log(LOG_ETHER, 8, std::string("DEVICE_Ether: Setting IP to: ") + v);
        std::lock_guard<std::mutex> lk(paramMutex);
        targ_ip = v;
        return TARVIK_STATUS_OK;
    }
    case TARVIK_PARAM_IPPORT: {
        if (!value) return TARVIK_STATUS_MISSINGVALUE;
        const char* v = static_cast<const char*>(value);
        Log(LOG_ETHER, 8, std::string("DEVICE_Ether: Setting PORT to: ") + v);
        port.store(static_cast<uint16_t>(stringtoi(v)));  // not a number: -1, kept as 65535
        return TARVIK_STATUS_OK;
    }
    case TARVIK_PARAM_SENDTIMEOUT: {
        if (!value) return TARVIK_STATUS_MISSINGVALUE;
        const uint32_t v = *static_cast<const uint32_t*>(value);
        Log(LOG_ETHER, 8, "DEVICE_Ether: Setting frame send timeout: " + num(v));
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

int TRV_EtherDevice::connectSocket(int& err) {
    std::string host;
    {
        std::lock_guard<std::mutex> lk(paramMutex);
        host = targ_ip;
    }
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) {
        err = errno;
        Log(LOG_ETHER, 8, "DEVICE_Ether: Socket Error (1)- " + num(err));
        return -1;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port.load());
    if (::inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1) {
        // Not a dotted address: resolve the name (thread-safe resolver).
        addrinfo hints{}, *res = nullptr;
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &res);
        if (rc != 0 || !res) {
            err = rc == EAI_SYSTEM ? errno : 0;
            Log(LOG_ETHER, 8, "DEVICE_Ether: Socket Error (2)- " + num(err));
            if (res) ::freeaddrinfo(res);
            ::close(s);
            return -1;
        }
        addr.sin_addr = reinterpret_cast<sockaddr_in*>(res->ai_addr)->sin_addr;
        ::freeaddrinfo(res);
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
        Log(LOG_ETHER, 8, "DEVICE_Ether: Socket Error (3)- " + num(err));
        ::close(s);
        return -1;
    }
    ::fcntl(s, F_SETFL, fl);  // the socket stays in blocking mode
    int one = 1;
    if (::setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one) < 0) {
        err = errno;
        Log(LOG_ETHER, 8, "DEVICE_Ether: Socket Error (4)- " + num(err));
        ::close(s);
        return -1;
    }
    // Frames are small and answered one by one: do not hold them back.
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return s;
}

bool TRV_EtherDevice::Reopen(uint64_t seen) {
    std::lock_guard<std::mutex> lk(reopenMutex);
    if (generation.load() != seen && connected.load()) return true;  // the other thread reconnected
    Log(LOG_ETHER, 8, "DEVICE_Ether: Openning communication port");
    // Whatever was written on the connection that goes now will not be
    // answered: those requests end with a time-out instead of waiting forever.
    const bool dropping = connected.exchange(false);
    if (dropping) {
        ++epoch;
        failWritten(TARVIK_STATUS_TIMEOUT);
    }
    int err = 0;
    int s = connectSocket(err);
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
        return false;
    }
    if (mysocket < 0) {
        mysocket = s;
    } else {
        ::dup2(s, mysocket);
        ::close(s);
    }
    connected = true;
    ++generation;  // last: a thread that saw the old number now knows to go on
    Log(LOG_ETHER, 8, "DEVICE_Ether: Device reopen");
    return true;
}

bool TRV_EtherDevice::DeviceRealOpen() {
    Log(LOG_ETHER, 8, "DEVICE_Ether: Starting device");
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
    Log(LOG_ETHER, 8, "DEVICE_Ether: Starting receiver thread");
    recv = std::make_unique<FunctionThread>([this](Thread& t) { receiveLoop(t); });
    recv->start();
    return true;
}

bool TRV_EtherDevice::DeviceRealClose() {
    if (!sender && !recv && mysocket < 0) return true;
    Log(LOG_ETHER, 8, "DEVICE_Ether: Signalling the sender thread");
    Log(LOG_ETHER, 8, "DEVICE_Ether: Signalling the receiver thread");
    if (stopfd >= 0) {
        uint64_t one = 1;
        (void)!::write(stopfd, &one, sizeof one);
    }
    if (sender) {
        sender->signal();
        wakeSender();
        sender->waitfor();
        sender.reset();
        Log(LOG_ETHER, 8, "DEVICE_Ether: The sender thread wait done");
    }
    if (recv) {
        recv->signal();
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

TARVIK_STATUS TRV_EtherDevice::WriteFrame(const uint8_t* data, size_t len) {
    size_t off = 0;
    bool wait = false;  // the socket said it would block: wait until writable
    uint64_t e0 = epoch.load();
    while (!sender->signalled()) {
        if (epoch.load() != e0) {
            // The connection was replaced mid-frame: the register never saw a
            // whole frame, so the new connection gets all of it.
            off = 0;
            e0 = epoch.load();
        }
        Log(LOG_ETHER, 14, "DEVICE_Ether: Send loop. ");
        const uint64_t gen = generation.load();
        if (!connected.load() && !Reopen(gen)) {
            Log(LOG_ETHER, 10, "DEVICE_Ether: Timeout in SendFrame.");
            return TARVIK_STATUS_TIMEOUT;
        }
        if (wait) {
            const int w = waitFor(mysocket, POLLOUT, 100);
            if (w == 0) continue;
            if (w < 0) {
                const int e = errno;
                Log(LOG_ETHER, 8, "DEVICE_Ether: Socket Error (9)- " + num(e));
                if (Reopen(gen)) continue;
                Log(LOG_ETHER, 8, "DEVICE_Ether: Socket Error (9)- Reopen failed, aborting.");
                SetErrorCode(static_cast<TARVIK_STATUS>(e));
                return kKeepPending;  // the next pass finds no connection and fails it
            }
        }
        const ssize_t n = ::send(mysocket, data + off, len - off, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            const int e = errno;
            wait = e == EAGAIN || e == EWOULDBLOCK;
            if (wait || e == EINTR) continue;
            Log(LOG_ETHER, 8, "DEVICE_Ether: Socket Error (10)- " + num(e));
            if (Reopen(gen)) continue;  // the rest goes over the new connection
            Log(LOG_ETHER, 8, "DEVICE_Ether: Socket Error (10)- Reopen failed, aborting.");
            SetErrorCode(static_cast<TARVIK_STATUS>(e));
            return kKeepPending;
        }
        wait = false;
        bytesSent += static_cast<int>(n);
        off += static_cast<size_t>(n);
        if (off == len) {
            writtenEpoch = e0;
            return TARVIK_STATUS_OK;
        }
    }
    return kKeepPending;  // stopped half-way: the frame was not sent
}

void TRV_EtherDevice::receiveLoop(Thread& self) {
    uint8_t buf[250];
    while (!self.signalled()) {
        const uint64_t gen = generation.load();
        if (!connected.load()) {
            if (!Reopen(gen)) {
                Log(LOG_ETHER, 8, "DEVICE_Ether: Socket Error (8)- Reopen failed, aborting.");
                self.sleep_or_stop(250);
            }
            continue;
        }
        // The stop descriptor wakes this wait, so it need not time out often.
        const int w = waitFor(mysocket, POLLIN, 1000);
        if (w == 0) continue;
        if (w < 0) {
            const int e = errno;
            Log(LOG_ETHER, 8, "DEVICE_Ether: Socket Error (7)- " + num(e));
            if (!Reopen(gen)) {
                Log(LOG_ETHER, 8, "DEVICE_Ether: Socket Error (7)- Reopen failed, aborting.");
                SetErrorCode(static_cast<TARVIK_STATUS>(e));
                self.sleep_or_stop(250);
            }
            continue;
        }
        bool reconnect = false;
        while (!self.signalled()) {
            const ssize_t n = ::recv(mysocket, buf, sizeof buf, MSG_DONTWAIT);
            if (n > 0) {
                Log(LOG_ETHER, 8, "DEVICE_Ether: Read: ", n);
                ProcessRecvBytes(buf, static_cast<size_t>(n));
                if (n < static_cast<ssize_t>(sizeof buf)) break;
                continue;
            }
            if (n == 0) {
                Log(LOG_ETHER, 8, "DEVICE_Ether: Connection looks like closed. ");
                reconnect = true;
                break;
            }
            const int e = errno;
            Log(LOG_ETHER, 8, "DEVICE_Ether: Socket Error (8)- " + num(e));
            if (e != EAGAIN && e != EWOULDBLOCK && e != EINTR) reconnect = true;
            break;
        }
        if (reconnect && !self.signalled() && !Reopen(gen)) {
            Log(LOG_ETHER, 8, "DEVICE_Ether: Socket Error (8)- Reopen failed, aborting.");
            self.sleep_or_stop(250);
        }
    }
    Log(LOG_ETHER, 8, "DEVICE_Ether: Finished receiver thread");
}

}  // namespace trv
