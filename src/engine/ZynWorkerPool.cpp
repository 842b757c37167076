#include "engine/ZynWorkerPool.h"

#include "ZynTaskSchedulerLib/Bstr.h"
#include "support/LogCall.h"
#include "support/ScopedLock.h"

void CZynWorkerPool::Create(DWORD count, const ProcessorMaker& make) {
    ScopedLock lock(m_lock);
    for (DWORD id = 0; id < count; ++id) {
        CEReportEventFormat(CE_SEVERITY_TRACE,
                            L"CZynTaskSchedulerThread::CreateTaskProcessorThreads",
                            L"Create Task processor Id %d", static_cast<int>(id));
        const auto key = static_cast<LONG>(id);
        if (m_workers.find(key) == m_workers.end()) {
            if (ComPtr<IZynTaskProcessor> processor = make(key)) {
                m_workers.emplace(key, std::move(processor));
            }
        }
    }
}

void CZynWorkerPool::DeleteAll() {
    std::map<LONG, ComPtr<IZynTaskProcessor>> released;
    {
        ScopedLock lock(m_lock);
        for (const auto& [id, processor] : m_workers) {
            CEReportEventFormat(CE_SEVERITY_TRACE,
                                L"CZynTaskSchedulerThread::DeleteTaskProcessorThreads",
                                L"Deleting Task processor Id %d", static_cast<int>(id));
        }
        released.swap(m_workers);
    }
}

HRESULT CZynWorkerPool::ControlAll(Control mode, const wchar_t* logSource) {
    ScopedLock lock(m_lock);
    HRESULT result = S_OK;
    for (const auto& [id, processor] : m_workers) {
        switch (mode) {
            case Control::Stop:
                result = processor->Stop();
                break;
            case Control::Pause:
                result = processor->Pause();
                break;
            case Control::Resume:
                result = processor->Resume();
                break;
        }
        if (FAILED(result)) {
            CEReportEvent(CE_SEVERITY_ERROR, logSource, L"Failed to control task processors");
        }
    }
    return result;
}

ComPtr<IZynTaskProcessor> CZynWorkerPool::Find(LONG id) {
    ScopedLock lock(m_lock);
    const auto found = m_workers.find(id);
    return found == m_workers.end() ? ComPtr<IZynTaskProcessor>() : found->second;
}

bool CZynWorkerPool::IsRunning(LONG id, std::wstring_view identity) {
    const ComPtr<IZynTaskProcessor> processor = Find(id);
    if (!processor) {
        return false;
    }
    LONG status = ST_TASK_NOTRUNNING;
    const CBstr text(identity);
    return SUCCEEDED(processor->GetTaskStatus(text.Get(), &status)) && status == ST_TASK_RUNNING;
}

HRESULT CZynWorkerPool::Cancel(LONG id, std::wstring_view identity) {
    const ComPtr<IZynTaskProcessor> processor = Find(id);
    if (!processor) {
        return S_OK;
    }
    const CBstr text(identity);
    return processor->CancelTask(text.Get());
}

std::size_t CZynWorkerPool::Count() {
    ScopedLock lock(m_lock);
    return m_workers.size();
}
