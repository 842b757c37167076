#include "support/ModuleLocks.h"

#include <atomic>

namespace {
std::atomic<LONG> g_moduleLocks{0};
}

void ModuleLocks::Lock() {
    ++g_moduleLocks;
}

void ModuleLocks::Unlock() {
    --g_moduleLocks;
}

LONG ModuleLocks::Count() {
    return g_moduleLocks.load();
}

HRESULT ModuleLocks::CanUnloadNow() {
    return g_moduleLocks.load() == 0 ? S_OK : S_FALSE;
}
