// The device layer under the Serial Port Driver: what the driver needs of one open device.
// Implementations: posix/ (a termios tty) and network/ (a network serial port).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "serial/SerialFailure.h"

struct DeviceLineSettings {
    int32_t baudRate = 0;
    int32_t parity = 0;    // 0 none, 1 odd, 2 even
    int32_t dataBits = 8;  // 7 or 8
    int32_t stopBits = 0;  // device coding: 0 one, 1 one and a half, 2 two
};

class SerialDevice {
  public:
    virtual ~SerialDevice() = default;

    // Opens the named device for reading and writing with exclusive access. False when it is
    // missing, not a serial device, or held by another program; LastFailure() then says why.
    virtual bool Open(const std::string& name) = 0;
    // Why the last Open or SetLineSettings failed (kNone when nothing failed or nothing is known).
    virtual SerialFailure LastFailure() const { return {}; }
    virtual bool SetQueueSizes(int32_t inputSize, int32_t outputSize) = 0;
    virtual bool GetLineSettings(DeviceLineSettings& settings) = 0;
    // Writes the line settings and puts the device in binary (raw) mode.
    virtual bool SetLineSettings(const DeviceLineSettings& settings) = 0;
    // Clears the error state and reports the bytes waiting in the input and output queues.
    virtual bool QueueCounts(int32_t& inputCount, int32_t& outputCount) = 0;
    // The bytes waiting in the input queue alone, where a device reads that more cheaply than both
    // counts: a poll of a quiet line with nothing to send needs no more. False when the device does
    // not read it alone (or cannot read it): QueueCounts tells then.
    virtual bool InputCountAlone(int32_t& /*inputCount*/) { return false; }
    // Reads what is there without blocking: the bytes stored (0 when none), −1 on a device error.
    virtual int Read(uint8_t* buffer, int maxCount) = 0;
    // Waits up to timeoutMs for input to be readable (true) or not (false).
    virtual bool WaitReadable(int timeoutMs) = 0;
    // Writes with a time-out of timeoutMs: the bytes written, −1 on a device error.
    virtual int Write(const uint8_t* data, int count, int timeoutMs) = 0;
    virtual bool PurgeInput() = 0;
    virtual bool PurgeOutput() = 0;
    virtual bool SetBreak(bool on) = 0;
    virtual bool Close() = 0;
    // True when input left unread waits at its source instead of being lost: a network peer is held
    // back by TCP while its socket is not read. The I/O thread then leaves such a device unread once
    // the application has left the Receive Ring full for a while; a serial line (false) is read on
    // and what does not fit is dropped, as a UART overruns.
    virtual bool HoldsBackUnreadInput() const { return false; }
    // Makes a Write or WaitReadable in progress on another thread return at once, and every later
    // one too: the driver calls it just before it stops the port's I/O thread and closes the device.
    // Must be safe to call while another thread is inside Write or WaitReadable.
    virtual void Interrupt() {}
};

// Chooses the device kind by name: rfc2217://HOST:PORT is a network serial port, anything else a tty.
std::unique_ptr<SerialDevice> CreateSerialDevice(const std::string& name);
