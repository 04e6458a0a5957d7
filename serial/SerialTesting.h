// Hooks for the Serial Port Driver's own tests; no program code calls them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "serial/SerialDevice.h"

// Stores one byte into the Receive Ring of an open port exactly as its I/O thread stores a
// received byte (under the slot's lock, same overflow rule). 0 when the port is closed.
uint8_t SerialStoreReceivedByte(uint8_t port, uint8_t byte);

// Completed polls of the port's I/O thread since it was opened (0 when closed or Direct).
uint32_t SerialIoPassCount(uint8_t port);

// Replaces the choice of device by name (CreateSerialDevice) with the given maker, so that a
// test can put a scripted device under a port; an empty maker restores the normal choice.
using SerialDeviceMaker = std::function<std::unique_ptr<SerialDevice>(const std::string& name)>;
void SetSerialDeviceMaker(SerialDeviceMaker maker);
