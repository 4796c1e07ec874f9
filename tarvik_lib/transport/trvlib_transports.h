// The transport factory behind TRV_CreateDeviceHandle.
#pragma once

#include <cstdint>

namespace trv {
class TRV_Device;
// A new device of the given type (TARVIK_DEVICE_RS232, _USB, _ETHER), or null.
TRV_Device* makeTransport(uint32_t type);
}  // namespace trv
