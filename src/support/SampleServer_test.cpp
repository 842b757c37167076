// The object framework end to end, once for every class built on it: the sample server library
// is registered in a temporary registry, activated by ProgID, called directly and late-bound by
// name, fires its event into sinks of the test, reports errors through error records, is
// aggregated, and is unloaded once nothing of it is alive.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "ZynTaskSchedulerLib/Bstr.h"
#include "ZynTaskSchedulerLib/ClassFactory.h"
#include "ZynTaskSchedulerLib/Connections.h"
#include "ZynTaskSchedulerLib/Registry.h"
#include "ZynTaskSchedulerLib/VariantHolder.h"
#include "platform/ServerLibrary.h"
#include "platform/WideText.h"
#include "support/AggregatingOuter.h"
#include "support/ComObject.h"
#include "support/DispatchImpl.h"
#include "support/TempRegistry.h"
#include "support/testplugin/SampleCounter.h"

namespace {

const std::wstring kServerPath = Utf8ToWideLossy(ZYN_SAMPLE_SERVER_PATH);

void SetText(const std::wstring& keyPath, const wchar_t* valueName, const std::wstring& text) {
    HKEY key{};
    ASSERT_EQ(0, RegCreateKeyExW(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, nullptr, 0, KEY_WRITE,
                                 nullptr, &key, nullptr));
    const std::vector<BYTE> data = RegStringData(text);
    EXPECT_EQ(
        0, RegSetValueExW(key, valueName, 0, REG_SZ, data.data(), static_cast<DWORD>(data.size())));
    RegCloseKey(key);
}

void RegisterSampleServer() {
    wchar_t clsid[39];
    StringFromGUID2(CLSID_SampleCounter, clsid, 39);
    const std::wstring classKey = std::wstring(L"CLSID\\") + clsid;
    SetText(std::wstring(kSampleCounterProgId) + L"\\CLSID", nullptr, clsid);
    SetText(classKey + L"\\ProgID", nullptr, kSampleCounterProgId);
    SetText(classKey + L"\\InprocServer32", nullptr, kServerPath);
    SetText(classKey + L"\\InprocServer32", L"ThreadingModel", L"Free");
}

bool ServerIsLoaded() {
    std::ifstream maps("/proc/self/maps");
    const std::string text((std::istreambuf_iterator<char>(maps)),
                           std::istreambuf_iterator<char>());
    return text.find(WideToUtf8(kServerPath)) != std::string::npos;
}

template <class T>
void** Out(ComPtr<T>& pointer) {
    return reinterpret_cast<void**>(pointer.Receive());
}

struct ChangedEvent {
    std::wstring note;
    LONG total;
    bool operator==(const ChangedEvent&) const = default;
};

// A sink of the sample's events, built on the same framework: it decodes the arguments as its
// member declares them, so an event fired in another form than a late-bound call never arrives.
class CEventRecorder : public CObjectRoot,
                       public CDispatchImpl<IDispatch, CEventRecorder, UnknownMembers::Ignored> {
public:
    using Interfaces = InterfaceTable<Implements<DIID_ISampleCounterEvents, IDispatch>,
                                      Implements<IID_IDispatch, IDispatch>>;
    static std::span<const DispatchMember<CEventRecorder>> DispatchMembers() {
        static constexpr DispatchMember<CEventRecorder> kMembers[] = {
            DispatchMethod<&CEventRecorder::OnChanged, VT_EMPTY, In(VT_BSTR), In(VT_I4)>(
                L"OnChanged", DISPID_SampleCounterEvents_OnChanged),
        };
        return kMembers;
    }

    HRESULT OnChanged(BSTR note, LONG total) {
        const std::lock_guard lock(m_mutex);
        m_events.push_back({note == nullptr ? L"" : note, total});
        return S_OK;
    }
    std::vector<ChangedEvent> Events() const {
        const std::lock_guard lock(m_mutex);
        return m_events;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<ChangedEvent> m_events;
};

using Recorder = CComInstance<CEventRecorder>;

ComPtr<Recorder> MakeRecorder() {
    ComPtr<Recorder> recorder;
    EXPECT_EQ(S_OK, Recorder::Make(recorder));
    return recorder;
}

constexpr const wchar_t* kOmitted = nullptr;  // an argument left out, as a script leaves it

class SampleServerTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        RegisterSampleServer();
        CLSID clsid{};
        ASSERT_EQ(S_OK, CLSIDFromProgID(kSampleCounterProgId, &clsid));
        ASSERT_EQ(S_OK,
                  CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_ISampleCounter, Out(m_counter)));
        ASSERT_EQ(S_OK, m_counter->QueryInterface(IID_IDispatch, Out(m_dispatch)));
    }
    void TearDown() override {
        m_dispatch.Reset();
        m_counter.Reset();
        CoFreeUnusedLibraries();
        CoUninitialize();
        EXPECT_EQ(0, ModuleLocks::Count());  // every sink of the test is gone
    }

    // A late-bound call with text arguments given first to last (converted by the callee).
    HRESULT Invoke(DISPID id, WORD kind, const std::vector<const wchar_t*>& texts,
                   CVariantHolder& result, std::vector<DISPID> named = {}, UINT* argError = nullptr,
                   REFIID riid = IID_NULL) {
        std::vector<CVariantHolder> arguments(texts.size());
        for (std::size_t i = 0; i < texts.size(); ++i) {
            CVariantHolder& slot = arguments[texts.size() - 1 - i];
            if (texts[i] == kOmitted) {
                slot.vt = VT_ERROR;
                slot.scode = DISP_E_PARAMNOTFOUND;
            } else {
                slot.CopyFrom(CVariantHolder(std::wstring_view(texts[i])));
            }
        }
        DISPPARAMS params{arguments.data(), named.data(), static_cast<UINT>(arguments.size()),
                          static_cast<UINT>(named.size())};
        return m_dispatch->Invoke(id, riid, LOCALE_USER_DEFAULT, kind, &params, &result, nullptr,
                                  argError);
    }
    HRESULT Add(const wchar_t* amount, const wchar_t* note) {
        CVariantHolder result;
        return Invoke(DISPID_SampleCounter_Add, DISPATCH_METHOD, {amount, note}, result);
    }
    ComPtr<IConnectionPoint> Events() {
        ComPtr<IConnectionPointContainer> container;
        EXPECT_EQ(S_OK, m_counter->QueryInterface(IID_IConnectionPointContainer, Out(container)));
        ComPtr<IConnectionPoint> point;
        EXPECT_EQ(S_OK, container->FindConnectionPoint(DIID_ISampleCounterEvents, point.Receive()));
        return point;
    }

    TempRegistry m_registry;
    ComPtr<ISampleCounter> m_counter;
    ComPtr<IDispatch> m_dispatch;
};

