// Progress of a run on standard error, one line per port.
//
// On a terminal the lines are drawn in place and redrawn as the ports move on (step, pass, groups
// still missing), each cut to the terminal's width: the ports that failed on top, where they stay,
// then those still at work, then those that succeeded, and a last line counting the ports done as
// each one finishes. Elsewhere (a log, a pipe) each port gets a plain line whenever its state
// changes. --quiet turns both off.
//
// The states come from the Port Contexts and the operation's step, looked at every time the
// operation waits (WatchPorts); a run with several processes gathers them from each process.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "cli/Color.h"
#include "operations/Operator.h"

enum class ProgressMode { kOff, kLines, kTerminal };

// kOff when quiet, kTerminal when out is a terminal, otherwise offTerminal (kLines or kOff).
ProgressMode ProgressModeFor(std::FILE* out, bool quiet, ProgressMode offTerminal);

class ProgressBoard {
  public:
    // labels[i] names port line i (its device); color: results in colour.
    ProgressBoard(std::vector<std::string> labels, std::FILE* out, ProgressMode mode, bool color = false);
    ProgressBoard(const ProgressBoard&) = delete;
    ProgressBoard& operator=(const ProgressBoard&) = delete;

    // Port line i's state; shown when it changed (on a terminal at the next Tick). A state that
    // begins "done: " ends the port, as Done with no tone.
    void Update(size_t index, const std::string& state);
    // Port line i is through: "done: RESULT" in the result's colour. A tone other than kGood is a
    // failure, kept on top of the board.
    void Done(size_t index, const std::string& result, Tone tone);
    // A message of its own: printed above the board, line by line, control characters shown as '?'.
    void Message(const std::string& text);
    // Redraws the terminal board when something changed, at most every 100 ms.
    void Tick();
    // The last drawing; the lines stay on the screen.
    void Finish();

  private:
    std::vector<std::string> Lines() const;
    void Draw();
    void Erase();

    std::vector<std::string> labels_;
    std::vector<std::string> states_;
    std::vector<bool> done_;
    std::vector<Tone> tones_;
    bool color_;
    std::FILE* out_;
    ProgressMode mode_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_{};
    bool dirty_ = false;
    size_t drawnLines_ = 0;
};

// What a port of this process's run is doing: sink(commIndex, state, result) whenever that
// changes, for comm indices 0..portCount-1; result is the port's Port Result once it is through
// before the run ends (it could not be opened, never answered, or every group read back matches),
// else 0. One watch at a time; StopWatchingPorts ends it.
using PortStateSink = std::function<void(int commIndex, const std::string& state, uint8_t result)>;
void WatchPorts(int portCount, PortStateSink sink);
void StopWatchingPorts();
// The operation's step, from the Operator's progress: each port's line shows the step and pass
// ("Link Check, pass 2 of 8") with what that port still lacks.
void SetRunStep(const OperationProgress& progress);
