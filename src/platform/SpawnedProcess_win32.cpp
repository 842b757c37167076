// Programs start suspended, join a job object of their own and only then run, so that whatever
// they start is in the job as well and Terminate reaches it. Standard handles are passed by an
// explicit list, so that no other handle of ours is inherited even where other threads make
// inheritable ones.
#include "platform/SpawnedProcess.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/OutputPipe.h"

namespace {

std::nullptr_t Fail(DWORD error) {
    ::SetLastError(error);
    return nullptr;
}

// A copy of `handle` that a started program may inherit; none for none.
KernelHandle InheritableCopy(HANDLE handle) {
    HANDLE copy = nullptr;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
        !::DuplicateHandle(::GetCurrentProcess(), handle, ::GetCurrentProcess(), &copy, 0, TRUE,
                           DUPLICATE_SAME_ACCESS)) {
        return KernelHandle();
    }
    return KernelHandle(copy);
}

KernelHandle InheritableNullDevice() {
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    return KernelHandle(::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
}

// The standard handles of one start: the null device for input, and the output pipe or our
// own output and error (the null device where we have none).
class StandardHandles {
public:
    explicit StandardHandles(const OutputPipe* output)
        : m_null(InheritableNullDevice()),
          m_output(InheritableCopy(output != nullptr ? output->WriteHandle()
                                                     : ::GetStdHandle(STD_OUTPUT_HANDLE))),
          m_error(output != nullptr ? KernelHandle()
                                    : InheritableCopy(::GetStdHandle(STD_ERROR_HANDLE))) {}

    HANDLE Input() const { return m_null.Get(); }
    HANDLE Output() const { return m_output.IsValid() ? m_output.Get() : m_null.Get(); }
    HANDLE Error() const {
        return m_error.IsValid() ? m_error.Get() : m_output.IsValid() ? m_output.Get() : Input();
    }
    bool IsValid() const { return m_null.IsValid(); }

private:
    KernelHandle m_null;
    KernelHandle m_output;
    KernelHandle m_error;
};

// The attribute list that limits inheritance to the standard handles; null when the system
// cannot make one (all inheritable handles are inherited then).
class InheritedHandleList {
public:
    explicit InheritedHandleList(const StandardHandles& handles) {
        for (const HANDLE handle : {handles.Input(), handles.Output(), handles.Error()}) {
            if (std::find(m_handles.begin(), m_handles.end(), handle) == m_handles.end()) {
                m_handles.push_back(handle);  // the system takes each handle once only
            }
        }
        SIZE_T size = 0;
        ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        m_storage.resize(size);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(m_storage.data());
        if (!::InitializeProcThreadAttributeList(list, 1, 0, &size)) {
            return;
        }
        m_list = list;
        if (!::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                         m_handles.data(), m_handles.size() * sizeof(HANDLE),
                                         nullptr, nullptr)) {
            ::DeleteProcThreadAttributeList(m_list);
            m_list = nullptr;
        }
    }
    ~InheritedHandleList() {
        if (m_list != nullptr) {
            ::DeleteProcThreadAttributeList(m_list);
        }
    }
    InheritedHandleList(const InheritedHandleList&) = delete;
    InheritedHandleList& operator=(const InheritedHandleList&) = delete;

    LPPROC_THREAD_ATTRIBUTE_LIST Get() const { return m_list; }

private:
    std::vector<HANDLE> m_handles;  // read by the system until the list goes
    std::string m_storage;
    LPPROC_THREAD_ATTRIBUTE_LIST m_list = nullptr;
};

// A job that holds a program and whatever it starts.
KernelHandle NewJob() {
    return KernelHandle(::CreateJobObjectW(nullptr, nullptr));
}

}  // namespace

std::unique_ptr<SpawnedProcess> SpawnedProcess::Start(std::wstring_view commandLine,
                                                      std::wstring_view workingDirectory,
                                                      const OutputPipe* output) {
    if (commandLine.find_first_not_of(L" \t") == std::wstring_view::npos ||
        commandLine.find(L'\0') != std::wstring_view::npos) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const StandardHandles handles(output);
    KernelHandle job = NewJob();
    if (!handles.IsValid() || !job.IsValid()) {
        return nullptr;
    }
    const InheritedHandleList inherited(handles);
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = handles.Input();
    startup.StartupInfo.hStdOutput = handles.Output();
    startup.StartupInfo.hStdError = handles.Error();
    startup.lpAttributeList = inherited.Get();
    std::wstring line(commandLine);
    const std::wstring folder(workingDirectory);
    const DWORD flags = CREATE_SUSPENDED | CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT |
                        (inherited.Get() != nullptr ? EXTENDED_STARTUPINFO_PRESENT : 0);
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, flags, nullptr,
                          folder.empty() ? nullptr : folder.c_str(), &startup.StartupInfo,
                          &started)) {
        return nullptr;
    }
    KernelHandle process(started.hProcess);
    const KernelHandle thread(started.hThread);
    if (!::AssignProcessToJobObject(job.Get(), process.Get())) {
        const DWORD error = ::GetLastError();
        ::TerminateProcess(process.Get(), STILL_ACTIVE);
        return Fail(error);
    }
    ::ResumeThread(thread.Get());
    return std::unique_ptr<SpawnedProcess>(
        new SpawnedProcess(std::move(process), std::move(job), started.dwProcessId));
}

SpawnedProcess::~SpawnedProcess() {
    Terminate(STILL_ACTIVE);  // nobody reads the code any more
}

DWORD SpawnedProcess::Id() const {
    return m_id;
}

bool SpawnedProcess::ExitCode(DWORD& exitCode) {
    return ::GetExitCodeProcess(m_process.Get(), &exitCode) != FALSE;
}

int SpawnedProcess::EndingSignal() {
    return 0;  // Windows ends programs by exit codes only
}

bool SpawnedProcess::Terminate(DWORD exitCode) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (::WaitForSingleObject(m_process.Get(), 0) == WAIT_OBJECT_0) {
        return true;  // ended by itself: its code stays, and what it left running goes on
    }
    if (!::TerminateJobObject(m_job.Get(), exitCode)) {
        return false;
    }
    ::WaitForSingleObject(m_process.Get(), INFINITE);
    return true;
}

bool SpawnedProcess::ClaimSignal() {
    return true;  // the process handle stays signalled once the program has ended
}
