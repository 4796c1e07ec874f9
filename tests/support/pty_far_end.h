// The far end of a serial line for tests: a pty whose slave the device opens
// through its port string, and a thread on the master that plays the
// register (frames) and, optionally, a Hayes modem in front of it.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "register_play.h"
#include "trvlib_devicers232.h"
#include "trvlib_fifo.h"

namespace trv::test {

struct Pty {
    int master = -1;
    std::string slave;
    Pty() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0) slave = ::ptsname(master);
    }
    ~Pty() {
        if (master >= 0) ::close(master);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;
};

// Modem lines a pty lacks: DCD is whatever the test (or the fake modem) says.
class FakeLines : public ModemLines {
public:
    std::atomic<bool> dcd{false};
    std::atomic<bool> dtr{false};
    std::atomic<int> dtrDrops{0};
    std::function<void(bool)> onDTR;  // set before the device opens
    bool carrier() override { return dcd.load(); }
    void setDTR(bool on) override {
        if (dtr.exchange(on) && !on) ++dtrDrops;
        if (onDTR) onDTR(on);
    }
};

class FarEnd {
public:
    using Clock = std::chrono::steady_clock;

    // hayes: start in a modem's command mode rather than in the data phase.
    // Set the behaviour (answer, onFrame, lines) before start().
    FarEnd(int master, bool hayes = false) : fd_(master), dataMode_(!hayes) {}
    ~FarEnd() {
        stop_ = true;
        if (th_.joinable()) th_.join();
    }
    FarEnd& start() {
        th_ = std::thread([this] { run(); });
        return *this;
    }

    // ---- the modem
    std::atomic<bool> echo{false};
    // Answer text for a command (upper case, no CR); empty: say nothing.
    // A reply starting with CONNECT enters the data phase.
    std::function<std::string(const std::string&)> answer = [](const std::string& c) -> std::string {
        if (c.rfind("ATD", 0) == 0) return "CONNECT 9600";
        return "OK";
    };
    std::shared_ptr<FakeLines> lines;  // carrier follows the call when set

    // The modem hangs up (DTR dropped): back to command mode, carrier gone.
    void hangUp() {
        dataMode_ = false;
        if (lines) lines->dcd = false;
    }

    // ---- the register
    // Default: acknowledge and answer with the token's low word; command 8
    // reports "not busy".
    std::function<void(FarEnd&, const DecodedFrame&)> onFrame = [](FarEnd& f, const DecodedFrame& d) {
        f.send(regFrame(d.token, 1));
        if (d.cmd == 8) f.send(regFrame(d.token, 8, {B(0), W(0)}));
        else f.send(regFrame(d.token, d.cmd, {W(static_cast<uint16_t>(d.token))}));
    };
    std::atomic<bool> reading{true};  // false: leave the master unread

    void send(const std::vector<uint8_t>& b) { sendRaw(reinterpret_cast<const char*>(b.data()), b.size()); }
    void sendText(const std::string& s) { sendRaw(s.data(), s.size()); }

    std::vector<std::string> commands() {
        std::lock_guard<std::mutex> lk(m_);
        return cmds_;
    }
    size_t frameCount() {
        std::lock_guard<std::mutex> lk(m_);
        return frames_.size();
    }
    std::vector<std::pair<Clock::time_point, DecodedFrame>> frames() {
        std::lock_guard<std::mutex> lk(m_);
        return frames_;
    }
    bool sawCommand(const std::string& c) {
        for (const auto& x : commands())
            if (x == c) return true;
        return false;
    }
    bool inDataMode() const { return dataMode_.load(); }

    // Polls pred until it holds or ms pass.
    static bool eventually(const std::function<bool()>& pred, int ms = 3000) {
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (!pred()) {
            if (Clock::now() >= end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

private:
    void sendRaw(const char* p, size_t n) {
        while (n > 0) {
            const ssize_t w = ::write(fd_, p, n);
            if (w <= 0) {
                if (w < 0 && errno != EAGAIN && errno != EINTR) return;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            p += w;
            n -= static_cast<size_t>(w);
        }
    }
    void command(const std::string& raw) {
        std::string c;
        for (char ch : raw)
            if (ch != '\n') c += static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - 32 : ch);
        if (c.empty()) return;
        {
            std::lock_guard<std::mutex> lk(m_);
            cmds_.push_back(c);
        }
        if (echo) sendText(raw + "\r");
        const std::string a = answer(c);
        if (a.empty()) return;
        if (a.rfind("CONNECT", 0) == 0) {
            if (lines) lines->dcd = true;
            sendText("\r\n" + a + "\r\n");
            dataMode_ = true;
            return;
        }
        sendText("\r\n" + a + "\r\n");
    }
    void run() {
        std::string line;
        std::vector<uint8_t> frame;
        while (!stop_) {
            if (!reading) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 10) <= 0) continue;
            uint8_t buf[4096];
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n <= 0) {  // the device closed its end
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                continue;
            }
            if (dataMode_) {
                if (n == 3 && std::string(reinterpret_cast<char*>(buf), 3) == "+++") {
                    {
                        std::lock_guard<std::mutex> lk(m_);
                        cmds_.push_back("+++");
                    }
                    dataMode_ = false;
                    sendText("\r\nOK\r\n");
                                continue;
                }
                fifo_.push(buf, static_cast<size_t>(n));
                size_t dropped;
                while (fifo_.nextFrame(frame, dropped)) {
                    DecodedFrame d = decodeSent(frame);
                    {
                        std::lock_guard<std::mutex> lk(m_);
                        frames_.emplace_back(Clock::now(), d);
                    }
                                onFrame(*this, d);
                }
                continue;
            }
            for (ssize_t i = 0; i < n; ++i) {
                if (buf[i] == '\r') {
                    command(line);
                    line.clear();
                } else if (buf[i] == '+' && line == "++") {  // escape outside the data phase
                    line.clear();
                } else {
                    line += static_cast<char>(buf[i]);
                }
            }
        }
    }

    int fd_;
    std::atomic<bool> dataMode_;
    std::atomic<bool> stop_{false};
    std::thread th_;
    FIFO fifo_;
    std::mutex m_;
    std::vector<std::string> cmds_;                                    // guarded by m_
    std::vector<std::pair<Clock::time_point, DecodedFrame>> frames_;   // guarded by m_
};

}  // namespace trv::test
