#include "trvlib_transports.h"

#include <new>

#include "trvlib_deviceether.h"
#ifdef TARVIK_WITH_USB
#include "trvlib_deviceusb.h"
#endif

namespace trv {

TRV_Device* makeTransport(uint32_t type) {
    switch (type) {
    case TARVIK_DEVICE_ETHER:
        return new (std::nothrow) TRV_EtherDevice();
#ifdef TARVIK_WITH_USB
    case TARVIK_DEVICE_USB:
        return new (std::nothrow) TRV_USBDevice();
#endif
    default:
        return nullptr;
    }
}

}  // namespace trv
