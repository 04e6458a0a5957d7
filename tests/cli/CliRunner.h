// Runs the real vandel-cli program (from VC_BIN_DIR) in a child process and collects its exit
// status, standard output and standard error, with a generous deadline as a hang guard.
#pragma once

#include <chrono>
#include <cstdint>
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
};

std::string CliProgramPath();
CliResult RunCli(const std::vector<std::string>& args, const CliRunOptions& options = {});

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

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadBytes(const std::string& path);
bool FileExists(const std::string& path);
