// Serial ports on Windows: COM1 … COM39 through the communications calls. The port is opened
// without sharing; reads never wait (all read time-outs off, ReadIntervalTimeout MAXDWORD) and
// WaitReadable looks at the input queue (ClearCommError) in short steps, woken at once by
// Interrupt(); a write waits at most its time-out (WriteTotalTimeoutConstant).
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <string>

#include "serial/Deadline.h"
#include "serial/LocalDevice.h"

namespace {

// How long WaitReadable sleeps between two looks at the input queue.
constexpr int kQueueLookStepMs = 5;

std::string SystemMessage(DWORD error) {
    char* text = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length > 0 && text != nullptr ? std::string(text, length) : "";
    if (text != nullptr) ::LocalFree(text);
    while (!message.empty() && std::isspace(static_cast<unsigned char>(message.back())) != 0)
        message.pop_back();
    if (!message.empty() && message.back() == '.') message.pop_back();
    return message.empty() ? "system error " + std::to_string(error) : message;
}

// The port number of COMn or \\.\COMn (any case), 0 for anything else.
int ComNumber(const std::string& name) {
    std::string rest = name;
    if (rest.rfind("\\\\.\\", 0) == 0) rest = rest.substr(4);
    if (rest.size() < 4 || rest.size() > 6) return 0;
    for (int i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(rest[static_cast<size_t>(i)])) != "COM"[i]) return 0;
    int number = 0;
    for (size_t i = 3; i < rest.size(); ++i) {
        if (std::isdigit(static_cast<unsigned char>(rest[i])) == 0) return 0;
        number = number * 10 + (rest[i] - '0');
    }
    return rest[3] == '0' ? 0 : number;
}

// What CreateFileA is given: COM1 … COM9 as they are, COM10 and up in the device namespace.
std::string DevicePath(int number) {
    const std::string com = "COM" + std::to_string(number);
    return number <= 9 ? com : "\\\\.\\" + com;
}

BYTE ParityCode(int32_t parity) {
    return parity == 1 ? ODDPARITY : parity == 2 ? EVENPARITY : NOPARITY;
}

int32_t ParityOfCode(BYTE code) {
    return code == ODDPARITY ? 1 : code == EVENPARITY ? 2 : 0;
}

class Win32Device final : public SerialDevice {
  public:
    Win32Device() : interrupt_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~Win32Device() override {
        Close();
        if (interrupt_ != nullptr) ::CloseHandle(interrupt_);
    }
    Win32Device(const Win32Device&) = delete;
    Win32Device& operator=(const Win32Device&) = delete;

    bool Open(const std::string& name) override {
        failure_ = {};
        if (handle_ != INVALID_HANDLE_VALUE) return Fail(SerialFailureCode::kOther, "already open");
        if (interrupt_ == nullptr) return Fail(SerialFailureCode::kOther, "no event for the port");
        const int number = ComNumber(name);
        if (number == 0) return Fail(SerialFailureCode::kNoSuchDevice, name + ": not a COM port name");
        const std::string path = DevicePath(number);
        // No sharing: while the port is open here, no other program can open it.
        handle_ =
            ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (handle_ == INVALID_HANDLE_VALUE) {
            const DWORD error = ::GetLastError();
            switch (error) {
                case ERROR_FILE_NOT_FOUND:
                case ERROR_PATH_NOT_FOUND:
                    return Fail(SerialFailureCode::kNoSuchDevice, name + ": " + SystemMessage(error));
                case ERROR_ACCESS_DENIED:
                case ERROR_SHARING_VIOLATION:
                    return Fail(SerialFailureCode::kBusy, "opened for exclusive use by another program");
                default:
                    return Fail(SerialFailureCode::kOther, name + ": " + SystemMessage(error));
            }
        }
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (::GetFileType(handle_) != FILE_TYPE_CHAR || ::GetCommState(handle_, &dcb) == 0) {
            CloseHandleOnly();
            return Fail(SerialFailureCode::kNotSerial, name);
        }
        writeTimeoutMs_ = -1;
        if (!SetTimeouts(0)) {
            const DWORD error = ::GetLastError();
            CloseHandleOnly();
            return Fail(SerialFailureCode::kOther, name + ": time-outs: " + SystemMessage(error));
        }
        interrupted_.store(false);
        ::ResetEvent(interrupt_);
        return true;
    }

