// Serial Port Driver: a fixed table of 40 ports with a flat, port-number-based interface.
// Every operation takes a port number 1..40 and returns 1 for success, 0 for failure; the byte
// counts give −1 for a closed port. No operation produces text.
#pragma once

#include <cstdint>
#include <string>

#include "serial/SerialFailure.h"

constexpr int kSerialPortCount = 40;

// Access modes of a Port Slot.
constexpr uint8_t kAccessClosed = 0xFF;
constexpr uint8_t kAccessDirect = 0;
constexpr uint8_t kAccessThreaded = 2;

uint8_t SerialOpen(uint8_t port, int32_t mode, int32_t bufferSize, int32_t baudRate, int32_t parity,
                   int32_t dataBits, int32_t stopBits);
uint8_t SerialSetParams(uint8_t port, int32_t mode, int32_t bufferSize, int32_t baudRate, int32_t parity,
                        int32_t dataBits, int32_t stopBits);
uint8_t SerialPurgeReceive(uint8_t port);
uint8_t SerialPurgeTransmit(uint8_t port);
uint8_t SerialSendBreak(uint8_t port, int16_t durationMs);
uint8_t SerialClose(uint8_t port);
uint8_t SerialCloseAll();
// stopBits as the device codes them: 0 one, 1 one and a half, 2 two stop bits.
uint8_t SerialGetParams(uint8_t port, uint8_t* accessMode, int32_t* baudRate, int32_t* parity,
                        int32_t* dataBits, int32_t* stopBits);

// Why the last SerialOpen or SerialSetParams of the port failed (kNone after a success). The results
// above stay 1/0; this is for whoever tells a person.
SerialFailure SerialLastFailure(uint8_t port);

uint8_t SerialGetByte(uint8_t port, uint8_t* byte);
// As many SerialGetByte calls as attempts, in one call: in Threaded mode each attempt is an index
// test of the Receive Ring (a byte taken under the lock when there is one), so bytes the I/O thread
// stores meanwhile are taken too. The bytes go to destination in order; returns how many.
uint16_t SerialGetBytes(uint8_t port, uint8_t* destination, uint16_t attempts);
uint8_t SerialPutByte(uint8_t port, uint8_t byte);
int32_t SerialReceiveCount(uint8_t port);
int32_t SerialTransmitCount(uint8_t port);

// Device names: port n (1..39) is /dev/ttyS<n−1> by default, port 40 has the empty name so that
// opening it always fails. A name of the form rfc2217://HOST:PORT is a network serial port.
// Set from the command line (--comm N=DEVICE) before any port is opened.
std::string SerialDeviceName(uint8_t port);
bool SerialSetDeviceName(uint8_t port, const std::string& name);  // false for a port outside 1..40
void SerialResetDeviceNames();

// Whether a name can be given to a port: rfc2217://HOST:PORT (PORT from 1 to 65535), or the path
// of an existing tty. False with the reason otherwise. Nothing is opened: opening a serial port
// toggles its modem lines, which resets some of what hangs on them.
bool CheckSerialDeviceName(const std::string& name, std::string& error);
// Whether the device could be opened now, without opening it (a tty: missing, no serial line,
// held by another program or its lock file, not permitted); the reason when not. A network port is
// only checked for its form: whether its server answers shows at open.
SerialFailure SerialCheckDevice(const std::string& name);
