#include "emulator/Emulator.h"

#include <thread>
#include <utility>

#include "emulator/EmulatedReceiver.h"
#include "emulator/EmulatorLog.h"

Emulator::Emulator(EmulatorOptions options) : options_(std::move(options)) {}

Emulator::~Emulator() {
    Stop();
}

bool Emulator::Start(std::string& error) {
    Stop();
    if (options_.count < 1) {
        error = "at least one receiver is needed";
        return false;
    }
    if (!options_.logFile.empty()) {
        log_ = std::make_unique<EmulatorLog>();
        if (!log_->Open(options_.logFile)) {
            error = "cannot write the log file " + options_.logFile;
            log_.reset();
            return false;
        }
    }
    for (int i = 0; i < options_.count; ++i) {
        uint16_t port = 0;
        if (!options_.usePty && options_.listenPort != 0) {
            const int wanted = options_.listenPort + i;
            if (wanted > 65535) {
                error = "no port numbers left for receiver " + std::to_string(i + 1);
                Stop();
                return false;
            }
            port = static_cast<uint16_t>(wanted);
        }
        auto receiver = std::make_unique<EmulatedReceiver>(i + 1, options_, log_.get());
        if (!options_.startSettings.empty())
            receiver->StartFrom(
                options_.startSettings[std::min(static_cast<size_t>(i), options_.startSettings.size() - 1)]);
        if (!receiver->Start(port, error)) {
            receiver.reset();
            Stop();
            return false;
        }
        receivers_.push_back(std::move(receiver));
    }
    return true;
}

void Emulator::Stop() {
    for (auto& receiver : receivers_) receiver->Stop();
    receivers_.clear();
    log_.reset();
}

int Emulator::Count() const {
    return static_cast<int>(receivers_.size());
}

std::string Emulator::Address(int index) const {
    if (index < 0 || index >= Count()) return {};
    return receivers_[static_cast<size_t>(index)]->Address();
}

std::string Emulator::DeviceName(int index) const {
    if (index < 0 || index >= Count()) return {};
    return receivers_[static_cast<size_t>(index)]->DeviceName();
}

ReceiverStatus Emulator::Status(int index) const {
    if (index < 0 || index >= Count()) return {};
    return receivers_[static_cast<size_t>(index)]->Status();
}

void Emulator::SetCurrentSettings(int index, const ReceiverSettings& settings) {
    if (index < 0 || index >= Count()) return;
    receivers_[static_cast<size_t>(index)]->SetCurrentSettings(settings);
}

bool Emulator::WaitFor(int index, const std::function<bool(const ReceiverStatus&)>& condition,
                       std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition(Status(index))) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}
