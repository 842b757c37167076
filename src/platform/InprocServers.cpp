#include "platform/InprocServers.h"

#include <map>
#include <memory>
#include <mutex>

#include "platform/ServerLibrary.h"

namespace {

struct LoadedServer {
    std::unique_ptr<CServerLibrary> library;
    int activations = 0;  // calls into DllGetClassObject under way; guarded by the table mutex
};

struct ServerTable {
    std::mutex mutex;
    std::map<std::wstring, LoadedServer> servers;
};

// Never destroyed: code of a loaded library may still run in exit-time destructors of other
// objects, so the libraries stay mapped until the process is gone.
ServerTable& Table() {
    static ServerTable* const table = new ServerTable;
    return *table;
}

}  // namespace

HRESULT CInprocServers::GetClassObject(const std::wstring& path, REFCLSID rclsid, REFIID riid,
                                       void** ppv) {
    ServerTable& table = Table();
    LoadedServer* server = nullptr;
    {
        const std::lock_guard lock(table.mutex);
        LoadedServer& slot = table.servers[path];
        if (!slot.library) {
            if (const HRESULT hr = CServerLibrary::Load(path, slot.library); FAILED(hr)) {
                table.servers.erase(path);
                return hr;
            }
        }
        ++slot.activations;
        server = &slot;  // map nodes stay put; FreeUnused skips it while activations > 0
    }
    const HRESULT hr = server->library->GetClassObject(rclsid, riid, ppv);
    const std::lock_guard lock(table.mutex);
    --server->activations;
    return hr;
}

void CInprocServers::FreeUnused() {
    ServerTable& table = Table();
    const std::lock_guard lock(table.mutex);
    for (auto entry = table.servers.begin(); entry != table.servers.end();) {
        const bool unused =
            entry->second.activations == 0 && entry->second.library->CanUnloadNow() == S_OK;
        entry = unused ? table.servers.erase(entry) : std::next(entry);
    }
}
