// The debug log file of one device: appended to, shared by all views and
// threads; every message is written whole, followed by a line feed.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace trv {

class TRV_Log {
public:
    explicit TRV_Log(std::string name) : name_(std::move(name)) {}
    ~TRV_Log() { close(); }
    void open();
    void close();
    void setName(std::string name);
    bool isOpen();
    void write(const std::string& text);

private:
    std::mutex m_;
    std::string name_;    // guarded by m_
    FILE* f_ = nullptr;   // guarded by m_
};

}  // namespace trv
