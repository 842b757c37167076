#include "support/ClassFactory.h"

HRESULT GetClassObjectFromTable(std::span<const ClassEntry> classes, REFCLSID rclsid, REFIID riid,
                                void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    for (const ClassEntry& entry : classes) {
        if (*entry.clsid == rclsid) {
            return entry.makeFactory(riid, ppv);
        }
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}
