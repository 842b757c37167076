#include "platform/ComError.h"

std::wstring ComError::Description() const {
    if (!m_record) {
        return {};
    }
    BSTR description = nullptr;
    if (FAILED(m_record->GetDescription(&description)) || description == nullptr) {
        return {};
    }
    std::wstring text(description, SysStringLen(description));
    SysFreeString(description);
    return text;
}
