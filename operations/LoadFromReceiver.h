// Load from receiver: establishes communication with the receiver on one comm port, requests the
// thirteen Settings Groups and lets the Report Handler store and show each one as it arrives.
#pragma once

#include <array>
#include <cstdint>

#include "link/PortConfiguration.h"

class Operator;

// The port configuration record a load starts from before the Break Reply is parsed into it:
// receiver port 0, 9600 baud in and out, 8 data bits, no parity, 1 stop bit, KIRP in and out.
inline constexpr std::array<uint8_t, kPortConfigurationSize> kProbeRecordDefaults = {0, 7, 7, 3, 0,
                                                                                     0, 0, 2, 2, 0};

// Runs on the calling thread, sleeping between the steps. commIndex 0..19 (the comm port number − 1).
// Returns 0 when the port could not be opened (Error 10 was shown; the dialog stays open), else 1.
uint8_t LoadFromReceiver(int commIndex, Operator& op);
