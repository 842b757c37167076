#include "common/ComRuntime.h"

#include "ZynTaskSchedulerLib/Runtime.h"
#include "common/AutomationCall.h"

ComRuntime::ComRuntime() {
    CheckCall(CoInitializeEx(nullptr, COINIT_MULTITHREADED), L"initialising the object runtime");
}

ComRuntime::~ComRuntime() {
    CoUninitialize();
}
