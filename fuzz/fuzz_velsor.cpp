// Arbitrary text as velsor's input: the conversion must neither crash nor
// touch memory it should not, whatever the log holds (any bytes, markers
// without bytes, endless lines, tokens of any length).
#include <cstdio>
#include <sstream>
#include <string>

#include "velsor_convert.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::FILE* sink = std::fopen("/dev/null", "w");
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    velsor::convert(in, sink);
    return 0;
}
