// Runs the real vandel-cli program (from VC_BIN_DIR) in a child process and collects its exit
// status, standard output and standard error, with a generous deadline as a hang guard.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct CliResult {
    int exitStatus = -1;  // −1 when it did not exit normally (killed at the deadline, a signal)
    bool timedOut = false;
    std::string out;
    std::string err;
};

struct CliRunOptions {
    bool stderrTerminal = false;  // standard error on a pseudo-terminal instead of a pipe
    int runAsUid = -1;            // run as this user (the tests run as root: to see a refusal)
    std::chrono::seconds timeout{90};
    std::function<void(pid_t)> started;    // called with the program's process id once it runs
    std::string stdinPath;                 // its standard input (default /dev/null)
    long long fileSizeLimit = -1;          // the largest file it may write (a full disk), -1: none
    std::vector<std::string> environment;  // NAME=VALUE set for it, over the test's own
};

std::string CliProgramPath();
CliResult RunCli(const std::vector<std::string>& args, const CliRunOptions& options = {});

// The default options with a longer deadline (a fleet of many receivers).
inline CliRunOptions WithTimeout(std::chrono::seconds timeout) {
    CliRunOptions options;
    options.timeout = timeout;
    return options;
}

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// A summary as if each entry were one line: a line indented four more than the line it goes on
// from is joined to it (the summaries fit 80 columns that way).
std::string Unwrapped(const std::string& text);

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadBytes(const std::string& path);
bool FileExists(const std::string& path);