    SerialFailure LastFailure() const override { return failure_; }

    bool SetQueueSizes(int32_t inputSize, int32_t outputSize) override {
        return IsOpen() && inputSize > 0 && outputSize > 0 &&
               ::SetupComm(handle_, static_cast<DWORD>(inputSize), static_cast<DWORD>(outputSize)) != 0;
    }

    bool GetLineSettings(DeviceLineSettings& settings) override {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!IsOpen() || ::GetCommState(handle_, &dcb) == 0) return false;
        settings.baudRate = static_cast<int32_t>(dcb.BaudRate);
        settings.parity = ParityOfCode(dcb.Parity);
        settings.dataBits = dcb.ByteSize;
        settings.stopBits = dcb.StopBits;  // ONESTOPBIT 0, ONE5STOPBITS 1, TWOSTOPBITS 2: the device coding
        return true;
    }

    bool SetLineSettings(const DeviceLineSettings& settings) override {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!IsOpen() || settings.baudRate < 0 || settings.stopBits < 0 || settings.stopBits > 2 ||
            ::GetCommState(handle_, &dcb) == 0)
            return false;
        // A baud rate of 0 leaves the line at its speed. Binary: no character is taken out or
        // replaced; hardware flow control keeps what the port had.
        if (settings.baudRate != 0) dcb.BaudRate = static_cast<DWORD>(settings.baudRate);
        dcb.ByteSize = static_cast<BYTE>(settings.dataBits == 7 ? 7 : 8);
        dcb.Parity = ParityCode(settings.parity);
        dcb.StopBits = static_cast<BYTE>(settings.stopBits);
        dcb.fBinary = TRUE;
        dcb.fParity = settings.parity != 0 ? TRUE : FALSE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        dcb.fErrorChar = FALSE;
        dcb.fNull = FALSE;
        dcb.fAbortOnError = FALSE;
        if (::SetCommState(handle_, &dcb) == 0)
            return Fail(SerialFailureCode::kLineSettings, SystemMessage(::GetLastError()));
        // The port may take a call and keep other settings: only a read-back tells.
        DCB got{};
        got.DCBlength = sizeof got;
        if (::GetCommState(handle_, &got) == 0)
            return Fail(SerialFailureCode::kLineSettings, SystemMessage(::GetLastError()));
        if (got.BaudRate != dcb.BaudRate || got.ByteSize != dcb.ByteSize || got.Parity != dcb.Parity ||
            got.StopBits != dcb.StopBits)
            return Fail(SerialFailureCode::kLineSettings,
                        "the device kept other settings than those asked for");
        return true;
    }

    bool QueueCounts(int32_t& inputCount, int32_t& outputCount) override {
        DWORD errors = 0;
        COMSTAT status{};
        if (!IsOpen() || ::ClearCommError(handle_, &errors, &status) == 0) return false;
        inputCount = static_cast<int32_t>(status.cbInQue);
        outputCount = static_cast<int32_t>(status.cbOutQue);
        return true;
    }

    int Read(uint8_t* buffer, int maxCount) override {
        if (!IsOpen()) return -1;
        if (maxCount <= 0) return 0;
        DWORD got = 0;
        if (::ReadFile(handle_, buffer, static_cast<DWORD>(maxCount), &got, nullptr) == 0) return -1;
        return static_cast<int>(got);
    }

    bool WaitReadable(int timeoutMs) override {
        if (!IsOpen()) return false;
        const Deadline deadline(timeoutMs);
        for (;;) {
            if (interrupted_.load()) return false;
            int32_t in = 0;
            int32_t out = 0;
            // A port that fails its status read (gone) counts as readable: the read reports it.
            if (!QueueCounts(in, out) || in > 0) return true;
            const int left = deadline.RemainingMs();
            if (left == 0) return false;
            ::WaitForSingleObject(interrupt_, static_cast<DWORD>(std::min(left, kQueueLookStepMs)));
        }
    }

    int Write(const uint8_t* data, int count, int timeoutMs) override {
        if (!IsOpen()) return -1;
        if (count <= 0 || interrupted_.load()) return 0;
        if (timeoutMs != writeTimeoutMs_ && !SetTimeouts(timeoutMs)) return -1;
        DWORD written = 0;
        if (::WriteFile(handle_, data, static_cast<DWORD>(count), &written, nullptr) == 0 && written == 0) {
            // A write that ran out of time reports ERROR_TIMEOUT (or nothing) with what went out.
            const DWORD error = ::GetLastError();
            return error == ERROR_TIMEOUT || error == ERROR_COUNTER_TIMEOUT ? 0 : -1;
        }
        return static_cast<int>(written);
    }

    bool PurgeInput() override {
        return IsOpen() && ::PurgeComm(handle_, PURGE_RXABORT | PURGE_RXCLEAR) != 0;
    }
    bool PurgeOutput() override {
        return IsOpen() && ::PurgeComm(handle_, PURGE_TXABORT | PURGE_TXCLEAR) != 0;
    }

    bool SetBreak(bool on) override {
        return IsOpen() && (on ? ::SetCommBreak(handle_) : ::ClearCommBreak(handle_)) != 0;
    }

    bool Close() override {
        if (!IsOpen()) return false;
        CloseHandleOnly();
        return true;
    }

    void Interrupt() override {
        interrupted_.store(true);
        if (interrupt_ != nullptr) ::SetEvent(interrupt_);
    }

  private:
    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }

    void CloseHandleOnly() {
        ::CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

    // Reads return at once with what is there; writes wait up to writeTimeoutMs (0: no limit is
    // never asked for, so 0 means "what fits now").
    bool SetTimeouts(int writeTimeoutMs) {
        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = MAXDWORD;
        timeouts.ReadTotalTimeoutMultiplier = 0;
        timeouts.ReadTotalTimeoutConstant = 0;
        timeouts.WriteTotalTimeoutMultiplier = 0;
        timeouts.WriteTotalTimeoutConstant = static_cast<DWORD>(std::max(writeTimeoutMs, 1));
        if (::SetCommTimeouts(handle_, &timeouts) == 0) return false;
        writeTimeoutMs_ = writeTimeoutMs;
        return true;
    }

    bool Fail(SerialFailureCode code, std::string detail) {
        failure_.code = code;
        failure_.detail = std::move(detail);
        return false;
    }

    HANDLE handle_ = INVALID_HANDLE_VALUE;
    HANDLE interrupt_ = nullptr;
    std::atomic<bool> interrupted_{false};
    int writeTimeoutMs_ = -1;
    SerialFailure failure_;
};

}  // namespace

