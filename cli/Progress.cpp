#include "cli/Progress.h"

#include <algorithm>

#include "cli/platform/Platform.h"
#include "link/PortContext.h"
#include "operations/OperationWait.h"
#include "settings/SettingsImage.h"

namespace {

using Clock = std::chrono::steady_clock;

// A device name may hold anything: no control character reaches the terminal.
std::string Printable(const std::string& text) {
    std::string printable = text;
    for (char& c : printable)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return printable;
}

// At most width columns, counting UTF-8 characters, never cutting one.
std::string FitWidth(const std::string& text, size_t width) {
    size_t columns = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
        if (++columns > width) return text.substr(0, i);
    }
    return text;
}

struct TerminalSize {
    size_t columns = 80;
    size_t rows = 24;
};

TerminalSize SizeOf(std::FILE* out) {
    TerminalSize size;
    TerminalWindowSize(out, size.columns, size.rows);
    return size;
}

constexpr const char* kDonePrefix = "done: ";

}  // namespace

ProgressMode ProgressModeFor(std::FILE* out, bool quiet, ProgressMode offTerminal) {
    if (quiet) return ProgressMode::kOff;
    if (IsTerminal(out)) return ProgressMode::kTerminal;
    return offTerminal;
}

ProgressBoard::ProgressBoard(std::vector<std::string> labels, std::FILE* out, ProgressMode mode, bool color)
    : labels_(std::move(labels)),
      states_(labels_.size()),
      done_(labels_.size()),
      tones_(labels_.size(), Tone::kPlain),
      color_(color),
      out_(out),
      mode_(mode),
      start_(Clock::now()) {
    for (std::string& label : labels_) label = Printable(label);
}

void ProgressBoard::Update(size_t index, const std::string& state) {
    if (index >= states_.size() || states_[index] == state) return;
    states_[index] = Printable(state);
    done_[index] = state.rfind(kDonePrefix, 0) == 0;
    if (!done_[index]) tones_[index] = Tone::kPlain;
    if (mode_ == ProgressMode::kLines) {
        const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
        const std::string line = labels_[index] + ": " + states_[index];
        std::fprintf(out_, "[%6.1f s] %s\n", seconds, Paint(line, tones_[index], color_).c_str());
        std::fflush(out_);
    }
    dirty_ = true;
}

void ProgressBoard::Done(size_t index, const std::string& result, Tone tone) {
    if (index >= states_.size()) return;
    tones_[index] = tone;
    dirty_ = true;
    Update(index, kDonePrefix + result);
}

void ProgressBoard::Message(const std::string& text) {
    if (mode_ == ProgressMode::kTerminal) Erase();
    // A message may come from a run's standard error or name a device: no control character
    // reaches the terminal, and each of its lines is a line.
    size_t begin = 0;
    for (size_t end = text.find('\n');; end = text.find('\n', begin)) {
        std::fprintf(out_, "%s\n", Printable(text.substr(begin, end - begin)).c_str());
        if (end == std::string::npos) break;
        begin = end + 1;
    }
    if (mode_ == ProgressMode::kTerminal) Draw();
    std::fflush(out_);
}

void ProgressBoard::Tick() {
    if (mode_ != ProgressMode::kTerminal || !dirty_) return;
    if (Clock::now() - lastDraw_ < std::chrono::milliseconds(100)) return;
    Erase();
    Draw();
}

void ProgressBoard::Finish() {
    if (mode_ != ProgressMode::kTerminal || !dirty_) return;
    Erase();
    Draw();
    drawnLines_ = 0;  // what is on the screen now stays
}

