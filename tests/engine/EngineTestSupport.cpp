#include "engine/EngineTestSupport.h"

#include <ctime>

#include "automation/ZynTask.h"
#include "platform/Path.h"

WallClock::TimePoint LocalMoment(int year, int month, int day, int hour, int minute, int second) {
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    parts.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&parts));
}

ComPtr<IZynTask> TaskObjectsOnly::CreateTask(CountedPtr<CZynTaskSchedulerThread> engine,
                                             LONG taskFlag) {
    return MakeZynTask(std::move(engine), taskFlag);
}

TestEngine::TestEngine() {
    WriteBytes(ZoneFile(), "zone");
    m_engine = MakeCounted<CZynTaskSchedulerThread>(&m_factory, ZoneFile());
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
    const std::wstring path = JoinPath(WorkFolder(), identity + L".xml");
    WriteBytes(path, std::string(document.begin(), document.end()));
    return path;
}

std::wstring OnceTask(const std::wstring& name, const std::wstring& begin,
                      const std::wstring& triggerAttributes) {
    return L"<Schedule Name=\"" + name +
           L"\"><Task><Triggers><Trigger Type=\"0\" Interval=\"0\" "
           L"Duration=\"0\"" +
           triggerAttributes + L"><BeginDate>" + begin +
           L"</BeginDate></Trigger></Triggers><ApplicationName>/bin/true</ApplicationName>"
           L"</Task></Schedule>";
}
