// The event sink a processor gives its handlers: what it answers to, which events reach the
// owner and with what, and that it never counts references on the owner's behalf.
#include "execution/ZynTaskHandlerEventSink.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "ZynTaskSchedulerLib/Bstr.h"

namespace {

struct Owner {
    HRESULT OnTaskStatus(BSTR id, LONG status) {
        events.emplace_back(id == nullptr ? L"" : id, status);
        return S_OK;
    }
    std::vector<std::pair<std::wstring, LONG>> events;
};

// Fires through IDispatch as a handler's connection point does: arguments last first.
HRESULT Fire(IDispatch& sink, DISPID dispid, LONG status, const wchar_t* id) {
    const CBstr text(id);
    VARIANT arguments[2]{};
    arguments[0].vt = VT_I4;
    arguments[0].lVal = status;
    arguments[1].vt = VT_BSTR;
    arguments[1].bstrVal = text.Get();
    DISPPARAMS params{arguments, nullptr, 2, 0};
    return sink.Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                       nullptr, nullptr);
}

TEST(HandlerEventSink, AnswersAsTheEventInterfaceWithoutCounting) {
    Owner owner;
    CZynTaskHandlerEventSink<Owner> sink(owner);
    for (const IID* iid : {&DIID_IZynScheduledTaskHandlerEvents, &IID_IDispatch, &IID_IUnknown}) {
        void* answer = nullptr;
        EXPECT_EQ(sink.QueryInterface(*iid, &answer), S_OK);
        EXPECT_EQ(answer, static_cast<IDispatch*>(&sink));
    }
    void* answer = &owner;
    EXPECT_EQ(sink.QueryInterface(IID_IZynScheduledTaskHandler, &answer), E_NOINTERFACE);
    EXPECT_EQ(answer, nullptr);
    // However often a connection point holds and lets go of it, the sink stays the owner's.
    EXPECT_EQ(sink.AddRef(), sink.AddRef());
    EXPECT_EQ(sink.Release(), sink.Release());
}

TEST(HandlerEventSink, PassesTheStatusEventOnAndIgnoresOthers) {
    Owner owner;
    CZynTaskHandlerEventSink<Owner> sink(owner);
    const wchar_t task[] = L"{11111111-1111-4111-8111-111111111111}";
    EXPECT_EQ(Fire(sink, DISPID_OnTaskStatus, ST_TASK_CANCELLED, task), S_OK);
    EXPECT_EQ(Fire(sink, 7, ST_TASK_FAILED, task), S_OK);  // not handled
    const std::vector<std::pair<std::wstring, LONG>> expected = {{task, ST_TASK_CANCELLED}};
    EXPECT_EQ(owner.events, expected);

    OLECHAR name[] = L"ontaskstatus";
    LPOLESTR names[] = {name};
    DISPID dispid = 0;
    EXPECT_EQ(sink.GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid), S_OK);
    EXPECT_EQ(dispid, DISPID_OnTaskStatus);
}

}  // namespace
