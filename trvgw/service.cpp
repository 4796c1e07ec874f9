#include "service.h"

#include <chrono>

#ifdef TRVGW_WITH_SYSTEMD
#include <systemd/sd-daemon.h>
#endif

namespace trvgw {

void ServiceNotifier::notify(const std::string& state) {
#ifdef TRVGW_WITH_SYSTEMD
    sd_notify(0, state.c_str());
#else
    (void)state;
#endif
}

void ServiceNotifier::ready(const std::string& status) { notify("READY=1\nSTATUS=" + status); }

void ServiceNotifier::stopping() {
    {
        std::lock_guard<std::mutex> l(mutex_);
        stop_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable()) thread_.join();
    notify("STOPPING=1\nSTATUS=draining");
}

ServiceNotifier::~ServiceNotifier() {
    {
        std::lock_guard<std::mutex> l(mutex_);
        stop_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void ServiceNotifier::watch(std::function<bool()> check, std::function<std::string()> status) {
#ifdef TRVGW_WITH_SYSTEMD
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) <= 0 || usec == 0) return;
    const auto period = std::chrono::microseconds(usec / 2);
    thread_ = std::thread([this, period, check = std::move(check), status = std::move(status)] {
        std::unique_lock<std::mutex> l(mutex_);
        while (!stop_) {
            l.unlock();
            if (check()) notify("WATCHDOG=1\nSTATUS=" + status());
            l.lock();
            cv_.wait_for(l, period, [this] { return stop_; });
        }
    });
#else
    (void)check;
    (void)status;
#endif
}

}  // namespace trvgw
