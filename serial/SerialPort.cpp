// The Serial Port Table and the port operations: open, configure, purge, break, close.

#include <chrono>
#include <new>
#include <system_error>

#include "serial/Serial.h"
#include "serial/SerialDevice.h"
#include "serial/SerialPortTable.h"
#include "serial/Trace.h"

namespace {

// The Serial Port Table lives for the whole run and is never freed: a port left open when the
// program ends keeps its I/O thread running until the process is gone, so neither the slot the
// thread works on nor its thread object (whose destructor would end the program) is destroyed.
PortSlot* Table() {
    static PortSlot* const slots = new PortSlot[kSerialPortCount];
    return slots;
}

constexpr int kThreadReleaseDelayMs = 10;
constexpr int kPurgeReceiveWaitMs = 30;
constexpr int kPurgeTransmitWaitMs = 20;
constexpr int kTracedPurgeLimit = 65536;  // bytes read out for the trace before one purge, at most

// One row of the line-parameter validation: a parameter and its valid range.
struct ParamRange {
    int32_t value;
    int32_t low;
    int32_t high;
};

bool ValidParams(uint8_t port, int32_t mode, int32_t bufferSize, int32_t baudRate, int32_t parity,
                 int32_t dataBits, int32_t stopBits) {
    const ParamRange ranges[] = {
        {port, 1, kSerialPortCount},
        {mode, 0, 2},
        {bufferSize, 0, INT32_MAX},
        {baudRate, 0, 38400},
        {parity, 0, 2},
        {dataBits, 7, 8},
        {stopBits, 0, 2},
    };
    for (const ParamRange& range : ranges) {
        if (range.value < range.low || range.value > range.high) return false;
    }
    return true;
}

// Replaces the four line parameters in what the device reported: stop bits 1 is one stop bit,
// anything else two.
void ReplaceLineParams(DeviceLineSettings& settings, int32_t baudRate, int32_t parity, int32_t dataBits,
                       int32_t stopBits) {
    settings.baudRate = baudRate;
    settings.parity = parity;
    settings.dataBits = dataBits;
    settings.stopBits = stopBits == 1 ? 0 : 2;
}

bool ConfigureDevice(SerialDevice& device, int32_t capacity, int32_t baudRate, int32_t parity,
                     int32_t dataBits, int32_t stopBits) {
    if (!device.SetQueueSizes(capacity, capacity)) return false;
    DeviceLineSettings settings;
    if (!device.GetLineSettings(settings)) return false;
    ReplaceLineParams(settings, baudRate, parity, dataBits, stopBits);
    // The write time-out (10 ms per byte) is passed with every write; reads never wait.
    return device.SetLineSettings(settings);
}

// "9600,8,N,1" for the trace (the parameters are validated: parity 0..2).
std::string LineText(int32_t baudRate, int32_t parity, int32_t dataBits, int32_t stopBits) {
    return std::to_string(baudRate) + "," + std::to_string(dataBits) + "," + "NOE"[parity] + "," +
           std::to_string(stopBits == 1 ? 1 : 2);
}

ByteBlock AllocateBlock(int32_t size) {
    // calloc(0) may return nullptr; a block of one byte keeps "allocated" meaning non-null.
    return ByteBlock(static_cast<uint8_t*>(std::calloc(size > 0 ? static_cast<size_t>(size) : 1, 1)));
}

void StopIoThread(PortSlot& slot) {
    if (!slot.ioThread.joinable()) return;
    slot.stopRequested.store(true);
    slot.wake.Signal();
    if (slot.device) slot.device->Interrupt();
    slot.ioThread.join();
}

// Releases everything an open (or a half-done open) holds and marks the slot Closed.
// Returns false when the device refused to close.
bool ReleaseSlot(PortSlot& slot) {
    StopIoThread(slot);
    bool closed = true;
    {
        std::lock_guard<std::recursive_mutex> guard(slot.lock);
        if (slot.device) {
            closed = slot.device->Close();
            slot.device.reset();
        }
        slot.ring.buffer.reset();
        slot.ring.capacity = 0;
        slot.ring.readIndex.store(0);
        slot.ring.writeIndex.store(0);
        slot.queue.buffer.reset();
        slot.queue.capacity = 0;
        slot.queue.count = 0;
    }
    slot.wake.Reset();
    slot.threadStarted.store(0);
    slot.released.store(false);
    slot.stopRequested.store(false);
    slot.ioPasses.store(0);
    slot.accessMode.store(kAccessClosed);
    return closed;
}

void RecordFailure(PortSlot& slot, SerialFailure failure) {
    std::lock_guard<std::mutex> guard(slot.failureLock);
    slot.lastFailure = std::move(failure);
}

// The device's own reason, or the given one when the device knows none.
void RecordDeviceFailure(PortSlot& slot, SerialFailureCode fallback, const std::string& detail) {
    SerialFailure failure = slot.device ? slot.device->LastFailure() : SerialFailure{};
    if (failure.code == SerialFailureCode::kNone) failure = {fallback, detail, 0};
    RecordFailure(slot, std::move(failure));
}

bool OpenDevice(PortSlot& slot, uint8_t port) {
    const std::string name = SerialDeviceName(port);
    slot.device = CreateSerialDevice(name);
    if (slot.device && slot.device->Open(name)) return true;
    RecordDeviceFailure(slot, name.empty() ? SerialFailureCode::kNoSuchDevice : SerialFailureCode::kOther,
                        name.empty() ? "no device for this port" : name);
    return false;
}

bool ConfigureOrRecord(PortSlot& slot, int32_t capacity, int32_t baudRate, int32_t parity, int32_t dataBits,
                       int32_t stopBits) {
    if (ConfigureDevice(*slot.device, capacity, baudRate, parity, dataBits, stopBits)) return true;
    RecordDeviceFailure(slot, SerialFailureCode::kLineSettings, "");
    return false;
}

bool OpenSlot(PortSlot& slot, int index, uint8_t port, int32_t mode, int32_t baudRate, int32_t parity,
              int32_t dataBits, int32_t stopBits) {
    const int32_t capacity = slot.ring.capacity;
    if (mode == kAccessDirect) {
        return OpenDevice(slot, port) &&
               ConfigureOrRecord(slot, capacity, baudRate, parity, dataBits, stopBits);
    }
    if (mode != kAccessThreaded) return false;

    slot.wake.Reset();
    if (!OpenDevice(slot, port)) return false;
    if (!ConfigureOrRecord(slot, capacity, baudRate, parity, dataBits, stopBits)) return false;
    try {
        // The thread waits for its release before it touches the device.
        slot.ioThread = std::thread(SerialIoThread, index);
    } catch (const std::system_error&) {
        RecordFailure(slot, {SerialFailureCode::kOther, "no thread for the port", 0});
        return false;
    }
    slot.device->PurgeInput();
    slot.device->PurgeOutput();
    SleepMs(kThreadReleaseDelayMs);
    slot.released.store(true);
    slot.wake.Signal();
    return true;
}

}  // namespace