TEST_F(SampleServerTest, IsMadeByProgIdAndCalledDirectlyThroughOneIdentity) {
    EXPECT_EQ(S_OK, m_counter->put_Step(2));
    LONG total = 0;
    EXPECT_EQ(S_OK, m_counter->Add(3, CVariantHolder(L"direct"), &total));
    EXPECT_EQ(6, total);

    EXPECT_EQ(static_cast<IDispatch*>(m_counter.Get()), m_dispatch.Get());
    ComPtr<IUnknown> first;
    ComPtr<IUnknown> second;
    ASSERT_EQ(S_OK, m_counter->QueryInterface(IID_IUnknown, Out(first)));
    ASSERT_EQ(S_OK, m_dispatch->QueryInterface(IID_IUnknown, Out(second)));
    EXPECT_EQ(first.Get(), second.Get());
    ComPtr<IUnknown> none;
    EXPECT_EQ(E_NOINTERFACE, m_counter->QueryInterface(IID_IClassFactory, Out(none)));
    EXPECT_FALSE(none);
    EXPECT_EQ(E_POINTER, m_counter->QueryInterface(IID_IUnknown, nullptr));
    ComPtr<ISupportErrorInfo> support;
    ASSERT_EQ(S_OK, m_counter->QueryInterface(IID_ISupportErrorInfo, Out(support)));
    EXPECT_EQ(S_OK, support->InterfaceSupportsErrorInfo(IID_ISampleCounter));
    EXPECT_EQ(S_FALSE, support->InterfaceSupportsErrorInfo(IID_IDispatch));
}

