// How long the machine has been suspended since it started: the difference between the clock
// that counts suspended time and the one that does not. Two readings tell whether the machine
// slept between them, which a wall clock alone cannot tell from a clock set by hand.
// Thread-safe; never fails (0 where the system cannot tell).
#pragma once

#include <chrono>

std::chrono::milliseconds TimeSuspendedSinceBoot();
