// The summary of a fleet as text, for people: a line per receiver (those that did not succeed
// first), the groups of each receiver that answered, and a closing total, fitting 80 columns.
#include <array>

#include "cli/Fleet.h"
#include "cli/ResultJson.h"
#include "link/PortContext.h"
#include "operations/SummaryTables.h"

namespace {

// What became of a receiver, as the closing total counts it, in the total's order.
struct OutcomeKind {
    const char* total;  // "38 successful"
    Tone tone;
    bool answered;  // its receiver answered: it has a row per group
};
constexpr std::array<OutcomeKind, 7> kOutcomeKinds = {{
    {"successful", Tone::kGood, true},
    {"could not be opened", Tone::kBad, false},
    {"not answering", Tone::kBad, false},
    {"not verified", Tone::kWarn, true},
    {"differing", Tone::kWarn, true},
    {"interrupted", Tone::kWarn, false},
    {"without a result", Tone::kBad, false},
}};
constexpr size_t kSuccessful = 0;

size_t KindOf(const FleetOutcome& outcome) {
    if (outcome.interrupted) return 5;
    if (!outcome.reported) return 6;
    switch (outcome.summary.portResult) {
        case kResultSuccess:
            return kSuccessful;
        case kResultOpenFailed:
            return 1;
        case kResultNoAnswer:
            return 2;
        case kResultGroupMissing:
            return 3;
        case kResultGroupDiffers:
            return 4;
        default:
            return 6;
    }
}

constexpr size_t kColumns = 80;

// Pieces of a line; a line is broken between pieces, never inside one.
struct Piece {
    std::string text;
    Tone tone = Tone::kPlain;
};
using Pieces = std::vector<Piece>;

size_t Columns(const std::string& text) {
    size_t columns = 0;
    for (const char c : text) columns += (static_cast<unsigned char>(c) & 0xC0) == 0x80 ? 0 : 1;
    return columns;
}

// The words of a sentence, each a piece of its own.
Pieces Words(const std::string& text, Tone tone = Tone::kPlain) {
    Pieces words;
    for (size_t begin = 0; begin < text.size();) {
        const size_t end = std::min(text.find(' ', begin), text.size());
        if (end > begin) words.push_back({text.substr(begin, end - begin), tone});
        begin = end + 1;
    }
    return words;
}

// The pieces joined by blanks after indent; a new line begins before a piece that would pass the
// 80th column, indented four more, so that a line going on is told from the next one.
std::string Lay(const Pieces& pieces, const std::string& indent, bool color) {
    const std::string nextIndent = indent + "    ";
    std::string text = indent;
    size_t column = Columns(indent);
    bool lineStart = true;
    for (const Piece& piece : pieces) {
        const size_t width = Columns(piece.text);
        if (!lineStart && column + 1 + width > kColumns) {
            text += "\n" + nextIndent;
            column = Columns(nextIndent);
        } else if (!lineStart) {
            text += ' ';
            ++column;
        }
        text += Paint(piece.text, piece.tone, color);
        column += width;
        lineStart = false;
    }
    return text + "\n";
}

// "Comm 3" in a fleet of one run; "Run 2, Comm 3" when there are several.
std::string RunPrefix(const FleetResult& result, const FleetOutcome& outcome) {
    return result.runCount > 1 ? "Run " + std::to_string(outcome.run) + ", " : std::string();
}

std::string ReceiverLine(RunKind kind, const FleetReceiver& receiver, const FleetResult& result,
                         const FleetOutcome& outcome, bool color) {
    Pieces pieces = {{RunPrefix(result, outcome) + "Comm " + std::to_string(outcome.comm) + " (" +
                      receiver.device + "):"}};
    const Tone tone = OutcomeTone(outcome);
    if (outcome.interrupted) {
        const Pieces words = Words("interrupted " + InterruptedText(kind, outcome.step), tone);
        pieces.insert(pieces.end(), words.begin(), words.end());
    } else if (!outcome.reported) {
        const Pieces words = Words("no result: " + outcome.noResult, tone);
        pieces.insert(pieces.end(), words.begin(), words.end());
    } else if (kind == RunKind::kConfigure || !ResultAnswered(outcome.summary.portResult)) {
        pieces.push_back({PortResultText(outcome.summary.portResult), tone});  // never broken
    } else {
        const Pieces words = Words(OutcomeText(kind, outcome.summary), tone);  // verify's own words
        pieces.insert(pieces.end(), words.begin(), words.end());
    }
    std::string text = Lay(pieces, "", color);
    if (outcome.reported && outcome.reason.contains("text") && outcome.reason["text"].is_string())
        text += Lay(Words("reason: " + outcome.reason["text"].get<std::string>()), "  ", color);
    return text;
}

// The group rows of a receiver that answered, under a heading that names its port and device;
// brief: only the groups that are not correct.
std::string GroupRows(RunKind kind, const FleetReceiver& receiver, const FleetResult& result,
                      const FleetOutcome& outcome, const SummaryStyle& style) {
    std::string text =
        "\n" +
        Lay({{"Summary for " + RunPrefix(result, outcome) + "Comm Port " + std::to_string(outcome.comm)},
             {"(" + receiver.device + ")"}},
            "", style.color);
    for (const CommSummaryRow& row : kCommSummaryRows) {
        const size_t at = static_cast<size_t>(row.groupNo - 1);
        const uint8_t status = outcome.summary.groupStatus[at];
        if (style.brief && status == kGroupMatches) continue;
        const Tone tone = status == kGroupMatches ? Tone::kGood : Tone::kWarn;
        text += Lay({{std::string(row.caption) + ":"}, {GroupStatusText(status), tone}}, "  ", style.color);
        for (const FieldChange& change : outcome.summary.differences[at])
            text += Lay(Words(FieldChangeLine(change, kind == RunKind::kConfigure)), "    ", style.color);
    }
    return text;
}

// "60 receivers: 38 successful, 20 could not be opened, 1 not answering, 1 differing"
std::string ClosingTotal(const FleetResult& result, bool color) {
    std::array<size_t, kOutcomeKinds.size()> counts{};
    for (const FleetOutcome& outcome : result.outcomes) ++counts[KindOf(outcome)];
    const size_t total = result.outcomes.size();
    Pieces pieces = {{std::to_string(total) + (total == 1 ? " receiver:" : " receivers:")}};
    for (size_t k = 0; k < kOutcomeKinds.size(); ++k) {
        if (counts[k] == 0) continue;
        if (pieces.size() > 1) pieces.back().text += ",";
        pieces.push_back({std::to_string(counts[k]) + " " + kOutcomeKinds[k].total, kOutcomeKinds[k].tone});
    }
    return Lay(pieces, "", color);
}

}  // namespace

