// Every object of this platform is free-threaded, so an apartment decides nothing about where
// calls run; what remains is the contract of the calls: nested initialisation, the mode a
// thread chose, and whether a thread may activate classes at all.
#include "platform/ComApartment.h"

#include <atomic>

#include "ZynTaskSchedulerLib/Runtime.h"

namespace {

std::atomic<int> g_multithreadedThreads{0};

struct ThreadApartment {
    int initialisations = 0;
    DWORD mode = COINIT_MULTITHREADED;

    // A thread that ends without balancing its calls leaves the apartment all the same.
    ~ThreadApartment() {
        if (initialisations > 0 && mode == COINIT_MULTITHREADED) {
            --g_multithreadedThreads;
        }
    }
};

thread_local ThreadApartment t_apartment;

}  // namespace

HRESULT CoInitializeEx(void* /*pvReserved*/, DWORD dwCoInit) {
    const DWORD mode = dwCoInit & COINIT_APARTMENTTHREADED;  // the other flags are hints
    ThreadApartment& apartment = t_apartment;
    if (apartment.initialisations > 0) {
        if (apartment.mode != mode) {
            return RPC_E_CHANGED_MODE;
        }
        ++apartment.initialisations;
        return S_FALSE;
    }
    apartment.initialisations = 1;
    apartment.mode = mode;
    if (mode == COINIT_MULTITHREADED) {
        ++g_multithreadedThreads;
    }
    return S_OK;
}

void CoUninitialize() {
    ThreadApartment& apartment = t_apartment;
    if (apartment.initialisations == 0) {
        return;
    }
    if (--apartment.initialisations == 0 && apartment.mode == COINIT_MULTITHREADED) {
        --g_multithreadedThreads;
    }
}

bool CanUseObjectRuntime() {
    return t_apartment.initialisations > 0 || g_multithreadedThreads.load() > 0;
}
