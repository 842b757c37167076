// Task collections: counting, indexing, the walk of Next/Skip/Reset, clones that share the list
// but not the position, look-ups by identity and by name, and the snapshot taken at Reset.
#include "automation/ZynTasks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "automation/AutomationTestSupport.h"
#include "support/LogCapture.h"

namespace {

// The identities that one call of Next for `n` hands out, as many as the count it reports.
std::vector<std::wstring> NextOf(const ComPtr<IZynTasks>& tasks, ULONG n) {
    std::vector<IZynTask*> slots(n + 1, nullptr);
    ULONG count = 0;
    EXPECT_EQ(S_OK, tasks->Next(n, slots.data(), &count));
    std::vector<std::wstring> identities;
    for (ULONG slot = 0; slot < count; ++slot) {
        identities.push_back(Identity(slots[slot]));
        slots[slot]->Release();
    }
    EXPECT_EQ(slots[count], nullptr);  // nothing stored past the count
    return identities;
}

class ZynTasksTest : public SchedulerTest {
protected:
    void SetUp() override {
        ASSERT_EQ(S_OK, Scheduler().Start());
        m_tasks = Tasks();
        ASSERT_TRUE(m_tasks);
    }
    // Three stored tasks, and their identities in the collection's order (the order in which
    // the folder lists their files).
    std::vector<std::wstring> AddThreeTasks() {
        for (const wchar_t* name : {L"first", L"second", L"third"}) {
            CreateTask(TaskDocument(name));
        }
        EXPECT_EQ(S_OK, m_tasks->Reset());
        std::vector<std::wstring> order;
        for (LONG index = 0; index < 3; ++index) {
            ComPtr<IZynTask> task;
            EXPECT_EQ(S_OK, m_tasks->get_Item(index, task.Receive()));
            order.push_back(Identity(task.Get()));
        }
        return order;
    }
    LONG Count() {
        LONG count = -1;
        EXPECT_EQ(S_OK, m_tasks->get_Count(&count));
        return count;
    }

