// Status texts from language files, and the library version.
#include "tarvik/tarvik.h"

extern "C" {

TARVIK_API const char* TRV_GetErrorString(TARVIK_STATUS, const char*) { return nullptr; }

TARVIK_API uint32_t TRV_GetLibraryVersion(void) { return 0x01000486u; }

}
