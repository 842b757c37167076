// The object framework end to end: the sample server library is registered in a temporary
// registry, activated by ProgID, called directly and late-bound by name, fires its event into
// sinks of the test, reports errors through error records, is aggregated, and is unloaded once
// nothing of it is alive.
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

// A sink of the sample's events, built on the same framework.
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

// The arguments of one late-bound call, given first to last.
class Arguments {
public:
    explicit Arguments(std::initializer_list<std::wstring> texts) : m_values(texts.size()) {
        std::size_t slot = texts.size();
        for (const std::wstring& text : texts) {
            CVariantHolder value(text);
            VariantCopy(&m_values[--slot], &value);
        }
    }
    void OmitFirst() {
        m_values.back().Clear();
        m_values.back().vt = VT_ERROR;
        m_values.back().scode = DISP_E_PARAMNOTFOUND;
    }
    DISPPARAMS Params() {
        return {m_values.data(), nullptr, static_cast<UINT>(m_values.size()), 0};
    }

private:
    std::vector<CVariantHolder> m_values;
};

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

    DISPID IdOf(const wchar_t* name) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        DISPID id = 0;
        EXPECT_EQ(S_OK, m_dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
        return id;
    }
    HRESULT Call(const wchar_t* name, Arguments& arguments, CVariantHolder& result,
                 WORD kind = DISPATCH_METHOD, UINT* argError = nullptr) {
        DISPPARAMS params = arguments.Params();
        return m_dispatch->Invoke(IdOf(name), IID_NULL, LOCALE_USER_DEFAULT, kind, &params, &result,
                                  nullptr, argError);
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

TEST_F(SampleServerTest, IsMadeByProgIdAndCalledDirectly) {
    LPOLESTR progId = nullptr;
    ASSERT_EQ(S_OK, ProgIDFromCLSID(CLSID_SampleCounter, &progId));
    EXPECT_EQ(std::wstring(kSampleCounterProgId), progId);
    CoTaskMemFree(progId);

    EXPECT_EQ(S_OK, m_counter->put_Step(2));
    LONG total = 0;
    CVariantHolder missing;
    missing.vt = VT_ERROR;
    missing.scode = DISP_E_PARAMNOTFOUND;
    EXPECT_EQ(S_OK, m_counter->Add(3, missing, &total));
    EXPECT_EQ(6, total);
    LONG step = 0;
    EXPECT_EQ(S_OK, m_counter->get_Step(&step));
    EXPECT_EQ(2, step);
    CBstr text;
    EXPECT_EQ(S_OK, m_counter->Describe(45296.4375, text.Receive()));
    EXPECT_EQ(L"6 at 2024-01-05 10:30:00", text.View());
}

TEST_F(SampleServerTest, AnswersItsInterfacesWithOneIdentity) {
    EXPECT_EQ(static_cast<IDispatch*>(m_counter.Get()), m_dispatch.Get());
    ComPtr<IUnknown> first;
    ComPtr<IUnknown> second;
    ASSERT_EQ(S_OK, m_counter->QueryInterface(IID_IUnknown, Out(first)));
    ASSERT_EQ(S_OK, m_dispatch->QueryInterface(IID_IUnknown, Out(second)));
    EXPECT_EQ(first.Get(), second.Get());

    ComPtr<IUnknown> none;
    EXPECT_EQ(E_NOINTERFACE, m_counter->QueryInterface(IID_IClassFactory, Out(none)));
    EXPECT_FALSE(none);

    ComPtr<ISupportErrorInfo> support;
    ASSERT_EQ(S_OK, m_counter->QueryInterface(IID_ISupportErrorInfo, Out(support)));
    EXPECT_EQ(S_OK, support->InterfaceSupportsErrorInfo(IID_ISampleCounter));
    EXPECT_EQ(S_FALSE, support->InterfaceSupportsErrorInfo(IID_IDispatch));
}

TEST_F(SampleServerTest, IsCalledLateBoundByName) {
    EXPECT_EQ(DISPID_SampleCounter_Add, IdOf(L"add"));
    EXPECT_EQ(DISPID_SampleCounter_Step, IdOf(L"STEP"));
    UINT count = 9;
    EXPECT_EQ(S_OK, m_dispatch->GetTypeInfoCount(&count));
    EXPECT_EQ(0u, count);

    CVariantHolder result;
    Arguments step{L"3"};  // converted from text to the property's type
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS put = step.Params();
    put.rgdispidNamedArgs = &putId;
    put.cNamedArgs = 1;
    EXPECT_EQ(S_OK, m_dispatch->Invoke(DISPID_SampleCounter_Step, IID_NULL, LOCALE_USER_DEFAULT,
                                       DISPATCH_PROPERTYPUT, &put, nullptr, nullptr, nullptr));

    Arguments add{L"4", L"first"};
    ASSERT_EQ(S_OK, Call(L"Add", add, result));
    EXPECT_EQ(VT_I4, result.vt);
    EXPECT_EQ(12, result.lVal);

    Arguments addWithoutNote{L"1"};
    ASSERT_EQ(S_OK, Call(L"Add", addWithoutNote, result));
    EXPECT_EQ(15, result.lVal);

    Arguments none{};
    ASSERT_EQ(S_OK, Call(L"Step", none, result, DISPATCH_METHOD | DISPATCH_PROPERTYGET));
    EXPECT_EQ(VT_I4, result.vt);
    EXPECT_EQ(3, result.lVal);

    Arguments when{L"2024-01-05 10:30"};
    ASSERT_EQ(S_OK, Call(L"Describe", when, result));
    ASSERT_EQ(VT_BSTR, result.vt);
    EXPECT_EQ(std::wstring(L"15 at 2024-01-05 10:30:00"), result.bstrVal);
}

TEST_F(SampleServerTest, TakesObjectsAndReferencesLateBound) {
    ComPtr<ISampleCounter> other;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SampleCounter, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_ISampleCounter, Out(other)));
    LONG total = 0;
    ASSERT_EQ(S_OK, other->Add(10, CVariantHolder(L"other"), &total));

    // An object argument is asked for the interface the member takes.
    CVariantHolder object;
    object.vt = VT_DISPATCH;
    object.pdispVal = other.Get();
    other->AddRef();
    DISPPARAMS params{&object, nullptr, 1, 0};
    CVariantHolder result;
    ASSERT_EQ(S_OK, m_dispatch->Invoke(DISPID_SampleCounter_Absorb, IID_NULL, LOCALE_USER_DEFAULT,
                                       DISPATCH_METHOD, &params, &result, nullptr, nullptr));
    EXPECT_EQ(10, result.lVal);
    ComPtr<Recorder> stranger = MakeRecorder();
    object.Clear();
    object.vt = VT_DISPATCH;
    object.pdispVal = stranger.Get();
    stranger->AddRef();
    UINT argError = 9;
    EXPECT_EQ(DISP_E_TYPEMISMATCH,
              m_dispatch->Invoke(DISPID_SampleCounter_Absorb, IID_NULL, LOCALE_USER_DEFAULT,
                                 DISPATCH_METHOD, &params, &result, nullptr, &argError));
    EXPECT_EQ(0u, argError);

    // [out] parameters arrive as references, last first like every argument.
    LONG share = 0;
    LONG remainder = 0;
    CVariantHolder split[3];
    split[0].vt = VT_BYREF | VT_I4;
    split[0].plVal = &remainder;
    split[1].vt = VT_BYREF | VT_I4;
    split[1].plVal = &share;
    split[2].vt = VT_I4;
    split[2].lVal = 3;
    DISPPARAMS splitParams{split, nullptr, 3, 0};
    ASSERT_EQ(S_OK, m_dispatch->Invoke(DISPID_SampleCounter_Split, IID_NULL, LOCALE_USER_DEFAULT,
                                       DISPATCH_METHOD, &splitParams, nullptr, nullptr, nullptr));
    EXPECT_EQ(3, share);
    EXPECT_EQ(1, remainder);
    split[1].vt = VT_I4;  // a value where a reference belongs
    split[1].lVal = 0;
    EXPECT_EQ(DISP_E_TYPEMISMATCH,
              m_dispatch->Invoke(DISPID_SampleCounter_Split, IID_NULL, LOCALE_USER_DEFAULT,
                                 DISPATCH_METHOD, &splitParams, nullptr, nullptr, &argError));
    EXPECT_EQ(1u, argError);
}

