// The object runtime of the program's main thread, from construction to destruction: every
// interface pointer the program holds must be released before this object goes. Throws
// AppFailure when the runtime cannot be initialised.
#pragma once

class ComRuntime {
public:
    ComRuntime();
    ~ComRuntime();
    ComRuntime(const ComRuntime&) = delete;
    ComRuntime& operator=(const ComRuntime&) = delete;
};
