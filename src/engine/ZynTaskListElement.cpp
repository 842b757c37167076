#include "engine/ZynTaskListElement.h"

namespace {

ComPtr<IZynRunSchedule> ScheduleOf(IZynTask* task) {
    ComPtr<IZynRunSchedule> schedule;
    if (task != nullptr) {
        task->QueryInterface(IID_IZynRunSchedule, reinterpret_cast<void**>(schedule.Receive()));
    }
    return schedule;
}

}  // namespace

CZynTaskListElement::CZynTaskListElement(ComPtr<IZynTask> task, std::wstring identity)
    : Task(std::move(task)), Schedule(ScheduleOf(Task.Get())), Identity(std::move(identity)) {}
