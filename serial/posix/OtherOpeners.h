// What other processes have open, as /proc shows it: each one's open character devices (a walk
// through /proc/PID/fd) and the flocks of /proc/locks. Both grow with the whole machine, not with
// the ports asked about: a look costs as much for one port as for twenty, so the ports a run opens
// side by side share one.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

// The character devices another process has open, and which of its descriptors are pty masters.
struct OpenDevices {
    int32_t pid = 0;
    std::vector<dev_t> devices;
    std::vector<std::string> masters;  // descriptor numbers on the pty multiplexer
    // The pty number of each master, read when first asked for (kMasterNotRead until then): a look
    // asked about many ptys reads each master's fdinfo once. Each user of a look has its own copy.
    mutable std::vector<int> masterIndexes;
};
constexpr int kMasterNotRead = -2;

// One flock of /proc/locks: the node it locks (its file system and inode) and its holder (0 when
// unknown).
struct FlockHeld {
    dev_t fileSystem = 0;
    ino_t inode = 0;
    int32_t pid = 0;
};

struct OtherOpeners {
    std::vector<OpenDevices> processes;  // those with at least one character device open
    std::vector<FlockHeld> flocks;
};

// When a look begins. kAtOnce: as soon as no other look is under way. kGatherSideBySide: a few
// milliseconds after the first question, so that the ports of a run, opened each on its own thread
// at the same moment, all ask before it begins and share it.
enum class LookStart { kAtOnce, kGatherSideBySide };

// A look that began after this call: what it tells is never older than the question. A question
// asked while a look is under way waits for the next one; every question asked before a look begins
// is answered by it.
OtherOpeners FreshLook(LookStart start);

// /proc/locks now: its flocks (waiters left out).
std::vector<FlockHeld> ReadFlocks();

// True when the process holds the master of pty number ptyIndex (−1: no pty, never).
bool HoldsPtyMaster(const OpenDevices& process, int ptyIndex);

// The descriptor of process pid that has the character device open, −1 when none (or when its
// descriptors cannot be looked into).
int DescriptorOnDevice(int32_t pid, dev_t device);
// Whether descriptor fd of process pid has the character device open.
bool DescriptorIsOnDevice(int32_t pid, int fd, dev_t device);
