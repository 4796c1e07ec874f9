// Runs the real trvctl executable for the tests: waited for, or in the
// background so that a test can signal it.
#pragma once

#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace trvctl_test {

struct Outcome {
    int status = -1;  // the exit status, or 128 + the signal that ended it
    std::string out, err;
};

struct RunOptions {
    std::string stdinFile;                                  // "" : inherited
    std::string stdoutFile;                                 // "" : captured
    const char* device = nullptr;                           // TRVCTL_DEVICE, else unset
    std::vector<std::pair<std::string, std::string>> env;   // more variables
};
inline RunOptions withStdin(const std::string& f) {
    RunOptions o;
    o.stdinFile = f;
    return o;
}
inline RunOptions withStdout(const std::string& f) {
    RunOptions o;
    o.stdoutFile = f;
    return o;
}
inline RunOptions withDevice(const char* d) {
    RunOptions o;
    o.device = d;
    return o;
}

// The executable: TRVCTL_UNDER_TEST when set (to run the suite against
// another build), else the one built beside the tests.
inline const char* trvctlPath() {
    const char* p = std::getenv("TRVCTL_UNDER_TEST");
    return p && *p ? p : TRVCTL_PATH;
}

class Child {
public:
    Child(const std::vector<std::string>& args, const RunOptions& o = {}) {
        int out[2], err[2];
        if (pipe(out) != 0 || pipe(err) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            if (o.stdoutFile.empty()) {
                dup2(out[1], 1);
            } else {
                const int fd = open(o.stdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                if (fd >= 0) dup2(fd, 1);
            }
            dup2(err[1], 2);
            close(out[0]);
            close(err[0]);
            if (!o.stdinFile.empty()) {
                const int fd = open(o.stdinFile.c_str(), O_RDONLY);
                if (fd >= 0) dup2(fd, 0);
            }
            // The test's own mask and dispositions are not the child's.
            sigset_t none;
            sigemptyset(&none);
            sigprocmask(SIG_SETMASK, &none, nullptr);
            ::signal(SIGINT, SIG_DFL);
            ::signal(SIGTERM, SIG_DFL);
            if (o.device) setenv("TRVCTL_DEVICE", o.device, 1);
            else unsetenv("TRVCTL_DEVICE");
            unsetenv("TARVIK_CHARSET");
            for (const auto& [k, v] : o.env) setenv(k.c_str(), v.c_str(), 1);
            std::vector<char*> argv = {const_cast<char*>(trvctlPath())};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(trvctlPath(), argv.data());
            _exit(127);
        }
        close(out[1]);
        close(err[1]);
        out_ = out[0];
        err_ = err[0];
        reader_ = std::thread([this] { drain(); });
    }
    ~Child() {
        if (pid_ > 0 && !waited_) {
            kill(pid_, SIGKILL);
            wait();
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    void signal(int sig) const { kill(pid_, sig); }
    // What it wrote to standard error so far.
    std::string errSoFar() {
        std::lock_guard<std::mutex> l(m_);
        return r_.err;
    }
    Outcome wait() {
        if (reader_.joinable()) reader_.join();
        int status = 0;
        waitpid(pid_, &status, 0);
        waited_ = true;
        r_.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return r_;
    }

private:
    void drain() {
        pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
        int open = 2;
        while (open > 0 && poll(fds, 2, -1) > 0) {
            for (int i = 0; i < 2; ++i) {
                if (!(fds[i].revents & (POLLIN | POLLHUP))) continue;
                char buf[8192];
                const ssize_t n = read(fds[i].fd, buf, sizeof buf);
                if (n <= 0) {
                    close(fds[i].fd);
                    fds[i].fd = -1;
                    --open;
                } else {
                    std::lock_guard<std::mutex> l(m_);
                    (i ? r_.err : r_.out).append(buf, static_cast<size_t>(n));
                }
            }
        }
    }
    pid_t pid_ = -1;
    int out_ = -1, err_ = -1;
    bool waited_ = false;
    std::thread reader_;
    std::mutex m_;
    Outcome r_;
};

inline Outcome trvctl(const std::vector<std::string>& args, const RunOptions& o = {}) { return Child(args, o).wait(); }

inline std::string readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

inline void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline std::vector<std::string> splitLines(const std::string& s) {
    std::vector<std::string> out;
    std::stringstream in(s);
    std::string l;
    while (std::getline(in, l)) {
        if (!l.empty() && l.back() == '\r') l.pop_back();
        out.push_back(l);
    }
    return out;
}

// The cells of one CSV line (quotes as RFC 4180 has them).
inline std::vector<std::string> csvCells(const std::string& line, char delim = ',') {
    std::vector<std::string> cells(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            cells.back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == delim && !quoted) {
            cells.emplace_back();
        } else {
            cells.back() += c;
        }
    }
    return cells;
}

// Waits until `done` holds, at most `limit`.
template <typename F>
bool waitFor(F done, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace trvctl_test
