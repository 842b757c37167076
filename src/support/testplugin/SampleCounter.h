// The sample class of the object framework's tests, served by a library of its own that the
// tests register and activate like any in-process server: a counter with one dual interface
// and one event dispinterface. The counter adds `amount * Step` to its total and fires
// OnChanged(note, total) after every Add.
#pragma once

#include "ZynTaskSchedulerLib/Dispatch.h"
#include "support/DispatchImpl.h"

inline constexpr CLSID CLSID_SampleCounter = {
    0x6B7D2C41, 0x0E5A, 0x4F0C, {0x9A, 0x61, 0x3D, 0x27, 0x8C, 0x15, 0xB2, 0x04}};
inline constexpr IID IID_ISampleCounter = {
    0x6B7D2C42, 0x0E5A, 0x4F0C, {0x9A, 0x61, 0x3D, 0x27, 0x8C, 0x15, 0xB2, 0x04}};
inline constexpr IID DIID_ISampleCounterEvents = {
    0x6B7D2C43, 0x0E5A, 0x4F0C, {0x9A, 0x61, 0x3D, 0x27, 0x8C, 0x15, 0xB2, 0x04}};
inline constexpr const wchar_t* kSampleCounterProgId = L"Kalvane.SampleCounter.1";

inline constexpr DISPID DISPID_SampleCounter_Step = 1;
inline constexpr DISPID DISPID_SampleCounter_Add = 2;
inline constexpr DISPID DISPID_SampleCounter_Describe = 3;
inline constexpr DISPID DISPID_SampleCounter_Fail = 4;
inline constexpr DISPID DISPID_SampleCounter_Absorb = 5;
inline constexpr DISPID DISPID_SampleCounter_Split = 6;
inline constexpr DISPID DISPID_SampleCounterEvents_OnChanged = 1;

struct ISampleCounter : IDispatch {
    virtual HRESULT get_Step(LONG* step) = 0;
    virtual HRESULT put_Step(LONG step) = 0;
    // `note` is optional; its text travels with the event.
    virtual HRESULT Add(LONG amount, VARIANT note, LONG* total) = 0;
    // "<total> at <when as text>".
    virtual HRESULT Describe(DATE when, BSTR* text) = 0;
    // Always fails with E_INVALIDARG and an error record that carries `reason`.
    virtual HRESULT Fail(BSTR reason) = 0;
    // Adds the other counter's total to this one's.
    virtual HRESULT Absorb(ISampleCounter* other, LONG* total) = 0;
    // The total divided into `parts`: the share of each and what is left.
    virtual HRESULT Split(LONG parts, LONG* share, LONG* remainder) = 0;

protected:
    ~ISampleCounter() = default;
};

template <>
struct InterfaceIdentity<ISampleCounter> {
    static constexpr const IID& iid = IID_ISampleCounter;
};
