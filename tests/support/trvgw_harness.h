// The real gateway and real simulators as child processes, for the gateway's
// end-to-end tests and its benchmark: start, read the first line, signal,
// wait.
#pragma once

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace trvgw::test {

// A client that writes to a connection the gateway has closed gets EPIPE, as
// the gateway's real clients do, instead of the test process dying of SIGPIPE.
inline const bool kSigpipeIgnored = [] {
    ::signal(SIGPIPE, SIG_IGN);
    return true;
}();

// A child process with its standard output (and error) in a pipe.
class Proc {
public:
    Proc() = default;
    explicit Proc(const std::vector<std::string>& args, bool keepStderr = true) { start(args, keepStderr); }
    Proc(const Proc&) = delete;
    Proc& operator=(const Proc&) = delete;
    ~Proc() { stop(SIGKILL); }

    void start(const std::vector<std::string>& args, bool keepStderr = true) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        std::vector<std::string> a = args;
        std::vector<char*> argv;
        for (std::string& s : a) argv.push_back(s.data());
        argv.push_back(nullptr);
        const pid_t parent = getpid();
        pid_ = fork();
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent) _exit(1);
            dup2(fds[1], STDOUT_FILENO);
            if (!keepStderr) {
                const int null = open("/dev/null", O_WRONLY);
                dup2(null, STDERR_FILENO);
            }
            ::signal(SIGPIPE, SIG_DFL);  // the child starts as it would from a shell
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(fds[1]);
        out_ = fds[0];
    }

    // The next line of output, or "" after the time-out.
    std::string line(int timeoutMs = 20000) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const size_t nl = buf_.find('\n');
            if (nl != std::string::npos) {
                std::string l = buf_.substr(0, nl);
                buf_.erase(0, nl + 1);
                return l;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
            pollfd p{out_, POLLIN, 0};
            if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) return "";
            char b[4096];
            const ssize_t n = read(out_, b, sizeof b);
            if (n <= 0) return "";
            buf_.append(b, static_cast<size_t>(n));
        }
    }

    void signal(int sig) {
        if (pid_ > 0) kill(pid_, sig);
    }
    // Waits for the end; the exit status (or 128 + signal), -1 after the time-out.
    int wait(int timeoutMs = 30000) {
        if (pid_ <= 0) return status_;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            int st = 0;
            const pid_t r = waitpid(pid_, &st, WNOHANG);
            if (r == pid_) {
                pid_ = -1;
                status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
                return status_;
            }
            if (std::chrono::steady_clock::now() > deadline) return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    void stop(int sig = SIGTERM) {
        if (pid_ > 0) {
            signal(sig);
            if (wait(30000) < 0) {
                signal(SIGKILL);
                wait();
            }
        }
        if (out_ >= 0) close(out_), out_ = -1;
    }
    bool running() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int status_ = -1;
    std::string buf_;
};

// A loopback port free right now.
inline int freePort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    close(s);
    return ntohs(a.sin_port);
}

// trvsim on a loopback port.
class Sim {
public:
    Sim(const std::string& path, std::vector<std::string> opts = {}, int port = 0) { start(path, opts, port); }
    void start(const std::string& path, std::vector<std::string> opts, int port) {
        std::vector<std::string> a = {path, "--port", std::to_string(port)};
        a.insert(a.end(), opts.begin(), opts.end());
        proc.start(a);
        const std::string l = proc.line();
        if (l.rfind("port ", 0) != 0) throw std::runtime_error("trvsim did not start: " + l);
        this->port = std::stoi(l.substr(5));
    }
    Proc proc;
    int port = 0;
};

// trvgw with its arguments; port from its first line.
class Daemon {
public:
    Daemon(const std::string& path, std::vector<std::string> args) {
        std::vector<std::string> a = {path};
        a.insert(a.end(), args.begin(), args.end());
        proc.start(a);
        first = proc.line(60000);
        const size_t c = first.rfind(':');
        if (first.rfind("listening on ", 0) != 0 || c == std::string::npos)
            throw std::runtime_error("trvgw did not start: " + first);
        port = std::stoi(first.substr(c + 1));
    }
    Proc proc;
    std::string first;
    int port = 0;
};

inline std::string tempPath(const std::string& stem) {
    char t[256];
    std::snprintf(t, sizeof t, "/tmp/trvgw-test-%d-%s", static_cast<int>(getpid()), stem.c_str());
    return t;
}

inline void writeFile(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::trunc);
    f << text;
}

inline void removeDb(const std::string& path) {
    for (const char* s : {"", "-wal", "-shm"}) std::remove((path + s).c_str());
}

}  // namespace trvgw::test