PortSlot& SerialSlot(int index) {
    return Table()[index];
}

PortSlot* SerialSlotOfPort(uint8_t port) {
    if (port < 1 || port > kSerialPortCount) return nullptr;
    return &Table()[port - 1];
}

uint8_t SerialOpen(uint8_t port, int32_t mode, int32_t bufferSize, int32_t baudRate, int32_t parity,
                   int32_t dataBits, int32_t stopBits) {
    if (!ValidParams(port, mode, bufferSize, baudRate, parity, dataBits, stopBits)) return 0;
    PortSlot& slot = Table()[port - 1];
    if (slot.accessMode.load() != kAccessClosed && SerialClose(port) == 0) return 0;
    RecordFailure(slot, {});

    const int32_t capacity = bufferSize == 0 ? kDefaultBufferSize : bufferSize;
    slot.ring.buffer = AllocateBlock(capacity);
    slot.queue.buffer = AllocateBlock(capacity);
    if (!slot.ring.buffer || !slot.queue.buffer) {
        RecordFailure(slot, {SerialFailureCode::kOther, "out of memory", 0});
        ReleaseSlot(slot);
        return 0;
    }
    slot.ring.capacity = capacity;
    slot.ring.readIndex.store(0);
    slot.ring.writeIndex.store(0);
    slot.queue.capacity = capacity;
    slot.queue.count = 0;

    const std::string line = LineText(baudRate, parity, dataBits, stopBits);
    if (!OpenSlot(slot, port - 1, port, mode, baudRate, parity, dataBits, stopBits)) {
        ReleaseSlot(slot);
        const SerialFailure failure = SerialLastFailure(port);
        ProgramTrace().Line(port, "open",
                            "device=" + SerialDeviceName(port) + " line=" + line + " result=failed reason=" +
                                SerialFailureCodeName(failure.code) + " detail=" + failure.detail);
        return 0;
    }
    slot.accessMode.store(static_cast<uint8_t>(mode));
    ProgramTrace().Line(port, "open", "device=" + SerialDeviceName(port) + " line=" + line + " result=ok");
    return 1;
}

uint8_t SerialSetParams(uint8_t port, int32_t mode, int32_t bufferSize, int32_t baudRate, int32_t parity,
                        int32_t dataBits, int32_t stopBits) {
    if (!ValidParams(port, mode, bufferSize, baudRate, parity, dataBits, stopBits)) return 0;
    PortSlot& slot = Table()[port - 1];
    if (slot.accessMode.load() == kAccessClosed) return 0;
    {
        std::lock_guard<std::recursive_mutex> guard(slot.lock);
        if (!slot.device) return 0;
        DeviceLineSettings settings;
        if (!slot.device->GetLineSettings(settings)) return 0;
        ReplaceLineParams(settings, baudRate, parity, dataBits, stopBits);
        if (!slot.device->SetLineSettings(settings)) {
            RecordDeviceFailure(slot, SerialFailureCode::kLineSettings, "");
            ProgramTrace().Line(port, "line",
                                LineText(baudRate, parity, dataBits, stopBits) + " result=failed");
            return 0;
        }
    }
    RecordFailure(slot, {});
    ProgramTrace().Line(port, "line", LineText(baudRate, parity, dataBits, stopBits) + " result=ok");
    SerialPurgeReceive(port);
    SerialPurgeTransmit(port);
    return 1;
}

