// A raw-frame client for the register simulator: plays the library's side
// of the line over a loopback socket, with the library's codec, so tests can
// look at every frame the register sends.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sim_register.h"
#include "sim_state.h"
#include "sim_tcp.h"
#include "trvlib_fifo.h"
#include "trvlib_frame.h"

namespace trvsim::test {

struct Frame {
    int rc = -1;  // decodeFrame's result; -1: nothing arrived in time
    trv::DecodedFrame f;
    std::vector<uint8_t> raw;
    bool ok() const { return rc == trv::FRAME_OK; }
};

class Client {
public:
    explicit Client(int port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~Client() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool connected() const { return fd_ >= 0; }

    // A request frame as the library writes it (items enciphered first).
    std::vector<uint8_t> frame(uint32_t token, uint16_t cmd, const Items& values = {}, uint16_t flags = 0) const {
        std::vector<const trv::TRV_DataItem*> p;
        for (const auto& v : values) p.push_back(&v);
        return trv::encodeFrame(flags, token, cmd, p, cipher, trv::CipherOrder::ItemsFirst);
    }
    void sendRaw(const std::vector<uint8_t>& b) const {
        [[maybe_unused]] ssize_t n = ::send(fd_, b.data(), b.size(), MSG_NOSIGNAL);
    }
    uint32_t send(uint16_t cmd, const Items& values = {}, uint16_t flags = 0) {
        sendRaw(frame(++token, cmd, values, flags));
        return token;
    }

    // The next frame the register sends, decoded as the library decodes it.
    Frame next(int timeoutMs = 2000) {
        Frame fr;
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            size_t dropped = 0;
            if (fifo_.nextFrame(fr.raw, dropped)) {
                droppedBytes += dropped;
                fr.rc = trv::decodeFrame(fr.raw.data(), fr.raw.size(), cipher, trv::CipherOrder::CommandFirst, fr.f);
                return fr;
            }
            droppedBytes += dropped;
            if (!fill(until)) return fr;
        }
    }

    // Acknowledgement, then the final answer of a request.
    Frame request(uint16_t cmd, const Items& values = {}) {
        const uint32_t t = send(cmd, values);
        Frame ack = next();
        if (!ack.ok() || ack.f.cmd != 1 || ack.f.token != t) return ack;
        return next();
    }

    // The same frame with its CRC inverted (escaping redone).
    static std::vector<uint8_t> withBadCrc(const std::vector<uint8_t>& frame) {
        std::vector<uint8_t> body;
        for (size_t i = 2; i + 2 < frame.size(); ++i) {
            if (frame[i] == 0x10) ++i;
            body.push_back(frame[i]);
        }
        body[body.size() - 1] ^= 0xFF;
        body[body.size() - 2] ^= 0xFF;
        std::vector<uint8_t> out{0x10, 0x02};
        const std::vector<uint8_t> esc = trv::escapeDLE(body.data(), body.size());
        out.insert(out.end(), esc.begin(), esc.end());
        out.push_back(0x10);
        out.push_back(0x03);
        return out;
    }

    // True when the register closed the connection within the time.
    bool closedByPeer(int timeoutMs = 2000) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (fill(until)) {
        }
        return eof_;
    }

    trv::Cipher cipher;
    uint32_t token = 0;
    size_t droppedBytes = 0;
    size_t chunksRead = 0;

private:
    bool fill(std::chrono::steady_clock::time_point until) {
        if (fd_ < 0 || eof_) return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
        uint8_t buf[4096];
        const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        if (n <= 0) {
            eof_ = true;
            return false;
        }
        ++chunksRead;
        fifo_.push(buf, static_cast<size_t>(n));
        return true;
    }

    int fd_ = -1;
    bool eof_ = false;
    trv::FIFO fifo_;
};

// Starts the trvsim program with the given options; its standard output is
// readable through *out. The child's pid, or -1.
inline pid_t spawnTrvsim(const std::string& exe, std::vector<std::string> args, FILE** out) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        close(fds[0]);
        std::vector<char*> argv{const_cast<char*>("trvsim")};
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(exe.c_str(), argv.data());
        _exit(127);
    }
    close(fds[1]);
    *out = pid > 0 ? fdopen(fds[0], "r") : nullptr;
    return pid;
}

// A simulated register serving TCP on a free loopback port for one test.
class SimServerTest : public ::testing::Test {
protected:
    explicit SimServerTest(int busyMs) : busyMs_(busyMs) {}
    void SetUp() override {
        reg.setBusyMs(busyMs_);
        port = server.start(0);
        ASSERT_GT(port, 0);
    }
    void TearDown() override { server.stop(); }

    Register reg;
    TcpServer server{reg};
    int port = -1;

private:
    int busyMs_;
};

}  // namespace trvsim::test
