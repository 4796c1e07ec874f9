#include "trvlib_transports.h"

#include <new>

#include "trvlib_deviceether.h"
#include "trvlib_devicers232.h"
#ifdef TARVIK_WITH_USB
#include "trvlib_deviceusb.h"
#endif

namespace trv {

TRV_Device* makeTransport(uint32_t type) {
    switch (type) {
    case TARVIK_DEVICE_RS232:
        return newTagged<TRV_RS232Device>();
#ifdef TARVIK_WITH_USB
    case TARVIK_DEVICE_USB:
        return newTagged<TRV_USBDevice>();
#endif
    case TARVIK_DEVICE_ETHER:
        return newTagged<TRV_EtherDevice>();
    default:
        return nullptr;
    }
}

}  // namespace trv
