#include "cli/CliRunner.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// Reads what is there; false at the end of the stream (a pty master reports its end as EIO).
bool Drain(int fd, std::string& into) {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            into.append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) return true;
        return false;
    }
}

}  // namespace

std::string CliProgramPath() {
    const char* dir = std::getenv("VC_BIN_DIR");
    if (dir != nullptr && *dir != '\0') return std::string(dir) + "/vandel-cli";
    // Test programs live in <build>/tests, the programs in <build>/bin.
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return (self.parent_path().parent_path() / "bin" / "vandel-cli").string();
}

CliResult RunCli(const std::vector<std::string>& args, const CliRunOptions& options) {
    CliResult result;
    const std::string program = CliProgramPath();
    std::vector<std::string> argvStrings{program};
    argvStrings.insert(argvStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argvStrings) argv.push_back(arg.data());
    argv.push_back(nullptr);
    // The test's environment with the run's own entries over it.
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('=') + 1);
        bool replaced = false;
        for (const std::string& own : options.environment) replaced = replaced || own.rfind(name, 0) == 0;
        if (!replaced) environment.push_back(text);
    }
    environment.insert(environment.end(), options.environment.begin(), options.environment.end());
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);

    int outPipe[2] = {-1, -1};
    int errPipe[2] = {-1, -1};
    if (::pipe2(outPipe, O_CLOEXEC) != 0) return result;
    int errRead = -1;
    int errWrite = -1;
    if (options.stderrTerminal) {
        errRead = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128] = {};
        if (errRead < 0 || ::grantpt(errRead) != 0 || ::unlockpt(errRead) != 0 ||
            ::ptsname_r(errRead, name, sizeof name) != 0)
            return result;
        errWrite = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    } else if (::pipe2(errPipe, O_CLOEXEC) == 0) {
        errRead = errPipe[0];
        errWrite = errPipe[1];
    }
    if (errRead < 0 || errWrite < 0) return result;
    const std::string input = options.stdinPath.empty() ? std::string("/dev/null") : options.stdinPath;

    const pid_t pid = ::fork();
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec: the test process has threads.
        ::dup2(outPipe[1], STDOUT_FILENO);
        ::dup2(errWrite, STDERR_FILENO);
        const int in = ::open(input.c_str(), O_RDONLY);
        if (in >= 0) ::dup2(in, STDIN_FILENO);
        if (options.fileSizeLimit >= 0) {
            // Past the limit a write fails as on a full disk (and the signal it would raise is ignored).
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{static_cast<rlim_t>(options.fileSizeLimit),
                               static_cast<rlim_t>(options.fileSizeLimit)};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (options.runAsUid >= 0) {
            const auto id = static_cast<uid_t>(options.runAsUid);
            if (::setgroups(0, nullptr) != 0 || ::setgid(id) != 0 || ::setuid(id) != 0) ::_exit(126);
        }
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    CloseFd(outPipe[1]);
    CloseFd(errWrite);
    if (pid < 0) {
        CloseFd(outPipe[0]);
        CloseFd(errRead);
        return result;
    }
    if (options.started) options.started(pid);
    ::fcntl(outPipe[0], F_SETFL, ::fcntl(outPipe[0], F_GETFL) | O_NONBLOCK);
    ::fcntl(errRead, F_SETFL, ::fcntl(errRead, F_GETFL) | O_NONBLOCK);

    const Clock::time_point deadline = Clock::now() + options.timeout;
    int outFd = outPipe[0];
    int errFd = errRead;
    int status = 0;
    bool exited = false;
    while (outFd >= 0 || errFd >= 0 || !exited) {
        if (Clock::now() >= deadline) {
            result.timedOut = true;
            ::kill(pid, SIGKILL);
            break;
        }
        pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
        ::poll(fds, 2, 50);
        if (outFd >= 0 && !Drain(outFd, result.out)) CloseFd(outFd);
        if (errFd >= 0 && !Drain(errFd, result.err)) CloseFd(errFd);
        if (!exited && ::waitpid(pid, &status, WNOHANG) == pid) exited = true;
        // A pty master never reports the end while it stays open: once the child is gone, what
        // remains has been drained above.
        if (exited && options.stderrTerminal && errFd >= 0) {
            Drain(errFd, result.err);
            CloseFd(errFd);
        }
    }
    CloseFd(outFd);
    CloseFd(errFd);
    if (!exited) ::waitpid(pid, &status, 0);
    if (!result.timedOut && WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
    return result;
}

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vandel-cli-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

bool FileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

std::string Unwrapped(const std::string& text) {
    std::string joined;
    size_t lineIndent = 0;  // of the line being joined to
    for (size_t begin = 0; begin < text.size();) {
        const size_t end = std::min(text.find('\n', begin), text.size());
        const std::string line = text.substr(begin, end - begin);
        const size_t indent = std::min(line.find_first_not_of(' '), line.size());
        if (!joined.empty() && joined.back() == '\n' && indent > 0 && indent >= lineIndent + 4) {
            joined.back() = ' ';
            joined += line.substr(indent);
        } else {
            joined += line;
            lineIndent = indent;
        }
        if (end < text.size()) joined += '\n';
        begin = end + 1;
    }
    return joined;
}