// One line per port, the failed first, then those at work, then the rest; with more than one port
// a last line counting those done. When the terminal is too short for all, the last are left out
// and counted.
std::vector<std::string> ProgressBoard::Lines() const {
    const TerminalSize size = SizeOf(out_);
    const size_t room = size.rows > 2 ? size.rows - 2 : 1;
    auto failed = [&](size_t i) { return done_[i] && tones_[i] != Tone::kGood && tones_[i] != Tone::kPlain; };
    auto rank = [&](size_t i) { return failed(i) ? 0 : done_[i] ? 2 : 1; };
    std::vector<size_t> order(labels_.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return rank(a) < rank(b); });
    const bool counted = order.size() > 1;
    const size_t shown = std::min(order.size(), counted ? room - 1 : room);
    std::vector<std::string> lines;
    for (size_t k = 0; k < shown; ++k) {
        const size_t i = order[k];
        const std::string line =
            FitWidth(labels_[i] + ": " + (states_[i].empty() ? "waiting" : states_[i]), size.columns - 1);
        lines.push_back(Paint(line, tones_[i], color_));
    }
    if (counted) {
        size_t done = 0;
        size_t failures = 0;
        for (size_t i = 0; i < order.size(); ++i) {
            done += done_[i] ? 1 : 0;
            failures += failed(i) ? 1 : 0;
        }
        std::string count = std::to_string(done) + " of " + std::to_string(order.size()) + " done";
        if (failures > 0) count += ", " + std::to_string(failures) + " failed";
        if (shown < order.size())
            count = "... " + std::to_string(order.size() - shown) + " more ports; " + count;
        lines.push_back(FitWidth(count, size.columns - 1));
    }
    return lines;
}

void ProgressBoard::Draw() {
    const std::vector<std::string> lines = Lines();
    for (const std::string& line : lines) std::fprintf(out_, "\r\033[2K%s\n", line.c_str());
    std::fflush(out_);
    drawnLines_ = lines.size();
    lastDraw_ = Clock::now();
    dirty_ = false;
}

// Back to the first line of the board, and everything below cleared.
void ProgressBoard::Erase() {
    if (drawnLines_ > 0) std::fprintf(out_, "\033[%zuA\r\033[J", drawnLines_);
    drawnLines_ = 0;
}

namespace {

// Touched by the operation's thread only (the observer and the Operator run there).
struct PortWatch {
    int portCount = 0;
    PortStateSink sink;
    std::string step;
    std::vector<std::string> states;
};
PortWatch watch;

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

// What a port is doing; result: its Port Result once it is through (it could not be opened, never
// answered, or every group it read back matches), else kResultNotInRun.
std::string PortState(const PortContext& context, const std::string& step, uint8_t& result) {
    result = kResultNotInRun;
    if (context.portResult == kResultOpenFailed || context.portResult == kResultNoAnswer) {
        result = context.portResult;
        return result == kResultOpenFailed ? "could not open the port" : "no answer";
    }
    if (context.operationMode == kModeIdle) return {};
    // A port that is through with the step says so without the pass, so that it keeps its line
    // while the others go on trying.
    if (context.linkState == kLinkAnswered) return "answered the Link Check";
    const bool allMatch = std::all_of(context.groupStatus.begin(), context.groupStatus.end(),
                                      [](uint8_t status) { return status == kGroupMatches; });
    if (allMatch) {
        result = kResultSuccess;
        return "every group matches";
    }
    std::string detail;
    if (context.linkState == kLinkCheckSent) {
        detail = "no answer yet";
    } else {
        const std::string missing = GroupList(context, kGroupRequested);
        const std::string differs = GroupList(context, kGroupDiffers);
        if (!missing.empty()) detail = "missing " + missing;
        if (!differs.empty()) detail += (detail.empty() ? "differs " : ", differs ") + differs;
    }
    if (step.empty()) return detail;
    return detail.empty() ? step : step + ": " + detail;
}

void LookAtPorts(int /*milliseconds*/) {
    for (int i = 0; i < watch.portCount && i < kPortContextCount; ++i) {
        uint8_t result = kResultNotInRun;
        const std::string state = PortState(PortContexts[static_cast<size_t>(i)], watch.step, result);
        std::string& last = watch.states[static_cast<size_t>(i)];
        if (state.empty() || state == last) continue;
        last = state;
        watch.sink(i, state, result);
    }
}

}  // namespace

void WatchPorts(int portCount, PortStateSink sink) {
    watch = PortWatch{};
    watch.portCount = portCount;
    watch.sink = std::move(sink);
    watch.states.resize(static_cast<size_t>(std::max(portCount, 0)));
    SetOperationWaitObserver(LookAtPorts);
}

void StopWatchingPorts() {
    SetOperationWaitObserver(nullptr);
    watch = PortWatch{};
}

void SetRunStep(const OperationProgress& progress) {
    watch.step = StepText(progress);  // each port's line tells its own groups, not the run's count
}
