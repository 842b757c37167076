// The bookkeeping behind CoInitializeEx and CoUninitialize, as the activation calls need it.
// Thread-safe.
#pragma once

// Whether the calling thread may use the object runtime: it has initialised it, or some
// thread of the process is in the multithreaded apartment, which then takes in every thread.
bool CanUseObjectRuntime();
