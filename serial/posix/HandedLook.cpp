// One look at other processes for many ttys, handed on from the program that takes it to the
// programs it starts: a fleet of a thousand receivers walks /proc once instead of once a run.
#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <mutex>

#include "serial/LocalDevice.h"
#include "serial/posix/LineOwnership.h"

namespace {

int64_t MonotonicNow() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Sorted, each device once: what Contains and HandedLookVouchesFor search.
void SortOnce(std::vector<uint64_t>& devices) {
    std::sort(devices.begin(), devices.end());
    devices.erase(std::unique(devices.begin(), devices.end()), devices.end());
}

bool Contains(const std::vector<uint64_t>& sorted, uint64_t device) {
    return std::binary_search(sorted.begin(), sorted.end(), device);
}

std::mutex handedMutex;
HandedLook handed;  // what is left of the look handed on: each device is vouched for once

}  // namespace

HandedLook TakeLookFor(const std::vector<std::string>& names) {
    std::vector<TtyLine> lines;
    for (const std::string& name : names) {
        TtyLine line;
        if (ExamineTty(name, line).code == SerialFailureCode::kNone) lines.push_back(line);
    }
    HandedLook taken;
    if (lines.empty()) return taken;  // network ports only: nothing to look for
    taken.takenAt = MonotonicNow();
    const OtherOpeners look = FreshLook(LookStart::kAtOnce);
    for (const TtyLine& line : lines)
        if (HeldByOthers(look, line).code == SerialFailureCode::kNone) taken.unheld.push_back(line.device);
    SortOnce(taken.unheld);
    return taken;
}

HandedLook LookPartFor(const HandedLook& look, const std::vector<std::string>& names) {
    HandedLook part;
    part.takenAt = look.takenAt;
    for (const std::string& name : names) {
        struct stat info {};
        if (::stat(name.c_str(), &info) == 0 && S_ISCHR(info.st_mode) && Contains(look.unheld, info.st_rdev))
            part.unheld.push_back(info.st_rdev);
    }
    SortOnce(part.unheld);
    return part;
}

void AcceptHandedLook(const HandedLook& look) {
    std::lock_guard<std::mutex> lock(handedMutex);
    handed = look;
    SortOnce(handed.unheld);
}

bool HandedLookVouchesFor(dev_t device) {
    std::lock_guard<std::mutex> lock(handedMutex);
    if (handed.unheld.empty()) return false;
    const int64_t age = MonotonicNow() - handed.takenAt;
    if (age < 0 || age > int64_t{kHandedLookLifeMs} * 1000000) {
        handed = {};  // too old to stand in for a look of this program's own, for any device
        return false;
    }
    const auto at = std::lower_bound(handed.unheld.begin(), handed.unheld.end(), device);
    if (at == handed.unheld.end() || *at != device) return false;
    handed.unheld.erase(at);
    return true;
}
