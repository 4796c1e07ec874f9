#include "trvlib_devicers232.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace trv {

namespace {

std::string num(long long v) { return std::to_string(v); }

std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

std::vector<std::string> splitFields(const std::string& s) {
    std::vector<std::string> out;
    size_t from = 0;
    while (true) {
        const size_t comma = s.find(',', from);
        out.push_back(s.substr(from, comma == std::string::npos ? std::string::npos : comma - from));
        if (comma == std::string::npos) break;
        from = comma + 1;
    }
    return out;
}

// The port string, checked field by field.
struct PortSettings {
    std::string path;
    speed_t speed = B9600;
    tcflag_t dataBits = CS8;
    char parity = 'N';
    bool twoStopBits = false;
    char handshake = 'H';
};

speed_t baudConstant(int baud) {
    switch (baud) {
    case 110: return B110;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B0;
    }
}

// The number behind a speed constant of baudConstant.
int baudOf(speed_t s) {
    for (int b : {110, 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200})
        if (baudConstant(b) == s) return b;
    return 9600;
}

// Returns 0 or the status of the first bad field; `bad` gets its log text.
TARVIK_STATUS parsePort(const std::string& text, bool modem, PortSettings& ps, std::string& bad) {
    std::vector<std::string> f = splitFields(text);
    // Missing trailing fields come from the default string.
    const std::vector<std::string> def = splitFields(TRV_RS232Device::kDefaultPort);
    for (size_t i = f.size(); i < def.size(); ++i) f.push_back(def[i]);

    ps.path = f[0];
    ps.speed = baudConstant(stringtoi(f[1]));
    if (ps.speed == B0) {
        bad = "Error - inavid baudrate: " + f[1];
        return TARVIK_STATUS_BADBAUDRATE;
    }
    if (f[2] == "8") ps.dataBits = CS8;
    else if (f[2] == "7") ps.dataBits = CS7;
    else if (f[2] == "6") ps.dataBits = CS6;
    else {
        bad = "Error - inavid databits: " + f[2];
        return TARVIK_STATUS_BADDATABITS;
    }
    if (f[3] == "N" || f[3] == "E" || f[3] == "O") {
        ps.parity = f[3][0];
    } else {
        bad = "Error - inavid parity: " + f[3];
        return TARVIK_STATUS_BADPARITY;
    }
    if (f[4] == "1" || f[4] == "2") {
        ps.twoStopBits = f[4] == "2";
    } else {
        bad = "Error - inavid stopbits: " + f[4];
        return TARVIK_STATUS_BADSTOPBITS;
    }
    if (modem) {
        ps.handshake = 'H';  // a modem always talks RTS/CTS
    } else if (f[5] == "H" || f[5] == "S" || f[5] == "N") {
        ps.handshake = f[5][0];
    } else {
        bad = "Error - inavid handshake: " + f[5];
        return TARVIK_STATUS_BADHANDSHAKE;
    }
    return TARVIK_STATUS_OK;
}

void configure(termios& t, const PortSettings& ps) {
    cfsetispeed(&t, ps.speed);
    cfsetospeed(&t, ps.speed);
    t.c_cflag &= ~CSIZE;
    t.c_cflag |= ps.dataBits;
    if (ps.parity == 'N') {
        t.c_cflag &= ~PARENB;
    } else if (ps.parity == 'E') {
        t.c_cflag |= PARENB;
        t.c_cflag &= ~PARODD;
    } else {
        t.c_cflag |= PARENB | PARODD;
    }
    if (ps.twoStopBits) t.c_cflag |= CSTOPB;
    else t.c_cflag &= ~CSTOPB;
    if (ps.handshake == 'H') {
        t.c_cflag |= CRTSCTS;
        t.c_iflag &= ~(IXON | IXOFF | IXANY);
    } else if (ps.handshake == 'S') {
        t.c_cflag &= ~CRTSCTS;
        t.c_iflag |= IXON | IXOFF;
    } else {
        t.c_cflag &= ~CRTSCTS;
        t.c_iflag &= ~(IXON | IXOFF | IXANY);
    }
    // Raw binary line whatever the fields said. ISTRIP and IGNCR go as well:
    // a port left with them by another program would corrupt frames.
    t.c_lflag = 0;
    t.c_oflag &= ~(OPOST | ONLCR);
    t.c_iflag &= ~(BRKINT | PARMRK | INPCK | INLCR | ICRNL | IUCLC | IXANY | ISTRIP | IGNCR);
    t.c_iflag |= IGNBRK;
    t.c_cflag |= CREAD | HUPCL | CLOCAL;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 1;
}

// The port's own modem lines.
class PortLines : public ModemLines {
public:
    explicit PortLines(int fd) : fd_(fd) {}
    bool carrier() override {
        int bits = 0;
        // A port whose modem lines cannot be read (a pty, some adapters)
        // cannot report a lost carrier: it counts as present.
        if (::ioctl(fd_, TIOCMGET, &bits) < 0) return true;
        return (bits & TIOCM_CAR) != 0;
    }
    void setDTR(bool on) override {
        int bits = 0;
        if (::ioctl(fd_, TIOCMGET, &bits) < 0) return;
        if (on) bits |= TIOCM_DTR;
        else bits &= ~TIOCM_DTR;
        ::ioctl(fd_, TIOCMSET, &bits);
    }

private:
    int fd_;
};

}  // namespace

