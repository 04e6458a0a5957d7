// Who else uses a tty line. Opening "without sharing" on Linux takes more than one flag: a program
// that opened the tty first without locking it (a terminal program, a modem manager probing new
// ports, a getty) would otherwise split the received bytes with us. Before a tty is opened we honour
// UUCP lock files and look for any other process that has the same device open, as fuser does.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "serial/SerialFailure.h"
#include "serial/posix/OtherOpeners.h"

enum class TtyKind { kNotTty, kSerialLine, kPtySlave, kUnknown };

// What the kernel's tty driver table (/proc/tty/drivers) says of a character device number:
// kUnknown when the table cannot be read.
TtyKind TtyKindOfDevice(dev_t device);

// The lock file of a device path in the UUCP convention: /var/lock/LCK..ttyUSB0; for a device in a
// folder below /dev the folders are joined with '_' (/dev/pts/3 → LCK..pts_3).
std::string UucpLockPath(const std::string& devicePath);
// The folder the lock files live in (/var/lock); tests point it elsewhere.
void SetUucpLockFolder(const std::string& folder);

// What a lock file says of its device. It is held while it names a live process, and also while
// it is empty or unreadable but young: another program may be between creating it and writing its
// PID. It is stale when it names a process that does not exist (gone, ended and not yet reaped, or
// started well after the file was written: the PID was given out again), or is empty or unreadable and
// older than kUucpLockCreationSeconds. Looking changes nothing; only taking the lock removes a stale
// file.
struct UucpLockState {
    bool held = false;
    int32_t pid = 0;  // the holder, 0 when a young lock file names none yet
    bool stale = false;
};
constexpr int kUucpLockCreationSeconds = 5;
UucpLockState ReadUucpLock(const std::string& lockPath);
// The live process whose lock file names the device, or 0 when there is none.
int32_t UucpLockHolder(const std::string& lockPath);
// "lock file /var/lock/LCK..pts_3 of PID 4711 (minicom)" (or "being written by another program").
std::string UucpLockDetail(const std::string& lockPath, const UucpLockState& state);

// Takes the lock file for this process while the port is open, removing a stale one. False when
// another program holds it (holderPid set, 0 for a young file that names no one yet); true (and
// nothing held) when the lock folder cannot take files.
class UucpLock {
  public:
    UucpLock() = default;
    ~UucpLock() { Release(); }
    UucpLock(const UucpLock&) = delete;
    UucpLock& operator=(const UucpLock&) = delete;

    bool Acquire(const std::string& devicePath, int32_t& holderPid);
    void Release();

  private:
    std::string path_;
};

struct LineHolder {
    int32_t pid = 0;
    std::string command;  // from /proc/PID/comm, empty when unknown
};

// Another process than this one that has the device open, as the look found it. On a
// pseudo-terminal the process holding the pty's master (its fdinfo shows the same tty-index) is the
// line's other end, not a holder, even when it keeps the slave open too. ptyIndex is the pty's
// number (/dev/pts/N), or −1 for other ttys.
bool FindLineHolder(const OtherOpeners& look, dev_t device, int ptyIndex, LineHolder& holder);

// "PID 4711 (minicom)", or "PID 4711" when the command is not known.
std::string DescribeProcess(int32_t pid);

// A tty as the checks found it.
struct TtyLine {
    std::string path;  // links resolved
    TtyKind kind = TtyKind::kUnknown;
    dev_t device = 0;
    dev_t nodeFileSystem = 0;  // where the device node lives, and its inode: what flock locks
    ino_t nodeInode = 0;
};

// Busy with the process that holds an flock on the device node (/proc/locks, readable by every
// user, so a holder whose descriptors we may not see is found too); kNone when there is none. The
// open's own flock, when refused, gives its reason by this same function. FlockIn looks in flocks
// read before.
SerialFailure FlockedBy(const TtyLine& line);
SerialFailure FlockIn(const std::vector<FlockHeld>& flocks, const TtyLine& line);

// The program that held a line when it was last looked at, and its descriptor on it (−1: not known).
struct LineHolderSeen {
    int32_t pid = 0;
    int fd = -1;
};

// The other end of a pty (kirp-emulator) calls this with the slave descriptor it keeps open: when
// the line is still in exclusive use (TIOCEXCL) although no other process has it open or locked,
// the program that took it is gone (killed), and its exclusive use is ended so that the next
// program can open the line. True when it was ended. seen is kept between the calls: while the
// program found last still has the line open on the same descriptor, nothing else is looked at.
bool EndExclusiveUseLeftBehind(int slaveFd, LineHolderSeen& seen);

// The tty a name stands for (links resolved), known to be a tty before anything is opened:
// kNoSuchDevice, kPermissionDenied or kNotSerial when it is not.
SerialFailure ExamineTty(const std::string& name, TtyLine& line);
// Busy when the look found another process that has the line open (not the other end of a pty) or
// holds its flock; kNone when it found none.
SerialFailure HeldByOthers(const OtherOpeners& look, const TtyLine& line);
// Whether a look handed on by the program that started this one (AcceptHandedLook) stands in for
// a look of this program's own at the device: once per device, within the look's life.
bool HandedLookVouchesFor(dev_t device);

// Whether this program may open the tty now, without opening it: the device exists, is a serial
// line, no other live process holds its lock file, its flock or has it open, and this user may read
// and write it. The driver checks this before every open; `vandel-cli ports` gives its verdict by it.
// The look at other processes begins as start says (the driver's open gathers the ports opened
// side by side); an open (kGatherSideBySide) takes none where a handed look vouches for the device.
SerialFailure CheckTtyAvailable(const std::string& name, TtyLine& line, LookStart start);

// Who owns the device and may use it, and what the user can do about it: "/dev/ttyUSB0 is owned by
// root, group dialout, mode 0660; you are not in group dialout (join it: sudo usermod -aG dialout
// $USER, then log in again)". Joining a group is advised only when that group may read and write
// the device and it is not root's.
std::string PermissionDetail(const std::string& name);