TEST_F(SampleServerTest, FindsMembersByNameInAnyCase) {
    UINT count = 9;
    EXPECT_EQ(S_OK, m_dispatch->GetTypeInfoCount(&count));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(E_POINTER, m_dispatch->GetTypeInfoCount(nullptr));
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"aDD"), const_cast<LPOLESTR>(L"amount")};
    DISPID ids[2] = {};
    EXPECT_EQ(S_OK, m_dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, ids));
    EXPECT_EQ(DISPID_SampleCounter_Add, ids[0]);
    // Parameter names are not known; the member is still found.
    EXPECT_EQ(DISP_E_UNKNOWNNAME,
              m_dispatch->GetIDsOfNames(IID_NULL, names, 2, LOCALE_USER_DEFAULT, ids));
    EXPECT_EQ(DISPID_SampleCounter_Add, ids[0]);
    EXPECT_EQ(DISPID_UNKNOWN, ids[1]);
    names[0] = const_cast<LPOLESTR>(L"Subtract");
    EXPECT_EQ(DISP_E_UNKNOWNNAME,
              m_dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, ids));
    EXPECT_EQ(DISPID_UNKNOWN, ids[0]);
    EXPECT_EQ(E_INVALIDARG,
              m_dispatch->GetIDsOfNames(IID_NULL, names, 0, LOCALE_USER_DEFAULT, ids));
}