TEST_F(SampleServerTest, RefusesCallsThatDoNotFitTheMember) {
    CVariantHolder result;
    Arguments tooFew{};
    EXPECT_EQ(DISP_E_BADPARAMCOUNT, Call(L"Add", tooFew, result));
    Arguments tooMany{L"1", L"2", L"3"};
    EXPECT_EQ(DISP_E_BADPARAMCOUNT, Call(L"Add", tooMany, result));

    Arguments notANumber{L"abc", L"note"};
    UINT argError = 99;
    EXPECT_EQ(DISP_E_TYPEMISMATCH, Call(L"Add", notANumber, result, DISPATCH_METHOD, &argError));
    EXPECT_EQ(1u, argError);  // the amount, which comes last in the array

    Arguments amountLeftOut{L"1", L"note"};
    amountLeftOut.OmitFirst();
    EXPECT_EQ(DISP_E_PARAMNOTOPTIONAL, Call(L"Add", amountLeftOut, result));

    Arguments unnamedPut{L"5"};
    EXPECT_EQ(DISP_E_PARAMNOTFOUND, Call(L"Step", unnamedPut, result, DISPATCH_PROPERTYPUT));

    DISPID named = 0;
    Arguments one{L"1"};
    DISPPARAMS withNames = one.Params();
    withNames.rgdispidNamedArgs = &named;
    withNames.cNamedArgs = 1;
    EXPECT_EQ(DISP_E_NONAMEDARGS,
              m_dispatch->Invoke(DISPID_SampleCounter_Add, IID_NULL, LOCALE_USER_DEFAULT,
                                 DISPATCH_METHOD, &withNames, &result, nullptr, nullptr));
    DISPPARAMS empty{nullptr, nullptr, 0, 0};
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND,
              m_dispatch->Invoke(77, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &empty,
                                 &result, nullptr, nullptr));
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND,
              m_dispatch->Invoke(DISPID_SampleCounter_Add, IID_NULL, LOCALE_USER_DEFAULT,
                                 DISPATCH_PROPERTYPUT, &empty, &result, nullptr, nullptr));
    EXPECT_EQ(DISP_E_UNKNOWNINTERFACE,
              m_dispatch->Invoke(DISPID_SampleCounter_Step, IID_IDispatch, LOCALE_USER_DEFAULT,
                                 DISPATCH_PROPERTYGET, &empty, &result, nullptr, nullptr));

    LPOLESTR names[] = {const_cast<LPOLESTR>(L"Add"), const_cast<LPOLESTR>(L"amount")};
    DISPID ids[2] = {};
    EXPECT_EQ(DISP_E_UNKNOWNNAME,
              m_dispatch->GetIDsOfNames(IID_NULL, names, 2, LOCALE_USER_DEFAULT, ids));
    EXPECT_EQ(DISPID_SampleCounter_Add, ids[0]);
    EXPECT_EQ(DISPID_UNKNOWN, ids[1]);
    names[0] = const_cast<LPOLESTR>(L"Subtract");
    EXPECT_EQ(DISP_E_UNKNOWNNAME,
              m_dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, ids));
    EXPECT_EQ(DISPID_UNKNOWN, ids[0]);
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
    CVariantHolder result;
    Arguments add{L"2", L"late"};
    EXPECT_EQ(S_OK, Call(L"Add", add, result));
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

    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(S_OK, point->GetConnectionPointContainer(container.Receive()));
    ComPtr<IConnectionPoint> other;
    EXPECT_EQ(CONNECT_E_NOCONNECTION,
              container->FindConnectionPoint(IID_IDispatch, other.Receive()));
    // The counter's final release lets go of the sink still connected.
}

