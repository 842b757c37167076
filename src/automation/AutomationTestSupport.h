// Test helpers of the automation objects (included by *_test.cpp only): a scheduler object on a
// temporary registry whose settings name a temporary work folder, task documents, the error
// record a failing call left, and the raw values of the scheduler's settings.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "ZynTaskSchedulerLib/Bstr.h"
#include "ZynTaskSchedulerLib/Registry.h"
#include "ZynTaskSchedulerLib/VariantHolder.h"
#include "automation/RegistryKey.h"
#include "automation/SchedulerSettings.h"
#include "automation/ZynTaskScheduler.h"
#include "platform/Path.h"
#include "support/Folders.h"
#include "support/TempFolder.h"
#include "support/TempRegistry.h"

using CoZynTaskScheduler = CComInstance<CZynTaskScheduler>;

template <class T>
void** Out(ComPtr<T>& pointer) {
    return reinterpret_cast<void**>(pointer.Receive());
}

// A document with one once-trigger years ahead (nothing runs during a test).
inline std::wstring TaskDocument(const std::wstring& name) {
    return L"<Schedule Name=\"" + name +
           L"\"><Task><Triggers><Trigger Type=\"0\" Interval=\"0\" Duration=\"0\"><BeginDate>"
           L"2091-01-01 10:00:00</BeginDate></Trigger></Triggers><ApplicationName>/bin/true"
           L"</ApplicationName></Task></Schedule>";
}

inline std::wstring LockFile(const std::wstring& workFolder) {
    return JoinPath(workFolder, L"ZynTaskSchedulerLock/taskSchedulerLock.tmp");
}

inline std::wstring Identity(IZynTask* task) {
    CBstr identity;
    EXPECT_EQ(S_OK, task->get_Guid(identity.Receive()));
    return std::wstring(identity.View());
}

// The description of the calling thread's error record, which it takes; empty when none.
inline std::wstring TakeErrorDescription() {
    ComPtr<IErrorInfo> record;
    if (GetErrorInfo(0, record.Receive()) != S_OK || !record) {
        return {};
    }
    CBstr description;
    record->GetDescription(description.Receive());
    return std::wstring(description.View());
}

// One value of the scheduler's settings key as stored.
struct StoredValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
    bool operator==(const StoredValue&) const = default;
};

inline std::optional<StoredValue> StoredSetting(const wchar_t* name) {
    CRegistryKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, CSchedulerSettings::kKeyPath, KEY_READ) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    StoredValue value;
    DWORD size = 0;
    if (RegQueryValueExW(key.Get(), name, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    value.bytes.resize(size);
    RegQueryValueExW(key.Get(), name, nullptr, &value.type, value.bytes.data(), &size);
    return value;
}

inline StoredValue NumberValue(DWORD number) {
    const auto* bytes = reinterpret_cast<const BYTE*>(&number);
    return {REG_DWORD, std::vector<BYTE>(bytes, bytes + sizeof(number))};
}

inline StoredValue TextValue(const std::wstring& text) {
    return {REG_SZ, RegStringData(text)};
}

inline void StoreSetting(const wchar_t* name, const StoredValue& value) {
    CRegistryKey key;
    ASSERT_EQ(ERROR_SUCCESS,
              key.Create(HKEY_LOCAL_MACHINE, CSchedulerSettings::kKeyPath, KEY_WRITE));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key.Get(), name, 0, value.type, value.bytes.data(),
                                            static_cast<DWORD>(value.bytes.size())));
}

// A temporary registry whose scheduler settings name a temporary work folder (created by the
// engine on Start).
class SchedulerWorkFolder {
public:
    SchedulerWorkFolder() { StoreSetting(L"WorkFolder", TextValue(m_folder.Path())); }
    const std::wstring& Path() const { return m_folder.Path(); }

private:
    TempRegistry m_registry;
    TempFolder m_folder;
};

// A scheduler object on a SchedulerWorkFolder.
class SchedulerTest : public testing::Test {
protected:
    SchedulerTest() { EXPECT_EQ(S_OK, CoZynTaskScheduler::Make(m_scheduler)); }

    const std::wstring& WorkFolder() const { return m_settings.Path(); }
    IZynTaskScheduler& Scheduler() { return *m_scheduler.Get(); }
    void ReleaseScheduler() { m_scheduler.Reset(); }

    ComPtr<IZynTask> CreateTask(const std::wstring& document) {
        ComPtr<IZynTask> task;
        EXPECT_EQ(S_OK, Scheduler().CreateTask(CVariantHolder(document), task.Receive()));
        return task;
    }
    ComPtr<IZynTasks> Tasks() {
        ComPtr<IZynTasks> tasks;
        EXPECT_EQ(S_OK, Scheduler().get_tasks(tasks.Receive()));
        return tasks;
    }

private:
    SchedulerWorkFolder m_settings;
    ComPtr<CoZynTaskScheduler> m_scheduler;  // released first, while its registry lives
};
