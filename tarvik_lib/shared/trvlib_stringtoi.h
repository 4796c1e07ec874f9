// The string-to-integer rule of the register's texts and our parameters,
// shared by both libraries: decimal digits only; an empty text, any other
// character or a value beyond a 32-bit int gives -1.
#pragma once

#include <climits>
#include <string>

namespace trv {

inline int stringtoi(const std::string& s) {
    if (s.empty()) return -1;
    long long v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return -1;
        v = v * 10 + (c - '0');
        if (v > INT_MAX) return -1;
    }
    return static_cast<int>(v);
}

}  // namespace trv
