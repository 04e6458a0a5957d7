#include "emulator/EmulatorLog.h"

bool EmulatorLog::Open(const std::string& path) {
    std::string error;
    return trace_.Open(path, std::string("kirp-emulator ") + VC_VERSION, error);
}