std::unique_ptr<SerialDevice> CreateLocalDevice() {
    return std::make_unique<Win32Device>();
}

std::string DefaultLocalDeviceName(int port) {
    return DevicePath(port);
}

bool CheckLocalDeviceName(const std::string& name, std::string& error) {
    if (ComNumber(name) > 0 && ComNumber(name) <= 255) return true;
    error = name + ": not a serial port name (COM1 to COM255, or \\\\.\\COMn)";
    return false;
}

// Windows tells whether a COM port is free only by opening it, and opening toggles its modem
// lines: nothing is known beforehand.
SerialFailure CheckLocalDevice(const std::string& name) {
    if (ComNumber(name) == 0) return {SerialFailureCode::kNoSuchDevice, name + ": not a COM port name", 0};
    return {};
}

bool SameLocalDevice(const std::string& first, const std::string& second) {
    return ComNumber(first) != 0 && ComNumber(first) == ComNumber(second);
}

// Windows refuses a second open of a COM port itself: there is no look at other programs to take
// or to hand on.
HandedLook TakeLookFor(const std::vector<std::string>& /*names*/) {
    return {};
}

HandedLook LookPartFor(const HandedLook& look, const std::vector<std::string>& /*names*/) {
    return {look.takenAt, {}};
}

void AcceptHandedLook(const HandedLook& /*look*/) {}