uint8_t SerialPurgeReceive(uint8_t port) {
    PortSlot* slot = SerialSlotOfPort(port);
    if (!slot || slot->accessMode.load() == kAccessClosed) return 0;
    std::lock_guard<std::recursive_mutex> guard(slot->lock);
    if (!slot->device) return 0;
    if (ProgramTrace().IsOpen()) {
        // What the purge is about to discard was on the line all the same: the trace keeps it.
        uint8_t discarded[256];
        int count = 0;
        for (int total = 0;
             total < kTracedPurgeLimit && (count = slot->device->Read(discarded, sizeof discarded)) > 0;
             total += count)
            ProgramTrace().Bytes(port, "rx", discarded, count);
    }
    if (!slot->device->PurgeInput()) return 0;
    ProgramTrace().Line(port, "purge", "rx");
    SleepMs(kPurgeReceiveWaitMs);
    slot->ring.readIndex.store(0);
    slot->ring.writeIndex.store(0);
    return 1;
}

uint8_t SerialPurgeTransmit(uint8_t port) {
    PortSlot* slot = SerialSlotOfPort(port);
    if (!slot || slot->accessMode.load() == kAccessClosed) return 0;
    std::lock_guard<std::recursive_mutex> guard(slot->lock);
    uint8_t result = 0;
    if (slot->device && slot->device->PurgeOutput()) {
        slot->queue.count = 0;
        result = 1;
        ProgramTrace().Line(port, "purge", "tx");
    }
    SleepMs(kPurgeTransmitWaitMs);
    return result;
}

uint8_t SerialSendBreak(uint8_t port, int16_t durationMs) {
    PortSlot* slot = SerialSlotOfPort(port);
    if (!slot || slot->accessMode.load() == kAccessClosed) return 0;
    if (slot->accessMode.load() == kAccessThreaded) {
        // The thread sets the flag right after the open releases it, so this wait is short.
        while (slot->threadStarted.load() == 0 && !slot->stopRequested.load()) SleepMs(1);
    }
    std::lock_guard<std::recursive_mutex> guard(slot->lock);
    if (!slot->device) return 0;
    ProgramTrace().Line(port, "break", std::to_string(durationMs > 0 ? durationMs : 0));
    slot->device->SetBreak(true);
    // A negative duration would otherwise mean "forever" to the sleep: it is no break time at all.
    SleepMs(durationMs > 0 ? durationMs : 0);
    slot->device->SetBreak(false);
    return 1;
}

uint8_t SerialClose(uint8_t port) {
    PortSlot* slot = SerialSlotOfPort(port);
    if (!slot || slot->accessMode.load() == kAccessClosed) return 0;
    // The thread is stopped and joined before the device is closed, and never under the slot's
    // lock: the thread takes that lock itself and would never finish. A device that refuses to
    // close still gives up its descriptor, so the slot is released either way.
    ProgramTrace().Line(port, "close");
    return ReleaseSlot(*slot) ? 1 : 0;
}

uint8_t SerialCloseAll() {
    for (int n = 1; n <= kSerialPortCount; ++n) {
        if (Table()[n - 1].accessMode.load() != kAccessClosed) SerialClose(static_cast<uint8_t>(n));
    }
    return 1;
}

SerialFailure SerialLastFailure(uint8_t port) {
    PortSlot* slot = SerialSlotOfPort(port);
    if (!slot) return {SerialFailureCode::kOther, "no such port number", 0};
    std::lock_guard<std::mutex> guard(slot->failureLock);
    return slot->lastFailure;
}

uint8_t SerialGetParams(uint8_t port, uint8_t* accessMode, int32_t* baudRate, int32_t* parity,
                        int32_t* dataBits, int32_t* stopBits) {
    PortSlot* slot = SerialSlotOfPort(port);
    if (!slot || slot->accessMode.load() == kAccessClosed) return 0;
    if (!accessMode || !baudRate || !parity || !dataBits || !stopBits) return 0;
    DeviceLineSettings settings;
    {
        std::lock_guard<std::recursive_mutex> guard(slot->lock);
        if (!slot->device || !slot->device->GetLineSettings(settings)) return 0;
    }
    *accessMode = slot->accessMode.load();
    *baudRate = settings.baudRate;
    *parity = settings.parity;
    *dataBits = settings.dataBits;
    *stopBits = settings.stopBits;
    return 1;
}