TARVIK_STATUS ApplyPortString(const std::string& text, bool modem, termios& t, std::string& path,
                              std::string& bad) {
    PortSettings ps;
    const TARVIK_STATUS st = parsePort(text, modem, ps, bad);
    path = ps.path;
    if (st == TARVIK_STATUS_OK) configure(t, ps);
    return st;
}

// ---------------------------------------------------------------- receiver

class RS232RecvThread final : public Thread {
public:
    explicit RS232RecvThread(TRV_RS232Device* dev) : myDevice(dev) { start(); }
    ~RS232RecvThread() override {
        signal();
        waitfor();
    }

protected:
    void execute() override { myDevice->ReceiverLoop(*this); }

private:
    TRV_RS232Device* myDevice;
};

// ---------------------------------------------------------------- object

TRV_RS232Device::TRV_RS232Device(std::shared_ptr<ModemLines> l) : injectedLines(std::move(l)) {}

TRV_RS232Device::~TRV_RS232Device() {
    PrepareClose();
    DeviceRealClose();
}

void TRV_RS232Device::PrepareClose() {
    // An open call is hung up first (up to 60 s; the device's open/close
    // lock is not held meanwhile).
    if (modemMode.load() && running.load()) ModemDisconnect(1);
}

bool TRV_RS232Device::carrier() { return lines && lines->carrier(); }

void TRV_RS232Device::setDTR(bool on) {
    if (lines) lines->setDTR(on);
}

// ---------------------------------------------------------------- parameters

TARVIK_STATUS TRV_RS232Device::SetDeviceParam(uint32_t id, void* value) {
    switch (id) {
    case TARVIK_PARAM_COMPARAMS:
    case TARVIK_PARAM_SENDTIMEOUT:
    case TARVIK_PARAM_MODEMMODE:
    case TARVIK_PARAM_MODEMINIT:
    case TARVIK_PARAM_MODEMCALL:
        if (!value) return TARVIK_STATUS_MISSINGVALUE;
        break;
    default:
        return TRV_Device::SetDeviceParam(id, value);
    }
    switch (id) {
    case TARVIK_PARAM_COMPARAMS: {
        const char* v = static_cast<const char*>(value);
        log(8, std::string("Setting parameters to: ") + v);
        MutexLock lk(paramMutex);
        comparams = v;
        break;
    }
    case TARVIK_PARAM_SENDTIMEOUT: {
        const uint32_t v = *static_cast<const uint32_t*>(value);
        log(8, "Setting frame send timeout: " + num(v));
        timeoutsec.store(v);
        break;
    }
    case TARVIK_PARAM_MODEMMODE: {
        const bool on = *static_cast<const uint8_t*>(value) != 0;
        log(8, std::string("Setting modem mode to: ") + (on ? "1" : "0"));
        modemMode.store(on);
        break;
    }
    case TARVIK_PARAM_MODEMINIT: {
        const char* v = static_cast<const char*>(value);
        log(8, std::string("Setting init modem parameters to: ") + v);
        MutexLock lk(paramMutex);
        modemInit = upper(v);
        break;
    }
    case TARVIK_PARAM_MODEMCALL: {
        const char* v = static_cast<const char*>(value);
        log(8, std::string("Setting dial modem parameters to: ") + v);
        MutexLock lk(paramMutex);
        modemCall = upper(v);
        break;
    }
    }
    return TARVIK_STATUS_OK;
}