TEST_F(SampleServerTest, PassesItsErrorRecordToTheCaller) {
    CBstr reason(L"Bad reason.");
    EXPECT_EQ(E_INVALIDARG, m_counter->Fail(reason.Get()));
    ComPtr<IErrorInfo> record;
    ASSERT_EQ(S_OK, GetErrorInfo(0, record.Receive()));
    CBstr description;
    CBstr source;
    GUID guid{};
    record->GetDescription(description.Receive());
    record->GetSource(source.Receive());
    record->GetGUID(&guid);
    EXPECT_TRUE(description.View().starts_with(L"CSampleCounter::Fail failed. Bad reason. "))
        << WideToUtf8(description.View());
    EXPECT_EQ(kSampleCounterProgId, source.View());
    EXPECT_EQ(IID_ISampleCounter, guid);

    // Late-bound, the record comes back in the exception information...
    CVariantHolder result;
    Arguments fail{L"Late reason."};
    DISPPARAMS params = fail.Params();
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
    EXPECT_EQ(S_OK, GetErrorInfo(0, record.Receive()));
}

TEST_F(SampleServerTest, KeepsAnEarlierErrorRecordThroughCallsThatSetNone) {
    ComPtr<ICreateErrorInfo> creator;
    ASSERT_EQ(S_OK, CreateErrorInfo(creator.Receive()));
    std::wstring text = L"earlier";
    creator->SetDescription(text.data());
    ComPtr<IErrorInfo> earlier;
    ASSERT_EQ(S_OK, creator->QueryInterface(IID_IErrorInfo, Out(earlier)));
    SetErrorInfo(0, earlier.Get());

    CVariantHolder result;
    Arguments none{};
    EXPECT_EQ(S_OK, Call(L"Step", none, result, DISPATCH_PROPERTYGET));
    ComPtr<IErrorInfo> kept;
    ASSERT_EQ(S_OK, GetErrorInfo(0, kept.Receive()));
    EXPECT_EQ(earlier.Get(), kept.Get());
}

// An outer object that aggregates the counter and counts its own references.
class Outer : public IUnknown {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        return inner->QueryInterface(riid, ppv);
    }
    ULONG AddRef() override { return ++count; }
    ULONG Release() override { return --count; }

    std::atomic<ULONG> count{1};
    ComPtr<IUnknown> inner;
};

TEST_F(SampleServerTest, CanBeAggregated) {
    Outer outer;
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
                CVariantHolder result;
                Arguments add{L"1", L"busy"};
                DISPPARAMS params = add.Params();
                failures +=
                    m_dispatch->Invoke(DISPID_SampleCounter_Add, IID_NULL, LOCALE_USER_DEFAULT,
                                       DISPATCH_METHOD, &params, &result, nullptr, nullptr) != S_OK;
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

TEST(SampleServerLibrary, ALibraryWithoutRegistrationEntryPointsCannotRegister) {
    std::unique_ptr<CServerLibrary> library;
    ASSERT_EQ(S_OK, CServerLibrary::Load(kServerPath, library));
    EXPECT_EQ(CO_E_ERRORINDLL, library->RegisterServer());
    EXPECT_EQ(CO_E_ERRORINDLL, library->UnregisterServer());
}

}  // namespace
