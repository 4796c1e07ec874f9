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

int msLeft(Clock::time_point deadline) {
    const auto d = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return d > 0 ? static_cast<int>(d) : 0;
}

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
    explicit RS232RecvThread(TRV_RS232Device* dev) : myDevice(dev) {
        myDevice->log(8, "Starting receiver thread");
        start();
    }
    ~RS232RecvThread() override {
        signal();
        waitfor();
    }

protected:
    void execute() override { myDevice->receiveLoop(*this); }

private:
    TRV_RS232Device* myDevice;
};

// ---------------------------------------------------------------- object

TRV_RS232Device::TRV_RS232Device(std::shared_ptr<ModemLines> l) : injectedLines(std::move(l)) {}

TRV_RS232Device::~TRV_RS232Device() { DeviceRealClose(); }

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
        std::lock_guard<std::mutex> lk(paramMutex);
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
        std::lock_guard<std::mutex> lk(paramMutex);
        modemInit = upper(v);
        break;
    }
    case TARVIK_PARAM_MODEMCALL: {
        const char* v = static_cast<const char*>(value);
        log(8, std::string("Setting dial modem parameters to: ") + v);
        std::lock_guard<std::mutex> lk(paramMutex);
        modemCall = upper(v);
        break;
    }
    }
    return TARVIK_STATUS_OK;
}

