#include "trvlib_log.h"

namespace trv {

void TRV_Log::open() {
    MutexLock lk(m_);
    if (!f_) f_ = std::fopen(name_.c_str(), "a");  // failure just leaves logging off
}

void TRV_Log::close() {
    MutexLock lk(m_);
    if (f_) std::fclose(f_);
    f_ = nullptr;
}

void TRV_Log::setName(std::string name) {
    MutexLock lk(m_);
    name_ = std::move(name);
}

bool TRV_Log::isOpen() {
    MutexLock lk(m_);
    return f_ != nullptr;
}

void TRV_Log::write(const std::string& text) {
    MutexLock lk(m_);
    if (!f_) return;
    std::fwrite(text.data(), 1, text.size(), f_);
    std::fputc('\n', f_);
    std::fflush(f_);
}

}  // namespace trv
