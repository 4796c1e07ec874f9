#include <stdio.h>
#include <tarvik/tarvik.h>
#include <tarvik/mirtel.h>

int main(void) {
    if (TRV_GetLibraryVersion() != TARVIK_VERSION) return 1;
    if (TRV_GetHLLibraryVersion() != MIRTEL_VERSION) return 1;
    if (TRV_CreateDeviceHandle(0) != NULL) return 1;
    if (TRVS_TcpClose(NULL, NULL, 0) != TARVIK_STATUS_NULLHANDLE) return 1;
    printf("consumer ok\n");
    return 0;
}