TARVIK_STATUS TRV_RS232Device::GetDeviceParam(uint32_t id, void* value) {
    auto copyOut = [&](const std::string& s) {
        std::lock_guard<std::mutex> lk(paramMutex);
        std::memcpy(value, s.c_str(), s.size() + 1);  // the caller's buffer, as the API has it
    };
    switch (id) {
    case TARVIK_PARAM_COMPARAMS:
        if (!value) return TARVIK_STATUS_MISSINGVALUE;
        copyOut(comparams);
        return TARVIK_STATUS_OK;
    case TARVIK_PARAM_MODEMMODE:
        if (!value) return TARVIK_STATUS_MISSINGVALUE;
        *static_cast<uint8_t*>(value) = modemMode.load() ? 1 : 0;
        return TARVIK_STATUS_OK;
    case TARVIK_PARAM_MODEMINIT:
        if (!value) return TARVIK_STATUS_MISSINGVALUE;
        copyOut(modemInit);
        return TARVIK_STATUS_OK;
    case TARVIK_PARAM_MODEMCALL:
        if (!value) return TARVIK_STATUS_MISSINGVALUE;
        copyOut(modemCall);
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
    std::string text;
    {
        std::lock_guard<std::mutex> lk(paramMutex);
        text = comparams;
    }
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
        std::lock_guard<std::mutex> lk(writeMutex);
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
    // An open call is hung up first.
    if (modemMode.load() && running.load()) ModemDisconnect(1);

    stopping = true;
    if (stopfd.load() >= 0) {
        uint64_t one = 1;
        (void)!::write(stopfd.load(), &one, sizeof one);
    }
    if (sender) {
        log(8, "Signalling the sender thread");
        sender->signal();
        wakeSender();
        sender->waitfor();
        sender.reset();
        log(8, "The sender thread wait done");
    }
    if (recv) {
        log(8, "Signalling the receiver thread");
        recv->signal();
        recv->waitfor();
        recv.reset();
        log(8, "The recv thread wait done");
    }
    running = false;
    {
        std::lock_guard<std::mutex> lk(writeMutex);
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    lines.reset();
    if (stopfd.load() >= 0) ::close(stopfd.load());
    stopfd = -1;
    return true;
}

// ---------------------------------------------------------------- writing

TARVIK_STATUS TRV_RS232Device::writeAll(const uint8_t* data, size_t len, bool isLine) {
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

TARVIK_STATUS TRV_RS232Device::sendLocked(const uint8_t* data, size_t len, bool isLine) {
    std::lock_guard<std::mutex> lk(writeMutex);
    return writeAll(data, len, isLine);
}

TARVIK_STATUS TRV_RS232Device::WriteFrame(const uint8_t* data, size_t len) {
    const TARVIK_STATUS st = sendLocked(data, len, false);
    return st == kStopped ? kKeepPending : st;  // cut short by a close: not sent
}

TARVIK_STATUS TRV_RS232Device::SendLine(const std::string& text) {
    const TARVIK_STATUS st = sendLocked(reinterpret_cast<const uint8_t*>(text.data()), text.size(), true);
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

void TRV_RS232Device::receiveLoop(Thread& self) {
    uint8_t buf[16];
    while (!self.signalled()) {
        pollfd p[2] = {{fd, POLLIN, 0}, {stopfd.load(), POLLIN, 0}};
        const int n = ::poll(p, 2, 100);
        log(14, "In Select status: " + num(n));
        if (n < 0) {
            const int e = errno;
            if (e == EINTR) continue;
            log(8, "select-failed " + num(e));
            break;
        }
        if (n > 0 && (p[1].revents & POLLIN)) continue;  // stopping
        if (n == 0) {
            // A quiet line: with CLOCAL set a lost carrier fails no read, so
            // a connected modem's carrier is watched here as well.
            if (modemMode.load() && modemState.load() == MODEM_STATE_CONNECTED) sampleCarrier(false);
            continue;
        }
        const ssize_t r = ::read(fd, buf, sizeof buf);
        if (r > 0) {
            if (modemMode.load() && modemState.load() != MODEM_STATE_CONNECTED)
                modemLineBytes(buf, static_cast<size_t>(r));
            else
                ProcessRecvBytes(buf, static_cast<size_t>(r));
            continue;
        }
        // End of file (a hung-up line) or an error.
        const int e = errno;
        if (r < 0 && e == EINTR) continue;
        if (r < 0 && e == EAGAIN) log(8, "No data - waiting ..... ");
        else log(8, "read-error " + num(r < 0 ? e : 0));
        sampleCarrier(true);
        // A dead line keeps reporting itself readable: pause so the loop
        // does not spin.
        if (r == 0 || e != EAGAIN) self.sleep_or_stop(100);
    }
    log(8, "Finished receiver thread");
}

void TRV_RS232Device::modemLineBytes(const uint8_t* b, size_t n) {
    // Modem answers are a few dozen characters; text that never ends its
    // line is dropped rather than collected without bound.
    constexpr size_t kMaxLine = 1024;
    fifo.push(b, n);
    Log(LOG_DEVICE, 14, "DEVICE_RS232: Data received MODEM: " + num(static_cast<long long>(n)));
    std::string line;
    while (fifo.nextLine(line)) {
        Log(LOG_FRAMES, 6, "DEVICE_RS232: LINE Received : " + line);
        // Hayes answers come framed in CR LF, so blank lines are no answers.
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        if (line.size() > kMaxLine) line.resize(kMaxLine);
        {
            std::lock_guard<std::mutex> lk(modemBufferMutex);
            modemBuffer = upper(line);
        }
        modemBufferReady.post();
    }
    if (fifo.size() > kMaxLine) {
        log(8, "Dropped overlong modem line: " + num(static_cast<long long>(fifo.size())));
        fifo.flush();
    }
}

// ---------------------------------------------------------------- modem API

TARVIK_STATUS TRV_RS232Device::ModemDial(int wait) {
    if (!modemMode.load()) return TARVIK_STATUS_NOTMODEM;
    const int st = modemState.load();
    if (st != MODEM_STATE_IDLE && st != MODEM_STATE_DISCONN && st != MODEM_STATE_ERROR)
        return TARVIK_STATUS_MODEM_BUSY;
    const uint32_t before = modemAttempts.load();
    int expected = 0;
    if (!modemReqCall.compare_exchange_strong(expected, 1)) return TARVIK_STATUS_MODEM_BUSY;
    if (!wait) return TARVIK_STATUS_OK;
    const auto deadline = Clock::now() + std::chrono::seconds(180);
    while (Clock::now() < deadline && running.load()) {
        // The sender moves the state away first and counts the attempt
        // after, so an old ERROR is never taken for this call's outcome.
        if (modemAttempts.load() != before) {
            const int s = modemState.load();
            if (s == MODEM_STATE_CONNECTED) return TARVIK_STATUS_OK;
            if (s == MODEM_STATE_ERROR) return static_cast<TARVIK_STATUS>(modemError.load());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
    return TARVIK_STATUS_MODEM_OTHERERROR;
}

TARVIK_STATUS TRV_RS232Device::ModemDisconnect(int wait) {
    if (!modemMode.load()) return TARVIK_STATUS_NOTMODEM;
    if (modemState.load() != MODEM_STATE_CONNECTED) return TARVIK_STATUS_MODEM_NOTCONNECTED;
    modemReqDisconnect = 1;
    if (!wait) return TARVIK_STATUS_OK;
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (Clock::now() < deadline && running.load()) {
        const int s = modemState.load();
        if (s == MODEM_STATE_DISCONN) return TARVIK_STATUS_OK;
        if (s == MODEM_STATE_ERROR) return static_cast<TARVIK_STATUS>(modemError.load());
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
    return TARVIK_STATUS_MODEM_OTHERERROR;
}

TARVIK_STATUS TRV_RS232Device::ModemStatus() {
    if (!modemMode.load()) return TARVIK_STATUS_NOTMODEM;
    switch (modemState.load()) {
    case MODEM_STATE_IDLE:
    case MODEM_STATE_DISCONN:
        return modemReqCall.load() ? TARVIK_STATUS_MODEM_CONNECTING : TARVIK_STATUS_MODEM_IDLE;
    case MODEM_STATE_AT1:
    case MODEM_STATE_AT2:
    case MODEM_STATE_ATINIT:
    case MODEM_STATE_ATDIAL:
        return TARVIK_STATUS_MODEM_CONNECTING;
    case MODEM_STATE_CONNECTED:
        return TARVIK_STATUS_MODEM_CONNECTED;
    case MODEM_STATE_DTR:
    case MODEM_STATE_PLUS:
    case MODEM_STATE_PLUS2:
        return TARVIK_STATUS_MODEM_DISCONNECTING;
    case MODEM_STATE_ERROR:
        return modemReqCall.load() ? TARVIK_STATUS_MODEM_CONNECTING
                                   : static_cast<TARVIK_STATUS>(modemError.load());
    default:
        return TARVIK_STATUS_MODEM_OTHERERROR;
    }
}

// ---------------------------------------------------------------- modem state machine

bool TRV_RS232Device::SenderPrePass(Thread& self) {
    if (!modemMode.load()) return false;
    if (modemState.load() != MODEM_STATE_CONNECTED) {
        modemStep(self);
        return true;  // no frames without a connection
    }
    if (modemDCDdrop.load()) {
        modemDCDdrop = 0;
        modemError = TARVIK_STATUS_MODEM_CONNECTIONLOST;
        modemState = MODEM_STATE_ERROR;
        log(10, "Detected lost carrier, going to MODEM_STATE_ERROR, TARVIK_STATUS_MODEM_CONNECTIONLOST");
        return true;
    }
    if (modemReqDisconnect.load()) {
        modemReqDisconnect = 0;
        modemState = MODEM_STATE_DTR;
        log(10, "Requested disconnection, going to disconnect");
        return true;
    }
    return false;
}

void TRV_RS232Device::jump(int state, const std::string& msg) {
    modemState = state;
    log(10, msg);
}

void TRV_RS232Device::fail(int error, const std::string& msg) {
    modemError = error;
    modemState = MODEM_STATE_ERROR;
    log(10, msg);
}

void TRV_RS232Device::abandonStep() {
    // The port is closing, which drops DTR: whatever was under way is gone.
    const int s = modemState.load();
    if (s == MODEM_STATE_DTR || s == MODEM_STATE_PLUS || s == MODEM_STATE_PLUS2) modemState = MODEM_STATE_DISCONN;
    else modemState = MODEM_STATE_IDLE;
}

void TRV_RS232Device::drainLines(Thread& self) {
    // Lines that came before the command do not answer it. Bounded, so a
    // modem that chatters without pause cannot hold the sender here.
    const auto until = Clock::now() + std::chrono::milliseconds(500);
    while (!self.signalled() && Clock::now() < until && modemBufferReady.wait(5)) {
    }
}

TRV_RS232Device::Wait TRV_RS232Device::awaitLine(Thread& self, int ms, const std::string& sent,
                                                  std::string& line) {
    auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    bool echoSeen = false;
    while (true) {
        if (self.signalled()) return Wait::Stopped;
        const int left = msLeft(deadline);
        if (left <= 0) return Wait::None;
        if (!modemBufferReady.wait(std::min(left, 100))) continue;
        {
            std::lock_guard<std::mutex> lk(modemBufferMutex);
            line = modemBuffer;
        }
        if (!sent.empty() && line == sent) {
            // The modem's echo of the command: the answer is still to come.
            // Only the first echo buys the full time again.
            if (!echoSeen) deadline = Clock::now() + std::chrono::milliseconds(ms);
            echoSeen = true;
            continue;
        }
        return Wait::Line;
    }
}

void TRV_RS232Device::modemStep(Thread& self) {
    switch (modemState.load()) {
    case MODEM_STATE_IDLE:
    case MODEM_STATE_DISCONN:
    case MODEM_STATE_ERROR:
        stepIdle(self);
        break;
    case MODEM_STATE_AT1:
        stepAT(self, false);
        break;
    case MODEM_STATE_AT2:
        stepAT(self, true);
        break;
    case MODEM_STATE_ATINIT:
        stepInit(self);
        break;
    case MODEM_STATE_ATDIAL:
        stepDial(self);
        break;
    case MODEM_STATE_DTR:
        stepDTR(self);
        break;
    case MODEM_STATE_PLUS:
        stepPlus(self, false);
        break;
    case MODEM_STATE_PLUS2:
        stepPlus(self, true);
        break;
    default:
        // Not a state of ours (answering is never entered): start over.
        modemState = MODEM_STATE_IDLE;
        self.sleep_or_stop(50);
        break;
    }
}

void TRV_RS232Device::stepIdle(Thread& self) {
    if (modemReqCall.load()) {
        modemError = 0;
        modemReqDisconnect = 0;
        modemDCDdrop = 0;
        modemState = MODEM_STATE_AT1;
        modemReqCall = 0;
        ++modemAttempts;  // after the state: see ModemDial
        log(10, "Call request received, Jump to state: MODEM_STATE_AT1");
    }
    modemRING = 0;
    self.sleep_or_stop(50);
}

void TRV_RS232Device::stepAT(Thread& self, bool second) {
    log(10, second ? "In state: MODEM_STATE_AT2" : "In state: MODEM_STATE_AT1");
    if (!second) {
        setDTR(true);
        if (self.sleep_or_stop(250)) return abandonStep();
    }
    drainLines(self);
    if (SendLine("AT\r") != TARVIK_STATUS_OK) {
        if (self.signalled()) return abandonStep();
        return fail(TARVIK_STATUS_MODEM_NOMODEM,
                    "Could not send AT cmd, Jump to state: MODEM_STATE_ERROR, TARVIK_STATUS_MODEM_NOMODEM");
    }
    std::string line;
    switch (awaitLine(self, timings.atAnswerMs, "AT", line)) {
    case Wait::Stopped:
        return abandonStep();
    case Wait::Line:
        if (line.find("OK") != std::string::npos) {
            self.sleep_or_stop(10);
            return jump(MODEM_STATE_ATINIT, "Received OK, Jump to state: MODEM_STATE_ATINIT");
        }
        if (!second) return jump(MODEM_STATE_AT2, "Wrong answer, Jump to state: MODEM_STATE_AT2");
        return fail(TARVIK_STATUS_MODEM_NOMODEM,
                    "Received other, Jump to state: MODEM_STATE_ERROR, TARVIK_STATUS_MODEM_NOMODEM");
    case Wait::None:
        if (!second) {
            jump(MODEM_STATE_AT2, "No answer, Jump to state: MODEM_STATE_AT2");
            self.sleep_or_stop(50);
            return;
        }
        return fail(TARVIK_STATUS_MODEM_NOMODEM,
                    "No answer, Jump to state: MODEM_STATE_ERROR, TARVIK_STATUS_MODEM_NOMODEM");
    }
}

void TRV_RS232Device::stepInit(Thread& self) {
    log(10, "In state: MODEM_STATE_ATINIT");
    std::string init;
    {
        std::lock_guard<std::mutex> lk(paramMutex);
        init = modemInit;
    }
    if (init.empty()) {
        jump(MODEM_STATE_ATDIAL, "No init string set, Jump to state: MODEM_STATE_ATDIAL");
        self.sleep_or_stop(10);
        return;
    }
    drainLines(self);
    if (SendLine(init + "\r") != TARVIK_STATUS_OK) {
        if (self.signalled()) return abandonStep();
        return fail(TARVIK_STATUS_MODEM_NOMODEM,
                    "Could not send init string, Jump to state: MODEM_STATE_ERROR, TARVIK_STATUS_MODEM_NOMODEM");
    }
    std::string line;
    switch (awaitLine(self, timings.initAnswerMs, init, line)) {
    case Wait::Stopped:
        return abandonStep();
    case Wait::Line:
        if (line.find("OK") != std::string::npos) {
            self.sleep_or_stop(10);
            return jump(MODEM_STATE_ATDIAL, "Received OK, Jump to state: MODEM_STATE_ATDIAL");
        }
        return fail(TARVIK_STATUS_MODEM_BADINIT,
                    "Received other, Jump to state: MODEM_STATE_ERROR, TARVIK_STATUS_MODEM_BADINIT");
    case Wait::None:
        return fail(TARVIK_STATUS_MODEM_NOMODEM,
                    "No answer, Jump to state: MODEM_STATE_ERROR, TARVIK_STATUS_MODEM_NOMODEM");
    }
}

void TRV_RS232Device::stepDial(Thread& self) {
    log(10, "In state: MODEM_STATE_ATDIAL");
    std::string dial;
    {
        std::lock_guard<std::mutex> lk(paramMutex);
        dial = modemCall;
    }
    if (dial.empty())
        return fail(TARVIK_STATUS_MODEM_BADDIAL,
                    "No dial string, Jump to state: MODEM_STATE_ERROR, TARVIK_STATUS_MODEM_BADDIAL");
    drainLines(self);
    if (SendLine(dial + "\r") != TARVIK_STATUS_OK) {
        if (self.signalled()) return abandonStep();
        return fail(TARVIK_STATUS_MODEM_NOMODEM,
                    "Could not send dial string, Jump to state: MODEM_STATE_ERROR, TARVIK_STATUS_MODEM_NOMODEM");
    }
    std::string line;
    switch (awaitLine(self, timings.dialAnswerMs, dial, line)) {
    case Wait::Stopped:
        return abandonStep();
    case Wait::Line:
        if (line.find("CONNECT") != std::string::npos)
            return jump(MODEM_STATE_CONNECTED, "Received CONNECT, Jump to state: MODEM_STATE_CONNECTED");
        if (line.find("NO DIALTONE") != std::string::npos)
            return fail(TARVIK_STATUS_MODEM_NODIALTONE,
                        "Received NO DIALTONE, Jump to state: MODEM_STATE_ERROR, TARVIK_STATUS_MODEM_NODIALTONE");
        if (line.find("NO CARRIER") != std::string::npos)
            return fail(TARVIK_STATUS_MODEM_NOCARRIER,
                        "Received NO CARRIER, Jump to state: MODEM_STATE_ERROR, TARVIK_STATUS_MODEM_NOCARRIER");
        return fail(TARVIK_STATUS_MODEM_OTHERERROR,
                    "Received other, Jump to state: MODEM_STATE_ERROR, TARVIK_STATUS_MODEM_OTHERERROR");
    case Wait::None:
        return fail(TARVIK_STATUS_MODEM_NOMODEM,
                    "No answer, Jump to state: MODEM_STATE_ERROR, TARVIK_STATUS_MODEM_NOMODEM");
    }
}

void TRV_RS232Device::stepDTR(Thread& self) {
    log(10, "In state: MODEM_STATE_DTR");
    modemReqDisconnect = 0;
    setDTR(false);
    const auto start = Clock::now();
    while (true) {
        if (self.sleep_or_stop(100)) {
            abandonStep();
            break;
        }
        if (Clock::now() - start >= std::chrono::milliseconds(timings.dtrHangupMs)) {
            jump(MODEM_STATE_PLUS, "15 sec timeout, Jump to state: MODEM_STATE_PLUS");
            break;
        }
        if (modemDCDdrop.load() || !carrier()) {
            jump(MODEM_STATE_DISCONN, "DCD dropped, Jump to state: MODEM_STATE_DISCONN");
            break;
        }
    }
    setDTR(true);
}

void TRV_RS232Device::stepPlus(Thread& self, bool second) {
    log(10, second ? "In state: MODEM_STATE_PLUS2" : "In state: MODEM_STATE_PLUS");
    // A failure moves on to the second attempt, or after it ends the hang-up.
    auto failed = [&](const char* first, const char* last) {
        if (!second) {
            jump(MODEM_STATE_PLUS2, first);
            self.sleep_or_stop(50);
        } else {
            fail(TARVIK_STATUS_MODEM_ERRORONDISCONNECT, last);
        }
    };
    if (self.sleep_or_stop(timings.guardMs)) return abandonStep();
    if (SendLine("+++") != TARVIK_STATUS_OK) {
        if (self.signalled()) return abandonStep();
        return failed("Could not send +++, Jump to state: MODEM_STATE_PLUS2",
                      "Could not send +++, Jump to state: MODEM_STATE_ERROR, TARVIK_STATUS_MODEM_ERRORONDISCONNECT");
    }
    if (self.sleep_or_stop(timings.guardMs)) return abandonStep();
    drainLines(self);
    if (SendLine("ATH0\r") != TARVIK_STATUS_OK) {
        if (self.signalled()) return abandonStep();
        return failed("Could not send ATH0 Jump to state: MODEM_STATE_PLUS2",
                      "Could not send ATH0, Jump to state: MODEM_STATE_ERROR, TARVIK_STATUS_MODEM_ERRORONDISCONNECT");
    }
    std::string line;
    switch (awaitLine(self, timings.hangupAnswerMs, "ATH0", line)) {
    case Wait::Stopped:
        return abandonStep();
    case Wait::Line:
        if (line.find("OK") != std::string::npos) {
            jump(MODEM_STATE_DISCONN, "Received OK, Jump to state: MODEM_STATE_DISCONN");
            self.sleep_or_stop(10);
            return;
        }
        return failed("Received other, Jump to state: MODEM_STATE_PLUS2",
                      "Received other, Jump to state: MODEM_STATE_ERROR, TARVIK_STATUS_MODEM_ERRORONDISCONNECT");
    case Wait::None:
        return failed("No answer, Jump to state: MODEM_STATE_PLUS2",
                      "No answer, Jump to state: MODEM_STATE_ERROR, TARVIK_STATUS_MODEM_ERRORONDISCONNECT");
    }
}

}  // namespace trv
