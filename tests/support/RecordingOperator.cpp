#include "support/RecordingOperator.h"

#include <gtest/gtest.h>

namespace {
const char* KindName(RecordingOperator::Kind kind) {
    switch (kind) {
        case RecordingOperator::Kind::Warning:
            return "warning";
        case RecordingOperator::Kind::Question:
            return "question";
        case RecordingOperator::Kind::Busy:
            return "busy cursor";
        case RecordingOperator::Kind::Summary:
            return "configuration summary";
        case RecordingOperator::Kind::FocusSink:
            return "focus sink";
    }
    return "?";
}
}  // namespace

RecordingOperator& RecordingOperator::ExpectWarning(const std::string& title,
                                                    std::optional<std::string> text) {
    script.push_back({Kind::Warning, title, std::move(text), false, {}});
    return *this;
}

RecordingOperator& RecordingOperator::ExpectQuestion(const std::string& title, bool ok,
                                                     std::optional<std::string> text) {
    script.push_back({Kind::Question, title, std::move(text), ok, {}});
    return *this;
}

RecordingOperator& RecordingOperator::ExpectSummary(std::function<void()> onShow) {
    script.push_back({Kind::Summary, "", std::nullopt, false, std::move(onShow)});
    return *this;
}

std::optional<RecordingOperator::Step> RecordingOperator::Next(Kind kind, const std::string& title,
                                                               const std::string& text) {
    if (script.empty()) {
        ADD_FAILURE() << "unexpected " << KindName(kind) << " \"" << title << "\": \"" << text << "\"";
        return std::nullopt;
    }
    Step step = std::move(script.front());
    script.pop_front();
    if (step.kind != kind || step.title != title) {
        ADD_FAILURE() << "expected " << KindName(step.kind) << " \"" << step.title << "\", got "
                      << KindName(kind) << " \"" << title << "\": \"" << text << "\"";
        return std::nullopt;
    }
    if (step.text && *step.text != text) {
        ADD_FAILURE() << KindName(kind) << " \"" << title << "\" has text \"" << text << "\", expected \""
                      << *step.text << "\"";
    }
    return step;
}

void RecordingOperator::Warning(const std::string& title, const std::string& text) {
    log.push_back({Kind::Warning, title, text, false});
    Next(Kind::Warning, title, text);
}

bool RecordingOperator::AskOkCancel(const std::string& title, const std::string& text) {
    const std::optional<Step> step = Next(Kind::Question, title, text);
    const bool ok = step.has_value() && step->ok;  // an unexpected question is cancelled
    log.push_back({Kind::Question, title, text, ok});
    return ok;
}

void RecordingOperator::SetBusy(bool busy) {
    log.push_back({Kind::Busy, "", "", busy});
}

void RecordingOperator::ShowConfigurationSummary() {
    log.push_back({Kind::Summary, "", "", false});
    const std::optional<Step> step = Next(Kind::Summary, "", "");
    if (step && step->onShow) step->onShow();
}

void RecordingOperator::FocusSink() {
    log.push_back({Kind::FocusSink, "", "", false});
}

int RecordingOperator::Count(Kind kind) const {
    int n = 0;
    for (const Event& event : log) n += event.kind == kind ? 1 : 0;
    return n;
}

bool RecordingOperator::BusyBalanced() const {
    int depth = 0;
    for (const Event& event : log) {
        if (event.kind != Kind::Busy) continue;
        depth += event.flag ? 1 : -1;
        if (depth < 0) return false;
    }
    return depth == 0;
}
