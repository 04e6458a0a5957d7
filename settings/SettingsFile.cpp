#include "settings/SettingsFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>

#include "settings/Display.h"
#include "settings/SettingsImage.h"
#include "settings/SettingsView.h"

bool LoadSettingsFromFile(std::FILE* file) {
    uint8_t bytes[kSettingsFileReadLimit];
    std::memset(bytes, 0xFF, sizeof bytes);
    int count = 0;
    int c;
    while (count < kSettingsFileReadLimit && (c = std::fgetc(file)) != EOF)
        bytes[count++] = static_cast<uint8_t>(c);
    // A file that stops reading with an error is no short file: showing its missing bytes as 0xFF
    // would replace the settings in the window with a file's worth of nothing.
    if (std::ferror(file)) return false;

    for (const auto& group : kSettingsGroups) ShowGroup(group.number, bytes + group.offset);

    if (SettingsView* view = CurrentSettingsView()) view->FocusSink();
    return true;
}

namespace {
constexpr int kMaxLinkDepth = 40;  // as the kernel's own limit on links followed

std::string SystemReason(int error) {
    return std::strerror(error);
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}
}  // namespace

namespace {

// Why an existing path is no file a save may replace; empty when it may (or does not exist).
std::string KindRefusal(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return errno == ENOENT ? std::string() : SystemReason(errno);
    if (S_ISREG(info.st_mode)) return {};
    if (S_ISDIR(info.st_mode)) return SystemReason(EISDIR);
    if (S_ISCHR(info.st_mode)) return "Is a character device, not a file";
    if (S_ISBLK(info.st_mode)) return "Is a block device, not a file";
    if (S_ISFIFO(info.st_mode)) return "Is a FIFO, not a file";
    if (S_ISSOCK(info.st_mode)) return "Is a socket, not a file";
    if (S_ISLNK(info.st_mode)) return SystemReason(ELOOP);
    return "Is not a regular file";
}

}  // namespace

bool CheckSaveTarget(const std::string& requestedPath, std::string& target, std::string& errorText) {
    namespace fs = std::filesystem;
    std::error_code ec;
    // Saving onto a link writes the file it points to, as an ordinary write would, rather than
    // replacing the link with a file of its own.
    fs::path resolved = requestedPath;
    for (int depth = 0; depth < kMaxLinkDepth && fs::is_symlink(resolved, ec); ++depth) {
        const fs::path next = fs::read_symlink(resolved, ec);
        if (ec) break;
        resolved = next.is_absolute() ? next : resolved.parent_path() / next;
    }
    const std::string path = resolved.string();
    errorText = KindRefusal(path);
    if (!errorText.empty()) return false;
    fs::path folder = fs::path(path).parent_path();
    if (folder.empty()) folder = ".";
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) {
        errorText = SystemReason(errno);
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        errorText = SystemReason(ENOTDIR);
        return false;
    }
    target = path;
    return true;
}

bool SaveSettingsImage(const std::string& requestedPath, std::string& errorText) {
    return SaveFileAtomically(requestedPath, SettingsImage.data(), SettingsImage.size(), errorText);
}

bool SaveFileAtomically(const std::string& requestedPath, const void* data, size_t size,
                        std::string& errorText) {
    namespace fs = std::filesystem;
    std::string path;
    if (!CheckSaveTarget(requestedPath, path, errorText)) return false;
    fs::path folder = fs::path(path).parent_path();
    if (folder.empty()) folder = ".";
    std::string temporary = (folder / (fs::path(path).filename().string() + ".XXXXXX")).string();

    int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        errorText = SystemReason(errno);
        return false;
    }
    // mkstemp creates the file private; an existing target keeps its permissions, a new file gets
    // those of any file the operator creates.
    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0) {
        ::fchmod(fd, existing.st_mode & 07777);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }

    bool ok = WriteAll(fd, static_cast<const uint8_t*>(data), size) && ::fsync(fd) == 0;
    int error = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    // The target may have become something else while the file was written (a device node made
    // in its place): it is looked at again just before it is replaced.
    std::string refusal = ok ? KindRefusal(path) : std::string();
    if (ok && refusal.empty() && ::rename(temporary.c_str(), path.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok || !refusal.empty()) {
        ::unlink(temporary.c_str());
        errorText = refusal.empty() ? SystemReason(error) : refusal;
        return false;
    }
    return true;
}