// One counter, the rows in order: the total carries from row to row, and a refused call
// changes nothing. kNamed names the argument: DISPID_PROPERTYPUT for a put, 0 for a method.
TEST_F(SampleServerTest, LateBoundCallsConvertTheirArgumentsOrAreRefused) {
    constexpr DISPID kStep = DISPID_SampleCounter_Step;
    constexpr DISPID kAdd = DISPID_SampleCounter_Add;
    constexpr WORD kCall = DISPATCH_METHOD;
    constexpr WORD kPut = DISPATCH_PROPERTYPUT;
    constexpr WORD kNamed = 0x8000;
    struct Row {
        const char* what;
        DISPID id;
        WORD kind;
        std::vector<const wchar_t*> arguments;
        HRESULT hr;
        const wchar_t* result = L"";  // as text; "" for none
        UINT argError = 99;           // untouched unless an argument is at fault
    };
    const Row rows[] = {
        {"a put takes its value named", kStep, kPut | kNamed, {L"3"}, S_OK},
        {"text converted to numbers", kAdd, kCall, {L"4", L"first"}, S_OK, L"12"},
        {"an optional argument left off", kAdd, kCall, {L"1"}, S_OK, L"15"},
        {"a get called as method or get", kStep, kCall | DISPATCH_PROPERTYGET, {}, S_OK, L"3"},
        {"text converted to a date",
         DISPID_SampleCounter_Describe,
         kCall,
         {L"2024-01-05 10:30"},
         S_OK,
         L"15 at 2024-01-05 10:30:00"},
        {"too few arguments", kAdd, kCall, {}, DISP_E_BADPARAMCOUNT},
        {"too many arguments", kAdd, kCall, {L"1", L"2", L"3"}, DISP_E_BADPARAMCOUNT},
        {"no conversion, counted last first",
         kAdd,
         kCall,
         {L"x", L"y"},
         DISP_E_TYPEMISMATCH,
         L"",
         1},
        {"a required one left out", kAdd, kCall, {kOmitted, L"y"}, DISP_E_PARAMNOTOPTIONAL, L"", 1},
        {"a put without its named value", kStep, kPut, {L"5"}, DISP_E_PARAMNOTFOUND},
        {"named arguments to a method", kAdd, kCall | kNamed, {L"1"}, DISP_E_NONAMEDARGS},
        {"an unknown member", 77, kCall, {}, DISP_E_MEMBERNOTFOUND},
        {"a method put", kAdd, kPut, {}, DISP_E_MEMBERNOTFOUND},
        {"nothing was added by the refused calls", kAdd, kCall, {L"0"}, S_OK, L"15"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::vector<DISPID> named;
        if ((row.kind & kNamed) != 0) {
            named.push_back((row.kind & kPut) != 0 ? DISPID_PROPERTYPUT : 0);
        }
        CVariantHolder result;
        UINT argError = 99;
        ASSERT_EQ(row.hr,
                  Invoke(row.id, row.kind & ~kNamed, row.arguments, result, named, &argError));
        EXPECT_EQ(row.argError, argError);
        if (*row.result != L'\0') {
            ASSERT_EQ(S_OK, result.ChangeType(VT_BSTR));
            EXPECT_EQ(std::wstring(row.result), result.bstrVal);
        }
    }
    CVariantHolder result;
    EXPECT_EQ(DISP_E_UNKNOWNINTERFACE,
              Invoke(kStep, DISPATCH_PROPERTYGET, {}, result, {}, nullptr, IID_IDispatch));
}

TEST_F(SampleServerTest, TakesObjectsAndReferencesLateBound) {
    ComPtr<ISampleCounter> other;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SampleCounter, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_ISampleCounter, Out(other)));
    LONG total = 0;
    ASSERT_EQ(S_OK, other->Add(10, CVariantHolder(L"other"), &total));

    // An object argument is asked for the interface the member takes.
    const auto absorb = [&](IDispatch* object, CVariantHolder& result, UINT* argError) {
        CVariantHolder argument;
        argument.vt = VT_DISPATCH;
        argument.pdispVal = object;
        object->AddRef();
        DISPPARAMS params{&argument, nullptr, 1, 0};
        return m_dispatch->Invoke(DISPID_SampleCounter_Absorb, IID_NULL, LOCALE_USER_DEFAULT,
                                  DISPATCH_METHOD, &params, &result, nullptr, argError);
    };
    CVariantHolder result;
    ASSERT_EQ(S_OK, absorb(other.Get(), result, nullptr));
    EXPECT_EQ(10, result.lVal);
    UINT argError = 9;
    EXPECT_EQ(DISP_E_TYPEMISMATCH, absorb(MakeRecorder().Get(), result, &argError));
    EXPECT_EQ(0u, argError);

    // [out] parameters arrive as references, last first like every argument.
    LONG share = 0;
    LONG remainder = 0;
    CVariantHolder split[3] = {CVariantHolder(), CVariantHolder(), CVariantHolder(3)};
    split[0].vt = split[1].vt = VT_BYREF | VT_I4;
    split[0].plVal = &remainder;
    split[1].plVal = &share;
    DISPPARAMS params{split, nullptr, 3, 0};
    ASSERT_EQ(S_OK, m_dispatch->Invoke(DISPID_SampleCounter_Split, IID_NULL, LOCALE_USER_DEFAULT,
                                       DISPATCH_METHOD, &params, nullptr, nullptr, nullptr));
    EXPECT_EQ(3, share);
    EXPECT_EQ(1, remainder);
    split[1].vt = VT_I4;  // a value where a reference belongs
    split[1].lVal = 0;
    EXPECT_EQ(DISP_E_TYPEMISMATCH,
              m_dispatch->Invoke(DISPID_SampleCounter_Split, IID_NULL, LOCALE_USER_DEFAULT,
                                 DISPATCH_METHOD, &params, nullptr, nullptr, &argError));
    EXPECT_EQ(1u, argError);
}

