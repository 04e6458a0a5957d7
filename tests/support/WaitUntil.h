// Waiting in tests for what another thread, a child process or the line brings about: poll the
// condition until it holds. The deadline is a hang guard, never a speed assumption.
#pragma once

#include <chrono>
#include <thread>

inline constexpr std::chrono::milliseconds kWaitGuard{20000};

// True as soon as the condition holds; false when the guard ran out first. `poll` is the pause
// between two looks (a condition that pumps a port wants a longer one).
template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds guard = kWaitGuard,
               std::chrono::milliseconds poll = std::chrono::milliseconds(2)) {
    const auto deadline = std::chrono::steady_clock::now() + guard;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(poll);
    }
    return true;
}
