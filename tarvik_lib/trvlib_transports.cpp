#include "trvlib_transports.h"

#include <new>

#include "trvlib_deviceether.h"

namespace trv {

TRV_Device* makeTransport(uint32_t type) {
    switch (type) {
    case TARVIK_DEVICE_ETHER:
        return new (std::nothrow) TRV_EtherDevice();
    default:
        return nullptr;
    }
}

}  // namespace trv
