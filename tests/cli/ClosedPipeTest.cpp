// Output into a pipe whose reader stops early (vandel-cli show --json FILE | head -1) ends quietly:
// no message, status 0 when everything fitted the pipe, 141 (as for SIGPIPE) when the reader had gone.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "cli/CliFixtures.h"
#include "cli/CliRunner.h"

namespace {

struct PipeRun {
    int status = -1;
    std::string firstBytes;
    std::string err;
};

// Runs vandel-cli with standard output into a pipe; the reader closes it before the program starts
// (readNothing) or after its first read.
PipeRun RunIntoPipe(const std::vector<std::string>& args, bool readNothing) {
    int out[2];
    int err[2];
    if (::pipe(out) != 0 || ::pipe(err) != 0) return {};
    if (readNothing) ::close(out[0]);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        std::vector<char*> argv;
        const std::string program = CliProgramPath();
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    PipeRun run;
    char buffer[64];
    if (!readNothing) {
        const ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n > 0) run.firstBytes.assign(buffer, static_cast<size_t>(n));
        ::close(out[0]);
    }
    for (ssize_t n; (n = ::read(err[0], buffer, sizeof buffer)) > 0;)
        run.err.append(buffer, static_cast<size_t>(n));
    ::close(err[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

}  // namespace

TEST(CliClosedPipe, AReaderThatStopsEarlyEndsTheProgramQuietly) {
    TempFolder folder;
    const std::string file = folder.File("factory.dat");
    ASSERT_TRUE(WriteBytes(file, FactorySettingsFile()));
    const PipeRun gone = RunIntoPipe({"show", "--json", file}, true);
    EXPECT_EQ(gone.status, 141);
    EXPECT_EQ(gone.err, "");
    for (int run = 0; run < 3; ++run) {
        const PipeRun firstLine = RunIntoPipe({"show", "--json", file}, false);
        EXPECT_EQ(firstLine.status, 0);
        EXPECT_EQ(firstLine.firstBytes.substr(0, 2), "{\n");
        EXPECT_EQ(firstLine.err, "");
    }
}
