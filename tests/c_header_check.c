/* Compiled as C: the public headers must stay valid C. */
#include <stdio.h>
#include "tarvik/tarvik.h"
#include "tarvik/mirtel.h"

int main(void) {
    TARVIK_HANDLE h = TRV_CreateRequest(NULL, 14);
    if (h != NULL) return 1;
    if (TRV_DestroyRequest(NULL) != TARVIK_STATUS_NULLHANDLE) return 1;
    if (TRV_GetLibraryVersion() != 0x01000486u) return 1;
    /* The one libmirtel function with C++ linkage has a C symbol as well. */
    if (TRVS_TcpClose(NULL, NULL, 0) != TARVIK_STATUS_NULLHANDLE) return 1;
    printf("C header check passed\n");
    return 0;
}