Tone OutcomeTone(const FleetOutcome& outcome) {
    return kOutcomeKinds[KindOf(outcome)].tone;
}

Tone PortResultTone(uint8_t portResult) {
    FleetOutcome outcome;
    outcome.reported = true;
    outcome.summary.portResult = portResult;
    return OutcomeTone(outcome);
}

std::string OutcomeText(RunKind kind, const FleetOutcome& outcome) {
    if (outcome.interrupted) return "interrupted: " + InterruptedText(kind, outcome.step);
    if (!outcome.reported) return "no result: " + outcome.noResult;
    return OutcomeText(kind, outcome.summary);
}

std::string FleetSummaryText(RunKind kind, const std::vector<FleetReceiver>& receivers,
                             const FleetResult& result, const SummaryStyle& style) {
    // Those that did not succeed first, each group in the order given.
    std::vector<size_t> order;
    for (const bool successful : {false, true})
        for (size_t i = 0; i < receivers.size(); ++i)
            if ((KindOf(result.outcomes[i]) == kSuccessful) == successful && !(successful && style.brief))
                order.push_back(i);
    std::string text = kind == RunKind::kVerify ? "Verification Summary\n" : "Configuration Summary\n";
    for (const size_t i : order)
        text += ReceiverLine(kind, receivers[i], result, result.outcomes[i], style.color);
    for (const size_t i : order)
        if (kOutcomeKinds[KindOf(result.outcomes[i])].answered)
            text += GroupRows(kind, receivers[i], result, result.outcomes[i], style);
    return text + "\n" + ClosingTotal(result, style.color);
}
