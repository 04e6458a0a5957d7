#include "serial/network/NetworkDevice.h"

// Not available yet: a network device name fails to open.
std::unique_ptr<SerialDevice> CreateNetworkDevice() { return nullptr; }
