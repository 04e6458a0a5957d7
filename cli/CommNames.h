// The operations speak of ports as "Comm 3"; on the command line the port is a device the user
// named. NameDevices puts the device beside each port number of a text: "connected to Comm  3." →
// "connected to Comm  3 (/dev/ttyUSB2).".
#pragma once

#include <string>

std::string NameDevices(const std::string& text);
