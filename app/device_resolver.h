#pragma once

#include "port/device_map.h"

namespace devices {
class DeviceRegistry;
}

namespace app {

// Where the port's numbers lead in this program: LINNET_COM<n> when set, else the device present
// with number n, else /dev/ttyS<n-1>; the number of a remembered device that is not plugged in
// opens nothing. The registry must outlive the resolver.
port::DeviceResolver registryResolver(const devices::DeviceRegistry& registry);

} // namespace app
