#include "sim.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace trvgw {

namespace {

std::string trvsimPath() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        // Beside the gateway, or one up in the build tree.
        for (const auto& p : {exe.parent_path() / "trvsim", exe.parent_path().parent_path() / "trvsim"})
            if (access(p.c_str(), X_OK) == 0) return p.string();
    }
    return "trvsim";
}

}  // namespace

SimFleet::SimFleet(int n, const std::vector<std::string>& extra) {
    const std::string path = trvsimPath();
    // Started together, then their ports read: 100 simulators start in well
    // under a second.
    std::vector<int> outs;
    for (int i = 0; i < n; ++i) {
        std::vector<std::string> args = {path, "--port", "0"};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
        const pid_t parent = getpid();
        const pid_t pid = fork();
        if (pid < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
        if (pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (getppid() != parent) _exit(1);
            // The gateway blocks these for its signal thread; trvsim waits for them itself.
            sigset_t none;
            sigemptyset(&none);
            pthread_sigmask(SIG_SETMASK, &none, nullptr);
            dup2(fds[1], STDOUT_FILENO);
            const int null = open("/dev/null", O_RDONLY);
            if (null >= 0) dup2(null, STDIN_FILENO);
            if (path.find('/') != std::string::npos) execv(argv[0], argv.data());
            else execvp(argv[0], argv.data());
            _exit(127);
        }
        close(fds[1]);
        pids_.push_back(pid);
        outs.push_back(fds[0]);
    }
    for (int fd : outs) {
        std::string line;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (line.find('\n') == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
            pollfd p{fd, POLLIN, 0};
            if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) break;
            char buf[64];
            const ssize_t k = read(fd, buf, sizeof buf);
            if (k <= 0) break;
            line.append(buf, static_cast<size_t>(k));
        }
        close(fd);
        int port = 0;
        if (line.rfind("port ", 0) == 0) port = std::atoi(line.c_str() + 5);
        if (port <= 0) throw std::runtime_error("the simulator (" + path + ") did not start; is trvsim installed?");
        ports_.push_back(port);
    }
}

SimFleet::~SimFleet() {
    for (int pid : pids_) kill(pid, SIGTERM);
    for (int pid : pids_) {
        int st = 0;
        while (waitpid(pid, &st, 0) < 0 && errno == EINTR) {
        }
    }
}

}  // namespace trvgw
