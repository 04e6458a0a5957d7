// What device a name stands for, to find two names of one device among many without opening
// anything: a tty by its device number, a network serial port by every address its host resolves
// to with its port (so rfc2217://localhost:P and rfc2217://127.0.0.1:P are one device). Each host
// is resolved once.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

class DeviceIdentities {
  public:
    // The keys of name's device; two names share a key exactly when they name one device. A name
    // that is not there now (a missing tty, a host that does not resolve) is itself its key. False
    // with a message for what can never be a serial device: a regular file, a folder, a character
    // device that is no tty, a malformed network name, a name of no known kind.
    bool Identify(const std::string& name, std::vector<std::string>& keys, std::string& error);
    // Identifies name as the device of entry index (entries counted by the caller, each once) and
    // sets earlier to the first entry registered before on the same device, or to kNone. False
    // with a message as Identify.
    static constexpr size_t kNone = static_cast<size_t>(-1);
    bool Register(const std::string& name, size_t index, size_t& earlier, std::string& error);

  private:
    std::unordered_map<std::string, std::vector<std::string>> hosts_;
    std::unordered_map<std::string, size_t> seen_;  // a device's key → the first entry on it
};