TARVIK_STATUS TRV_RS232Device::GetDeviceParam(uint32_t id, void* value) {
    // The caller's buffer, as the API has it: no length.
    auto copyOut = [&](const std::string& s) { std::memcpy(value, s.c_str(), s.size() + 1); };
    switch (id) {
    case TARVIK_PARAM_COMPARAMS:
        if (!value) return TARVIK_STATUS_MISSINGVALUE;
        copyOut(param(&TRV_RS232Device::comparams));
        return TARVIK_STATUS_OK;
    case TARVIK_PARAM_MODEMMODE:
        if (!value) return TARVIK_STATUS_MISSINGVALUE;
        *static_cast<uint8_t*>(value) = modemMode.load() ? 1 : 0;
        return TARVIK_STATUS_OK;
    case TARVIK_PARAM_MODEMINIT:
        if (!value) return TARVIK_STATUS_MISSINGVALUE;
        copyOut(param(&TRV_RS232Device::modemInit));
        return TARVIK_STATUS_OK;
    case TARVIK_PARAM_MODEMCALL:
        if (!value) return TARVIK_STATUS_MISSINGVALUE;
        copyOut(param(&TRV_RS232Device::modemCall));
        return TARVIK_STATUS_OK;
    case TARVIK_PARAM_SENDTIMEOUT:  // not readable: the core refuses it
        if (!value) return TARVIK_STATUS_MISSINGVALUE;
        [[fallthrough]];
    default:
        return TRV_Device::GetDeviceParam(id, value);
    }
}

// ---------------------------------------------------------------- open / close

bool TRV_RS232Device::DeviceRealOpen() {
    log(8, "Starting device");
    log(8, "Openning communication port");
    const std::string text = param(&TRV_RS232Device::comparams);
    const bool modem = modemMode.load();
    termios t{};
    std::string path, bad;
    // Every field is checked before the port is touched.
    const TARVIK_STATUS st = ApplyPortString(text, modem, t, path, bad);
    if (st != TARVIK_STATUS_OK) {
        log(8, bad);
        SetErrorCode(st);
        return false;
    }

    const int d = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (d < 0) {
        const int e = errno;
        log(8, "Error opening device: " + num(e));
        SetErrorCode(e == ENOENT ? TARVIK_STATUS_NOSUCHDEVICE
                     : e == EACCES ? TARVIK_STATUS_ACCESSDENIED
                                   : TARVIK_STATUS_OPENFAILED);
        return false;
    }
    // The descriptor stays non-blocking: every wait is a poll() with the
    // stop descriptor, and a write never blocks on a stalled line.
    ::fcntl(d, F_SETFL, O_NONBLOCK);

    ::tcgetattr(d, &t);
    ApplyPortString(text, modem, t, path, bad);
    // A batch is what the line carries in about 100 ms (ten bits a byte):
    // a stop or a status poll never waits long behind it.
    batchBytes = std::max<size_t>(kMinBatch, static_cast<size_t>(baudOf(cfgetospeed(&t))) / 100);
    ::tcflush(d, TCIFLUSH);
    const int rc = ::tcsetattr(d, TCSANOW, &t);
    log(8, "Serial port set params status: " + num(rc));
    termios back{};
    if (::tcgetattr(d, &back) == 0) {
        if (back.c_cflag & CRTSCTS) log(12, "Params: CRTSCTS SET");
        if (back.c_iflag & IXON) log(12, "Params: IXON SET");
        if (back.c_iflag & IXOFF) log(12, "Params: IXOFF SET");
    }

    stopfd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    stopping = false;
    {
        MutexLock lk(writeMutex);
        fd = d;
    }
    lines = injectedLines ? injectedLines : std::make_shared<PortLines>(d);
    sender = std::make_unique<FunctionThread>([this](Thread& self) {
        setDTR(true);
        SenderLoop(self);
    });
    sender->start();
    recv = std::make_unique<RS232RecvThread>(this);
    running = true;
    return true;
}

