#include "engine/EngineTestSupport.h"

#include <ctime>
#include <filesystem>

#include "ZynTaskSchedulerLib/WorkFolder.h"
#include "automation/ZynTask.h"
#include "platform/CalendarTime.h"
#include "platform/LocalTimeZone.h"
#include "platform/Path.h"
#include "platform/WideText.h"
#include "support/ScopedLock.h"
#include "tasks/RunRecordFile.h"

WallClock::TimePoint LocalMoment(int year, int month, int day, int hour, int minute, int second) {
    const std::int64_t wall =
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86'400 +
        hour * 3600 + minute * 60 + second;
    const std::int64_t utc = wall - LocalTimeZone::OffsetAt(wall - LocalTimeZone::OffsetAt(wall));
    return std::chrono::system_clock::from_time_t(static_cast<std::time_t>(utc));
}

ComPtr<IZynTask> TaskObjectsOnly::CreateTask(CountedPtr<CZynTaskSchedulerThread> engine,
                                             LONG taskFlag) {
    return MakeZynTask(std::move(engine), taskFlag);
}

TestEngine::TestEngine(IZynEngineObjectFactory* factory, WorkFolderWatch::Opener openWatch) {
    WriteBytes(ZoneFile(), "zone");
    m_engine = MakeCounted<CZynTaskSchedulerThread>(factory != nullptr ? factory : &m_factory,
                                                    ZoneFile(), std::move(openWatch));
}

TestEngine::~TestEngine() {
    m_engine->Shutdown();
}

void TestEngine::Configure(const std::wstring& extraAttributes) {
    m_engine->SetConfiguration(L"<TaskScheduler WorkFolder='" + WorkFolder() + L"' " +
                               extraAttributes + L"/>");
}

std::wstring TestEngine::WriteTask(const std::wstring& identity,
                                   const std::wstring& document) const {
    return WriteTaskBytes(identity, std::string(document.begin(), document.end()));
}

std::wstring TestEngine::WriteTaskBytes(const std::wstring& identity,
                                        const std::string& bytes) const {
    const std::wstring path = JoinPath(WorkFolder(), identity + L".xml");
    WriteBytes(path, bytes);
    // The engine refuses documents others may write; a umask that lets the group write must
    // not make every test fail.
    std::filesystem::permissions(WideToUtf8(path), std::filesystem::perms(0644));
    return path;
}

ULONG ListCount(CZynTaskSchedulerThread& engine) {
    ScopedLock lock(engine.MainLock());
    return engine.TaskList() ? engine.TaskList()->GetCount() : 0;
}

std::vector<RunRecord> RunRecordsOf(CZynTaskSchedulerThread& engine, const std::wstring& identity) {
    engine.RunKeeper().DoPendingWork();
    return RunRecordFile(JoinPath(engine.GetWorkFolder(), kWorkFolderLogsFolderName), identity)
        .Read(kKeptRunRecords);
}

std::wstring TaskDocument(const std::wstring& name, const std::wstring& triggers,
                          const std::wstring& policies) {
    return L"<Schedule Name=\"" + name + L"\"><Task><Triggers>" + triggers +
           L"</Triggers><ApplicationName>/bin/true</ApplicationName></Task>" + policies +
           L"</Schedule>";
}

std::wstring OnceTask(const std::wstring& name, const std::wstring& begin,
                      const std::wstring& triggerAttributes) {
    return TaskDocument(name, L"<Trigger Type=\"0\" Interval=\"0\" Duration=\"0\"" +
                                  triggerAttributes + L"><BeginDate>" + begin +
                                  L"</BeginDate></Trigger>");
}
