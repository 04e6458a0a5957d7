#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>

#include "cli/RunProtocol.h"
#include "cli/platform/RunSide.h"

namespace {

std::string pendingMessage;

// The run's messages as message events: what the operator writes to its stream arrives line by
// line.
ssize_t WriteMessages(void* cookie, const char* bytes, size_t count) {
    std::string& pending = *static_cast<std::string*>(cookie);
    pending.append(bytes, count);
    for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1))
        WriteRunEvent(kRunEventFd, MessageEventLine(pending.substr(0, end)));
    return static_cast<ssize_t>(count);
}

}  // namespace

bool StartedAsRun() {
    return ::fcntl(kRunEventFd, F_GETFD) >= 0;
}

void StopWhenParentDies() {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
}

void WatchParent(long parent, const std::string& /*rest*/) {
    if (::getppid() != static_cast<pid_t>(parent)) ::raise(SIGTERM);
}

std::FILE* OpenRunMessages() {
    cookie_io_functions_t functions{};
    functions.write = WriteMessages;
    std::FILE* messages = ::fopencookie(&pendingMessage, "w", functions);
    if (messages != nullptr) std::setvbuf(messages, nullptr, _IONBF, 0);
    return messages;
}

void CloseRunMessages(std::FILE* messages) {
    std::fclose(messages);
}
