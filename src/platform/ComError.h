// The exception that carries a failure between the body of a guarded method and its guard:
// an HRESULT and, when one could be made, an error record with the failure's description.
// Copyable; copies share the record.
#pragma once

#include <string>

#include "ZynTaskSchedulerLib/ComPtr.h"
#include "ZynTaskSchedulerLib/Runtime.h"

class ComError {
public:
    explicit ComError(HRESULT hr, ComPtr<IErrorInfo> record = {})
        : m_hr(hr), m_record(std::move(record)) {}

    HRESULT Error() const { return m_hr; }
    const ComPtr<IErrorInfo>& ErrorInfo() const { return m_record; }
    // The record's description; empty when there is no record.
    std::wstring Description() const;

private:
    HRESULT m_hr;
    ComPtr<IErrorInfo> m_record;
};
