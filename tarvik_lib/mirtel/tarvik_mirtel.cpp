// The getter for every command without a reader of its own, and the way to
// release a request after a failed send or read; and the library version.
#include "tarvik/mirtel.h"

extern "C" {

TARVIK_API TARVIK_STATUS TRVG_Default(const TARVIK_HANDLE hRequest) {
    if (!hRequest) return TARVIK_STATUS_NULLHANDLE;
    // Neither the status nor the command is looked at. A handle that is no
    // request is reported rather than taken as released.
    return TRV_DestroyRequest(hRequest);
}

TARVIK_API unsigned long TRV_GetHLLibraryVersion(void) { return MIRTEL_VERSION; }

}
