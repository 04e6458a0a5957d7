// Why a receiver gave no answer, from what its port received (the Port Context's tally): nothing at
// all, bytes that do not frame as KIRP packets at the line settings tried (which points at other
// line settings), or packets that did not answer. Shaped as the reason of a port that would not
// open: a stable code, the detail and a text, plus what came back at each line setting tried.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

// roles[i] names the i-th line setting the operation listened at ("the PC side", ...).
nlohmann::ordered_json SilenceReason(int commIndex, const std::vector<std::string>& roles);

// The roles of a configure or verify run: the PC side, then the fallback after the line break.
const std::vector<std::string>& ConfigureLineRoles();
// A load that got a usable Break Reply (its Link Checks then go out at the Break Reply's settings),
// or one that did not (its requests go out at the PC side).
std::vector<std::string> LoadLineRoles(bool usedBreakReply);

// True when the port's receiver sent no packet since the port was opened.
bool NoPacketCameBack(int commIndex);

// The reason line that follows a load's Error 20, or its Error 30 when nothing framed came back
// (comm index 0); empty otherwise.
std::string LoadSilenceLine(const std::vector<std::string>& warningTitles);
