// The temporaries a file is written to before they replace it: "." + the file's name + "." +
// six letters, beside the file, so that a folder scan can tell them from the files themselves
// and sweep those their writer left behind.
#pragma once

#include <cstddef>
#include <cstdint>

// The "." and six letters after the file's name.
inline constexpr std::size_t kTemporarySuffixLength = 7;
// A temporary younger than this may still be between its creation and its writer taking it
// (its lock, or its first write).
inline constexpr std::int64_t kTemporaryGraceNanoseconds = 10'000'000'000;
