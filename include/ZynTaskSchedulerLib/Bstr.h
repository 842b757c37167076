// Owner of one BSTR: frees it when destroyed. Making one from text throws E_OUTOFMEMORY (as a
// bare HRESULT) when the string cannot be allocated. Move-only; one thread at a time.
#pragma once

#include <string_view>
#include <utility>

#include "ZynTaskSchedulerLib/Runtime.h"

class CBstr {
public:
    CBstr() = default;
    explicit CBstr(std::wstring_view text)
        : m_text(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
        if (m_text == nullptr) {
            throw E_OUTOFMEMORY;
        }
    }
    CBstr(CBstr&& other) noexcept : m_text(std::exchange(other.m_text, nullptr)) {}
    CBstr& operator=(CBstr&& other) noexcept {
        if (this != &other) {
            Reset(std::exchange(other.m_text, nullptr));
        }
        return *this;
    }
    CBstr(const CBstr&) = delete;
    CBstr& operator=(const CBstr&) = delete;
    ~CBstr() { SysFreeString(m_text); }

    // Takes over a string the caller owns.
    static CBstr Attach(BSTR text) {
        CBstr result;
        result.m_text = text;
        return result;
    }
    BSTR Detach() { return std::exchange(m_text, nullptr); }
    void Reset(BSTR text = nullptr) { SysFreeString(std::exchange(m_text, text)); }
    // Frees the held string and exposes the slot for an out-parameter.
    BSTR* Receive() {
        Reset();
        return &m_text;
    }

    BSTR Get() const { return m_text; }
    UINT Length() const { return SysStringLen(m_text); }
    // The text, embedded zeros included; empty for a null string.
    std::wstring_view View() const { return {m_text == nullptr ? L"" : m_text, Length()}; }
    // A new string with the same text, for the caller of an out-parameter (null stays null).
    BSTR Copy() const {
        if (m_text == nullptr) {
            return nullptr;
        }
        BSTR copy = SysAllocStringLen(m_text, Length());
        if (copy == nullptr) {
            throw E_OUTOFMEMORY;
        }
        return copy;
    }

private:
    BSTR m_text = nullptr;
};
