// The full path of the file this code was loaded from: the scheduler library when it runs as
// the in-process server, the program itself when the automation layer is linked into one (its
// tests). Registration names it as the classes' server; the scheduler's default work folder
// sits beside it. Empty when the system cannot say. Thread-safe.
#pragma once

#include <string>

std::wstring ServerLibraryFile();