TEST_F(SampleServerTest, FiresItsEventIntoEveryConnectedSink) {
    ComPtr<IConnectionPoint> point = Events();
    IID iid{};
    EXPECT_EQ(S_OK, point->GetConnectionInterface(&iid));
    EXPECT_EQ(DIID_ISampleCounterEvents, iid);
    ComPtr<Recorder> first = MakeRecorder();
    ComPtr<Recorder> second = MakeRecorder();
    DWORD firstCookie = 0;
    DWORD secondCookie = 0;
    ASSERT_EQ(S_OK, point->Advise(first.Get(), &firstCookie));
    ASSERT_EQ(S_OK, point->Advise(second.Get(), &secondCookie));
    EXPECT_NE(firstCookie, secondCookie);

    LONG total = 0;
    EXPECT_EQ(S_OK, m_counter->Add(5, CVariantHolder(L"direct"), &total));
    EXPECT_EQ(S_OK, Add(L"2", L"late"));
    const std::vector<ChangedEvent> both{{L"direct", 5}, {L"late", 7}};
    EXPECT_EQ(both, first->Events());
    EXPECT_EQ(both, second->Events());

    EXPECT_EQ(S_OK, point->Unadvise(secondCookie));
    EXPECT_EQ(CONNECT_E_NOCONNECTION, point->Unadvise(secondCookie));
    EXPECT_EQ(S_OK, m_counter->Add(1, CVariantHolder(7), &total));
    EXPECT_EQ((ChangedEvent{L"7", 8}), first->Events().back());
    EXPECT_EQ(2u, second->Events().size());

    // The sink ignores events it does not handle; an object without the events cannot connect.
    DISPPARAMS empty{nullptr, nullptr, 0, 0};
    EXPECT_EQ(S_OK,
              first->Invoke(42, IID_NULL, 0, DISPATCH_METHOD, &empty, nullptr, nullptr, nullptr));
    DWORD cookie = 0;
    EXPECT_EQ(CONNECT_E_CANNOTCONNECT, point->Advise(m_counter.Get(), &cookie));
    EXPECT_EQ(E_POINTER, point->Advise(nullptr, &cookie));
    EXPECT_EQ(E_POINTER, point->Advise(first.Get(), nullptr));
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(S_OK, point->GetConnectionPointContainer(container.Receive()));
    ComPtr<IConnectionPoint> other;
    EXPECT_EQ(CONNECT_E_NOCONNECTION,
              container->FindConnectionPoint(IID_IDispatch, other.Receive()));
    EXPECT_EQ(E_POINTER, container->FindConnectionPoint(IID_IDispatch, nullptr));
    // The counter's final release lets go of the sink still connected.
}

TEST_F(SampleServerTest, PassesItsErrorRecordToTheCallerAndKeepsAnEarlierOneOtherwise) {
    // The record's fields as the guard fills them are the method guard's tests; late-bound,
    // the record comes back in the exception information...
    CVariantHolder reason(std::wstring_view(L"Late reason."));
    DISPPARAMS params{&reason, nullptr, 1, 0};
    CVariantHolder result;
    EXCEPINFO exception{};
    EXPECT_EQ(DISP_E_EXCEPTION,
              m_dispatch->Invoke(DISPID_SampleCounter_Fail, IID_NULL, LOCALE_USER_DEFAULT,
                                 DISPATCH_METHOD, &params, &result, &exception, nullptr));
    EXPECT_EQ(E_INVALIDARG, exception.scode);
    const CBstr lateDescription = CBstr::Attach(exception.bstrDescription);
    const CBstr lateSource = CBstr::Attach(exception.bstrSource);
    EXPECT_TRUE(lateDescription.View().starts_with(L"CSampleCounter::Fail failed. Late reason."));
    EXPECT_EQ(kSampleCounterProgId, lateSource.View());
    // ...or, without one, the failure itself with the record left for the caller.
    EXPECT_EQ(E_INVALIDARG,
              m_dispatch->Invoke(DISPID_SampleCounter_Fail, IID_NULL, LOCALE_USER_DEFAULT,
                                 DISPATCH_METHOD, &params, &result, nullptr, nullptr));
    ComPtr<IErrorInfo> record;
    ASSERT_EQ(S_OK, GetErrorInfo(0, record.Receive()));

    // A call that sets no record leaves an earlier one alone.
    SetErrorInfo(0, record.Get());
    LONG step = 0;
    EXPECT_EQ(S_OK, m_counter->get_Step(&step));
    ComPtr<IErrorInfo> kept;
    ASSERT_EQ(S_OK, GetErrorInfo(0, kept.Receive()));
    EXPECT_EQ(record.Get(), kept.Get());
}

