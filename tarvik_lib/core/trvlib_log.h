// The debug log file of one device: appended to, shared by all views and
// threads; every message is written whole, followed by a line feed.
#pragma once

#include <cstdio>
#include <string>

#include "trvlib_sync.h"

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
    Mutex m_;  // leaf
    std::string name_ GUARDED_BY(m_);
    FILE* f_ GUARDED_BY(m_) = nullptr;
};

}  // namespace trv
