// A test seam that stays out of the product: the stop tests preload this library (LD_PRELOAD) into
// vandel-cli, and every run of a fleet (the program started with --fleet-run) then misbehaves as
// VC_RUN_MISBEHAVES says, before the run's own code starts:
//   close-and-hang  closes its standard output, standard error and event descriptor, then waits
//                   until it is killed (or its parent dies);
//   escapes         writes escape sequences and control bytes to its standard error, then runs.
// The fleet's parent, and any other command, is left alone.
#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

__attribute__((constructor)) void Misbehave(int argc, char** argv, char** /*environment*/) {
    const char* how = std::getenv("VC_RUN_MISBEHAVES");
    if (how == nullptr || argc != 2 || std::strcmp(argv[1], "--fleet-run") != 0) return;
    if (std::strcmp(how, "close-and-hang") == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // no orphan outlives a parent that waits forever
        for (const int fd : {STDOUT_FILENO, STDERR_FILENO, 3}) ::close(fd);
        for (;;) ::pause();
    }
    if (std::strcmp(how, "escapes") == 0) {
        static const char kText[] = "\x1b]0;title\x07\x1b[2J\x1b[31mred\x1b[0m\b\x7f\n";
        if (::write(STDERR_FILENO, kText, sizeof kText - 1) < 0) std::abort();
    }
}

}  // namespace
