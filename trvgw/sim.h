// Simulated registers for `trvgw --sim N`: each a trvsim child process on a
// free loopback port. Child processes rather than the simulator library in
// this process: the gateway stays a plain user of the libraries' public C
// API (the simulator library carries a static copy of libtarvik), a
// simulator that misbehaves cannot take the gateway down with it, and the
// registers are reached over TCP exactly as real ones are. The children end
// with the gateway, however it ends (PR_SET_PDEATHSIG).
#pragma once

#include <string>
#include <vector>

namespace trvgw {

class SimFleet {
public:
    // Starts n simulators; throws std::runtime_error.
    SimFleet(int n, const std::vector<std::string>& extraArgs);
    ~SimFleet();
    const std::vector<int>& ports() const { return ports_; }

private:
    std::vector<int> pids_, ports_;
};

}  // namespace trvgw
