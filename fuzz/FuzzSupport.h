// What every fuzz target shares: the process set up once (records discarded, no registry, UTF-8
// locale), the fuzzer's bytes as the text the library is handed, and the check that turns a
// broken promise into a crash the fuzzer keeps.
//
// Single-threaded, like the fuzzer's driver. FuzzCheck aborts the process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Call from LLVMFuzzerInitialize.
void PrepareFuzzProcess();

// The bytes read as UTF-8 (invalid sequences replaced), up to the first zero character, as every
// caller hands text over (files are cut there, strings end there).
std::wstring FuzzText(const std::uint8_t* data, std::size_t size);

// Aborts with `promise` on standard error when it does not hold.
void FuzzCheck(bool holds, const char* promise);
