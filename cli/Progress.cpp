#include "cli/Progress.h"

#include <unistd.h>

#include <array>
#include <chrono>

#include "link/PortContext.h"
#include "operations/OperationWait.h"
#include "settings/SettingsImage.h"

namespace {

using Clock = std::chrono::steady_clock;

// Touched by the operation's thread only (the observer runs there).
struct ProgressState {
    std::vector<std::string> devices;
    std::FILE* out = nullptr;
    Clock::time_point start;
    std::array<int, kPortContextCount> linkPasses{};
    std::array<int, kPortContextCount> groupPasses{};
};
ProgressState progress;

std::string GroupList(const PortContext& context, uint8_t status) {
    std::vector<const char*> names;
    for (int g = 1; g <= kGroupCount; ++g)
        if (context.groupStatus[static_cast<size_t>(g - 1)] == status) names.push_back(SettingsGroup(g).name);
    if (names.empty()) return {};
    if (names.size() > 3) return std::to_string(names.size()) + " groups";
    std::string list;
    for (const char* name : names) list += (list.empty() ? "" : ", ") + std::string(name);
    return list;
}

void PrintProgress(int milliseconds) {
    const double seconds = std::chrono::duration<double>(Clock::now() - progress.start).count();
    std::string line;
    for (size_t i = 0; i < progress.devices.size() && i < PortContexts.size(); ++i) {
        const PortContext& context = PortContexts[i];
        std::string part;
        if (context.linkState == kLinkCheckSent) {
            part = "Link Check pass " + std::to_string(++progress.linkPasses[i]) + ", no answer yet";
        } else {
            progress.linkPasses[i] = 0;
        }
        const std::string missing = GroupList(context, kGroupRequested);
        const std::string differs = GroupList(context, kGroupDiffers);
        if (part.empty() && context.operationMode != kModeIdle && (!missing.empty() || !differs.empty())) {
            part = "pass " + std::to_string(++progress.groupPasses[i]);
            if (!missing.empty()) part += ", missing " + missing;
            if (!differs.empty()) part += ", differs " + differs;
        } else if (missing.empty() && differs.empty()) {
            progress.groupPasses[i] = 0;
        }
        if (part.empty()) continue;
        line += (line.empty() ? "" : "; ") + std::string("Comm ") + std::to_string(i + 1) + " (" +
                progress.devices[i] + "): " + part;
    }
    if (line.empty()) line = "waiting " + std::to_string(milliseconds) + " ms";
    std::fprintf(progress.out, "[%6.1f s] %s\n", seconds, line.c_str());
    std::fflush(progress.out);
}

}  // namespace

void StartProgress(const std::vector<std::string>& devices, std::FILE* out, bool force) {
    if (!force && ::isatty(::fileno(out)) == 0) return;
    progress = ProgressState{};
    progress.devices = devices;
    progress.out = out;
    progress.start = Clock::now();
    SetOperationWaitObserver(PrintProgress);
}

void StopProgress() {
    SetOperationWaitObserver(nullptr);
}
