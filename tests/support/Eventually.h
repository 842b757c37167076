// Waiting for what another thread or process brings about: a condition polled until it holds,
// and the limit of every such wait. The limit only guards a test against a hang; no test
// depends on how long anything takes.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

inline constexpr unsigned kHangGuardMs = 60000;

inline bool Eventually(const std::function<bool()>& condition) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(kHangGuardMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > giveUp) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}
