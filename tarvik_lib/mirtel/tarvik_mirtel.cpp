#include "tarvik/mirtel.h"

extern "C" {

TARVIK_API TARVIK_STATUS TRVG_Default(const TARVIK_HANDLE hRequest) {
    if (!hRequest) return TARVIK_STATUS_NULLHANDLE;
    TRV_DestroyRequest(hRequest);
    return TARVIK_STATUS_OK;
}

TARVIK_API unsigned long TRV_GetHLLibraryVersion(void) { return 0x010004A8ul; }

}
