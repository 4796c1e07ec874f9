// The same checks compiled as C++: TRVS_TcpClose resolves to its C++ symbol.
#include <tarvik/mirtel.h>
#include <tarvik/tarvik.h>

#include <cstdio>

int main() {
    if (TRV_GetHLLibraryVersion() != MIRTEL_VERSION) return 1;
    if (TRVS_TcpClose(nullptr, nullptr, 0) != TARVIK_STATUS_NULLHANDLE) return 1;
    std::printf("C++ consumer ok\n");
    return 0;
}
