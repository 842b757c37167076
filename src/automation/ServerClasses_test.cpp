// What every class the library serves shares, checked once over all of them: made by its class
// factory, one identity behind its dual interface, error records for its own interface (each
// version of it) only, and aggregation; no class object for anything else. (The framework
// underneath is tested with a sample class of its own, SampleServer_test; each class's members are
// driven by name in ScriptClient_test.)
#include <gtest/gtest.h>

#include "ZynTaskSchedulerLib/ClassFactory.h"
#include "automation/AutomationTestSupport.h"
#include "automation/ZynServerModule.h"
#include "platform/WideText.h"
#include "support/AggregatingOuter.h"

namespace {

TEST(ServerClasses, EachIsMadeByItsFactoryAnswersForItselfAndCanBeAggregated) {
    SchedulerWorkFolder settings;
    struct Row {
        const CLSID& clsid;
        const IID& iid;
        const IID* laterVersion = nullptr;  // of the same interface, with error records too
    };
    const Row rows[] = {
        {CLSID_ZynTaskScheduler, IID_IZynTaskScheduler},
        {CLSID_ZynTasks, IID_IZynTasks},
        {CLSID_ZynTask, IID_IZynTask, &IID_IZynTask2},
        {CLSID_ZynCmdLineTaskHandler, IID_IZynScheduledTaskHandler},
        {CLSID_ZynTaskProcessor, IID_IZynTaskProcessor},
    };
    ASSERT_EQ(std::size(rows), CZynServerModule::ObjectMap().size());
    for (const Row& row : rows) {
        wchar_t name[40] = {};
        StringFromGUID2(row.clsid, name, 40);
        SCOPED_TRACE(WideToUtf8(name));
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(S_OK,
                  CZynServerModule::GetClassObject(row.clsid, IID_IClassFactory, Out(factory)));
        ComPtr<IUnknown> object;
        ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, row.iid, Out(object)));
        ComPtr<IDispatch> dispatch;
        ASSERT_EQ(S_OK, object->QueryInterface(IID_IDispatch, Out(dispatch)));
        EXPECT_EQ(static_cast<void*>(dispatch.Get()), static_cast<void*>(object.Get()));
        ComPtr<ISupportErrorInfo> support;
        ASSERT_EQ(S_OK, object->QueryInterface(IID_ISupportErrorInfo, Out(support)));
        EXPECT_EQ(S_OK, support->InterfaceSupportsErrorInfo(row.iid));
        if (row.laterVersion) {
            EXPECT_EQ(S_OK, support->InterfaceSupportsErrorInfo(*row.laterVersion));
        }
        EXPECT_EQ(S_FALSE, support->InterfaceSupportsErrorInfo(IID_IDispatch));

        AggregatingOuter outer;
        ComPtr<IUnknown> refused;
        EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&outer, row.iid, Out(refused)));
        ASSERT_EQ(S_OK, factory->CreateInstance(&outer, IID_IUnknown, Out(outer.inner)));
        {
            ComPtr<IUnknown> aggregated;
            ASSERT_EQ(S_OK, outer.inner->QueryInterface(row.iid, Out(aggregated)));
            EXPECT_EQ(2u, outer.count.load()) << "the reference went to the inner object";
            ComPtr<IUnknown> identity;
            ASSERT_EQ(S_OK, aggregated->QueryInterface(IID_IUnknown, Out(identity)));
            EXPECT_EQ(static_cast<IUnknown*>(&outer), identity.Get());
        }
        EXPECT_EQ(1u, outer.count.load());
        outer.inner.Reset();
    }
    ComPtr<IClassFactory> none;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE,
              CZynServerModule::GetClassObject(IID_IZynTask, IID_IClassFactory, Out(none)));
    EXPECT_EQ(S_OK, CZynServerModule::CanUnloadNow());  // nothing made here lives on
}

}  // namespace