bool TRV_RS232Device::DeviceRealClose() {
    if (!sender && !recv && fd < 0) return true;
    stopping = true;
    // Both threads are told before either is waited for: the receiver's
    // poll() returns at once on the stop descriptor and must find its stop
    // flag set, not go round again.
    if (sender) {
        log(8, "Signalling the sender thread");
        sender->signal();
    }
    if (recv) {
        log(8, "Signalling the receiver thread");
        recv->signal();
    }
    if (stopfd.load() >= 0) {
        uint64_t one = 1;
        (void)!::write(stopfd.load(), &one, sizeof one);
    }
    if (sender) {
        wakeSender();
        sender->waitfor();
        sender.reset();
        log(8, "The sender thread wait done");
    }
    if (recv) {
        recv->waitfor();
        recv.reset();
        log(8, "The recv thread wait done");
    }
    running = false;
    {
        MutexLock lk(writeMutex);
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    lines.reset();
    if (stopfd.load() >= 0) ::close(stopfd.load());
    stopfd = -1;
    return true;
}

// ---------------------------------------------------------------- writing

TARVIK_STATUS TRV_RS232Device::writeAll(const uint8_t* data, size_t len, bool isLine, FrameBatch* batch) {
    deviceIsBusySending = true;
    uint32_t periods = timeoutsec.load();
    TARVIK_STATUS result = TARVIK_STATUS_OK;
    size_t off = 0;
    // One 100 ms period in which the port took nothing; true when the
    // time-out is used up.
    auto idlePeriod = [&]() {
        if (periods <= 1) {
            log(14, "Full Timeout on Sender (FAIL)");
            return true;
        }
        --periods;
        return false;
    };
    while (off < len) {
        if (fd < 0) {  // not open
            result = TARVIK_STATUS_SELECTFAILED;
            break;
        }
        if (stopping.load()) {
            result = kStopped;
            break;
        }
        const int sfd = stopfd.load();
        pollfd p[2] = {{fd, POLLOUT, 0}, {sfd, POLLIN, 0}};
        const int n = ::poll(p, sfd >= 0 ? 2 : 1, 100);
        log(14, "Select status: " + num(n));
        if (n < 0) {
            const int e = errno;
            if (e == EINTR) continue;
            log(8, "Select failed Aborting ." + num(e));
            result = TARVIK_STATUS_SELECTFAILED;
            break;
        }
        if (n > 0 && (p[1].revents & POLLIN)) continue;  // stopping
        if (n == 0 || !(p[0].revents & (POLLOUT | POLLERR | POLLHUP))) {
            log(14, "Select Timeout on Sender (OK)");
            if (idlePeriod()) {
                result = TARVIK_STATUS_TIMEOUT;
                break;
            }
            continue;
        }
        const ssize_t w = ::write(fd, data + off, len - off);
        log(8, "Sent fragment: " + num(w));
        if (w > 0) {
            off += static_cast<size_t>(w);
            if (!isLine) bytesSent += static_cast<int>(w);
            if (batch) {
                // Every frame has the whole time-out to itself, as if
                // written alone.
                const size_t before = batch->whole;
                batch->advance(static_cast<size_t>(w), 0);
                if (batch->whole != before) periods = timeoutsec.load();
            }
            continue;
        }
        // The port said writable but took nothing (a full pty does that, a
        // hung-up line fails every write): the period counts as one in which
        // the port would not take data, so a dead port ends in the time-out
        // instead of a busy loop.
        const int e = errno;
        if (w < 0 && e == EINTR) continue;
        if (w < 0 && e == EAGAIN) log(8, "No data - waiting ..... ");
        else log(8, "write-error " + num(e));
        pollfd s{sfd, POLLIN, 0};
        ::poll(&s, sfd >= 0 ? 1 : 0, 100);
        if (idlePeriod()) {
            result = TARVIK_STATUS_TIMEOUT;
            break;
        }
    }
    if (result == TARVIK_STATUS_OK && isLine) log(10, "Line sent.");
    deviceIsBusySending = false;
    return result;
}

TARVIK_STATUS TRV_RS232Device::sendLocked(const uint8_t* data, size_t len, bool isLine, FrameBatch* batch) {
    MutexLock lk(writeMutex);
    return writeAll(data, len, isLine, batch);
}

// The frames of a batch in one write loop. A frame the port stops taking
// half-way is not sent (the time-out fails it, a stop leaves it pending);
// those wholly written before it are.
TARVIK_STATUS TRV_RS232Device::WriteFrames(FrameBatch& b, bool) {
    const size_t from = b.frameStart(b.whole);
    b.done = from;
    const TARVIK_STATUS st = sendLocked(b.bytes.data() + from, b.bytes.size() - from, false, &b);
    if (st == TARVIK_STATUS_OK) return st;
    b.restartFrame();
    return st == kStopped ? kKeepPending : st;  // cut short by a close: not sent
}

TARVIK_STATUS TRV_RS232Device::SendLine(const std::string& text) {
    const TARVIK_STATUS st = sendLocked(reinterpret_cast<const uint8_t*>(text.data()), text.size(), true, nullptr);
    return st == kStopped ? TARVIK_STATUS_TIMEOUT : st;
}

TARVIK_STATUS TRV_RS232Device::WriteBuffer(const char* text) {
    if (!text) return TARVIK_STATUS_INVALIDARG;
    if (deviceIsBusySending.load()) return TARVIK_STATUS_WRITEBUSY;
    return SendLine(text);
}

// ---------------------------------------------------------------- receiving

void TRV_RS232Device::sampleCarrier(bool afterFailedRead) {
    const bool dcd = carrier();
    const bool connected = modemMode.load() && modemState.load() == MODEM_STATE_CONNECTED;
    if (afterFailedRead) log(8, dcd ? "DCD ACTIVE event" : "DCD DROP event");
    else if (!dcd && connected) log(8, "DCD DROP event");
    if (connected && !dcd && !modemDCDdrop.load()) {
        log(8, "Setting line drop flag");
        modemDCDdrop = 1;
    }
}

// One pass of the receiver: wait until the port is readable, read at most
// 16 bytes. In modem mode the wait ends after 100 ms to look at the
// carrier; otherwise an idle port's receiver sleeps until bytes come or the
// device stops.
long TRV_RS232Device::ReadChunk(Thread& self, uint8_t* buf, size_t cap) {
    pollfd p[2] = {{fd, POLLIN, 0}, {stopfd.load(), POLLIN, 0}};
    const int n = ::poll(p, 2, modemMode.load() ? 100 : -1);
    log(14, "In Select status: " + num(n));
    if (n < 0) {
        const int e = errno;
        if (e == EINTR) return 0;
        log(8, "select-failed " + num(e));
        return -1;
    }
    if (n > 0 && (p[1].revents & POLLIN)) return 0;  // stopping
    if (n == 0) {
        // A quiet line: with CLOCAL set a lost carrier fails no read, so
        // a connected modem's carrier is watched here as well.
        if (modemMode.load() && modemState.load() == MODEM_STATE_CONNECTED) sampleCarrier(false);
        return 0;
    }
    const ssize_t r = ::read(fd, buf, cap);
    if (r > 0) return r;
    // End of file (a hung-up line) or an error.
    const int e = errno;
    if (r < 0 && e == EINTR) return 0;
    if (r < 0 && e == EAGAIN) log(8, "No data - waiting ..... ");
    else log(8, "read-error " + num(r < 0 ? e : 0));
    sampleCarrier(true);
    // A dead line keeps reporting itself readable: pause so the loop
    // does not spin.
    if (r == 0 || e != EAGAIN) self.sleep_or_stop(100);
    return 0;
}

// Bytes go to the modem line path while a modem is not connected, to the
// frame path otherwise.
void TRV_RS232Device::DeliverBytes(const uint8_t* buf, size_t n) {
    if (modemMode.load() && modemState.load() != MODEM_STATE_CONNECTED)
        modemLineBytes(buf, n);
    else
        ProcessRecvBytes(buf, n);
}

}  // namespace trv