TEST_F(SampleServerTest, CanBeAggregated) {
    AggregatingOuter outer;
    ComPtr<ISampleCounter> refused;
    EXPECT_EQ(CLASS_E_NOAGGREGATION,
              CoCreateInstance(CLSID_SampleCounter, &outer, CLSCTX_INPROC_SERVER,
                               IID_ISampleCounter, Out(refused)));
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SampleCounter, &outer, CLSCTX_INPROC_SERVER,
                                     IID_IUnknown, Out(outer.inner)));
    ASSERT_EQ(1u, outer.count.load());
    {
        ComPtr<ISampleCounter> counter;
        ASSERT_EQ(S_OK, outer.QueryInterface(IID_ISampleCounter, Out(counter)));
        EXPECT_EQ(2u, outer.count.load());  // the counter's references are the outer object's
        ComPtr<IUnknown> identity;
        ASSERT_EQ(S_OK, counter->QueryInterface(IID_IUnknown, Out(identity)));
        EXPECT_EQ(static_cast<IUnknown*>(&outer), identity.Get());
        LONG total = 0;
        EXPECT_EQ(S_OK, counter->Add(4, CVariantHolder(L"inside"), &total));
        EXPECT_EQ(4, total);
    }
    EXPECT_EQ(1u, outer.count.load());
    outer.inner.Reset();
}

TEST_F(SampleServerTest, StaysLoadedWhileAnythingOfItLives) {
    CoFreeUnusedLibraries();
    EXPECT_TRUE(ServerIsLoaded());  // the counter of the fixture lives
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, CoGetClassObject(CLSID_SampleCounter, CLSCTX_INPROC_SERVER, nullptr,
                                     IID_IClassFactory, Out(factory)));
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    factory.Reset();
    m_dispatch.Reset();
    m_counter.Reset();
    CoFreeUnusedLibraries();
    EXPECT_TRUE(ServerIsLoaded());  // locked

    ASSERT_EQ(S_OK, CoGetClassObject(CLSID_SampleCounter, CLSCTX_INPROC_SERVER, nullptr,
                                     IID_IClassFactory, Out(factory)));
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    factory.Reset();
    CoFreeUnusedLibraries();
    EXPECT_FALSE(ServerIsLoaded());

    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SampleCounter, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_ISampleCounter, Out(m_counter)));
    EXPECT_TRUE(ServerIsLoaded());

    // A library that has no registration entry points cannot register.
    std::unique_ptr<CServerLibrary> library;
    ASSERT_EQ(S_OK, CServerLibrary::Load(kServerPath, library));
    EXPECT_EQ(CO_E_ERRORINDLL, library->RegisterServer());
    EXPECT_EQ(CO_E_ERRORINDLL, library->UnregisterServer());
}

TEST_F(SampleServerTest, TakesCallsAndSinksFromManyThreadsAtOnce) {
    constexpr int kCallers = 4;
    constexpr int kCallsEach = 500;
    ComPtr<IConnectionPoint> point = Events();
    ComPtr<Recorder> recorder = MakeRecorder();
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, point->Advise(recorder.Get(), &cookie));

    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int caller = 0; caller < kCallers; ++caller) {
        threads.emplace_back([&] {
            for (int i = 0; i < kCallsEach; ++i) {
                failures += Add(L"1", L"busy") != S_OK;
            }
        });
    }
    threads.emplace_back([&] {
        for (int i = 0; i < 200; ++i) {
            ComPtr<Recorder> passing = MakeRecorder();
            DWORD passingCookie = 0;
            failures += point->Advise(passing.Get(), &passingCookie) != S_OK;
            failures += point->Unadvise(passingCookie) != S_OK;
        }
    });
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(0, failures.load());
    std::set<LONG> totals;
    for (const ChangedEvent& event : recorder->Events()) {
        totals.insert(event.total);
    }
    EXPECT_EQ(static_cast<std::size_t>(kCallers * kCallsEach), totals.size());
    EXPECT_EQ(kCallers * kCallsEach, *totals.rbegin());
    EXPECT_EQ(S_OK, point->Unadvise(cookie));
}

}  // namespace
