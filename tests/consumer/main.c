#include <stdio.h>
#include <tarvik/tarvik.h>
#include <tarvik/mirtel.h>

int main(void) {
    if (TRV_GetLibraryVersion() != 0x01000486u) return 1;
    if (TRV_GetHLLibraryVersion() != 0x010004A8ul) return 1;
    if (TRV_CreateDeviceHandle(0) != NULL) return 1;
    if (TRVS_TcpClose(NULL, NULL, 0) != TARVIK_STATUS_NULLHANDLE) return 1;
    printf("consumer ok\n");
    return 0;
}
