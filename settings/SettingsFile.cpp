#include "settings/SettingsFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef _WIN32
#include <windows.h>
#endif

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

#ifdef _WIN32

// Why an existing path is no file a save may replace; empty when it may (or does not exist).
std::string KindRefusal(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(path, ec);
    if (status.type() == fs::file_type::not_found) return {};
    if (ec) return ec.message();
    if (status.type() == fs::file_type::regular) return {};
    if (status.type() == fs::file_type::directory) return SystemReason(EISDIR);
    return "Is not a regular file";
}

// A new file beside the target that no one else has: NAME.XXXXXX with the X made unique.
int MakeTemporary(std::string& pattern) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = pattern;
        if (::_mktemp_s(name.data(), name.size() + 1) != 0) return -1;
        const int fd =
            ::_open(name.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
        if (fd >= 0 || errno != EEXIST) {
            pattern = name;
            return fd;
        }
    }
    return -1;
}

bool FolderExists(const std::filesystem::path& folder, std::string& errorText) {
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(folder, ec);
    if (ec) {
        errorText = ec.message();
        return false;
    }
    if (status.type() != std::filesystem::file_type::directory) {
        errorText = SystemReason(ENOTDIR);
        return false;
    }
    return true;
}

bool ReplaceWith(const std::string& temporary, const std::string& path) {
    if (::MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) !=
        0)
        return true;
    errno = ::GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
    return false;
}

#else

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

int MakeTemporary(std::string& pattern) {
    return ::mkstemp(pattern.data());
}

bool FolderExists(const std::filesystem::path& folder, std::string& errorText) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) {
        errorText = SystemReason(errno);
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        errorText = SystemReason(ENOTDIR);
        return false;
    }
    return true;
}

bool ReplaceWith(const std::string& temporary, const std::string& path) {
    return ::rename(temporary.c_str(), path.c_str()) == 0;
}

#endif

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
    if (!FolderExists(folder, errorText)) return false;
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

    int fd = MakeTemporary(temporary);
    if (fd < 0) {
        errorText = SystemReason(errno);
        return false;
    }
#ifdef _WIN32
    bool ok = WriteAll(fd, static_cast<const uint8_t*>(data), size) && ::_commit(fd) == 0;
#else
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
#endif
    int error = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    // The target may have become something else while the file was written (a device node made
    // in its place): it is looked at again just before it is replaced.
    std::string refusal = ok ? KindRefusal(path) : std::string();
    if (ok && refusal.empty() && !ReplaceWith(temporary, path)) {
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
