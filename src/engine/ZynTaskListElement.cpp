#include "engine/ZynTaskListElement.h"

namespace {

ComPtr<IZynScheduleRevision> RevisionOf(IZynTask* task) {
    ComPtr<IZynScheduleRevision> revision;
    if (task != nullptr) {
        task->QueryInterface(IID_IZynScheduleRevision,
                             reinterpret_cast<void**>(revision.Receive()));
    }
    return revision;
}

}  // namespace

CZynTaskListElement::CZynTaskListElement(ComPtr<IZynTask> task, std::wstring identity)
    : Task(std::move(task)), Revision(RevisionOf(Task.Get())), Identity(std::move(identity)) {}
