// The four entry points of libZynTaskSchedulerLib.so, the only symbols the library exports:
// activation finds the first two by name, installers call the other two.
#include "ZynTaskSchedulerLib/ClassFactory.h"
#include "automation/ServerLibraryFile.h"
#include "automation/ZynServerModule.h"

ZYN_SERVER_ENTRY HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    return CZynServerModule::GetClassObject(rclsid, riid, ppv);
}

ZYN_SERVER_ENTRY HRESULT DllCanUnloadNow() {
    return CZynServerModule::CanUnloadNow();
}

ZYN_SERVER_ENTRY HRESULT DllRegisterServer() {
    return CZynServerModule::RegisterServer(ServerLibraryFile());
}

ZYN_SERVER_ENTRY HRESULT DllUnregisterServer() {
    return CZynServerModule::UnregisterServer();
}
