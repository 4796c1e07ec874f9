// Running under systemd: readiness, status and the watchdog (sd_notify).
// Outside systemd (no NOTIFY_SOCKET) every call does nothing.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace trvgw {

class ServiceNotifier {
public:
    ServiceNotifier() = default;
    ~ServiceNotifier();
    ServiceNotifier(const ServiceNotifier&) = delete;
    ServiceNotifier& operator=(const ServiceNotifier&) = delete;

    // READY=1 with a status line: the gateway listens and its registers are opening.
    void ready(const std::string& status);
    // STOPPING=1: SIGTERM came and the gateway drains.
    void stopping();
    // When the service has a watchdog, feeds it every half period, but only
    // while `check` answers (it takes the core's locks and a store round
    // trip, so a stuck gateway stops feeding it and systemd restarts it);
    // `status` gives the line `systemctl status` shows.
    void watch(std::function<bool()> check, std::function<std::string()> status);

private:
    void notify(const std::string& state);
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool stop_ = false;  // guarded by mutex_
};

}  // namespace trvgw