    ComPtr<IZynTasks> m_tasks;
};

TEST_F(ZynTasksTest, NextWalksTheListResetRewindsAndItemsOutsideAreNoTasks) {
    EXPECT_EQ(Count(), 0);
    EXPECT_TRUE(NextOf(m_tasks, 5).empty());
    const auto order = AddThreeTasks();
    EXPECT_EQ(Count(), 3);
    EXPECT_EQ(NextOf(m_tasks, 2), (std::vector{order[0], order[1]}));
    EXPECT_EQ(NextOf(m_tasks, 2), (std::vector{order[2]}));
    EXPECT_TRUE(NextOf(m_tasks, 2).empty());
    EXPECT_EQ(S_OK, m_tasks->Reset());
    EXPECT_EQ(NextOf(m_tasks, 1), (std::vector{order[0]}));
    EXPECT_EQ(S_OK, m_tasks->Skip(1));
    EXPECT_EQ(NextOf(m_tasks, 1), (std::vector{order[2]}));
    EXPECT_EQ(S_OK, m_tasks->Reset());
    EXPECT_EQ(S_OK, m_tasks->Skip(10));
    EXPECT_TRUE(NextOf(m_tasks, 1).empty());
    EXPECT_EQ(S_OK, m_tasks->Skip(0xFFFFFFFF));  // far past the end stays past the end
    EXPECT_EQ(S_OK, m_tasks->Skip(0xFFFFFFFF));
    EXPECT_TRUE(NextOf(m_tasks, 1).empty());

    EXPECT_EQ(S_OK, m_tasks->Reset());
    IZynTask* task = nullptr;
    EXPECT_EQ(S_OK, m_tasks->Next(1, &task, nullptr));  // no count asked for
    ASSERT_NE(task, nullptr);
    EXPECT_EQ(Identity(task), order[0]);
    task->Release();
    for (const LONG index : {-1, 3, 100}) {
        ComPtr<IZynTask> none;
        EXPECT_EQ(S_FALSE, m_tasks->get_Item(index, none.Receive())) << index;
        EXPECT_FALSE(none);
    }
}

TEST_F(ZynTasksTest, ClonesShareTheListButNotThePositionAndOnlyResetReloadsIt) {
    const auto order = AddThreeTasks();
    NextOf(m_tasks, 1);
    ComPtr<IEnumUnknown> clone;
    ASSERT_EQ(S_OK, m_tasks->get__NewEnum(clone.Receive()));
    ComPtr<IZynTasks> cloneTasks;
    ASSERT_EQ(S_OK, clone->QueryInterface(IID_IZynTasks, Out(cloneTasks)));
    EXPECT_EQ(NextOf(cloneTasks, 1), (std::vector{order[1]}));
    EXPECT_EQ(NextOf(cloneTasks, 1), (std::vector{order[2]}));
    EXPECT_EQ(NextOf(m_tasks, 1), (std::vector{order[1]}));

    ComPtr<IEnumUnknown> second;
    ASSERT_EQ(S_OK, clone->Clone(second.Receive()));  // at the clone's position: the end
    IUnknown* object = nullptr;
    ULONG fetched = 7;
    EXPECT_EQ(S_OK, second->Next(1, &object, &fetched));
    EXPECT_EQ(fetched, 0u);
    // A task file added later reaches a clone only through a Reset, which rewinds the one
    // that calls it; the shared list is reloaded for all.
    CreateTask(TaskDocument(L"fourth"));
    EXPECT_EQ(Count(), 3);
    EXPECT_EQ(S_OK, second->Reset());
    EXPECT_EQ(Count(), 4);
    EXPECT_EQ(S_OK, second->Next(1, &object, &fetched));
    ASSERT_EQ(fetched, 1u);
    ComPtr<IZynTask> task;
    EXPECT_EQ(S_OK, object->QueryInterface(IID_IZynTask, Out(task)));
    EXPECT_EQ(static_cast<IUnknown*>(task.Get()), object);  // the task's own IZynTask pointer
    object->Release();
    // A task file removed leaves the list at the next Reset too.
    ASSERT_EQ(S_OK, task->DeleteTask());
    EXPECT_EQ(Count(), 4);
    EXPECT_EQ(S_OK, m_tasks->Reset());
    EXPECT_EQ(Count(), 3);
}

TEST_F(ZynTasksTest, GetTaskFindsByIdentityOrScheduleName) {
    AddThreeTasks();
    ComPtr<IZynTask> byName;
    ComPtr<IZynTask> byIdentity;
    ASSERT_EQ(S_OK, m_tasks->GetTask(CBstr(L"second").Get(), byName.Receive()));
    ASSERT_TRUE(byName);
    CBstr xml;
    ASSERT_EQ(S_OK, byName->get_Xml(xml.Receive()));
    EXPECT_NE(xml.View().find(L"Name=\"second\""), std::wstring::npos);
    EXPECT_EQ(S_OK, m_tasks->GetTask(CBstr(Identity(byName.Get())).Get(), byIdentity.Receive()));
    EXPECT_EQ(byIdentity.Get(), byName.Get());
    ComPtr<IZynTask> missing;
    EXPECT_EQ(S_FALSE, m_tasks->GetTask(CBstr(L"fifth").Get(), missing.Receive()));
    EXPECT_FALSE(missing);
    EXPECT_EQ(S_FALSE, m_tasks->GetTask(CBstr(L"{01234567-89AB-4CDE-8F01-23456789ABCD}").Get(),
                                        missing.Receive()));
}

TEST_F(ZynTasksTest, CountAndItemCheckTheirPointers) {
    LogCapture log;
    EXPECT_EQ(E_POINTER, m_tasks->get_Count(nullptr));
    EXPECT_EQ(
        TakeErrorDescription().rfind(L"CZynTasks::get_Count failed. Can't write to long at 0", 0),
        0u);
    EXPECT_EQ(log.Matching(L"CZynTasks::get_Count failed.").at(0).source, L"Task Scheduler");
    EXPECT_EQ(E_POINTER, m_tasks->Next(1, nullptr, nullptr));
    EXPECT_EQ(TakeErrorDescription(), L"");  // the walk sets no error record
    EXPECT_EQ(log.Matching(L"CZynTasks::Next failed.").at(0).source, L"CZynTasks");
}

TEST_F(ZynTasksTest, ClonesWalkTheSharedListFromManyThreads) {
    const auto order = AddThreeTasks();
    const std::set<std::wstring> all(order.begin(), order.end());
    std::atomic<int> mismatches{0};
    std::vector<std::thread> walkers;
    for (int walker = 0; walker < 4; ++walker) {
        ComPtr<IEnumUnknown> clone;
        EXPECT_EQ(S_OK, m_tasks->get__NewEnum(clone.Receive()));
        walkers.emplace_back([clone, &all, &mismatches] {
            ComPtr<IZynTasks> tasks;
            clone->QueryInterface(IID_IZynTasks, Out(tasks));
            for (int round = 0; round < 50; ++round) {
                tasks->Reset();
                const std::vector<std::wstring> batch = NextOf(tasks, 5);
                const std::set<std::wstring> seen(batch.begin(), batch.end());
                mismatches += seen == all ? 0 : 1;
            }
        });
    }
    for (auto& walker : walkers) {
        walker.join();
    }
    EXPECT_EQ(mismatches.load(), 0);
}

// A late-bound caller passes one VARIANT for the tasks: one slot, never more.
TEST_F(ZynTasksTest, LateBoundNextFillsItsOneSlotAtMost) {
    const auto order = AddThreeTasks();
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(S_OK, m_tasks->QueryInterface(IID_IDispatch, Out(dispatch)));
    IDispatch* slot = nullptr;
    ULONG fetched = 0;
    CVariantHolder arguments[3];  // last first: the count, the task slot, n
    arguments[0].vt = VT_BYREF | VT_UI4;
    arguments[0].byref = &fetched;
    arguments[1].vt = VT_BYREF | VT_DISPATCH;
    arguments[1].byref = &slot;
    arguments[2].vt = VT_I4;
    arguments[2].lVal = 2;
    DISPPARAMS params{arguments, nullptr, 3, 0};
    CVariantHolder result;
    EXPECT_EQ(E_INVALIDARG, dispatch->Invoke(4, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                             &params, &result, nullptr, nullptr));
    EXPECT_EQ(slot, nullptr);
    arguments[2].lVal = 1;
    ASSERT_EQ(S_OK, dispatch->Invoke(4, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                     &result, nullptr, nullptr));
    ASSERT_EQ(fetched, 1u);
    ASSERT_NE(slot, nullptr);
    ComPtr<IZynTask> task;
    ASSERT_EQ(S_OK, slot->QueryInterface(IID_IZynTask, Out(task)));
    slot->Release();
    EXPECT_EQ(Identity(task.Get()), order[0]);
}

TEST(ZynTasksBare, ACollectionMadeByItsClassHasNoTasks) {
    ComPtr<CoZynTasks> tasks;
    ASSERT_EQ(S_OK, CoZynTasks::Make(tasks));
    LONG count = -1;
    EXPECT_EQ(S_OK, tasks->get_Count(&count));
    EXPECT_EQ(count, 0);
    ComPtr<IZynTask> task;
    EXPECT_EQ(S_FALSE, tasks->GetTask(CBstr(L"any").Get(), task.Receive()));
    EXPECT_EQ(S_FALSE, tasks->get_Item(0, task.Receive()));
    EXPECT_EQ(S_OK, tasks->Reset());
    ComPtr<IEnumUnknown> clone;
    EXPECT_EQ(S_OK, tasks->get__NewEnum(clone.Receive()));
    ULONG fetched = 9;
    IUnknown* object = nullptr;
    EXPECT_EQ(S_OK, clone->Next(1, &object, &fetched));
    EXPECT_EQ(fetched, 0u);
}

}  // namespace
